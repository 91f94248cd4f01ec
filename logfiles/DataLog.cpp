#include "logfiles/DataLog.h"

#include "platform/BuildInfo.h"
#include "platform/FileIo.h"
#include "platform/IniFile.h"
#include "platform/LogFiles.h"
#include "platform/ProgramFolder.h"
#include "platform/Text.h"

#include "logging/ColumnNames.h"
#include "logging/Decoders.h"
#include "logging/RunColumns.h"
#include "logging/Units.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iomanip>
#include <locale>
#include <optional>
#include <sstream>
#include <system_error>
#include <utility>

namespace tessek {

namespace {

constexpr const char* kLineEnd = "\r\n";
// A run that finds this many logs of its second already there gives up rather than search on.
constexpr int kMaxSuffix = 999;

// MSL has no quoting: a tab or line break inside a name would split the row.
std::string MslField(std::string text)
{
    for (char& c : text) {
        if (c == '\t' || c == '\r' || c == '\n')
            c = ' ';
    }
    return text;
}

std::string CsvName(const std::string& name, const std::string& unit)
{
    return CsvField(unit.empty() ? name : name + " (" + unit + ")");
}

std::string RawName(const RunColumn& column)
{
    return column.Name + std::string(kRawSuffix);
}

template <typename T>
std::optional<T> At(const std::vector<std::optional<T>>& values, size_t i)
{
    return i < values.size() ? values[i] : std::nullopt;
}

// `value` with `decimals`, converted where `conversion` says; never "-0".
std::string Number(double value, const std::optional<UnitConversion>& conversion, int decimals)
{
    const double shown = RoundAsPrinted(conversion ? conversion->Apply(value) : value, decimals);
    return FormatFixed(shown == 0.0 ? 0.0 : shown, 0, decimals);
}

// One sample row; `missing` stands in for a value the sample does not have.
std::string Row(const std::vector<RunColumn>& columns, const std::vector<std::optional<UnitConversion>>& conversions,
                const RunSample& sample, char separator, const char* missing, bool markerColumn)
{
    std::string row = FormatFixed(sample.Time, 0, kSampleTimeDecimals);
    for (size_t i = 0; i < columns.size(); ++i) {
        row += separator;
        const std::optional<double> value = At(sample.Values, i);
        row += value ? Number(*value, conversions[i], columns[i].Decimals) : missing;
        if (columns[i].HasRaw) {
            row += separator;
            const std::optional<int32_t> raw = At(sample.Raw, i);
            row += raw ? std::to_string(*raw) : missing;
        }
    }
    if (markerColumn) {
        row += separator;
        if (sample.Marker)
            row += std::to_string(sample.Marker->Number);
        row += separator;
        if (sample.Marker)
            row += CsvField(sample.Marker->Text);
    }
    return row + kLineEnd;
}

// The line MegaLogViewer reads as a marker, before the row that carries it:
// "MARK 001 - Manual".
std::string MslMarkerLine(const RunMarker& marker)
{
    char number[16];
    std::snprintf(number, sizeof number, "%03d", marker.Number);
    return std::string("MARK ") + number + " - " + MslField(marker.Text) + kLineEnd;
}

ssize_t SystemWrite(int fd, const char* data, size_t size)
{
    return ::write(fd, data, size);
}

UniqueFd CreateExclusive(const std::string& path)
{
    return UniqueFd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
}

// Whether the CSV log at `path` has a row after its names row: a run killed before its
// first sample leaves only the names. Only the file's start is looked at; a names row
// longer than that is taken for a log with rows.
bool HasSampleRow(const std::filesystem::path& path)
{
    constexpr size_t kLookAt = size_t{64} << 10;
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    std::string start;
    if (!fd || ReadUpTo(fd.Get(), kLookAt, start) != 0)
        return false;
    const size_t lineEnd = start.find('\n');
    if (lineEnd == std::string::npos)
        return start.size() == kLookAt;
    return start.find_first_not_of(" \t\r\n", lineEnd) != std::string::npos;
}

}  // namespace

DataLogWriter::DataLogWriter(std::string programFolder, WriteFunction write, SyncFunction sync)
    : logsFolder_(std::move(programFolder)),
      write_(write ? std::move(write) : WriteFunction(SystemWrite)),
      sync_(sync ? std::move(sync) : SyncFunction(::fsync))
{
    if (!logsFolder_.empty() && logsFolder_.back() != '/')
        logsFolder_ += '/';
    settingsPath_ = logsFolder_ + kSettingsFileName;
    logsFolder_ += "logs/";
}

DataLogWriter::~DataLogWriter()
{
    RunEnded();
}

void DataLogWriter::RunStarted(const std::vector<RunColumn>& columns, std::chrono::system_clock::time_point started)
{
    RunEnded();
    columns_ = columns;
    // The units setting as it is when the run starts; the values arrive in the window's units.
    const UnitSystem units = ReadUnitSystem(IniFile(settingsPath_));
    conversions_.clear();
    for (RunColumn& column : columns_) {
        conversions_.push_back(RunConversionTo(column.Unit, units));
        if (conversions_.back())
            column.Unit = std::string(conversions_.back()->Unit);
    }
    csv_.Path.clear();
    msl_.Path.clear();
    missed_ = requests_ = 0;
    if (!CreateFiles(started))
        return;
    WriteRow(csv_, CsvHeader());
    WriteRow(msl_, MslHeader(started));
}

void DataLogWriter::SampleLogged(const RunSample& sample)
{
    missed_ += sample.Missed;
    requests_ += sample.Requests;
    if (csv_.Fd)
        WriteRow(csv_, Row(columns_, conversions_, sample, ',', "", true));
    if (msl_.Fd) {
        // One write: the marker line never stands without its row.
        WriteRow(msl_, (sample.Marker ? MslMarkerLine(*sample.Marker) : std::string()) +
                           Row(columns_, conversions_, sample, '\t', "", false));
    }
}

void DataLogWriter::RunEnded()
{
    // The MSL's last line counts the answers that did not come (readers of MSL skip lines
    // that start with "#"); the CSV stays rows only.
    if (msl_.Fd && requests_ > 0)
        WriteRow(msl_, "# Missed answers: " + std::to_string(missed_) + " of " + std::to_string(requests_) +
                           " requests" + kLineEnd);
    Close(csv_);
    Close(msl_);
}

bool DataLogWriter::CreateFiles(std::chrono::system_clock::time_point started)
{
    const std::string folder = logsFolder_.substr(0, logsFolder_.size() - 1);
    if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
        Report(folder, errno);
        return false;
    }
    const std::string stamp = FileTimeStamp(started);
    std::string base;
    for (int n = 1; n <= kMaxSuffix; ++n) {
        base = logsFolder_ + stamp;
        if (n > 1)
            base.append("_").append(std::to_string(n));
        UniqueFd csv = CreateExclusive(base + ".csv");
        if (!csv) {
            if (errno == EEXIST)
                continue;
            Report(base + ".csv", errno);
            return false;
        }
        UniqueFd msl = CreateExclusive(base + ".msl");
        if (!msl) {
            const int error = errno;
            // The CSV was made a moment ago by this run and is empty: it is not a log.
            ::unlink((base + ".csv").c_str());
            if (error == EEXIST)
                continue;
            Report(base + ".msl", error);
            return false;
        }
        csv_ = {base + ".csv", std::move(csv), 0};
        msl_ = {base + ".msl", std::move(msl), 0};
        return true;
    }
    Report(base + ".csv", EEXIST);
    return false;
}

