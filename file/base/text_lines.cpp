#include "settings/text_lines.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "file/base/internal/characters.h"

namespace settings {

using namespace file_internal;

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

}  // namespace settings
