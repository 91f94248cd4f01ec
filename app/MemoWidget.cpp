#include "app/MemoWidget.h"

#include "app/MemoAccessible.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>

namespace tessek {

namespace {

// The reports line their columns up, so the font must really be fixed-pitch. The
// system's "monospace" alias may resolve to a face that is not marked as such; a known
// fixed-pitch family is taken first when one is installed.
QFont FixedPitchFont()
{
    for (const char* family : {"DejaVu Sans Mono", "Liberation Mono", "Noto Mono", "Nimbus Mono PS"}) {
        if (QFontDatabase::hasFamily(family) && QFontDatabase::isFixedPitch(family))
            return QFont(family);
    }
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

// How a key moves the cursor, and the standard keys for moving and for selecting.
enum class Move { Left, Right, WordLeft, WordRight, Up, Down, PageUp, PageDown, Home, End, Start, Finish };
struct MoveKey {
    QKeySequence::StandardKey move;
    QKeySequence::StandardKey select;
    Move how;
};
constexpr MoveKey kMoveKeys[] = {
    {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar, Move::Left},
    {QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar, Move::Right},
    {QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord, Move::WordLeft},
    {QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord, Move::WordRight},
    {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine, Move::Up},
    {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine, Move::Down},
    {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage, Move::PageUp},
    {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage, Move::PageDown},
    {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine, Move::Home},
    {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine, Move::End},
    {QKeySequence::MoveToStartOfBlock, QKeySequence::SelectStartOfBlock, Move::Home},
    {QKeySequence::MoveToEndOfBlock, QKeySequence::SelectEndOfBlock, Move::End},
    {QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument, Move::Start},
    {QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument, Move::Finish},
};

bool IsTyped(const QKeyEvent* key)
{
    const QString text = key->text();
    if (text.isEmpty() || (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        return false;
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.isPrint(); });
}

bool IsEditingKey(const QKeyEvent* key)
{
    for (QKeySequence::StandardKey standard :
         {QKeySequence::Copy, QKeySequence::Cut, QKeySequence::Paste, QKeySequence::SelectAll, QKeySequence::Delete})
        if (key->matches(standard))
            return true;
    for (const MoveKey& m : kMoveKeys)
        if (key->matches(m.move) || key->matches(m.select))
            return true;
    return IsTyped(key) || key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Return ||
           key->key() == Qt::Key_Enter;
}

}  // namespace

QAccessible::UpdateHandler MemoWidget::announceTo_ = nullptr;

bool MemoWidget::Announcing()
{
    return announceTo_ || QAccessible::isActive();
}

void MemoWidget::Announce(QAccessibleEvent& event)
{
    if (announceTo_)
        announceTo_(&event);
    else
        QAccessible::updateAccessibility(&event);
}

std::string MemoWidget::StoreText(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text.toLatin1().toStdString();
}

MemoWidget::MemoWidget(QWidget* parent)
    : QAbstractScrollArea(parent), show_(new QTimer(this)), barLate_(new QTimer(this))
{
    InstallMemoAccessibleFactory();
    show_->setSingleShot(true);
    connect(show_, &QTimer::timeout, this, [this] { Show(); });
    barLate_->setSingleShot(true);
    connect(barLate_, &QTimer::timeout, this, [this] {
        if (pinned_) {
            barShown_.start();
            UpdateScrollBars(true);
        }
    });
    QFont font = FixedPitchFont();
    font.setPixelSize(11);
    setFont(font);
    viewport()->setFont(font);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(false);
    // paintEvent covers all it is asked to paint, so what scrolls can be moved on screen.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    lines_.SetRecording(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    UpdateScrollBars(false);
}

int MemoWidget::LineHeight() const
{
    return std::max(1, fontMetrics().lineSpacing());
}

int MemoWidget::CharWidth() const
{
    return std::max(1, fontMetrics().horizontalAdvance(QLatin1Char('0')));
}

int MemoWidget::VisibleLines() const
{
    return std::max(1, (viewport()->height() - kMargin) / LineHeight());
}

size_t MemoWidget::FirstVisibleLine() const
{
    return pinned_ ? pinnedFirst_ : static_cast<size_t>(verticalScrollBar()->value());
}

size_t MemoWidget::EndFirstLine() const
{
    const size_t lines = lines_.DocLineCount(), visible = static_cast<size_t>(VisibleLines());
    return lines > visible ? lines - visible : 0;
}

bool MemoWidget::FollowingEnd() const
{
    return pinned_ || verticalScrollBar()->value() == verticalScrollBar()->maximum();
}

void MemoWidget::ScrollLines(ptrdiff_t lines)
{
    if (lines == 0)
        return;
    if (static_cast<size_t>(std::abs(lines)) >= static_cast<size_t>(VisibleLines())) {
        viewport()->update();
        return;
    }
    // The margin above the first line is left out of the move, or the line scrolled past
    // would show in it. A caret moves with its line, as the cursor does; at the end it is
    // on the changed line, which is painted anew.
    const QRect text(0, kMargin, viewport()->width(), viewport()->height() - kMargin);
    viewport()->scroll(0, static_cast<int>(lines) * LineHeight(), text);
}

void MemoWidget::UpdateScrollBars(bool following)
{
    QScrollBar* bar = verticalScrollBar();
    // A pinned view shows the end already: the bar catches up without moving it but for the
    // lines that came since it was last shown.
    const bool wasPinned = std::exchange(pinned_, false);
    syncingBar_ = wasPinned;
    const size_t shownFirst = pinnedFirst_;
    bar->setRange(0, static_cast<int>(std::min<size_t>(EndFirstLine(), INT_MAX)));
    bar->setPageStep(VisibleLines());
    bar->setSingleStep(1);
    if (following)
        bar->setValue(bar->maximum());
    syncingBar_ = false;
    if (wasPinned)
        ScrollLines(static_cast<ptrdiff_t>(shownFirst) - bar->value());
    QScrollBar* across = horizontalScrollBar();
    const auto widest = static_cast<int>(std::min<size_t>(widestLine_, INT_MAX / 64));
    across->setRange(0, std::max(0, (widest + 1) * CharWidth() + 2 * kMargin - viewport()->width()));
    across->setPageStep(viewport()->width());
    across->setSingleStep(CharWidth());
}

void MemoWidget::Changed()
{
    if (show_->isActive())
        return;  // held already: the timer shows everything
    if (!shown_.isValid() || shown_.elapsed() >= kShowIntervalMs)
        return Show();
    show_->start(static_cast<int>(kShowIntervalMs - shown_.elapsed()));
}

void MemoWidget::Show()
{
    AnnounceInserted();
    shown_.start();
    const size_t changedFrom = std::exchange(changedFrom_, kNoChange);
    const bool following = FollowingEnd();
    if (following && barShown_.isValid() && barShown_.elapsed() < kScrollBarIntervalMs) {
        const size_t from = FirstVisibleLine();
        pinned_ = true;
        pinnedFirst_ = EndFirstLine();
        ScrollLines(static_cast<ptrdiff_t>(from) - static_cast<ptrdiff_t>(pinnedFirst_));
        if (!barLate_->isActive())
            barLate_->start(static_cast<int>(kScrollBarIntervalMs - barShown_.elapsed()));
    } else {
        barShown_.start();
        UpdateScrollBars(following);
    }
    // What scrolled was moved on screen; the lines that changed are painted, from the first
    // of them down.
    const size_t first = FirstVisibleLine();
    if (changedFrom == kNoChange || changedFrom < first) {
        viewport()->update();
        return;
    }
    const int top =
        kMargin + static_cast<int>(std::min<size_t>(changedFrom - first, VisibleLines() + 1)) * LineHeight();
    if (top < viewport()->height())
        viewport()->update(QRect(0, top, viewport()->width(), viewport()->height() - top));
}

void MemoWidget::Clear()
{
    AnnounceInserted();
    const std::string removed = Announcing() ? lines_.TextBetween({0, 0}, lines_.DocEnd()) : std::string();
    lines_.Clear();
    cursor_ = anchor_ = {};
    widestLine_ = 0;
    wantedColumn_ = -1;
    UpdateScrollBars(false);
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    viewport()->update();
    if (!removed.empty())
        NotifyRemoved({0, 0}, removed);
}

void MemoWidget::AddLine(const std::string& line)
{
    const MemoPosition end = lines_.DocEnd();
    const bool cursorAtEnd = cursor_ == end && anchor_ == end;
    const size_t offset = lines_.DocLength();
    const bool open = lines_.LastLineOpen();
    changedFrom_ = std::min(changedFrom_, lines_.DocLineCount() - 1);
    lines_.AddLine(line);
    widestLine_ = std::max(widestLine_, line.size());
    if (cursorAtEnd)
        cursor_ = anchor_ = lines_.DocEnd();
    if (Announcing()) {
        if (open)
            Inserted(offset, "\n");
        Inserted(offset, line);
        Inserted(offset, "\n");
    }
    Changed();
}

void MemoWidget::Append(const std::string& text)
{
    const MemoPosition end = lines_.DocEnd();
    const bool cursorAtEnd = cursor_ == end && anchor_ == end;
    const size_t offset = lines_.DocLength();
    changedFrom_ = std::min(changedFrom_, lines_.DocLineCount() - 1);
    lines_.Append(text);
    widestLine_ = std::max(widestLine_, lines_.Line(lines_.LineCount() - 1).size());
    if (cursorAtEnd)
        cursor_ = anchor_ = lines_.DocEnd();
    if (Announcing())
        Inserted(offset, text);
    Changed();
}

// `text` came at `offset`, which is where pending text ends when there is some.
void MemoWidget::Inserted(size_t offset, std::string_view text)
{
    if (inserted_.empty())
        insertedAt_ = offset;
    inserted_ += text;
}

void MemoWidget::AnnounceInserted()
{
    if (inserted_.empty())
        return;
    const QString text = QString::fromLatin1(inserted_.data(), static_cast<qsizetype>(inserted_.size()));
    inserted_.clear();
    if (!Announcing())
        return;
    QAccessibleTextInsertEvent inserted(this, static_cast<int>(insertedAt_), text);
    Announce(inserted);
}

std::string MemoWidget::Text() const
{
    return lines_.Text();
}

std::vector<std::string> MemoWidget::Lines() const
{
    return lines_.Lines();
}

void MemoWidget::SaveToFile(const std::string& path) const
{
    lines_.SaveToFile(path);
}

bool MemoWidget::SaveToNewFile(const std::string& path) const
{
    return lines_.SaveToNewFile(path);
}

std::string MemoWidget::SelectedText() const
{
    return lines_.TextBetween(anchor_, cursor_);
}

void MemoWidget::SetCursorPosition(MemoPosition at, bool select)
{
    const bool hadSelection = HasSelection();
    cursor_ = lines_.Clamp(at);
    if (!select)
        anchor_ = cursor_;
    RestartBlink();
    EnsureVisible(cursor_);
    viewport()->update();
    if (Announcing()) {
        AnnounceInserted();
        if (HasSelection() || hadSelection) {
            const size_t a = lines_.OffsetOf(anchor_), c = lines_.OffsetOf(cursor_);
            QAccessibleTextSelectionEvent selected(this, static_cast<int>(std::min(a, c)),
                                                   static_cast<int>(std::max(a, c)));
            selected.setCursorPosition(static_cast<int>(c));
            Announce(selected);
        }
        NotifyCursor();
    }
}

void MemoWidget::SelectAll()
{
    anchor_ = {0, 0};
    SetCursorPosition(lines_.DocEnd(), true);
}

void MemoWidget::InsertText(std::string_view text)
{
    const MemoPosition from = std::min(anchor_, cursor_), to = std::max(anchor_, cursor_);
    if (from == to && text.empty())
        return;
    MemoStep step{from, Announcing() ? lines_.TextBetween(from, to) : std::string(), std::string(text)};
    lines_.Replace(from, to, text);
    Stepped(step);
}

void MemoWidget::EraseText(MemoPosition from, MemoPosition to)
{
    anchor_ = lines_.Clamp(from);
    cursor_ = lines_.Clamp(to);
    InsertText({});
}

void MemoWidget::Undo()
{
    if (const std::optional<MemoStep> step = lines_.Undo())
        Stepped(*step);
}

void MemoWidget::Redo()
{
    if (const std::optional<MemoStep> step = lines_.Redo())
        Stepped(*step);
}

void MemoWidget::Stepped(const MemoStep& step)
{
    const MemoPosition after = MemoLines::EndOf(step.at, step.inserted);
    for (size_t i = step.at.line; i <= after.line && i < lines_.DocLineCount(); ++i)
        widestLine_ = std::max(widestLine_, lines_.DocLine(i).size());
    cursor_ = anchor_ = lines_.Clamp(after);
    wantedColumn_ = -1;
    UpdateScrollBars(false);
    RestartBlink();
    EnsureVisible(cursor_);
    viewport()->update();
    if (!step.removed.empty())
        NotifyRemoved(step.at, step.removed);
    if (!step.inserted.empty())
        NotifyInserted(step.at, step.inserted);
}

void MemoWidget::Copy() const
{
    if (HasSelection())
        QGuiApplication::clipboard()->setText(QString::fromLatin1(SelectedText()));
}

void MemoWidget::Cut()
{
    if (!HasSelection())
        return;
    Copy();
    EraseText(anchor_, cursor_);
}

void MemoWidget::Paste()
{
    const QString text = QGuiApplication::clipboard()->text();
    if (!text.isEmpty())
        InsertText(StoreText(text));
}

void MemoWidget::NotifyInserted(MemoPosition at, const std::string& text)
{
    if (!Announcing())
        return;
    AnnounceInserted();
    QAccessibleTextInsertEvent inserted(this, static_cast<int>(lines_.OffsetOf(at)), QString::fromLatin1(text));
    Announce(inserted);
    NotifyCursor();
}

void MemoWidget::NotifyRemoved(MemoPosition at, const std::string& text)
{
    if (!Announcing())
        return;
    AnnounceInserted();
    QAccessibleTextRemoveEvent removed(this, static_cast<int>(lines_.OffsetOf(at)), QString::fromLatin1(text));
    Announce(removed);
    NotifyCursor();
}

void MemoWidget::NotifyCursor()
{
    if (!Announcing())
        return;
    AnnounceInserted();
    QAccessibleTextCursorEvent moved(this, static_cast<int>(lines_.OffsetOf(cursor_)));
    Announce(moved);
}

MemoPosition MemoWidget::PositionAtPoint(QPoint point) const
{
    const int row = std::max(0, (point.y() - kMargin) / LineHeight());
    const size_t line =
        std::min(FirstVisibleLine() + static_cast<size_t>(point.y() < kMargin ? 0 : row), lines_.DocLineCount() - 1);
    const int x = point.x() - kMargin + horizontalScrollBar()->value();
    const int column = std::max(0, (x + CharWidth() / 2) / CharWidth());
    size_t first = FirstVisibleLine();
    if (point.y() < 0 && first > 0)
        return lines_.Clamp({first - 1, static_cast<size_t>(column)});
    return lines_.Clamp({line, static_cast<size_t>(column)});
}

QRect MemoWidget::CharacterRect(MemoPosition at) const
{
    const auto row = static_cast<long long>(at.line) - static_cast<long long>(FirstVisibleLine());
    const int x = kMargin + static_cast<int>(at.column) * CharWidth() - horizontalScrollBar()->value();
    const int y = kMargin + static_cast<int>(std::clamp<long long>(row, -1, INT_MAX / 64)) * LineHeight();
    return {x, y, CharWidth(), LineHeight()};
}

void MemoWidget::EnsureVisible(MemoPosition at)
{
    if (pinned_)
        UpdateScrollBars(true);
    QScrollBar* bar = verticalScrollBar();
    const auto line = static_cast<int>(std::min<size_t>(at.line, INT_MAX));
    if (line < bar->value())
        bar->setValue(line);
    else if (line >= bar->value() + VisibleLines())
        bar->setValue(line - VisibleLines() + 1);
    QScrollBar* across = horizontalScrollBar();
    const int x = static_cast<int>(std::min<size_t>(at.column, INT_MAX / 64)) * CharWidth();
    const int width = viewport()->width() - 2 * kMargin - CharWidth();
    if (x < across->value())
        across->setValue(std::max(0, x - width / 4));
    else if (x > across->value() + width)
        across->setValue(x - width + width / 4);
}

void MemoWidget::RestartBlink()
{
    blinkOn_ = true;
    const int flash = QApplication::cursorFlashTime();
    if (hasFocus() && flash > 0)
        blink_.start(flash / 2, this);
    else
        blink_.stop();
}

bool MemoWidget::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        // Keys that edit the text are the text's own, whatever shortcut the window has.
        auto* key = static_cast<QKeyEvent*>(event);
        if (IsEditingKey(key)) {
            event->accept();
            return true;
        }
    }
    if (event->type() == QEvent::KeyPress && !tabChangesFocus_) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            InsertText("\t");
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void MemoWidget::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    painter.fillRect(event->rect(), palette().base());
    painter.setFont(font());
    const int height = LineHeight(), width = CharWidth();
    const int left = kMargin - horizontalScrollBar()->value();
    const int ascent = fontMetrics().ascent();
    const int leftColumn = std::max(0, horizontalScrollBar()->value() - kMargin) / width;
    const int visibleColumns = viewport()->width() / width + 2;
    const auto firstColumn = static_cast<size_t>(leftColumn);
    const auto columns = static_cast<size_t>(visibleColumns);
    const MemoPosition from = std::min(anchor_, cursor_), to = std::max(anchor_, cursor_);
    const size_t first = FirstVisibleLine();
    const size_t last = std::min(lines_.DocLineCount(), first + static_cast<size_t>(VisibleLines()) + 2);
    for (size_t i = first; i < last; ++i) {
        const int y = kMargin + static_cast<int>(i - first) * height;
        if (y > event->rect().bottom() || y + height < event->rect().top())
            continue;
        const std::string_view line = lines_.DocLine(i);
        const QString shown =
            firstColumn < line.size()
                ? QString::fromLatin1(line.data() + firstColumn,
                                      static_cast<qsizetype>(std::min(columns, line.size() - firstColumn)))
                : QString();
        const QPoint at(left + static_cast<int>(firstColumn) * width, y + ascent);
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(at, shown);
        if (from != to && i >= from.line && i <= to.line) {
            // The selected part, the line break as a space after the text.
            const size_t start = i == from.line ? from.column : 0;
            const size_t end = i == to.line ? to.column : line.size() + 1;
            const QRect selected(left + static_cast<int>(start) * width, y, static_cast<int>(end - start) * width,
                                 height);
            painter.fillRect(selected, palette().highlight());
            painter.save();
            painter.setClipRect(selected);
            painter.setPen(palette().color(QPalette::HighlightedText));
            painter.drawText(at, shown);
            painter.restore();
        }
    }
    if (hasFocus() && blinkOn_) {
        const QRect caret = CharacterRect(cursor_);
        painter.fillRect(QRect(caret.left(), caret.top(), 1, caret.height()), palette().color(QPalette::Text));
    }
}

