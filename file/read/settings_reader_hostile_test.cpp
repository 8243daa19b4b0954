// Texts built to crash, stall or fool a reader: each gives its answer, the
// same in every build. CTest runs these on a 1 MiB stack too (the default of
// Windows programs), and the fuzz target starts from them.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "file/base/texts_test_support.h"
#include "settings/read.h"

namespace settings::test {
namespace {

const std::string kTooDeep =
    "nests more than 128 levels deep (each part of a dotted key, each array and each inline table is a level)";

FileProblem tooDeep(int line, int column) { return {"", ProblemKind::syntax, kTooDeep, line, column}; }

FileProblem cannotStartKey(std::string_view saw, int line, int column) {
    return {"", ProblemKind::syntax,
            "Error while parsing key: expected bare key starting character or string delimiter, saw '" +
                std::string(saw) + "'",
            line, column};
}

FileProblem noValue(int line, int column) {
    return {"", ProblemKind::syntax, "Error while parsing value: could not determine value type", line, column};
}

// Nesting beyond the limit is refused at the key or bracket that goes deeper;
// up to it, a text reads as any other.
INSTANTIATE_TEST_SUITE_P(
    Nesting, ReadProblemsTest,
    testing::Values(
        ProblemCase{"Header300000Parts", "[" + dotted(300'000) + "]\n", {tooDeep(1, 2)}},
        ProblemCase{"DottedKey300000Parts", dotted(300'000) + " = 1\n", {tooDeep(1, 1)}},
        ProblemCase{"ArrayOfTables300000Parts", "[[" + dotted(300'000) + "]]\n", {tooDeep(1, 3)}},
        ProblemCase{
            "HeaderAtTheLimit", "[" + dotted(128) + "]\n", {{"a", ProblemKind::unknown, "unknown setting", 1, 2}}},
        ProblemCase{"HeaderOverTheLimit", "[" + dotted(129) + "]\n", {tooDeep(1, 2)}},
        ProblemCase{"ArrayOfTablesOverTheLimit", "[[" + dotted(128) + "]]\n", {tooDeep(1, 3)}},
        ProblemCase{"KeyUnderADeepHeader",
                    "[" + dotted(100) + "]\n" + dotted(28) + " = 1\n" + dotted(29) + " = 1\n",
                    {tooDeep(3, 1)}},
        ProblemCase{"ArraysAtTheLimit",
                    "a = " + repeated("[", 128) + repeated("]", 128) + "\n",
                    {{"a", ProblemKind::unknown, "unknown setting", 1, 1}}},
        ProblemCase{"ArraysOverTheLimit", "a = " + repeated("[", 129) + repeated("]", 129) + "\n", {tooDeep(1, 133)}},
        ProblemCase{"InlineTablesOverTheLimit",
                    "a = " + repeated("{b = ", 128) + "1" + repeated("}", 128) + "\n",
                    {tooDeep(1, 641)}},
        ProblemCase{
            "DottedKeysInInlineTables", "a = { " + dotted(64) + " = { " + dotted(64) + " = 1 } }\n", {tooDeep(1, 139)}},
        ProblemCase{"ArraysOverLines", "a = [\n" + repeated("[\n", 200) + repeated("]\n", 201), {tooDeep(129, 1)}},
        ProblemCase{
            "TablesInArrays", "a = " + repeated("[{b = ", 64) + "1" + repeated("}]", 64) + "\n", {tooDeep(1, 385)}},
        // Brackets and points in strings and comments are text.
        ProblemCase{"BracketsInStrings",
                    "[training]\ndataFile = \"" + repeated("[{.\\\"", 5000) + "\"\n" + "# " + repeated("[", 5000) +
                        "\n" + "first = '''\n" + repeated("[", 5000) + "''''\n" + "second = \"\"\"" +
                        repeated("{\\\"\"\"", 300) + "\"\"\"\n" + "third = ['" + repeated("[", 300) + "', \"]\"]\n",
                    {{"training.first", ProblemKind::unknown, "unknown setting", 4, 1},
                     {"training.second", ProblemKind::unknown, "unknown setting", 6, 1},
                     {"training.third", ProblemKind::unknown, "unknown setting", 7, 1}}},
        // An error before the refused key or bracket comes first, as toml++ reports errors in order,
        // in the same statement too.
        ProblemCase{
            "LoneCarriageReturnBeforeTheRefusal",
            "x = [\r" + repeated("[", 129) + "\n",
            {{"", ProblemKind::syntax, "Error while parsing array: expected '\\n' after '\\r', saw '['", 1, 7}}},
        ProblemCase{
            "EarlierErrorInTheStatement",
            "x = [1 2 " + repeated("[", 129) + "\n",
            {{"", ProblemKind::syntax, "Error while parsing array: expected comma or closing ']', saw '2'", 1, 8}}},
        ProblemCase{
            "EarlierErrorFirst",
            "version = 1x\n[" + dotted(300) + "]\n",
            {{"", ProblemKind::syntax, "Error while parsing decimal integer: expected digit, saw 'x'", 1, 12}}}),
    problemCaseName);

// Mistakes that reach toml++'s assertions: a table header that cannot start a
// key, an array element that starts as a value ends, a date followed by a
// lone digit, a time that does not start with a digit. toml++ tests the same right after; with its assertions
// checking nothing, each is one syntax problem in every build.
INSTANTIATE_TEST_SUITE_P(
    HeaderStarts, ReadProblemsTest,
    testing::Values(
        ProblemCase{"Point", "[.a]\n", {cannotStartKey(".", 1, 2)}},
        ProblemCase{"Equals", "[=detection]\n", {cannotStartKey("=", 1, 2)}},
        ProblemCase{"ArrayOfTables", "[[.a]]\n", {cannotStartKey(".", 1, 3)}},
        ProblemCase{"AfterBlanks", "[ \t.a]\n", {cannotStartKey(".", 1, 4)}},
        ProblemCase{"ThirdBracket", "[[[a]]]\n", {cannotStartKey("[", 1, 3)}},
        ProblemCase{"LineEnd", "version = 1\n[\n", {cannotStartKey("\\n", 2, 2)}},
        ProblemCase{"Comment", "[# x\n", {cannotStartKey("#", 1, 2)}},
        ProblemCase{"ControlCharacter", "[\x01]\n", {cannotStartKey("\\u0001", 1, 2)}},
        ProblemCase{"Letter", "[\xC3\xA9]\n", {cannotStartKey("\xC3\xA9", 1, 2)}},
        ProblemCase{"ParagraphSeparator", "[\xE2\x80\xA9]\n", {cannotStartKey("\xE2\x80\xA9", 1, 2)}},
        ProblemCase{"EarlierErrorFirst",
                    "version = 1x\n[.a]\n",
                    {{"", ProblemKind::syntax, "Error while parsing decimal integer: expected digit, saw 'x'", 1, 12}}},
        ProblemCase{"ArrayElementBrace", "a = [}\n", {noValue(1, 6)}},
        ProblemCase{"ArrayElementAfterComma", "a = [1,\n# c\n }]\n", {noValue(3, 2)}},
        ProblemCase{"ArrayElementLineSeparator", "a = [[{b = [\xE2\x80\xA8]}]]\n", {noValue(1, 13)}},
        ProblemCase{"ArrayElementNextLine", "a = [\xC2\x85]\n", {noValue(1, 6)}},
        ProblemCase{"DateThenADigit", "t = 1979-05-27 1\n", {noValue(1, 5)}},
        ProblemCase{"DateThenADigitAtTheEnd",
                    "t = 1979-05-27 1",
                    {{"", ProblemKind::syntax,
                      "Error while parsing key-value pair: expected a comment or whitespace, saw '1'", 1, 16}}},
        ProblemCase{"TimeWithoutDigits",
                    "t = 1979-05-27T:32\n",
                    {{"", ProblemKind::syntax, "Error while parsing time: expected 2-digit hour, saw ':'", 1, 16}}},
        ProblemCase{
            "TimeWithAControlCharacter",
            "t = [1979-05-27T\x10"
            "32:00]\n",
            {{"", ProblemKind::syntax, "Error while parsing time: expected 2-digit hour, saw '\\u0010'", 1, 17}}},
        // toml++ reports these before it asserts anything.
        ProblemCase{
            "ArrayClosedByBrace",
            "a = [1}\n",
            {{"", ProblemKind::syntax, "Error while parsing array: expected comma or closing ']', saw '}'", 1, 7}}},
        ProblemCase{"NonAsciiBlank",
                    "[\xC2\xA0"
                    "a]\n",
                    {{"", ProblemKind::syntax, "Error while parsing table header: expected space or tab, saw '\\u00A0'",
                      1, 2}}},
        ProblemCase{"NotUtf8", "[\xFF]\n", {{"", ProblemKind::syntax, "Encountered invalid utf-8 sequence", 1, 1}}},
        ProblemCase{"Empty",
                    "[]\n",
                    {{"", ProblemKind::syntax,
                      "Error while parsing table header: tables with blank bare keys are explicitly "
                      "prohibited",
                      1, 2}}},
        ProblemCase{"AtTheEnd",
                    "[",
                    {{"", ProblemKind::syntax, "Error while parsing table header: encountered end-of-file", 1, 2}}}),
    problemCaseName);

// A key is what TOML says it is: a quoted key with points in it is one key,
// reported quoted, so that no two keys read the same.
INSTANTIATE_TEST_SUITE_P(
    QuotedKeys, ReadProblemsTest,
    testing::Values(
        ProblemCase{"DottedNameInQuotes",
                    "\"audio.bufferSizeMs\" = 50\n[audio]\nbufferSizeMs = 7\n",
                    {{"\"audio.bufferSizeMs\"", ProblemKind::unknown,
                      "unknown setting; did you mean audio.bufferSizeMs?", 1, 1}}},
        ProblemCase{
            "QuotedSetting", "\"version\" = 2\n", {{"version", ProblemKind::equals, "must equal 1; got 2", 1, 13}}},
        ProblemCase{"QuotedParts",
                    "\"audio\".'bufferSizeMs' = 0\n",
                    {{"audio.bufferSizeMs", ProblemKind::range, "must be in [5, 100]; got 0", 1, 26}}},
        ProblemCase{"PointInAMember",
                    "[audio]\n\"bufferSizeMs.x\" = 1\n",
                    {{"audio.\"bufferSizeMs.x\"", ProblemKind::unknown,
                      "unknown setting; did you mean audio.bufferSizeMs?", 2, 1}}},
        ProblemCase{"EmptyKey", "\"\" = 1\n", {{"\"\"", ProblemKind::unknown, "unknown setting", 1, 1}}},
        ProblemCase{"ForgedDiagnostic",
                    "\"a\\nb.toml:9:9: error: forged\" = 1\n",
                    {{"\"a\\nb.toml:9:9: error: forged\"", ProblemKind::unknown, "unknown setting", 1, 1}}},
        ProblemCase{"EscapesAndQuotes",
                    "[detection]\n\"\\u001B[2J\\\"\" = 1\n",
                    {{"detection.\"\\u001B[2J\\\"\"", ProblemKind::unknown, "unknown setting", 2, 1}}},
        ProblemCase{"LongKey",
                    "[audio]\n\"" + repeated("bufferSizeMs", 40'000) + "\" = 1\n",
                    {{"audio." + repeated("bufferSizeMs", 40'000), ProblemKind::unknown, "unknown setting", 2, 1}}}),
    problemCaseName);

// The deepest trees the limit lets through, built from the limit itself: CTest
// runs them on a 1 MiB stack, so a limit raised beyond what that holds fails.
TEST(HostileText, DeepestTextsWithinTheLimitRead) {
    const std::size_t limit = kMaxNestingLevels;
    // Each header part an array of tables: the tree is twice as deep as the levels counted.
    std::string arraysOfTables;
    for (std::size_t parts = 1; parts < limit; ++parts) {
        arraysOfTables += "[[" + dotted(parts) + "]]\n";
    }
    const std::vector<std::string> texts = {
        "[" + dotted(limit) + "]\n",
        dotted(limit) + " = 1\n",
        arraysOfTables,
        "a = " + repeated("[", limit) + repeated("]", limit) + "\n",
        "a = " + repeated("{b = ", limit - 1) + "1" + repeated("}", limit - 1) + "\n",
        "a = " + repeated("[{b = ", (limit - 1) / 2) + "1" + repeated("}]", (limit - 1) / 2) + "\n",
    };
    for (const std::string& text : texts) {
        const FileReading reading = readSettings(text);
        ASSERT_EQ(reading.problems.size(), 1U) << text.substr(0, 40);
        EXPECT_EQ(reading.problems.front().kind, ProblemKind::unknown) << text.substr(0, 40);
    }
}

// toml++ is spared the bodies of plain comments; nothing it reports may change.
INSTANTIATE_TEST_SUITE_P(
    Comments, ReadProblemsTest,
    testing::Values(
        ProblemCase{"ControlCharacter",
                    "# a\x01"
                    "b\nversion = 2\n",
                    {{"", ProblemKind::syntax,
                      "Error while parsing comment: control characters other than TAB (U+0009) are explicitly "
                      "prohibited in comments",
                      1, 4}}},
        ProblemCase{"NotUtf8",
                    "version = 2 # \xFF\n",
                    {{"", ProblemKind::syntax, "Encountered invalid utf-8 sequence", 1, 14}}},
        ProblemCase{"NonAscii",
                    "# r\xC3\xA9glages\nversion = 2\n",
                    {{"version", ProblemKind::equals, "must equal 1; got 2", 2, 11}}},
        ProblemCase{"EndOfTextAfterAComment",
                    "a = [1, # c\n",
                    {{"", ProblemKind::syntax, "Error while parsing array: encountered end-of-file", 1, 12}}},
        ProblemCase{"AtTheEndOfTheText",
                    "a = [1, # c",
                    {{"", ProblemKind::syntax, "Error while parsing array: encountered end-of-file", 1, 12}}},
        ProblemCase{
            "Crlf", "# c\r\nversion = 2 # d\r\n", {{"version", ProblemKind::equals, "must equal 1; got 2", 2, 11}}},
        ProblemCase{"AfterEveryKindOfLine",
                    "version = 2 # a\n[detection] # b\nsensitivity = 1.5 # c\nfftSize = [ # d\n 1, # e\n] # f\n"
                    "[[x]] # g\n",
                    {{"version", ProblemKind::equals, "must equal 1; got 2", 1, 11},
                     {"detection.sensitivity", ProblemKind::range, "must be in [0.0, 1.0]; got 1.500000", 3, 15},
                     {"detection.fftSize", ProblemKind::type, "must be an integer; got an array", 4, 11},
                     {"x", ProblemKind::unknown, "unknown setting", 7, 3}}},
        ProblemCase{"InAnInlineTable",
                    "a = { b = 1 # c\n}\n",
                    {{"", ProblemKind::syntax, "Error while parsing inline table: expected key or closing '}', saw '#'",
                      1, 13}}},
        ProblemCase{"HashesInKeys",
                    "\"a#b\" = 1 # c\n['#'] # d\n",
                    {{"\"a#b\"", ProblemKind::unknown, "unknown setting", 1, 1},
                     {"\"#\"", ProblemKind::unknown, "unknown setting", 2, 2}}}),
    problemCaseName);

// What looks like a comment inside a string is the string's.
TEST(HostileText, HashesInStringsAreText) {
    for (const auto& [text, dataFile] : std::vector<std::pair<std::string, std::string>>{
             {"[training]\ndataFile = \"a # b\" # c\n", "a # b"},
             {"[training]\ndataFile = 'a # b'\n", "a # b"},
             {"[training]\ndataFile = \"\"\"\n# a\n\"\"\"\n", "# a\n"},
             {"[training]\ndataFile = '''\n# a\n'''\n", "# a\n"},
             {"[training]\ndataFile = \"\\\" # a\"\n", "\" # a"},
         }) {
        const FileReading reading = readSettings(text);
        EXPECT_TRUE(reading.problems.empty()) << text;
        EXPECT_EQ(reading.config.training.dataFile, dataFile) << text;
    }
}

TEST(HostileText, QuotedKeysLeaveTheSettingTo) {
    const FileReading reading = readSettings("\"audio.bufferSizeMs\" = 50\n[audio]\nbufferSizeMs = 7\n");
    EXPECT_EQ(reading.config.audio.bufferSizeMs, 7);
}

// Many problems cost each their own: every one is reported, once, in order.
TEST(HostileText, ReportsEveryProblemOfALongLine) {
    std::string text = "a = {";
    for (int i = 0; i < 8000; ++i) {
        text += (i == 0 ? " k" : ", k") + std::to_string(i) + " = 1";
    }
    text += " }\n";
    const FileReading reading = readSettings(text);
    ASSERT_EQ(reading.problems.size(), 1U);  // a is an unknown table: one problem
    const FileReading inSection = readSettings("[audio]\n" + text.substr(4));
    EXPECT_EQ(readSettings("audio = " + text.substr(4)).problems.size(), 8000U);
    EXPECT_EQ(inSection.problems.size(), 1U);  // the line is a syntax error there
}

// Reals are judged as TOML reads them: the nearest double to what is written,
// as every TOML reader and the schema's validators take them. Digits past a
// double's precision are lost before any rule sees them.
TEST(HostileText, RealsPastADoublesPrecision) {
    const auto reading = [](const std::string& text) { return readSettings(text + "\n"); };
    const FileReading justAbove = reading("detection.sensitivity = 1.0000000000000000001");
    EXPECT_TRUE(justAbove.problems.empty());
    EXPECT_EQ(justAbove.config.detection.sensitivity, 1.0F);
    const FileReading almostWhole = reading("audio.bufferSizeMs = 10.0000000000000000001");
    EXPECT_TRUE(almostWhole.problems.empty());
    EXPECT_EQ(almostWhole.config.audio.bufferSizeMs, 10);
    // Within a double's precision, the written value counts, not the float's.
    EXPECT_EQ(reading("detection.sensitivity = 1.00000001").problems.size(), 1U);
    // Beyond a double's range, no TOML reader of ours has a value.
    EXPECT_EQ(reading("detection.sensitivity = 1e400").problems.front().kind, ProblemKind::syntax);
}

// Below a double's normal range, toml++ reads through the standard library's
// streams, and the libraries differ: libstdc++ (GCC, MinGW-w64) gives the
// nearest double, a subnormal or zero; libc++ refuses the text.
TEST(HostileText, RealsBelowADoublesNormalRange) {
    for (const std::string written : {"-1e-400", "1e-310"}) {
        const FileReading reading = readSettings("detection.sensitivity = " + written + "\n");
#ifdef _LIBCPP_VERSION
        ASSERT_EQ(reading.problems.size(), 1U);
        EXPECT_EQ(reading.problems.front().message, "Error while parsing floating-point: '" +
                                                        written.substr(written.front() == '-' ? 1 : 0) +
                                                        "' could not be interpreted as a value");
#else
        EXPECT_TRUE(reading.problems.empty()) << written;
        EXPECT_EQ(std::signbit(reading.config.detection.sensitivity), written.front() == '-') << written;
#endif
    }
}

}  // namespace
}  // namespace settings::test
