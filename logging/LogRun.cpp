#include "logging/LogRun.h"

#include "lm/CommandHost.h"
#include "lm/LmLink.h"
#include "logging/Decoders.h"
#include "logging/LogSettings.h"
#include "logging/Performance.h"
#include "logging/RunColumns.h"
#include "logging/RunRecord.h"
#include "platform/ErrorDisplay.h"
#include "platform/Hex.h"
#include "platform/IniFile.h"
#include "serial/ComPort.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <filesystem>
#include <limits>
#include <span>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace tessek {

namespace {

constexpr int kSlotCount = 8;

}  // namespace

LogRun::LogRun(CommandHost& host, LoggingSettings& settings, IniFile& settingsIni, DisplayTextLookup displayText,
               LogRunState& state, std::vector<RunObserver*> observers)
    : host_(host),
      settings_(settings),
      ini_(settingsIni),
      displayText_(std::move(displayText)),
      state_(state),
      observers_(std::move(observers))
{
}

void LogRun::StartOrStop()
{
    if (host_.Busy()) {
        host_.SetBusy(false);
        host_.MemoAddLine("Cancel Logging");
        return;
    }
    host_.MemoClear();
    TCustomComPort& port = host_.Port();
    if (!port.Connected()) {
        port.SetBaudRate(brCustom);
        port.SetCustomBaudRate(kLowBaud);
    }
    host_.SetBusy(true);
    if (!host_.EstablishHighBaud()) {
        // Users and their notes know this line with 976 in it, although the rate set back is 977.
        host_.MemoAddLine("Failed to establish high baud mode with LM.  Baud set back to 976");
        host_.SetStatus("Not Connected");
        port.SetCustomBaudRate(kLowBaud);
        // Clearing the busy mark frees Com Setup again.
        host_.SetBusy(false);
        return;
    }
    host_.SetStatus("Connected");
    host_.MemoAddLine("Logging  Start at " + host_.LocalDateTimeText());

    const std::vector<RunColumn> columns =
        RunColumnsFor(std::span<const uint8_t>(settings_.LogAddrs).subspan(1), displayText_, settings_.Performance);
    const auto started = std::chrono::system_clock::now();
    for (RunObserver* observer : observers_)
        observer->RunStarted(columns, started);
    sampling_ = true;

    try {
        WriteHeader();
        SampleLoop();
    } catch (...) {
        // A port error (cable pulled, port closed by a break) must not lose what was
        // logged: the run ends as any other before the error is shown.
        const std::exception_ptr error = std::current_exception();
        try {
            EndOfRun();
        } catch (...) {
            ShowError(ErrorMessage(std::current_exception()));
        }
        std::rethrow_exception(error);
    }

    host_.SetBusy(false);
    host_.MemoAddLine("Done Logging");
    EndOfRun();
}

// Every run that got past the handshake ends here, also one ended by a port error or by
// closing the window: whatever keeps what the run logged (the automatic text log, and the
// data log files where they are written) is finished here, in this order.
void LogRun::EndOfRun()
{
    sampling_ = false;
    pendingMarkers_.clear();
    // The observers first: they never fail, and the data log files are closed even when
    // the text log cannot be saved.
    for (RunObserver* observer : observers_)
        observer->RunEnded();
    SaveAutomaticLog();
}

std::optional<int> LogRun::Mark(const std::string& text)
{
    if (!sampling_)
        return std::nullopt;
    pendingMarkers_.push_back({++markers_, text});
    return markers_;
}

uint8_t LogRun::Request(uint8_t address)
{
    // The reply count follows the "Sample Rate" choice as it is at this very request.
    const std::optional<LmAnswer> answer = host_.ReadLmByte(address, host_.SampleRateIndex() + 1);
    const uint8_t reply = host_.LastRxByte();
    slotReplies_.push_back(reply);
    slotAnswers_.push_back(answer);
    ++sampleRequests_;
    sampleMissed_ += answer ? 0 : 1;
    return reply;
}

void LogRun::WriteHeader()
{
    slotAnswers_.clear();
    state_.BaroRef = Request(kBaroAddress);
    baroMissed_ = !slotAnswers_.back();
    std::string baroLine = "BARO = " + BaroText(state_.BaroRef, settings_.MapFunction) + "hg   Coolant Temp = ";
    DecodeSlot(kCoolantAddress, baroLine);

    // An extra handshake byte after the header reads; its echo and replies are taken off
    // the link and otherwise ignored.
    host_.ReadLmByte(kHandshakeByte, 2);
    host_.WaitForEcho(kHandshakeByte);

    std::string titles = " Time    ";
    for (int i = 1; i <= kSlotCount; ++i) {
        const std::string hex = ByteToHex(settings_.LogAddrs[i]);
        const std::string title = displayText_ ? displayText_("$" + hex) : std::string();
        titles += (title.empty() ? "$" + hex : title) + "; ";
    }
    host_.MemoAddLine(baroLine);
    host_.MemoAddLine(titles);
}

