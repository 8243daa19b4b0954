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
#include "settings/table.h"
#include "settings/validation.h"

namespace settings {
namespace {

constexpr std::string_view kHeader =
    "# Settings of the audio-event detector (TOML).\n"
    "# A setting left out keeps its default.\n";

// Whether `text` reads back as `value` the way the reader reads it: as a
// double, then rounded to the nearest float.
bool readsBackAs(std::string_view text, float value) {
    double parsed = 0;
    std::from_chars(text.data(), text.data() + text.size(), parsed);
    return static_cast<float>(parsed) == value;
}

// The shortest text that reads back as the same float: "0.7", "1.0", "-nan", "1e-45".
std::string realText(float value) {
    if (std::isnan(value)) {
        return std::signbit(value) ? "-nan" : "nan";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-inf" : "inf";
    }
    std::array<char, 32> text{};
    const char* end = std::to_chars(text.data(), text.data() + text.size(), value).ptr;
    // The float's shortest text can round to a double that rounds to another
    // float (7.038531e-26 does); then take more digits of the float's exact value.
    for (int digits = 1; !readsBackAs(std::string_view(text.data(), end), value); ++digits) {
        end = std::to_chars(text.data(), text.data() + text.size(), static_cast<double>(value),
                            std::chars_format::general, digits)
                  .ptr;
    }
    std::string shortest(text.data(), static_cast<std::size_t>(end - text.data()));
    // TOML's floats need a fraction or an exponent.
    if (shortest.find_first_of(".e") == std::string::npos) {
        shortest += ".0";
    }
    return shortest;
}

// A TOML basic string of valid UTF-8, escaped where TOML requires it.
std::string basicString(std::string_view utf8) {
    std::string quoted = "\"";
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                quoted += "\\\"";
                break;
            case '\\':
                quoted += "\\\\";
                break;
            case '\b':
                quoted += "\\b";
                break;
            case '\t':
                quoted += "\\t";
                break;
            case '\n':
                quoted += "\\n";
                break;
            case '\f':
                quoted += "\\f";
                break;
            case '\r':
                quoted += "\\r";
                break;
            default:
                if (byte < 0x20U || byte == 0x7FU) {
                    constexpr std::string_view kHexDigits = "0123456789ABCDEF";
                    quoted += "\\u00";
                    quoted += kHexDigits[byte >> 4U];
                    quoted += kHexDigits[byte & 0xFU];
                } else {
                    quoted += c;
                }
        }
    }
    quoted += '"';
    return quoted;
}

// UTF-8 of a wide string: UTF-16 where wchar_t has 16 bits, UTF-32 elsewhere.
// Empty when the string is not valid Unicode.
std::optional<std::string> utf8FromWide(const std::wstring& wide) {
    std::string utf8;
    try {
        if constexpr (sizeof(wchar_t) == 2) {
            utf8::utf16to8(wide.begin(), wide.end(), std::back_inserter(utf8));
        } else {
            utf8::utf32to8(wide.begin(), wide.end(), std::back_inserter(utf8));
        }
    } catch (const utf8::exception&) {  // GCOVR_EXCL_BR_LINE: std::bad_alloc passes by
        return std::nullopt;
    }
    return utf8;
}

// The setting's value as TOML writes it; empty when it is not valid Unicode.
template <typename Value>
std::optional<std::string> tomlValue(const Value& value) {
    if constexpr (std::is_integral_v<Value>) {
        return renderInteger(value);
    } else if constexpr (std::is_floating_point_v<Value>) {
        return realText(value);
    } else if constexpr (std::is_same_v<Value, std::wstring>) {
        const std::optional<std::string> utf8 = utf8FromWide(value);
        if (!utf8) {
            return std::nullopt;
        }
        return basicString(*utf8);
    } else {
        if (!utf8::is_valid(value.begin(), value.end())) {
            return std::nullopt;
        }
        return basicString(value);
    }
}

// "# capture buffer length, in milliseconds; must be in [5, 100]"
template <typename Row>
std::string comment(const Row& row) {
    std::string text = "# ";
    text += row.meaning;
    const char* separator = "; ";
    for (const Rule& rule : row.rules) {
        text += separator;
        text += ruleText(rule, Row::type);
        separator = " and ";
    }
    return text;
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
                file.append(comment(row)).append("\n").append(row.name()).append(" = ").append(value.value_or(""));
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
