// Settings from every source: each source is read as a file would be, and the
// record takes each setting from the last source that gave it a value.
#include <algorithm>
#include <cstddef>
#include <utility>

#include "file/base/internal/characters.h"
#include "file/base/internal/value_text.h"
#include "file/read/internal/settings_reader.h"
#include "settings/message_text.h"
#include "settings/sources.h"

namespace settings {

using namespace file_internal;
namespace {

constexpr std::string_view kNotAnAssignment = "expected KEY=VALUE";
// Said of a variable that names a setting but for the case of its letters, where that counts.
constexpr std::string_view kNamesAreCaseSensitive = " names are case-sensitive";

class Loader {
public:
    Loader() {
        for (const std::string_view keyPath : kKeyPaths) {
            names_.push_back(environmentName(keyPath));
        }
    }

    LoadedSettings load(const SettingsSources& sources) {
        caseSensitive_ = sources.caseSensitiveVariables;
        for (const SettingsFileText& layer : sources.layers) {
            loadFile(layer);
        }
        if (sources.file) {
            loadFile(*sources.file);
        }
        loadEnvironment(sources.environment);
        for (const std::string& assignment : sources.overrides) {
            loadOverride(assignment);
        }
        return std::move(loaded_);
    }

private:
    void loadFile(const SettingsFileText& file) {
        const Source source{SourceKind::file, file.name};
        if (file.content.problem) {
            loaded_.problems.push_back({source, *file.content.problem});
        } else {
            take(source, readSettingsTracked(file.content.text));
        }
    }

    // The record takes what `reading` gave; its problems are kept.
    void take(const Source& source, const TrackedReading& reading) {
        forEachSetting([&](const auto& row) {
            const std::size_t index = rowOf(row.keyPath);
            if (const std::optional<ValuePosition>& position = reading.taken.at(index)) {
                row.member(loaded_.config) = row.member(reading.reading.config);
                loaded_.values.at(index).push_back({source, position->line, position->column,
                                                    format::valueText(row.member(loaded_.config)).value_or("")});
            }
        });  // GCOVR_EXCL_BR_LINE: template instances
        for (const FileProblem& problem : reading.reading.problems) {
            loaded_.problems.push_back({source, problem});
        }
    }

    // Variables in order of their names, which the platforms list differently.
    void loadEnvironment(const std::vector<std::string>& environment) {
        std::vector<std::pair<std::string_view, std::string_view>> variables;
        for (const std::string& entry : environment) {
            // Windows keeps variables named "=C:", which start with "=".
            const std::size_t equals = entry.find('=', 1);
            const std::string_view name = std::string_view(entry).substr(0, equals);
            if (equals != std::string::npos &&
                equalIgnoringCase(name.substr(0, kEnvironmentPrefix.size()), kEnvironmentPrefix)) {
                variables.emplace_back(name, std::string_view(entry).substr(equals + 1));
            }
        }
        std::stable_sort(variables.begin(), variables.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        const std::vector<std::string>& names = names_;
        for (const auto& [variable, value] : variables) {
            const std::string_view name = variable;  // a binding no lambda may capture, in C++20
            const Source source{SourceKind::environment, std::string(name)};
            const auto known = std::find_if(names.begin(), names.end(), [&](const std::string& setting) {
                return caseSensitive_ ? setting == name : equalIgnoringCase(setting, name);
            });
            if (known != names.end()) {
                take(source, readSettingValue(static_cast<std::size_t>(known - names.begin()), value));
                continue;
            }
            const std::optional<std::size_t> closest = closestName(name, names);
            const std::optional<std::string_view> suggestion =
                closest ? std::optional<std::string_view>(names.at(*closest)) : std::nullopt;
            std::string message = unknownSettingMessage(suggestion);
            if (suggestion && equalIgnoringCase(*suggestion, name)) {
                message += kNamesAreCaseSensitive;
            }
            // Another program's variable may share the prefix: told, but no error.
            loaded_.problems.push_back(
                {source, {{}, ProblemKind::unknown, std::move(message), 0, 0, Severity::warning}});
        }
    }

    void loadOverride(const std::string& assignment) {
        const Source source{SourceKind::commandLine, assignment};
        const std::size_t equals = assignment.find('=');
        if (equals == std::string::npos) {
            loaded_.problems.push_back({source, {{}, ProblemKind::syntax, std::string(kNotAnAssignment), 0, 0}});
            return;
        }
        const std::string_view key = trimmed(std::string_view(assignment).substr(0, equals));
        const std::size_t row = rowOf(key);
        if (row == kSettingCount) {
            loaded_.problems.push_back(
                {source, {std::string(key), ProblemKind::unknown, unknownKeyMessage(key), 0, 0}});
            return;
        }
        take(source, readSettingValue(row, std::string_view(assignment).substr(equals + 1)));
    }

    std::vector<std::string> names_;  // the settings' variables, by row
    bool caseSensitive_ = true;
    LoadedSettings loaded_;
};

}  // namespace

LoadedSettings loadSettings(const SettingsSources& sources) { return Loader().load(sources); }

// A key path names a setting: a section is no answer.
std::string unknownKeyMessage(std::string_view keyPath) { return unknownSettingMessage(closestKey(keyPath, false)); }

std::optional<std::string> settingValueText(const Config& config, std::string_view keyPath) {
    std::optional<std::string> text;
    visitSetting(keyPath, [&](const auto& row) {
        text = format::valueText(row.member(config));  // GCOVR_EXCL_BR_LINE: template instance
    });
    return text;
}

}  // namespace settings
