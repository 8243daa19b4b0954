// The rules a setting keeps, the kinds of value a setting holds, and when a
// change applies: the words of the table of settings.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace settings {

// What a rule demands. ruleName gives its identifier: "range".
enum class RuleKind { equals, nonEmpty, range, powerOfTwo };

constexpr std::string_view ruleName(RuleKind kind) {
    constexpr std::array<std::string_view, 4> kNames = {"equals", "nonEmpty", "range", "powerOfTwo"};
    return kNames[static_cast<std::size_t>(kind)];
}

inline constexpr std::array kRuleKinds = {RuleKind::equals, RuleKind::nonEmpty, RuleKind::range, RuleKind::powerOfTwo};

// One rule of a setting. Bounds are inclusive; `equals` keeps its value in both.
struct Rule {
    RuleKind kind = RuleKind::nonEmpty;
    double min = 0;
    double max = 0;
};

constexpr Rule equals(double value) { return {RuleKind::equals, value, value}; }
constexpr Rule nonEmpty() { return {RuleKind::nonEmpty}; }
constexpr Rule range(double min, double max) { return {RuleKind::range, min, max}; }
constexpr Rule powerOfTwo() { return {RuleKind::powerOfTwo}; }

// True for 1, 2, 4, ... 2^62; false for zero and every negative value.
constexpr bool isPowerOfTwo(std::int64_t value) { return value > 0 && (value & (value - 1)) == 0; }

// The kind of value a setting holds, from the type of its member.
enum class ValueType { integer, real, text, wideText };

// When a change of a setting takes effect in the running detector: at once,
// or at its next start, for the settings that shape the audio pipeline.
enum class Applies { live, atRestart };

// "live", "at restart": as tools and people read it.
constexpr std::string_view appliesName(Applies applies) { return applies == Applies::live ? "live" : "at restart"; }

}  // namespace settings
