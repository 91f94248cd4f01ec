#pragma once
// The text of the main window's text area as lines: the source of truth for what is
// shown, read, edited and saved, so a long log is never re-read from the widget.
//
// Lines are byte strings, one byte per character (Latin-1). The last line may be
// unfinished: Append leaves it open, AddLine ends it first. Whole text: every finished
// line followed by CR LF, an unfinished last line without one. Window thread only.
//
// A run adds millions of lines, so a line costs its bytes and a 12-byte index entry: the
// bytes of all lines lie one after another in large chunks, never one heap block per
// line. A line that grows beyond its place is written anew at the end of the last chunk;
// the space it leaves is counted and the chunks are rewritten once that space outweighs
// the text, so editing a long log never copies the whole of it per keystroke.
//
// Editing works on the text as a widget shows it: "document lines" are the lines with
// an empty one after a finished last line (where the next line will go), positions are
// (document line, column), and line breaks in inserted or taken text are "\n".
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/AtomicFile.h"

namespace tessek {

struct MemoPosition {
    size_t line = 0;
    size_t column = 0;
    friend bool operator==(const MemoPosition&, const MemoPosition&) = default;
    friend auto operator<=>(const MemoPosition&, const MemoPosition&) = default;
};

// Cursor moves within the text.
enum class MemoMove { CharLeft, CharRight, WordLeft, WordRight };

// One change of the text: at `at`, `removed` went and `inserted` came.
struct MemoStep {
    MemoPosition at;
    std::string removed;
    std::string inserted;
};

class MemoLines {
public:
    MemoLines();
    ~MemoLines();
    MemoLines(const MemoLines&) = delete;
    MemoLines& operator=(const MemoLines&) = delete;

    void Clear();
    // `line` becomes a finished line of its own at the end (an unfinished last line is
    // ended first).
    void AddLine(std::string_view line);
    // Appends `text` to the unfinished last line; after a finished line (or on empty
    // text) it starts a new, unfinished line.
    void Append(std::string_view text);

    size_t LineCount() const { return lines_.size(); }
    // Line `i` (< LineCount); valid until the next change.
    std::string_view Line(size_t i) const;
    // A copy of every line.
    std::vector<std::string> Lines() const;
    bool LastLineOpen() const { return lastOpen_; }
    std::string Text() const;
    // Every line, the unfinished one too, followed by CR LF.
    std::string SaveText() const;
    // SaveText handed to `put` in pieces of about 64 KiB (see ContentWriter).
    int PutSaveText(const PutPiece& put) const;
    // Replaces the file at `path` with SaveText, whole or not at all (see AtomicFile.h),
    // written in pieces, never as one copy of the text; throws std::runtime_error naming
    // the file and the reason.
    void SaveToFile(const std::string& path) const;
    // Creates the file at `path` with SaveText in the same way, never following a link
    // there nor replacing anything (see WriteNewFileAtomically); false when the name is
    // taken.
    bool SaveToNewFile(const std::string& path) const;

    // Replaces everything with `text` ("\n" or "\r\n" between lines; text ending in a line
    // break has a finished last line).
    void SetText(std::string_view text);

    // The document: the lines, and an empty one after a finished last line.
    size_t DocLineCount() const { return lines_.size() + (lastOpen_ ? 0 : 1); }
    std::string_view DocLine(size_t i) const { return i < lines_.size() ? Line(i) : std::string_view(); }
    // Characters of the document, a "\n" counted between lines.
    size_t DocLength() const { return bytes_ + DocLineCount() - 1; }
    // `at` moved onto the document (last line, line end at most).
    MemoPosition Clamp(MemoPosition at) const;
    MemoPosition DocEnd() const;
    // `at` moved by a character or to the start (left) or end (right) of a word, across
    // line breaks. Words are runs of letters and digits or of other marks; spaces between
    // them are skipped.
    MemoPosition Moved(MemoPosition at, MemoMove how) const;
    // The run of like characters (word, marks or spaces) at `at`: the one right of it, or
    // at a line end the one left of it.
    std::pair<MemoPosition, MemoPosition> WordAt(MemoPosition at) const;
    // Offset in the document's characters and back; both walk the lines before it.
    size_t OffsetOf(MemoPosition at) const;
    MemoPosition PositionAt(size_t offset) const;
    // The text from `from` to `to` ("\n" between lines).
    std::string TextBetween(MemoPosition from, MemoPosition to) const;
    // Inserts `text` ("\n" breaks lines; "\r" before one is dropped) at `at`; returns the
    // position after it.
    MemoPosition Insert(MemoPosition at, std::string_view text);
    // Removes the text from `from` to `to`.
    void Erase(MemoPosition from, MemoPosition to);
    // Replaces the text from `from` to `to` with `text`, as one step to undo while
    // recording; returns the position after it.
    MemoPosition Replace(MemoPosition from, MemoPosition to, std::string_view text);
    // The position after `text` inserted at `at`.
    static MemoPosition EndOf(MemoPosition at, std::string_view text);

    // Steps made by Replace while recording (off at first), taken back and made again:
    // what was done (nothing when there is no step). Lines added at the end keep the steps
    // valid; Clear, SetText and SetRecording forget them.
    void SetRecording(bool recording);
    std::optional<MemoStep> Undo();
    std::optional<MemoStep> Redo();
    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }

    // Bytes held in chunks for lines (text, room to grow and space left by edits).
    size_t ChunkBytes() const;

private:
    struct Chunk;
    struct LineRef {
        uint32_t chunk;
        uint32_t offset;
        uint32_t length;
    };

    char* Data(const LineRef& ref) const;
    // Stores `text` as a new piece at the end of the chunks.
    LineRef Put(std::string_view text);
    // Makes line `i` read `text`, in its place when it fits.
    void SetLine(size_t i, std::string_view text);
    // A finished last line followed by the empty document line becomes an open empty line,
    // so every document line is a line.
    void OpenEmptyLastLine();
    // An open empty last line is the same text as a finished line before it.
    void NormalizeEnd();
    void CompactIfWasteful();
    void ForgetEdits();
    std::optional<MemoStep> UndoOrRedo(std::vector<MemoStep>& from, std::vector<MemoStep>& to);

    std::vector<Chunk> chunks_;
    std::vector<LineRef> lines_;
    size_t bytes_ = 0;   // the lines' bytes
    size_t unused_ = 0;  // bytes in chunks no line refers to any longer
    bool lastOpen_ = false;
    bool recording_ = false;
    std::vector<MemoStep> undo_;
    std::vector<MemoStep> redo_;
};

}  // namespace tessek
