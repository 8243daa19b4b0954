#include "diagnostics.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace command {
namespace {

using settings::FileProblem;

// A row: a file's name, text and problems, and every diagnostic they print.
struct TextCase {
    std::string name;
    std::string fileName;
    std::string text;
    std::vector<FileProblem> problems;
    std::string expected;
};

std::ostream& operator<<(std::ostream& out, const TextCase& c) { return out << c.name; }

class TextDiagnosticTest : public testing::TestWithParam<TextCase> {};

TEST_P(TextDiagnosticTest, PrintsAsCompilersDo) {
    const settings::TextLines lines(GetParam().text);
    std::string printed;
    for (const FileProblem& problem : GetParam().problems) {
        printed += textDiagnostic(GetParam().fileName, problem, lines);
    }
    EXPECT_EQ(printed, GetParam().expected);
}

const FileProblem kRange{"audio.bufferSizeMs", settings::ProblemKind::range, "must be in [5, 100]; got 0", 3, 16};

std::string textCaseName(const testing::TestParamInfo<TextCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(
    Cases, TextDiagnosticTest,
    testing::Values(
        TextCase{"CaretUnderTheValue",
                 "settings.toml",
                 "version = 1\n[audio]\nbufferSizeMs = 0\n",
                 {kRange},
                 "settings.toml:3:16: error: audio.bufferSizeMs: must be in [5, 100]; got 0\n"
                 "    3 | bufferSizeMs = 0\n"
                 "      |                ^\n"},
        // Tabs stay tabs, and a character takes one column whatever its bytes.
        TextCase{"TabsAndCharacters",
                 "t.toml",
                 "\t\"\xC3\xA9\" = 1\n",
                 {{"\"\xC3\xA9\"", settings::ProblemKind::unknown, "unknown setting", 1, 2}},
                 "t.toml:1:2: error: \"\xC3\xA9\": unknown setting\n    1 | \t\"\xC3\xA9\" = 1\n      | \t^\n"},
        TextCase{"AfterNonAscii",
                 "t.toml",
                 "x = \"\xC3\xA9\xC3\xA9\" y\n",
                 {{"", settings::ProblemKind::syntax, "expected a newline", 1, 10}},
                 "t.toml:1:10: error: expected a newline\n    1 | x = \"\xC3\xA9\xC3\xA9\" y\n      |          ^\n"},
        // No line end or byte-order mark in the quoted line.
        TextCase{"CrlfAndByteOrderMark",
                 "w.toml",
                 "\xEF\xBB\xBFversion = 2\r\nx = 1\r\n",
                 {{"version", settings::ProblemKind::equals, "must equal 1; got 2", 1, 11}},
                 "w.toml:1:11: error: version: must equal 1; got 2\n    1 | version = 2\n      |           ^\n"},
        TextCase{"AtTheEndOfTheLastLine",
                 "e.toml",
                 "version = ",
                 {{"", settings::ProblemKind::syntax, "encountered end-of-file", 1, 11}},
                 "e.toml:1:11: error: encountered end-of-file\n    1 | version = \n      |           ^\n"},
        TextCase{"FileProblem",
                 "missing.toml",
                 "",
                 {{"", settings::ProblemKind::file, "no such file", 0, 0}},
                 "missing.toml: error: no such file\n"},
        TextCase{"InPositionOrder",
                 "s.toml",
                 "[audio]\nbufferSize = 1\nbufferSizeMs = 0\n",
                 {{"audio.bufferSize", settings::ProblemKind::unknown,
                   "unknown setting; did you mean audio.bufferSizeMs?", 2, 1},
                  kRange},
                 "s.toml:2:1: error: audio.bufferSize: unknown setting; did you mean audio.bufferSizeMs?\n"
                 "    2 | bufferSize = 1\n      | ^\n"
                 "s.toml:3:16: error: audio.bufferSizeMs: must be in [5, 100]; got 0\n"
                 "    3 | bufferSizeMs = 0\n      |                ^\n"},
        // The gutter grows with the line number.
        TextCase{"LongFile",
                 "n.toml",
                 std::string(123456, '\n') + "x = 1\n",
                 {{"x", settings::ProblemKind::unknown, "unknown setting", 123457, 1}},
                 "n.toml:123457:1: error: x: unknown setting\n123457 | x = 1\n       | ^\n"}),
    textCaseName);

// What a file, a key, a message or a line holds cannot forge a diagnostic or drive the terminal.
INSTANTIATE_TEST_SUITE_P(
    HostileText, TextDiagnosticTest,
    testing::Values(TextCase{"KeyWithALineBreak",
                             "a.toml",
                             "x = 1\n",
                             {{"a\nb.toml:9:9: error: forged", settings::ProblemKind::unknown, "unknown setting", 1,
                               1}},
                             "a.toml:1:1: error: a\\u000Ab.toml:9:9: error: forged: unknown setting\n"
                             "    1 | x = 1\n      | ^\n"},
                    // A line of the file never starts a line of the output.
                    TextCase{"SourceLineLikeADiagnostic",
                             "f.toml",
                             "f.toml:1:1: error: audio.x: must be 1\n",
                             {{"", settings::ProblemKind::syntax, "expected '=', saw ':'", 1, 7}},
                             "f.toml:1:7: error: expected '=', saw ':'\n"
                             "    1 | f.toml:1:1: error: audio.x: must be 1\n      |       ^\n"},
                    TextCase{"FileNameWithEscapes",
                             "\x1B]0;title\x07\r.toml",
                             "",
                             {{"", settings::ProblemKind::file, "no such file", 0, 0}},
                             "\\u001B]0;title\\u0007\\u000D.toml: error: no such file\n"},
                    // The caret counts an escape as wide as it is shown.
                    TextCase{"SourceLineWithEscapes",
                             "c.toml",
                             "x = 1 # \x1B[2J\xC2\x9B\x7F y\n",
                             {{"", settings::ProblemKind::syntax, "saw 'y'", 1, 16}},
                             "c.toml:1:16: error: saw 'y'\n    1 | x = 1 # \\u001B[2J\\u009B\\u007F y\n"
                             "      |                               ^\n"},
                    TextCase{"BytesThatAreNotUtf8",
                             "\xFF.toml",
                             "a = \"\xFE\"\n",
                             {{"", settings::ProblemKind::syntax, "invalid \xC0", 1, 6}},
                             "\\xFF.toml:1:6: error: invalid \\xC0\n    1 | a = \"\\xFE\"\n      |      ^\n"},
                    // Bytes that continue nothing are no character, and still shown.
                    TextCase{"OnlyContinuationBytes",
                             "z.toml",
                             "\x80\x80\n",
                             {{"", settings::ProblemKind::syntax, "invalid", 1, 1}},
                             "z.toml:1:1: error: invalid\n    1 | \\x80\\x80\n      | ^\n"},
                    TextCase{"LineAndParagraphSeparatorsAndBidi",
                             "b.toml",
                             "k = \"\xE2\x80\xA8\xE2\x80\xAE\xE2\x81\xA6\"\n",
                             {{"k", settings::ProblemKind::type, "m\xE2\x80\xA9", 1, 1}},
                             "b.toml:1:1: error: k: m\\u2029\n    1 | k = \"\\u2028\\u202E\\u2066\"\n      | ^\n"}),
    textCaseName);

// A long line: an excerpt of kMaxShownCharacters around the column, wherever it is.
std::string longLine() {
    std::string line;
    for (int i = 0; line.size() < 1000; ++i) {
        line += "k" + std::to_string(i) + " = 1, ";
    }
    return line;
}

const std::string kGutter = "    1 | ";
const std::string kCaretGutter = "      | ";

TEST(TextDiagnostic, ShowsAnExcerptOfALongLine) {
    const std::string line = longLine();
    const settings::TextLines lines(line);
    const auto excerpt = [&](int column) {
        return textDiagnostic("l.toml", {"", settings::ProblemKind::syntax, "m", 1, column}, lines);
    };
    EXPECT_EQ(excerpt(1), "l.toml:1:1: error: m\n" + kGutter + line.substr(0, 120) + "...\n" + kCaretGutter + "^\n");
    EXPECT_EQ(excerpt(501), "l.toml:1:501: error: m\n" + kGutter + "..." + line.substr(460, 120) + "...\n" +
                                kCaretGutter + std::string(43, ' ') + "^\n");
    const auto size = static_cast<int>(line.size());
    EXPECT_EQ(excerpt(size + 1), "l.toml:1:" + std::to_string(size + 1) + ": error: m\n" + kGutter + "..." +
                                     line.substr(line.size() - 120) + "\n" + kCaretGutter + std::string(123, ' ') +
                                     "^\n");
    // A line of exactly the limit is shown whole.
    const std::string limit = line.substr(0, kMaxShownCharacters);
    EXPECT_EQ(textDiagnostic("l.toml", {"", settings::ProblemKind::syntax, "m", 1, 2}, settings::TextLines(limit)),
              "l.toml:1:2: error: m\n" + kGutter + limit + "\n" + kCaretGutter + " ^\n");
}

// Characters, not bytes, and escapes take the room they are shown in.
TEST(TextDiagnostic, ExcerptsCountCharacters) {
    std::string line;
    for (int i = 0; i < 200; ++i) {
        line += "\xC3\xA9";
    }
    line += "\x1B";
    const std::string diagnostic =
        textDiagnostic("u.toml", {"", settings::ProblemKind::syntax, "m", 1, 201}, settings::TextLines(line));
    std::string expected = "u.toml:1:201: error: m\n" + kGutter + "...";
    for (int i = 0; i < 119; ++i) {
        expected += "\xC3\xA9";
    }
    expected += "\\u001B\n" + kCaretGutter + std::string(122, ' ') + "^\n";
    EXPECT_EQ(diagnostic, expected);
}

const settings::Source kFile{settings::SourceKind::file, "settings.toml"};
const settings::Source kVariable{settings::SourceKind::environment, "DETECTOR_AUDIO_BUFFER_SIZE_MS"};
const settings::Source kOverride{settings::SourceKind::commandLine, "audio.bufferSizeMs=0"};
const FileProblem kRangeElsewhere{"audio.bufferSizeMs", settings::ProblemKind::range, "must be in [5, 100]; got 0", 0,
                                  0};

// Where there is no position, the variable or the argument stands in its place.
TEST(TextDiagnostic, NamesTheSourceOfEveryProblem) {
    const settings::TextLines none("");
    EXPECT_EQ(textDiagnostic({kVariable, kRangeElsewhere}, none),
              "DETECTOR_AUDIO_BUFFER_SIZE_MS: error: audio.bufferSizeMs: must be in [5, 100]; got 0\n");
    EXPECT_EQ(textDiagnostic({kOverride, kRangeElsewhere}, none),
              "--set audio.bufferSizeMs=0: error: audio.bufferSizeMs: must be in [5, 100]; got 0\n");
    EXPECT_EQ(textDiagnostic({{settings::SourceKind::environment, "DETECTOR_X\x1B[2J"},
                              {"", settings::ProblemKind::unknown, "unknown setting", 0, 0}},
                             none),
              "DETECTOR_X\\u001B[2J: error: unknown setting\n");
    EXPECT_EQ(textDiagnostic({{settings::SourceKind::commandLine, "a\nb: error: forged=1"},
                              {"a\nb: error: forged", settings::ProblemKind::unknown, "unknown setting", 0, 0}},
                             none),
              "--set a\\u000Ab: error: forged=1: error: a\\u000Ab: error: forged: unknown setting\n");
}

TEST(JsonFileReport, HoldsEveryProblemWithItsOrigin) {
    EXPECT_EQ(jsonFileReport("ok.toml", {}), R"({"path":"ok.toml","valid":true,"diagnostics":[]})");
    EXPECT_EQ(
        jsonFileReport("settings.toml", {{kFile, kRange},
                                         {kFile, {"", settings::ProblemKind::syntax, "saw '\"' and '\\'", 4, 1}},
                                         {kVariable, kRangeElsewhere},
                                         {kOverride, kRangeElsewhere}}),
        R"({"path":"settings.toml","valid":false,"diagnostics":[)"
        R"({"line":3,"column":16,"key":"audio.bufferSizeMs","rule":"range","severity":"error","message":"must be in [5, 100]; got 0",)"
        R"("origin":{"kind":"file","name":"settings.toml"}},)"
        R"({"line":4,"column":1,"key":"","rule":"syntax","severity":"error","message":"saw '\"' and '\\'",)"
        R"("origin":{"kind":"file","name":"settings.toml"}},)"
        R"({"line":0,"column":0,"key":"audio.bufferSizeMs","rule":"range","severity":"error","message":"must be in [5, 100]; got 0",)"
        R"("origin":{"kind":"environment","name":"DETECTOR_AUDIO_BUFFER_SIZE_MS"}},)"
        R"({"line":0,"column":0,"key":"audio.bufferSizeMs","rule":"range","severity":"error","message":"must be in [5, 100]; got 0",)"
        R"("origin":{"kind":"command line","name":"audio.bufferSizeMs=0"}}]})");
}

TEST(SarifResults, LocateEachProblemInItsSource) {
    EXPECT_EQ(sarifResults({}), "");
    EXPECT_EQ(
        sarifResults({{kFile, kRange}}),
        R"({"ruleId":"range","level":"error","message":{"text":"audio.bufferSizeMs: must be in [5, 100]; got 0"},)"
        R"("locations":[{"physicalLocation":{"artifactLocation":{"uri":"settings.toml"},)"
        R"("region":{"startLine":3,"startColumn":16}}}]})");
    EXPECT_EQ(
        sarifResults(
            {{{settings::SourceKind::file, "missing.toml"}, {"", settings::ProblemKind::file, "no such file", 0, 0}},
             {kVariable, kRangeElsewhere}}),
        R"({"ruleId":"file","level":"error","message":{"text":"no such file"},)"
        R"("locations":[{"physicalLocation":{"artifactLocation":{"uri":"missing.toml"}}}]},)"
        R"({"ruleId":"range","level":"error","message":{"text":"audio.bufferSizeMs: must be in [5, 100]; got 0"},)"
        R"("locations":[{"logicalLocations":[{"name":"DETECTOR_AUDIO_BUFFER_SIZE_MS","kind":"variable"}]}]})");
}

// A path becomes a URI reference: relative stays relative, absolute is a file URI.
TEST(SarifResults, WritePathsAsUris) {
    // Drives and "\\" between parts are Windows paths'; elsewhere they are characters of a name.
    const bool windows = std::filesystem::path::preferred_separator == '\\';
    std::vector<std::pair<std::string, std::string>> cases = {
        {"settings.toml", "settings.toml"},
        {"dir/my settings.toml", "dir/my%20settings.toml"},
        {"/etc/detector/settings.toml", "file:///etc/detector/settings.toml"},

        {"ab:c#1?.toml", "ab%3Ac%231%3F.toml"},
        {"<stdin>", "%3Cstdin%3E"},
        {"a", "a"},
        {"1:x", "1%3Ax"},
    };
    if (windows) {
        cases.insert(cases.end(), {{"C:\\Detector\\settings.toml", "file:///C:/Detector/settings.toml"},
                                   {"..\\r\xC3\xA9glages.toml", "../r%C3%A9glages.toml"},
                                   {"c:/x", "file:///c:/x"}});
    } else {
        cases.insert(cases.end(), {{"C:\\x.toml", "C%3A%5Cx.toml"},
                                   {"a\\r\xC3\xA9glages.toml", "a%5Cr%C3%A9glages.toml"},
                                   {"c:x.toml", "c%3Ax.toml"}});
    }
    for (const auto& [path, uri] : cases) {
        const std::string results =
            sarifResults({{{settings::SourceKind::file, path}, {"", settings::ProblemKind::file, "m", 0, 0}}});
        EXPECT_NE(results.find(R"("uri":")" + uri + "\""), std::string::npos) << path << ": " << results;
    }
}

TEST(GithubAnnotations, AreOneLineEach) {
    EXPECT_EQ(githubAnnotations({{kFile, kRange},
                                 {{settings::SourceKind::file, "missing.toml"},
                                  {"", settings::ProblemKind::file, "no such file", 0, 0}},
                                 {kVariable, kRangeElsewhere},
                                 {kOverride, kRangeElsewhere}}),
              "::error file=settings.toml,line=3,col=16::audio.bufferSizeMs: must be in [5, 100]; got 0\n"
              "::error file=missing.toml::no such file\n"
              "::error::DETECTOR_AUDIO_BUFFER_SIZE_MS: audio.bufferSizeMs: must be in [5, 100]; got 0\n"
              "::error::--set audio.bufferSizeMs=0: audio.bufferSizeMs: must be in [5, 100]; got 0\n");
    // Properties cannot be cut by ":" or ","; no text can start a line or hide a "%0A".
    // A file is named as it is, in GitHub's own escapes, so that GitHub finds it.
    EXPECT_EQ(githubAnnotations({{{settings::SourceKind::file, "a,b:c%d\r\n\x1B.toml"},
                                  {"k\r\n::error::x", settings::ProblemKind::unknown, "100% wrong", 1, 2}}}),
              "::error file=a%2Cb%3Ac%25d%0D%0A\x1B.toml,line=1,col=2::k\\u000D\\u000A::error::x: 100%25 wrong\n");
}

// A warning is one in every format, and leaves a file valid.
TEST(Diagnostics, SayEveryProblemsSeverity) {
    const settings::SourcedProblem warning{
        {settings::SourceKind::environment, "DETECTOR_HOME"},
        {"", settings::ProblemKind::unknown, "unknown setting", 0, 0, settings::Severity::warning}};
    EXPECT_EQ(textDiagnostic(warning, settings::TextLines("")), "DETECTOR_HOME: warning: unknown setting\n");
    EXPECT_EQ(
        jsonFileReport("s.toml", {warning}),
        R"({"path":"s.toml","valid":true,"diagnostics":[{"line":0,"column":0,"key":"","rule":"unknown",)"
        R"("severity":"warning","message":"unknown setting","origin":{"kind":"environment","name":"DETECTOR_HOME"}}]})");
    EXPECT_TRUE(jsonFileReport("s.toml", {warning, {kFile, kRange}}).starts_with(R"({"path":"s.toml","valid":false,)"));
    EXPECT_EQ(sarifResults({warning}),
              R"({"ruleId":"unknown","level":"warning","message":{"text":"unknown setting"},)"
              R"("locations":[{"logicalLocations":[{"name":"DETECTOR_HOME","kind":"variable"}]}]})");
    EXPECT_EQ(githubAnnotations({warning}), "::warning::DETECTOR_HOME: unknown setting\n");
}

// A file name need not be UTF-8 on Linux; JSON must be. Control characters are JSON escapes.
TEST(JsonFileReport, KeepsJsonValid) {
    EXPECT_EQ(jsonFileReport("r\xE9glages.toml", {}),
              "{\"path\":\"r\xEF\xBF\xBDglages.toml\",\"valid\":true,\"diagnostics\":[]}");
    EXPECT_EQ(jsonFileReport("a\nb\x1B", {}), R"({"path":"a\nb\u001B","valid":true,"diagnostics":[]})");
}

}  // namespace
}  // namespace command
