// Texts of the settings-file format: wide and narrow strings, and TOML's quoted strings.
#include "file/internal/file_format.h"

#include <utf8.h>  // utfcpp

#include <iterator>

namespace settings::file_internal::format {

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

std::wstring wideFromUtf8(std::string_view utf8) {
    std::wstring wide;
    if constexpr (sizeof(wchar_t) == 2) {
        utf8::unchecked::utf8to16(utf8.begin(), utf8.end(), std::back_inserter(wide));
    } else {
        utf8::unchecked::utf8to32(utf8.begin(), utf8.end(), std::back_inserter(wide));
    }
    return wide;
}

}  // namespace settings::file_internal::format

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
