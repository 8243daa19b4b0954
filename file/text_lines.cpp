#include "settings/text_lines.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "file/internal/characters.h"

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

TextLines::TextLines(std::string_view text) : text_(text) {
    if (text_.starts_with(kByteOrderMark)) {
        text_.remove_prefix(kByteOrderMark.size());
        skipped_ = kByteOrderMark.size();
    }
    lines_.push_back({0, 0});
    std::size_t characters = 0;
    for (std::size_t offset = 0; offset < text_.size(); ++offset) {
        const char c = text_[offset];
        if (startsCharacter(c)) {
            if (characters % kCheckpointInterval == 0) {
                checkpoints_.push_back(offset);
            }
            ++characters;
        }
        if (c == '\n') {
            lines_.push_back({offset + 1, characters});
        }
    }
    // The position just after the last character can be looked up too.
    if (characters % kCheckpointInterval == 0) {
        checkpoints_.push_back(text_.size());
    }
    lines_.push_back({text_.size() + 1, characters + 1});
}

int TextLines::count() const { return static_cast<int>(lines_.size() - 1); }

std::string_view TextLines::line(int number) const {
    if (number < 1 || number > count()) {
        return {};
    }
    const std::size_t start = lines_[static_cast<std::size_t>(number) - 1].byte;
    const std::size_t next = lines_[static_cast<std::size_t>(number)].byte;
    std::string_view line = text_.substr(start, next - 1 - start);
    if (next <= text_.size() && line.ends_with('\r')) {
        line.remove_suffix(1);
    }
    return line;
}

int TextLines::length(int number) const {
    if (number < 1 || number > count()) {
        return 0;
    }
    const LineStart& start = lines_[static_cast<std::size_t>(number) - 1];
    const LineStart& next = lines_[static_cast<std::size_t>(number)];
    // The line end's characters: "\n" (or the end of the text), and a "\r" before it.
    const std::size_t lineEnd = 1 + (next.byte - 1 - start.byte - line(number).size());
    return static_cast<int>(next.character - start.character - lineEnd);
}

std::size_t TextLines::byteOffset(int number, int column) const {
    const std::string_view shown = line(number);
    if (column <= 1 || shown.empty()) {
        return 0;
    }
    if (column > length(number)) {
        return shown.size();
    }
    const LineStart& start = lines_[static_cast<std::size_t>(number) - 1];
    if (shown.size() == static_cast<std::size_t>(length(number))) {
        return static_cast<std::size_t>(column) - 1;  // a byte a character
    }
    const std::size_t character = start.character + static_cast<std::size_t>(column) - 1;
    std::size_t byte = checkpoints_[character / kCheckpointInterval];
    for (std::size_t step = character % kCheckpointInterval; step > 0; --step) {
        byte = static_cast<std::size_t>(
            std::find_if(text_.begin() + static_cast<std::ptrdiff_t>(byte) + 1, text_.end(), startsCharacter) -
            text_.begin());
    }
    return byte - start.byte;
}

std::pair<int, int> TextLines::position(std::size_t offset) const {
    const std::size_t inText = std::min(offset - std::min(offset, skipped_), text_.size());
    const auto next = std::upper_bound(lines_.begin(), lines_.end(), inText,
                                       [](std::size_t byte, const LineStart& line) { return byte < line.byte; });
    const std::size_t lineStart = std::prev(next)->byte;
    const std::string_view upToOffset = text_.substr(lineStart, inText - lineStart + 1);
    const auto column = static_cast<int>(std::count_if(upToOffset.begin(), upToOffset.end(), startsCharacter));
    return {static_cast<int>(next - lines_.begin()), std::max(column, 1)};
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
