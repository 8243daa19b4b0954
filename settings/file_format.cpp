// Texts of the settings-file format that the writer and the schema share.
#include "settings/file_format.h"

#include <utf8cpp/utf8.h>

#include <array>
#include <charconv>
#include <cmath>
#include <iterator>
#include <locale>
#include <sstream>

#include "settings/file.h"
#include "settings/validation.h"

namespace settings::format {
namespace {

// Whether `text` reads back as `value` the way the reader reads it: as a
// double, then rounded to the nearest float. (A stream in the classic locale
// parses as from_chars does, and libc++ 14 has no from_chars for doubles.)
bool readsBackAs(std::string_view text, float value) {
    std::istringstream in{std::string(text)};
    in.imbue(std::locale::classic());
    double parsed = 0;
    in >> parsed;
    return static_cast<float>(parsed) == value;
}

}  // namespace

std::string shortestReal(float value) {
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

std::string rulesText(std::span<const Rule> rules, ValueType type) {
    std::string text;
    for (const Rule& rule : rules) {
        text.append(text.empty() ? "" : " and ").append(ruleText(rule, type));
    }
    return text;
}

}  // namespace settings::format

namespace settings {

std::string quotedString(std::string_view utf8) {
    constexpr std::string_view kHexDigits = "0123456789ABCDEF";
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
                    quoted.append("\\u00").append(1, kHexDigits[byte >> 4U]).append(1, kHexDigits[byte & 0xFU]);
                } else {
                    quoted += c;
                }
        }
    }
    quoted += '"';
    return quoted;
}

}  // namespace settings
