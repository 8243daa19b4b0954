#include "settings/validation.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <type_traits>

namespace settings {
namespace {

// The fixed texts of the rules; bounds and the offending value go between them.
constexpr std::string_view kMustEqual = "must equal ";
constexpr std::string_view kMustNotBeEmpty = "must not be empty";
constexpr std::string_view kMustBeIn = "must be in [";
constexpr std::string_view kBoundSeparator = ", ";
constexpr std::string_view kRangeEnd = "]";
constexpr std::string_view kMustBePowerOfTwo = "must be a power of 2";
constexpr std::string_view kGot = "; got ";

// A rendered number kept on the stack, so that a message costs one allocation.
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

NumberText integerText(std::int64_t value) {
    NumberText text;
    text.setEnd(std::to_chars(text.begin(), text.end(), value).ptr);
    return text;
}

NumberText realText(double value) {
    NumberText text;
    if (std::isnan(value) || std::isinf(value)) {
        // The C runtimes disagree on these texts; use one spelling everywhere.
        const std::string_view name = std::isnan(value) ? "nan" : "inf";
        const std::string_view sign = std::signbit(value) ? "-" : "";
        text.setEnd(std::copy(name.begin(), name.end(), std::copy(sign.begin(), sign.end(), text.begin())));
    } else {
        text.setEnd(std::to_chars(text.begin(), text.end(), value, std::chars_format::fixed, 6).ptr);
    }
    return text;
}

// A bound as the rule states it: "100" for integers, "0.0" or "0.5" for reals.
NumberText boundText(double bound, ValueType type) {
    constexpr double kExactIntegers = 9007199254740992.0;  // 2^53
    const bool integral = std::abs(bound) < kExactIntegers && bound == std::trunc(bound);
    if (integral) {
        NumberText text = integerText(static_cast<std::int64_t>(bound));
        if (type == ValueType::real) {
            text.setEnd(std::copy_n(".0", 2, text.begin() + text.size));
        }
        return text;
    }
    NumberText text;
    text.setEnd(std::to_chars(text.begin(), text.end(), bound).ptr);
    return text;
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

// The rule's text, followed for numeric rules by `got` and `value`.
std::string composeRuleText(const Rule& rule, ValueType type, std::string_view got, std::string_view value) {
    if (rule.kind == RuleKind::nonEmpty) {
        return std::string(kMustNotBeEmpty);
    }
    if (rule.kind == RuleKind::powerOfTwo) {
        return concatenate({kMustBePowerOfTwo, got, value});
    }
    const NumberText min = boundText(rule.min, type);
    if (rule.kind == RuleKind::equals) {
        return concatenate({kMustEqual, min.view(), got, value});
    }
    return concatenate(
        {kMustBeIn, min.view(), kBoundSeparator, boundText(rule.max, type).view(), kRangeEnd, got, value});
}

template <typename Row>
const Rule* firstBrokenRule(const Row& row, const typename Row::Value& value) {
    for (const Rule& rule : row.rules) {
        if (!holds(rule, value)) {
            return &rule;
        }
    }
    return nullptr;
}

// Built straight into the optional that validate returns, so that validate's
// valid path keeps no room for a temporary error.
template <typename Row>
std::optional<ValidationError> errorFor(const Row& row, const Rule& rule, const typename Row::Value& value) {
    std::string field(row.keyPath);
    if constexpr (std::is_integral_v<typename Row::Value>) {
        return ValidationError{std::move(field), ruleMessage(rule, Row::type, integerText(value).view())};
    } else if constexpr (std::is_floating_point_v<typename Row::Value>) {
        return ValidationError{std::move(field), ruleMessage(rule, Row::type, realText(value).view())};
    } else {
        return ValidationError{std::move(field), ruleMessage(rule, Row::type, {})};
    }
}

// The first broken rule from row `Row` on. Returning from each row, rather than
// assigning a result, keeps the valid path as short as a hand-written chain.
template <std::size_t Row = 0>
std::optional<ValidationError> firstError(const Config& config) {
    if constexpr (Row == kSettingCount) {
        return std::nullopt;
    } else {
        const auto& row = std::get<Row>(kSettings);
        const auto& value = row.member(config);
        if (const Rule* broken = firstBrokenRule(row, value)) {
            return errorFor(row, *broken, value);
        }
        return firstError<Row + 1>(config);
    }
}

}  // namespace

std::optional<ValidationError> validate(const Config& config) { return firstError(config); }

std::vector<ValidationError> validateAll(const Config& config) {
    std::vector<ValidationError> errors;
    forEachSetting([&](const auto& row) {
        const auto& value = row.member(config);
        if (const Rule* broken = firstBrokenRule(row, value)) {
            errors.push_back(*errorFor(row, *broken, value));
        }
    });
    return errors;
}

std::string renderInteger(std::int64_t value) { return std::string(integerText(value).view()); }

std::string renderReal(double value) { return std::string(realText(value).view()); }

std::string ruleText(const Rule& rule, ValueType type) { return composeRuleText(rule, type, {}, {}); }

std::string ruleMessage(const Rule& rule, ValueType type, std::string_view renderedValue) {
    return composeRuleText(rule, type, kGot, renderedValue);
}

}  // namespace settings
