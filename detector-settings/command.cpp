#include "command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string_view>

#include "diagnostics.h"
#include "settings/file.h"
#include "settings/version.h"

namespace detector_settings {
namespace {

constexpr std::string_view kProgram = "detector-settings";
constexpr std::string_view kStandardInput = "-";
constexpr std::string_view kStandardInputName = "<stdin>";

// Text streams: on Windows the C runtime writes "\n" as "\r\n".
void write(std::FILE* stream, std::string_view text) {
    static_cast<void>(std::fwrite(text.data(), 1, text.size(), stream));
}

CheckedFile load(const std::string& argument) {
    CheckedFile file;
    settings::SettingsText loaded;
    if (argument == kStandardInput) {
        file.name = kStandardInputName;
        loaded = settings::loadSettingsText(stdin);
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

int check(const std::vector<std::string>& arguments, bool json) {
    int status = kAllValid;
    std::vector<CheckedFile> files;
    for (const std::string& argument : arguments) {
        CheckedFile file = load(argument);
        const bool unreadable = !file.problems.empty() && file.problems.front().rule == "file";
        status = std::max(status, unreadable ? kUsageOrFileError : file.problems.empty() ? kAllValid : kProblemsFound);
        if (!json) {
            write(stderr, textDiagnostics(file));
        } else {
            files.push_back(std::move(file));
        }
    }
    if (json) {
        write(stdout, jsonReport(files));
    }
    return status;
}

}  // namespace

int run(const std::vector<std::string>& args) {
    CLI::App app(
        "Checks settings files of the audio-event detector as a compiler would, and writes the "
        "default settings file and the JSON Schema of settings files.",
        std::string(kProgram));
    app.set_version_flag("--version", std::string(kProgram) + " " + std::string(settings::kVersion));
    app.require_subcommand(1);
    // On Windows CLI11 would take "/dir/settings.toml" for an option.
    app.allow_windows_style_options(false);

    CLI::App* checkCommand = app.add_subcommand("check", "Report every problem of settings files");
    std::string format = "text";
    checkCommand
        ->add_option("--format", format, "text: diagnostics on standard error; json: one document on standard output")
        ->check(CLI::IsMember({"text", "json"}))
        ->capture_default_str();
    std::vector<std::string> files;
    checkCommand->add_option("FILE", files, "Settings files; - reads standard input")->required();
    CLI::App* defaultsCommand = app.add_subcommand("defaults", "Write the default settings file to standard output");
    CLI::App* schemaCommand =
        app.add_subcommand("schema", "Write the JSON Schema (draft 2020-12) of settings files to standard output");

    std::vector<const char*> argv;
    std::transform(args.begin(), args.end(), std::back_inserter(argv),
                   [](const std::string& arg) { return arg.c_str(); });
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::CallForHelp&) {  // GCOVR_EXCL_BR_LINE: other exceptions pass by
        write(stdout, app.help());
        return kAllValid;
    } catch (const CLI::CallForVersion& version) {
        write(stdout, std::string(version.what()) + "\n");
        return kAllValid;
    } catch (const CLI::ParseError& error) {
        write(stderr, std::string(kProgram) + ": " + error.what() + " (see " + std::string(kProgram) + " --help)\n");
        return kUsageOrFileError;
    }

    if (defaultsCommand->parsed()) {
        write(stdout, settings::writeSettings(settings::Config{}).value_or(""));
    } else if (schemaCommand->parsed()) {
        write(stdout, settings::writeSettingsSchema());
    } else {
        return check(files, format == "json");
    }
    return kAllValid;
}

}  // namespace detector_settings
