// Settings files: reading and writing the detector's settings as TOML 1.0.
//
//   version = 1
//
//   [audio]
//   deviceNamePattern = "Beyond"
//   bufferSizeMs = 10
//
// Key paths are TOML keys: `[audio]` with `bufferSizeMs = 10`, the dotted
// `audio.bufferSizeMs = 10` and the inline `audio = { bufferSizeMs = 10 }` are
// the same file. A setting the file leaves out keeps its default, so an empty
// file is the default record. Members without a key path are not in the format.
//
// Reading reports every problem at once, each with its position: syntax
// errors, unknown keys (with a suggestion when a known key is close), values of
// the wrong type, and settings that break their rule, judged on the value as
// written. Nothing throws but std::bad_alloc.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/config.h"

namespace settings {

// One problem of a settings file.
struct FileProblem {
    std::string key;      // key path as written ("audio.bufferSize"); empty for syntax and file problems
    std::string rule;     // "equals", "nonEmpty", "range", "powerOfTwo", "unknown", "type", "syntax", "file"
    std::string message;  // "must be in [5, 100]; got 0", "unknown setting; did you mean audio.bufferSizeMs?"
    int line = 0;         // 1-based position of the offending value, of the key when the key
    int column = 0;       // is unknown, of the error for a syntax error; 0 for file problems

    friend bool operator==(const FileProblem&, const FileProblem&) = default;
};

// What a settings file says.
struct FileReading {
    Config config;                      // what the file says, defaults elsewhere
    std::vector<FileProblem> problems;  // every problem, by line then column; empty when valid
};

// Reads settings from TOML text. Columns count characters, not bytes. A
// byte-order mark and CRLF line ends read as usual.
FileReading readSettings(std::string_view tomlText);

// Reads a settings file of at most kMaxSettingsFileBytes. A file that is
// missing, a directory, unreadable or too large gives one problem of rule
// "file" and the default record.
FileReading readSettingsFile(const std::filesystem::path& path);

inline constexpr std::uintmax_t kMaxSettingsFileBytes = 1'048'576;  // 1 MiB

// A complete settings file for `config`: a header comment, `version`, then the
// tables, every named setting with a comment of its meaning and rule. Reading
// it back gives every named setting exactly, rule-breaking values included.
// Empty when a string is not valid Unicode (a lone surrogate, a code point
// beyond U+10FFFF, a narrow string that is not UTF-8): such a file would be corrupt.
std::optional<std::string> writeSettings(const Config& config);

}  // namespace settings
