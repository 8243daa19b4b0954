// The command run in-process, on files in place of the standard streams.
#include "run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "diagnostics.h"
#include "settings/sources.h"
#include "settings/table.h"
#include "settings/version.h"

namespace command {
namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

using File = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

File temporaryFile() {
    File file(std::tmpfile(), &std::fclose);
    EXPECT_NE(file, nullptr);
    return file;
}

std::string contents(std::FILE* file) {
    std::rewind(file);
    std::string text;
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
        text += static_cast<char>(c);
    }
    return text;
}

// Runs the command on `arguments`, with `input` as standard input.
Outcome runInProcess(std::vector<std::string> arguments, const std::string& input = {},
                     const std::vector<std::string>& environment = {}) {
    const File in = temporaryFile();
    const File out = temporaryFile();
    const File err = temporaryFile();
    if (!in || !out || !err) {
        return {};
    }
    EXPECT_EQ(std::fwrite(input.data(), 1, input.size(), in.get()), input.size());
    std::rewind(in.get());
    arguments.insert(arguments.begin(), "detector-settings");
    const int status = run(arguments, environment, {in.get(), Output(out.get()), Output(err.get())});
    return {status, contents(out.get()), contents(err.get())};
}

struct UsageCase {
    const char* name;
    std::vector<std::string> arguments;
    const char* cause;
};

class UsageTest : public testing::TestWithParam<UsageCase> {};

// A usage error is one line that names its cause, and status 2; nothing is checked or written.
TEST_P(UsageTest, NamesTheCause) {
    const Outcome outcome = runInProcess(GetParam().arguments);
    EXPECT_EQ(outcome.status, kUsageOrFileError);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "detector-settings: " + std::string(GetParam().cause) + " (see detector-settings --help)\n");
}

INSTANTIATE_TEST_SUITE_P(
    Usage, UsageTest,
    testing::Values(
        UsageCase{"NoCommand", {}, "A subcommand is required"}, UsageCase{"NoFile", {"check"}, "FILE is required"},
        UsageCase{"UnknownFormat", {"check", "--format", "xml", "-"}, "--format: xml not in {text,json,sarif,github}"},
        UsageCase{"UnknownOption", {"check", "--bogus", "-"}, "unknown option: --bogus"},
        UsageCase{"UnknownOptionInsteadOfFile", {"check", "-x"}, "unknown option: -x"},
        UsageCase{"UnknownOptionBeforeCommand", {"-x", "check", "-"}, "unknown option: -x"},
        UsageCase{"UnknownCommand", {"lint"}, "unknown command: lint"},
        UsageCase{"UnexpectedArgument", {"defaults", "extra"}, "unexpected argument: extra"},
        UsageCase{"UnexpectedStandardInput", {"schema", "-"}, "unexpected argument: -"},
        UsageCase{"UnexpectedAfterDoubleDash", {"defaults", "--", "x"}, "unexpected argument: x"},
        UsageCase{"NoFileAfterDoubleDash", {"check", "--"}, "FILE is required"},
        UsageCase{"NoWatchedFileAfterDoubleDash", {"watch", "--"}, "FILE is required"},
        UsageCase{"TwoWatchedFiles", {"watch", "a.toml", "--", "b.toml"}, "unexpected argument: b.toml"},
        UsageCase{"NoEditAfterDoubleDash", {"set", "--", "a.toml"}, "KEY=VALUE is required"},
        UsageCase{"NoKeyAfterDoubleDash", {"unset", "a.toml", "--"}, "KEY is required"},
        UsageCase{"NoEditedFileAfterDoubleDash", {"unset", "--"}, "FILE is required"},
        UsageCase{"StandardInputTwice", {"check", "-", "--", "-"}, "standard input (-) can be checked only once"},
        UsageCase{"SetWithoutValue",
                  {"check", "--set", "detection.sensitivity", "-"},
                  "--set takes KEY=VALUE, not detection.sensitivity"},
        UsageCase{"SetWithoutArgument", {"check", "-", "--set"}, "--set: 1 required KEY=VALUE missing"},
        // A --set whose value was forgotten takes the file or the key after it.
        UsageCase{"SetTookTheFile", {"check", "--set", "good.toml"}, "--set takes KEY=VALUE, not good.toml"},
        UsageCase{"SetTookTheWatchedFile", {"watch", "--set", "good.toml"}, "--set takes KEY=VALUE, not good.toml"},
        UsageCase{"SetTookTheKey", {"explain", "--set", "version"}, "--set takes KEY=VALUE, not version"},
        UsageCase{"EditOfStandardInput", {"set", "-", "version=1"}, "standard input (-) cannot be edited"},
        UsageCase{"ExplainWithoutKey", {"explain"}, "KEY is required"},
        UsageCase{"ExplainUnknownKey",
                  {"explain", "audio.bufferSizeMs", "sensitivity"},
                  "sensitivity: unknown setting; did you mean detection.sensitivity?"},
        UsageCase{"ExplainMalformedSet", {"explain", "--set", "x", "version"}, "--set takes KEY=VALUE, not x"},
        UsageCase{
            "ExplainUnknownFormat", {"explain", "--format", "sarif", "version"}, "--format: sarif not in {text,json}"},
        // A cause that holds control characters is shown escaped, on one line.
        UsageCase{"ControlCharacters", {"bogus\n\x1B[2J"}, "unknown command: bogus\\u000A\\u001B[2J"}),
    [](const testing::TestParamInfo<UsageCase>& usage) { return usage.param.name; });