void LogRun::SampleLoop()
{
    startTick_ = host_.TickCount();
    int32_t t = 0;
    while (host_.Busy()) {
        const int32_t prevT = t;
        t = static_cast<int32_t>(host_.TickCount() - startTick_);
        std::string line = SampleTimeText(t);
        std::vector<SlotReading> values;
        sampleRequests_ = 0;
        sampleMissed_ = 0;
        answeredMph_.reset();
        answeredRpm_.reset();
        bool requested = false;
        for (int i = 1; i <= kSlotCount; ++i) {
            const uint8_t address = settings_.LogAddrs[i];
            if (address != kSkipAddress) {
                if (const std::optional<SlotReading> value = DecodeSlot(address, line))
                    values.push_back(*value);
                requested = true;
            }
            if (!host_.Busy())
                break;
        }
        std::optional<PerformanceFigures> figures;   // as the line shows them
        std::optional<PerformanceFigures> answered;  // from answered speeds only, for the data logs
        if (settings_.Performance && host_.Busy()) {
            figures = ComputePerformance(t, prevT, state_.SampleMph, state_.PrevMph, state_.SampleRpm, state_.PrevRpm,
                                         settings_.CarWeight);
            if (figures)
                line += PerformanceText(*figures);
            if (answeredMph_ && prevAnsweredMph_ && answeredRpm_ && prevAnsweredRpm_)
                answered = ComputePerformance(t, prevT, static_cast<float>(*answeredMph_),
                                              static_cast<float>(*prevAnsweredMph_), static_cast<float>(*answeredRpm_),
                                              static_cast<float>(*prevAnsweredRpm_), settings_.CarWeight);
            state_.PrevMph = state_.SampleMph;
            state_.PrevRpm = state_.SampleRpm;
            prevAnsweredMph_ = answeredMph_;
            prevAnsweredRpm_ = answeredRpm_;
        }
        if (host_.Busy()) {
            host_.MemoAddLine(line);
            if (!observers_.empty()) {
                RunSample sample =
                    MakeRunSample(t, values, settings_.Performance, answered, sampleRequests_, sampleMissed_);
                sample.StartTick = startTick_;
                if (!pendingMarkers_.empty()) {
                    sample.Marker = std::move(pendingMarkers_.front());
                    pendingMarkers_.pop_front();
                }
                for (RunObserver* observer : observers_)
                    observer->SampleLogged(sample);
            }
        }
        if (!requested)
            host_.PumpDelay(kIdleSamplePaceMs);
    }
}

std::string LogRun::TempLogPath(int32_t saveNum) const
{
    return host_.ProgramFolder() + "TempLog" + std::to_string(saveNum) + ".txt";
}

void LogRun::SaveAutomaticLog()
{
    constexpr int32_t kLastSaveNum = std::numeric_limits<int32_t>::max();
    state_.Unsaved = true;
    settings_.SaveNum = std::max(settings_.SaveNum, int32_t{1});
    // Never replace an earlier log, e.g. one written after the counter last reached the
    // settings file, nor write through a link planted at the name (one that points
    // nowhere too): move on to the first free number. A name taken between the look and
    // the write is passed over the same way.
    std::error_code ec;
    for (;;) {
        const std::string path = TempLogPath(settings_.SaveNum);
        if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec)) && host_.MemoSaveToNewFile(path))
            break;
        if (settings_.SaveNum == kLastSaveNum)
            throw std::runtime_error("Cannot write file \"" + path +
                                     "\". It exists, and no automatic log number is left after it: set SaveNum in "
                                     "section [AutoSave] of Tessek.ini to a free number");
        ++settings_.SaveNum;
    }
    state_.Unsaved = false;
    if (settings_.SaveNum < kLastSaveNum)
        ++settings_.SaveNum;
    StoreSaveNum(ini_, settings_.SaveNum);
}

std::optional<SlotReading> LogRun::DecodeSlot(uint8_t address, std::string& line)
{
    const ParameterRow& row = ParameterFor(address);
    if (row.Kind == DecoderKind::Skip)
        return std::nullopt;
    slotReplies_.clear();
    slotAnswers_.clear();
    if (row.LowAddress)
        Request(*row.LowAddress);
    Request(address);
    // The line is built from the last bytes the link received; people and scripts read it.
    const uint8_t lo = slotReplies_[0];
    const uint8_t hi = slotReplies_.size() > 1 ? slotReplies_[1] : 0;
    const DecodeContext context{state_.BaroRef, settings_.MapFunction};
    line += DecoderText(row, lo, hi, context);
    // The acceleration measurement takes the speeds unrounded, as the conversions give them.
    if (address == kMphHiAddress)
        state_.SampleMph = static_cast<float>(ParameterValue(row, lo, hi, context));
    if (address == kRpmHiAddress)
        state_.SampleRpm = static_cast<float>(ParameterValue(row, lo, hi, context));

    // The data logs take only what the LM answered to these very requests.
    SlotReading reading;
    reading.DerivedCount = row.DerivedCount;
    const bool answered = std::all_of(slotAnswers_.begin(), slotAnswers_.end(),
                                      [](const std::optional<LmAnswer>& a) { return a.has_value(); });
    if (!answered || (row.Kind == DecoderKind::Map && baroMissed_))
        return reading;
    const uint8_t answeredLo = slotAnswers_[0]->Byte;
    const uint8_t answeredHi = slotAnswers_.size() > 1 ? slotAnswers_[1]->Byte : 0;
    const DecodeContext& answeredContext = context;
    reading.Value = DecodeValue(row, answeredLo, answeredHi, answeredContext);
    reading.AnsweredAt = static_cast<int32_t>(slotAnswers_.back()->Tick - startTick_) / 1000.0;
    if (address == kMphHiAddress)
        answeredMph_ = ParameterValue(row, answeredLo, answeredHi, answeredContext);
    if (address == kRpmHiAddress)
        answeredRpm_ = ParameterValue(row, answeredLo, answeredHi, answeredContext);
    return reading;
}

}  // namespace tessek
