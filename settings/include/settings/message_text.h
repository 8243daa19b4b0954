// Numbers and rules as text, as the validator's messages write them: the one
// place where the validator's messages, the settings-file reader's, the
// writer's TOML, the JSON Schema, the command's and the Python package's turn
// a number or a rule into characters. Tools that show settings, their rules or
// values the way the detector does use these.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "settings/export.h"
#include "settings/table.h"

namespace settings {

// Decimal digits, with "-" for negative values: "-2147483648", "0", "3000000000".
DETECTOR_SETTINGS_EXPORT std::string renderInteger(std::int64_t value);

// The value with six decimals, correctly rounded (ties to even) and never
// shortened: "0.700000", "-0.007812", "340282346638528859811704183484516925440.000000".
// Non-finite values render as "nan", "-nan", "inf" and "-inf". The text does not
// depend on the locale or the platform. A float renders as its exact value.
DETECTOR_SETTINGS_EXPORT std::string renderReal(double value);

// The shortest text that reads back as the double: "0.5", "1", "1e+300".
DETECTOR_SETTINGS_EXPORT std::string shortestText(double value);

// The shortest text that reads back as `value` through the settings-file
// reader, as TOML writes reals (with a fraction or an exponent): "0.7", "1.0",
// "1e+25", "-nan", "inf". JSON writes finite reals the same way.
DETECTOR_SETTINGS_EXPORT std::string shortestReal(float value);

// A bound as rules state it for a setting of `type`, which JSON reads too:
// "100" for integers, "0.0" or "0.5" for reals.
DETECTOR_SETTINGS_EXPORT std::string boundText(double bound, ValueType type);

// A rule as text, its bounds written for a setting of `type`: "must be in [5, 100]",
// "must be in [0.0, 1.0]", "must not be empty".
DETECTOR_SETTINGS_EXPORT std::string ruleText(const Rule& rule, ValueType type);

// A setting's rules as one text: "must be in [512, 8192] and must be a power of 2".
DETECTOR_SETTINGS_EXPORT std::string rulesText(std::span<const Rule> rules, ValueType type);

// What a broken rule says: the rule's text, then for numeric rules kGot and
// `renderedValue`: "must be in [5, 100]; got 0".
DETECTOR_SETTINGS_EXPORT std::string ruleMessage(const Rule& rule, ValueType type, std::string_view renderedValue);

// Between what a message demands and the value it got.
inline constexpr std::string_view kGot = "; got ";

// The pieces one after another, in one allocation.
DETECTOR_SETTINGS_EXPORT std::string concatenate(std::initializer_list<std::string_view> pieces);

// Said of a setting whose change waits for the detector's next start.
inline constexpr std::string_view kAppliesAtRestart = "; applies at restart";

// What a setting means and demands, and when a change applies if not at once:
// "FFT length, in points; must be in [512, 8192] and must be a power of 2; applies at restart".
template <typename Row>
std::string description(const Row& row) {
    const std::string_view applies = row.applies == Applies::atRestart ? kAppliesAtRestart : std::string_view();
    return concatenate({row.meaning, "; ", rulesText(row.rules, Row::type), applies});
}

}  // namespace settings
