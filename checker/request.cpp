#include "request.h"

#include <algorithm>
#include <filesystem>
#include <utility>

#include "command.h"
#include "diagnostics.h"
#include "settings/text_lines.h"

namespace checker {

LoadedFile load(const std::string& argument, std::FILE* standardInput) {
    if (argument == kStandardInput) {
        return {"<stdin>", settings::readSettingsText(standardInput)};
    }
    return {argument,
            settings::readSettingsText(std::filesystem::path(std::u8string(argument.begin(), argument.end())))};
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
    return unreadable ? kUsageOrFileError : settings::anyError(problems) ? kProblemsFound : kAllValid;
}

void writeText(Output& err, const std::vector<settings::SourcedProblem>& problems, std::string_view fileText,
               CommandLineNames names) {
    if (!problems.empty()) {
        const settings::TextLines lines(fileText);
        for (const settings::SourcedProblem& problem : problems) {
            err.write(textDiagnostic(problem, lines, names));
        }
    }
}

}  // namespace checker
