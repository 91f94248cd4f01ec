#pragma once
// The text of the main window's text area as lines: the source of truth for what is
// shown, read and saved, so a long log is never re-read from the widget.
//
// Lines are byte strings, one byte per character (Latin-1). The last line may be
// unfinished: Append leaves it open, AddLine ends it first. Whole text: every finished
// line followed by CR LF, an unfinished last line without one. Window thread only.
#include <string>
#include <vector>

namespace tessek {

class MemoLines {
public:
    void Clear();
    // `line` becomes a finished line of its own at the end (an unfinished last line is
    // ended first).
    void AddLine(const std::string& line);
    // Appends `text` to the unfinished last line; after a finished line (or on empty
    // text) it starts a new, unfinished line.
    void Append(const std::string& text);

    const std::vector<std::string>& Lines() const { return lines_; }
    bool LastLineOpen() const { return lastOpen_; }
    std::string Text() const;
    // Every line, the unfinished one too, followed by CR LF.
    std::string SaveText() const;
    // Replaces the file at `path` with SaveText, whole or not at all (see AtomicFile.h);
    // throws std::runtime_error naming the file and the reason.
    void SaveToFile(const std::string& path) const;
    // Creates the file at `path` with SaveText, whole or not at all, never following a
    // link there nor replacing anything (see WriteNewFileAtomically); false when the name
    // is taken.
    bool SaveToNewFile(const std::string& path) const;

    // Replaces everything with `text` as the user edited it ("\n" or "\r\n" between lines;
    // text ending in a line break has a finished last line).
    void SetText(const std::string& text);

private:
    std::vector<std::string> lines_;
    bool lastOpen_ = false;
};

}  // namespace tessek
