// The main window's text area as a user and a screen reader work it: keys and the mouse
// move, select, copy and edit the lines in the store, the view follows the end while at
// the bottom, and the accessible interface reads and edits the same text.
#include "app/MemoWidget.h"
#include "tests/common/EventLoop.h"

#include <gtest/gtest.h>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QImage>
#include <QInputMethodEvent>
#include <QScreen>
#include <QScrollBar>
#include <QTest>

#include <string>
#include <tuple>
#include <vector>

namespace tessek {
namespace {

using Lines = std::vector<std::string>;

// The document as the widget shows it: "\n" between lines, an empty line after a
// finished last one.
std::string Doc(const MemoWidget& memo)
{
    return memo.Store().TextBetween({0, 0}, memo.Store().DocEnd());
}

class MemoWidgetTest : public ::testing::Test {
public:
    void Show(const Lines& lines)
    {
        for (const std::string& line : lines)
            memo.AddLine(line);
        memo.resize(300, 120);
        memo.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&memo));
        // Focus goes only to a widget of the active window (an X server without a window
        // manager activates none by itself).
        memo.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&memo));
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) { QTest::keyClick(&memo, key, modifiers); }
    // The viewport point just right of the left edge of the character at `at`.
    QPoint PointAt(MemoPosition at) const
    {
        const QRect rect = memo.CharacterRect(at);
        return {rect.left() + 1, rect.center().y()};
    }

    // The window's backing store, as the screen shows it, against a fresh full paint.
    bool ScreenShowsWhatAFullRepaintDraws()
    {
        const QImage onScreen =
            QGuiApplication::primaryScreen()->grabWindow(memo.winId()).toImage().convertToFormat(QImage::Format_RGB32);
        return onScreen == memo.grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    MemoWidget memo;
};

// Keys that move, select and edit, each row from the same start.
TEST_F(MemoWidgetTest, KeysMoveSelectAndEditTheLines)
{
    // The keys, separated by spaces; "=text" types the text.
    const std::tuple<const char*, const char*, std::string, MemoPosition> rows[] = {
        {"typing goes in at the cursor", "=xy", "xyabcdef\nab\nabcdef\n", {0, 2}},
        {"a finished text gets a new open line", "Ctrl+End =z", "abcdef\nab\nabcdef\nz", {3, 1}},
        {"enter splits a line", "Right Right Return", "ab\ncdef\nab\nabcdef\n", {1, 0}},
        {"up and down keep the column across a short line", "End Down Down =!", "abcdef\nab\nabcdef!\n", {2, 7}},
        {"shift and arrows select, typing replaces", "Right Shift+Down Shift+Right =-", "a-\nabcdef\n", {0, 2}},
        // Control-Right: the line's end, the next line's start, its word's end.
        {"a word at a time",
         "Down Ctrl+Right Ctrl+Right Ctrl+Right Ctrl+Shift+Left Backspace",
         "abcdef\nab\n\n",
         {2, 0}},
        {"select all and delete leaves nothing", "Ctrl+A Del", "", {0, 0}},
        {"undo takes a change back, redo makes it again",
         "=xy Shift+Down Del Ctrl+Z Ctrl+Z Ctrl+Shift+Z",
         "xyabcdef\nab\nabcdef\n",
         {0, 2}},
        {"composed characters arrive whole",
         "",
         "\xe9"
         "abcdef\nab\nabcdef\n",
         {0, 1}},
        {"tab is a character unless it moves the focus", "=\t", "\tabcdef\nab\nabcdef\n", {0, 1}},
        {"page down goes a page and stops at the end", "PgDown PgDown Shift+Home =<", "abcdef\nab\nabcdef\n<", {3, 1}},
    };
    for (const auto& [name, keys, doc, cursor] : rows) {
        SCOPED_TRACE(name);
        memo.Clear();
        Show({"abcdef", "ab", "abcdef"});
        EXPECT_EQ(memo.CursorPosition(), (MemoPosition{3, 0})) << "a cursor at the end stays there";
        memo.SetCursorPosition({0, 0});
        for (const QString& key : QString(keys).split(' ', Qt::SkipEmptyParts))
            key.startsWith('=') ? QTest::keyClicks(&memo, key.mid(1)) : QTest::keySequence(&memo, QKeySequence(key));
        if (std::string(name).starts_with("composed")) {
            QInputMethodEvent composed;
            composed.setCommitString(QString::fromUtf8("\xc3\xa9"));
            QApplication::sendEvent(&memo, &composed);
        }
        EXPECT_EQ(Doc(memo), doc);
        EXPECT_EQ(memo.CursorPosition(), cursor);
    }
}

