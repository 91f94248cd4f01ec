#include "logfiles/LogFile.h"

#include "logfiles/TempLogFile.h"
#include "logging/ColumnNames.h"

#include "platform/FileIo.h"
#include "platform/UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace tessek {
namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();
// The names row and the first row of numbers must appear within this many records.
constexpr size_t kHeaderScanRecords = 64;
constexpr size_t kMaxExamples = 5;
// Rows looked at to learn how many decimals each column is written with.
constexpr size_t kDecimalsScanRows = 1000;
constexpr int kMaxDecimals = 6;
// Records between two looks at the read's control.
constexpr size_t kRecordsPerCheck = 4096;
// Bytes of each of the first lines a refusal shows.
constexpr size_t kShownLineBytes = 60;

struct Field {
    std::string_view Text;  // inside the quotes for a quoted field, with "" still doubled
    bool Quoted = false;
};

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\r' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\r' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

std::string Unquote(const Field& f)
{
    if (!f.Quoted)
        return std::string(Trim(f.Text));
    std::string out;
    out.reserve(f.Text.size());
    for (size_t i = 0; i < f.Text.size(); ++i) {
        out += f.Text[i];
        if (f.Text[i] == '"' && i + 1 < f.Text.size() && f.Text[i + 1] == '"')
            ++i;
    }
    return out;
}

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return out;
}

enum class Cell { Empty, Number, NotANumber };

bool FromChars(std::string_view s, double& value)
{
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    return ec == std::errc() && end == s.data() + s.size() && !std::isinf(value);
}

// `decimalComma`: a "," stands for the decimal mark (a file separated by tabs or
// semicolons, as a European spreadsheet writes it).
Cell ParseCell(const Field& f, double& value, bool decimalComma)
{
    std::string_view s = Trim(f.Text);
    if (s.empty())
        return Cell::Empty;
    if (s.front() == '+')
        s.remove_prefix(1);
    if (!FromChars(s, value)) {
        const size_t comma = decimalComma ? s.find(',') : std::string_view::npos;
        char number[64];
        if (comma == std::string_view::npos || s.size() > sizeof number ||
            s.find_first_of(".,", comma + 1) != std::string_view::npos || s.find('.') != std::string_view::npos)
            return Cell::NotANumber;
        std::copy(s.begin(), s.end(), number);
        number[comma] = '.';
        if (!FromChars(std::string_view(number, s.size()), value))
            return Cell::NotANumber;
    }
    // Some programs write "nan" for a missing value.
    return std::isnan(value) ? Cell::Empty : Cell::Number;
}