void MemoWidget::resizeEvent(QResizeEvent* event)
{
    const bool following = FollowingEnd();
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars(following);
}

bool MemoWidget::viewportEvent(QEvent* event)
{
    // The wheel scrolls from where the view is, not from where a lagging bar stands.
    if (event->type() == QEvent::Wheel && pinned_)
        UpdateScrollBars(true);
    return QAbstractScrollArea::viewportEvent(event);
}

void MemoWidget::scrollContentsBy(int dx, int dy)
{
    if (syncingBar_)
        return;
    // The user moved a bar that lagged behind a pinned view: the view goes where it says.
    if (std::exchange(pinned_, false) || dx != 0)
        viewport()->update();
    else
        ScrollLines(dy);
}

void MemoWidget::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy))
        return Copy();
    if (event->matches(QKeySequence::Cut))
        return Cut();
    if (event->matches(QKeySequence::Paste))
        return Paste();
    if (event->matches(QKeySequence::SelectAll))
        return SelectAll();
    if (event->matches(QKeySequence::Undo))
        return Undo();
    if (event->matches(QKeySequence::Redo))
        return Redo();
    if (event->matches(QKeySequence::Delete) || event->key() == Qt::Key_Backspace) {
        if (HasSelection())
            return EraseText(anchor_, cursor_);
        const bool back = event->key() == Qt::Key_Backspace;
        MemoPosition other = cursor_;
        if (back && cursor_.column > 0)
            other.column--;
        else if (back && cursor_.line > 0)
            other = {cursor_.line - 1, lines_.DocLine(cursor_.line - 1).size()};
        else if (!back && cursor_.column < lines_.DocLine(cursor_.line).size())
            other.column++;
        else if (!back && cursor_.line + 1 < lines_.DocLineCount())
            other = {cursor_.line + 1, 0};
        return EraseText(other, cursor_);
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        return InsertText("\n");
    for (const MoveKey& key : kMoveKeys) {
        const bool select = event->matches(key.select);
        if (!select && !event->matches(key.move))
            continue;
        MemoPosition at = cursor_;
        const std::string_view line = lines_.DocLine(at.line);
        const bool vertical =
            key.how == Move::Up || key.how == Move::Down || key.how == Move::PageUp || key.how == Move::PageDown;
        if (vertical && wantedColumn_ < 0)
            wantedColumn_ = static_cast<int>(std::min<size_t>(at.column, INT_MAX));
        const auto page = static_cast<size_t>(VisibleLines());
        switch (key.how) {
            case Move::Left:  // without shift, a selection collapses to its start
                at = !select && HasSelection() ? std::min(anchor_, cursor_) : lines_.Moved(at, MemoMove::CharLeft);
                break;
            case Move::Right:
                at = !select && HasSelection() ? std::max(anchor_, cursor_) : lines_.Moved(at, MemoMove::CharRight);
                break;
            case Move::WordLeft:
                at = lines_.Moved(at, MemoMove::WordLeft);
                break;
            case Move::WordRight:
                at = lines_.Moved(at, MemoMove::WordRight);
                break;
            case Move::Up:
            case Move::PageUp:
                at = {at.line - std::min(at.line, key.how == Move::Up ? 1 : page), static_cast<size_t>(wantedColumn_)};
                break;
            case Move::Down:
            case Move::PageDown:
                at = {std::min(at.line + (key.how == Move::Down ? 1 : page), lines_.DocLineCount() - 1),
                      static_cast<size_t>(wantedColumn_)};
                break;
            case Move::Home:
                at.column = 0;
                break;
            case Move::End:
                at.column = line.size();
                break;
            case Move::Start:
                at = {0, 0};
                break;
            case Move::Finish:
                at = lines_.DocEnd();
                break;
        }
        if (!vertical)
            wantedColumn_ = -1;
        if (key.how == Move::PageUp || key.how == Move::PageDown) {
            QScrollBar* bar = verticalScrollBar();
            bar->setValue(bar->value() + (key.how == Move::PageUp ? -1 : 1) * static_cast<int>(page));
        }
        return SetCursorPosition(at, select);
    }
    if (IsTyped(event))
        return InsertText(StoreText(event->text()));
    event->ignore();
}

