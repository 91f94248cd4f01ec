#include "logging/Formula.h"

#include <muParser.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <map>

namespace tessek {
namespace {

// Every bracketed name and history call becomes a variable of this prefix and a number;
// the same prefix typed by the user is refused, so no text can reach these variables
// other than through brackets.
constexpr std::string_view kVariablePrefix = "__c";

bool IsNameChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

std::string At(size_t pos)
{
    return " at position " + std::to_string(pos);
}

std::string Replaced(std::string text, std::string_view what, const std::string& with)
{
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

// The formula rewritten for muparser: bracketed names and history calls replaced by
// variables, with the position in the user's text of every character.
class Translation {
public:
    Translation(const std::string& text, const ChannelLookup& lookup) : text_(text), lookup_(lookup) {}

    // Fills Expression, Origin, Inputs and Sources; the error when the text cannot be translated.
    std::optional<FormulaError> Run()
    {
        size_t i = 0;
        while (i < text_.size()) {
            const char c = text_[i];
            if (c == '[') {
                size_t end = 0;
                const auto channel = Bracket(i, end);
                if (!channel)
                    return error_;
                Variable({*channel, FormulaInput::Kind::Value, 1}, i, end);
                i = end;
            } else if (c == ']') {
                return FormulaError{"\"]\" without \"[\"" + At(i), static_cast<int>(i)};
            } else if (IsNameChar(c)) {
                size_t end = i;
                while (end < text_.size() && IsNameChar(text_[end]))
                    ++end;
                const std::string word = text_.substr(i, end - i);
                if (word == "prev" || word == "rate" || word == "smooth") {
                    if (!HistoryCall(word, i, end))
                        return error_;
                } else if (word.starts_with(kVariablePrefix)) {
                    return FormulaError{"Unknown name \"" + word + "\"" + At(i), static_cast<int>(i)};
                } else {
                    Copy(i, end);
                }
                i = end;
            } else {
                Copy(i, i + 1);
                ++i;
            }
        }
        Origin.push_back(text_.size());
        return std::nullopt;
    }

    std::string Expression;
    std::vector<size_t> Origin;  // per character of Expression, and one for its end
    std::vector<FormulaInput> Inputs;
    std::map<std::string, std::string> Sources;  // variable -> the user's text it stands for

private:
    void Copy(size_t from, size_t to)
    {
        for (size_t k = from; k < to; ++k) {
            Expression += text_[k];
            Origin.push_back(k);
        }
    }

    // Blanks around the variable keep it from running into a neighbouring name or number.
    void Variable(const FormulaInput& input, size_t from, size_t to)
    {
        auto found = std::find(Inputs.begin(), Inputs.end(), input);
        if (found == Inputs.end())
            found = Inputs.insert(Inputs.end(), input);
        const std::string name =
            std::string(kVariablePrefix) + std::to_string(static_cast<size_t>(found - Inputs.begin()));
        Sources.emplace(name, text_.substr(from, to - from));
        const std::string spaced = " " + name + " ";
        Expression += spaced;
        Origin.insert(Origin.end(), spaced.size(), from);
    }

    // The channel of the "[name]" at `open`; `end` is set past its "]".
    std::optional<size_t> Bracket(size_t open, size_t& end)
    {
        const size_t close = text_.find_first_of("[]", open + 1);
        if (close == std::string::npos || text_[close] != ']') {
            error_ = {"\"[\" without \"]\"" + At(open), static_cast<int>(open)};
            return std::nullopt;
        }
        std::string name = text_.substr(open + 1, close - open - 1);
        name.erase(0, name.find_first_not_of(" \t"));
        name.erase(name.find_last_not_of(" \t") + 1);
        if (name.empty()) {
            error_ = {"No channel name in \"[]\"" + At(open), static_cast<int>(open)};
            return std::nullopt;
        }
        auto found = lookup_(name);
        if (const auto* reason = std::get_if<std::string>(&found)) {
            error_ = {*reason + At(open), static_cast<int>(open)};
            return std::nullopt;
        }
        end = close + 1;
        return std::get<size_t>(found);
    }

    size_t SkipBlanks(size_t pos) const
    {
        while (pos < text_.size() && (text_[pos] == ' ' || text_[pos] == '\t'))
            ++pos;
        return pos;
    }

    // "prev([X])", "rate([X])" or "smooth([X], n)" from `start`, whose word ends at `end`;
    // `end` is set past the call's ")".
    bool HistoryCall(const std::string& word, size_t start, size_t& end)
    {
        const bool smooth = word == "smooth";
        const auto usage = [&] {
            const std::string needs = smooth ? "a channel in brackets and a number of samples from 1 to " +
                                                   std::to_string(kMaxSmoothSamples) + ", as in smooth([Boost], 5)"
                                             : "a channel in brackets, as in " + word + "([Boost])";
            error_ = {word + " needs " + needs + "," + At(start), static_cast<int>(start)};
            return false;
        };
        const auto expect = [&](size_t& pos, char c) {
            pos = SkipBlanks(pos);
            return pos < text_.size() && text_[pos] == c;
        };
        size_t pos = end;
        if (!expect(pos, '(') || !expect(++pos, '['))
            return usage();
        size_t close = 0;
        const auto channel = Bracket(pos, close);
        if (!channel)
            return false;
        FormulaInput input{*channel, FormulaInput::Kind::Rate, 1};
        if (word == "prev")
            input.What = FormulaInput::Kind::Previous;
        pos = close;
        if (smooth) {
            input.What = FormulaInput::Kind::Smooth;
            if (!expect(pos, ','))
                return usage();
            pos = SkipBlanks(pos + 1);
            const char* first = text_.data() + pos;
            const char* last = text_.data() + text_.size();
            const auto [ptr, ec] = std::from_chars(first, last, input.Samples);
            if (ec != std::errc() || input.Samples < 1 || input.Samples > kMaxSmoothSamples ||
                (ptr < last && (IsNameChar(*ptr) || *ptr == '.')))
                return usage();
            pos += static_cast<size_t>(ptr - first);
        }
        if (!expect(pos, ')'))
            return usage();
        end = pos + 1;
        Variable(input, start, end);
        return true;
    }

    const std::string& text_;
    const ChannelLookup& lookup_;
    FormulaError error_;
};

// The library's message for `e`, with positions and names as the user wrote them.
FormulaError Explain(const mu::ParserError& e, const Translation& t)
{
    FormulaError error;
    if (e.GetPos() >= 0) {
        const size_t pos = std::min(static_cast<size_t>(e.GetPos()), t.Expression.size());
        error.Position = static_cast<int>(t.Origin[pos]);
    }
    // The token is a variable, or a stretch of the expression (the rest of it, for an
    // unexpected token), in which every variable stands between the blanks added around it.
    std::string token = e.GetToken();
    if (const auto source = t.Sources.find(token); source != t.Sources.end()) {
        token = source->second;
    } else {
        for (const auto& [variable, text] : t.Sources)
            token = Replaced(token, std::string(" ").append(variable).append(" "), text);
    }
    token.erase(token.find_last_not_of(' ') + 1);
    const std::string pattern = mu::ParserErrorMsg::Instance()[static_cast<unsigned>(e.GetCode())];
    if (pattern.empty()) {
        error.Message = e.GetMsg();
    } else {
        error.Message = Replaced(pattern, "$TOK$", token);
        error.Message = Replaced(error.Message, "$POS$", std::to_string(std::max(error.Position, 0)));
    }
    if (error.Position >= 0 && pattern.find("$POS$") == std::string::npos)
        error.Message += At(static_cast<size_t>(error.Position));
    return error;
}

}  // namespace

struct Formula::Impl {
    mu::Parser Parser;
    std::vector<FormulaInput> Inputs;
    // The variables' storage, fixed in size once the parser holds their addresses.
    std::vector<double> Values;
};

Formula::Formula(std::unique_ptr<Impl> impl) : impl_(std::move(impl))
{
}

Formula::Formula(Formula&&) noexcept = default;
Formula& Formula::operator=(Formula&&) noexcept = default;
Formula::~Formula() = default;

std::variant<Formula, FormulaError> Formula::Compile(const std::string& text, const ChannelLookup& lookup)
{
    Translation t(text, lookup);
    if (auto error = t.Run())
        return *error;
    auto impl = std::make_unique<Impl>();
    impl->Inputs = t.Inputs;
    impl->Values.assign(t.Inputs.size(), 1.0);
    try {
        for (size_t k = 0; k < impl->Values.size(); ++k)
            impl->Parser.DefineVar(std::string(kVariablePrefix) + std::to_string(k), &impl->Values[k]);
        impl->Parser.SetExpr(t.Expression);
        // The library parses on the first evaluation: a formula compiles when it evaluates once.
        impl->Parser.Eval();
    } catch (const mu::ParserError& e) {
        return Explain(e, t);
    }
    return Formula(std::move(impl));
}

const std::vector<FormulaInput>& Formula::Inputs() const
{
    return impl_->Inputs;
}

std::optional<double> Formula::Evaluate(std::span<const double> values)
{
    std::copy_n(values.begin(), std::min(values.size(), impl_->Values.size()), impl_->Values.begin());
    try {
        const double result = impl_->Parser.Eval();
        return std::isfinite(result) ? std::optional<double>(result) : std::nullopt;
    } catch (const mu::ParserError&) {
        return std::nullopt;
    }
}

}  // namespace tessek