int DecimalsOf(const Field& f, bool decimalComma)
{
    const std::string_view s = f.Text;
    const size_t dot = s.find_first_of(decimalComma ? ".," : ".");
    if (dot == std::string_view::npos)
        return 0;
    int n = 0;
    for (size_t i = dot + 1; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
        ++n;
    return std::min(n, kMaxDecimals);
}

// Splits the text into records of fields. A record is one line, or more where a quoted
// field holds a line break; that is allowed in the header only, so a stray quote in a data
// row costs that row and not the rest of the file. At most `maxFields` fields of a record
// are split; the rest are only counted, so one very long line cannot take more memory
// than its text.
class RecordReader {
public:
    RecordReader(std::string_view text, char separator, char lineEnd, size_t maxFields)
        : text_(text), separator_(separator), lineEnd_(lineEnd), maxFields_(std::max<size_t>(maxFields, 1))
    {
    }

    bool AtEnd() const { return pos_ >= text_.size(); }
    size_t Position() const { return pos_; }  // bytes read
    size_t Line() const { return line_; }     // 1-based line the last record started on
    // True when the last record ran to the end of the text without a line break.
    bool LastHadNoLineEnd() const { return noLineEnd_; }
    // Fields of the last record beyond the first `maxFields`, not split.
    size_t CutFields() const { return cutFields_; }
    // The line of a quote that the text never closes (0 when there is none).
    size_t UnclosedQuoteLine() const { return unclosedQuoteLine_; }
    void EndOfHeader() { quotedLineBreaks_ = false; }

    void Next(std::vector<Field>& fields)
    {
        fields.clear();
        cutFields_ = 0;
        line_ = nextLine_;
        const char* const base = text_.data();
        const size_t size = text_.size();
        const void* nl = std::memchr(base + pos_, lineEnd_, size - pos_);
        size_t lineEnd = nl ? static_cast<size_t>(static_cast<const char*>(nl) - base) : size;
        if (!std::memchr(base + pos_, '"', lineEnd - pos_)) {
            SplitPlain(pos_, lineEnd, fields);
            Advance(lineEnd, nl != nullptr);
            return;
        }
        SplitQuoted(fields);
    }

private:
    void Advance(size_t lineEnd, bool hadLineEnd)
    {
        noLineEnd_ = !hadLineEnd;
        pos_ = hadLineEnd ? lineEnd + 1 : lineEnd;
        ++nextLine_;
    }

    void SplitPlain(size_t from, size_t to, std::vector<Field>& fields)
    {
        const char* const base = text_.data();
        for (;;) {
            if (fields.size() == maxFields_) {
                cutFields_ = 1 + static_cast<size_t>(std::count(base + from, base + to, separator_));
                return;
            }
            const void* sep = std::memchr(base + from, separator_, to - from);
            if (!sep) {
                fields.push_back({std::string_view(base + from, to - from), false});
                return;
            }
            const size_t at = static_cast<size_t>(static_cast<const char*>(sep) - base);
            fields.push_back({std::string_view(base + from, at - from), false});
            from = at + 1;
        }
    }

    void SplitQuoted(std::vector<Field>& fields)
    {
        const size_t size = text_.size();
        size_t i = pos_;
        for (;;) {
            size_t start = i;
            while (i < size && (text_[i] == ' ' || text_[i] == '\t') && text_[i] != separator_)
                ++i;
            if (i < size && text_[i] == '"') {
                const size_t open = ++i;
                const size_t openLine = nextLine_;
                while (i < size) {
                    if (text_[i] == '"') {
                        if (i + 1 < size && text_[i + 1] == '"') {
                            i += 2;
                            continue;
                        }
                        break;
                    }
                    if (text_[i] == lineEnd_) {
                        if (!quotedLineBreaks_)
                            break;
                        ++nextLine_;
                    }
                    ++i;
                }
                Push(fields, {text_.substr(open, i - open), true});
                if (i >= size && unclosedQuoteLine_ == 0)
                    unclosedQuoteLine_ = openLine;
                if (i < size && text_[i] == '"')
                    ++i;
                // Whatever follows the closing quote up to the separator is ignored.
                while (i < size && text_[i] != separator_ && text_[i] != lineEnd_)
                    ++i;
            } else {
                i = start;
                while (i < size && text_[i] != separator_ && text_[i] != lineEnd_)
                    ++i;
                Push(fields, {text_.substr(start, i - start), false});
            }
            if (i >= size) {
                Advance(size, false);
                return;
            }
            if (text_[i] == lineEnd_) {
                Advance(i, true);
                return;
            }
            ++i;  // separator
        }
    }

    void Push(std::vector<Field>& fields, const Field& field)
    {
        if (fields.size() < maxFields_)
            fields.push_back(field);
        else
            ++cutFields_;
    }

    std::string_view text_;
    char separator_;
    char lineEnd_;
    size_t maxFields_;
    size_t cutFields_ = 0;
    size_t pos_ = 0;
    size_t line_ = 0;
    size_t nextLine_ = 1;
    size_t unclosedQuoteLine_ = 0;
    bool noLineEnd_ = false;
    bool quotedLineBreaks_ = true;
};

bool IsBlank(const std::vector<Field>& fields)
{
    return fields.size() == 1 && !fields[0].Quoted && Trim(fields[0].Text).empty();
}

// A row of numbers: every field empty or a number, at least one a number.
bool IsNumberRow(const std::vector<Field>& fields, bool decimalComma)
{
    bool any = false;
    for (const Field& f : fields) {
        double v;
        const Cell c = ParseCell(f, v, decimalComma);
        if (c == Cell::NotANumber)
            return false;
        any = any || c == Cell::Number;
    }
    return any;
}

// LF (or CR LF), or CR alone where the text has no LF at all.
char DetectLineEnd(std::string_view text)
{
    if (std::memchr(text.data(), '\n', text.size()) || !std::memchr(text.data(), '\r', text.size()))
        return '\n';
    return '\r';
}

// Fields without the empty ones at the end (a separator after the last field).
size_t Width(const std::vector<Field>& fields)
{
    size_t n = fields.size();
    while (n > 0 && !fields[n - 1].Quoted && Trim(fields[n - 1].Text).empty())
        --n;
    return n;
}

// The separator most of the first lines use: tab, semicolon or comma. Where as many lines
// hold a comma as another one, the comma is taken for a decimal mark.
char DetectSeparator(std::string_view text, char lineEnd)
{
    const char candidates[] = {'\t', ';', ','};
    size_t linesWith[3] = {0, 0, 0};
    size_t pos = 0;
    for (int line = 0; line < 20 && pos < text.size(); ++line) {
        size_t end = text.find(lineEnd, pos);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view l = text.substr(pos, end - pos);
        for (int c = 0; c < 3; ++c)
            if (l.find(candidates[c]) != std::string_view::npos)
                ++linesWith[c];
        pos = end + 1;
    }
    int best = 0;
    for (int c = 1; c < 3; ++c)
        if (linesWith[c] > linesWith[best])
            best = c;
    return candidates[best];
}

// "Engine Speed (rpm)" -> "Engine Speed", "rpm"; "Boost [kPa]" likewise.
void SplitNameAndUnit(std::string text, std::string& name, std::string& unit)
{
    text = std::string(Trim(text));
    name = text;
    unit.clear();
    if (text.size() < 3)
        return;
    const char close = text.back();
    const char open = close == ')' ? '(' : close == ']' ? '[' : 0;
    if (!open)
        return;
    const size_t at = text.rfind(open);
    if (at == std::string::npos || at == 0)
        return;
    name = std::string(Trim(std::string_view(text).substr(0, at)));
    unit = std::string(Trim(std::string_view(text).substr(at + 1, text.size() - at - 2)));
}

bool IsTimeName(const std::string& name)
{
    const std::string n = Lower(name);
    return n == Lower(kTimeColumn) || n == "seconds" || n == "sec" || n == "secs";
}

bool IsMarkerName(const std::string& name)
{
    return Lower(name) == "marker";
}

bool IsMarkerTextName(const std::string& name)
{
    return Lower(name) == "marker text";
}

// Units of a time column in milliseconds: "Time (ms)", RomRaider's "Time (msec)".
bool IsMillisecondUnit(const std::string& unit)
{
    const std::string u = Lower(unit);
    return u == "ms" || u == "msec" || u == "milliseconds";
}

// "MARK 001 - Manual": the number and the text after " - ".
bool ParseMarkLine(std::string_view line, int& number, std::string& text)
{
    line = Trim(line);
    if (line.size() < 6 || Lower(line.substr(0, 5)) != "mark " || line[5] < '0' || line[5] > '9')
        return false;
    const char* end = line.data() + line.size();
    const auto [after, ec] = std::from_chars(line.data() + 5, end, number);
    if (ec != std::errc())
        return false;
    const std::string_view rest = Trim(std::string_view(after, static_cast<size_t>(end - after)));
    if (rest.empty()) {
        text.clear();
        return true;
    }
    if (rest.front() != '-')
        return false;
    text = std::string(Trim(rest.substr(1)));
    return true;
}

bool EndsWithRaw(const std::string& name)
{
    const std::string n = Lower(name);
    return n.size() > kRawSuffix.size() && std::string_view(n).ends_with(kRawSuffix);
}

std::string FormatSeconds(double t)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", t);
    return buf;
}

