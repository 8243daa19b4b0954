// Validation of a settings record against the rules of the settings table
// (settings/table.h). Rules run in a fixed order; a failure is a value, never
// an exception, and its message states the rule and, for numeric rules, the
// value: "must be in [5, 100]; got 0". Members without a key path are not
// examined.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/config.h"
#include "settings/export.h"
#include "settings/table.h"

namespace settings {

// A setting that breaks a rule.
struct ValidationError {
    std::string field;    // key path, such as "audio.bufferSizeMs"
    std::string message;  // the rule, then the offending value for numeric rules

    friend bool operator==(const ValidationError&, const ValidationError&) = default;
};

// The first broken rule; empty when every rule holds. Reads the record only
// and keeps no state, so repeated calls give equal outcomes. Allocates nothing
// for a valid record. Throws only std::bad_alloc.
DETECTOR_SETTINGS_EXPORT std::optional<ValidationError> validate(const Config& config);

// Every setting that breaks a rule, in rule order, one error per setting: the
// error validate would give were that setting the only one wrong. For
// detection.fftSize the range hides the power of two. validate(config) is the
// first element. Allocates nothing for a valid record. Throws only std::bad_alloc.
DETECTOR_SETTINGS_EXPORT std::vector<ValidationError> validateAll(const Config& config);

// True for 1, 2, 4, ... 2^30; false for zero and every negative value.
constexpr bool isPowerOfTwo(std::int32_t value) { return value > 0 && (value & (value - 1)) == 0; }

// Decimal digits, with "-" for negative values: "-2147483648", "0", "3000000000".
DETECTOR_SETTINGS_EXPORT std::string renderInteger(std::int64_t value);

// The value with six decimals, correctly rounded (ties to even) and never
// shortened: "0.700000", "-0.007812", "340282346638528859811704183484516925440.000000".
// Non-finite values render as "nan", "-nan", "inf" and "-inf". The text does not
// depend on the locale or the platform. A float renders as its exact value.
DETECTOR_SETTINGS_EXPORT std::string renderReal(double value);

// A rule as text, its bounds written for a setting of `type`: "must be in [5, 100]",
// "must be in [0.0, 1.0]", "must not be empty".
DETECTOR_SETTINGS_EXPORT std::string ruleText(const Rule& rule, ValueType type);

// The message for a value that breaks `rule`: the rule's text, then for numeric
// rules "; got " and `renderedValue`.
DETECTOR_SETTINGS_EXPORT std::string ruleMessage(const Rule& rule, ValueType type, std::string_view renderedValue);

}  // namespace settings