void MemoWidget::mousePressEvent(QMouseEvent* event)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (event->button() == Qt::MiddleButton && clipboard->supportsSelection()) {
        // The X11 way: the text last selected anywhere goes in where the pointer is.
        const QString text = clipboard->text(QClipboard::Selection);
        SetCursorPosition(PositionAtPoint(event->position().toPoint()));
        if (!text.isEmpty())
            InsertText(StoreText(text));
        return;
    }
    if (event->button() != Qt::LeftButton)
        return QAbstractScrollArea::mousePressEvent(event);
    setFocus(Qt::MouseFocusReason);
    wantedColumn_ = -1;
    selecting_ = true;
    SetCursorPosition(PositionAtPoint(event->position().toPoint()), (event->modifiers() & Qt::ShiftModifier) != 0);
}

void MemoWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (!selecting_ || !(event->buttons() & Qt::LeftButton))
        return;
    dragPoint_ = event->position().toPoint();
    SetCursorPosition(PositionAtPoint(dragPoint_), true);
    // Held above or below the text, the selection goes on scrolling.
    if (viewport()->rect().contains(dragPoint_))
        autoScroll_.stop();
    else if (!autoScroll_.isActive())
        autoScroll_.start(kAutoScrollMs, this);
}

void MemoWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QAbstractScrollArea::mouseReleaseEvent(event);
    selecting_ = false;
    autoScroll_.stop();
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (HasSelection() && clipboard->supportsSelection())
        clipboard->setText(QString::fromLatin1(SelectedText()), QClipboard::Selection);
}