std::string FormatBytes(uint64_t bytes)
{
    char buf[32];
    if (bytes >= (uint64_t{1} << 30))
        std::snprintf(buf, sizeof buf, "%.1f GiB", static_cast<double>(bytes) / (1 << 30));
    else
        std::snprintf(buf, sizeof buf, "%.0f MiB", static_cast<double>(bytes) / (1 << 20));
    return buf;
}

class Parser {
public:
    Parser(std::string_view text, const LogReadLimits& limits, bool cutShort, LogReadControl* control)
        : text_(text),
          limits_(limits),
          cutShort_(cutShort),
          control_(control),
          lineEnd_(DetectLineEnd(text)),
          separator_(DetectSeparator(text, lineEnd_)),
          decimalComma_(separator_ != ','),
          reader_(text, separator_, lineEnd_, limits.MaxColumns)
    {
    }

    LogReadResult Run()
    {
        if (text_.find_first_not_of(" \t\r\n") == std::string_view::npos) {
            result_.Error = "The file is empty.";
            return std::move(result_);
        }
        if (IsTempLogText(text_))
            return ParseTempLogText(text_, limits_, cutShort_, control_);
        if (!FindHeader())
            return std::move(result_);
        textCells_.assign(result_.Data.Channels.size(), 0);
        if (!ReadRows()) {
            LogReadResult cancelled;
            cancelled.Error = kCancelledText;
            return cancelled;
        }
        DropTextColumns();
        // Marks after the last row mark the last row.
        if (!result_.Data.Time.empty())
            for (LogMarker& m : pendingMarks_)
                AddMarker(result_.Data.Time.back(), m.Number, std::move(m.Text));
        if (markersLeftOut_ > 0)
            AddNote(std::to_string(markersLeftOut_) + " markers after the first " + std::to_string(limits_.MaxMarkers) +
                    " were left out (the viewer draws at most " + std::to_string(limits_.MaxMarkers) + ").");
        if (result_.Data.Time.empty()) {
            const std::vector<std::string>& examples = result_.Report.Examples;
            result_.Error = "Not a data log: none of its rows could be read" +
                            (examples.empty() ? std::string(".") : " (" + examples.front() + ").");
        } else if (result_.Data.Channels.empty()) {
            // Every column beside the time held text: nothing to draw.
            result_.Error = "Not a data log: besides the time, its columns hold text, not numbers.";
        }
        return std::move(result_);
    }

private:
    struct Record {
        std::vector<Field> Fields;
        size_t Line = 0;
        size_t Cut = 0;  // fields beyond the reader's limit, not split
    };

