#include "session/Playback.h"

#include "logging/ColumnNames.h"
#include "platform/IniFile.h"
#include "platform/Text.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <limits>
#include <span>
#include <stdexcept>

namespace tessek {
namespace {

// The longest wait for the next row (ms): a gap of hours in a log is still waited out, a
// few seconds at a time.
constexpr double kLongestIntervalMs = 5000;

std::optional<double> ValueAt(const LogChannel& channel, size_t row)
{
    const double value = channel.Values[row];
    return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

}  // namespace

PlaybackColumns MapPlaybackColumns(const LogData& log)
{
    PlaybackColumns map;
    const auto& channels = log.Channels;
    for (size_t i = 0; i < channels.size(); ++i) {
        if (channels[i].Raw)
            continue;
        map.Columns.push_back({channels[i].Name, channels[i].Unit, channels[i].Decimals, false});
        map.ValueChannel.push_back(i);
        map.RawChannel.emplace_back();
    }
    for (size_t i = 0; i < channels.size(); ++i) {
        if (!channels[i].Raw)
            continue;
        const std::string_view name =
            std::string_view(channels[i].Name)
                .substr(0, channels[i].Name.size() - std::min(channels[i].Name.size(), kRawSuffix.size()));
        const auto owner = std::find_if(map.Columns.begin(), map.Columns.end(),
                                        [&](const RunColumn& column) { return SameText(column.Name, name); });
        if (owner != map.Columns.end() && !owner->HasRaw) {
            owner->HasRaw = true;
            map.RawChannel[static_cast<size_t>(owner - map.Columns.begin())] = i;
        }
    }
    return map;
}

Playback::Playback(LogData log, LiveAlarms& alarms, TickSource clock)
    : log_(std::move(log)), alarms_(alarms), clock_(clock ? std::move(clock) : TickSource(GetTickCount))
{
    if (log_.Time.empty())
        throw std::invalid_argument("A log without rows cannot be played");
    map_ = MapPlaybackColumns(log_);
    for (const LogMarker& marker : log_.Markers) {
        const auto row = std::lower_bound(log_.Time.begin(), log_.Time.end(), marker.Time) - log_.Time.begin();
        markerRow_.push_back(std::min(static_cast<size_t>(row), log_.Time.size() - 1));
        logNumbers_ = std::max(logNumbers_, marker.Number);
    }
    anchorTime_ = StartTime();
    alarms_.OnRaised = [this](const std::string& marker) { raised_.push_back({marker, true}); };
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Advance(); });
}

Playback::~Playback()
{
    alarms_.OnRaised = nullptr;
}

