#pragma once
// The main window's text area: a plain text widget in a fixed-pitch font, no word wrap,
// with a vertical scroll bar, showing a MemoLines. Every change is an insertion at the
// end of the document, so a long log costs the same per line as a short one. What the
// user types is taken back into the lines before the next operation. Window thread only.
#include "platform/MemoLines.h"

#include <QPlainTextEdit>

namespace tessek {

class MemoWidget : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit MemoWidget(QWidget* parent = nullptr);

    void Clear();
    void AddLine(const std::string& line);
    void Append(const std::string& text);
    std::string Text() const;
    std::vector<std::string> Lines() const;
    // Every line followed by CR LF, one byte per character; throws std::runtime_error.
    void SaveToFile(const std::string& path) const;

private:
    void InsertAtEnd(const QString& text);
    const MemoLines& Model() const;

    mutable MemoLines model_;
    mutable bool edited_ = false;
    bool inserting_ = false;
};

}  // namespace tessek
