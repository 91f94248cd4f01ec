#include "app/Memo.h"

#include <QFontDatabase>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

namespace tessek {

TMemo::TMemo(QWidget* parent) : QPlainTextEdit(parent)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
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

const TMemoText& TMemo::Model() const
{
    if (edited_) {
        model_.SetText(toPlainText().toLatin1().toStdString());
        edited_ = false;
    }
    return model_;
}

void TMemo::InsertAtEnd(const QString& text)
{
    if (text.isEmpty())
        return;
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

void TMemo::Clear()
{
    Model();
    model_.Clear();
    inserting_ = true;
    clear();
    inserting_ = false;
}

void TMemo::AddLine(const std::string& line)
{
    const bool open = Model().LastLineOpen();
    model_.AddLine(line);
    InsertAtEnd((open ? QStringLiteral("\n") : QString()) + QString::fromLatin1(line) + QLatin1Char('\n'));
}

void TMemo::Append(const std::string& text)
{
    Model();
    model_.Append(text);
    InsertAtEnd(QString::fromLatin1(text));
}

std::string TMemo::Text() const
{
    return Model().Text();
}

std::vector<std::string> TMemo::Lines() const
{
    return Model().Lines();
}

void TMemo::SaveToFile(const std::string& path) const
{
    Model().SaveToFile(path);
}

}  // namespace tessek
