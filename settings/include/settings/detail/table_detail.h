// How a value is judged by a row of the table of settings, and the checks
// the table must pass: the machinery under settings/table.h, which its rows
// and the libraries use. Not for programs: its names may change.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>

#include "settings/rule.h"

namespace settings::detail {

// Whether `value` keeps `rule`. `equals` keeps its value as both bounds, so
// one comparison serves it and `range`. Integers are judged exactly at any
// width; NaN fails every bound, which is finite; texts have only a length.
template <typename Value>
constexpr bool holds(const Rule& rule, const Value& value) {
    if constexpr (std::is_integral_v<Value>) {
        const auto wide = static_cast<std::int64_t>(value);
        if (rule.kind == RuleKind::powerOfTwo) {
            return isPowerOfTwo(wide);
        }
        return static_cast<std::int64_t>(rule.min) <= wide && wide <= static_cast<std::int64_t>(rule.max);
    } else if constexpr (std::is_floating_point_v<Value>) {
        return rule.min <= value && value <= rule.max;
    } else {
        return !value.empty();
    }
}

// The first rule of `row` that `value` breaks, in the row's order; null when it keeps them all.
template <typename Row, typename Value>
constexpr const Rule* firstBrokenRule(const Row& row, const Value& value) {
    for (const Rule& rule : row.rules) {
        if (!holds(rule, value)) {
            return &rule;
        }
    }
    return nullptr;
}

template <typename Value>
constexpr ValueType valueTypeOf() {
    if constexpr (std::is_same_v<Value, std::int32_t>) {
        return ValueType::integer;
    } else if constexpr (std::is_same_v<Value, float>) {
        return ValueType::real;
    } else if constexpr (std::is_same_v<Value, std::string>) {
        return ValueType::text;
    } else {
        static_assert(std::is_same_v<Value, std::wstring>, "a setting is an int32, a float or a string");
        return ValueType::wideText;
    }
}

// "audio" of "audio.bufferSizeMs"; empty for a top-level key such as "version".
constexpr std::string_view sectionOf(std::string_view keyPath) {
    const std::size_t point = keyPath.rfind('.');
    return point == std::string_view::npos ? std::string_view{} : keyPath.substr(0, point);
}

// "bufferSizeMs" of "audio.bufferSizeMs"; the whole of a top-level key.
constexpr std::string_view memberNameOf(std::string_view keyPath) { return keyPath.substr(keyPath.rfind('.') + 1); }

// Whether two values of a setting are the same, reals compared bit for bit,
// so that a NaN equals itself.
template <typename Value>
bool sameValue(const Value& a, const Value& b) {
    if constexpr (std::is_floating_point_v<Value>) {
        return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
    } else {
        return a == b;
    }
}

// Every rule suits its setting's type, and integer bounds are 32-bit integers.
template <typename Row>
constexpr bool rulesSuitType(const Row& row) {
    for (const Rule& rule : row.rules) {
        const bool numeric = rule.kind == RuleKind::equals || rule.kind == RuleKind::range;
        const bool suits = Row::type == ValueType::integer ? rule.kind != RuleKind::nonEmpty
                           : Row::type == ValueType::real  ? numeric
                                                           : rule.kind == RuleKind::nonEmpty;
        const auto fitsInteger = [](double bound) {
            using Limits = std::numeric_limits<std::int32_t>;
            return bound >= Limits::min() && bound <= Limits::max() &&
                   bound == static_cast<double>(static_cast<std::int32_t>(bound));
        };
        if (!suits || rule.min > rule.max ||
            (Row::type == ValueType::integer && !(fitsInteger(rule.min) && fitsInteger(rule.max)))) {
            return false;
        }
    }
    return true;
}

}  // namespace settings::detail
