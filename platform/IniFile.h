#pragma once
// The settings file, read and written key by key.
//
// Sections and keys match without regard to ASCII letter case. Every read parses the
// file's current content (a missing file reads as empty), and every write reaches the
// disk at once: the file is rewritten to a temporary file beside it and renamed over
// it, so a crash never leaves half a file. A write changes or adds only its own line;
// every other line, comments included, is kept as it was. Called on the window thread.
#include <cstdint>
#include <string>

namespace tessek {

class IniFile {
public:
    explicit IniFile(std::string path);

    const std::string& FileName() const { return path_; }

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

    // Each write throws std::runtime_error (with the system's reason) when the file
    // cannot be written; the file on disk is then unchanged.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int32_t value);
    void WriteFloat(const std::string& section, const std::string& key, double value);
    void WriteBool(const std::string& section, const std::string& key, bool value);  // "1" or "0"

private:
    std::string path_;
};

}  // namespace tessek