    // Reads records until the first row of numbers and sets up the columns from the names
    // (and units) row above it. The first row of numbers is kept in `pending_`, rows between
    // the header and it (rows of numbers with a bad cell) in `early_`.
    bool FindHeader()
    {
        std::vector<Record> above;
        bool sawTimeName = false;
        while (!reader_.AtEnd() && above.size() < kHeaderScanRecords) {
            Record r;
            reader_.Next(r.Fields);
            r.Line = reader_.Line();
            r.Cut = reader_.CutFields();
            if (IsBlank(r.Fields))
                continue;
            if (IsNumberRow(r.Fields, decimalComma_) || (!above.empty() && IsRowWithText(r.Fields, above.back()))) {
                reader_.EndOfHeader();
                pending_ = std::move(r);
                return SetUpColumns(above);
            }
            sawTimeName = sawTimeName || HasTimeName(r.Fields);
            above.push_back(std::move(r));
        }
        if (const size_t line = reader_.UnclosedQuoteLine())
            result_.Error = "Not a data log: the quote (\") opened on line " + std::to_string(line) +
                            " is never closed, so all that follows it reads as one name.";
        else if (sawTimeName && reader_.AtEnd())
            result_.Error =
                "The log holds no samples, only its column names: the run that wrote it ended before "
                "its first sample.";
        else
            result_.Error = "Not a data log: no row of numbers under a row of column names in the first " +
                            std::to_string(kHeaderScanRecords) + " lines." + ExpectedAndFound();
        return false;
    }

    // What a log would look like and what the file's first lines hold, for a file that
    // is not one.
    std::string ExpectedAndFound() const
    {
        std::string found;
        size_t pos = 0;
        for (int lines = 0; lines < 2 && pos < text_.size();) {
            size_t end = text_.find(lineEnd_, pos);
            if (end == std::string_view::npos)
                end = text_.size();
            const std::string_view line = Trim(text_.substr(pos, end - pos));
            pos = end + 1;
            if (line.empty())
                continue;
            std::string shown(line.substr(0, kShownLineBytes));
            for (char& c : shown) {
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                    c = '?';
            }
            found += (lines++ == 0 ? " \"" : " / \"") + shown + (line.size() > kShownLineBytes ? "...\"" : "\"");
        }
        return " Expected a CSV or MSL log (a row of column names, then rows of numbers separated by commas, "
               "semicolons or tabs) or a TempLog text file; its first lines are" +
               found + ".";
    }

