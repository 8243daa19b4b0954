#include "diagnostics.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace detector_settings {
namespace {

using settings::FileProblem;

struct TextCase {
    std::string name;
    CheckedFile file;
    std::string expected;
};

std::ostream& operator<<(std::ostream& out, const TextCase& c) { return out << c.name; }

class TextDiagnosticsTest : public testing::TestWithParam<TextCase> {};

TEST_P(TextDiagnosticsTest, PrintsAsCompilersDo) { EXPECT_EQ(textDiagnostics(GetParam().file), GetParam().expected); }

const FileProblem kRange{"audio.bufferSizeMs", "range", "must be in [5, 100]; got 0", 3, 16};

std::string textCaseName(const testing::TestParamInfo<TextCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(
    Cases, TextDiagnosticsTest,
    testing::Values(
        TextCase{"Valid", {"ok.toml", "version = 1\n", {}}, ""},
        TextCase{"CaretUnderTheValue",
                 {"settings.toml", "version = 1\n[audio]\nbufferSizeMs = 0\n", {kRange}},
                 "settings.toml:3:16: error: audio.bufferSizeMs: must be in [5, 100]; got 0\n"
                 "bufferSizeMs = 0\n"
                 "               ^\n"},
        // Tabs stay tabs, and a character takes one column whatever its bytes.
        TextCase{"TabsAndCharacters",
                 {"t.toml", "\t\"\xC3\xA9\" = 1\n", {{"\xC3\xA9", "unknown", "unknown setting", 1, 2}}},
                 "t.toml:1:2: error: \xC3\xA9: unknown setting\n\t\"\xC3\xA9\" = 1\n\t^\n"},
        TextCase{"AfterNonAscii",
                 {"t.toml", "x = \"\xC3\xA9\xC3\xA9\" y\n", {{"", "syntax", "expected a newline", 1, 10}}},
                 "t.toml:1:10: error: expected a newline\nx = \"\xC3\xA9\xC3\xA9\" y\n         ^\n"},
        // No line end or byte-order mark in the quoted line.
        TextCase{
            "CrlfAndByteOrderMark",
            {"w.toml", "\xEF\xBB\xBFversion = 2\r\nx = 1\r\n", {{"version", "equals", "must equal 1; got 2", 1, 11}}},
            "w.toml:1:11: error: version: must equal 1; got 2\nversion = 2\n          ^\n"},
        TextCase{"AtTheEndOfTheLastLine",
                 {"e.toml", "version = ", {{"", "syntax", "encountered end-of-file", 1, 11}}},
                 "e.toml:1:11: error: encountered end-of-file\nversion = \n          ^\n"},
        TextCase{"FileProblem",
                 {"missing.toml", "", {{"", "file", "no such file", 0, 0}}},
                 "missing.toml: error: no such file\n"},
        TextCase{"InPositionOrder",
                 {"s.toml",
                  "[audio]\nbufferSize = 1\nbufferSizeMs = 0\n",
                  {{"audio.bufferSize", "unknown", "unknown setting; did you mean audio.bufferSizeMs?", 2, 1},
                   {"audio.bufferSizeMs", "range", "must be in [5, 100]; got 0", 3, 16}}},
                 "s.toml:2:1: error: audio.bufferSize: unknown setting; did you mean audio.bufferSizeMs?\n"
                 "bufferSize = 1\n^\n"
                 "s.toml:3:16: error: audio.bufferSizeMs: must be in [5, 100]; got 0\n"
                 "bufferSizeMs = 0\n               ^\n"}),
    textCaseName);

TEST(JsonReport, HoldsEveryFileAndProblem) {
    const std::vector<CheckedFile> files = {
        {"ok.toml", "", {}},
        {"settings.toml", "", {kRange, {"", "syntax", "saw '\"' and '\\'", 4, 1}}},
        {"missing.toml", "", {{"", "file", "no such file", 0, 0}}},
    };
    EXPECT_EQ(
        jsonReport(files),
        R"({"files":[{"path":"ok.toml","valid":true,"diagnostics":[]},)"
        R"({"path":"settings.toml","valid":false,"diagnostics":[)"
        R"({"line":3,"column":16,"key":"audio.bufferSizeMs","rule":"range","message":"must be in [5, 100]; got 0"},)"
        R"({"line":4,"column":1,"key":"","rule":"syntax","message":"saw '\"' and '\\'"}]},)"
        R"({"path":"missing.toml","valid":false,"diagnostics":[)"
        R"({"line":0,"column":0,"key":"","rule":"file","message":"no such file"}]}]})"
        "\n");
    EXPECT_EQ(jsonReport({}), "{\"files\":[]}\n");
}

// A file name need not be UTF-8 on Linux; JSON must be.
TEST(JsonReport, ReplacesBytesThatAreNotUtf8) {
    EXPECT_EQ(jsonReport({{"r\xE9glages.toml", "", {}}}),
              "{\"files\":[{\"path\":\"r\xEF\xBF\xBDglages.toml\",\"valid\":true,\"diagnostics\":[]}]}\n");
}

}  // namespace
}  // namespace detector_settings
