// Settings sources as Python sees them: load_settings, a layered set of files
// among them, with where each value and each problem comes from, the
// problems as objects with the fields that `detector-settings check --format
// json` writes, in the same order.
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "binding.h"
#include "settings/layers.h"
#include "settings/message_text.h"
#include "settings/sources.h"
#include "settings/table.h"

namespace settings::python_binding {
namespace {

// What load_settings gives: the settings as loaded, beside their record as
// one Config object, so that `config` is the same object at every access.
struct LoadedSettingsAndConfig {
    py::object config;
    LoadedSettings loaded;
};

}  // namespace

void bindProblems(py::module_& module) {
    py::class_<Source>(module, "Origin", "Where a value or a problem comes from.")
        .def_property_readonly(
            "kind", [](const Source& self) { return text(sourceKindName(self.kind)); },
            R"("default", "file", "environment" or "command line".)")
        .def_property_readonly(
            "name", [](const Source& self) { return text(self.name); },
            "The file's name as given, the variable's name, or the override as given; \"\" for the defaults.")
        .def("__eq__", &equalTo<Source>)
        .def("__repr__", [](const Source& self) {
            return concatenate({"Origin(kind=", reprOf(sourceKindName(self.kind)), ", name=", reprOf(self.name), ")"});
        });

    py::class_<SourcedProblem>(module, "Problem", "One problem of the settings, and where it comes from.")
        .def_property_readonly(
            "key", [](const SourcedProblem& self) { return text(self.problem.key); },
            "Key path as TOML writes it; \"\" for syntax and file problems.")
        .def_property_readonly(
            "rule", [](const SourcedProblem& self) { return text(problemKindName(self.problem.kind)); },
            R"(What is wrong: a rule's name ("range"), or "unknown", "type", "syntax", "file".)")
        .def_property_readonly(
            "severity", [](const SourcedProblem& self) { return text(severityName(self.problem.severity)); },
            R"("error", or "warning" for a DETECTOR_ variable that names no setting.)")
        .def_property_readonly(
            "message", [](const SourcedProblem& self) { return text(self.problem.message); },
            "\"must be in [5, 100]; got 0\".")
        .def_property_readonly(
            "line", [](const SourcedProblem& self) { return self.problem.line; }, "1-based, in a file; else 0.")
        .def_property_readonly(
            "column", [](const SourcedProblem& self) { return self.problem.column; },
            "1-based, in characters, in a file; else 0.")
        .def_readonly("origin", &SourcedProblem::source)
        .def("__eq__", &equalTo<SourcedProblem>)
        .def("__repr__", [](const SourcedProblem& self) {
            const FileProblem& p = self.problem;
            return concatenate({"Problem(key=", reprOf(p.key), ", rule=", reprOf(problemKindName(p.kind)),
                                ", severity=", reprOf(severityName(p.severity)), ", message=", reprOf(p.message),
                                ", line=", renderInteger(p.line), ", column=", renderInteger(p.column),
                                ", origin=", std::string(py::repr(py::cast(self.source))), ")"});
        });

    py::class_<SettingValue>(module, "SettingValue", "A value a source gave a setting, as TOML writes it.")
        .def_readonly("origin", &SettingValue::source)
        .def_readonly("line", &SettingValue::line, "Of the value in a file; else 0.")
        .def_readonly("column", &SettingValue::column)
        .def_property_readonly(
            "value", [](const SettingValue& self) { return text(self.value); }, "20, 0.8, \"USB Mic\".")
        .def("__repr__", [](const SettingValue& self) {
            return concatenate({"SettingValue(value=", reprOf(self.value),
                                ", origin=", std::string(py::repr(py::cast(self.source))),
                                ", line=", renderInteger(self.line), ", column=", renderInteger(self.column), ")"});
        });
}

void bindSources(py::module_& module) {
    py::class_<LoadedSettingsAndConfig>(module, "LoadedSettings",
                                        "Settings from every source, with the origin of every value.")
        .def_readonly("config", &LoadedSettingsAndConfig::config,
                      "Each setting from the last source that gave it; else the default.")
        .def_property_readonly(
            "problems", [](const LoadedSettingsAndConfig& self) { return problemList(self.loaded.problems); },
            "Every problem of every source: each file's by position, the layers' first, then the environment's, "
            "then the overrides'.")
        .def_property_readonly(
            "valid", [](const LoadedSettingsAndConfig& self) { return !anyError(self.loaded.problems); },
            "Whether no problem is an error.")
        .def_property_readonly(
            "values",
            [](const LoadedSettingsAndConfig& self) {
                py::dict values;
                for (std::size_t row = 0; row < kSettingCount; ++row) {
                    values[text(kKeyPaths.at(row))] = py::cast(self.loaded.values.at(row));
                }
                return values;
            },
            "By key path, each value a source gave the setting, in order of precedence: the last is in force. "
            "Empty for a default.")
        .def(
            "origin_of",
            [](const LoadedSettingsAndConfig& self, const std::string& keyPath) {
                const std::vector<SettingValue>& values = self.loaded.values.at(rowOfKey(keyPath));
                return values.empty() ? Source{} : values.back().source;
            },
            py::arg("key"), "Where the value in force of the setting at `key` comes from.");
    module.def(
        "load_settings",
        [](py::handle file, py::handle environment, py::handle overrides, py::handle layers) {
            const std::vector<std::filesystem::path> layerPaths = layersOf(layers);
            SettingsSources sources;
            std::filesystem::path path;
            if (!file.is_none()) {
                path = pathOf(file);
                sources.file = SettingsFileText{pathName(file), {}};
            }
            sources.environment = environmentOf(environment);
            sources.overrides = overridesOf(overrides);
            LoadedSettings loaded;
            {
                const py::gil_scoped_release unlocked;
                sources.layers = readSettingsLayers(listSettingsLayers(layerPaths));
                if (sources.file) {
                    sources.file->content = readSettingsText(path, Opening::regularOnly);
                }
                loaded = loadSettings(sources);
            }
            return LoadedSettingsAndConfig{configObject(loaded.config), std::move(loaded)};
        },
        py::arg("file") = py::none(), py::arg("environment") = py::none(), py::arg("overrides") = py::tuple(),
        py::arg("layers") = py::tuple(),
        "Settings from the defaults, then `layers` (paths of settings files and drop-in folders, lowest first: "
        "the files in the order given, then the drop-ins NAME.toml of every folder by name, of one name only the "
        "last folder's), then `file` (a path, or None; each file is read as read_settings_file reads it), then "
        "`environment` (any mapping of variables; os.environ when None, {} for none), then `overrides` "
        "(\"KEY=VALUE\" texts, as --set takes them).");
}

}  // namespace settings::python_binding
