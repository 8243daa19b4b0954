// Edits of settings files from Python: the file library's edit, with its
// judging (in a layered set too), its lock and its atomic replacement, and
// its result as an object.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "binding.h"
#include "settings/edit.h"
#include "settings/message_text.h"

namespace settings::python_binding {
namespace {

// A value to set as --set takes it: a str as it is, an int or a float as
// Python writes it (repr gives the shortest text that reads back the same).
// Subclasses (IntEnum, numpy's float64) and integers of other types
// (numpy's int64, through __index__) are taken by their value, never by
// their own repr.
std::string editValue(const std::string& keyPath, py::handle value) {
    if (py::isinstance<py::str>(value)) {
        return utf8Of(value, keyPath);
    }
    if (PyBool_Check(value.ptr()) == 0) {
        if (PyFloat_Check(value.ptr()) != 0) {
            return py::repr(py::float_(PyFloat_AsDouble(value.ptr())));
        }
        if (PyIndex_Check(value.ptr()) != 0) {
            return py::repr(py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr())));
        }
    }
    throw py::type_error(concatenate({keyPath, ": a value to set is a str, an int or a float, not ",
                                      std::string(py::str(py::type::of(value).attr("__name__")))}));
}

std::vector<SettingEdit> editsOf(const py::dict& set, py::handle unset) {
    std::vector<SettingEdit> edits;
    for (const auto& [key, value] : set) {
        std::string keyPath = utf8Of(key, "set");
        std::string text = editValue(keyPath, value);
        edits.push_back(SettingEdit::set(std::move(keyPath), std::move(text)));
    }
    if (py::isinstance<py::str>(unset) || !py::isinstance<py::iterable>(unset)) {
        throw py::type_error("unset: a list of key paths, not one text");
    }
    for (const py::handle keyPath : unset) {
        edits.push_back(SettingEdit::unset(utf8Of(keyPath, "unset")));
    }
    return edits;
}

}  // namespace

void bindEdit(py::module_& module) {
    py::class_<SettingChange>(module, "SettingChange",
                              "A setting that an edit changed, its values as TOML writes them.")
        .def_property_readonly("key", [](const SettingChange& self) { return text(self.keyPath); })
        .def_property_readonly(
            "old", [](const SettingChange& self) { return text(self.oldValue); }, "The value in force before.")
        .def_property_readonly(
            "new", [](const SettingChange& self) { return text(self.newValue); }, "The value in force after.")
        .def("__eq__", &equalTo<SettingChange>)
        .def("__repr__", [](const SettingChange& self) {
            return concatenate({"SettingChange(key=", reprOf(self.keyPath), ", old=", reprOf(self.oldValue),
                                ", new=", reprOf(self.newValue), ")"});
        });

    py::class_<OverriddenChange>(module, "OverriddenChange",
                                 "A change that another source overrides: the setting's value in force is not the "
                                 "one the edit wrote.")
        .def_property_readonly("key", [](const OverriddenChange& self) { return text(self.keyPath); })
        .def_readonly("in_force", &OverriddenChange::inForce,
                      "The value in force after the edit, and the later layer, variable or override it comes from.")
        .def("__eq__", &equalTo<OverriddenChange>)
        .def("__repr__", [](const OverriddenChange& self) {
            return concatenate({"OverriddenChange(key=", reprOf(self.keyPath),
                                ", in_force=", std::string(py::repr(py::cast(self.inForce))), ")"});
        });

    py::class_<FileEdit>(module, "FileEdit", "What an edit of a settings file did.")
        .def_readonly("written", &FileEdit::written,
                      "Whether the file was replaced: only without errors, when something changed, not in a dry run.")
        .def_property_readonly(
            "changes", [](const FileEdit& self) { return py::cast(self.changes); },
            "The settings changed, in the order of the edits.")
        .def_property_readonly(
            "overridden", [](const FileEdit& self) { return py::cast(self.overridden); },
            "Of `changes`, in their order, those whose value in force comes from a later layer, the environment or "
            "an override.")
        .def_property_readonly(
            "problems", [](const FileEdit& self) { return problemList(self.problems); },
            "The problems of the new text, then those of the edits; the file is written only without errors.")
        .def_property_readonly(
            "old_text", [](const FileEdit& self) { return text(self.oldText); }, "The file as read.")
        .def_property_readonly(
            "new_text", [](const FileEdit& self) { return text(self.text); },
            "The text written, or that would be written.");

    module.def(
        "edit_settings_file",
        [](py::handle path, const py::dict& set, py::handle unset, bool dryRun, bool create, double lockSeconds,
           py::handle layers, py::handle environment, py::handle overrides) {
            const std::filesystem::path file = pathOf(path);
            const std::vector<SettingEdit> edits = editsOf(set, unset);
            FileEditOptions options;
            options.layers = layersOf(layers);
            options.environment = environmentOf(environment);
            options.overrides = overridesOf(overrides);
            options.dryRun = dryRun;
            options.create = create;
            options.lockTimeout = std::chrono::milliseconds(
                static_cast<std::int64_t>(std::clamp(std::isnan(lockSeconds) ? 0.0 : lockSeconds, 0.0, 3600.0) * 1000));
            // While it waits for another edit, signals are let through: Ctrl-C ends the wait.
            bool interrupted = false;
            options.keepWaiting = [&interrupted] {
                const py::gil_scoped_acquire locked;
                interrupted = PyErr_CheckSignals() != 0;
                return !interrupted;
            };
            FileEdit edit;
            {
                const py::gil_scoped_release unlocked;
                edit = editSettingsFile(file, edits, options);
            }
            if (interrupted) {
                throw py::error_already_set();
            }
            for (SourcedProblem& problem : edit.problems) {
                if (problem.problem.kind == ProblemKind::file && problem.problem.message == kNoSuchFile) {
                    problem.problem.message += "; create=True makes it";
                }
            }
            return edit;
        },
        py::arg("path"), py::arg("set") = py::dict(), py::arg("unset") = py::tuple(), py::arg("dry_run") = false,
        py::arg("create") = false, py::arg("lock_timeout") = 10.0, py::arg("layers") = py::tuple(),
        py::arg("environment") = py::none(), py::arg("overrides") = py::tuple(),
        "Sets the settings of `set` (key path: value as --set takes it, or an int or a float) and unsets those of "
        "`unset` in the settings file at `path`, keeping every other byte, all or nothing. The new text is judged "
        "as `detector-settings check` judges the file alone, or, with `layers` (as load_settings takes them), the "
        "layered set the file is one of (a file of it, or a drop-in of one of its folders), as it would be after "
        "the edit; `environment` and `overrides` (as load_settings takes them) only tell which changes are "
        "overridden. The file is written atomically only without errors in any file of the set, keeping "
        "the file's owner, group, permissions and extended attributes; a file the process may not write is "
        "refused. Another edit of the same file waits for this one, for at most `lock_timeout` seconds (up to "
        "3600), and a signal (Ctrl-C) ends the wait. `create` makes a missing file.");
}

}  // namespace settings::python_binding
