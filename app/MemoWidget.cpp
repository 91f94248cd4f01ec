#include "app/MemoWidget.h"

#include <QFontDatabase>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

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

}  // namespace

MemoWidget::MemoWidget(QWidget* parent) : QPlainTextEdit(parent), show_(new QTimer(this))
{
    show_->setSingleShot(true);
    connect(show_, &QTimer::timeout, this, [this] { SetDisplayHeld(false); });
    QFont font = FixedPitchFont();
    font.setPixelSize(11);
    setFont(font);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setWordWrapMode(QTextOption::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    connect(document(), &QTextDocument::contentsChanged, this, [this] {
        if (!inserting_)
            edited_ = true;
    });
}

const MemoLines& MemoWidget::Model() const
{
    if (edited_) {
        model_.SetText(toPlainText().toLatin1().toStdString());
        edited_ = false;
    }
    return model_;
}

void MemoWidget::HoldDisplay()
{
    if (show_->isActive())
        return;  // held already: the timer shows everything
    if (!shown_.isValid() || shown_.elapsed() >= kShowIntervalMs) {
        shown_.start();  // shown with the next paint
        return;
    }
    SetDisplayHeld(true);
    show_->start(static_cast<int>(kShowIntervalMs - shown_.elapsed()));
}

void MemoWidget::SetDisplayHeld(bool held)
{
    // Enabling updates again repaints each of them once, with everything added meanwhile.
    viewport()->setUpdatesEnabled(!held);
    verticalScrollBar()->setUpdatesEnabled(!held);
    horizontalScrollBar()->setUpdatesEnabled(!held);
    if (!held)
        shown_.start();
}

void MemoWidget::InsertAtEnd(const QString& text)
{
    if (text.isEmpty())
        return;
    HoldDisplay();
    QScrollBar* bar = verticalScrollBar();
    const bool following = bar->value() == bar->maximum();
    inserting_ = true;
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    inserting_ = false;
    if (following)
        bar->setValue(bar->maximum());
}

void MemoWidget::Clear()
{
    Model();
    model_.Clear();
    inserting_ = true;
    clear();
    inserting_ = false;
}

void MemoWidget::AddLine(const std::string& line)
{
    const bool open = Model().LastLineOpen();
    model_.AddLine(line);
    InsertAtEnd((open ? QStringLiteral("\n") : QString()) + QString::fromLatin1(line) + QLatin1Char('\n'));
}

void MemoWidget::Append(const std::string& text)
{
    Model();
    model_.Append(text);
    InsertAtEnd(QString::fromLatin1(text));
}

std::string MemoWidget::Text() const
{
    return Model().Text();
}

std::vector<std::string> MemoWidget::Lines() const
{
    return Model().Lines();
}

void MemoWidget::SaveToFile(const std::string& path) const
{
    Model().SaveToFile(path);
}

bool MemoWidget::SaveToNewFile(const std::string& path) const
{
    return Model().SaveToNewFile(path);
}

}  // namespace tessek
