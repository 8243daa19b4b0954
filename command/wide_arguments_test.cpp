#include "wide_arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace command {
namespace {

TEST(Utf8FromUtf16, KeepsEveryCharacterAndReplacesLoneSurrogates) {
    const std::vector<std::pair<std::u16string, std::string>> cases = {
        {u"", ""},
        {u"check", "check"},
        {u"r\u00E9glages-\u8A2D\u5B9A.toml", "r\xC3\xA9glages-\xE8\xA8\xAD\xE5\xAE\x9A.toml"},
        {u"\U0001F3A4", "\xF0\x9F\x8E\xA4"},
        {std::u16string{u'a', char16_t{0xD800}, u'b'},
         "a\xEF\xBF\xBD"
         "b"},
        {std::u16string{char16_t{0xDC00}, char16_t{0xD800}}, "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {std::u16string{u'x', char16_t{0xDBFF}}, "x\xEF\xBF\xBD"},
        {std::u16string{char16_t{0xD800}, char16_t{0xE000}, char16_t{0xFFFF}}, "\xEF\xBF\xBD\xEE\x80\x80\xEF\xBF\xBF"},
    };
    for (const auto& [utf16, utf8] : cases) {
        EXPECT_EQ(utf8FromUtf16(utf16), utf8) << utf8;
    }
}

}  // namespace
}  // namespace command
