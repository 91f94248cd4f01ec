#include "platform/IniFile.h"

#include "platform/AtomicFile.h"
#include "platform/FileIo.h"
#include "platform/Text.h"
#include "platform/TextNumbers.h"
#include "platform/UniqueFd.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace tessek {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

struct Line {
    std::string text;
    std::string eol;  // "\n", "\r\n", or "" for a last line without a line break
};

struct Lines {
    std::vector<Line> items;
    bool bom = false;  // the file starts with a UTF-8 byte order mark (not part of items)
};

std::string Reason(int err)
{
    return std::strerror(err);
}

// The file's lines; a missing file has none. Anything but a regular file that can be
// read to its end throws, naming the file and the reason.
Lines LoadLines(const std::string& path)
{
    const auto fail = [&path](int err) -> Lines {
        throw std::runtime_error("Cannot read file \"" + path + "\". " + Reason(err));
    };
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.Valid())
        return errno == ENOENT || errno == ENOTDIR ? Lines{} : fail(errno);
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0)
        return fail(errno);
    if (S_ISDIR(st.st_mode))
        return fail(EISDIR);
    if (!S_ISREG(st.st_mode))
        return fail(EINVAL);
    std::string text;
    if (const int err = ReadUpTo(fd.Get(), text.max_size(), text))
        return fail(err);
    Lines lines;
    size_t pos = 0;
    if (text.compare(0, kByteOrderMark.size(), kByteOrderMark) == 0) {
        lines.bom = true;
        pos = kByteOrderMark.size();
    }
    while (pos < text.size()) {
        const size_t nl = text.find('\n', pos);
        Line line;
        if (nl == std::string::npos) {
            line.text = text.substr(pos);
            pos = text.size();
        } else {
            const bool crlf = nl > pos && text[nl - 1] == '\r';
            line.text = text.substr(pos, nl - pos - (crlf ? 1 : 0));
            line.eol = crlf ? "\r\n" : "\n";
            pos = nl + 1;
        }
        lines.items.push_back(std::move(line));
    }
    return lines;
}

