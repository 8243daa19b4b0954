// Escapes, for text that goes where a raw character could do harm: a string
// quoted for a TOML or JSON file, and any text made safe for a terminal or a
// log.
#pragma once

#include <string>
#include <string_view>

#include "settings/file_export.h"

namespace settings {

// `utf8`, which must be valid UTF-8, as a TOML basic string, which is also a
// JSON string: between double quotes, with quotes, backslashes and control
// characters escaped: "a\"b\\c\n\u0001".
DETECTOR_SETTINGS_FILE_EXPORT std::string quotedString(std::string_view utf8);

// `text` fit for a terminal or a log, where a control character could forge a
// line or drive the terminal, and an invisible one hide or reorder text: C0
// controls but tab, DEL, C1 controls, the line and paragraph separators
// (U+2028, U+2029) and Unicode's format characters (General_Category Cf: the
// bidirectional marks and overrides, zero-width characters, the tags) become
// \u and four hex digits ("\u000A", "\u200E"), or beyond U+FFFF \U and eight
// ("\U000E0001"), and each byte that is not UTF-8 becomes \x and two ("\xFF").
// Everything else, backslashes included, is left as it is, so that Windows
// paths read as paths.
DETECTOR_SETTINGS_FILE_EXPORT std::string terminalSafe(std::string_view text);

}  // namespace settings
