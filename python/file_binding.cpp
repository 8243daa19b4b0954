// Settings files as Python sees them: what the file library reads and
// writes, and the schema of the files.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "binding.h"
#include "settings/file.h"
#include "settings/sources.h"

namespace settings::python_binding {
namespace {

// What read_settings and read_settings_file give.
struct Reading {
    py::object config;
    std::vector<SourcedProblem> problems;
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

}  // namespace

void bindFile(py::module_& module) {
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
}

}  // namespace settings::python_binding
