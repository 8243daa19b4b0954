// Texts of the settings-file format: wide and narrow strings, and TOML's quoted strings.
#include "file/base/internal/value_text.h"

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
