#include "platform/MemoLines.h"

#include "platform/AtomicFile.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>

namespace tessek {

namespace {

// A chunk holds the bytes of thousands of lines; its pages become resident only as they
// are written.
constexpr size_t kChunkSize = size_t{1} << 20;
// Space left by edits is reclaimed once it is more than this and more than the text.
constexpr size_t kUnusedToCompact = size_t{1} << 20;
// A line's length and place are 32-bit; a longer line (a paste of gigabytes) is cut.
constexpr size_t kMaxLine = std::numeric_limits<uint32_t>::max();

// Spaces, characters of words, and other marks.
int CharClass(char c)
{
    const auto u = static_cast<unsigned char>(c);
    if (u == ' ' || u == '\t')
        return 0;
    if (std::isalnum(u) || u == '_' || u >= 0xC0)
        return 1;
    return 2;
}

// The start of the run of like characters that ends at `end`, and the end of the one
// that starts at `start`.
size_t RunStart(std::string_view line, size_t end)
{
    if (end == 0)
        return 0;
    const int kind = CharClass(line[end - 1]);
    while (end > 0 && CharClass(line[end - 1]) == kind)
        --end;
    return end;
}

size_t RunEnd(std::string_view line, size_t start)
{
    if (start >= line.size())
        return line.size();
    const int kind = CharClass(line[start]);
    while (start < line.size() && CharClass(line[start]) == kind)
        ++start;
    return start;
}

}  // namespace

struct MemoLines::Chunk {
    std::unique_ptr<char[]> data;
    size_t size = 0;
    size_t used = 0;
};

MemoLines::MemoLines() = default;
MemoLines::~MemoLines() = default;

char* MemoLines::Data(const LineRef& ref) const
{
    return chunks_[ref.chunk].data.get() + ref.offset;
}

std::string_view MemoLines::Line(size_t i) const
{
    const LineRef& ref = lines_[i];
    return ref.length == 0 ? std::string_view() : std::string_view(Data(ref), ref.length);
}

MemoLines::LineRef MemoLines::Put(std::string_view text)
{
    text = text.substr(0, kMaxLine);
    if (text.empty())
        return {0, 0, 0};
    if (chunks_.empty() || chunks_.back().size - chunks_.back().used < text.size()) {
        Chunk chunk;
        chunk.size = std::max(kChunkSize, text.size());
        chunk.data = std::make_unique_for_overwrite<char[]>(chunk.size);
        chunks_.push_back(std::move(chunk));
    }
    Chunk& chunk = chunks_.back();
    std::memcpy(chunk.data.get() + chunk.used, text.data(), text.size());
    const LineRef ref{static_cast<uint32_t>(chunks_.size() - 1), static_cast<uint32_t>(chunk.used),
                      static_cast<uint32_t>(text.size())};
    chunk.used += text.size();
    return ref;
}

void MemoLines::SetLine(size_t i, std::string_view text)
{
    text = text.substr(0, kMaxLine);
    LineRef& ref = lines_[i];
    bytes_ = bytes_ - ref.length + text.size();
    const bool atTail = ref.length > 0 && ref.chunk + 1 == chunks_.size() &&
                        ref.offset + ref.length == chunks_.back().used &&
                        chunks_.back().size - ref.offset >= text.size();
    if (text.size() <= ref.length || atTail) {
        if (!text.empty())
            std::memmove(Data(ref), text.data(), text.size());
        if (atTail)
            chunks_.back().used = ref.offset + text.size();
        else
            unused_ += ref.length - text.size();
        ref.length = static_cast<uint32_t>(text.size());
        return;
    }
    unused_ += ref.length;
    ref = Put(text);
}

void MemoLines::CompactIfWasteful()
{
    if (unused_ <= kUnusedToCompact || unused_ <= bytes_)
        return;
    MemoLines fresh;
    fresh.lines_.reserve(lines_.size());
    for (size_t i = 0; i < lines_.size(); ++i)
        fresh.lines_.push_back(fresh.Put(Line(i)));
    chunks_ = std::move(fresh.chunks_);
    lines_ = std::move(fresh.lines_);
    unused_ = 0;
}

void MemoLines::Clear()
{
    chunks_.clear();
    lines_.clear();
    lines_.shrink_to_fit();
    bytes_ = 0;
    unused_ = 0;
    lastOpen_ = false;
    ForgetEdits();
}

void MemoLines::AddLine(std::string_view line)
{
    lines_.push_back(Put(line));
    bytes_ += lines_.back().length;
    lastOpen_ = false;
}

void MemoLines::Append(std::string_view text)
{
    if (!lastOpen_) {
        lines_.push_back(Put(text));
        bytes_ += lines_.back().length;
        lastOpen_ = true;
        return;
    }
    std::string joined(Line(lines_.size() - 1));
    joined += text;
    SetLine(lines_.size() - 1, joined);
    CompactIfWasteful();
}

std::vector<std::string> MemoLines::Lines() const
{
    std::vector<std::string> lines;
    lines.reserve(lines_.size());
    for (size_t i = 0; i < lines_.size(); ++i)
        lines.emplace_back(Line(i));
    return lines;
}

std::string MemoLines::Text() const
{
    std::string text;
    text.reserve(bytes_ + 2 * lines_.size());
    for (size_t i = 0; i < lines_.size(); ++i) {
        text += Line(i);
        if (i + 1 < lines_.size() || !lastOpen_)
            text += "\r\n";
    }
    return text;
}

std::string MemoLines::SaveText() const
{
    std::string text;
    text.reserve(bytes_ + 2 * lines_.size());
    for (size_t i = 0; i < lines_.size(); ++i) {
        text += Line(i);
        text += "\r\n";
    }
    return text;
}

int MemoLines::PutSaveText(const PutPiece& put) const
{
    // A run's text is written a piece at a time: a copy of the whole of it would add its
    // size again to the window's memory at the end of a long run.
    constexpr size_t kPieceBytes = size_t{1} << 16;
    std::string piece;
    piece.reserve(kPieceBytes + 256);
    for (size_t i = 0; i < lines_.size(); ++i) {
        piece += Line(i);
        piece += "\r\n";
        if (piece.size() >= kPieceBytes) {
            if (const int err = put(piece))
                return err;
            piece.clear();
        }
    }
    return piece.empty() ? 0 : put(piece);
}

void MemoLines::SaveToFile(const std::string& path) const
{
    WriteFileAtomically(path, [this](const PutPiece& put) { return PutSaveText(put); });
}

bool MemoLines::SaveToNewFile(const std::string& path) const
{
    return WriteNewFileAtomically(path, [this](const PutPiece& put) { return PutSaveText(put); });
}

void MemoLines::SetText(std::string_view text)
{
    Clear();
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            Append(text.substr(start));
            return;
        }
        size_t lineEnd = end;
        if (lineEnd > start && text[lineEnd - 1] == '\r')
            --lineEnd;
        AddLine(text.substr(start, lineEnd - start));
        start = end + 1;
    }
}

