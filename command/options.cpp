#include "options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <utility>

#include "given_file.h"
#include "run.h"
#include "settings/edit.h"
#include "subcommands.h"

namespace command {

void addLayerOption(CLI::App& command, std::vector<std::string>& layers) {
    command
        .add_option("--layer", layers,
                    "A file or drop-in folder (NAME.toml files) of a layered set, lowest first (repeatable): "
                    "files in the order given, then drop-ins by name, the last folder winning a name")
        ->allow_extra_args(false)
        ->type_name("PATH");
}

void SourceOptions::addTo(CLI::App& command, std::vector<std::string> formats, std::string_view formatHelp) {
    command.add_option("--format", format, std::string(formatHelp))
        ->check(CLI::IsMember(std::move(formats)))
        ->capture_default_str();
    command
        .add_option("--set", overrides,
                    "Override a setting, as KEY=VALUE: detection.sensitivity=0.8 (repeatable; VALUE as in a file)")
        ->allow_extra_args(false)
        ->type_name("KEY=VALUE");
    command.add_flag("--no-env", noEnvironment, "Ignore the DETECTOR_ variables of the environment");
    addLayerOption(command, layers);
}

std::optional<std::string> SourceOptions::malformed() const {
    const auto bad = std::find_if(overrides.begin(), overrides.end(),
                                  [](const std::string& o) { return o.find('=') == std::string::npos; });
    if (bad == overrides.end()) {
        return std::nullopt;
    }
    return "--set takes KEY=VALUE, not " + *bad;
}

Request SourceOptions::request(const std::vector<std::string>& environment) const {
    const Format chosen = format == "json"     ? Format::json
                          : format == "sarif"  ? Format::sarif
                          : format == "github" ? Format::github
                                               : Format::text;
    return {chosen, noEnvironment ? std::vector<std::string>() : environment, overrides, layers};
}

void EditOptions::addTo(CLI::App& command) {
    command.add_option("--format", format, "text: what changed, on standard output; json: a report")
        ->check(CLI::IsMember({"text", "json"}))
        ->capture_default_str();
    command.add_flag("--dry-run", dryRun, "Write nothing; show what would change, as diff -u does");
    command
        .add_option("--lock-timeout", lockTimeoutSeconds,
                    "How long to wait for another edit of the file to end, in seconds (at most 3600)")
        ->check(CLI::NonNegativeNumber)
        ->type_name("SECONDS")
        ->capture_default_str();
    addLayerOption(command, layers);
    command.add_flag("--no-env", noEnvironment,
                     "With --layer, ignore the DETECTOR_ variables of the environment in telling what is in force");
    command.add_option("FILE", file, "Settings file");
}

int editCommand(bool set, const EditOptions& options, const std::vector<std::string>& environment, Streams& streams) {
    if (options.file == kStandardInput) {
        return usageError(streams.err, "standard input (-) cannot be edited");
    }
    std::vector<settings::SettingEdit> edits;
    for (const std::string& given : options.edits) {
        if (set) {
            std::optional<settings::SettingEdit> edit = settings::SettingEdit::parse(given);
            if (!edit) {
                return usageError(streams.err, "set takes KEY=VALUE, not " + given);
            }
            edits.push_back(std::move(*edit));
        } else {
            edits.push_back(settings::SettingEdit::unset(given));
        }
    }
    // At most an hour, as the library takes it; the flag refuses what is not a number of seconds.
    const double seconds = std::clamp(options.lockTimeoutSeconds, 0.0, 3600.0);
    EditRequest request;
    request.json = options.format == "json";
    request.dryRun = options.dryRun;
    request.create = options.create;
    request.lockTimeout = std::chrono::milliseconds(static_cast<std::int64_t>(seconds * 1000));
    request.layers = options.layers;
    if (!options.noEnvironment) {
        request.environment = environment;
    }
    return edit(options.file, edits, request, streams);
}

}  // namespace command
