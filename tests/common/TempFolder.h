#pragma once
// A private folder for one test, removed with everything in it at the end of the test.
#include <string>

namespace tessek::test {

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder with its trailing "/".
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + name; }
    // The whole content of a file in the folder ("" when it does not exist).
    std::string Read(const std::string& name) const;
    void Write(const std::string& name, const std::string& content) const;
    bool Exists(const std::string& name) const;

private:
    std::string path_;
};

}  // namespace tessek::test