MemoPosition MemoLines::DocEnd() const
{
    const size_t last = DocLineCount() - 1;
    return {last, DocLine(last).size()};
}

MemoPosition MemoLines::Clamp(MemoPosition at) const
{
    if (at.line >= DocLineCount())
        return DocEnd();
    return {at.line, std::min(at.column, DocLine(at.line).size())};
}

MemoPosition MemoLines::Moved(MemoPosition at, MemoMove how) const
{
    at = Clamp(at);
    const std::string_view line = DocLine(at.line);
    const bool lineStart = at.column == 0, lineEnd = at.column == line.size();
    const bool left = how == MemoMove::CharLeft || how == MemoMove::WordLeft;
    if (left && lineStart)
        return at.line == 0 ? at : MemoPosition{at.line - 1, DocLine(at.line - 1).size()};
    if (!left && lineEnd)
        return at.line + 1 == DocLineCount() ? at : MemoPosition{at.line + 1, 0};
    switch (how) {
        case MemoMove::CharLeft:
            return {at.line, at.column - 1};
        case MemoMove::CharRight:
            return {at.line, at.column + 1};
        case MemoMove::WordLeft: {
            size_t column = at.column;
            while (column > 0 && CharClass(line[column - 1]) == 0)
                --column;
            return {at.line, RunStart(line, column)};
        }
        case MemoMove::WordRight: {
            size_t column = RunEnd(line, at.column);
            while (column < line.size() && CharClass(line[column]) == 0)
                ++column;
            return {at.line, column};
        }
    }
    return at;
}