void DataLogWriter::WriteRow(OutFile& file, const std::string& row)
{
    size_t done = 0;
    while (done < row.size()) {
        const ssize_t n = write_(file.Fd.Get(), row.data() + done, row.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            Drop(file, n < 0 ? errno : EIO);
            return;
        }
    }
    file.Complete += static_cast<off_t>(row.size());
}

void DataLogWriter::Drop(OutFile& file, int error)
{
    // A row cut short by the error would spoil the file for every reader. Should even the
    // cut fail, nothing more can be done for the file than to say why it stopped.
    [[maybe_unused]] const int cut = ::ftruncate(file.Fd.Get(), file.Complete);
    file.Fd.Reset();
    Report(file.Path, error);
}

void DataLogWriter::Close(OutFile& file)
{
    if (!file.Fd)
        return;
    // A laptop in a car loses its power without warning: what the run logged must be on
    // the disk once the run has ended.
    int error = sync_(file.Fd.Get()) == 0 ? 0 : errno;
    if (file.Fd.Close() != 0 && error == 0)
        error = errno;
    if (error != 0)
        Report(file.Path, error);
}

void DataLogWriter::Report(const std::string& path, int error)
{
    if (OnProblem)
        OnProblem("Data log not written: " + path + ": " + std::generic_category().message(error));
}

std::string DataLogWriter::CsvHeader() const
{
    std::string row = CsvName(std::string(kTimeColumn), "s");
    for (const RunColumn& column : columns_) {
        row += ',' + CsvName(column.Name, column.Unit);
        if (column.HasRaw)
            row += ',' + CsvField(RawName(column));
    }
    return row + "," + kMarkerColumn + "," + CsvField(kMarkerTextColumn) + kLineEnd;
}

std::string DataLogWriter::MslHeader(std::chrono::system_clock::time_point started) const
{
    // The date in English whatever the locale (the classic one's names): readers match the words.
    const std::time_t time = std::chrono::system_clock::to_time_t(started);
    std::tm local{};
    localtime_r(&time, &local);
    std::ostringstream date;
    date.imbue(std::locale::classic());
    date << std::put_time(&local, "%a %b %d %H:%M:%S %Y");
    std::string preamble =
        std::string("\"Tessek ") + kVersion + "\"" + kLineEnd + "\"Capture Date: " + date.str() + "\"" + kLineEnd;
    std::string names(kTimeColumn);
    std::string units = "s";
    for (const RunColumn& column : columns_) {
        names += '\t' + MslField(column.Name);
        units += '\t' + MslField(column.Unit);
        if (column.HasRaw) {
            names += '\t' + MslField(RawName(column));
            units += '\t';
        }
    }
    return preamble + names + kLineEnd + units + kLineEnd;
}

std::string NewestDataLog(const std::string& programFolder)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path newest;
    fs::file_time_type newestTime{};
    for (const auto& entry : fs::directory_iterator(fs::path(WithSlash(programFolder)) / "logs", ec)) {
        if (entry.path().extension() != ".csv" || !entry.is_regular_file(ec))
            continue;
        const fs::file_time_type time = entry.last_write_time(ec);
        if (ec)
            continue;
        if ((newest.empty() || time > newestTime || (time == newestTime && entry.path() > newest)) &&
            HasSampleRow(entry.path())) {
            newest = entry.path();
            newestTime = time;
        }
    }
    return newest.string();
}

}  // namespace tessek
