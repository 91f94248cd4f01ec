// The text area's line store: what runs add, what is saved, and edits at document
// positions, with the store's memory kept to the text.
#include "platform/MemoLines.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace tessek {
namespace {

using Lines = std::vector<std::string>;

std::string Doc(const MemoLines& memo)
{
    return memo.TextBetween({0, 0}, memo.DocEnd());
}

// Lines added whole and in pieces, as a run writes them. Each step is one call: "+x"
// AddLine, "~x" Append, "=x" SetText, "!" Clear. The saved text ends the open last line;
// the document is the text with plain line breaks.
TEST(MemoLines, WholeAndPieceLinesMakeTheTextAndTheSavedText)
{
    const struct {
        std::vector<std::string> steps;
        Lines lines;
        bool open;
        std::string text;
    } rows[] = {
        {{}, {}, false, ""},
        {{"+a", "+"}, {"a", ""}, false, "a\r\n\r\n"},
        {{"+first", "~0.1", "~ Tx"}, {"first", "0.1 Tx"}, true, "first\r\n0.1 Tx"},
        {{"+gone", "!", "+kept"}, {"kept"}, false, "kept\r\n"},
        {{"=x\r\ny\nz"}, {"x", "y", "z"}, true, "x\r\ny\r\nz"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        MemoLines memo;
        for (const std::string& step : row.steps) {
            const std::string arg = step.substr(1);
            step[0] == '+'   ? memo.AddLine(arg)
            : step[0] == '~' ? memo.Append(arg)
            : step[0] == '=' ? memo.SetText(arg)
                             : memo.Clear();
        }
        EXPECT_EQ(memo.Lines(), row.lines);
        EXPECT_EQ(memo.LastLineOpen(), row.open);
        EXPECT_EQ(memo.Text(), row.text);
        EXPECT_EQ(memo.SaveText(), row.text + (row.open ? "\r\n" : ""));
        std::string doc = row.text;
        std::erase(doc, '\r');
        EXPECT_EQ(Doc(memo), doc);
    }
}

// Edits at document positions where the text's last line and its ends are at stake (the
// edits inside the text are the text area's key and clipboard tests).
TEST(MemoLines, EditsChangeTheLinesAndKeepTheLastLineState)
{
    struct Row {
        const char* name;
        const char* before;  // through SetText
        MemoPosition from;
        MemoPosition to;       // Erase from..to when it differs from `from`
        const char* inserted;  // then inserted at `from`
        const char* text;      // Text() after
        MemoPosition after;    // where the insertion ended
    };
    const Row rows[] = {
        {"enter on an open last line", "abc\nd", {1, 1}, {1, 1}, "\n", "abc\r\nd\r\n", {2, 0}},
        {"past the end goes to the end", "ab", {5, 9}, {5, 9}, "c", "abc", {0, 3}},
        {"erase the last break", "abc\ndef\n", {1, 3}, {2, 0}, "", "abc\r\ndef", {1, 3}},
        {"erase backwards", "abcdef", {0, 4}, {0, 1}, "", "aef", {0, 1}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MemoLines memo;
        memo.SetText(row.before);
        MemoPosition at = row.from;
        if (row.to != row.from) {
            memo.Erase(row.from, row.to);
            at = std::min(row.from, row.to);
        }
        EXPECT_EQ(memo.Insert(at, row.inserted), row.after);
        EXPECT_EQ(memo.Text(), row.text);
        // The document and the lines agree: a finished last line, an empty line after it.
        EXPECT_EQ(memo.DocLineCount(), memo.LineCount() + (memo.LastLineOpen() ? 0 : 1));
        memo.AddLine("end");  // a run goes on after the edit
        EXPECT_EQ(memo.Lines().back(), "end");
    }
}

// (Offsets of positions a screen reader asks for: the text area's accessibility test.)
TEST(MemoLines, OffsetsAndPositionsAgreeAndTextBetweenTakesEitherOrder)
{
    MemoLines memo;
    memo.SetText("ab\n\ncde\n");  // document "ab\n\ncde\n" and an empty last line
    // Offsets are found from either end of the document: every one of a longer text.
    MemoLines longer;
    longer.SetText("a\n\nbcd\nef\n\n\nghij\nk");
    for (size_t offset = 0; offset <= longer.DocLength(); ++offset)
        EXPECT_EQ(longer.OffsetOf(longer.PositionAt(offset)), offset);
    EXPECT_EQ(longer.PositionAt(13), (MemoPosition{6, 1}));
    EXPECT_EQ(memo.OffsetOf({0, 99}), 2u) << "clamped to the line end";
    EXPECT_EQ(memo.PositionAt(99), (MemoPosition{3, 0})) << "clamped to the end";
    EXPECT_EQ(memo.TextBetween({2, 2}, {0, 1}), "b\n\ncd");
    EXPECT_EQ(memo.TextBetween({0, 1}, {2, 2}), "b\n\ncd");
}

// Steps taken back and made again, with a run adding lines in between.
TEST(MemoLines, UndoAndRedoStepThroughTheEditsAndKeepTheAddedLines)
{
    MemoLines memo;
    memo.SetText("abc\ndef\n");
    memo.SetRecording(true);
    const std::string typed = "123";
    for (size_t i = 0; i < typed.size(); ++i)  // typing: one step
        memo.Replace({0, 1 + i}, {0, 1 + i}, typed.substr(i, 1));
    memo.Replace({0, 2}, {1, 1}, "-\r\n+");  // a selection replaced by two lines
    EXPECT_EQ(Doc(memo), "a1-\n+ef\n");
    memo.AddLine("0.1 2000rpm");  // the run goes on
    memo.Append("0.2");

    // A step as "line:column -removed +inserted", then the document after it.
    const auto step = [&memo](std::optional<MemoStep> taken) {
        const std::string said = taken ? std::to_string(taken->at.line) + ":" + std::to_string(taken->at.column) +
                                             " -" + taken->removed + " +" + taken->inserted
                                       : "none";
        return said + " | " + Doc(memo);
    };
    EXPECT_EQ(step(memo.Undo()), "0:2 --\n+ +23bc\nd | a123bc\ndef\n0.1 2000rpm\n0.2");
    EXPECT_EQ(step(memo.Undo()), "0:1 -123 + | abc\ndef\n0.1 2000rpm\n0.2");
    EXPECT_EQ(step(memo.Undo()), "none | abc\ndef\n0.1 2000rpm\n0.2");
    EXPECT_EQ(step(memo.Redo()), "0:1 - +123 | a123bc\ndef\n0.1 2000rpm\n0.2");
    EXPECT_TRUE(memo.CanRedo());
    memo.Replace({0, 0}, {0, 0}, "x");  // a new edit: what was taken back stays so
    EXPECT_FALSE(memo.CanRedo());
    memo.Clear();
    EXPECT_FALSE(memo.CanUndo());

    MemoLines unrecorded;  // a headless run's store keeps no steps
    unrecorded.AddLine("abc");
    unrecorded.Replace({0, 0}, {0, 3}, "x");
    EXPECT_FALSE(unrecorded.Undo());
    EXPECT_EQ(unrecorded.Text(), "x\r\n");
}

// Moves by characters and words, and the word a double click takes.
TEST(MemoLines, MovesAndWordsFollowRunsOfLikeCharacters)
{
    MemoLines memo;
    memo.SetText("  0.120 2000rpm  (8E)\nx\n");
    using M = MemoMove;
    const std::tuple<MemoPosition, MemoMove, MemoPosition> moves[] = {
        {{0, 0}, M::CharLeft, {0, 0}},  {{1, 0}, M::CharLeft, {0, 21}},  {{0, 21}, M::CharRight, {1, 0}},
        {{2, 0}, M::CharRight, {2, 0}}, {{0, 0}, M::WordRight, {0, 2}},  {{0, 2}, M::WordRight, {0, 3}},
        {{0, 3}, M::WordRight, {0, 4}}, {{0, 8}, M::WordRight, {0, 17}}, {{0, 21}, M::WordRight, {1, 0}},
        {{0, 17}, M::WordLeft, {0, 8}}, {{0, 10}, M::WordLeft, {0, 8}},  {{0, 2}, M::WordLeft, {0, 0}},
        {{1, 0}, M::WordLeft, {0, 21}}, {{0, 99}, M::CharLeft, {0, 20}},
    };
    for (const auto& [from, how, to] : moves)
        EXPECT_EQ(memo.Moved(from, how), to) << from.line << ":" << from.column << " move " << static_cast<int>(how);
    const std::tuple<MemoPosition, MemoPosition, MemoPosition> words[] = {
        {{0, 8}, {0, 8}, {0, 15}},    // at the start of "2000rpm" (inside it: the text area's double click)
        {{0, 15}, {0, 15}, {0, 17}},  // the spaces after it
        {{0, 18}, {0, 18}, {0, 20}},  // "8E" between marks
        {{0, 21}, {0, 20}, {0, 21}},  // a line end: the run before it
        {{2, 0}, {2, 0}, {2, 0}},     // the empty last line
    };
    for (const auto& [at, start, end] : words)
        EXPECT_EQ(memo.WordAt(at), std::make_pair(start, end)) << at.line << ":" << at.column;
}

// The store holds a line as its bytes and an index entry, in shared chunks, and the
// space edits leave behind is reclaimed.
TEST(MemoLines, LinesShareChunksAndEditsDoNotPileUp)
{
    MemoLines memo;
    const std::string line(82, 'x');
    for (int i = 0; i < 10000; ++i)
        memo.AddLine(line);
    EXPECT_LE(memo.ChunkBytes(), size_t{1} << 20) << "820 kB of lines fit one chunk";

    // Typing and deleting in two lines in turn: each grown line moves to the end of the
    // chunks, 5 MB of left space in all without reclaiming.
    for (int i = 0; i < 60000; ++i) {
        const size_t edited = i % 2 ? 6000 : 5000;
        memo.Insert({edited, 40}, "abcdefghij");
        memo.Erase({edited, 40}, {edited, 50});
    }
    EXPECT_LE(memo.ChunkBytes(), size_t{2} << 20);
    EXPECT_EQ(memo.Line(5000), line);
    EXPECT_EQ(memo.Line(9999), line);

    // A line longer than a chunk, then one that grows piece by piece.
    const std::string huge(3 << 20, 'h');
    memo.AddLine(huge);
    for (int i = 0; i < 1000; ++i)
        memo.Append("0123456789");
    EXPECT_EQ(memo.Line(10000), huge);
    EXPECT_EQ(memo.Line(10001).size(), 10000u);
    EXPECT_EQ(memo.Line(10001).substr(9990), "0123456789");
    memo.Clear();
    EXPECT_EQ(memo.ChunkBytes(), 0u);
}

}  // namespace
}  // namespace tessek