    // A row of numbers with a few text cells (a notes column, a marker's text) under a
    // names row of as many fields: more numbers than texts, at least two of them.
    bool IsRowWithText(const std::vector<Field>& fields, const Record& names) const
    {
        if (fields.size() != names.Fields.size() || HasNumber(names.Fields))
            return false;
        size_t numbers = 0, texts = 0;
        for (const Field& f : fields) {
            double v;
            const Cell c = ParseCell(f, v, decimalComma_);
            numbers += c == Cell::Number;
            texts += c == Cell::NotANumber;
        }
        return numbers >= 2 && texts < numbers;
    }

    static bool HasTimeName(const std::vector<Field>& fields)
    {
        for (const Field& f : fields) {
            std::string name, unit;
            SplitNameAndUnit(Unquote(f), name, unit);
            if (IsTimeName(name))
                return true;
        }
        return false;
    }

    bool HasNumber(const std::vector<Field>& fields) const
    {
        double v;
        return std::any_of(fields.begin(), fields.end(),
                           [&](const Field& f) { return ParseCell(f, v, decimalComma_) == Cell::Number; });
    }

    // The columns a names row gives the first row of numbers: as many as both have fields,
    // or, where a separator ends only one of them, as many as the names row has before its
    // empty end when the row of numbers has nothing beyond them. 0 when they do not fit.
    size_t ColumnsOf(const Record& names) const
    {
        const size_t n = pending_.Fields.size();
        if (names.Fields.size() == n)
            return n;
        const size_t named = Width(names.Fields);
        return named >= 2 && named <= n && Width(pending_.Fields) <= named && pending_.Cut == 0 ? named : 0;
    }

    // The names row is a row without numbers that fits the first row of numbers (ColumnsOf):
    // the first one that names a time column, or else the first one. A units row is a row
    // without numbers right under it with as many fields.
    bool SetUpColumns(std::vector<Record>& above)
    {
        size_t namesAt = above.size();
        for (size_t i = 0; i < above.size(); ++i) {
            if (ColumnsOf(above[i]) == 0 || HasNumber(above[i].Fields))
                continue;
            if (namesAt == above.size())
                namesAt = i;
            if (HasTimeName(above[i].Fields)) {
                namesAt = i;
                break;
            }
        }
        if (namesAt == above.size()) {
            result_.Error = "Not a data log: no row of column names above the first row of numbers (line " +
                            std::to_string(pending_.Line) + ")." + ExpectedAndFound();
            return false;
        }
        const Record* names = &above[namesAt];
        const size_t n = ColumnsOf(*names);
        const Record* units = nullptr;
        size_t dataAt = namesAt + 1;
        if (dataAt < above.size() && !HasNumber(above[dataAt].Fields) &&
            (above[dataAt].Fields.size() == names->Fields.size() || above[dataAt].Fields.size() == n))
            units = &above[dataAt++];
        for (size_t i = dataAt; i < above.size(); ++i)
            early_.push_back(std::move(above[i]));
        if (n < 2) {
            result_.Error = "Not a data log: it has a single column and so nothing to show against time.";
            return false;
        }
        std::vector<std::string> colNames(n), colUnits(n);
        for (size_t i = 0; i < n; ++i) {
            SplitNameAndUnit(Unquote(names->Fields[i]), colNames[i], colUnits[i]);
            if (units && i < units->Fields.size()) {
                std::string u = Unquote(units->Fields[i]);
                if (!u.empty())
                    colUnits[i] = u;
            }
            if (colNames[i].empty())
                colNames[i] = "Column " + std::to_string(i + 1);
        }
        timeColumn_ = 0;
        for (size_t i = 0; i < n; ++i) {
            if (IsTimeName(colNames[i])) {
                timeColumn_ = i;
                break;
            }
        }
        for (size_t i = 0; i < n; ++i) {
            if (i != timeColumn_ && IsMarkerName(colNames[i])) {
                markerColumn_ = i;
                break;
            }
        }
        for (size_t i = 0; i < n; ++i) {
            if (i != timeColumn_ && i != markerColumn_ && IsMarkerTextName(colNames[i])) {
                markerTextColumn_ = i;
                break;
            }
        }
        timeScale_ = IsMillisecondUnit(colUnits[timeColumn_]) ? 0.001 : 1.0;
        LogData& data = result_.Data;
        data.TimeName = colNames[timeColumn_];
        for (size_t i = 0; i < n; ++i) {
            if (IsNotChannel(i))
                continue;
            LogChannel c;
            c.Name = colNames[i];
            c.Unit = colUnits[i];
            c.Raw = EndsWithRaw(c.Name);
            data.Channels.push_back(std::move(c));
        }
        columns_ = n;
        if (names->Cut > 0) {
            headerCut_ = true;
            AddNote("Only the first " + std::to_string(n) + " of its " + std::to_string(n + names->Cut) +
                    " columns were read (the viewer reads at most " + std::to_string(limits_.MaxColumns) + ").");
        }
        return true;
    }

