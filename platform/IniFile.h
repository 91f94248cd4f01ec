#pragma once
// The settings file, read and written key by key.
//
// Sections and keys match without regard to ASCII letter case; of several sections of
// one name only the first counts. Every read parses the file's current content, and
// every write reaches the disk at once: the file is rewritten to a temporary file beside
// it and renamed over it (through a symbolic link, to the link's target), so a crash
// never leaves half a file. A write changes or adds only its own line; every other line,
// comments included, is kept byte for byte with its own line ending, and so is a UTF-8
// byte order mark, which does not hide the first section.
//
// Each write holds an exclusive flock on the file from its read to its rename, so that two
// programs writing the same file (the window and `tessek --log` on one program folder)
// never write back an older copy over the other's change.
//
// A missing file reads as empty. A file that exists but cannot be read (a folder, no
// permission, an I/O error) is never taken for an empty one: every read and every write
// then throws std::runtime_error with the file's name and the system's reason, and the
// file is left as it is. Called on the window thread.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tessek {

class IniFile {
public:
    explicit IniFile(std::string path);

    const std::string& FileName() const { return path_; }

    // "" when the file can be read or does not exist; otherwise the message every read
    // would throw, for telling the user once.
    std::string ReadProblem() const;

    // The value text with surrounding blanks removed, or `def` when the file, the
    // section or the key is missing. A key present with an empty value gives "".
    std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
    // Integer text as ParseInteger reads it; `def` when missing or malformed.
    int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def) const;
    // Floating-point text as ParseFloat reads it; `def` when missing, empty or malformed.
    double ReadFloat(const std::string& section, const std::string& key, double def) const;
    // An integer key; any value other than 0 is true.
    bool ReadBool(const std::string& section, const std::string& key, bool def) const;
    bool ValueExists(const std::string& section, const std::string& key) const;
    // Every key of `section` with its value as ReadString gives it, in the file's order; of
    // several keys of one name only the first. Empty when the file or the section is missing.
    std::vector<std::pair<std::string, std::string>> ReadSection(const std::string& section) const;

    // Each write throws std::runtime_error (with the file's name and the system's reason)
    // when the file cannot be read or written; the file on disk is then unchanged. A
    // section, key or value holding a line break is refused the same way.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int32_t value);
    void WriteFloat(const std::string& section, const std::string& key, double value);
    void WriteBool(const std::string& section, const std::string& key, bool value);  // "1" or "0"
    // Replaces every key of `section` by `entries`, in their order, where the section's
    // first key stood; its comments and blank lines stay. A missing section is added at the
    // end of the file (not for no entries). Throws as the writes above do.
    void WriteSection(const std::string& section, const std::vector<std::pair<std::string, std::string>>& entries);

private:
    std::string path_;
};

}  // namespace tessek
