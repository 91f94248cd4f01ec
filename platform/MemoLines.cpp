#include "platform/MemoLines.h"

#include "platform/AtomicFile.h"

namespace tessek {

void MemoLines::Clear()
{
    lines_.clear();
    lastOpen_ = false;
}

void MemoLines::AddLine(const std::string& line)
{
    lines_.push_back(line);
    lastOpen_ = false;
}

void MemoLines::Append(const std::string& text)
{
    if (lastOpen_)
        lines_.back() += text;
    else
        lines_.push_back(text);
    lastOpen_ = true;
}

std::string MemoLines::Text() const
{
    std::string text;
    for (size_t i = 0; i < lines_.size(); ++i) {
        text += lines_[i];
        if (i + 1 < lines_.size() || !lastOpen_)
            text += "\r\n";
    }
    return text;
}

std::string MemoLines::SaveText() const
{
    std::string text;
    for (const std::string& line : lines_) {
        text += line;
        text += "\r\n";
    }
    return text;
}

void MemoLines::SaveToFile(const std::string& path) const
{
    WriteFileAtomically(path, SaveText());
}

bool MemoLines::SaveToNewFile(const std::string& path) const
{
    return WriteNewFileAtomically(path, SaveText());
}

void MemoLines::SetText(const std::string& text)
{
    Clear();
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            Append(text.substr(start));
            return;
        }
        size_t lineEnd = end;
        if (lineEnd > start && text[lineEnd - 1] == '\r')
            --lineEnd;
        AddLine(text.substr(start, lineEnd - start));
        start = end + 1;
    }
}

}  // namespace tessek
