// Reading settings files: the detector's settings as TOML 1.0.
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
// TOML reads it (integers exactly, reals as the nearest double). Keys are
// matched as TOML defines them: the quoted "audio.bufferSizeMs" is one key, of
// the top level, and unknown. Any text, however large or hostile, gives an
// answer in time and memory in proportion to its size; nothing throws but
// std::bad_alloc.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/config.h"
#include "settings/file_export.h"
#include "settings/opening.h"
#include "settings/table.h"

namespace settings {

// What is wrong: a setting that breaks a rule (the first four, as RuleKind
// names them), a key the format does not have, a value of the wrong type,
// text that is not TOML, or a file that cannot be read.
enum class ProblemKind { equals, nonEmpty, range, powerOfTwo, unknown, type, syntax, file };

// The identifier that tools report: "range", "unknown", "file"; a broken
// rule's kind is named as the rule is.
constexpr std::string_view problemKindName(ProblemKind kind) {
    constexpr std::array<std::string_view, 4> kOwnNames = {"unknown", "type", "syntax", "file"};
    const auto index = static_cast<std::size_t>(kind);
    return kind < ProblemKind::unknown ? ruleName(static_cast<RuleKind>(index)) : kOwnNames[index - kRuleKinds.size()];
}

// How much a problem weighs: an error makes the settings invalid; a warning
// (a DETECTOR_ variable that names no setting, which may be some other
// program's) is told but leaves them valid.
enum class Severity { error, warning };

// "error", "warning": as tools and people read it.
constexpr std::string_view severityName(Severity severity) {
    constexpr std::array<std::string_view, 2> kNames = {"error", "warning"};
    return kNames[static_cast<std::size_t>(severity)];
}

// One problem of a settings file.
struct FileProblem {
    std::string key;  // key path as TOML writes it, each part bare or quoted ("audio.bufferSize",
                      // "\"audio.bufferSizeMs\"", "audio.\"\u00E9\""); empty for syntax and file problems
    ProblemKind kind = ProblemKind::syntax;
    std::string message;  // "must be in [5, 100]; got 0", "unknown setting; did you mean audio.bufferSizeMs?"
    int line = 0;         // 1-based position of the offending value, of the key when the key
    int column = 0;       // is unknown, of the error for a syntax error; 0 for file problems
    Severity severity = Severity::error;

    friend bool operator==(const FileProblem&, const FileProblem&) = default;
};

// What a settings file says.
struct FileReading {
    Config config;                      // what the file says, defaults elsewhere
    std::vector<FileProblem> problems;  // every problem, by line then column; empty when valid
};

// Reads settings from TOML text. Columns count characters, not bytes, as
// settings::TextLines does (settings/text_lines.h). A byte-order mark and CRLF
// line ends read as usual. A text that nests more than kMaxNestingLevels is
// refused before toml++ recurses on it: one `syntax` problem, at the key or
// bracket that goes deeper, or at an earlier syntax error.
DETECTOR_SETTINGS_FILE_EXPORT FileReading readSettings(std::string_view tomlText);

// Each part of a dotted key or table header, each array and each inline table
// is a level: settings files need two. The limit keeps the parser's recursion
// within a 1 MiB stack, the default of Windows programs, in any build.
inline constexpr std::size_t kMaxNestingLevels = 128;

// Reads a settings file of at most kMaxSettingsFileBytes. A file that is
// missing, a directory, unreadable or too large gives one problem of kind
// ProblemKind::file and the default record.
DETECTOR_SETTINGS_FILE_EXPORT FileReading readSettingsFile(const std::filesystem::path& path);
DETECTOR_SETTINGS_FILE_EXPORT FileReading readSettingsFile(const std::filesystem::path& path, Opening opening);

// The text of a settings file, or the `file` problem that keeps it from being
// read. readSettingsFile(path) is readSettings of this text, so callers that
// show source lines (a command) take the text once and read it.
struct SettingsText {
    std::string text;
    std::optional<FileProblem> problem;
};
DETECTOR_SETTINGS_FILE_EXPORT SettingsText readSettingsText(const std::filesystem::path& path);
DETECTOR_SETTINGS_FILE_EXPORT SettingsText readSettingsText(const std::filesystem::path& path, Opening opening);
DETECTOR_SETTINGS_FILE_EXPORT SettingsText readSettingsText(std::FILE* stream);  // an open stream, such as stdin

// readSettingsText's old name, kept for one release.
inline SettingsText loadSettingsText(const std::filesystem::path& path) { return readSettingsText(path); }
inline SettingsText loadSettingsText(const std::filesystem::path& path, Opening opening) {
    return readSettingsText(path, opening);
}
inline SettingsText loadSettingsText(std::FILE* stream) { return readSettingsText(stream); }

}  // namespace settings
