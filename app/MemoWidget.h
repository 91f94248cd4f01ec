#pragma once
// The main window's text area: a text widget in a fixed-pitch font, no word wrap, with a
// vertical scroll bar, showing a MemoLines and editing it in place. It keeps nothing per
// line of its own: it paints the visible lines straight from the store, so a line of a long
// run costs its bytes in the store and little more. Window thread only.
//
// Lines reach the store at once (Text, Lines and accessibility see every line), but the
// widget paints new text at most every kShowIntervalMs: a logging run adds dozens of lines
// a second, and a repaint of the text and the scroll bar for each of them would cost more
// than the logging itself. The view follows the end while its scroll bar is at the bottom.
//
// The user moves the cursor, selects, copies, cuts, pastes and types with the keys and the
// mouse as in any text field, and a screen reader reads the lines, the cursor and the
// selection through the accessible interface (MemoAccessible); change events go out only
// while accessibility is active, so a run costs nothing more without a screen reader.
#include "platform/MemoLines.h"
#include "session/TextArea.h"

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QBasicTimer>
#include <QElapsedTimer>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class QTimer;

namespace tessek {

class MemoWidget : public QAbstractScrollArea, public TextArea {
    Q_OBJECT
public:
    static constexpr int kShowIntervalMs = 100;
    // Space between the frame and the text, in pixels.
    static constexpr int kMargin = 4;
    // A selection dragged past the text scrolls a step this often.
    static constexpr int kAutoScrollMs = 50;
    // While the view follows the end, the vertical scroll bar, whose repaint costs more than
    // that of the new lines, is brought up to date at most this often; meanwhile the view
    // stays pinned to the end on its own.
    static constexpr int kScrollBarIntervalMs = 1000;

    explicit MemoWidget(QWidget* parent = nullptr);

    void Clear() override;
    void AddLine(const std::string& line) override;
    void Append(const std::string& text) override;
    std::string Text() const;
    std::vector<std::string> Lines() const;
    // Every line followed by CR LF, one byte per character; throws std::runtime_error.
    void SaveToFile(const std::string& path) const;
    // The same as a new file; false when the name is taken (MemoLines::SaveToNewFile).
    bool SaveToNewFile(const std::string& path) const;

    // Tab (and Shift+Tab) move the focus on instead of typing a tab character.
    void setTabChangesFocus(bool changes) { tabChangesFocus_ = changes; }
    bool tabChangesFocus() const { return tabChangesFocus_; }

    // Whether changes are announced to accessibility: while a screen reader listens, or
    // while a handler set here takes the events instead (null: Qt's accessibility again).
    static bool Announcing();
    static void AnnounceTo(QAccessible::UpdateHandler handler) { announceTo_ = handler; }

    const MemoLines& Store() const override { return lines_; }
    // The user's text as the store holds it: one byte per character (others become '?'),
    // lines ended by "\n".
    static std::string StoreText(QString text);
    MemoPosition CursorPosition() const { return cursor_; }
    // The selection from anchor to cursor; empty when they meet.
    MemoPosition Anchor() const { return anchor_; }
    bool HasSelection() const { return anchor_ != cursor_; }
    std::string SelectedText() const;
    // Moves the cursor to `at` (clamped), selecting from the anchor when `select`.
    void SetCursorPosition(MemoPosition at, bool select = false);
    void SelectAll();
    // Replaces the selection (if any) with `text` at the cursor, "\n" between lines.
    void InsertText(std::string_view text);
    // Removes the text between `from` and `to` and leaves the cursor there.
    void EraseText(MemoPosition from, MemoPosition to);
    // Takes back the user's last change, or makes it again; lines added meanwhile stay.
    void Undo();
    void Redo();
    void Copy() const;
    void Cut();
    void Paste();

    // The first line shown and the document position under a viewport point.
    size_t FirstVisibleLine() const;
    MemoPosition PositionAtPoint(QPoint viewportPoint) const;
    // The rectangle of the character at `at` in viewport coordinates.
    QRect CharacterRect(MemoPosition at) const;
    void EnsureVisible(MemoPosition at);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    int LineHeight() const;
    int CharWidth() const;
    int VisibleLines() const;
    // Scroll ranges after lines were added or the size changed; `following` keeps the
    // view at the end.
    void UpdateScrollBars(bool following);
    bool FollowingEnd() const;
    // The first line shown when the last line is at the bottom (the scroll bar's maximum).
    size_t EndFirstLine() const;
    // Moves what the view shows by `lines` (positive: down) on screen where it can.
    void ScrollLines(ptrdiff_t lines);
    // Lines were added: shows them now, or when the interval since new text was last
    // shown has passed; until then neither the text nor the scroll bars change on screen.
    void Changed();
    void Show();
    void RestartBlink();
    // After a change of the text: the cursor after what came in, the view, the events.
    void Stepped(const MemoStep& step);
    // Accessibility events for a change or a cursor move, only when someone listens.
    void NotifyInserted(MemoPosition at, const std::string& text);
    void NotifyRemoved(MemoPosition at, const std::string& text);
    void NotifyCursor();

    static void Announce(QAccessibleEvent& event);
    // Text a run added is announced as one insertion per show, not one per line: a screen
    // reader is told of it as the screen shows it, at a tenth of the traffic. Any other
    // change or move is announced after what is pending.
    void Inserted(size_t offset, std::string_view text);
    void AnnounceInserted();

    static QAccessible::UpdateHandler announceTo_;
    MemoLines lines_;
    MemoPosition cursor_;
    MemoPosition anchor_;
    int wantedColumn_ = -1;  // kept across up and down moves
    size_t widestLine_ = 0;  // characters; the horizontal range never shrinks but on Clear
    bool tabChangesFocus_ = false;
    bool selecting_ = false;  // a mouse button drags a selection
    bool blinkOn_ = true;
    QBasicTimer blink_;
    QBasicTimer autoScroll_;
    QPoint dragPoint_;     // where the pointer is while selecting
    QElapsedTimer shown_;  // since new text was last shown
    QTimer* show_;         // ends a hold
    static constexpr size_t kNoChange = SIZE_MAX;
    size_t changedFrom_ = kNoChange;  // the first line changed since new text was last shown
    bool pinned_ = false;             // the view shows the end; the scroll bar lags behind
    size_t pinnedFirst_ = 0;          // the first line a pinned view shows
    bool syncingBar_ = false;         // the bar is being set to where the view is
    QElapsedTimer barShown_;          // since the vertical bar was last brought up to date
    QTimer* barLate_;                 // brings a lagging bar up to date
    std::string inserted_;            // added at the end, not yet announced
    size_t insertedAt_ = 0;           // the offset where it begins
};

}  // namespace tessek