TEST(Command, ChecksStandardInput) {
    const Outcome valid = runInProcess({"check", "-"}, "version = 1\n");
    EXPECT_EQ(valid.status, kAllValid);
    EXPECT_EQ(valid.err, "");
    const Outcome invalid = runInProcess({"check", "--format", "json", "-"}, "version = 2\n");
    EXPECT_EQ(invalid.status, kProblemsFound);
    EXPECT_EQ(
        invalid.out,
        R"({"files":[{"path":"<stdin>","valid":false,"diagnostics":[{"line":1,"column":11,"key":"version",)"
        R"("rule":"equals","severity":"error","message":"must equal 1; got 2","origin":{"kind":"file","name":"<stdin>"}}]}]})"
        "\n");
}

const std::vector<std::string> kEnvironment = {"HOME=/home/detector", "DETECTOR_AUDIO_BUFFER_SIZE_MS=30",
                                               "DETECTOR_DETECTION_COOLDOWN_MS=50", "DETECTOR_AUDIO_BUFER_SIZE_MS=1"};

// The environment and each --set are judged with the file; --set takes one
// value each time, so a file after it is still a file.
TEST(Command, ChecksTheFileWithTheEnvironmentAndOverrides) {
    const Outcome outcome = runInProcess(
        {"check", "--set", "detection.cooldownMs=300", "--set", "audio.bufferSizeMs=0", "-", "--set", "sensitivity=1"},
        "[audio]\nbufferSizeMs = 20\n", kEnvironment);
    EXPECT_EQ(outcome.status, kProblemsFound);
    EXPECT_EQ(outcome.err,
              "DETECTOR_AUDIO_BUFER_SIZE_MS: warning: unknown setting; did you mean DETECTOR_AUDIO_BUFFER_SIZE_MS?\n"
              "DETECTOR_DETECTION_COOLDOWN_MS: error: detection.cooldownMs: must be in [100, 2000]; got 50\n"
              "--set audio.bufferSizeMs=0: error: audio.bufferSizeMs: must be in [5, 100]; got 0\n"
              "--set sensitivity=1: error: sensitivity: unknown setting; did you mean detection.sensitivity?\n");
    const Outcome ignored = runInProcess({"check", "--no-env", "-"}, "[audio]\nbufferSizeMs = 20\n", kEnvironment);
    EXPECT_EQ(ignored.status, kAllValid);
    EXPECT_EQ(ignored.err, "");
}

TEST(Command, WritesSarifAndGithubAnnotations) {
    // A valid file has no result; an invalid one the problems that loading gives, and no other text.
    EXPECT_EQ(runInProcess({"check", "--format", "sarif", "--no-env", "-"}, "version = 1\n", kEnvironment).out,
              sarifLogStart(settings::kVersion) + std::string(kSarifLogEnd));
    const Outcome sarif = runInProcess({"check", "--format", "sarif", "-"}, "version = 2\n", kEnvironment);
    settings::SettingsSources sources;
    sources.file = settings::SettingsFileText{"<stdin>", {"version = 2\n", std::nullopt}};
    sources.environment = kEnvironment;
    const std::vector<settings::SourcedProblem> problems = settings::loadSettings(sources).problems;
    EXPECT_EQ(problems.size(), 3U);
    EXPECT_EQ(sarif.out, sarifLogStart(settings::kVersion) + sarifResults(problems) + std::string(kSarifLogEnd));
    EXPECT_EQ(sarif.status, kProblemsFound);
    EXPECT_EQ(sarif.err, "");
    const Outcome github = runInProcess({"check", "--format", "github", "--no-env", "-"}, "version = 2\n");
    EXPECT_EQ(github.out, "::error file=<stdin>,line=1,col=11::version: must equal 1; got 2\n");
    EXPECT_EQ(github.status, kProblemsFound);
}

// A DETECTOR_ variable that names no setting may be another program's: told, and no failure.
TEST(Command, WarningsAloneFailNothing) {
    const std::vector<std::string> environment = {"DETECTOR_HOME=/opt/detector"};
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"check", "-"}, {"check", "--format", "json", "-"}, {"explain", "version"}}) {
        const Outcome outcome = runInProcess(arguments, "version = 1\n", environment);
        EXPECT_EQ(outcome.status, kAllValid) << arguments.at(0);
        EXPECT_NE((outcome.out + outcome.err).find("warning"), std::string::npos) << arguments.at(0);
    }
}

