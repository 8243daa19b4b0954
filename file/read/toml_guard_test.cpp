#include "file/read/internal/toml_guard.h"

#include <gtest/gtest.h>

#include <string>

#include "file/base/texts_test_support.h"
#include "settings/read.h"

namespace settings::test {

using namespace settings::file_internal;
namespace {

// A row: a text, what toml++ is to parse of it, and where it is refused, if it is.
struct GuardCase {
    std::string name;
    std::string text;
    std::string parseable;
    std::optional<std::size_t> refusedAt = {};  // the offset of the key or bracket that goes too deep
};

std::ostream& operator<<(std::ostream& out, const GuardCase& c) { return out << c.name; }

class GuardTest : public testing::TestWithParam<GuardCase> {};

TEST_P(GuardTest, LeavesOutPlainCommentsAndRefusesDeepText) {
    const GuardedText guarded = guardToml(GetParam().text);
    if (GetParam().refusedAt) {
        ASSERT_TRUE(guarded.refusal.has_value());
        EXPECT_EQ(guarded.refusal->offset, *GetParam().refusedAt);
    } else {
        EXPECT_FALSE(guarded.refusal.has_value());
        EXPECT_EQ(guarded.parseable, GetParam().parseable);
    }
}

std::string guardCaseName(const testing::TestParamInfo<GuardCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(
    Comments, GuardTest,
    testing::Values(
        GuardCase{"Empty", "", ""}, GuardCase{"Blanks", " \t", " \t"}, GuardCase{"Line", "# c\nx", "#\nx"},
        GuardCase{"EmptyBody", "#\n ", "#\n "}, GuardCase{"Crlf", "# a\tb\r\n\r\n", "#\r\n\r\n"},
        GuardCase{"ByteOrderMark", "\xEF\xBB\xBF# c\n\n", "\xEF\xBB\xBF#\n\n"},
        // toml++ checks these bodies, or an error at the end of the text stands after them.
        GuardCase{"AtTheEndOfTheText", "# c", "# c"}, GuardCase{"LastLine", "# c\n", "# c\n"},
        GuardCase{"LastLineCrlf", "# c\r\n", "# c\r\n"}, GuardCase{"Delete", "# \x7F\n", "# \x7F\n"},
        GuardCase{"Control", "# \x01\n", "# \x01\n"}, GuardCase{"LoneCr", "# a\rb\n", "# a\rb\n"},
        GuardCase{"NonAscii", "# \xC3\xA9\n", "# \xC3\xA9\n"},
        // toml++ decodes ahead: an invalid byte anywhere keeps every comment.
        GuardCase{"NotUtf8Elsewhere", "a = #2\n\xEA\xFE\n# c\n", "a = #2\n\xEA\xFE\n# c\n"},
        GuardCase{"AfterHeaders", "[a] # c\n[[b]] # d\n[ \"#\" ] # e\n\n", "[a] #\n[[b]] #\n[ \"#\" ] #\n\n"},
        GuardCase{"AfterValues", "a = 1 # c\nb = \"x # y\" # d\nc = 'z#' # e\nd = 1979-05-27 07:32:00 # f\n\n",
                  "a = 1 #\nb = \"x # y\" #\nc = 'z#' #\nd = 1979-05-27 07:32:00 #\n\n"},
        GuardCase{"EscapedQuote", "a = \"x\\\" # y\" # c\n\n", "a = \"x\\\" # y\" #\n\n"},
        GuardCase{"InMultiLineStrings", "a = '''x\n# y\n''' # c\nb = \"\"\"\n# z\"\"\"\"\" # d\n\n",
                  "a = '''x\n# y\n''' #\nb = \"\"\"\n# z\"\"\"\"\" #\n\n"},
        GuardCase{"InArrays", "a = [ # c\n 1, # d\r\n] # e\n\n", "a = [ #\n 1, #\r\n] #\n\n"},
        // A string that a line break ends, as toml++ ends it: what follows is not in it.
        GuardCase{"UnterminatedString", "a = \"x # c\n# d\n\n", "a = \"x # c\n#\n\n"},
        GuardCase{"UnterminatedMultiLineString", "a = \"\"\"x # c", "a = \"\"\"x # c"},
        GuardCase{"UnterminatedLiteral", "a = '''x''", "a = '''x''"},
        // Not TOML: toml++ stops before the comment, which may go.
        GuardCase{"NoEquals", "a b # c\n\n", "a b #\n\n"}, GuardCase{"NoKey", "= 1 # c\n", "= 1 # c\n"}),
    guardCaseName);

// The text ending anywhere, or broken anywhere, is still scanned to its end.
INSTANTIATE_TEST_SUITE_P(
    Truncated, GuardTest,
    testing::Values(GuardCase{"Bracket", "[", "["}, GuardCase{"BracketAndBlank", "[ ", "[ "},
                    GuardCase{"ArrayOfTablesBracket", "[[", "[["}, GuardCase{"SplitBrackets", "[ [a]]", "[ [a]]"},
                    GuardCase{"Key", "a", "a"}, GuardCase{"KeyAndPoint", "a .", "a ."},
                    GuardCase{"QuotedKey", "'a", "'a"}, GuardCase{"Equals", "a =", "a ="},
                    GuardCase{"OpenArray", "a = [1, 'x', \"y\"", "a = [1, 'x', \"y\""},
                    GuardCase{"OpenInlineTable", "a = { b", "a = { b"},
                    GuardCase{"InlineKeyWithoutEquals", "a = { b c = 1 }\n", "a = { b c = 1 }\n"},
                    GuardCase{"InlineTable", "a = { 'b' = [1], c.d = { e = 2 } }\r\n",
                              "a = { 'b' = [1], c.d = { e = 2 } }\r\n"},
                    GuardCase{"CloseWithoutOpen", "a = [1]] # c\n\n", "a = [1]] #\n\n"},
                    GuardCase{"LineBreaksInAnArray", "a = [1,\r\n2]\n", "a = [1,\r\n2]\n"},
                    GuardCase{"InlineTableWithoutAKey", "a = { .b = 1 }\n", "a = { .b = 1 }\n"},
                    GuardCase{"KeyCharacters", "A_z-9.\"~\" = 1 # c\n\n", "A_z-9.\"~\" = 1 #\n\n"}),
    guardCaseName);

INSTANTIATE_TEST_SUITE_P(
    Nesting, GuardTest,
    testing::Values(GuardCase{"HeaderAtTheLimit", "[" + dotted(kMaxNestingLevels) + "]\n",
                              "[" + dotted(kMaxNestingLevels) + "]\n"},
                    GuardCase{"HeaderOverTheLimit", "x = 1\n[" + dotted(kMaxNestingLevels + 1) + "]\n", "", {7}},
                    GuardCase{"KeyUnderAHeader", "[a.a]\n" + dotted(kMaxNestingLevels - 1) + " = 1\n", "", {6}},
                    GuardCase{"ArrayInAMultiLineArray",
                              "a = [\n" + std::string(kMaxNestingLevels, '[') + "]\n",
                              "",
                              {6 + kMaxNestingLevels - 1}}),
    guardCaseName);

}  // namespace
}  // namespace settings::test
