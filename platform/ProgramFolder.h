#pragma once
// The program folder: where "Tessek.ini" and the automatic logs live.
#include <string>

namespace tessek {

inline constexpr const char* kSettingsFileName = "Tessek.ini";

// The folder of the running executable with its trailing "/". Where that folder cannot
// be written (an installed program), the per-user data folder of the platform instead
// (created when missing, and given a copy of a Tessek.ini found beside the executable
// while it has none of its own). Decided once; a folder set with SetProgramFolder wins.
std::string ProgramFolder();

// The choice ProgramFolder() makes: `exeFolder` when it is writable, else `userFolder`
// (created when missing; a Tessek.ini in `exeFolder` is copied there when `userFolder`
// has none). Both are returned with their trailing "/". Never throws.
std::string ChooseProgramFolder(const std::string& exeFolder, bool exeFolderWritable, const std::string& userFolder);

// Makes ProgramFolder() return `folder` (a trailing "/" is added when missing). Tests give
// every main window a private folder this way.
void SetProgramFolder(const std::string& folder);

}  // namespace tessek
