#pragma once
// The program folder: where "Tessek.ini" and the automatic logs live.
#include <string>

namespace tessek {

// The folder of the running executable with its trailing "/". Where that folder cannot
// be written (an installed program), the per-user data folder of the platform instead
// (created when missing). Decided once; a folder set with SetProgramFolder wins.
std::string ProgramFolder();

// Makes ProgramFolder() return `folder` (a trailing "/" is added when missing). Tests give
// every main window a private folder this way.
void SetProgramFolder(const std::string& folder);

}  // namespace tessek
