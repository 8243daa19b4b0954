// Texts of the settings-file format that the writer and the schema share.
// Internal to the settings-file library.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "settings/table.h"

namespace settings::format {

// The shortest text that reads back as `value` through readSettings: "0.7",
// "1.0", "1e+25", "-nan", "inf". TOML writes reals this way, and JSON too where
// the value is finite.
std::string shortestReal(float value);

// UTF-8 of a wide string: UTF-16 where wchar_t has 16 bits, UTF-32 elsewhere.
// Empty when the string is not valid Unicode.
std::optional<std::string> utf8FromWide(const std::wstring& wide);

// A setting's rules as one text: "must be in [512, 8192] and must be a power of 2".
std::string rulesText(std::span<const Rule> rules, ValueType type);

// What a setting means and demands: "FFT length, in points; must be in [512, 8192] and must be a power of 2".
template <typename Row>
std::string description(const Row& row) {
    return std::string(row.meaning).append("; ").append(rulesText(row.rules, Row::type));
}

}  // namespace settings::format