    bool IsNotChannel(size_t column) const
    {
        return column == timeColumn_ || column == markerColumn_ || column == markerTextColumn_;
    }

    // Channels without a single number but with text (a notes column) are not drawn: they
    // are taken out and named in the report.
    void DropTextColumns()
    {
        std::vector<LogChannel>& channels = result_.Data.Channels;
        std::string names;
        size_t dropped = 0;
        for (size_t ch = channels.size(); ch-- > 0;) {
            const std::vector<double>& v = channels[ch].Values;
            if (textCells_[ch] == 0 || std::any_of(v.begin(), v.end(), [](double x) { return !std::isnan(x); }))
                continue;
            const std::string quoted = "\"" + channels[ch].Name + "\"";
            if (!names.empty())
                names.insert(0, ", ");
            names.insert(0, quoted);
            ++dropped;
            result_.Report.CellsWithoutValue -= textCells_[ch];
            std::erase_if(result_.Report.Examples,
                          [&](const std::string& e) { return e.find(": " + quoted + " is not a number") != e.npos; });
            channels.erase(channels.begin() + static_cast<ptrdiff_t>(ch));
        }
        if (dropped > 0)
            AddNote(std::string(dropped == 1 ? "Text column skipped: " : "Text columns skipped: ") + names + ".");
    }

    void AddNote(const std::string& note)
    {
        std::string& notes = result_.Report.LimitNote;
        notes += (notes.empty() ? "" : " ") + note;
    }

    void Example(size_t line, const std::string& what)
    {
        if (result_.Report.Examples.size() < kMaxExamples)
            result_.Report.Examples.push_back("line " + std::to_string(line) + ": " + what);
    }

    // Counts a skipped row; `why` makes its reason, asked for only while examples are
    // wanted (a file of a million bad rows must not build a million texts).
    template <typename Why>
    void Skip(size_t line, Why why)
    {
        ++result_.Report.RowsSkipped;
        if (result_.Report.Examples.size() < kMaxExamples)
            Example(line, why());
    }

    // Appends the record as a row, or skips it with the reason.
    void TakeRow(const std::vector<Field>& fields, size_t cut, size_t line, bool lastInText)
    {
        if (IsBlank(fields))
            return;
        if (TakeMarkLine(fields))
            return;
        // A comment, such as the count of missed answers at the end of Tessek's MSL files.
        if (Trim(fields[0].Text).starts_with("#"))
            return;
        if (fields.size() < columns_) {
            if (lastInText && cutShort_)
                return;
            Skip(line, [&] {
                return "only " + std::to_string(fields.size()) + " of " + std::to_string(columns_) +
                       " fields (row cut short?)";
            });
            return;
        }
        // Beyond a names row that was cut, every row is cut the same way.
        const bool extraFields =
            !headerCut_ && (cut > 0 || std::any_of(fields.begin() + static_cast<ptrdiff_t>(columns_), fields.end(),
                                                   [](const Field& f) { return !Trim(f.Text).empty(); }));
        if (extraFields) {
            Skip(line, [&] {
                return std::to_string(fields.size() + cut) + " fields where the names row has " +
                       std::to_string(columns_);
            });
            return;
        }
        double t;
        const Cell tc = ParseCell(fields[timeColumn_], t, decimalComma_);
        if (tc != Cell::Number) {
            Skip(line, [&] { return std::string(tc == Cell::Empty ? "no time" : "the time is not a number"); });
            return;
        }
        t *= timeScale_;
        LogData& data = result_.Data;
        if (!data.Time.empty()) {
            const double last = data.Time.back();
            if (t < last) {
                Skip(line,
                     [&] { return "time goes back from " + FormatSeconds(last) + " s to " + FormatSeconds(t) + " s"; });
                return;
            }
            if (t == last)
                ++result_.Report.RepeatedTimes;
        }
        const bool learnDecimals = data.Time.size() < kDecimalsScanRows;
        data.Time.push_back(t);
        size_t ch = 0;
        TakeMarkers(fields, t);
        for (size_t i = 0; i < columns_; ++i) {
            if (IsNotChannel(i))
                continue;
            const size_t index = ch++;
            LogChannel& c = data.Channels[index];
            double v;
            const Cell vc = ParseCell(fields[i], v, decimalComma_);
            if (vc == Cell::Number) {
                c.Values.push_back(v);
                if (learnDecimals)
                    c.Decimals = std::max(c.Decimals, DecimalsOf(fields[i], decimalComma_));
                continue;
            }
            c.Values.push_back(kNoValue);
            if (vc == Cell::NotANumber) {
                ++textCells_[index];
                ++result_.Report.CellsWithoutValue;
                if (result_.Report.Examples.size() < kMaxExamples)
                    Example(line, "\"" + c.Name + "\" is not a number: \"" + Unquote(fields[i]).substr(0, 20) + "\"");
            }
        }
        ++result_.Report.RowsRead;
    }

