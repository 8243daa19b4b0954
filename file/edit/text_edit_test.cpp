// Edits of a settings text: every layout kept byte for byte but the value,
// problems named by the edit as given, and nothing changed by a value that is
// already in force.
#include "file/edit/internal/text_edit.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "file/base/texts_test_support.h"
#include "settings/edit.h"

namespace settings {

using namespace settings::file_internal;
namespace {

const SettingEdit kSensitivity = SettingEdit::set("detection.sensitivity", "0.8");

struct EditCase {
    std::string name;
    std::string text;
    std::vector<SettingEdit> edits;
    std::string expected;  // the whole new text
};

std::ostream& operator<<(std::ostream& out, const EditCase& c) { return out << c.name; }

class TextEditTest : public testing::TestWithParam<EditCase> {};

TEST_P(TextEditTest, KeepsEveryByteButTheEditedOnes) {
    const TextEdit edit = editSettingsText(GetParam().text, GetParam().edits);
    EXPECT_TRUE(edit.problems.empty()) << edit.problems.front().problem.message;
    EXPECT_EQ(edit.text, GetParam().expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Layouts, TextEditTest, testing::Values(
    EditCase{"header_with_comments",
             "# tuned by hand\n[detection]\n  # how eager\n  sensitivity\t=  0.5   # was 0.4\n\ncooldownMs = 300\n",
             {kSensitivity},
             "# tuned by hand\n[detection]\n  # how eager\n  sensitivity\t=  0.8   # was 0.4\n\ncooldownMs = 300\n"},
    EditCase{"dotted_key", "detection.sensitivity = 0.5\n", {kSensitivity}, "detection.sensitivity = 0.8\n"},
    EditCase{"inline_table", "detection = { sensitivity = 0.5, cooldownMs = 300 }\n", {kSensitivity},
             "detection = { sensitivity = 0.8, cooldownMs = 300 }\n"},
    EditCase{"quoted_keys_crlf_and_bom", "\xEF\xBB\xBF[\"detection\"]\r\n'sensitivity' = 0.5\r\n", {kSensitivity},
             "\xEF\xBB\xBF[\"detection\"]\r\n'sensitivity' = 0.8\r\n"},
    EditCase{"text_outside_ascii", "# r\xC3\xA9glages\n[audio]\ndeviceNamePattern = \"\xC3\xA9\" # \xE8\xA8\xAD\n",
             {SettingEdit::set("audio.deviceNamePattern", "USB \xE3\x83\x9E\xE3\x82\xA4\xE3\x82\xAF")},
             "# r\xC3\xA9glages\n[audio]\ndeviceNamePattern = \"USB \xE3\x83\x9E\xE3\x82\xA4\xE3\x82\xAF\" # \xE8\xA8\xAD\n"},
    EditCase{"multiline_string", "[audio]\ndeviceNamePattern = \"\"\"\nUSB\"\"\"\nbufferSizeMs = 10\n",
             {SettingEdit::set("audio.deviceNamePattern", "a \"b\"")},
             "[audio]\ndeviceNamePattern = \"a \\\"b\\\"\"\nbufferSizeMs = 10\n"},
    EditCase{"absent_after_multiline_string", "[audio]\ndeviceNamePattern = \"\"\"\nUSB\n\"\"\"\n",
             {SettingEdit::set("audio.bufferSizeMs", "20")},
             "[audio]\ndeviceNamePattern = \"\"\"\nUSB\n\"\"\"\nbufferSizeMs = 20\n"},
    // The shortest text that reads back as the value.
    EditCase{"shortest_values", "[detection]\nfftSize = 1024\nsensitivity = 0.5\n",
             {SettingEdit::set("detection.fftSize", "4096.0"), SettingEdit::set("detection.sensitivity", "8e-1")},
             "[detection]\nfftSize = 4096\nsensitivity = 0.8\n"},
    // Absent: after the last setting of its table, lined up with it, in the table's style.
    EditCase{"absent_into_header", "[detection]\n\tcooldownMs = 300 # quiet\n\n[training]\n", {kSensitivity},
             "[detection]\n\tcooldownMs = 300 # quiet\n\tsensitivity = 0.8\n\n[training]\n"},
    EditCase{"absent_into_empty_header", "[detection] # none yet\n[audio]\n", {kSensitivity},
             "[detection] # none yet\nsensitivity = 0.8\n[audio]\n"},
    EditCase{"absent_into_dotted", "detection.cooldownMs = 300\naudio.bufferSizeMs = 10", {kSensitivity},
             "detection.cooldownMs = 300\ndetection.sensitivity = 0.8\naudio.bufferSizeMs = 10"},
    EditCase{"absent_after_last_line_without_end", "[detection]\ncooldownMs = 300", {kSensitivity},
             "[detection]\ncooldownMs = 300\nsensitivity = 0.8\n"},
    EditCase{"several_after_last_line_without_end", "[detection]\nsensitivity = 0.5",
             {SettingEdit::set("detection.minDurationMs", "333"), SettingEdit::set("detection.cooldownMs", "444"),
              SettingEdit::set("training.dataFile", "x")},
             "[detection]\nsensitivity = 0.5\nminDurationMs = 333\ncooldownMs = 444\n\n[training]\ndataFile = \"x\"\n"},
    EditCase{"unset_of_the_default", "[audio]\nbufferSizeMs = 10\n", {SettingEdit::unset("audio.bufferSizeMs")},
             "[audio]\n"},
    EditCase{"absent_section", "# mine\n[audio]\nbufferSizeMs = 10\n",
             {kSensitivity, SettingEdit::set("training.dataFile", "d.bin"), SettingEdit::set("detection.fftSize", "4096")},
             "# mine\n[audio]\nbufferSizeMs = 10\n\n[detection]\nsensitivity = 0.8\nfftSize = 4096\n\n[training]\n"
             "dataFile = \"d.bin\"\n"},
    EditCase{"absent_section_crlf_after_blank", "[audio]\r\nbufferSizeMs = 10\r\n\r\n", {kSensitivity},
             "[audio]\r\nbufferSizeMs = 10\r\n\r\n[detection]\r\nsensitivity = 0.8\r\n"},
    EditCase{"empty_file", "", {kSensitivity}, "[detection]\nsensitivity = 0.8\n"},
    EditCase{"only_comments", "# nothing yet", {kSensitivity}, "# nothing yet\n\n[detection]\nsensitivity = 0.8\n"},
    EditCase{"only_a_byte_order_mark", "\xEF\xBB\xBF", {kSensitivity}, "\xEF\xBB\xBF[detection]\nsensitivity = 0.8\n"},
    EditCase{"only_a_line_end", "\r\n", {kSensitivity}, "\r\n[detection]\r\nsensitivity = 0.8\r\n"},
    EditCase{"first_line_empty", "\n[detection]\n", {kSensitivity}, "\n[detection]\nsensitivity = 0.8\n"},
    // Unset: the line goes, comments on it too; in an inline table the item, with one comma.
    EditCase{"unset_line", "[detection]\n# how eager\nsensitivity = 0.5 # was 0.4\ncooldownMs = 300\n",
             {SettingEdit::unset("detection.sensitivity")}, "[detection]\n# how eager\ncooldownMs = 300\n"},
    EditCase{"unset_first_line_after_bom", "\xEF\xBB\xBFversion = 1\r\n[audio]\r\n", {SettingEdit::unset("version")},
             "\xEF\xBB\xBF[audio]\r\n"},
    EditCase{"unset_inline_items", "detection = { sensitivity = 0.5, cooldownMs = 300, fftSize = 1024 }\n",
             {SettingEdit::unset("detection.cooldownMs"), SettingEdit::unset("detection.fftSize")},
             "detection = { sensitivity = 0.5 }\n"},
    EditCase{"unset_inline_first_and_only", "audio = {bufferSizeMs = 20}\n",
             {SettingEdit::unset("audio.bufferSizeMs")}, "audio = {}\n"},
    EditCase{"unset_then_set_again", "[detection]\nsensitivity = 0.5\n",
             {SettingEdit::unset("detection.sensitivity"), kSensitivity}, "[detection]\nsensitivity = 0.8\n"},
    // A file with a problem that the edit fixes.
    EditCase{"fix", "[audio]\nbufferSizeMs = 0\n", {SettingEdit::set("audio.bufferSizeMs", "20")},
             "[audio]\nbufferSizeMs = 20\n"},
    EditCase{"fix_of_a_type", "[audio]\nbufferSizeMs = \"10\"\n", {SettingEdit::set("audio.bufferSizeMs", "10")},
             "[audio]\nbufferSizeMs = 10\n"}
), [](const testing::TestParamInfo<EditCase>& c) { return c.param.name; });
// clang-format on

// A value in force, spelled otherwise or left to its default, changes nothing.
TEST(TextEdit, AValueInForceChangesNothing) {
    const std::string text = "[detection]\nsensitivity = 0.50 # tuned\n";
    for (const SettingEdit& edit :
         {SettingEdit::set("detection.sensitivity", "5e-1"), SettingEdit::set("detection.cooldownMs", "300"),
          SettingEdit::set("version", "1.0"), SettingEdit::unset("detection.fftSize")}) {
        const TextEdit result = editSettingsText(text, {edit});
        EXPECT_EQ(result.text, text) << edit.given();
        EXPECT_TRUE(result.changes.empty()) << edit.given();
        EXPECT_TRUE(result.problems.empty()) << edit.given();
    }
    const TextEdit changed = editSettingsText(
        text, {SettingEdit::unset("detection.sensitivity"), SettingEdit::set("audio.bufferSizeMs", "20")});
    EXPECT_EQ(changed.changes, (std::vector<SettingChange>{{"detection.sensitivity", "0.5", "0.7"},
                                                           {"audio.bufferSizeMs", "10", "20"}}));
    // Unset of a value equal to its default takes its line, and changes no value in force.
    EXPECT_TRUE(
        editSettingsText("[audio]\nbufferSizeMs = 10\n", {SettingEdit::unset("audio.bufferSizeMs")}).changes.empty());
}

// "KEY=VALUE" splits at the first "=": a value may hold more.
TEST(TextEdit, ParsesAnEditAtItsFirstEquals) {
    for (const auto& [given, keyPath, value] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {" \t=1", "", "1"},
             {" detection.sensitivity =0.8", "detection.sensitivity", "0.8"},
             {"audio.deviceNamePattern=USB=2", "audio.deviceNamePattern", "USB=2"},
             {"training.dataFile==", "training.dataFile", "="}}) {
        const std::optional<SettingEdit> edit = SettingEdit::parse(given);
        ASSERT_TRUE(edit) << given;
        EXPECT_EQ(edit->keyPath, keyPath) << given;
        EXPECT_EQ(edit->value, value) << given;
    }
    EXPECT_EQ(SettingEdit::parse("detection.sensitivity"), std::nullopt);
}

// The new text is judged as the file would be: over the size limit, nothing is written.
TEST(TextEdit, RefusesANewTextOverTheSizeLimit) {
    const std::string text = "# " + std::string(kMaxSettingsFileBytes - 20'000, 'x') + "\n";
    const TextEdit edit =
        editSettingsText(text, {SettingEdit::set("training.dataFile", std::string(20'000, 'd'))}, "s.toml");
    EXPECT_EQ(edit.text, text);
    EXPECT_TRUE(edit.changes.empty());
    EXPECT_EQ(
        edit.problems,
        (std::vector<SourcedProblem>{
            {{SourceKind::file, "s.toml"},
             {"", ProblemKind::file, "would be larger than the limit of 1048576 bytes (1 MiB) once edited", 0, 0}}}));
}

// Before an edit is told, its new text is read back: a text that does not
// hold every setting as intended is refused, whatever made it so.
TEST(TextEdit, RefusesANewTextThatDoesNotReadAsIntended) {
    const std::string text = "[detection]\nsensitivity = 0.5\ncooldownMs = 300\n";
    const TrackedReading before = readSettingsTracked(text);
    const SettingEdit set = SettingEdit::set("detection.sensitivity", "0.8");
    const SettingEdit unset = SettingEdit::unset("detection.sensitivity");
    const std::vector<Planned> setting = {{rowOf("detection.sensitivity"), &set, "0.8"}};
    const std::vector<Planned> unsetting = {{rowOf("detection.sensitivity"), &unset, std::nullopt}};
    for (const auto& [after, planned, wrong] : std::vector<std::tuple<std::string, std::vector<Planned>, std::string>>{
             {"[detection]\nsensitivity = 0.8\ncooldownMs = 300\n", setting, ""},
             {"[detection]\ncooldownMs = 300\n", unsetting, ""},
             {text, setting, "detection.sensitivity the value 0.5"},
             {"[detection]\nsensitivity = 0.8\ncooldownMs = 301\n", setting, "detection.cooldownMs the value 301"},
             {"[detection]\nsensitivity = 0.8\n", setting, "detection.cooldownMs the value 300"},
             {"[detection]\nsensitivity = 0.7\ncooldownMs = 300\n", unsetting, "detection.sensitivity the value 0.7"},
             {text, unsetting, "detection.sensitivity the value 0.5"},
             {"[detection]\nsensitivity = 0.8\ncooldownMs = 300\nminDurationMs = 300\n", setting,
              "detection.minDurationMs the value 300"}}) {
        const std::optional<std::string> refusal = misread(before, readSettingsTracked(after), planned);
        if (wrong.empty()) {
            EXPECT_EQ(refusal, std::nullopt) << after;
        } else {
            EXPECT_NE(refusal.value_or("").find(wrong), std::string::npos) << after << ": " << refusal.value_or("");
        }
    }
}

// Problems: of the edit, named as given; of the new text, at their place in it; and then the old text stays.
TEST(TextEdit, ReportsEveryProblemAndKeepsTheText) {
    const auto problems = [](const std::string& text, const std::vector<SettingEdit>& edits) {
        const TextEdit result = editSettingsText(text, edits, "s.toml");
        EXPECT_EQ(result.text, text);
        EXPECT_TRUE(result.changes.empty());
        return result.problems;
    };
    // A problem the file had stays where the new text has it.
    const TextEdit stays = editSettingsText("[audio]\nbufferSizeMs = 0\n", {kSensitivity}, "s.toml");
    EXPECT_EQ(stays.text, "[audio]\nbufferSizeMs = 0\n\n[detection]\nsensitivity = 0.8\n");
    EXPECT_TRUE(stays.changes.empty());
    // One edit refused: no change of the others is told, as none is written.
    EXPECT_TRUE(editSettingsText("", {kSensitivity, SettingEdit::set("audio.bufferSizeMs", "0")}).changes.empty());
    const Source file{SourceKind::file, "s.toml"};
    EXPECT_EQ(
        problems("", {SettingEdit::set("detection.sensitivity", "1.5"), SettingEdit::set("sensitivity", "0.8")}),
        (std::vector<SourcedProblem>{
            {{SourceKind::commandLine, "detection.sensitivity=1.5"},
             {"detection.sensitivity", ProblemKind::range, "must be in [0.0, 1.0]; got 1.500000", 0, 0}},
            {{SourceKind::commandLine, "sensitivity=0.8"},
             {"sensitivity", ProblemKind::unknown, "unknown setting; did you mean detection.sensitivity?", 0, 0}}}));
    EXPECT_EQ(stays.problems,
              (std::vector<SourcedProblem>{
                  {file, {"audio.bufferSizeMs", ProblemKind::range, "must be in [5, 100]; got 0", 2, 16}}}));
    EXPECT_EQ(problems("[audio\n", {kSensitivity}).at(0).problem.kind, ProblemKind::syntax);
    EXPECT_EQ(problems("detection = { cooldownMs = 300 }\n", {kSensitivity}),
              (std::vector<SourcedProblem>{
                  {{SourceKind::commandLine, "detection.sensitivity=0.8"},
                   {"detection.sensitivity", ProblemKind::syntax,
                    "detection is an inline table, which takes no new key; write it as [detection] to add sensitivity",
                    0, 0}}}));
    EXPECT_EQ(problems("", {SettingEdit::set("audio.bufferSizeMs", "tru")}).at(0).problem.message,
              "Error while parsing boolean: encountered the end of the value");
    // Keys and tables that are no setting's stay, and so do their problems.
    for (const std::string& text :
         std::vector<std::string>{"[detection]\nbogus = 1\n", "[bogus]\n", "a = " + std::string(200, '[')}) {
        const TextEdit edit = editSettingsText(text, {kSensitivity});
        ASSERT_FALSE(edit.problems.empty()) << text;
        EXPECT_EQ(edit.problems.front().source.kind, SourceKind::file) << text;
    }
    // Tables inside a section stand apart from its settings: a header's elsewhere, a dotted one in its place.
    EXPECT_EQ(
        editSettingsText("[audio]\nx.y = 1\n[audio.z]\nw = 2\n", {SettingEdit::set("audio.bufferSizeMs", "20")}).text,
        "[audio]\nx.y = 1\nbufferSizeMs = 20\n[audio.z]\nw = 2\n");
}

}  // namespace
}  // namespace settings