TEST_F(MemoWidgetTest, CopyCutAndPasteGoThroughTheClipboard)
{
    Show({"0.1 2000rpm", "0.2 2100rpm"});
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(clipboard->text().isEmpty()) << "nothing selected, nothing copied";
    memo.SetCursorPosition({0, 4});
    memo.SetCursorPosition({1, 3}, true);
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), "2000rpm\n0.2");
    EXPECT_EQ(Doc(memo), "0.1 2000rpm\n0.2 2100rpm\n") << "copy changes nothing";
    Key(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(Doc(memo), "0.1  2100rpm\n");
    Key(Qt::Key_End, Qt::ControlModifier);
    Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Doc(memo), "0.1  2100rpm\n2000rpm\n0.2");
    clipboard->setText(QString::fromUtf8("a\r\nb\xc3\xa9\xe2\x82\xac"));  // CR LF, a Latin-1 letter, a euro sign
    Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(memo.Store().Line(2), "0.2a");
    EXPECT_EQ(memo.Store().Line(3), "b\xe9?");
    EXPECT_EQ(memo.CursorPosition(), (MemoPosition{3, 3}));
}

TEST_F(MemoWidgetTest, TheMouseSetsTheCursorDragsAndDoubleClicksSelect)
{
    Show({"  0.120 2000rpm 12.5mph", "  0.140 2050rpm"});
    QWidget* view = memo.viewport();
    QTest::mouseClick(view, Qt::LeftButton, {}, PointAt({1, 3}));
    EXPECT_EQ(memo.CursorPosition(), (MemoPosition{1, 3}));
    EXPECT_FALSE(memo.HasSelection());
    EXPECT_TRUE(memo.hasFocus());

    QTest::mouseClick(view, Qt::LeftButton, Qt::ShiftModifier, PointAt({0, 8}));
    EXPECT_EQ(memo.SelectedText(), "2000rpm 12.5mph\n  0");

    QTest::mousePress(view, Qt::LeftButton, {}, PointAt({0, 2}));
    QTest::mouseMove(view, PointAt({0, 7}));
    QTest::mouseRelease(view, Qt::LeftButton, {}, PointAt({0, 7}));
    EXPECT_EQ(memo.SelectedText(), "0.120");

    // Held below the text, a drag goes on selecting the lines scrolling into view.
    for (int i = 0; i < 40; ++i)
        memo.AddLine("more");
    QTest::mousePress(view, Qt::LeftButton, {}, PointAt({0, 2}));
    QTest::mouseMove(view, QPoint(5, view->height() + 5));
    const size_t reached = memo.CursorPosition().line;
    test::PumpFor(6 * MemoWidget::kAutoScrollMs);
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(5, view->height() + 5));
    EXPECT_GT(memo.CursorPosition().line, reached + 2);
    EXPECT_EQ(memo.Anchor(), (MemoPosition{0, 2}));
    EXPECT_GT(memo.FirstVisibleLine(), 0u);
    memo.verticalScrollBar()->setValue(0);

    QTest::mouseDClick(view, Qt::LeftButton, {}, PointAt({0, 10}));
    EXPECT_EQ(memo.SelectedText(), "2000rpm");
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(view->width() - 2, 2));
    EXPECT_EQ(memo.CursorPosition(), (MemoPosition{0, 23})) << "right of a line is its end";
}

// Counts the paint events of a widget.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

// The text and a screen reader have every line at once, and a run's lines paint at most
// once per kShowIntervalMs; when the lines stop, the last of them is painted (that it is in
// view is a run's, below).
TEST_F(MemoWidgetTest, LinesReachTheTextAtOnceAndManyLinesPaintAFewTimes)
{
    Show({});
    QAccessibleTextInterface* text = QAccessible::queryAccessibleInterface(&memo)->textInterface();
    ASSERT_NE(text, nullptr);
    PaintCounter counter;
    memo.viewport()->installEventFilter(&counter);
    QElapsedTimer clock;
    clock.start();
    int paintsAtLastLine = 0;
    int length = 0;
    for (int i = 0; i < 200; ++i) {
        const std::string line = "line " + std::to_string(i);
        memo.AddLine(line);
        length += static_cast<int>(line.size()) + 1;
        paintsAtLastLine = counter.paints;
        QCoreApplication::processEvents();  // a logging run pumps between lines
        ASSERT_EQ(memo.Lines().size(), static_cast<size_t>(i + 1)) << "the text has every line at once";
        ASSERT_EQ(text->characterCount(), length) << "and so has a screen reader";
    }
    // Generous: one paint per interval, plus the first line and rounding.
    EXPECT_LE(counter.paints, 3 + 2 * clock.elapsed() / MemoWidget::kShowIntervalMs);
    test::PumpFor(3 * MemoWidget::kShowIntervalMs);
    EXPECT_GT(counter.paints, paintsAtLastLine) << "the last line is painted, at once or when the interval ends";
}

