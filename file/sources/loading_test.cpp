// Settings from the file, the environment and overrides: a value means the
// same whichever source gives it, later sources win, and every problem of
// every source is kept with its origin.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "file/base/texts_test_support.h"
#include "file/read/internal/settings_reader.h"
#include "settings/message_text.h"
#include "settings/sources.h"
#include "settings/table.h"

namespace settings {

using namespace settings::file_internal;

inline void PrintTo(const SourcedProblem& p, std::ostream* out) {
    *out << sourceKindName(p.source.kind) << " " << p.source.name << ": ";
    PrintTo(p.problem, out);
}

namespace {

enum class Given { file, environment, commandLine };
constexpr std::array kEverySource = {Given::file, Given::environment, Given::commandLine};

// The file of one setting: "[audio]\nbufferSizeMs = 20\n".
std::string fileOf(std::string_view keyPath, std::string_view value) {
    const std::string_view section = sectionOf(keyPath);
    return concatenate(
        {section.empty() ? "" : "[", section, section.empty() ? "" : "]\n", memberNameOf(keyPath), " = ", value, "\n"});
}

// The sources with `value` for `keyPath` given by `source` alone.
SettingsSources givenBy(Given source, std::string_view keyPath, std::string_view value) {
    SettingsSources sources;
    if (source == Given::file) {
        sources.file = SettingsFileText{"settings.toml", {fileOf(keyPath, value), std::nullopt}};
    } else if (source == Given::environment) {
        sources.environment = {concatenate({environmentName(keyPath), "=", value})};
    } else {
        sources.overrides = {concatenate({keyPath, "=", value})};
    }
    return sources;
}

// For each row, values that keep its rules and values that break them or are
// not what it holds, all written as TOML writes values.
struct RowValues {
    std::string keyPath;
    std::vector<std::string> valid;
    std::vector<std::string> invalid;
};

std::vector<RowValues> valuesOfEveryRow() {
    std::vector<RowValues> rows;
    forEachSetting([&](const auto& row) {
        RowValues values{std::string(row.keyPath), {}, {}};
        if constexpr (std::decay_t<decltype(row)>::type == ValueType::text ||
                      std::decay_t<decltype(row)>::type == ValueType::wideText) {
            values.valid = {R"("USB Mic")", R"('C:\data')", R"("\u8a2d\u5b9a")"};
            values.invalid = {R"("")", "''"};
        } else {
            const Rule& first = row.rules.front();
            const bool real = std::decay_t<decltype(row)>::type == ValueType::real;
            values.valid = {boundText(first.max, std::decay_t<decltype(row)>::type)};
            values.invalid = {
                real ? shortestText(first.max + 0.5) : renderInteger(static_cast<std::int64_t>(first.max) + 1),
                R"("10")",
                "true",
                "[1]",
                "abc",
                "1 2",
                "1979-05-27"};
        }
        rows.push_back(std::move(values));
    });
    return rows;
}

TEST(Sources, AValueMeansTheSameFromEverySource) {
    for (const RowValues& row : valuesOfEveryRow()) {
        for (const std::string& value : row.valid) {
            const LoadedSettings fromFile = loadSettings(givenBy(Given::file, row.keyPath, value));
            ASSERT_TRUE(fromFile.problems.empty()) << row.keyPath << " = " << value;
            ASSERT_FALSE(sameNamedSettings(fromFile.config, Config{}) && row.keyPath != "version") << value;
            for (const Given source : {Given::environment, Given::commandLine}) {
                const LoadedSettings loaded = loadSettings(givenBy(source, row.keyPath, value));
                EXPECT_TRUE(loaded.problems.empty()) << row.keyPath << " = " << value;
                EXPECT_TRUE(sameNamedSettings(loaded.config, fromFile.config)) << row.keyPath << " = " << value;
                EXPECT_EQ(loaded.values.at(rowOf(row.keyPath)).back().value,
                          fromFile.values.at(rowOf(row.keyPath)).back().value);
            }
        }
        for (const std::string& value : row.invalid) {
            const LoadedSettings fromFile = loadSettings(givenBy(Given::file, row.keyPath, value));
            ASSERT_EQ(fromFile.problems.size(), 1U) << row.keyPath << " = " << value;
            for (const Given source : {Given::environment, Given::commandLine}) {
                const LoadedSettings loaded = loadSettings(givenBy(source, row.keyPath, value));
                ASSERT_EQ(loaded.problems.size(), 1U) << row.keyPath << " = " << value;
                const FileProblem& problem = loaded.problems.front().problem;
                EXPECT_EQ(problem.message, fromFile.problems.front().problem.message) << row.keyPath << " = " << value;
                EXPECT_EQ(problem.kind, fromFile.problems.front().problem.kind) << row.keyPath << " = " << value;
                EXPECT_EQ(problem.key, fromFile.problems.front().problem.key);
                EXPECT_EQ(std::pair(problem.line, problem.column), std::pair(0, 0));
                EXPECT_TRUE(sameNamedSettings(loaded.config, fromFile.config)) << row.keyPath << " = " << value;
            }
        }
    }
}

// Text settings also take a value that is not a TOML string as the text itself.
TEST(Sources, TextSettingsTakeWhatIsNotATomlStringAsItIs) {
    const std::array<std::pair<std::string_view, std::string_view>, 5> cases = {{
        {"USB Mic", "USB Mic"},
        {"10", "10"},
        {"'quoted'", "quoted"},
        {"\"USB Mic\" # a TOML comment", "USB Mic"},
        {"\xE8\xA8\xAD\xE5\xAE\x9A", "\xE8\xA8\xAD\xE5\xAE\x9A"},
    }};
    for (const auto& [value, text] : cases) {
        for (const Given source : {Given::environment, Given::commandLine}) {
            const LoadedSettings loaded = loadSettings(givenBy(source, "training.dataFile", value));
            EXPECT_TRUE(loaded.problems.empty()) << value;
            EXPECT_EQ(loaded.config.training.dataFile, text);
            const LoadedSettings wide = loadSettings(givenBy(source, "audio.deviceNamePattern", value));
            EXPECT_EQ(settingValueText(wide.config, "audio.deviceNamePattern"), quotedString(text));
        }
    }
    // A value that opens a string must be one, as in a file, which goes on after it; a section is not a setting.
    for (const std::string_view keyPath : {"training.dataFile", "audio.deviceNamePattern"}) {
        for (const std::string_view value : {R"("unterminated)", R"( "C:\data")", R"('a' 'b')"}) {
            const LoadedSettings fromFile = loadSettings(givenBy(Given::file, keyPath, value));
            const LoadedSettings fromOverride = loadSettings(givenBy(Given::commandLine, keyPath, value));
            ASSERT_EQ(fromOverride.problems.size(), 1U) << value;
            EXPECT_EQ(fromOverride.problems.front().problem.kind, ProblemKind::syntax) << value;
            EXPECT_EQ(fromOverride.problems.front().problem.message,
                      value.starts_with('"') ? "Error while parsing string: encountered the end of the value"
                                             : fromFile.problems.front().problem.message);
        }
    }
    SettingsSources section;
    section.overrides = {"audio=1"};
    EXPECT_EQ(loadSettings(section).problems.front().problem.message, "unknown setting");
    const LoadedSettings empty = loadSettings(givenBy(Given::environment, "training.dataFile", ""));
    ASSERT_EQ(empty.problems.size(), 1U);
    EXPECT_EQ(empty.problems.front().problem.message, "must not be empty");
}

struct OddValueCase {
    std::string name;
    std::string keyPath;
    std::string value;
    ProblemKind kind;
    std::string message;
};

inline std::ostream& operator<<(std::ostream& out, const OddValueCase& c) { return out << c.name; }

class OddValueTest : public testing::TestWithParam<OddValueCase> {};

// Values no file could hold in that place: each is one problem and changes nothing.
TEST_P(OddValueTest, IsOneProblemAndChangesNothing) {
    const OddValueCase& c = GetParam();
    for (const Given source : {Given::environment, Given::commandLine}) {
        const LoadedSettings loaded = loadSettings(givenBy(source, c.keyPath, c.value));
        ASSERT_EQ(loaded.problems.size(), 1U);
        EXPECT_EQ(loaded.problems.front().problem.kind, c.kind);
        EXPECT_EQ(loaded.problems.front().problem.message, c.message);
        EXPECT_TRUE(sameNamedSettings(loaded.config, Config{}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sources, OddValueTest,
    testing::Values(
        // A second line could hold keys of its own: none is read.
        OddValueCase{"second_line", "audio.bufferSizeMs", "20\ndetection.sensitivity = 0.5", ProblemKind::syntax,
                     "a value must be on one line"},
        OddValueCase{"carriage_return", "audio.bufferSizeMs", "20\r", ProblemKind::syntax,
                     "a value must be on one line"},
        OddValueCase{"plain_text_of_two_lines", "audio.deviceNamePattern", "1\n[detection]\nsensitivity=5",
                     ProblemKind::syntax, "a value must be on one line"},
        // A message names what was given, and nothing after it.
        OddValueCase{"nothing", "audio.bufferSizeMs", "", ProblemKind::syntax,
                     "Error while parsing key-value pair: encountered the end of the value"},
        OddValueCase{"unfinished", "detection.sensitivity", "tru", ProblemKind::syntax,
                     "Error while parsing boolean: encountered the end of the value"},
        OddValueCase{"unfinished_hexadecimal", "detection.fftSize", "0x", ProblemKind::syntax,
                     "Error while parsing hexadecimal integer: encountered the end of the value"},
        OddValueCase{"wrong_word", "detection.fftSize", "trux", ProblemKind::syntax,
                     "Error while parsing boolean: expected 'true', saw 'trux'"},
        OddValueCase{
            "deep_array", "detection.sensitivity", test::repeated("[", 100000), ProblemKind::syntax,
            "nests more than 128 levels deep (each part of a dotted key, each array and each inline table is a level)"},
        OddValueCase{"not_utf8_text", "training.dataFile", "\xFF", ProblemKind::type,
                     "must be a string; got text that is not UTF-8"},
        OddValueCase{"too_large_for_the_member", "detection.fftSize", "4294967296", ProblemKind::range,
                     "must be in [512, 8192]; got 4294967296"}),
    [](const testing::TestParamInfo<OddValueCase>& param) { return param.param.name; });

// Defaults, then the file, then the environment, then overrides: for every
// setting and each subset of sources (every pair among them), the last one
// present decides, and each one is listed. Values that break a rule are taken
// as well, so any three distinct values serve.
TEST(Sources, LaterSourcesOverrideEarlierOnes) {
    forEachSetting([](const auto& row) {
        const std::string_view keyPath = row.keyPath;
        constexpr ValueType type = std::decay_t<decltype(row)>::type;
        const std::array<std::string_view, 3> values =
            type == ValueType::integer ? std::array<std::string_view, 3>{"20", "30", "40"}
            : type == ValueType::real
                ? std::array<std::string_view, 3>{"0.25", "0.5", "0.75"}
                : std::array<std::string_view, 3>{R"("File")", "Environment", R"("Command line")"};
        for (unsigned subset = 0; subset < 8U; ++subset) {
            SettingsSources sources;
            std::vector<std::string> expected;
            for (std::size_t index = 0; index < kEverySource.size(); ++index) {
                if ((subset & (1U << index)) == 0) {
                    continue;
                }
                const SettingsSources one = givenBy(kEverySource.at(index), keyPath, values.at(index));
                sources.file = one.file ? one.file : sources.file;
                sources.environment.insert(sources.environment.end(), one.environment.begin(), one.environment.end());
                sources.overrides.insert(sources.overrides.end(), one.overrides.begin(), one.overrides.end());
                const std::vector<SettingValue> taken = loadSettings(one).values.at(rowOf(keyPath));
                expected.push_back(taken.empty() ? "(not taken)" : taken.back().value);
            }
            // An unrelated setting from every source stays as each gives it.
            const std::string_view other =
                keyPath == "training.dataFile" ? "audio.deviceNamePattern" : "training.dataFile";
            sources.environment.push_back(environmentName(other) + "=env.bin");
            const LoadedSettings loaded = loadSettings(sources);
            std::vector<std::string> listed;
            for (const SettingValue& value : loaded.values.at(rowOf(keyPath))) {
                listed.push_back(value.value);
            }
            EXPECT_EQ(listed, expected) << keyPath << ", sources " << subset;
            EXPECT_EQ(settingValueText(loaded.config, keyPath),
                      expected.empty() ? settingValueText(Config{}, keyPath) : expected.back())
                << keyPath << ", sources " << subset;
            EXPECT_EQ(settingValueText(loaded.config, other), "\"env.bin\"");
        }
    });
}

TEST(Sources, OriginsNameTheSourceAndTheFilePosition) {
    SettingsSources sources;
    sources.file = SettingsFileText{"dir/settings.toml", {"[audio]\nbufferSizeMs = 20\n", std::nullopt}};
    sources.environment = {"DETECTOR_AUDIO_BUFFER_SIZE_MS=30"};
    sources.overrides = {" audio.bufferSizeMs =40"};
    const LoadedSettings loaded = loadSettings(sources);
    const std::vector<SettingValue> expected = {
        {{SourceKind::file, "dir/settings.toml"}, 2, 16, "20"},
        {{SourceKind::environment, "DETECTOR_AUDIO_BUFFER_SIZE_MS"}, 0, 0, "30"},
        {{SourceKind::commandLine, " audio.bufferSizeMs =40"}, 0, 0, "40"},
    };
    EXPECT_EQ(loaded.values.at(rowOf("audio.bufferSizeMs")), expected);
    EXPECT_EQ(loaded.config.audio.bufferSizeMs, 40);
}

// A value its member cannot hold leaves the earlier source's in the record; a
// value that breaks a rule is taken, as a file's is, and reported.
TEST(Sources, EveryProblemIsKeptAndOnlyValuesThatFitAreTaken) {
    SettingsSources sources;
    sources.file = SettingsFileText{"settings.toml", {"[audio]\nbufferSizeMs = 0\nbogus = 1\n", std::nullopt}};
    sources.environment = {"DETECTOR_AUDIO_BUFFER_SIZE_MS=\"20\"", "DETECTOR_DETECTION_FFT_SIZE=1000",
                           "DETECTOR_AUDIO_BUFER_SIZE_MS=20"};
    sources.overrides = {"detection.sensitivity", "sensitivity=0.8", "detection.cooldownMs=99"};
    const LoadedSettings loaded = loadSettings(sources);
    const std::vector<SourcedProblem> expected = {
        {{SourceKind::file, "settings.toml"},
         {"audio.bufferSizeMs", ProblemKind::range, "must be in [5, 100]; got 0", 2, 16}},
        {{SourceKind::file, "settings.toml"}, {"audio.bogus", ProblemKind::unknown, "unknown setting", 3, 1}},
        {{SourceKind::environment, "DETECTOR_AUDIO_BUFER_SIZE_MS"},
         {"", ProblemKind::unknown, "unknown setting; did you mean DETECTOR_AUDIO_BUFFER_SIZE_MS?", 0, 0,
          Severity::warning}},
        {{SourceKind::environment, "DETECTOR_AUDIO_BUFFER_SIZE_MS"},
         {"audio.bufferSizeMs", ProblemKind::type, "must be an integer; got a string", 0, 0}},
        {{SourceKind::environment, "DETECTOR_DETECTION_FFT_SIZE"},
         {"detection.fftSize", ProblemKind::powerOfTwo, "must be a power of 2; got 1000", 0, 0}},
        {{SourceKind::commandLine, "detection.sensitivity"}, {"", ProblemKind::syntax, "expected KEY=VALUE", 0, 0}},
        {{SourceKind::commandLine, "sensitivity=0.8"},
         {"sensitivity", ProblemKind::unknown, "unknown setting; did you mean detection.sensitivity?", 0, 0}},
        {{SourceKind::commandLine, "detection.cooldownMs=99"},
         {"detection.cooldownMs", ProblemKind::range, "must be in [100, 2000]; got 99", 0, 0}},
    };
    EXPECT_EQ(loaded.problems, expected);
    EXPECT_EQ(loaded.config.audio.bufferSizeMs, 0);
    EXPECT_EQ(loaded.config.detection.fftSize, 1000);
    EXPECT_EQ(loaded.config.detection.cooldownMs, 99);
}

TEST(Sources, AFileThatCannotBeReadIsAProblemOfTheFile) {
    SettingsSources sources;
    sources.file = SettingsFileText{"missing.toml", readSettingsText(std::filesystem::path("no/such/settings.toml"))};
    sources.overrides = {"audio.bufferSizeMs=20"};
    const LoadedSettings loaded = loadSettings(sources);
    ASSERT_EQ(loaded.problems.size(), 1U);
    EXPECT_EQ(loaded.problems.front().source, (Source{SourceKind::file, "missing.toml"}));
    EXPECT_EQ(loaded.problems.front().problem.kind, ProblemKind::file);
    EXPECT_EQ(loaded.config.audio.bufferSizeMs, 20);
}

// A variable one edit away from a setting's, after the prefix, is suggested
// that setting's, as a warning: it may be another program's, and the settings
// stay valid. One that differs in case alone is the setting's where the
// system ignores case (Windows), and elsewhere says that case counts.
TEST(Sources, AMisspelledVariableIsAWarningWithTheRightSuggestion) {
    for (const std::string_view keyPath : kKeyPaths) {
        const std::string name = environmentName(keyPath);
        std::vector<std::string> misspellings;
        for (std::size_t at = kEnvironmentPrefix.size(); at < name.size(); ++at) {
            misspellings.push_back(std::string(name).erase(at, 1));
            misspellings.push_back(std::string(name).replace(at, 1, name[at] == 'Q' ? "X" : "Q"));
            misspellings.push_back(std::string(name).insert(at, "Q"));
        }
        misspellings.push_back(name + "S");
        for (const std::string& misspelled : misspellings) {
            SettingsSources sources;
            sources.environment = {misspelled + "=1"};
            const LoadedSettings loaded = loadSettings(sources);
            ASSERT_EQ(loaded.problems.size(), 1U) << misspelled;
            EXPECT_EQ(loaded.problems.front().problem,
                      (FileProblem{"", ProblemKind::unknown, "unknown setting; did you mean " + name + "?", 0, 0,
                                   Severity::warning}))
                << misspelled;
            EXPECT_FALSE(anyError(loaded.problems));
        }
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](char c) { return static_cast<char>(std::tolower(c)); });
        for (const bool caseSensitive : {true, false}) {
            SettingsSources sources;
            sources.environment = {lower + "=" + settingValueText(Config{}, keyPath).value_or("")};
            sources.caseSensitiveVariables = caseSensitive;
            const LoadedSettings loaded = loadSettings(sources);
            if (caseSensitive) {
                ASSERT_EQ(loaded.problems.size(), 1U) << lower;
                EXPECT_EQ(loaded.problems.front().problem.message,
                          "unknown setting; did you mean " + name + "? names are case-sensitive");
                EXPECT_EQ(loaded.problems.front().problem.severity, Severity::warning);
            } else {
                EXPECT_TRUE(loaded.problems.empty()) << lower;
                ASSERT_EQ(loaded.values.at(rowOf(keyPath)).size(), 1U) << lower;
                EXPECT_EQ(loaded.values.at(rowOf(keyPath)).back().source.name, lower);
            }
        }
    }
    // By default, as the platform has it: Windows alone ignores the case of a variable's name.
    SettingsSources platform;
    platform.environment = {"detector_detection_sensitivity=0.25"};
    const bool windows = std::filesystem::path::preferred_separator == '\\';
    EXPECT_EQ(loadSettings(platform).problems.empty(), windows);
}

// What a real environment holds besides: nothing of it is a problem.
TEST(Sources, AnUnrelatedEnvironmentGivesNoProblem) {
    SettingsSources sources;
    sources.environment = {"PATH=/usr/local/bin:/usr/bin:/bin",
                           "HOME=/home/detector",
                           "LANG=C.UTF-8",
                           "=C:=C:\\detector",
                           "NO_EQUALS_SIGN",
                           "DETECTOR=1",
                           "DETECTORS_COUNT=2",
                           "DETECTOR~X=1",
                           "XDG_RUNTIME_DIR=/run/user/1000",
                           "DETECTOR_AUDIO_BUFFER_SIZE_MS=20"};
    for (int index = 0; index < 200; ++index) {
        sources.environment.push_back("VARIABLE_" + std::to_string(index) + "=value with = signs and \xFF bytes");
    }
    const LoadedSettings loaded = loadSettings(sources);
    EXPECT_TRUE(loaded.problems.empty());
    EXPECT_EQ(loaded.config.audio.bufferSizeMs, 20);
}

// An override's key is a key path, blanks around it left out.
TEST(Sources, OverrideKeysAreKeyPaths) {
    SettingsSources sources;
    sources.overrides = {" =1", "\taudio.bufferSizeMs\t=20", "audio.\"bufferSizeMs\"=30", "=2"};
    const LoadedSettings loaded = loadSettings(sources);
    ASSERT_EQ(loaded.problems.size(), 3U);
    EXPECT_EQ(loaded.problems.at(0).problem, (FileProblem{"", ProblemKind::unknown, "unknown setting", 0, 0}));
    EXPECT_EQ(loaded.problems.at(1).problem.key, "audio.\"bufferSizeMs\"");
    EXPECT_EQ(loaded.problems.at(2).source.name, "=2");
    EXPECT_EQ(loaded.config.audio.bufferSizeMs, 20);
}

// Every setting's value as TOML writes it, and none for a key path of no setting.
TEST(Sources, SettingValueTextWritesEverySetting) {
    std::vector<std::string> written;
    for (const std::string_view keyPath : kKeyPaths) {
        written.push_back(settingValueText(Config{}, keyPath).value_or("?"));
    }
    EXPECT_EQ(written, (std::vector<std::string>{"1", R"("Beyond")", "10", "0.7", "300", "300", "2048",
                                                 R"("training_data.bin")"}));
    EXPECT_EQ(settingValueText(Config{}, "audio"), std::nullopt);
}

// A name too long to measure is not close to anything.
TEST(Sources, NamesTooLongToMeasureAreNotSuggested) {
    const std::vector<std::string> names = {std::string(100, 'X'), "DETECTOR_VERSION"};
    EXPECT_EQ(closestName(std::string(100, 'X'), names), std::nullopt);
    EXPECT_EQ(closestName("DETECTOR_VERSIO", names), std::optional<std::size_t>(1));
}

// Variables are taken in order of their names, so both platforms' orders give
// the same problems; a variable given twice counts as given last.
TEST(Sources, VariablesAreTakenInOrderOfTheirNames) {
    SettingsSources sources;
    sources.environment = {"DETECTOR_Z=1", "DETECTOR_DETECTION_COOLDOWN_MS=300", "DETECTOR_A=1",
                           "DETECTOR_DETECTION_COOLDOWN_MS=400"};
    const LoadedSettings loaded = loadSettings(sources);
    ASSERT_EQ(loaded.problems.size(), 2U);
    EXPECT_EQ(loaded.problems.at(0).source.name, "DETECTOR_A");
    EXPECT_EQ(loaded.problems.at(1).source.name, "DETECTOR_Z");
    EXPECT_EQ(loaded.config.detection.cooldownMs, 400);
}

// The process's own variables, outside ASCII too: on Windows they are UTF-16.
TEST(ProcessEnvironment, HoldsEveryVariableAsUtf8) {
#ifdef _WIN32
    ASSERT_EQ(_wputenv_s(L"DETECTOR_SETTINGS_TEST_NAME", L"USB-\u30DE\u30A4\u30AF"), 0);
#else
    ASSERT_EQ(setenv("DETECTOR_SETTINGS_TEST_NAME", "USB-\xE3\x83\x9E\xE3\x82\xA4\xE3\x82\xAF", 1), 0);
#endif
    const std::vector<std::string> environment = processEnvironment();
    EXPECT_NE(std::find(environment.begin(), environment.end(),
                        "DETECTOR_SETTINGS_TEST_NAME=USB-\xE3\x83\x9E\xE3\x82\xA4\xE3\x82\xAF"),
              environment.end());
}

}  // namespace
}  // namespace settings
