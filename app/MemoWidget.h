#pragma once
// The main window's text area: a plain text widget in a fixed-pitch font, no word wrap,
// with a vertical scroll bar, showing a MemoLines. Every change is an insertion at the
// end of the document, so a long log costs the same per line as a short one. What the
// user types is taken back into the lines before the next operation. Window thread only.
//
// Lines reach the lines and the widget's document at once (Text, Lines, toPlainText and
// accessibility see every line), but the widget paints new text at most every
// kShowIntervalMs: a logging run adds dozens of lines a second, and a repaint of the text
// and the scroll bar for each of them would cost more than the logging itself.
#include "platform/MemoLines.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>

class QTimer;

namespace tessek {

class MemoWidget : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int kShowIntervalMs = 100;

    explicit MemoWidget(QWidget* parent = nullptr);

    void Clear();
    void AddLine(const std::string& line);
    void Append(const std::string& text);
    std::string Text() const;
    std::vector<std::string> Lines() const;
    // Every line followed by CR LF, one byte per character; throws std::runtime_error.
    void SaveToFile(const std::string& path) const;
    // The same as a new file; false when the name is taken (MemoLines::SaveToNewFile).
    bool SaveToNewFile(const std::string& path) const;

private:
    void InsertAtEnd(const QString& text);
    // Keeps the text and the scroll bars from painting until the interval since they last
    // showed new text has passed.
    void HoldDisplay();
    void SetDisplayHeld(bool held);
    const MemoLines& Model() const;

    mutable MemoLines model_;
    mutable bool edited_ = false;
    bool inserting_ = false;
    QElapsedTimer shown_;  // since new text was last let through to the screen
    QTimer* show_;         // ends a hold
};

}  // namespace tessek
