// Writing settings files: every named setting, in the order of the table of
// settings, with its meaning and rule as a comment. Top-level settings come
// first, as TOML requires, then one table per section.
#include <utf8cpp/utf8.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <iterator>
#include <vector>

#include "settings/file.h"
#include "settings/file_format.h"
#include "settings/table.h"
#include "settings/validation.h"

namespace settings {
namespace {

constexpr std::string_view kHeader =
    "# Settings of the audio-event detector (TOML).\n"
    "# A setting left out keeps its default.\n";

// The setting's value as TOML writes it; empty when it is not valid Unicode.
template <typename Value>
std::optional<std::string> tomlValue(const Value& value) {
    if constexpr (std::is_integral_v<Value>) {
        return renderInteger(value);
    } else if constexpr (std::is_floating_point_v<Value>) {
        return format::shortestReal(value);
    } else if constexpr (std::is_same_v<Value, std::wstring>) {
        const std::optional<std::string> utf8 = format::utf8FromWide(value);
        if (!utf8) {
            return std::nullopt;
        }
        return quotedString(*utf8);
    } else {
        if (!utf8::is_valid(value.begin(), value.end())) {
            return std::nullopt;
        }
        return quotedString(value);
    }
}

}  // namespace

std::optional<std::string> writeSettings(const Config& config) {
    std::string file(kHeader);
    file += '\n';
    bool unrepresentable = false;
    // Every setting of `section`, each followed by a blank line.
    const auto writeSection = [&](std::string_view section) {
        forEachSetting([&](const auto& row) {
            if (row.section() == section) {
                const std::optional<std::string> value = tomlValue(row.member(config));
                unrepresentable |= !value.has_value();
                file.append("# ")
                    .append(format::description(row))
                    .append("\n")
                    .append(row.name())
                    .append(" = ")
                    .append(value.value_or(""));
                file += "\n\n";
            }
        });
    };
    // Top-level settings first: after a table header, every key belongs to that table.
    writeSection({});
    for (const std::string_view section : kSections) {
        file.append("[").append(section).append("]\n");
        writeSection(section);
    }
    file.pop_back();  // no blank line after the last setting
    if (unrepresentable) {
        return std::nullopt;
    }
    return file;
}

}  // namespace settings