// New lines leave the view alone when the user has scrolled back (that they scroll into
// view at the end is a run's, below).
TEST_F(MemoWidgetTest, TheViewStaysWhereTheUserScrolledBack)
{
    Show({});
    QScrollBar* bar = memo.verticalScrollBar();
    for (int i = 0; i < 100; ++i)
        memo.AddLine("line " + std::to_string(i));
    test::PumpFor(MemoWidget::kScrollBarIntervalMs + 2 * MemoWidget::kShowIntervalMs);
    bar->setValue(10);
    for (int i = 0; i < 50; ++i)
        memo.AddLine("more " + std::to_string(i));
    test::PumpFor(2 * MemoWidget::kShowIntervalMs);
    EXPECT_EQ(bar->value(), 10);
    EXPECT_GT(bar->maximum(), 130) << "the range still grows";
    EXPECT_EQ(memo.FirstVisibleLine(), 10u);

    memo.Clear();
    EXPECT_EQ(bar->value(), 0);
}

// What a screen reader asks of the text area, and the changes it is told of.
TEST_F(MemoWidgetTest, TheAccessibleInterfaceReadsAndEditsTheLines)
{
    Show({"first line", "0.1 2000rpm"});
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&memo);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::EditableText);
    EXPECT_TRUE(accessible->state().multiLine);
    QAccessibleTextInterface* text = accessible->textInterface();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->characterCount(), 23);
    EXPECT_EQ(text->text(0, 23), "first line\n0.1 2000rpm\n");

    int start = 0, end = 0;
    struct Row {
        int offset;
        QAccessible::TextBoundaryType boundary;
        QString at;
        int start;
        QString before;
        QString after;
    };
    const Row rows[] = {
        {3, QAccessible::LineBoundary, "first line\n", 0, "", "0.1 2000rpm\n"},
        {12, QAccessible::LineBoundary, "0.1 2000rpm\n", 11, "first line\n", ""},
        {6, QAccessible::WordBoundary, "line", 6, " ", "\n"},
        {4, QAccessible::CharBoundary, "t", 4, "s", " "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.offset);
        EXPECT_EQ(text->textAtOffset(row.offset, row.boundary, &start, &end), row.at);
        EXPECT_EQ(start, row.start);
        EXPECT_EQ(end, row.start + row.at.size());
        EXPECT_EQ(text->textBeforeOffset(row.offset, row.boundary, &start, &end), row.before);
        EXPECT_EQ(text->textAfterOffset(row.offset, row.boundary, &start, &end), row.after);
    }

    memo.SetCursorPosition({1, 4});
    EXPECT_EQ(text->cursorPosition(), 15);
    text->setSelection(0, 2, 13);
    EXPECT_EQ(memo.SelectedText(), "rst line\n0.");
    EXPECT_EQ(text->selectionCount(), 1);
    text->selection(0, &start, &end);
    EXPECT_EQ(std::make_pair(start, end), std::make_pair(2, 13));
    EXPECT_EQ(text->offsetAtPoint(memo.viewport()->mapToGlobal(PointAt({1, 5}))), 16);
    EXPECT_EQ(text->characterRect(16).topLeft(), memo.viewport()->mapToGlobal(memo.CharacterRect({1, 5}).topLeft()));

    QAccessibleEditableTextInterface* editable = accessible->editableTextInterface();
    ASSERT_NE(editable, nullptr);
    editable->replaceText(0, 5, "1st");
    editable->insertText(text->characterCount(), "end");
    editable->deleteText(4, 9);
    EXPECT_EQ(memo.Lines(), (Lines{"1st 0.1 2000rpm", "end"}));
    EXPECT_TRUE(memo.Store().LastLineOpen());
}

