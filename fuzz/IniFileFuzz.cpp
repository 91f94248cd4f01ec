// The settings file reader and writer. The input is a section name, a key and a value,
// each ended by a zero byte, then the file's content. Whatever the file holds, reading
// never fails (it is a readable file); a write of a well-formed name and value reads back
// as written and changes the file in one place only: at most one line's text is replaced
// or lines are inserted, and every other byte, line endings and byte order mark included,
// stays as it was.
#include "fuzz/FuzzFile.h"
#include "platform/IniFile.h"
#include "platform/Text.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string Trim(std::string_view s)
{
    const size_t b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos)
        return {};
    return std::string(s.substr(b, s.find_last_not_of(" \t") - b + 1));
}

bool HasLineBreak(std::string_view s)
{
    return s.find_first_of("\r\n") != std::string_view::npos;
}

// Names and values that a settings file can hold so that they read back unchanged.
bool WellFormed(const std::string& section, const std::string& key, const std::string& value)
{
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value))
        return false;
    if (section.empty() || Trim(section) != section || section.find(']') != std::string::npos)
        return false;
    if (key.empty() || Trim(key) != key || key.find('=') != std::string::npos || key[0] == ';' || key[0] == '[')
        return false;
    if (Trim(value) != value)
        return false;
    return value.size() < 2 || !((value.front() == '"' || value.front() == '\'') && value.back() == value.front());
}

size_t CountOf(std::string_view s, char c)
{
    size_t n = 0;
    for (const char x : s)
        n += x == c;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace tessek;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string parts[3];
    size_t pos = 0;
    for (std::string& part : parts) {
        const size_t end = input.find('\0', pos);
        if (end == std::string_view::npos)
            return 0;
        part = std::string(input.substr(pos, end - pos));
        pos = end + 1;
    }
    const auto& [section, key, value] = parts;
    const std::string before(input.substr(pos));
    {
        std::ofstream out(fuzz::SettingsPath(), std::ios::binary | std::ios::trunc);
        out << before;
    }

    IniFile ini(fuzz::SettingsPath());
    if (!ini.ReadProblem().empty())
        std::abort();
    const std::string missing = "\x01missing";
    const bool exists = ini.ValueExists(section, key);
    if (!exists && ini.ReadString(section, key, missing) != missing)
        std::abort();
    ini.ReadInteger(section, key, 1);
    ini.ReadFloat(section, key, 0.5);

    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) {
        try {
            ini.WriteString(section, key, value);
        } catch (const std::runtime_error&) {
            if (ReadAll(fuzz::SettingsPath()) != before)
                std::abort();
            return 0;
        }
        std::abort();  // a line break would have made lines of its own
    }
    if (!WellFormed(section, key, value))
        return 0;

    ini.WriteString(section, key, value);
    if (ini.ReadString(section, key, missing) != value)
        std::abort();
    const std::string after = ReadAll(fuzz::SettingsPath());
    // The one place that changed: what lies between the common start and the common end.
    size_t head = 0;
    while (head < before.size() && head < after.size() && before[head] == after[head])
        ++head;
    size_t tail = 0;
    while (tail < before.size() - head && tail < after.size() - head &&
           before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
        ++tail;
    const std::string_view removed = std::string_view(before).substr(head, before.size() - head - tail);
    const std::string_view added = std::string_view(after).substr(head, after.size() - head - tail);
    if (CountOf(removed, '\n') != 0)
        std::abort();  // a line ending, and so a line, was lost
    if (CountOf(added, '\n') > 4)
        std::abort();  // more than a line ending, a blank line, a section and the key
    return 0;
}
