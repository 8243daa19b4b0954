// The guard's pass over a text. It follows TOML where TOML is valid, which is
// as far as toml++ goes, and counts levels as toml++ will nest them. Where a
// text stops being TOML, toml++ stops too, so the guard need not be right
// beyond that point, only never count fewer levels than toml++ would build,
// and leave out only comments toml++ would have read as comments.
#include "file/read/internal/toml_guard.h"

#include <utf8.h>  // utfcpp

#include <algorithm>
#include <vector>

#include "file/base/internal/characters.h"
#include "settings/message_text.h"
#include "settings/read.h"

namespace settings::file_internal {
namespace {

constexpr bool isQuote(char c) { return c == '"' || c == '\''; }
constexpr bool startsKey(char c) { return isBareKeyCharacter(c) || isQuote(c); }
constexpr bool isBlank(char c) { return c == ' ' || c == '\t'; }

class Scanner {
public:
    // toml++ decodes UTF-8 ahead of where it parses, so where an invalid byte
    // stands among the blocks it decodes decides which error comes first:
    // comments of such a text stay.
    explicit Scanner(std::string_view text)
        : text_(text), leaveOutComments_(utf8::is_valid(text.begin(), text.end())) {}

    GuardedText scan() {
        if (text_.starts_with(kByteOrderMark)) {
            position_ = kByteOrderMark.size();
        }
        while (!refusal_ && position_ < text_.size()) {
            statement();
        }
        parseable_.append(text_.substr(copied_));
        return {std::move(refusal_), std::move(parseable_)};
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

    // A comment, from its "#" to the line end. toml++ only checks that it holds
    // no control character but tab and is UTF-8, and nothing follows it on its
    // line: a body of printable ASCII changes nothing toml++ reports, values,
    // errors or positions, and is left out of what it parses.
    void comment() {
        const std::size_t bodyStart = position_ + 1;
        skipToLineEnd();
        if (position_ + 1 >= text_.size()) {
            return;  // an error at the end of the text stands just after its last character
        }
        const std::size_t bodyEnd = text_[position_ - 1] == '\r' ? position_ - 1 : position_;
        if (leaveOutComments_ && bodyStart < bodyEnd &&
            std::all_of(text_.begin() + static_cast<std::ptrdiff_t>(bodyStart),
                        text_.begin() + static_cast<std::ptrdiff_t>(bodyEnd), isPlainAscii)) {
            parseable_.append(text_.substr(copied_, bodyStart - copied_));
            copied_ = bodyEnd;
        }
    }

    // Refuses the text at `offset` when `level` is beyond the limit. The
    // scan stops at the first refusal.
    bool tooDeep(std::size_t level, std::size_t offset) {
        if (level > kMaxNestingLevels) {
            refusal_ = TomlRefusal{offset, "nests more than " + renderInteger(kMaxNestingLevels) +
                                               " levels deep (each part of a dotted key, each array and each inline "
                                               "table is a level)"};
        }
        return refusal_.has_value();
    }

    // One top-level line: a table header, a key-value pair (whose value may
    // span lines), a comment or nothing.
    void statement() {
        skipBlanks();
        if (atEnd()) {
            return;
        }
        if (current() == '#') {
            comment();
        } else if (current() == '[') {
            header();
            restOfLine();
        } else if (startsKey(current())) {
            keyValue();
            restOfLine();
        } else {
            skipToLineEnd();  // toml++ stops here
        }
        ++position_;
    }

    // After a header's key or a value: the closing brackets, a scalar, blanks
    // and a comment in a valid text, none of which holds a "#". In any other,
    // toml++ stops before the "#".
    void restOfLine() {
        position_ = std::min(text_.find_first_of("#\n", position_), text_.size());
        if (!atEnd() && current() == '#') {
            comment();
        }
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
            if (c == '#') {
                comment();
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
                ++position_;  // a blank, a line break, part of a number, a date or a boolean; or not TOML
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
    std::size_t headerLevel_ = 0;  // of the table the last header opened; 0 for the root
    std::optional<TomlRefusal> refusal_;
    bool leaveOutComments_;
    std::string parseable_;  // the text up to copied_, comments' bodies left out
    std::size_t copied_ = 0;
};

}  // namespace

GuardedText guardToml(std::string_view text) { return Scanner(text).scan(); }

}  // namespace settings::file_internal
