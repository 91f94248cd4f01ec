// The text area: its lines with the unfinished-row rule, the whole text, saving, and the
// widget kept in step by insertions at the end only.
#include "app/Memo.h"
#include "app/MemoText.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>
#include <QFontInfo>
#include <QScrollBar>
#include <QTest>
#include <QTextDocument>

namespace tessek {
namespace {

using Lines = std::vector<std::string>;

TEST(MemoText, AddAndAppendFollowTheUnfinishedRowRule)
{
    struct Step {
        char op;  // 'L' add line, 'A' append, 'C' clear
        const char* text;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        Lines lines;
        std::string text;
    };
    const Case cases[] = {
        {"empty", {}, {}, ""},
        {"lines", {{'L', "a"}, {'L', "b"}}, {"a", "b"}, "a\r\nb\r\n"},
        {"append on empty", {{'A', "x"}}, {"x"}, "x"},
        {"append after a line starts a new one", {{'L', "a"}, {'A', " Tx"}}, {"a", " Tx"}, "a\r\n Tx"},
        {"grid row",
         {{'L', "top"}, {'A', "      | c1"}, {'A', " | c2"}, {'A', " |"}, {'L', "mid"}, {'A', "      | d1"}},
         {"top", "      | c1 | c2 |", "mid", "      | d1"},
         "top\r\n      | c1 | c2 |\r\nmid\r\n      | d1"},
        {"empty line kept", {{'L', ""}, {'L', " "}}, {"", " "}, "\r\n \r\n"},
        {"clear", {{'L', "a"}, {'A', "b"}, {'C', ""}, {'A', "c"}, {'L', "d"}}, {"c", "d"}, "c\r\nd\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TMemoText model;
        TMemo widget;
        for (const Step& step : c.steps) {
            if (step.op == 'L') {
                model.AddLine(step.text);
                widget.AddLine(step.text);
            } else if (step.op == 'A') {
                model.Append(step.text);
                widget.Append(step.text);
            } else {
                model.Clear();
                widget.Clear();
            }
        }
        EXPECT_EQ(model.Lines(), c.lines);
        EXPECT_EQ(model.Text(), c.text);
        EXPECT_EQ(widget.Lines(), c.lines);
        EXPECT_EQ(widget.Text(), c.text);
        // What the widget shows is the same text with plain line breaks.
        std::string shown = c.text;
        for (size_t at; (at = shown.find("\r\n")) != std::string::npos;)
            shown.replace(at, 2, "\n");
        EXPECT_EQ(widget.toPlainText().toStdString(), shown);
    }
}

TEST(MemoText, TextAsTheUserLeftItIsReadBack)
{
    struct Case {
        const char* text;
        Lines lines;
        bool open;
    };
    const Case cases[] = {
        {"", {}, false},           {"a\n", {"a"}, false},         {"a\r\nb", {"a", "b"}, true},
        {"\n\n", {"", ""}, false}, {"a\nb\n", {"a", "b"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TMemoText model;
        model.SetText(c.text);
        EXPECT_EQ(model.Lines(), c.lines);
        EXPECT_EQ(model.LastLineOpen(), c.open);
    }
}

TEST(MemoText, SavesEveryLineWithCrLfOneBytePerCharacter)
{
    test::TempFolder folder;
    TMemoText model;
    model.AddLine("Logging  Start at 1");
    model.AddLine(
        "93\xB0"
        "F");  // a degree sign stays one byte
    model.Append("open row");
    model.SaveToFile(folder.File("out.txt"));
    EXPECT_EQ(folder.Read("out.txt"),
              "Logging  Start at 1\r\n93\xB0"
              "F\r\nopen row\r\n");

    folder.Write("old.txt", "a much longer earlier content that must disappear");
    TMemoText empty;
    empty.SaveToFile(folder.File("old.txt"));
    EXPECT_TRUE(folder.Exists("old.txt"));
    EXPECT_EQ(folder.Read("old.txt"), "");

    EXPECT_THROW(model.SaveToFile(folder.File("no-such-folder/out.txt")), std::runtime_error);
}

TEST(Memo, ShowsFixedPitchWithoutWrapAndAVerticalScrollBar)
{
    TMemo memo;
    EXPECT_TRUE(QFontInfo(memo.font()).fixedPitch());
    EXPECT_EQ(memo.lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(memo.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_FALSE(memo.isReadOnly());
}

TEST(Memo, LinesOnlyEverGoInAtTheEnd)
{
    TMemo memo;
    int changes = 0;
    bool onlyAtEnd = true;
    int endBefore = 0;
    QObject::connect(memo.document(), &QTextDocument::contentsChange, [&](int position, int removed, int) {
        ++changes;
        if (removed != 0 || position < endBefore)
            onlyAtEnd = false;
    });
    for (int i = 0; i < 2000; ++i) {
        endBefore = memo.document()->characterCount() - 1;
        switch (i % 3) {
            case 0:
                memo.Append("a" + std::to_string(i));  // starts a row
                break;
            case 1:
                memo.Append(" +" + std::to_string(i));  // grows it
                break;
            default:
                memo.AddLine("line " + std::to_string(i));  // ends it, then a line of its own
        }
    }
    EXPECT_TRUE(onlyAtEnd);
    EXPECT_GE(changes, 2000);
    ASSERT_EQ(memo.Lines().size(), 1333u);
    EXPECT_EQ(memo.Lines()[0], "a0 +1");
    EXPECT_EQ(memo.Lines()[1], "line 2");
    EXPECT_EQ(memo.Lines()[1332], "a1998 +1999");
    EXPECT_EQ(memo.document()->blockCount(), 1333);
}

TEST(Memo, TypingIntoTheAreaReachesTheLines)
{
    TMemo memo;
    memo.AddLine("first");
    memo.AddLine("second");
    memo.moveCursor(QTextCursor::End);
    QTest::keyClicks(&memo, "typed");
    EXPECT_EQ(memo.Lines(), (Lines{"first", "second", "typed"}));
    EXPECT_EQ(memo.Text(), "first\r\nsecond\r\ntyped");
    memo.AddLine("after");  // ends the typed row first
    EXPECT_EQ(memo.Lines(), (Lines{"first", "second", "typed", "after"}));
    EXPECT_EQ(memo.toPlainText().toStdString(), "first\nsecond\ntyped\nafter\n");

    memo.moveCursor(QTextCursor::Start);
    QTest::keyClick(&memo, Qt::Key_Delete);
    EXPECT_EQ(memo.Lines()[0], "irst");
}

}  // namespace
}  // namespace tessek