std::string Trim(const std::string& s)
{
    const size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    const size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

// The section name of a "[name]" line, or nothing for any other line.
std::optional<std::string> SectionOf(const std::string& line)
{
    const std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[')
        return std::nullopt;
    const size_t close = t.find(']');
    if (close == std::string::npos)
        return std::nullopt;
    return Trim(t.substr(1, close - 1));
}

bool IsComment(const std::string& line)
{
    const std::string t = Trim(line);
    return !t.empty() && t.front() == ';';
}

// The key of a "key=value" line, or nothing.
std::optional<std::string> KeyOf(const std::string& line)
{
    if (IsComment(line))
        return std::nullopt;
    const size_t eq = line.find('=');
    if (eq == std::string::npos)
        return std::nullopt;
    return Trim(line.substr(0, eq));
}

struct Location {
    std::optional<size_t> section;  // index of the section's header line
    std::optional<size_t> key;      // index of the key's line
    size_t insertAt = 0;            // where a new key of the section goes
};

Location Find(const Lines& lines, const std::string& section, const std::string& key)
{
    Location loc;
    bool inSection = false;
    for (size_t i = 0; i < lines.items.size(); ++i) {
        const std::string& line = lines.items[i].text;
        if (auto name = SectionOf(line)) {
            if (inSection)
                break;  // the first section of that name is the one that counts
            inSection = SameText(*name, section);
            if (inSection) {
                loc.section = i;
                loc.insertAt = i + 1;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (!Trim(line).empty())
            loc.insertAt = i + 1;
        if (auto k = KeyOf(line); k && SameText(*k, key)) {
            loc.key = i;
            return loc;
        }
    }
    return loc;
}

std::string ValueOf(const std::string& line)
{
    std::string v = Trim(line.substr(line.find('=') + 1));
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return v;
}

// An exclusive flock on the file a write of `path` replaces, held from the write's read to
// its rename, so that two programs changing the same file one after the other each keep
// the other's change. The lock is on the file itself (created empty when it is missing);
// a rename by the writer before puts a new file under the name, so the lock is taken
// again until it is on the file the name holds. Without a lock (a path that cannot be
// opened) the read or the write that follows says why.
UniqueFd LockForWrite(const std::string& path)
{
    std::string target;
    try {
        target = WriteTarget(path);
    } catch (const std::runtime_error&) {
        return {};
    }
    for (;;) {
        UniqueFd fd(::open(target.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666));
        if (!fd.Valid())
            return {};
        int locked;
        while ((locked = ::flock(fd.Get(), LOCK_EX)) != 0 && errno == EINTR) {
        }
        struct stat held {
        }, named{};
        if (locked != 0 || ::fstat(fd.Get(), &held) != 0)
            return {};
        if (::stat(target.c_str(), &named) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino)
            return fd;
    }
}

void SaveLines(const std::string& path, const Lines& lines)
{
    std::string text(lines.bom ? kByteOrderMark : std::string_view());
    for (const auto& line : lines.items)
        text += line.text + line.eol;
    WriteFileAtomically(path, text);
}

// The line ending a line added after line `above` gets: that line's own, else the first
// one in the file, else "\n".
std::string EndingFor(const Lines& lines, size_t above)
{
    if (above < lines.items.size() && !lines.items[above].eol.empty())
        return lines.items[above].eol;
    for (const Line& line : lines.items) {
        if (!line.eol.empty())
            return line.eol;
    }
    return "\n";
}

void RefuseLineBreaks(const std::string& path, std::initializer_list<const std::string*> texts)
{
    for (const std::string* text : texts) {
        if (text->find_first_of("\r\n") != std::string::npos)
            throw std::runtime_error("Cannot write file \"" + path + "\". A name or value holds a line break");
    }
}

std::string Entry(const std::string& key, const std::string& value)
{
    return std::string(key).append("=").append(value);
}

// Adds "[section]" and its keys at the end, after a blank line.
void AppendSection(Lines& lines, const std::string& section,
                   const std::vector<std::pair<std::string, std::string>>& entries)
{
    const std::string eol = EndingFor(lines, lines.items.size() - 1);
    if (!lines.items.empty()) {
        lines.items.back().eol = eol;
        if (!Trim(lines.items.back().text).empty())
            lines.items.push_back(Line{"", eol});
    }
    lines.items.push_back(Line{"[" + section + "]", eol});
    for (const auto& [key, value] : entries)
        lines.items.push_back(Line{Entry(key, value), eol});
}

}  // namespace

IniFile::IniFile(std::string path) : path_(std::move(path))
{
}

std::string IniFile::ReadProblem() const
{
    try {
        LoadLines(path_);
        return {};
    } catch (const std::runtime_error& e) {
        return e.what();
    }
}

std::string IniFile::ReadString(const std::string& section, const std::string& key, const std::string& def) const
{
    const Lines lines = LoadLines(path_);
    const Location loc = Find(lines, section, key);
    return loc.key ? ValueOf(lines.items[*loc.key].text) : def;
}

bool IniFile::ValueExists(const std::string& section, const std::string& key) const
{
    return Find(LoadLines(path_), section, key).key.has_value();
}

std::vector<std::pair<std::string, std::string>> IniFile::ReadSection(const std::string& section) const
{
    const Lines lines = LoadLines(path_);
    std::vector<std::pair<std::string, std::string>> entries;
    const Location loc = Find(lines, section, {});
    if (!loc.section)
        return entries;
    for (size_t i = *loc.section + 1; i < lines.items.size() && !SectionOf(lines.items[i].text); ++i) {
        const auto key = KeyOf(lines.items[i].text);
        if (!key || std::any_of(entries.begin(), entries.end(), [&](const auto& e) { return SameText(e.first, *key); }))
            continue;
        entries.emplace_back(*key, ValueOf(lines.items[i].text));
    }
    return entries;
}

int32_t IniFile::ReadInteger(const std::string& section, const std::string& key, int32_t def) const
{
    return ParseInteger(ReadString(section, key, "")).value_or(def);
}

double IniFile::ReadFloat(const std::string& section, const std::string& key, double def) const
{
    return ParseFloat(ReadString(section, key, "")).value_or(def);
}

bool IniFile::ReadBool(const std::string& section, const std::string& key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void IniFile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    RefuseLineBreaks(path_, {&section, &key, &value});
    const UniqueFd lock = LockForWrite(path_);
    Lines lines;
    try {
        lines = LoadLines(path_);
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(std::string(e.what()) + ". It is left as it is, and the setting is not stored");
    }
    const Location loc = Find(lines, section, key);
    const std::string entry = Entry(key, value);
    if (loc.key) {
        lines.items[*loc.key].text = entry;
    } else if (loc.section) {
        const size_t above = loc.insertAt - 1;
        const std::string eol = EndingFor(lines, above);
        if (lines.items[above].eol.empty())
            lines.items[above].eol = eol;
        lines.items.insert(lines.items.begin() + static_cast<std::ptrdiff_t>(loc.insertAt), Line{entry, eol});
    } else {
        AppendSection(lines, section, {{key, value}});
    }
    SaveLines(path_, lines);
}

void IniFile::WriteSection(const std::string& section, const std::vector<std::pair<std::string, std::string>>& entries)
{
    RefuseLineBreaks(path_, {&section});
    for (const auto& [key, value] : entries)
        RefuseLineBreaks(path_, {&key, &value});
    Lines lines;
    try {
        lines = LoadLines(path_);
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(std::string(e.what()) + ". It is left as it is, and the setting is not stored");
    }
    const Location loc = Find(lines, section, {});
    if (!loc.section && entries.empty())
        return;
    if (!loc.section) {
        AppendSection(lines, section, entries);
        SaveLines(path_, lines);
        return;
    }
    // The section's other lines stay; the keys go where its first key was, or else after
    // its last line that is not blank.
    const size_t head = *loc.section;
    size_t end = head + 1;
    while (end < lines.items.size() && !SectionOf(lines.items[end].text))
        ++end;
    std::vector<Line> body;
    std::optional<size_t> firstKey;
    size_t afterText = 0;
    for (size_t i = head + 1; i < end; ++i) {
        if (KeyOf(lines.items[i].text)) {
            firstKey = firstKey.value_or(body.size());
            continue;
        }
        body.push_back(lines.items[i]);
        if (!Trim(body.back().text).empty())
            afterText = body.size();
    }
    const size_t at = firstKey.value_or(afterText);
    const std::string eol = EndingFor(lines, head);
    Line& above = at == 0 ? lines.items[head] : body[at - 1];
    if (above.eol.empty())
        above.eol = eol;
    std::vector<Line> keys;
    keys.reserve(entries.size());
    for (const auto& [key, value] : entries)
        keys.push_back(Line{Entry(key, value), eol});
    body.insert(body.begin() + static_cast<std::ptrdiff_t>(at), keys.begin(), keys.end());
    lines.items.erase(lines.items.begin() + static_cast<std::ptrdiff_t>(head + 1),
                      lines.items.begin() + static_cast<std::ptrdiff_t>(end));
    lines.items.insert(lines.items.begin() + static_cast<std::ptrdiff_t>(head + 1), body.begin(), body.end());
    SaveLines(path_, lines);
}

void IniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value)
{
    WriteString(section, key, std::to_string(value));
}

void IniFile::WriteFloat(const std::string& section, const std::string& key, double value)
{
    WriteString(section, key, FormatFloat(value));
}

void IniFile::WriteBool(const std::string& section, const std::string& key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

}  // namespace tessek
