// What the settings sources need of the reader beyond settings/file.h: which
// settings a text gave the record, single values read as a file's, and the
// suggestions for unknown names. Internal to the settings-file library.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "settings/read.h"
#include "settings/table.h"

namespace settings::file_internal {

struct ValuePosition {
    int line = 0;
    int column = 0;
};

// A reading, and by row of the table where the text gave the value the record
// took from it; empty where it gave none, or one its member cannot hold.
struct TrackedReading {
    FileReading reading;
    std::array<std::optional<ValuePosition>, kSettingCount> taken;
};

TrackedReading readSettingsTracked(std::string_view tomlText);

// "the limit of 1048576 bytes (1 MiB)": what a settings file may not exceed.
std::string sizeLimitText();

// The setting of `row` given `value` as a file gives it after "=", read and
// judged as the file's: "0.8", "2048", "\"USB Mic\"". For a text setting, a
// value that is not a TOML string is the text itself. Positions are 0.
TrackedReading readSettingValue(std::size_t row, std::string_view value);

// The key path closest to an unknown key, or with `sections` also the
// section (a table of a file may be a misspelt section), if one is close.
std::optional<std::string_view> closestKey(std::string_view unknown, bool sections);

// "unknown setting", then "; did you mean " and the suggestion, if any, and "?".
std::string unknownSettingMessage(std::optional<std::string_view> suggestion);

// The index of the name closest to `unknown`, ignoring case, if one is close.
std::optional<std::size_t> closestName(std::string_view unknown, std::span<const std::string> names);

}  // namespace settings::file_internal