// The changes a screen reader is told of while one listens (without one, Qt drops them
// and the widget does not make them: a run pays nothing for them). What a run adds is told
// as one insertion per show, before any other change.
using Events = std::vector<std::pair<QAccessible::Event, QString>>;
Events* g_events = nullptr;

TEST_F(MemoWidgetTest, LinesEditsAndCaretMovesAreAnnounced)
{
    Show({"first"});
    Events events;
    g_events = &events;
    const QAccessible::UpdateHandler record = [](QAccessibleEvent* event) {
        if (g_events && event->object() && event->object()->inherits("tessek::MemoWidget")) {
            QString detail;
            if (event->type() == QAccessible::TextInserted)
                detail = QString::number(static_cast<QAccessibleTextInsertEvent*>(event)->changePosition()) + ":" +
                         static_cast<QAccessibleTextInsertEvent*>(event)->textInserted();
            if (event->type() == QAccessible::TextRemoved)
                detail = QString::number(static_cast<QAccessibleTextRemoveEvent*>(event)->changePosition()) + ":" +
                         static_cast<QAccessibleTextRemoveEvent*>(event)->textRemoved();
            if (event->type() == QAccessible::TextCaretMoved)
                detail = QString::number(static_cast<QAccessibleTextCursorEvent*>(event)->cursorPosition());
            g_events->emplace_back(event->type(), detail);
        }
    };
    memo.AddLine("quiet");
    memo.SetCursorPosition({0, 1});
    EXPECT_FALSE(MemoWidget::Announcing()) << "no screen reader in a test";
    MemoWidget::AnnounceTo(record);  // as while a screen reader listens
    memo.AddLine("0.1");
    memo.Append("0.2");
    memo.Append(" Tx");
    memo.SetCursorPosition({0, 2});
    memo.EraseText({0, 0}, {0, 2});
    const int end = static_cast<int>(memo.Store().DocLength());
    memo.AddLine("later");  // ends the open line; told with the next show, nothing after it
    test::PumpFor(2 * MemoWidget::kShowIntervalMs);
    MemoWidget::AnnounceTo(nullptr);
    g_events = nullptr;

    EXPECT_EQ(events, (Events{{QAccessible::TextInserted, "12:0.1\n0.2 Tx"},
                              {QAccessible::TextCaretMoved, "2"},
                              {QAccessible::TextRemoved, "0:fi"},
                              {QAccessible::TextCaretMoved, "0"},
                              {QAccessible::TextInserted, QString::number(end) + ":\nlater\n"}}));
}

// During a run the view shows the end at every interval and the scroll bar, which costs
// more to paint, catches up once per its own interval; what the screen then holds is what
// a full repaint draws.
TEST_F(MemoWidgetTest, ARunShowsTheEndAndTheBarCatchesUpOncePerInterval)
{
    Show({});
    memo.clearFocus();
    PaintCounter viewPaints, barPaints;
    memo.viewport()->installEventFilter(&viewPaints);
    memo.verticalScrollBar()->installEventFilter(&barPaints);
    // Lines added below those shown paint only from where they start.
    for (const char* line : {"first", "second"}) {
        memo.AddLine(line);
        test::PumpFor(MemoWidget::kShowIntervalMs / 2);
    }
    memo.Append(" and more");
    test::PumpFor(2 * MemoWidget::kShowIntervalMs);
    EXPECT_TRUE(ScreenShowsWhatAFullRepaintDraws());
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 40; ++i) {
        memo.AddLine(std::to_string(i) + " 2000rpm  12.5psi");
        test::PumpFor(MemoWidget::kShowIntervalMs / 2);
    }
    const qint64 elapsed = clock.elapsed();
    EXPECT_GT(viewPaints.paints, 10);
    EXPECT_LE(barPaints.paints, 2 + 2 * elapsed / MemoWidget::kScrollBarIntervalMs);
    test::PumpFor(MemoWidget::kScrollBarIntervalMs + 2 * MemoWidget::kShowIntervalMs);
    QScrollBar* bar = memo.verticalScrollBar();
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(memo.FirstVisibleLine(), static_cast<size_t>(bar->maximum()));
    EXPECT_GT(bar->maximum(), 20);
    EXPECT_TRUE(ScreenShowsWhatAFullRepaintDraws());
}

}  // namespace
}  // namespace tessek
