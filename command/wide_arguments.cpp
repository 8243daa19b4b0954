#include "wide_arguments.h"

#include <utf8.h>  // utfcpp

#include <iterator>

namespace command {

std::string utf8FromUtf16(std::u16string_view utf16) {
    constexpr char32_t kReplacement = 0xFFFD;
    const auto isHigh = [](char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; };
    const auto isLow = [](char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; };
    std::string utf8;
    for (std::size_t index = 0; index < utf16.size(); ++index) {
        const char16_t unit = utf16[index];
        char32_t codePoint = unit;
        if (isHigh(unit) && index + 1 < utf16.size() && isLow(utf16[index + 1])) {
            codePoint = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10U) + (utf16[index + 1] - 0xDC00U);
            ++index;
        } else if (isHigh(unit) || isLow(unit)) {
            codePoint = kReplacement;
        }
        utf8::unchecked::append(codePoint, std::back_inserter(utf8));
    }
    return utf8;
}

}  // namespace command
