#pragma once
// Where a session's text goes: the lines of the run (the same lines the automatic log
// "TempLog<n>.txt" keeps), the reports and what the session tells the user. The main
// window's text area is one (it shows and edits the lines); a front end without one uses
// StoreTextArea, which only keeps them. Window thread only.
#include "platform/MemoLines.h"

#include <string>

namespace tessek {

class TextArea {
public:
    virtual ~TextArea() = default;
    virtual void Clear() = 0;
    // A line of its own at the end (an unfinished last line is ended first).
    virtual void AddLine(const std::string& line) = 0;
    // Appended to the unfinished last line, or a new unfinished line after a finished one.
    virtual void Append(const std::string& text) = 0;
    virtual const MemoLines& Store() const = 0;
};

class StoreTextArea final : public TextArea {
public:
    void Clear() override { lines_.Clear(); }
    void AddLine(const std::string& line) override { lines_.AddLine(line); }
    void Append(const std::string& text) override { lines_.Append(text); }
    const MemoLines& Store() const override { return lines_; }

private:
    MemoLines lines_;
};

}  // namespace tessek
