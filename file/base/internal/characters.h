// Classes of the characters of settings texts, which the reader, its guard
// and the line index share. Internal to the settings-file library.
#pragma once

#include <utf8.h>  // utfcpp

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string_view>

namespace settings::file_internal {

// UTF-8's byte-order mark, which a text may start with and which is not part of its first line.
inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The characters of a bare key: A-Z, a-z, 0-9, "_" and "-".
constexpr bool isBareKeyCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

// Printable ASCII and tabs: what a comment may hold unchecked, and a terminal shows as it is.
constexpr bool isPlainAscii(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte >= 0x20U && byte < 0x7FU) || c == '\t';
}

constexpr char foldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Equal but for the case of ASCII letters.
constexpr bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return foldCase(x) == foldCase(y); });
}

// `text` without the blanks (spaces and tabs) around it.
constexpr std::string_view trimmed(std::string_view text) {
    constexpr std::string_view kBlanks = " \t";
    const std::size_t first = std::min(text.find_first_not_of(kBlanks), text.size());
    const std::size_t end = text.find_last_not_of(kBlanks) + 1;  // npos + 1 is 0: all blanks
    return {text.data() + first, std::max(end, first) - first};
}

// A byte that does not continue a UTF-8 sequence starts a character, valid or not.
constexpr bool startsCharacter(char c) { return (static_cast<unsigned char>(c) & 0xC0U) != 0x80U; }

struct Character {
    char32_t codePoint;
    std::size_t size;  // in bytes
};

// The character `text` starts with; empty when it does not start with valid UTF-8.
inline std::optional<Character> firstCharacter(std::string_view text) {
    const char* const first = text.data();
    // A sequence has at most four bytes: looking no further keeps this constant.
    if (utf8::find_invalid(first, first + std::min<std::size_t>(4, text.size())) == first) {
        return std::nullopt;
    }
    const char* next = first;
    const auto codePoint = static_cast<char32_t>(utf8::unchecked::next(next));
    return Character{codePoint, static_cast<std::size_t>(next - first)};
}

}  // namespace settings::file_internal
