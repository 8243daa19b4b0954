// Validation of a settings record. Rules run in a fixed order and the first
// failure decides; a failure is a value, never an exception:
//
//   field                      fails when                      message
//   version                    not 1                           "must equal 1; got <n>"
//   audio.deviceNamePattern    empty                           "must not be empty"
//   audio.bufferSizeMs         outside [5, 100]                "must be in [5, 100]; got <n>"
//   detection.sensitivity      NaN, infinite or outside [0, 1] "must be in [0.0, 1.0]; got <x>"
//   detection.minDurationMs    outside [100, 2000]             "must be in [100, 2000]; got <n>"
//   detection.cooldownMs       outside [100, 2000]             "must be in [100, 2000]; got <n>"
//   detection.fftSize          outside [512, 8192]             "must be in [512, 8192]; got <n>"
//   detection.fftSize          not a power of two              "must be a power of 2; got <n>"
//   training.dataFile          empty                           "must not be empty"
//
// Bounds are inclusive. <n> is rendered by renderInteger, <x> by renderReal.
// Members without a field name are not examined.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "settings/config.h"

namespace settings {

// The first setting that breaks a rule.
struct ValidationError {
    std::string field;    // key path, such as "audio.bufferSizeMs"
    std::string message;  // the rule, then the offending value for numeric rules

    friend bool operator==(const ValidationError&, const ValidationError&) = default;
};

// Empty when every rule holds. Reads the record only and keeps no state, so
// repeated calls give equal outcomes. Throws only std::bad_alloc.
std::optional<ValidationError> validate(const Config& config);

// True for 1, 2, 4, ... 2^30; false for zero and every negative value.
constexpr bool isPowerOfTwo(std::int32_t value) { return value > 0 && (value & (value - 1)) == 0; }

// Decimal digits, with "-" for negative values: "-2147483648", "0", "42".
std::string renderInteger(std::int32_t value);

// The value with six decimals, correctly rounded (ties to even) and never
// shortened: "0.700000", "-0.007812", "340282346638528859811704183484516925440.000000".
// Non-finite values render as "nan", "-nan", "inf" and "-inf". The text does not
// depend on the locale or the platform.
std::string renderReal(float value);

}  // namespace settings
