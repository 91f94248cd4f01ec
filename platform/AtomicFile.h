#pragma once
// Files written for the user (the settings file, automatic logs, Save) are replaced whole
// or not at all: the new content goes to a temporary file beside the target
// ("<name>.XXXXXX"), reaches the disk, and is renamed over the target. A symbolic link is
// followed, so its target is replaced and the link stays. A write that fails removes its
// temporary file and leaves the target as it was.
//
// Plain functions, any thread. Errors are std::runtime_error naming the file and the
// system's reason.
#include <functional>
#include <string>
#include <string_view>

namespace tessek {

// Hands a file's content over piece by piece, so that a long text need not be built whole
// first: called with `put`, it calls put with each piece in order and returns 0, or the
// first non-zero result of put (an errno) at once.
using PutPiece = std::function<int(std::string_view piece)>;
using ContentWriter = std::function<int(const PutPiece& put)>;

// The file a write of `path` replaces: `path` with every symbolic link along its last
// component followed (relative links from the link's own folder). Throws when the links
// form a loop or cannot be read.
std::string WriteTarget(const std::string& path);

// Replaces the file at `path` (through its symbolic links) with `content`. A new file gets
// the mode the process's umask leaves of 0666, as any file the program creates; a replaced
// one keeps its mode. Throws std::runtime_error "Cannot write file "<path>". <reason>" on
// failure.
void WriteFileAtomically(const std::string& path, std::string_view content);
void WriteFileAtomically(const std::string& path, const ContentWriter& content);

// Creates the file at `path` with `content`, whole or not at all, as a new file: a
// symbolic link at `path` is not followed, and nothing there is replaced, not even a file
// or link that appeared while the content was being written. False when the name is
// taken; throws as WriteFileAtomically for any other failure.
bool WriteNewFileAtomically(const std::string& path, std::string_view content);
bool WriteNewFileAtomically(const std::string& path, const ContentWriter& content);

// Removes regular files "<name>.XXXXXX" (six letters or digits) beside the target of
// `path`: temporaries of writes that were killed before their rename. Returns how many
// were removed; errors are ignored.
int RemoveStaleTemporaries(const std::string& path);

}  // namespace tessek
