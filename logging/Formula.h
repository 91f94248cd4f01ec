#pragma once
// One formula of a calculated channel. Channel names go in square brackets ("[Boost] *
// 0.0689476", "[Cyl 1 Retard] + [Cyl 2 Retard]"); the rest is muparser's language: its
// operators, constants (_pi, _e) and functions (sqrt, abs, min, max, sum, avg, if-then-else
// with "? :", ...), plus three functions over a channel's recent samples:
//   prev([X])       the previous sample's value of X
//   rate([X])       X's change per second since the previous sample
//   smooth([X], n)  the mean of X over the last n samples (this one included)
// These take a channel in brackets, not an expression; n is a whole number from 1 to
// kMaxSmoothSamples.
//
// A formula knows nothing of samples: compiling resolves every bracketed name to a channel
// number through the caller's lookup and lists what the formula reads (Inputs()); the caller
// supplies those numbers to each evaluation (logging/CalculatedChannels.h does). No state is
// shared between formulas; each is used by one thread at a time.
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace tessek {

inline constexpr int kMaxSmoothSamples = 1000;

// What a formula reads of one channel.
struct FormulaInput {
    enum class Kind { Value, Previous, Rate, Smooth };
    size_t Channel = 0;
    Kind What = Kind::Value;
    int Samples = 1;  // n of smooth([X], n); 1 for the others

    bool operator==(const FormulaInput&) const = default;
};

// Why a formula does not compile: the library's message (or ours, for names and the
// history functions), saying the position where there is one, and that position: 0 is the
// formula's first character, -1 none.
struct FormulaError {
    std::string Message;  // "Unexpected token "foo" found at position 4."
    int Position = -1;

    bool operator==(const FormulaError&) const = default;
};

// The channel number of a name written in brackets (given without them and without the
// surrounding blanks), or the reason the formula cannot use it ("Unknown channel "[Bost]"").
using ChannelLookup = std::function<std::variant<size_t, std::string>(const std::string& name)>;

class Formula {
public:
    // The compiled formula, or why it does not compile. Never throws.
    static std::variant<Formula, FormulaError> Compile(const std::string& text, const ChannelLookup& lookup);

    Formula(Formula&&) noexcept;
    Formula& operator=(Formula&&) noexcept;
    ~Formula();

    // Each distinct reading once, in the order of first appearance in the text.
    const std::vector<FormulaInput>& Inputs() const;
    // The value for `values` (one per Inputs() entry, in that order); empty when the result
    // is not a finite number (a division by zero, the square root of a negative number) or
    // the library fails to evaluate it.
    std::optional<double> Evaluate(std::span<const double> values);

private:
    struct Impl;
    explicit Formula(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace tessek
