#include "command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>

#include "diagnostics.h"
#include "explanation.h"
#include "settings/file.h"
#include "settings/sources.h"
#include "settings/text_lines.h"
#include "settings/version.h"
#include "settings/watch.h"
#include "watch_events.h"

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

    // Flushes what is buffered; false when any write failed. Writes may follow.
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

enum class Format { text, json, sarif, github };

// The first key that names no setting, as a usage error.
std::optional<std::string> unknownKey(const std::vector<std::string>& keys) {
    for (const std::string& key : keys) {
        if (settings::rowOf(key) == settings::kSettingCount) {
            return key + ": " + settings::unknownKeyMessage(key);
        }
    }
    return std::nullopt;
}

// What a run checks or explains against: the environment (unless --no-env)
// and the --set overrides, on top of each file.
struct Request {
    Format format = Format::text;
    std::vector<std::string> environment;
    std::vector<std::string> overrides;
};

struct LoadedFile {
    std::string name;  // as given, or "<stdin>"
    settings::SettingsText text;
};

LoadedFile load(const std::string& argument, std::FILE* standardInput) {
    if (argument == kStandardInput) {
        return {std::string(kStandardInputName), settings::loadSettingsText(standardInput)};
    }
    return {argument,
            settings::loadSettingsText(std::filesystem::path(std::u8string(argument.begin(), argument.end())))};
}

settings::SettingsSources sourcesWith(std::optional<LoadedFile> file, const Request& request) {
    settings::SettingsSources sources;
    sources.environment = request.environment;
    sources.overrides = request.overrides;
    if (file) {
        sources.file = settings::SettingsFileText{std::move(file->name), std::move(file->text)};
    }
    return sources;
}

std::string_view fileTextOf(const settings::SettingsSources& sources) {
    return sources.file ? std::string_view(sources.file->content.text) : std::string_view();
}

int statusOf(const std::vector<settings::SourcedProblem>& problems) {
    const bool unreadable = std::any_of(problems.begin(), problems.end(), [](const settings::SourcedProblem& p) {
        return p.problem.kind == settings::ProblemKind::file;
    });
    return unreadable ? kUsageOrFileError : problems.empty() ? kAllValid : kProblemsFound;
}

// Text diagnostics of every source, with the lines of the file's text.
void writeText(Output& err, const std::vector<settings::SourcedProblem>& problems, std::string_view fileText) {
    if (!problems.empty()) {
        const settings::TextLines lines(fileText);
        for (const settings::SourcedProblem& problem : problems) {
            err.write(textDiagnostic(problem, lines));
        }
    }
}

// File by file, each file's problems written before the next is read. The
// environment and the overrides are judged with each file, as the detector
// would judge them with it.
int check(const std::vector<std::string>& arguments, const Request& request, Outputs& streams) {
    int status = kAllValid;
    if (request.format == Format::json) {
        streams.out.write(kJsonReportStart);
    } else if (request.format == Format::sarif) {
        streams.out.write(sarifLogStart(settings::kVersion));
    }
    bool anyResults = false;
    for (const std::string& argument : arguments) {
        if (streams.out.failed() || streams.err.failed()) {
            break;
        }
        const settings::SettingsSources sources = sourcesWith(load(argument, streams.in), request);
        const settings::LoadedSettings loaded = settings::loadSettings(sources);
        const std::string& name = sources.file->name;
        status = std::max(status, statusOf(loaded.problems));
        if (request.format == Format::json) {
            streams.out.write(&argument == arguments.data() ? "" : ",");
            streams.out.write(jsonFileReport(name, loaded.problems));
        } else if (request.format == Format::sarif) {
            if (!loaded.problems.empty()) {
                streams.out.write(anyResults ? "," : "");
                streams.out.write(sarifResults(loaded.problems));
                anyResults = true;
            }
        } else if (request.format == Format::github) {
            streams.out.write(githubAnnotations(loaded.problems));
        } else {
            writeText(streams.err, loaded.problems, fileTextOf(sources));
        }
    }
    streams.out.write(request.format == Format::json    ? kJsonReportEnd
                      : request.format == Format::sarif ? kSarifLogEnd
                                                        : "");
    return status;
}

// Each key's effective value and where it came from, then the problems of every source.
int explain(const std::optional<std::string>& fileArgument, const std::vector<std::string>& keys,
            const Request& request, Outputs& streams) {
    std::optional<LoadedFile> file;
    if (fileArgument) {
        file = load(*fileArgument, streams.in);
    }
    const settings::SettingsSources sources = sourcesWith(std::move(file), request);
    const settings::LoadedSettings loaded = settings::loadSettings(sources);
    if (request.format == Format::json) {
        streams.out.write(jsonExplanation(keys, loaded));
    } else {
        streams.out.write(textExplanation(keys, loaded));
        writeText(streams.err, loaded.problems, fileTextOf(sources));
    }
    return statusOf(loaded.problems);
}

// Set by SIGINT and SIGTERM, which end a watch. The handler may run on any
// thread (on Windows, always on one of its own), so the flag is atomic.
std::atomic<int> interruption{0};
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler may only touch lock-free atomics");

