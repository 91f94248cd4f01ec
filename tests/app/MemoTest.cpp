// The text area: its lines with the unfinished-row rule, the whole text and saving.
#include "app/MemoWidget.h"
#include "platform/MemoLines.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>

namespace tessek {
namespace {

using Lines = std::vector<std::string>;

TEST(MemoText, AddAndAppendFollowTheUnfinishedRowRule)
{
    struct Case {
        const char* name;
        std::vector<std::pair<char, const char*>> steps;  // 'L' add line, 'A' append, 'C' clear
        Lines lines;
        std::string text;
    };
    const Case cases[] = {
        {"empty", {}, {}, ""},
        {"lines", {{'L', "a"}, {'L', ""}}, {"a", ""}, "a\r\n\r\n"},
        {"grid row",
         {{'L', "top"}, {'A', "      | c1"}, {'A', " | c2"}, {'L', "mid"}, {'A', " Tx"}},
         {"top", "      | c1 | c2", "mid", " Tx"},
         "top\r\n      | c1 | c2\r\nmid\r\n Tx"},
        {"clear", {{'L', "a"}, {'A', "b"}, {'C', ""}, {'A', "c"}, {'L', "d"}}, {"c", "d"}, "c\r\nd\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoLines model;
        MemoWidget widget;
        for (const auto& [op, text] : c.steps) {
            op == 'L' ? model.AddLine(text) : op == 'A' ? model.Append(text) : model.Clear();
            op == 'L' ? widget.AddLine(text) : op == 'A' ? widget.Append(text) : widget.Clear();
        }
        EXPECT_EQ(model.Lines(), c.lines);
        EXPECT_EQ(model.Text(), c.text);
        EXPECT_EQ(widget.Lines(), c.lines);
        EXPECT_EQ(widget.Text(), c.text);
        // What the widget shows is the same text with plain line breaks.
        QString shown = QString::fromStdString(c.text);
        EXPECT_EQ(widget.toPlainText(), shown.replace("\r\n", "\n"));
    }
}

TEST(MemoText, SavesEveryLineWithCrLfOneBytePerCharacter)
{
    test::TempFolder folder;
    MemoLines model;
    model.AddLine(
        "93\xB0"
        "F");  // a degree sign stays one byte
    model.Append("open row");
    model.SaveToFile(folder.File("out.txt"));
    EXPECT_EQ(folder.Read("out.txt"),
              "93\xB0"
              "F\r\nopen row\r\n");

    folder.Write("old.txt", "a much longer earlier content that must disappear");
    MemoLines().SaveToFile(folder.File("old.txt"));
    EXPECT_TRUE(folder.Exists("old.txt"));
    EXPECT_EQ(folder.Read("old.txt"), "");
    EXPECT_THROW(model.SaveToFile(folder.File("no-such-folder/out.txt")), std::runtime_error);
}

}  // namespace
}  // namespace tessek
