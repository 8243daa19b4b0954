#include "run.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>

#include "options.h"
#include "output.h"
#include "request.h"
#include "settings/edit.h"
#include "settings/file.h"
#include "settings/sources.h"
#include "settings/version.h"
#include "subcommands.h"

namespace command {
namespace {

// The first key that names no setting, as a usage error.
std::optional<std::string> unknownKey(std::span<const std::string> keys) {
    for (const std::string& key : keys) {
        if (settings::rowOf(key) == settings::kSettingCount) {
            return key + ": " + settings::unknownKeyMessage(key);
        }
    }
    return std::nullopt;
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

int runCommand(const std::vector<std::string>& args, const std::vector<std::string>& environment, Streams& streams) {
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
    explainCommand->add_option("KEY", keys, "Key paths: audio.bufferSizeMs");

    CLI::App* watchCommand = app.add_subcommand(
        "watch", "Show the reloads a running detector would make of a settings file as it changes, until interrupted");
    SourceOptions watchOptions;
    watchOptions.addTo(*watchCommand, {"text", "json"},  // GCOVR_EXCL_BR_LINE
                       "text: one line per event on standard output, problems on standard error; json: one JSON "
                       "object per event (JSON Lines) on standard output");
    std::string watchFile;
    watchCommand->add_option("FILE", watchFile, "Settings file");

    EditOptions setOptions;
    EditOptions unsetOptions;
    CLI::App* setCommand = app.add_subcommand(
        "set", "Set settings in a settings file, keeping all else in it, and write it only if it stays valid");
    CLI::App* unsetCommand = app.add_subcommand(
        "unset", "Remove settings from a settings file, so that their defaults apply, keeping all else in it");
    setOptions.addTo(*setCommand);
    unsetOptions.addTo(*unsetCommand);
    setCommand->add_flag("--create", setOptions.create, "Make the file if it is missing, with these settings");
    setCommand->add_option("KEY=VALUE", setOptions.edits,
                           "Settings to set: detection.sensitivity=0.8 (VALUE as in a file)");
    unsetCommand->add_option("KEY", unsetOptions.edits, "Key paths of the settings to unset: detection.sensitivity");

    CLI::App* defaultsCommand = app.add_subcommand("defaults", "Write the default settings file to standard output");
    CLI::App* schemaCommand =
        app.add_subcommand("schema", "Write the JSON Schema (draft 2020-12) of settings files to standard output");

    // Every argument after "--" is a positional one (a file, a key, an edit),
    // whatever it looks like. CLI11 would give those after a first positional
    // to no command, so it is given only what comes before; each command's
    // positionals are then checked whole, the rest added.
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
        return usageError(streams.err, leftOver(app, !app.get_subcommands().empty()).value_or(error.what()));
    }

    if (const std::optional<std::string> unknown = leftOver(app, true)) {
        return usageError(streams.err, *unknown);
    }
    if ((defaultsCommand->parsed() || schemaCommand->parsed()) && !filesAfterDoubleDash.empty()) {
        return usageError(streams.err, "unexpected argument: " + filesAfterDoubleDash.front());
    }
    for (auto [command, options] : {std::pair(setCommand, &setOptions), std::pair(unsetCommand, &unsetOptions)}) {
        if (command->parsed()) {
            // The file, then the edits.
            std::vector<std::string> positionals;
            if (command->get_option("FILE")->count() > 0) {
                positionals.push_back(options->file);
            }
            positionals.insert(positionals.end(), options->edits.begin(), options->edits.end());
            positionals.insert(positionals.end(), filesAfterDoubleDash.begin(), filesAfterDoubleDash.end());
            if (positionals.size() < 2) {
                return usageError(streams.err, positionals.empty()     ? "FILE is required"
                                               : command == setCommand ? "KEY=VALUE is required"
                                                                       : "KEY is required");
            }
            options->file = positionals.front();
            options->edits.assign(positionals.begin() + 1, positionals.end());
            return editCommand(command == setCommand, *options, environment, streams);
        }
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
        const std::size_t fileOptions = watchCommand->get_option("FILE")->count();
        if (fileOptions + filesAfterDoubleDash.size() == 0 && watchOptions.layers.empty()) {
            return usageError(streams.err, "FILE is required");
        }
        if (fileOptions + filesAfterDoubleDash.size() > 1) {
            return usageError(streams.err, "unexpected argument: " + filesAfterDoubleDash.back());
        }
        if (fileOptions == 0 && !filesAfterDoubleDash.empty()) {
            watchFile = filesAfterDoubleDash.front();
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
        if (keys.empty()) {
            return usageError(streams.err, "KEY is required");
        }
        if (const std::optional<std::string> unknown = unknownKey(keys)) {
            return usageError(streams.err, *unknown);
        }
        return explain(explainFile, keys, explainOptions.request(environment), streams);
    }
    files.insert(files.end(), filesAfterDoubleDash.begin(), filesAfterDoubleDash.end());
    if (const std::optional<std::string> problem = checkOptions.malformed()) {
        return usageError(streams.err, *problem);
    }
    if (files.empty() && checkOptions.layers.empty()) {
        return usageError(streams.err, "FILE is required");
    }
    if (std::count(files.begin(), files.end(), kStandardInput) > 1) {
        return usageError(streams.err, "standard input (-) can be checked only once");
    }
    return check(files, checkOptions.request(environment), streams);
}

}  // namespace

int run(const std::vector<std::string>& args, const std::vector<std::string>& environment, Streams streams) {
    // Standard error is unbuffered: a write for every diagnostic would cost more than making it.
    if (streams.err.stream() == stderr) {
        static_cast<void>(std::setvbuf(stderr, nullptr, _IOFBF, std::size_t{1} << 16U));
    }
    const int status = runCommand(args, environment, streams);
    if (!streams.out.finish()) {
        streams.err.write(std::string(kProgram) +
                          ": cannot write to standard output: " + std::strerror(streams.out.reason()) + "\n");
        static_cast<void>(streams.err.finish());
        return kUsageOrFileError;
    }
    return streams.err.finish() ? status : kUsageOrFileError;
}

}  // namespace command