void MemoWidget::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QAbstractScrollArea::mouseDoubleClickEvent(event);
    const auto [start, end] = lines_.WordAt(PositionAtPoint(event->position().toPoint()));
    anchor_ = start;
    SetCursorPosition(end, true);
}

void MemoWidget::contextMenuEvent(QContextMenuEvent* event)
{
    // Qt's own texts for a text field's menu, so they come translated with Qt's catalogue.
    QMenu menu(this);
    const auto add = [&](const char* text, QKeySequence::StandardKey key, bool enabled, auto slot) {
        QAction* action = menu.addAction(QCoreApplication::translate("QWidgetTextControl", text), this, slot);
        action->setShortcut(key);
        action->setEnabled(enabled);
        return action;
    };
    add("&Undo", QKeySequence::Undo, lines_.CanUndo(), [this] { Undo(); });
    add("&Redo", QKeySequence::Redo, lines_.CanRedo(), [this] { Redo(); });
    menu.addSeparator();
    add("Cu&t", QKeySequence::Cut, HasSelection(), [this] { Cut(); });
    add("&Copy", QKeySequence::Copy, HasSelection(), [this] { Copy(); });
    add("&Paste", QKeySequence::Paste, !QGuiApplication::clipboard()->text().isEmpty(), [this] { Paste(); });
    add("Delete", QKeySequence::UnknownKey, HasSelection(), [this] { EraseText(anchor_, cursor_); });
    menu.addSeparator();
    add("Select All", QKeySequence::SelectAll, lines_.DocLength() > 0, [this] { SelectAll(); });
    // From the keyboard the menu opens at the cursor rather than in the middle of the area.
    const QPoint at = event->reason() == QContextMenuEvent::Keyboard
                          ? viewport()->mapToGlobal(CharacterRect(cursor_).bottomLeft())
                          : event->globalPos();
    menu.exec(at);
}