    // A "MARK 001 - Manual" line: kept for the next row that is read.
    bool TakeMarkLine(const std::vector<Field>& fields)
    {
        const std::string_view first = Trim(fields[0].Text);
        if (first.size() < 5 || (first[0] != 'M' && first[0] != 'm'))
            return false;
        if (fields.size() >= columns_ && !Trim(fields[1].Text).empty())
            return false;
        std::string line;
        for (size_t i = 0; i < fields.size(); ++i) {
            if (i > 0)
                line += separator_;
            line += fields[i].Text;
        }
        LogMarker mark{0, 0, {}};
        if (!ParseMarkLine(line, mark.Number, mark.Text))
            return false;
        // Marks waiting for a row count against the limit as well: a file of nothing but
        // mark lines must not hold one per line.
        if (mark.Number < 1)
            return true;
        if (result_.Data.Markers.size() + pendingMarks_.size() >= limits_.MaxMarkers)
            ++markersLeftOut_;
        else
            pendingMarks_.push_back(std::move(mark));
        return true;
    }

    // The marks waiting for a row and the row's own marker number.
    void TakeMarkers(const std::vector<Field>& fields, double t)
    {
        for (LogMarker& m : pendingMarks_)
            AddMarker(t, m.Number, std::move(m.Text));
        pendingMarks_.clear();
        double number;
        if (markerColumn_ < fields.size() && ParseCell(fields[markerColumn_], number, decimalComma_) == Cell::Number &&
            std::abs(number) < 1e9)
            AddMarker(t, static_cast<int>(std::lround(number)),
                      markerTextColumn_ < fields.size() ? Unquote(fields[markerTextColumn_]) : std::string());
    }

    void AddMarker(double t, int number, std::string text)
    {
        if (number < 1)
            return;
        if (result_.Data.Markers.size() >= limits_.MaxMarkers)
            ++markersLeftOut_;
        else
            result_.Data.Markers.push_back({t, number, std::move(text)});
    }

    // False when the read was cancelled.
    bool ReadRows()
    {
        // Each column costs its channel's share before its first value.
        const size_t channelCells = columns_ * kCellsPerChannel;
        const size_t maxRows = limits_.MaxCells > channelCells ? (limits_.MaxCells - channelCells) / columns_ : 0;
        // Called while there is a row left to read.
        const auto full = [&] {
            if (result_.Data.Time.size() < maxRows)
                return false;
            AddNote("Only the first " + std::to_string(maxRows) + " rows were loaded (the viewer keeps at most " +
                    std::to_string(limits_.MaxCells) + " values, " + std::to_string(kCellsPerChannel) +
                    " of them for each of the " + std::to_string(columns_) + " columns).");
            return true;
        };
        for (const Record& r : early_) {
            if (full())
                return true;
            TakeRow(r.Fields, r.Cut, r.Line, false);
        }
        if (full())
            return true;
        TakeRow(pending_.Fields, pending_.Cut, pending_.Line, reader_.AtEnd() && reader_.LastHadNoLineEnd());
        std::vector<Field> fields;
        for (size_t records = 1; !reader_.AtEnd(); ++records) {
            if (full())
                return true;
            if (control_ && records % kRecordsPerCheck == 0) {
                control_->DoneBytes = reader_.Position();
                if (control_->Cancel)
                    return false;
            }
            reader_.Next(fields);
            TakeRow(fields, reader_.CutFields(), reader_.Line(), reader_.AtEnd() && reader_.LastHadNoLineEnd());
        }
        return true;
    }

