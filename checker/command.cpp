#include "command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>

#include "diagnostics.h"
#include "settings/file.h"
#include "settings/text_lines.h"
#include "settings/version.h"

namespace checker {
namespace {

constexpr std::string_view kProgram = "detector-settings";
constexpr std::string_view kStandardInput = "-";
constexpr std::string_view kStandardInputName = "<stdin>";

// A standard stream whose every write is checked. After the first failure the
// rest are skipped: the output is lost, and the command says so and fails.
// Text streams: on Windows the C runtime writes "\n" as "\r\n".
class Output {
public:
    explicit Output(std::FILE* stream) : stream_(stream) {}

    void write(std::string_view text) {
        if (!failed_ && std::fwrite(text.data(), 1, text.size(), stream_) != text.size()) {
            fail();
        }
    }

    // Flushes what is buffered; false when any write failed.
    bool finish() {
        if (!failed_ && std::fflush(stream_) != 0) {
            fail();
        }
        return !failed_;
    }

    [[nodiscard]] bool failed() const { return failed_; }
    [[nodiscard]] int reason() const { return reason_; }

private:
    void fail() {
        failed_ = true;
        reason_ = errno;
    }

    std::FILE* stream_;
    bool failed_ = false;
    int reason_ = 0;  // the errno of the first failure
};

// Standard output carries what a command writes; standard error, diagnostics and usage errors.
struct Outputs {
    std::FILE* in;
    Output out;
    Output err;
};

int usageError(Output& err, std::string_view message) {
    err.write(std::string(kProgram) + ": " + settings::terminalSafe(message) + " (see " + std::string(kProgram) +
              " --help)\n");
    return kUsageOrFileError;
}

struct CheckedFile {
    std::string name;  // as given, or "<stdin>"
    std::string text;
    std::vector<settings::FileProblem> problems;
};

CheckedFile load(const std::string& argument, std::FILE* standardInput) {
    CheckedFile file;
    settings::SettingsText loaded;
    if (argument == kStandardInput) {
        file.name = kStandardInputName;
        loaded = settings::loadSettingsText(standardInput);
    } else {
        file.name = argument;
        loaded = settings::loadSettingsText(std::filesystem::path(std::u8string(argument.begin(), argument.end())));
    }
    if (loaded.problem) {
        file.problems.push_back(std::move(*loaded.problem));
    } else {
        file.text = std::move(loaded.text);
        file.problems = settings::readSettings(file.text).problems;
    }
    return file;
}

// File by file, each file's problems written before the next is read.
int check(const std::vector<std::string>& arguments, bool json, Outputs& streams) {
    int status = kAllValid;
    if (json) {
        streams.out.write(kJsonReportStart);
    }
    for (const std::string& argument : arguments) {
        if (streams.out.failed() || streams.err.failed()) {
            break;
        }
        const CheckedFile file = load(argument, streams.in);
        const bool unreadable = !file.problems.empty() && file.problems.front().kind == settings::ProblemKind::file;
        status = std::max(status, unreadable ? kUsageOrFileError : file.problems.empty() ? kAllValid : kProblemsFound);
        if (json) {
            streams.out.write(&argument == arguments.data() ? "" : ",");
            streams.out.write(jsonFileReport(file.name, file.problems));
        } else if (!file.problems.empty()) {
            const settings::TextLines lines(file.text);
            for (const settings::FileProblem& problem : file.problems) {
                streams.err.write(textDiagnostic(file.name, problem, lines));
            }
        }
    }
    if (json) {
        streams.out.write(kJsonReportEnd);
    }
    return status;
}

// What is left on the command line once CLI11 has taken what it knows: the first
// one is a usage error, named for what it is.
std::optional<std::string> leftOver(const CLI::App& app, bool commandGiven) {
    for (const std::string& argument : app.remaining(true)) {
        if (argument.size() > 1 && argument.front() == '-') {
            return "unknown option: " + argument;
        }
        return (commandGiven ? "unexpected argument: " : "unknown command: ") + argument;
    }
    return std::nullopt;
}

int runCommand(const std::vector<std::string>& args, Outputs& streams) {
    CLI::App app(
        "Checks settings files of the audio-event detector as a compiler would, and writes the "
        "default settings file and the JSON Schema of settings files.",
        std::string(kProgram));
    app.set_version_flag("--version", std::string(kProgram) + " " + std::string(settings::kVersion));
    app.require_subcommand(1);
    // What CLI11 does not know is collected, and named below by what it is.
    app.allow_extras();
    // On Windows CLI11 would take "/dir/settings.toml" for an option.
    app.allow_windows_style_options(false);

    CLI::App* checkCommand = app.add_subcommand("check", "Report every problem of settings files");
    std::string format = "text";
    checkCommand
        ->add_option("--format", format, "text: diagnostics on standard error; json: one document on standard output")
        ->check(CLI::IsMember({"text", "json"}))
        ->capture_default_str();
    std::vector<std::string> files;
    checkCommand->add_option("FILE", files, "Settings files; - reads standard input (once)");
    CLI::App* defaultsCommand = app.add_subcommand("defaults", "Write the default settings file to standard output");
    CLI::App* schemaCommand =
        app.add_subcommand("schema", "Write the JSON Schema (draft 2020-12) of settings files to standard output");

    // Every argument after "--" is a file; CLI11 would give those after a first
    // file to no command, so it is given only what comes before.
    const auto doubleDash = std::find(args.begin() + std::min<std::ptrdiff_t>(1, std::ssize(args)), args.end(), "--");
    const std::vector<std::string> filesAfterDoubleDash(doubleDash == args.end() ? doubleDash : doubleDash + 1,
                                                        args.end());
    std::vector<const char*> argv;
    std::transform(args.begin(), doubleDash, std::back_inserter(argv),
                   [](const std::string& arg) { return arg.c_str(); });
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::CallForHelp&) {  // GCOVR_EXCL_BR_LINE: other exceptions pass by
        streams.out.write(app.help());
        return kAllValid;
    } catch (const CLI::CallForVersion& version) {
        streams.out.write(std::string(version.what()) + "\n");
        return kAllValid;
    } catch (const CLI::ParseError& error) {
        // A missing command or file is often an unknown one, which is the cause to name.
        return usageError(streams.err, leftOver(app, checkCommand->parsed()).value_or(error.what()));
    }