void MemoWidget::inputMethodEvent(QInputMethodEvent* event)
{
    // Composed characters (dead keys, compose sequences) arrive whole; nothing is shown
    // while they are composed.
    if (!event->commitString().isEmpty())
        InsertText(StoreText(event->commitString()));
    event->accept();
}

QVariant MemoWidget::inputMethodQuery(Qt::InputMethodQuery query) const
{
    switch (query) {
        case Qt::ImEnabled:
            return true;
        case Qt::ImCursorRectangle:
            return CharacterRect(cursor_).translated(viewport()->pos());
        case Qt::ImFont:
            return font();
        default:
            return QAbstractScrollArea::inputMethodQuery(query);
    }
}

void MemoWidget::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    RestartBlink();
    viewport()->update();
}

void MemoWidget::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    blink_.stop();
    viewport()->update();
}

void MemoWidget::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == autoScroll_.timerId()) {
        if (selecting_)
            SetCursorPosition(PositionAtPoint(dragPoint_), true);
        else
            autoScroll_.stop();
        return;
    }
    if (event->timerId() != blink_.timerId())
        return QAbstractScrollArea::timerEvent(event);
    blinkOn_ = !blinkOn_;
    viewport()->update(CharacterRect(cursor_).adjusted(-1, 0, 1, 0));
}

}  // namespace tessek
