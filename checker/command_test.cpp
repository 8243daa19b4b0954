// The command run in-process, on files in place of the standard streams.
#include "command.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace checker {
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
Outcome runChecker(std::vector<std::string> arguments, const std::string& input = {}) {
    const File in = temporaryFile();
    const File out = temporaryFile();
    const File err = temporaryFile();
    if (!in || !out || !err) {
        return {};
    }
    EXPECT_EQ(std::fwrite(input.data(), 1, input.size(), in.get()), input.size());
    std::rewind(in.get());
    arguments.insert(arguments.begin(), "detector-settings");
    const int status = run(arguments, {in.get(), out.get(), err.get()});
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
    const Outcome outcome = runChecker(GetParam().arguments);
    EXPECT_EQ(outcome.status, kUsageOrFileError);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "detector-settings: " + std::string(GetParam().cause) + " (see detector-settings --help)\n");
}

INSTANTIATE_TEST_SUITE_P(
    Usage, UsageTest,
    testing::Values(UsageCase{"NoCommand", {}, "A subcommand is required"},
                    UsageCase{"NoFile", {"check"}, "FILE is required"},
                    UsageCase{"UnknownFormat", {"check", "--format", "xml", "-"}, "--format: xml not in {text,json}"},
                    UsageCase{"UnknownOption", {"check", "--bogus", "-"}, "unknown option: --bogus"},
                    UsageCase{"UnknownOptionInsteadOfFile", {"check", "-x"}, "unknown option: -x"},
                    UsageCase{"UnknownOptionBeforeCommand", {"-x", "check", "-"}, "unknown option: -x"},
                    UsageCase{"UnknownCommand", {"lint"}, "unknown command: lint"},
                    UsageCase{"UnexpectedArgument", {"defaults", "extra"}, "unexpected argument: extra"},
                    UsageCase{"UnexpectedStandardInput", {"schema", "-"}, "unexpected argument: -"},
                    UsageCase{"UnexpectedAfterDoubleDash", {"defaults", "--", "x"}, "unexpected argument: x"},
                    UsageCase{"NoFileAfterDoubleDash", {"check", "--"}, "FILE is required"},
                    UsageCase{
                        "StandardInputTwice", {"check", "-", "--", "-"}, "standard input (-) can be checked only once"},
                    // A cause that holds control characters is shown escaped, on one line.
                    UsageCase{"ControlCharacters", {"bogus\n\x1B[2J"}, "unknown command: bogus\\u000A\\u001B[2J"}),
    [](const testing::TestParamInfo<UsageCase>& usage) { return usage.param.name; });

TEST(Command, ChecksStandardInput) {
    const Outcome valid = runChecker({"check", "-"}, "version = 1\n");
    EXPECT_EQ(valid.status, kAllValid);
    EXPECT_EQ(valid.err, "");
    const Outcome invalid = runChecker({"check", "--format", "json", "-"}, "version = 2\n");
    EXPECT_EQ(invalid.status, kProblemsFound);
    EXPECT_EQ(invalid.out,
              R"({"files":[{"path":"<stdin>","valid":false,"diagnostics":[{"line":1,"column":11,"key":"version",)"
              R"("rule":"equals","message":"must equal 1; got 2"}]}]})"
              "\n");
}

// What defaults writes is a valid file, and the schema is one JSON document.
TEST(Command, DefaultsPassCheck) {
    const Outcome defaults = runChecker({"defaults"});
    EXPECT_EQ(defaults.status, kAllValid);
    const Outcome checked = runChecker({"check", "-"}, defaults.out);
    EXPECT_EQ(checked.status, kAllValid) << checked.err;
    const Outcome schema = runChecker({"schema"});
    EXPECT_EQ(schema.status, kAllValid);
    EXPECT_TRUE(schema.out.starts_with("{\n") && schema.out.ends_with("}\n")) << schema.out;
}

}  // namespace
}  // namespace checker
