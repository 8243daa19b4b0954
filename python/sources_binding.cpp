// Settings files and sources as Python sees them: what the file library
// reads, writes and loads, its problems as objects with the fields that
// `detector-settings check --format json` writes, in the same order.
#include <pybind11/stl/filesystem.h>

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "binding.h"
#include "settings/file.h"
#include "settings/sources.h"
#include "settings/message_text.h"

namespace settings::python_binding {
namespace {

// What read_settings and read_settings_file give.
struct Reading {
    py::object config;
    std::vector<SourcedProblem> problems;
};

// What load_settings gives.
struct Loading {
    py::object config;
    LoadedSettings loaded;
};

Reading readingOf(FileReading reading, const std::string& name) {
    Reading result{configObject(reading.config), {}};
    for (FileProblem& problem : reading.problems) {
        result.problems.push_back({{SourceKind::file, name}, std::move(problem)});
    }
    return result;
}

// The text of a settings file: a str as UTF-8; a str that holds lone
// surrogates, or bytes, as they are, so that text that is not UTF-8 is a problem.
std::string settingsText(py::handle text) {
    if (py::isinstance<py::bytes>(text)) {
        return text.cast<std::string>();
    }
    if (!py::isinstance<py::str>(text)) {
        throw py::type_error("read_settings takes the text of a settings file, as str or bytes");
    }
    return py::bytes(text.attr("encode")("utf-8", "surrogatepass")).cast<std::string>();
}

void bindProblems(py::module_& module) {
    py::class_<Source>(module, "Origin", "Where a value or a problem comes from.")
        .def_property_readonly(
            "kind", [](const Source& self) { return text(sourceKindName(self.kind)); },
            R"("default", "file", "environment" or "command line".)")
        .def_property_readonly(
            "name", [](const Source& self) { return text(self.name); },
            "The file's name as given, the variable's name, or the override as given; \"\" for the defaults.")
        .def("__eq__",
             [](const Source& a, py::handle b) { return py::isinstance<Source>(b) && a == b.cast<const Source&>(); })
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
        .def("__eq__",
             [](const SourcedProblem& a, py::handle b) {
                 return py::isinstance<SourcedProblem>(b) && a == b.cast<const SourcedProblem&>();
             })
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

}  // namespace

py::str text(std::string_view utf8) {
    return py::reinterpret_steal<py::str>(
        PyUnicode_DecodeUTF8(utf8.data(), static_cast<Py_ssize_t>(utf8.size()), "replace"));
}

std::string reprOf(std::string_view utf8) { return py::repr(text(utf8)); }

std::filesystem::path pathOf(py::handle path, std::string_view argument) {
    // os.fsencode says what no path can be, as Python's own functions do.
    try {
        const py::bytes encoded = py::module_::import("os").attr("fsencode")(path);
        if (std::string(encoded).find('\0') != std::string::npos) {
            throw py::value_error(concatenate({argument, ": a path holds no null character"}));
        }
    } catch (py::error_already_set& error) {
        if (error.matches(PyExc_TypeError)) {
            throw py::type_error(concatenate({argument, ": a path is a str, bytes or os.PathLike, not ",
                                              std::string(py::str(py::type::of(path).attr("__name__")))}));
        }
        throw py::value_error(
            concatenate({argument, ": not a name a file can have: ", std::string(py::str(error.value()))}));
    }
    return path.cast<std::filesystem::path>();
}

std::string utf8Of(py::handle text, std::string_view what) {
    if (!py::isinstance<py::str>(text)) {
        throw py::type_error(
            concatenate({what, ": expected str, got ", std::string(py::str(py::type::of(text).attr("__name__")))}));
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(text.ptr(), &size);
    if (utf8 == nullptr) {
        PyErr_Clear();
        throw py::value_error(concatenate({what, ": the text is not Unicode: it holds a lone surrogate"}));
    }
    return {utf8, static_cast<std::size_t>(size)};
}

std::string pathName(py::handle path) {
    const py::object name = py::module_::import("os").attr("fsdecode")(path);
    return name.attr("encode")("utf-8", "backslashreplace").cast<std::string>();
}

std::vector<std::string> environmentOf(py::handle environment) {
    const py::object mapping = environment.is_none() ? py::module_::import("os").attr("environ")
                                                     : py::reinterpret_borrow<py::object>(environment);
    std::vector<std::string> variables;
    for (const py::handle item : mapping.attr("items")()) {
        const auto pair = py::reinterpret_borrow<py::tuple>(item);
        if (!py::isinstance<py::str>(pair[0]) || !py::isinstance<py::str>(pair[1])) {
            throw py::type_error("environment: each name and value is a str");
        }
        const std::string name = utf8Of(pair[0], "environment");
        variables.push_back(concatenate({name, "=", utf8Of(pair[1], concatenate({"environment: ", name}))}));
    }
    return variables;
}

std::vector<std::string> overridesOf(py::handle overrides) {
    if (py::isinstance<py::str>(overrides) || !py::isinstance<py::iterable>(overrides)) {
        throw py::type_error("overrides: a list of \"KEY=VALUE\" texts, not one text");
    }
    std::vector<std::string> texts;
    for (const py::handle item : overrides) {
        texts.push_back(utf8Of(item, "overrides"));
    }
    return texts;
}

std::size_t rowOfKey(const std::string& keyPath) {
    const std::size_t row = rowOf(keyPath);
    if (row == kSettingCount) {
        throw py::key_error(concatenate({keyPath, ": ", unknownKeyMessage(keyPath)}));
    }
    return row;
}

py::list problemList(const std::vector<SourcedProblem>& problems) { return py::cast(problems); }

void refuseObjectsHoldingNothing(py::module_& module) {
    for (const auto& [name, value] : py::reinterpret_borrow<py::dict>(module.attr("__dict__"))) {
        const std::string className = py::str(name);
        if (!py::isinstance<py::type>(value) || className == "Config" || className == "SettingsWatcher") {
            continue;
        }
        value.attr("__new__") = py::staticmethod(py::cpp_function([className](const py::args&, const py::kwargs&) {
            throw py::type_error(
                concatenate({"detector_settings.", className, " objects are made by the package alone"}));
        }));
        if (className == "Origin" || className == "Problem" || className == "SettingValue" ||
            className == "SettingChange" || className == "ValidationError") {
            const auto itself = [](const py::handle& self) { return py::reinterpret_borrow<py::object>(self); };
            value.attr("__copy__") = py::cpp_function(itself, py::is_method(value));
            value.attr("__deepcopy__") =
                py::cpp_function([itself](const py::handle& self, const py::handle&) { return itself(self); },
                                 py::is_method(value), py::arg("memo"));
        }
    }
}

void bindSources(py::module_& module) {
    bindProblems(module);

    py::class_<Reading>(module, "FileReading", "What a settings file says, and every problem in it.")
        .def_readonly("config", &Reading::config, "What the file says, defaults elsewhere.")
        .def_readonly("problems", &Reading::problems, "Every problem, by line then column.")
        .def_property_readonly(
            "valid", [](const Reading& self) { return !anyError(self.problems); }, "Whether no problem is an error.");
    module.def(
        "read_settings",
        [](py::handle tomlText, const std::string& name) {
            const std::string utf8 = settingsText(tomlText);
            FileReading reading;
            {
                const py::gil_scoped_release unlocked;
                reading = readSettings(utf8);
            }
            return readingOf(std::move(reading), name);
        },
        py::arg("text"), py::arg("name") = "",
        "Reads settings from the text of a settings file (str or bytes); `name` names it in the problems' origin.");
    module.def(
        "read_settings_file",
        [](py::handle path) {
            const std::filesystem::path file = pathOf(path);
            FileReading reading;
            {
                const py::gil_scoped_release unlocked;
                reading = readSettingsFile(file, Opening::regularOnly);
            }
            return readingOf(std::move(reading), pathName(path));
        },
        py::arg("path"),
        "Reads a settings file (a str, bytes or os.PathLike path). A file that is missing, not a regular file (a "
        "FIFO, which is never waited on), unreadable or over 1 MiB is a problem of rule \"file\", and text that is "
        "not UTF-8 one of rule \"syntax\", not an exception.");
    module.def(
        "write_settings",
        [](const Config& config) {
            std::optional<std::string> written = writeSettings(config);
            if (!written) {
                throw py::value_error("write_settings: a text setting is not valid Unicode");
            }
            return text(*written);
        },
        py::arg("config"),
        "A complete settings file for `config`, each setting with a comment of its meaning and rule.");
    module.def(
        "settings_schema", [] { return text(writeSettingsSchema()); },
        "The JSON Schema (draft 2020-12) of settings files, as a str.");

    py::class_<Loading>(module, "LoadedSettings", "Settings from every source, with the origin of every value.")
        .def_readonly("config", &Loading::config, "Each setting from the last source that gave it; else the default.")
        .def_property_readonly(
            "problems", [](const Loading& self) { return problemList(self.loaded.problems); },
            "Every problem of every source: the file's by position, the environment's, then the overrides'.")
        .def_property_readonly(
            "valid", [](const Loading& self) { return !anyError(self.loaded.problems); },
            "Whether no problem is an error.")
        .def_property_readonly(
            "values",
            [](const Loading& self) {
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
            [](const Loading& self, const std::string& keyPath) {
                const std::vector<SettingValue>& values = self.loaded.values.at(rowOfKey(keyPath));
                return values.empty() ? Source{} : values.back().source;
            },
            py::arg("key"), "Where the value in force of the setting at `key` comes from.");
    module.def(
        "load_settings",
        [](py::handle file, py::handle environment, py::handle overrides) {
            SettingsSources sources;
            if (!file.is_none()) {
                const std::filesystem::path path = pathOf(file);
                sources.file = SettingsFileText{pathName(file), {}};
                const py::gil_scoped_release unlocked;
                sources.file->content = readSettingsText(path, Opening::regularOnly);
            }
            sources.environment = environmentOf(environment);
            sources.overrides = overridesOf(overrides);
            LoadedSettings loaded;
            {
                const py::gil_scoped_release unlocked;
                loaded = loadSettings(sources);
            }
            return Loading{configObject(loaded.config), std::move(loaded)};
        },
        py::arg("file") = py::none(), py::arg("environment") = py::none(), py::arg("overrides") = py::tuple(),
        "Settings from the defaults, then `file` (a path, or None; a file is read as read_settings_file reads it), "
        "then "
        "`environment` (any mapping of "
        "variables; os.environ when None, {} for none), then `overrides` (\"KEY=VALUE\" texts, as --set takes them).");
}

}  // namespace settings::python_binding