    std::string_view text_;
    const LogReadLimits& limits_;
    bool cutShort_;
    LogReadControl* control_;
    char lineEnd_;
    char separator_;
    bool decimalComma_;
    RecordReader reader_;
    LogReadResult result_;
    Record pending_;
    std::vector<Record> early_;
    size_t columns_ = 0;
    bool headerCut_ = false;
    size_t timeColumn_ = 0;
    size_t markerColumn_ = std::numeric_limits<size_t>::max();
    size_t markerTextColumn_ = std::numeric_limits<size_t>::max();
    std::vector<size_t> textCells_;  // per channel: cells that held text
    std::vector<LogMarker> pendingMarks_;
    size_t markersLeftOut_ = 0;
    double timeScale_ = 1.0;
};

}  // namespace

std::string LogReadReport::Summary() const
{
    std::string s = std::to_string(RowsRead) + " rows read, " + std::to_string(RowsSkipped) + " skipped";
    if (CellsWithoutValue > 0)
        s += ", " + std::to_string(CellsWithoutValue) + " cells not a number";
    if (RepeatedTimes > 0)
        s += ", " + std::to_string(RepeatedTimes) + " repeated times";
    if (!Examples.empty())
        s += " (" + Examples.front() + (Examples.size() > 1 ? "; ..." : "") + ")";
    if (!LimitNote.empty())
        s += ". " + LimitNote;
    return s;
}

LogReadResult ParseLogText(std::string_view text, const LogReadLimits& limits, bool cutShort, LogReadControl* control)
{
    if (control)
        control->TotalBytes = text.size();
    LogReadResult result = Parser(text, limits, cutShort, control).Run();
    if (control && result.Error != kCancelledText)
        control->DoneBytes = text.size();
    return result;
}

LogReadResult ReadLogFile(const std::string& path, const LogReadLimits& limits, LogReadControl* control)
{
    LogReadResult failed;
    // Without O_NONBLOCK, opening a FIFO waits for a writer, which may never come; what is
    // not a regular file is refused below before anything is read.
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Get() < 0) {
        failed.Error = "Cannot open " + path + ": " + std::strerror(errno);
        return failed;
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) {
        failed.Error = "Cannot read " + path + ": " + std::strerror(errno);
        return failed;
    }
    if (!S_ISREG(st.st_mode)) {
        failed.Error = "Not a data log: " + path + " is not a regular file.";
        return failed;
    }
    // Back to blocking reads, as a file on a network share may need them.
    ::fcntl(fd.Get(), F_SETFL, ::fcntl(fd.Get(), F_GETFL) & ~O_NONBLOCK);
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    if (size == 0) {
        failed.Error = "The file is empty.";
        return failed;
    }
    const bool cutShort = size > limits.MaxBytes;
    std::string text;
    text.reserve(static_cast<size_t>(std::min(size, limits.MaxBytes)));
    // A file that shrinks while it is read gives what it still holds.
    if (const int err = ReadUpTo(fd.Get(), static_cast<size_t>(std::min(size, limits.MaxBytes)), text)) {
        failed.Error = "Cannot read " + path + ": " + std::strerror(err);
        return failed;
    }
    if (control && control->Cancel) {
        failed.Error = kCancelledText;
        return failed;
    }
    LogReadResult result = ParseLogText(text, limits, cutShort, control);
    if (cutShort && result.Ok()) {
        const std::string note =
            "Only the first " + FormatBytes(limits.MaxBytes) + " of this " + FormatBytes(size) + " file were read.";
        result.Report.LimitNote = result.Report.LimitNote.empty() ? note : note + " " + result.Report.LimitNote;
    }
    return result;
}

}  // namespace tessek