    if (const std::optional<std::string> unknown = leftOver(app, true)) {
        return usageError(streams.err, *unknown);
    }
    if (!checkCommand->parsed() && !filesAfterDoubleDash.empty()) {
        return usageError(streams.err, "unexpected argument: " + filesAfterDoubleDash.front());
    }
    files.insert(files.end(), filesAfterDoubleDash.begin(), filesAfterDoubleDash.end());
    if (defaultsCommand->parsed()) {
        streams.out.write(settings::writeSettings(settings::Config{}).value_or(""));
    } else if (schemaCommand->parsed()) {
        streams.out.write(settings::writeSettingsSchema());
    } else if (files.empty()) {
        return usageError(streams.err, "FILE is required");
    } else if (std::count(files.begin(), files.end(), kStandardInput) > 1) {
        return usageError(streams.err, "standard input (-) can be checked only once");
    } else {
        return check(files, format == "json", streams);
    }
    return kAllValid;
}

}  // namespace

int run(const std::vector<std::string>& args, Streams streams) {
    // Standard error is unbuffered: a write for every diagnostic would cost more than making it.
    if (streams.err == stderr) {
        static_cast<void>(std::setvbuf(stderr, nullptr, _IOFBF, std::size_t{1} << 16U));
    }
    Outputs outputs{streams.in, Output(streams.out), Output(streams.err)};
    const int status = runCommand(args, outputs);
    if (!outputs.out.finish()) {
        outputs.err.write(std::string(kProgram) +
                          ": cannot write to standard output: " + std::strerror(outputs.out.reason()) + "\n");
        static_cast<void>(outputs.err.finish());
        return kUsageOrFileError;
    }
    return outputs.err.finish() ? status : kUsageOrFileError;
}

}  // namespace checker
