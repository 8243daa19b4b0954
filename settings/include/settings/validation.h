// Validation of a settings record against the rules of the settings table
// (settings/table.h). Rules run in a fixed order; a failure is a value, never
// an exception, and its message states the rule and, for numeric rules, the
// value: "must be in [5, 100]; got 0". Members without a key path are not
// examined.
#pragma once

#include <optional>
#include <string>
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

}  // namespace settings
