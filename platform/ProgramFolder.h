#pragma once
// The program folder: where "Tessek.ini" and the automatic logs live.
#include <string>

namespace tessek {

inline constexpr const char* kSettingsFileName = "Tessek.ini";

// The folder of the running executable with its trailing "/". Where that folder cannot
// be written, or is a system-wide folder of programs such as /usr/bin (an installed
// program, even when root runs it), the per-user data folder of the platform instead
// (created when missing, and given a copy of a Tessek.ini found beside the executable
// while it has none of its own). Decided once; a folder set with SetProgramFolder wins.
std::string ProgramFolder();

// "Tessek.ini" in ProgramFolder(): the settings file of every window and front end.
inline std::string SettingsFilePath()
{
    return ProgramFolder() + kSettingsFileName;
}

// The choice ProgramFolder() makes: `exeFolder` when it is writable, else `userFolder`
// (created when missing; a Tessek.ini in `exeFolder` is copied there when `userFolder`
// has none). Both are returned with their trailing "/". `firstUse`, when given, is set
// to whether `userFolder` was chosen and held no Tessek.ini yet. Never throws.
std::string ChooseProgramFolder(const std::string& exeFolder, bool exeFolderWritable, const std::string& userFolder,
                                bool* firstUse = nullptr);

// True for the folders that hold the system's programs (/usr/bin, /bin, /usr/local/bin,
// ...; with or without a trailing "/"): no program folder even where root may write.
bool IsSystemProgramsFolder(const std::string& folder);

// True when ProgramFolder() chose the per-user folder and found no Tessek.ini there: the
// first start of an installed program for this user.
bool ProgramFolderFirstUse();

// The line that tells the user, at that first start, where the files go.
std::string FirstStartLine(const std::string& folder);

// Makes ProgramFolder() return `folder` (a trailing "/" is added when missing). Tests give
// every main window a private folder this way.
void SetProgramFolder(const std::string& folder);

}  // namespace tessek