std::pair<MemoPosition, MemoPosition> MemoLines::WordAt(MemoPosition at) const
{
    at = Clamp(at);
    const std::string_view line = DocLine(at.line);
    if (at.column == line.size())
        return {{at.line, RunStart(line, at.column)}, at};
    const size_t end = RunEnd(line, at.column);
    size_t start = at.column;
    while (start > 0 && CharClass(line[start - 1]) == CharClass(line[at.column]))
        --start;
    return {{at.line, start}, {at.line, end}};
}

// Both walk from the nearer end of the document: a screen reader asks for the cursor's
// offset after every line a run adds, with the cursor at the end of hours of lines.
size_t MemoLines::OffsetOf(MemoPosition at) const
{
    at = Clamp(at);
    const size_t count = DocLineCount();
    size_t start = 0;  // of line at.line
    if (at.line < count / 2) {
        for (size_t i = 0; i < at.line; ++i)
            start += DocLine(i).size() + 1;
    } else {
        start = DocLength() + 1;
        for (size_t i = count; i-- > at.line;)
            start -= DocLine(i).size() + 1;
    }
    return start + at.column;
}

MemoPosition MemoLines::PositionAt(size_t offset) const
{
    const size_t count = DocLineCount();
    if (offset >= DocLength())
        return DocEnd();
    if (offset < DocLength() / 2) {
        for (size_t i = 0; i < count; ++i) {
            const size_t length = DocLine(i).size();
            if (offset <= length)
                return {i, offset};
            offset -= length + 1;
        }
        return DocEnd();
    }
    size_t start = DocLength() + 1;
    for (size_t i = count; i-- > 0;) {
        start -= DocLine(i).size() + 1;
        if (offset >= start)
            return {i, offset - start};
    }
    return {0, offset};
}

std::string MemoLines::TextBetween(MemoPosition from, MemoPosition to) const
{
    from = Clamp(from);
    to = Clamp(to);
    if (to < from)
        std::swap(from, to);
    if (from.line == to.line)
        return std::string(DocLine(from.line).substr(from.column, to.column - from.column));
    std::string text(DocLine(from.line).substr(from.column));
    for (size_t i = from.line + 1; i < to.line; ++i) {
        text += '\n';
        text += DocLine(i);
    }
    text += '\n';
    text += DocLine(to.line).substr(0, to.column);
    return text;
}

void MemoLines::OpenEmptyLastLine()
{
    if (lastOpen_)
        return;
    lines_.push_back({0, 0, 0});
    lastOpen_ = true;
}

void MemoLines::NormalizeEnd()
{
    if (lastOpen_ && lines_.back().length == 0) {
        lines_.pop_back();
        lastOpen_ = false;
    }
}

MemoPosition MemoLines::EndOf(MemoPosition at, std::string_view text)
{
    const size_t lastBreak = text.rfind('\n');
    if (lastBreak == std::string_view::npos)
        return {at.line, at.column + text.size()};
    return {at.line + static_cast<size_t>(std::count(text.begin(), text.end(), '\n')), text.size() - lastBreak - 1};
}

