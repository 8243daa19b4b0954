#include "settings/text_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "file/base/texts_test_support.h"

namespace settings::test {
namespace {

// A row: a text, its lines and their lengths in characters.
struct LinesCase {
    std::string name;
    std::string text;
    std::vector<std::string> lines;
    std::vector<int> lengths;
};

std::ostream& operator<<(std::ostream& out, const LinesCase& c) { return out << c.name; }

class TextLinesTest : public testing::TestWithParam<LinesCase> {};

TEST_P(TextLinesTest, SplitsAsPositionsCount) {
    const TextLines lines(GetParam().text);
    ASSERT_EQ(lines.count(), static_cast<int>(GetParam().lines.size()));
    for (int number = 1; number <= lines.count(); ++number) {
        EXPECT_EQ(lines.line(number), GetParam().lines[static_cast<std::size_t>(number) - 1]) << number;
        EXPECT_EQ(lines.length(number), GetParam().lengths[static_cast<std::size_t>(number) - 1]) << number;
    }
    for (const int outside : {0, -1, lines.count() + 1}) {
        EXPECT_EQ(lines.line(outside), "");
        EXPECT_EQ(lines.length(outside), 0);
        EXPECT_EQ(lines.byteOffset(outside, 2), 0U);
    }
}

std::string linesCaseName(const testing::TestParamInfo<LinesCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(
    Cases, TextLinesTest,
    testing::Values(LinesCase{"Empty", "", {""}, {0}}, LinesCase{"NoLineEnd", "ab", {"ab"}, {2}},
                    LinesCase{"LineEnd", "ab\n", {"ab", ""}, {2, 0}},
                    LinesCase{"EmptyLines", "\n\n", {"", "", ""}, {0, 0, 0}},
                    LinesCase{"Crlf", "a\r\nbc\r\n", {"a", "bc", ""}, {1, 2, 0}},
                    // Only a "\r" before "\n" ends a line; others are characters of it.
                    LinesCase{"LoneCarriageReturns", "a\rb\n\r", {"a\rb", "\r"}, {3, 1}},
                    LinesCase{"ByteOrderMark", "\xEF\xBB\xBF\xC3\xA9\n", {"\xC3\xA9", ""}, {1, 0}},
                    LinesCase{
                        "CharactersNotBytes", "\xE8\xA8\xAD\xE5\xAE\x9A\tx", {"\xE8\xA8\xAD\xE5\xAE\x9A\tx"}, {4}},
                    // A byte that continues nothing belongs to the character before it.
                    LinesCase{"NotUtf8",
                              "a\x80\x80"
                              "b\xFF",
                              {"a\x80\x80"
                               "b\xFF"},
                              {3}}),
    linesCaseName);

TEST(TextLines, ByteOffsetsOfColumns) {
    const TextLines lines("x\na\xC3\xA9\tb\n");
    const std::vector<std::pair<int, std::size_t>> expected = {{0, 0}, {1, 0}, {2, 1}, {3, 3}, {4, 4}, {5, 5}, {9, 5}};
    for (const auto& [column, offset] : expected) {
        EXPECT_EQ(lines.byteOffset(2, column), offset) << column;
    }
    EXPECT_EQ(lines.byteOffset(3, 1), 0U);  // the empty last line
}

// Lookups go from the nearest checkpoint, which may stand on an earlier line.
TEST(TextLines, ByteOffsetsOnLongLines) {
    const std::string text = repeated("\xC3\xA9", 100) + "\n" + repeated("\xC3\xBC", 100) + "z\n" + repeated("a", 300);
    const TextLines lines(text);
    EXPECT_EQ(lines.byteOffset(1, 64), 126U);
    EXPECT_EQ(lines.byteOffset(1, 65), 128U);
    EXPECT_EQ(lines.byteOffset(1, 100), 198U);
    EXPECT_EQ(lines.byteOffset(2, 1), 0U);
    EXPECT_EQ(lines.byteOffset(2, 80), 158U);
    EXPECT_EQ(lines.byteOffset(2, 101), 200U);
    EXPECT_EQ(lines.byteOffset(3, 300), 299U);
    EXPECT_EQ(lines.byteOffset(3, 301), 300U);
    EXPECT_EQ(lines.length(3), 300);
}

TEST(TextLines, PositionsOfBytes) {
    const std::string text = "\xEF\xBB\xBFk = \"\xC3\xA9\"\nx\n";
    const TextLines lines(text);
    const std::vector<std::pair<std::size_t, std::pair<int, int>>> expected = {
        {0, {1, 1}},   // in the byte-order mark
        {3, {1, 1}},   // k
        {8, {1, 6}},   // é
        {9, {1, 6}},   // inside é
        {11, {1, 8}},  // the line end: just after the last character
        {12, {2, 1}},  // x
        {14, {3, 1}},  // the end of the text
        {99, {3, 1}},
    };
    for (const auto& [offset, position] : expected) {
        EXPECT_EQ(lines.position(offset), position) << offset;
    }
    EXPECT_EQ(TextLines("\x80"
                        "a")
                  .position(0),
              std::pair(1, 1));
}

// A row: a text and how a terminal is shown it.
struct SafeCase {
    std::string name;
    std::string text;
    std::string shown;
};

std::ostream& operator<<(std::ostream& out, const SafeCase& c) { return out << c.name; }

class TerminalSafeTest : public testing::TestWithParam<SafeCase> {};

TEST_P(TerminalSafeTest, EscapesWhatCouldDriveATerminal) { EXPECT_EQ(terminalSafe(GetParam().text), GetParam().shown); }

std::string safeCaseName(const testing::TestParamInfo<SafeCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(
    Cases, TerminalSafeTest,
    testing::Values(
        SafeCase{"PlainTextAndTabs", "a\tb \\ C:\\dir\\x.toml ~", "a\tb \\ C:\\dir\\x.toml ~"},
        SafeCase{"LineEnds", "a\nb\rc", "a\\u000Ab\\u000Dc"},
        SafeCase{"C0AndDelete", std::string("\0\x01\x1B[2J\x1F\x7F", 8), "\\u0000\\u0001\\u001B[2J\\u001F\\u007F"},
        SafeCase{"C1", "\xC2\x80\xC2\x85\xC2\x9B\xC2\x9F\xC2\xA0", "\\u0080\\u0085\\u009B\\u009F\xC2\xA0"},
        // NOLINTBEGIN(misc-misleading-bidirectional): the controls are what the case is about.
        SafeCase{"SeparatorsAndBidi",
                 "\xE2\x80\xA7\xE2\x80\xA8\xE2\x80\xA9\xE2\x80\xAA\xE2\x80\xAE\xE2\x80\xAF\xE2\x81\xA5"
                 "\xE2\x81\xA6\xE2\x81\xA9\xE2\x81\xAA",
                 "\xE2\x80\xA7\\u2028\\u2029\\u202A\\u202E\xE2\x80\xAF\xE2\x81\xA5\\u2066\\u2069"
                 "\\u206A"},
        // Unicode's other format characters, invisible: marks, soft hyphen, byte-order mark, tags.
        SafeCase{"FormatCharacters",
                 "\xE2\x80\x8E\xE2\x80\x8F\xD8\x9C\xC2\xAD\xEF\xBB\xBF\xE2\x80\x8B\xF3\xA0\x80\x81\xF3\xA0\x81\xBF"
                 "\xF0\x9D\x85\xB3\xF0\x9D\x85\xBB",
                 "\\u200E\\u200F\\u061C\\u00AD\\uFEFF\\u200B\\U000E0001\\U000E007F\\U0001D173\xF0\x9D\x85\xBB"},
        // NOLINTEND(misc-misleading-bidirectional)
        SafeCase{"OtherCharacters", "\xC3\xA9\xE8\xA8\xAD\xF0\x9F\x8E\xA4", "\xC3\xA9\xE8\xA8\xAD\xF0\x9F\x8E\xA4"},
        SafeCase{"NotUtf8", "\xFF\xC3(\xED\xA0\x80\xF0\x9F\x8E", "\\xFF\\xC3(\\xED\\xA0\\x80\\xF0\\x9F\\x8E"}),
    safeCaseName);

}  // namespace
}  // namespace settings::test
