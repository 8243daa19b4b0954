// Escapes: a string quoted for TOML and JSON, and any text made safe for a
// terminal. Both write what they escape as a backslash and hex digits.
#include "settings/escaping.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "file/base/internal/characters.h"

namespace settings {

using namespace file_internal;
namespace {

// Unicode's format characters (General_Category Cf, Unicode 15.1): invisible,
// and the bidirectional ones among them reorder what a terminal shows.
constexpr std::array<std::pair<char32_t, char32_t>, 21> kFormatCharacters = {{
    {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},   {0x070F, 0x070F},
    {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x180E, 0x180E},   {0x200B, 0x200F},   {0x202A, 0x202E},
    {0x2060, 0x2064},   {0x2066, 0x206F},   {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD},
    {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
    {0xE0020, 0xE007F},
}};

// Characters beyond ASCII that could forge a line, drive a terminal, hide or
// reorder what it shows: C1 controls, the line and paragraph separators, and
// the format characters.
constexpr bool isUnsafeOnTerminals(char32_t c) {
    return c <= 0x9FU || c == 0x2028U || c == 0x2029U ||
           std::any_of(kFormatCharacters.begin(), kFormatCharacters.end(),
                       [c](const auto& range) { return range.first <= c && c <= range.second; });
}

// "\\u001B" for a code point, "\\xFF" for a byte.
void appendEscape(std::string& out, char kind, std::uint32_t value, int digits) {
    constexpr std::string_view kHexDigits = "0123456789ABCDEF";
    out.append(1, '\\').append(1, kind);
    for (int digit = digits - 1; digit >= 0; --digit) {
        out += kHexDigits[(value >> (4U * static_cast<unsigned>(digit))) & 0xFU];
    }
}

}  // namespace

std::string quotedString(std::string_view utf8) {
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
                    appendEscape(quoted, 'u', byte, 4);
                } else {
                    quoted += c;
                }
        }
    }
    quoted += '"';
    return quoted;
}

std::string terminalSafe(std::string_view text) {
    std::string safe;
    safe.reserve(text.size());
    while (!text.empty()) {
        // Printable ASCII and tabs, the most of any text, go as they are.
        const auto plain =
            static_cast<std::size_t>(std::find_if_not(text.begin(), text.end(), isPlainAscii) - text.begin());
        safe.append(text.substr(0, plain));
        text.remove_prefix(plain);
        if (text.empty()) {
            break;
        }
        const auto first = static_cast<unsigned char>(text.front());
        if (first < 0x80U) {  // a control character or DEL
            appendEscape(safe, 'u', first, 4);
            text.remove_prefix(1);
            continue;
        }
        const std::optional<Character> character = firstCharacter(text);
        if (!character) {
            appendEscape(safe, 'x', static_cast<unsigned char>(text.front()), 2);
            text.remove_prefix(1);
            continue;
        }
        if (isUnsafeOnTerminals(character->codePoint)) {
            const bool basic = character->codePoint <= 0xFFFFU;  // beyond it, as TOML escapes: \U0001D173
            appendEscape(safe, basic ? 'u' : 'U', character->codePoint, basic ? 4 : 8);
        } else {
            safe.append(text.substr(0, character->size));
        }
        text.remove_prefix(character->size);
    }
    return safe;
}

}  // namespace settings
