// Edits of settings files from Python: the file library's edit, with its
// judging, its lock and its atomic replacement, and its result as an object.

#include <string>
#include <utility>
#include <vector>

#include "binding.h"
#include "settings/edit.h"
#include "settings/text.h"

namespace settings::python_binding {
namespace {

// A value to set as --set takes it: a str as it is, an int or a float as
// Python writes it (repr gives the shortest text that reads back the same).
std::string editValue(const std::string& keyPath, py::handle value) {
    const bool number =
        (PyLong_Check(value.ptr()) != 0 || PyFloat_Check(value.ptr()) != 0) && PyBool_Check(value.ptr()) == 0;
    if (!py::isinstance<py::str>(value) && !number) {
        throw py::type_error(concatenate({keyPath, ": a value to set is a str, an int or a float, not ",
                                          std::string(py::str(py::type::of(value).attr("__name__")))}));
    }
    return py::isinstance<py::str>(value) ? value.cast<std::string>() : std::string(py::repr(value));
}

std::vector<SettingEdit> editsOf(const py::dict& set, const std::vector<std::string>& unset) {
    std::vector<SettingEdit> edits;
    for (const auto& [key, value] : set) {
        std::string keyPath = py::str(key);
        std::string text = editValue(keyPath, value);
        edits.push_back(SettingEdit::set(std::move(keyPath), std::move(text)));
    }
    for (const std::string& keyPath : unset) {
        edits.push_back(SettingEdit::unset(keyPath));
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
        .def("__eq__",
             [](const SettingChange& a, py::handle b) {
                 return py::isinstance<SettingChange>(b) && a == b.cast<const SettingChange&>();
             })
        .def("__repr__", [](const SettingChange& self) {
            return concatenate({"SettingChange(key=", reprOf(self.keyPath), ", old=", reprOf(self.oldValue),
                                ", new=", reprOf(self.newValue), ")"});
        });

    py::class_<FileEdit>(module, "FileEdit", "What an edit of a settings file did.")
        .def_readonly("written", &FileEdit::written,
                      "Whether the file was replaced: only without errors, when something changed, not in a dry run.")
        .def_property_readonly(
            "changes", [](const FileEdit& self) { return py::cast(self.edit.changes); },
            "The settings changed, in the order of the edits.")
        .def_property_readonly(
            "problems", [](const FileEdit& self) { return problemList(self.edit.problems); },
            "The problems of the new text, then those of the edits; the file is written only without errors.")
        .def_property_readonly(
            "old_text", [](const FileEdit& self) { return text(self.oldText); }, "The file as read.")
        .def_property_readonly(
            "new_text", [](const FileEdit& self) { return text(self.edit.text); },
            "The text written, or that would be written.");

    module.def(
        "edit_settings_file",
        [](py::handle path, const py::dict& set, const std::vector<std::string>& unset, bool dryRun, bool create) {
            const std::filesystem::path file = pathOf(path);
            const std::vector<SettingEdit> edits = editsOf(set, unset);
            FileEditOptions options;
            options.dryRun = dryRun;
            options.create = create;
            const py::gil_scoped_release unlocked;
            return editSettingsFile(file, edits, options);
        },
        py::arg("path"), py::arg("set") = py::dict(), py::arg("unset") = std::vector<std::string>(),
        py::arg("dry_run") = false, py::arg("create") = false,
        "Sets the settings of `set` (key path: value as --set takes it, or an int or a float) and unsets those of "
        "`unset` in the settings file at `path`, keeping every other byte, all or nothing. The new text is judged "
        "as `detector-settings check` judges the file alone and written atomically only without errors; another "
        "edit of the same file waits for this one. `create` makes a missing file.");
}

}  // namespace settings::python_binding
