// The guard's pass over a text. It follows TOML where TOML is valid, which is
// as far as toml++ goes, and counts levels as toml++ will nest them. Where a
// text stops being TOML, toml++ stops too, so the guard need not be right
// beyond that point, only never count fewer levels than toml++ would build.
#include "settings/toml_guard.h"

#include <algorithm>
#include <vector>

#include "settings/file.h"
#include "settings/validation.h"

namespace settings {
namespace {

constexpr bool isBareKeyCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}
constexpr bool isQuote(char c) { return c == '"' || c == '\''; }
constexpr bool startsKey(char c) { return isBareKeyCharacter(c) || isQuote(c); }
constexpr bool isBlank(char c) { return c == ' ' || c == '\t'; }

class Scanner {
public:
    explicit Scanner(std::string_view text) : text_(text) {}

    std::optional<TomlRefusal> scan() {
        constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
        if (text_.starts_with(kByteOrderMark)) {
            position_ = kByteOrderMark.size();
        }
        while (!refusal_ && position_ < text_.size()) {
            statement();
        }
        return std::move(refusal_);
    }

private:
    struct Container {
        std::size_t level;  // of the array or table itself
        bool inlineTable;
    };

    [[nodiscard]] bool atEnd() const { return position_ >= text_.size(); }
    [[nodiscard]] char current() const { return text_[position_]; }

    void skipBlanks() {
        while (!atEnd() && isBlank(current())) {
            ++position_;
        }
    }

    void skipToLineEnd() { position_ = std::min(text_.find('\n', position_), text_.size()); }

    // Refuses the text at `offset` when `level` is beyond the limit.
    bool tooDeep(std::size_t level, std::size_t offset) {
        if (level > kMaxNestingLevels && !refusal_) {
            refusal_ = TomlRefusal{offset, statementStart_,
                                   "nests more than " + renderInteger(kMaxNestingLevels) +
                                       " levels deep (each part of a dotted key, each array and each inline "
                                       "table is a level)"};
        }
        return refusal_.has_value();
    }

    // One top-level line: a table header, a key-value pair (whose value may
    // span lines), a comment or nothing. What follows on the line is blanks
    // and a comment in a valid text, and otherwise ends toml++'s parse.
    void statement() {
        skipBlanks();
        if (atEnd()) {
            return;
        }
        statementStart_ = position_;
        if (current() == '[') {
            header();
        } else if (startsKey(current())) {
            keyValue();
        }
        skipToLineEnd();
        ++position_;
    }

    void header() {
        ++position_;
        const std::size_t before = position_;
        skipBlanks();
        std::size_t level = 0;
        if (!atEnd() && current() == '[' && position_ == before) {  // an array of tables: one level more
            ++position_;
            ++level;
            skipBlanks();
        }
        if (atEnd() || !startsKey(current())) {
            return;  // toml++ reports these itself
        }
        const std::size_t keyStart = position_;
        headerLevel_ = level + keyParts();
        tooDeep(headerLevel_, keyStart);
    }

    // A key's dotted parts, from its first character on; stops after the blanks that follow it.
    std::size_t keyParts() {
        std::size_t parts = 0;
        while (!atEnd()) {
            if (isQuote(current())) {
                skipString();
            } else {
                while (!atEnd() && isBareKeyCharacter(current())) {
                    ++position_;
                }
            }
            ++parts;
            skipBlanks();
            if (atEnd() || current() != '.') {
                break;
            }
            ++position_;
            skipBlanks();
        }
        return parts;
    }

    void keyValue() {
        const std::size_t keyStart = position_;
        const std::size_t level = headerLevel_ + keyParts();
        if (tooDeep(level, keyStart) || atEnd() || current() != '=') {
            return;
        }
        ++position_;
        skipBlanks();
        if (!atEnd() && (current() == '[' || current() == '{')) {
            containers(level);
        } else if (!atEnd() && isQuote(current())) {
            skipString();
        }
    }

    // The array or inline table at the current bracket, at `level`, to its
    // closing bracket, with all it holds. Its own stack, not recursion: the
    // text is not known to be shallow yet.
    void containers(std::size_t level) {
        std::vector<Container> open;
        bool expectKey = false;    // in an inline table, after "{" or ","
        std::size_t keyLevel = 0;  // of the last key of the innermost inline table
        const auto openContainer = [&](std::size_t containerLevel) {
            const bool inlineTable = current() == '{';
            if (!tooDeep(containerLevel, position_)) {
                open.push_back({containerLevel, inlineTable});
                expectKey = inlineTable;
                ++position_;
            }
        };
        openContainer(level);
        while (!open.empty() && !refusal_ && !atEnd()) {
            const Container innermost = open.back();
            const char c = current();
            if (isBlank(c) || c == '\n' || c == '\r') {
                ++position_;
            } else if (c == '#') {
                skipToLineEnd();
            } else if (c == ']' || c == '}') {
                open.pop_back();
                ++position_;
                expectKey = false;
            } else if (c == ',') {
                expectKey = innermost.inlineTable;
                ++position_;
            } else if (c == '[' || c == '{') {
                openContainer(innermost.inlineTable ? keyLevel : innermost.level + 1);
            } else if (expectKey && startsKey(c)) {
                const std::size_t keyStart = position_;
                keyLevel = innermost.level + keyParts();
                tooDeep(keyLevel, keyStart);
                expectKey = false;
                if (!atEnd() && current() == '=') {
                    ++position_;
                }
            } else if (isQuote(c)) {
                skipString();
            } else {
                ++position_;  // part of a number, a date, a boolean; or not TOML
            }
        }
    }

    // A string of any of TOML's four kinds, from its opening quote. A line
    // break ends a single-line string: toml++ stops there.
    void skipString() {
        const char quote = current();
        const bool basic = quote == '"';
        const std::string_view triple = basic ? R"(""")" : "'''";
        if (text_.substr(position_, 3) == triple) {
            position_ += 3;
            while (!atEnd() && text_.substr(position_, 3) != triple) {
                position_ += basic && current() == '\\' ? 2U : 1U;
            }
            position_ += 3;
            for (int extra = 0; extra < 2 && !atEnd() && current() == quote; ++extra) {
                ++position_;  // up to two quotes may end the text itself
            }
            return;
        }
        ++position_;
        while (!atEnd() && current() != quote && current() != '\n') {
            position_ += basic && current() == '\\' ? 2U : 1U;
        }
        if (!atEnd() && current() == quote) {
            ++position_;
        }
    }

    std::string_view text_;
    std::size_t position_ = 0;
    std::size_t statementStart_ = 0;
    std::size_t headerLevel_ = 0;  // of the table the last header opened; 0 for the root
    std::optional<TomlRefusal> refusal_;
};

}  // namespace

std::optional<TomlRefusal> guardToml(std::string_view text) { return Scanner(text).scan(); }

}  // namespace settings
