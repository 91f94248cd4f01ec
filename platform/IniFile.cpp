#include "platform/IniFile.h"

#include "platform/Text.h"
#include "platform/TextNumbers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace tessek {

namespace {

struct Lines {
    std::vector<std::string> items;
    bool crlf = false;
};

Lines LoadLines(const std::string& path)
{
    Lines lines;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return lines;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
            lines.crlf = true;
        }
        lines.items.push_back(std::move(line));
        pos = end + 1;
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
        const std::string& line = lines.items[i];
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

[[noreturn]] void Fail(const std::string& what, const std::string& path, int err)
{
    throw std::runtime_error(what + " " + path + ": " + std::strerror(err));
}

void SaveLines(const std::string& path, const Lines& lines)
{
    const char* eol = lines.crlf ? "\r\n" : "\n";
    std::string text;
    for (const auto& line : lines.items) {
        text += line;
        text += eol;
    }
    std::string tmpl = path + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0)
        Fail("Cannot write", path, errno);
    struct stat st {};
    fchmod(fd, ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : EIO;
            ::close(fd);
            ::unlink(name.data());
            Fail("Cannot write", path, err);
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int err = errno;
        ::unlink(name.data());
        Fail("Cannot write", path, err);
    }
    if (::rename(name.data(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(name.data());
        Fail("Cannot replace", path, err);
    }
}

}  // namespace

IniFile::IniFile(std::string path) : path_(std::move(path))
{
}

std::string IniFile::ReadString(const std::string& section, const std::string& key, const std::string& def) const
{
    const Lines lines = LoadLines(path_);
    const Location loc = Find(lines, section, key);
    return loc.key ? ValueOf(lines.items[*loc.key]) : def;
}

bool IniFile::ValueExists(const std::string& section, const std::string& key) const
{
    return Find(LoadLines(path_), section, key).key.has_value();
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
    Lines lines = LoadLines(path_);
    const Location loc = Find(lines, section, key);
    const std::string entry = key + "=" + value;
    if (loc.key) {
        lines.items[*loc.key] = entry;
    } else if (loc.section) {
        lines.items.insert(lines.items.begin() + static_cast<std::ptrdiff_t>(loc.insertAt), entry);
    } else {
        if (!lines.items.empty() && !Trim(lines.items.back()).empty())
            lines.items.emplace_back();
        lines.items.push_back("[" + section + "]");
        lines.items.push_back(entry);
    }
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