TEST(Command, ExplainsWhereEachValueCameFrom) {
    const Outcome text = runInProcess(
        {"explain", "--file", "-", "--set", "audio.bufferSizeMs=40", "audio.bufferSizeMs", "detection.sensitivity"},
        "[audio]\nbufferSizeMs = 20\n", {"DETECTOR_AUDIO_BUFFER_SIZE_MS=30"});
    EXPECT_EQ(text.status, kAllValid);
    EXPECT_EQ(text.out,
              "audio.bufferSizeMs = 40\n"
              "  origin:   --set audio.bufferSizeMs=40\n"
              "  sources:  20 from <stdin>:2:16\n"
              "            30 from DETECTOR_AUDIO_BUFFER_SIZE_MS\n"
              "            40 from --set audio.bufferSizeMs=40\n"
              "  default:  10\n"
              "  rules:    must be in [5, 100]\n"
              "  meaning:  capture buffer length, in milliseconds\n"
              "  variable: DETECTOR_AUDIO_BUFFER_SIZE_MS\n"
              "  applies:  at restart\n"
              "\n"
              "detection.sensitivity = 0.7\n"
              "  origin:   default\n"
              "  sources:  none\n"
              "  default:  0.7\n"
              "  rules:    must be in [0.0, 1.0]\n"
              "  meaning:  detection sensitivity, from 0.0 to 1.0\n"
              "  variable: DETECTOR_DETECTION_SENSITIVITY\n"
              "  applies:  live\n");
    EXPECT_EQ(text.err, "");
    const Outcome json = runInProcess({"explain", "--format", "json", "--set", "detection.sensitivity=nan",
                                       "detection.sensitivity", "training.dataFile"},
                                      "", {"DETECTOR_TRAINING_DATA_FILE=d\xC3\xA9.bin"});
    EXPECT_EQ(json.status, kProblemsFound);
    EXPECT_EQ(
        json.out,
        R"({"settings":[{"key":"detection.sensitivity","value":"nan",)"
        R"("origin":{"kind":"command line","name":"detection.sensitivity=nan","line":0,"column":0},)"
        R"("sources":[{"kind":"command line","name":"detection.sensitivity=nan","line":0,"column":0,"value":"nan"}],)"
        R"("default":0.7,"rules":"must be in [0.0, 1.0]","meaning":"detection sensitivity, from 0.0 to 1.0",)"
        R"("variable":"DETECTOR_DETECTION_SENSITIVITY","applies":"live"},)"
        R"({"key":"training.dataFile","value":"dé.bin",)"
        R"("origin":{"kind":"environment","name":"DETECTOR_TRAINING_DATA_FILE","line":0,"column":0},)"
        R"("sources":[{"kind":"environment","name":"DETECTOR_TRAINING_DATA_FILE","line":0,"column":0,)"
        R"("value":"dé.bin"}],"default":"training_data.bin","rules":"must not be empty",)"
        R"("meaning":"path of the training data file","variable":"DETECTOR_TRAINING_DATA_FILE","applies":"at restart"}],)"
        R"("valid":false,"diagnostics":[)"
        R"({"line":0,"column":0,"key":"detection.sensitivity","rule":"range","severity":"error","message":"must be in [0.0, 1.0]; got nan",)"
        R"("origin":{"kind":"command line","name":"detection.sensitivity=nan"}}]})"
        "\n");
}

// Every setting can be explained; reals JSON has no number for are strings.
TEST(Command, ExplainsEverySetting) {
    std::vector<std::string> arguments = {"explain", "--format", "json", "--set", "detection.sensitivity=inf"};
    arguments.insert(arguments.end(), settings::kKeyPaths.begin(), settings::kKeyPaths.end());
    const Outcome json = runInProcess(arguments);
    EXPECT_EQ(json.status, kProblemsFound);
    for (const std::string_view keyPath : settings::kKeyPaths) {
        EXPECT_NE(json.out.find(R"({"key":")" + std::string(keyPath) + "\""), std::string::npos) << keyPath;
    }
    EXPECT_NE(json.out.find(R"("value":"inf")"), std::string::npos);
    const Outcome valid = runInProcess({"explain", "--format", "json", "version"});
    EXPECT_EQ(valid.status, kAllValid);
    EXPECT_EQ(valid.out,
              R"({"settings":[{"key":"version","value":1,"origin":{"kind":"default","name":"","line":0,)"
              R"("column":0},"sources":[],"default":1,"rules":"must equal 1",)"
              R"("meaning":"version of the settings layout","variable":"DETECTOR_VERSION","applies":"live"}],)"
              R"("valid":true,"diagnostics":[]})"
              "\n");
}

// What defaults writes is a valid file.
TEST(Command, DefaultsPassCheck) {
    const Outcome defaults = runInProcess({"defaults"});
    EXPECT_EQ(defaults.status, kAllValid);
    const Outcome checked = runInProcess({"check", "-"}, defaults.out);
    EXPECT_EQ(checked.status, kAllValid) << checked.err;
}

}  // namespace
}  // namespace command