void interrupt(int signal) { interruption.store(signal); }

// What the watch's thread has to say, for the main thread, which alone writes the streams.
class EventLines {
public:
    void add(std::string out, std::string err) {
        const std::scoped_lock lock(mutex_);
        lines_.emplace_back(std::move(out), std::move(err));
        added_.notify_one();
    }

    // The lines there are, waiting for some at most `timeout`.
    std::vector<std::pair<std::string, std::string>> take(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        added_.wait_for(lock, timeout, [this] { return !lines_.empty(); });
        return std::exchange(lines_, {});
    }

private:
    std::mutex mutex_;
    std::condition_variable added_;
    std::vector<std::pair<std::string, std::string>> lines_;
};

// The reloads a detector started with the file would do, as they happen,
// until SIGINT or SIGTERM. A file with problems would not start one: they are
// reported as check reports them.
int watch(const std::string& argument, const Request& request, Outputs& streams) {
    const bool json = request.format == Format::json;
    const settings::SettingsSources sources = sourcesWith(load(argument, streams.in), request);
    const settings::LoadedSettings loaded = settings::loadSettings(sources);
    if (!loaded.problems.empty()) {
        if (json) {
            streams.out.write(rejectedJson(loaded.problems));
        } else {
            writeText(streams.err, loaded.problems, fileTextOf(sources));
        }
        return statusOf(loaded.problems);
    }

    EventLines lines;
    settings::WatchOptions options;
    options.environment = request.environment;
    options.overrides = request.overrides;
    options.onApplied = [&](const settings::AppliedChange& change) {
        lines.add(json ? appliedJson(change) : appliedText(change), "");
    };
    options.onRejected = [&](const settings::RejectedEdit& edit) {
        std::string diagnostics;
        if (!json) {
            const settings::TextLines textLines(edit.text);
            for (const settings::SourcedProblem& problem : edit.problems) {
                diagnostics += textDiagnostic(problem, textLines);
            }
        }
        lines.add(json ? rejectedJson(edit.problems) : rejectedText(edit.problems), std::move(diagnostics));
    };
    interruption.store(0);
    const auto previousOnInterrupt = std::signal(SIGINT, interrupt);
    const auto previousOnTerminate = std::signal(SIGTERM, interrupt);
    settings::SettingsWatcher watcher(std::filesystem::path(std::u8string(argument.begin(), argument.end())),
                                      loaded.config, std::move(options));
    streams.out.write(json ? watchingJson(argument) : watchingText(argument));
    const auto writeLines = [&](std::chrono::milliseconds wait) {
        for (const auto& [out, err] : lines.take(wait)) {
            streams.out.write(out);
            streams.err.write(err);
        }
        return streams.out.finish() && streams.err.finish();
    };
    constexpr std::chrono::milliseconds kInterruptionSeen(50);
    while (writeLines(kInterruptionSeen) && interruption.load() == 0) {
    }
    watcher.stop();
    // What the watch said before it stopped is written too.
    static_cast<void>(writeLines(std::chrono::milliseconds(0)));
    static_cast<void>(std::signal(SIGINT, previousOnInterrupt));
    static_cast<void>(std::signal(SIGTERM, previousOnTerminate));
    return kAllValid;
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

// The options that check and explain share.
struct SourceOptions {
    std::string format = "text";
    std::vector<std::string> overrides;
    bool noEnvironment = false;

    void addTo(CLI::App& command, std::vector<std::string> formats, std::string_view formatHelp) {
        command.add_option("--format", format, std::string(formatHelp))
            ->check(CLI::IsMember(std::move(formats)))
            ->capture_default_str();
        command
            .add_option("--set", overrides,
                        "Override a setting, as KEY=VALUE: detection.sensitivity=0.8 (repeatable; VALUE as in a file)")
            ->allow_extra_args(false)
            ->type_name("KEY=VALUE");
        command.add_flag("--no-env", noEnvironment, "Ignore the DETECTOR_ variables of the environment");
    }

    // The first --set that is not KEY=VALUE, if any.
    [[nodiscard]] std::optional<std::string> malformed() const {
        const auto bad = std::find_if(overrides.begin(), overrides.end(),
                                      [](const std::string& o) { return o.find('=') == std::string::npos; });
        if (bad == overrides.end()) {
            return std::nullopt;
        }
        return "--set takes KEY=VALUE, not " + *bad;
    }

    [[nodiscard]] Request request(const std::vector<std::string>& environment) const {
        const Format chosen = format == "json"     ? Format::json
                              : format == "sarif"  ? Format::sarif
                              : format == "github" ? Format::github
                                                   : Format::text;
        return {chosen, noEnvironment ? std::vector<std::string>() : environment, overrides};
    }
};

int runCommand(const std::vector<std::string>& args, const std::vector<std::string>& environment, Outputs& streams) {
    CLI::App app(
        "Checks settings files of the audio-event detector as a compiler would, explains where each setting "
        "comes from, and writes the default settings file and the JSON Schema of settings files.",
        std::string(kProgram));
    app.set_version_flag("--version", std::string(kProgram) + " " + std::string(settings::kVersion));
    app.require_subcommand(1);
    // What CLI11 does not know is collected, and named below by what it is.
    app.allow_extras();
    // On Windows CLI11 would take "/dir/settings.toml" for an option.
    app.allow_windows_style_options(false);

    CLI::App* checkCommand = app.add_subcommand(
        "check", "Report every problem of settings files, with the environment's DETECTOR_ variables and --set on top");
    SourceOptions checkOptions;
    checkOptions.addTo(*checkCommand, {"text", "json", "sarif", "github"},  // GCOVR_EXCL_BR_LINE
                       "text: diagnostics on standard error; json, sarif (SARIF 2.1.0) or github (GitHub "
                       "Actions annotations): on standard output");
    std::vector<std::string> files;
    checkCommand->add_option("FILE", files, "Settings files; - reads standard input (once)");

    CLI::App* explainCommand =
        app.add_subcommand("explain", "Show each setting's value, where it came from, its default, rules and meaning");
    SourceOptions explainOptions;
    explainOptions.addTo(*explainCommand, {"text", "json"},  // GCOVR_EXCL_BR_LINE
                         "text or json, on standard output; problems as check writes them, on standard error (text) "
                         "or in the document (json)");
    std::optional<std::string> explainFile;
    explainCommand->add_option("--file", explainFile, "Settings file; - reads standard input");
    std::vector<std::string> keys;
    explainCommand->add_option("KEY", keys, "Key paths: audio.bufferSizeMs")->required();

    CLI::App* watchCommand = app.add_subcommand(
        "watch", "Show the reloads a running detector would make of a settings file as it changes, until interrupted");
    SourceOptions watchOptions;
    watchOptions.addTo(*watchCommand, {"text", "json"},  // GCOVR_EXCL_BR_LINE
                       "text: one line per event on standard output, problems on standard error; json: one JSON "
                       "object per event (JSON Lines) on standard output");
    std::string watchFile;
    watchCommand->add_option("FILE", watchFile, "Settings file")->required();

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
        return usageError(streams.err,
                          leftOver(app, checkCommand->parsed() || explainCommand->parsed()).value_or(error.what()));
    }

    if (const std::optional<std::string> unknown = leftOver(app, true)) {
        return usageError(streams.err, *unknown);
    }
    if (!checkCommand->parsed() && !explainCommand->parsed() && !filesAfterDoubleDash.empty()) {
        return usageError(streams.err, "unexpected argument: " + filesAfterDoubleDash.front());
    }
    if (defaultsCommand->parsed()) {
        streams.out.write(settings::writeSettings(settings::Config{}).value_or(""));
        return kAllValid;
    }
    if (schemaCommand->parsed()) {
        streams.out.write(settings::writeSettingsSchema());
        return kAllValid;
    }
    if (watchCommand->parsed()) {
        if (const std::optional<std::string> problem = watchOptions.malformed()) {
            return usageError(streams.err, *problem);
        }
        if (watchFile == kStandardInput) {
            return usageError(streams.err, "standard input (-) cannot be watched");
        }
        return watch(watchFile, watchOptions.request(environment), streams);
    }
    if (explainCommand->parsed()) {
        keys.insert(keys.end(), filesAfterDoubleDash.begin(), filesAfterDoubleDash.end());
        if (const std::optional<std::string> problem = explainOptions.malformed()) {
            return usageError(streams.err, *problem);
        }
        if (const std::optional<std::string> unknown = unknownKey(keys)) {
            return usageError(streams.err, *unknown);
        }
        return explain(explainFile, keys, explainOptions.request(environment), streams);
    }
    files.insert(files.end(), filesAfterDoubleDash.begin(), filesAfterDoubleDash.end());
    if (files.empty()) {
        return usageError(streams.err, "FILE is required");
    }
    if (std::count(files.begin(), files.end(), kStandardInput) > 1) {
        return usageError(streams.err, "standard input (-) can be checked only once");
    }
    if (const std::optional<std::string> problem = checkOptions.malformed()) {
        return usageError(streams.err, *problem);
    }
    return check(files, checkOptions.request(environment), streams);
}

}  // namespace

int run(const std::vector<std::string>& args, const std::vector<std::string>& environment, Streams streams) {
    // Standard error is unbuffered: a write for every diagnostic would cost more than making it.
    if (streams.err == stderr) {
        static_cast<void>(std::setvbuf(stderr, nullptr, _IOFBF, std::size_t{1} << 16U));
    }
    Outputs outputs{streams.in, Output(streams.out), Output(streams.err)};
    const int status = runCommand(args, environment, outputs);
    if (!outputs.out.finish()) {
        outputs.err.write(std::string(kProgram) +
                          ": cannot write to standard output: " + std::strerror(outputs.out.reason()) + "\n");
        static_cast<void>(outputs.err.finish());
        return kUsageOrFileError;
    }
    return outputs.err.finish() ? status : kUsageOrFileError;
}

}  // namespace checker
