// A setting's value as the settings-file format writes it, and the wide
// strings it takes.
// Internal to the settings-file library.
#pragma once

#include <utf8.h>  // utfcpp

#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "settings/escaping.h"
#include "settings/message_text.h"

namespace settings::file_internal::format {

// UTF-8 of a wide string: UTF-16 where wchar_t has 16 bits, UTF-32 elsewhere.
// Empty when the string is not valid Unicode.
std::optional<std::string> utf8FromWide(const std::wstring& wide);

// The wide string of `utf8`, which must be valid UTF-8.
std::wstring wideFromUtf8(std::string_view utf8);

// A setting's value as TOML writes it, which for finite numbers and strings is
// also JSON: 10, 0.7, "Beyond". Empty when a string is not valid Unicode.
template <typename Value>
std::optional<std::string> valueText(const Value& value) {
    if constexpr (std::is_integral_v<Value>) {
        return renderInteger(value);
    } else if constexpr (std::is_floating_point_v<Value>) {
        return shortestReal(value);
    } else if constexpr (std::is_same_v<Value, std::wstring>) {
        const std::optional<std::string> utf8 = utf8FromWide(value);
        return utf8 ? std::optional(quotedString(*utf8)) : std::nullopt;
    } else {
        return utf8::is_valid(value.begin(), value.end()) ? std::optional(quotedString(value)) : std::nullopt;
    }
}

}  // namespace settings::file_internal::format