void Playback::AddObserver(RunObserver* observer)
{
    if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void Playback::SetHook(SampleHook* hook)
{
    hook_ = hook;
}

double Playback::Due() const
{
    if (!playing_)
        return anchorTime_;
    return anchorTime_ + TickElapsed(anchorTick_, clock_()) * speed_ / 1000.0;
}

double Playback::Time() const
{
    return std::min(Due(), EndTime());
}

void Playback::Anchor(double time)
{
    anchorTime_ = time;
    anchorTick_ = clock_();
}

void Playback::Play()
{
    if (playing_)
        return;
    if (!started_ || ended_)
        Restart();
    playing_ = true;
    Anchor(anchorTime_);
    Advance();
}

void Playback::Pause()
{
    if (!playing_)
        return;
    anchorTime_ = Time();
    playing_ = false;
    timer_.stop();
}

void Playback::SetSpeed(int factor)
{
    factor = std::max(factor, 1);
    if (factor == speed_)
        return;
    Anchor(Time());
    speed_ = factor;
    if (playing_)
        Schedule();
}

void Playback::SeekTo(double time)
{
    time = std::clamp(time, StartTime(), EndTime());
    if (!started_ || ended_ || (next_ > 0 && time < log_.Time[next_ - 1]))
        Restart();
    while (next_ < Rows() && log_.Time[next_] <= time)
        Deliver();
    if (next_ == Rows()) {
        End();
        return;
    }
    Anchor(time);
    if (playing_)
        Schedule();
}

bool Playback::NextMarker()
{
    if (!started_ || ended_)
        Restart();
    bool found = false;
    while (next_ < Rows() && !found) {
        Deliver();
        found = sample_.Marker.has_value();
    }
    if (next_ == Rows()) {
        End();
        return found;
    }
    Anchor(log_.Time[next_ - 1]);
    if (playing_)
        Schedule();
    return found;
}

void Playback::Mark(const std::string& text)
{
    if (started_ && !ended_)
        raised_.push_back({text, false});
}

void Playback::Advance()
{
    if (!playing_)
        return;
    const double due = Due();
    while (next_ < Rows() && log_.Time[next_] <= due)
        Deliver();
    if (next_ == Rows())
        End();
    else
        Schedule();
}

void Playback::Schedule()
{
    const double ms = (log_.Time[next_] - Due()) * 1000.0 / speed_;
    timer_.start(static_cast<int>(std::clamp(std::ceil(ms), double{kLeastIntervalMs}, kLongestIntervalMs)));
}

void Playback::Restart()
{
    if (started_ && !ended_) {
        for (RunObserver* observer : observers_)
            observer->RunEnded();
    }
    columns_ = map_.Columns;
    if (hook_) {
        const std::vector<RunColumn> added = hook_->Start(map_.Columns);
        columns_.insert(columns_.end(), added.begin(), added.end());
    }
    next_ = 0;
    nextLogMarker_ = 0;
    lastNumber_ = logNumbers_;
    pending_.clear();
    raised_.clear();
    started_ = true;
    ended_ = false;
    anchorTime_ = StartTime();
    alarms_.Start(columns_);
    const auto now = std::chrono::system_clock::now();
    for (RunObserver* observer : observers_)
        observer->RunStarted(columns_, now);
}

void Playback::Deliver()
{
    const size_t row = next_++;
    // The log's markers of this row. An alarm raised by the row before that sets the very
    // marker the run set here, or one the log keeps without its text (a CSV), is the run's
    // own alarm again.
    for (; nextLogMarker_ < markerRow_.size() && markerRow_[nextLogMarker_] <= row; ++nextLogMarker_) {
        const LogMarker& marker = log_.Markers[nextLogMarker_];
        RunMarker carried{marker.Number, marker.Text};
        const auto same = std::find_if(raised_.begin(), raised_.end(), [&](const Raised& r) {
            return r.Alarm && (marker.Text.empty() || r.Text == marker.Text);
        });
        if (same != raised_.end()) {
            carried.Text = std::move(same->Text);
            raised_.erase(same);
        }
        pending_.push_back(std::move(carried));
    }
    for (Raised& raised : raised_)
        pending_.push_back({++lastNumber_, std::move(raised.Text)});
    raised_.clear();

    const size_t logged = map_.Columns.size();
    sample_.Time = log_.Time[row];
    sample_.Values.resize(logged);
    sample_.Raw.assign(logged, std::nullopt);
    for (size_t c = 0; c < logged; ++c) {
        sample_.Values[c] = ValueAt(log_.Channels[map_.ValueChannel[c]], row);
        if (const auto& raw = map_.RawChannel[c]) {
            const auto value = ValueAt(log_.Channels[*raw], row);
            if (value && std::fabs(*value) <= std::numeric_limits<int32_t>::max())
                sample_.Raw[c] = static_cast<int32_t>(std::lround(*value));
        }
    }
    if (hook_)
        hook_->Add(sample_);
    sample_.Raw.resize(sample_.Values.size());
    sample_.Requests = 0;
    sample_.Marker.reset();
    if (!pending_.empty()) {
        sample_.Marker = std::move(pending_.front());
        pending_.pop_front();
    }
    alarms_.Check(sample_);
    for (RunObserver* observer : observers_)
        observer->SampleLogged(sample_);
}

void Playback::End()
{
    timer_.stop();
    playing_ = false;
    ended_ = true;
    anchorTime_ = EndTime();
    for (RunObserver* observer : observers_)
        observer->RunEnded();
}

}  // namespace tessek
