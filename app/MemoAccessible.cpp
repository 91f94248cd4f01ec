#include "app/MemoAccessible.h"

#include "app/MemoWidget.h"

#include <QAccessibleWidget>
#include <QScrollBar>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <climits>

namespace tessek {

namespace {

// Offsets count the characters of the text area's document, "\n" between lines.
class MemoAccessible : public QAccessibleWidget,
                       public QAccessibleTextInterface,
                       public QAccessibleEditableTextInterface {
public:
    explicit MemoAccessible(MemoWidget* memo) : QAccessibleWidget(memo, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        if (type == QAccessible::EditableTextInterface)
            return static_cast<QAccessibleEditableTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.editable = true;
        state.multiLine = true;
        state.selectableText = true;
        state.focusable = true;
        return state;
    }

    // Selection and cursor.
    void selection(int index, int* startOffset, int* endOffset) const override
    {
        *startOffset = *endOffset = 0;
        if (index != 0 || !Memo()->HasSelection())
            return;
        const size_t anchor = Store().OffsetOf(Memo()->Anchor()), cursor = Store().OffsetOf(Memo()->CursorPosition());
        *startOffset = Offset(std::min(anchor, cursor));
        *endOffset = Offset(std::max(anchor, cursor));
    }
    int selectionCount() const override { return Memo()->HasSelection() ? 1 : 0; }
    void addSelection(int startOffset, int endOffset) override { setSelection(0, startOffset, endOffset); }
    void removeSelection(int index) override
    {
        if (index == 0)
            Memo()->SetCursorPosition(Memo()->CursorPosition());
    }
    void setSelection(int index, int startOffset, int endOffset) override
    {
        if (index != 0)
            return;
        Memo()->SetCursorPosition(At(startOffset));
        Memo()->SetCursorPosition(At(endOffset), true);
    }
    int cursorPosition() const override { return Offset(Store().OffsetOf(Memo()->CursorPosition())); }
    void setCursorPosition(int position) override { Memo()->SetCursorPosition(At(position)); }

    // Text.
    using QAccessibleWidget::text;
    QString text(int startOffset, int endOffset) const override
    {
        return QString::fromLatin1(Store().TextBetween(At(startOffset), At(endOffset)));
    }
    int characterCount() const override { return Offset(Store().DocLength()); }

    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundary, int* startOffset,
                         int* endOffset) const override
    {
        *startOffset = *endOffset = -1;
        const int length = characterCount();
        if (offset < 0 || offset > length)
            return {};
        if (boundary == QAccessible::NoBoundary) {
            *startOffset = 0;
            *endOffset = length;
            return text(0, length);
        }
        const MemoPosition at = Store().PositionAt(static_cast<size_t>(offset));
        const std::string_view line = Store().DocLine(at.line);
        const bool lastLine = at.line + 1 == Store().DocLineCount();
        const int lineStart = offset - static_cast<int>(at.column);
        const int lineEnd = lineStart + static_cast<int>(line.size());
        int start = offset, end = offset;
        if (boundary == QAccessible::CharBoundary) {
            end = std::min(offset + 1, length);
        } else if (boundary == QAccessible::WordBoundary) {
            if (at.column == line.size()) {
                end = lastLine ? offset : offset + 1;  // the line break
            } else {
                const QString shown = QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()));
                QTextBoundaryFinder finder(QTextBoundaryFinder::Word, shown);
                finder.setPosition(static_cast<qsizetype>(at.column));
                const qsizetype before = finder.isAtBoundary() ? finder.position() : finder.toPreviousBoundary();
                finder.setPosition(static_cast<qsizetype>(at.column));
                const qsizetype after = finder.toNextBoundary();
                start = lineStart + static_cast<int>(std::max<qsizetype>(before, 0));
                end = after < 0 ? lineEnd : lineStart + static_cast<int>(after);
            }
        } else {  // sentences and paragraphs are lines here
            start = lineStart;
            end = lastLine ? lineEnd : lineEnd + 1;
        }
        *startOffset = start;
        *endOffset = end;
        return text(start, end);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundary, int* startOffset,
                             int* endOffset) const override
    {
        textAtOffset(offset, boundary, startOffset, endOffset);
        if (*startOffset <= 0 || boundary == QAccessible::NoBoundary) {
            *startOffset = *endOffset = -1;
            return {};
        }
        return textAtOffset(*startOffset - 1, boundary, startOffset, endOffset);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundary, int* startOffset,
                            int* endOffset) const override
    {
        textAtOffset(offset, boundary, startOffset, endOffset);
        if (*endOffset < 0 || *endOffset >= characterCount() || boundary == QAccessible::NoBoundary) {
            *startOffset = *endOffset = -1;
            return {};
        }
        return textAtOffset(*endOffset, boundary, startOffset, endOffset);
    }

    // Geometry.
    QRect characterRect(int offset) const override
    {
        const QRect rect = Memo()->CharacterRect(At(offset));
        return {Memo()->viewport()->mapToGlobal(rect.topLeft()), rect.size()};
    }
    int offsetAtPoint(const QPoint& point) const override
    {
        const QPoint local = Memo()->viewport()->mapFromGlobal(point);
        if (!Memo()->viewport()->rect().contains(local))
            return -1;
        return Offset(Store().OffsetOf(Memo()->PositionAtPoint(local)));
    }
    void scrollToSubstring(int startIndex, int endIndex) override
    {
        Memo()->EnsureVisible(At(endIndex));
        Memo()->EnsureVisible(At(startIndex));
    }
    QString attributes(int, int* startOffset, int* endOffset) const override
    {
        *startOffset = 0;  // one font and colour throughout
        *endOffset = characterCount();
        return {};
    }

    // Editing.
    void deleteText(int startOffset, int endOffset) override { Memo()->EraseText(At(startOffset), At(endOffset)); }
    void insertText(int offset, const QString& text) override
    {
        Memo()->SetCursorPosition(At(offset));
        Memo()->InsertText(MemoWidget::StoreText(text));
    }
    void replaceText(int startOffset, int endOffset, const QString& text) override
    {
        setSelection(0, startOffset, endOffset);
        Memo()->InsertText(MemoWidget::StoreText(text));
    }

private:
    MemoWidget* Memo() const { return static_cast<MemoWidget*>(widget()); }
    const MemoLines& Store() const { return Memo()->Store(); }
    MemoPosition At(int offset) const { return Store().PositionAt(static_cast<size_t>(std::max(0, offset))); }
    static int Offset(size_t offset) { return static_cast<int>(std::min<size_t>(offset, INT_MAX)); }
};

QAccessibleInterface* CreateMemoAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String(MemoWidget::staticMetaObject.className()) && object && object->isWidgetType())
        return new MemoAccessible(static_cast<MemoWidget*>(object));
    return nullptr;
}

}  // namespace

void InstallMemoAccessibleFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(&CreateMemoAccessible);
        return true;
    }();
    (void)installed;
}

}  // namespace tessek