MemoPosition MemoLines::Replace(MemoPosition from, MemoPosition to, std::string_view text)
{
    from = Clamp(from);
    to = Clamp(to);
    if (to < from)
        std::swap(from, to);
    std::string inserted;  // as Insert stores it: no CR before a line break
    inserted.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n')
            inserted += text[i];
    if (recording_ && (from != to || !inserted.empty())) {
        redo_.clear();
        MemoStep* last = undo_.empty() ? nullptr : &undo_.back();
        // Typing on one line is one step, up to a word or so.
        if (from == to && last && last->removed.empty() && EndOf(last->at, last->inserted) == from &&
            inserted.find('\n') == std::string::npos && last->inserted.find('\n') == std::string::npos &&
            last->inserted.size() < 32)
            last->inserted += inserted;
        else
            undo_.push_back({from, TextBetween(from, to), inserted});
    }
    Erase(from, to);
    return Insert(from, inserted);
}

std::optional<MemoStep> MemoLines::UndoOrRedo(std::vector<MemoStep>& from, std::vector<MemoStep>& to)
{
    if (from.empty())
        return std::nullopt;
    MemoStep step = std::move(from.back());
    from.pop_back();
    // The step backwards: what it put in goes, what it took comes back.
    std::swap(step.removed, step.inserted);
    Erase(step.at, EndOf(step.at, step.removed));
    Insert(step.at, step.inserted);
    to.push_back(step);
    return step;
}

std::optional<MemoStep> MemoLines::Undo()
{
    return UndoOrRedo(undo_, redo_);
}

std::optional<MemoStep> MemoLines::Redo()
{
    return UndoOrRedo(redo_, undo_);
}

void MemoLines::SetRecording(bool recording)
{
    recording_ = recording;
    ForgetEdits();
}

void MemoLines::ForgetEdits()
{
    undo_.clear();
    undo_.shrink_to_fit();
    redo_.clear();
    redo_.shrink_to_fit();
}

MemoPosition MemoLines::Insert(MemoPosition at, std::string_view text)
{
    at = Clamp(at);
    if (text.empty())
        return at;
    std::vector<std::string_view> pieces;
    for (size_t start = 0;;) {
        const size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            pieces.push_back(text.substr(start));
            break;
        }
        pieces.push_back(text.substr(start, end - start - (end > start && text[end - 1] == '\r' ? 1 : 0)));
        start = end + 1;
    }
    if (at.line == lines_.size())
        OpenEmptyLastLine();
    const std::string line(Line(at.line));
    const std::string_view head = std::string_view(line).substr(0, at.column);
    const std::string_view tail = std::string_view(line).substr(at.column);
    MemoPosition after;
    if (pieces.size() == 1) {
        SetLine(at.line, std::string(head) + std::string(pieces[0]) + std::string(tail));
        after = {at.line, at.column + pieces[0].size()};
    } else {
        SetLine(at.line, std::string(head) + std::string(pieces[0]));
        std::vector<LineRef> added;
        added.reserve(pieces.size() - 1);
        for (size_t i = 1; i + 1 < pieces.size(); ++i)
            added.push_back(Put(pieces[i]));
        added.push_back(Put(std::string(pieces.back()) + std::string(tail)));
        for (const LineRef& ref : added)
            bytes_ += ref.length;
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at.line + 1), added.begin(), added.end());
        after = {at.line + added.size(), pieces.back().size()};
    }
    NormalizeEnd();
    CompactIfWasteful();
    return after;
}

void MemoLines::Erase(MemoPosition from, MemoPosition to)
{
    from = Clamp(from);
    to = Clamp(to);
    if (to < from)
        std::swap(from, to);
    if (from == to)
        return;
    if (to.line == lines_.size())
        OpenEmptyLastLine();
    const std::string joined =
        std::string(Line(from.line).substr(0, from.column)) + std::string(Line(to.line).substr(to.column));
    for (size_t i = from.line + 1; i <= to.line; ++i) {
        unused_ += lines_[i].length;
        bytes_ -= lines_[i].length;
    }
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(from.line + 1),
                 lines_.begin() + static_cast<std::ptrdiff_t>(to.line + 1));
    SetLine(from.line, joined);
    NormalizeEnd();
    CompactIfWasteful();
}

size_t MemoLines::ChunkBytes() const
{
    size_t total = 0;
    for (const Chunk& chunk : chunks_)
        total += chunk.size;
    return total;
}

}  // namespace tessek
