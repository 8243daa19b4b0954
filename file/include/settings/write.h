// Writing settings files: a complete file for a record, and the JSON Schema
// of the format.
#pragma once

#include <optional>
#include <string>

#include "settings/config.h"
#include "settings/file_export.h"

namespace settings {

// A complete settings file for `config`: a header comment, `version`, then the
// tables, every named setting with a comment of its meaning and rule. Reading
// it back gives every named setting exactly, rule-breaking values included.
// Empty when a string is not valid Unicode (a lone surrogate, a code point
// beyond U+10FFFF, a narrow string that is not UTF-8): such a file would be corrupt.
DETECTOR_SETTINGS_FILE_EXPORT std::optional<std::string> writeSettings(const Config& config);

// A JSON Schema (draft 2020-12) of the format, for editors that check TOML
// against one: types, defaults, bounds, descriptions, the allowed FFT sizes,
// and no keys beyond the format's. Editors then flag what readSettings reports,
// but for values JSON cannot hold (nan, inf).
DETECTOR_SETTINGS_FILE_EXPORT std::string writeSettingsSchema();

}  // namespace settings
