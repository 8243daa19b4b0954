// Settings from every source the detector is given: the defaults, then
// settings files (a layered set, then one file), then the environment, then overrides from the command line.
// Each later source overrides the earlier ones, setting by setting.
//
//   settings::SettingsSources sources;
//   sources.file = settings::SettingsFileText{"settings.toml", settings::readSettingsText("settings.toml")};
//   sources.environment = settings::processEnvironment();
//   sources.overrides = {"detection.sensitivity=0.8"};
//   const settings::LoadedSettings loaded = settings::loadSettings(sources);
//
// The environment has one variable per named setting (environmentName in
// settings/table.h): DETECTOR_DETECTION_SENSITIVITY=0.8. Values in the
// environment and in overrides are written as on the right of "=" in a file
// (0.8, 2048, "USB Mic") and mean what they would mean there, with the same
// problems; a text setting also takes a value that is not a TOML string, and
// does not open one with a quote, as the text itself
// (DETECTOR_AUDIO_DEVICE_NAME_PATTERN=USB Mic).
#pragma once

#include <algorithm>
#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/config.h"
#include "settings/file.h"
#include "settings/file_export.h"
#include "settings/table.h"

namespace settings {

// Where a value or a problem comes from, in order of precedence.
enum class SourceKind { defaults, file, environment, commandLine };

// The kind as tools name it: "default", "file", "environment", "command line".
constexpr std::string_view sourceKindName(SourceKind kind) {
    constexpr std::array<std::string_view, 4> kNames = {"default", "file", "environment", "command line"};
    return kNames[static_cast<std::size_t>(kind)];
}

// One source: its kind and its name, which is the file's name as given, the
// variable's name ("DETECTOR_AUDIO_BUFFER_SIZE_MS"), or the override as given
// ("audio.bufferSizeMs=20"); empty for the defaults.
struct Source {
    SourceKind kind = SourceKind::defaults;
    std::string name;

    friend bool operator==(const Source&, const Source&) = default;
};

// A problem and the source it comes from. Outside a file, its line and column are 0.
struct SourcedProblem {
    Source source;
    FileProblem problem;

    friend bool operator==(const SourcedProblem&, const SourcedProblem&) = default;
};

// A value that a source gave a setting and that the record took from it.
struct SettingValue {
    Source source;
    int line = 0;  // of the value in a file; 0 elsewhere
    int column = 0;
    std::string value;  // as TOML writes it: 20, 0.8, "USB Mic"

    friend bool operator==(const SettingValue&, const SettingValue&) = default;
};

// A settings file as the sources take it: its name, for origins, and its text
// or the problem that kept it from being read (readSettingsText).
struct SettingsFileText {
    std::string name;
    SettingsText content;
};

// Whether the system tells apart variables whose names differ in case alone:
// POSIX systems do; Windows does not.
inline constexpr bool kCaseSensitiveVariables = std::filesystem::path::preferred_separator == '/';

struct SettingsSources {
    // A layered set of settings files, lowest precedence first, each judged
    // on its own (settings/layers.h makes them from files and drop-in folders).
    std::vector<SettingsFileText> layers;
    std::optional<SettingsFileText> file;  // none: no settings file; else judged on top of the layers
    // "NAME=VALUE", as the process environment holds them. Variables that do
    // not start with kEnvironmentPrefix, in any case, are left alone; one that
    // does but names no setting is a warning (it may be another program's).
    std::vector<std::string> environment;
    std::vector<std::string> overrides;  // "KEY=VALUE", as given to --set, KEY a key path
    // Without case-sensitive names, DETECTOR_detection_sensitivity is the
    // setting's variable; with them, it is a warning that says so.
    bool caseSensitiveVariables = kCaseSensitiveVariables;
};

struct LoadedSettings {
    Config config;  // each setting from the last source whose value its member holds; else the default
    // Every problem of every source, even one a later source overrides: each
    // file's by position, the files in order, then the environment's by variable, then the
    // overrides' in their order. The settings are valid when none is an
    // error (anyError).
    std::vector<SourcedProblem> problems;
    // By row of the table (rowOf): each source whose value the setting took,
    // in order of precedence, so the last is in `config`; empty for a default.
    std::array<std::vector<SettingValue>, kSettingCount> values;
};

DETECTOR_SETTINGS_FILE_EXPORT LoadedSettings loadSettings(const SettingsSources& sources);

// Whether any of `problems` is an error: warnings alone leave settings valid.
inline bool anyError(const std::vector<SourcedProblem>& problems) {
    return std::any_of(problems.begin(), problems.end(),
                       [](const SourcedProblem& p) { return p.problem.severity == Severity::error; });
}

// What a key path that names no setting is told, as a file's unknown key is:
// "unknown setting; did you mean detection.sensitivity?".
DETECTOR_SETTINGS_FILE_EXPORT std::string unknownKeyMessage(std::string_view keyPath);

// The value of the setting at `keyPath` in `config` as TOML writes it: 20, 0.8,
// "USB Mic". Empty for a key path of no setting, or text that is not Unicode.
DETECTOR_SETTINGS_FILE_EXPORT std::optional<std::string> settingValueText(const Config& config,
                                                                          std::string_view keyPath);

// The environment of this process, each variable as "NAME=VALUE" in UTF-8
// (on Windows, converted from its wide environment).
DETECTOR_SETTINGS_FILE_EXPORT std::vector<std::string> processEnvironment();

}  // namespace settings
