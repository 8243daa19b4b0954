#include "settings/message_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <locale>
#include <sstream>

namespace settings {
namespace {

// The fixed texts of the rules; bounds and the offending value go between them.
constexpr std::string_view kMustEqual = "must equal ";
constexpr std::string_view kMustNotBeEmpty = "must not be empty";
constexpr std::string_view kMustBeIn = "must be in [";
constexpr std::string_view kBoundSeparator = ", ";
constexpr std::string_view kRangeEnd = "]";
constexpr std::string_view kMustBePowerOfTwo = "must be a power of 2";
constexpr std::string_view kAnd = " and ";

// A rendered number kept on the stack until it is copied into its text.
struct NumberText {
    // The largest double has 309 integer digits: with sign, point and six decimals, 317 characters.
    std::array<char, 320> chars;  // only the first `size` are written
    std::size_t size = 0;

    [[nodiscard]] std::string_view view() const { return {chars.data(), size}; }
    [[nodiscard]] char* begin() { return chars.data(); }
    [[nodiscard]] char* end() { return chars.data() + chars.size(); }
    // The buffer holds every value's text, so conversions cannot run out of room.
    void setEnd(const char* last) { size = static_cast<std::size_t>(last - chars.data()); }
};

// The rule's text, followed for numeric rules by `got` and `value`.
std::string composeRuleText(const Rule& rule, ValueType type, std::string_view got, std::string_view value) {
    if (rule.kind == RuleKind::nonEmpty) {
        return std::string(kMustNotBeEmpty);
    }
    if (rule.kind == RuleKind::powerOfTwo) {
        return concatenate({kMustBePowerOfTwo, got, value});
    }
    if (rule.kind == RuleKind::equals) {
        return concatenate({kMustEqual, boundText(rule.min, type), got, value});
    }
    return concatenate(
        {kMustBeIn, boundText(rule.min, type), kBoundSeparator, boundText(rule.max, type), kRangeEnd, got, value});
}

// Whether `text` reads back as `value` the way the reader reads it: as a
// double, then rounded to the nearest float. (A stream in the classic locale
// parses as from_chars does, and libc++ 14 has no from_chars for doubles.)
bool readsBackAs(std::string_view text, float value) {
    std::istringstream in{std::string(text)};
    in.imbue(std::locale::classic());
    double parsed = 0;
    in >> parsed;
    return static_cast<float>(parsed) == value;
}

}  // namespace

std::string boundText(double bound, ValueType type) {
    constexpr double kExactIntegers = 9007199254740992.0;  // 2^53
    if (std::abs(bound) >= kExactIntegers || bound != std::trunc(bound)) {
        return shortestText(bound);
    }
    std::string text = renderInteger(static_cast<std::int64_t>(bound));
    return type == ValueType::real ? text + ".0" : text;
}

std::string renderInteger(std::int64_t value) {
    NumberText text;
    text.setEnd(std::to_chars(text.begin(), text.end(), value).ptr);
    return std::string(text.view());
}

std::string renderReal(double value) {
    if (std::isnan(value) || std::isinf(value)) {
        // The C runtimes disagree on these texts; use one spelling everywhere.
        return concatenate({std::signbit(value) ? "-" : "", std::isnan(value) ? "nan" : "inf"});
    }
    NumberText text;
    text.setEnd(std::to_chars(text.begin(), text.end(), value, std::chars_format::fixed, 6).ptr);
    return std::string(text.view());
}

std::string shortestText(double value) {
    NumberText text;
    text.setEnd(std::to_chars(text.begin(), text.end(), value).ptr);
    return std::string(text.view());
}

std::string shortestReal(float value) {
    if (std::isnan(value) || std::isinf(value)) {  // "nan", "-inf": TOML's spellings too
        return renderReal(value);
    }
    NumberText text;
    text.setEnd(std::to_chars(text.begin(), text.end(), value).ptr);
    // The float's shortest text can round to a double that rounds to another
    // float (7.038531e-26 does); then take more digits of the float's exact value.
    for (int digits = 1; !readsBackAs(text.view(), value); ++digits) {
        text.setEnd(
            std::to_chars(text.begin(), text.end(), static_cast<double>(value), std::chars_format::general, digits)
                .ptr);
    }
    std::string shortest(text.view());
    // TOML's floats need a fraction or an exponent.
    if (shortest.find_first_of(".e") == std::string::npos) {
        shortest += ".0";
    }
    return shortest;
}

std::string ruleText(const Rule& rule, ValueType type) { return composeRuleText(rule, type, {}, {}); }

std::string rulesText(std::span<const Rule> rules, ValueType type) {
    std::string text;
    for (const Rule& rule : rules) {
        text.append(text.empty() ? "" : kAnd).append(ruleText(rule, type));
    }
    return text;
}

std::string ruleMessage(const Rule& rule, ValueType type, std::string_view renderedValue) {
    return composeRuleText(rule, type, kGot, renderedValue);
}

std::string concatenate(std::initializer_list<std::string_view> pieces) {
    std::size_t size = 0;
    for (const std::string_view piece : pieces) {
        size += piece.size();
    }
    std::string text;
    text.reserve(size);
    for (const std::string_view piece : pieces) {
        text.append(piece);
    }
    return text;
}

}  // namespace settings
