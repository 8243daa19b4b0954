// What the parts of the Python module share: the conversions between the
// libraries' values and Python's (binding.cpp), __eq__, and one function per
// part that adds its names to the module. Internal to python/.
#pragma once

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/config.h"
#include "settings/sources.h"

namespace settings::python_binding {

namespace py = pybind11;

void bindConfig(py::module_& module);    // Config, its sections, validate, validate_all
void bindProblems(py::module_& module);  // Origin, Problem, SettingValue
void bindFile(py::module_& module);      // reading, writing, the schema
void bindSources(py::module_& module);   // load_settings
void bindEdit(py::module_& module);      // edit_settings_file
void bindWatch(py::module_& module);     // SettingsWatcher

// UTF-8 from the libraries as a Python str; a byte that is not UTF-8 (which
// the libraries never give) becomes U+FFFD rather than an exception.
py::str text(std::string_view utf8);

// The text as Python's repr writes a str: 'USB Mic'.
std::string reprOf(std::string_view utf8);

// A path as Python gives one: str, bytes or os.PathLike; TypeError for any
// other type and ValueError for a name no file can have (a lone surrogate,
// a null character), each naming `argument`.
std::filesystem::path pathOf(py::handle path, std::string_view argument = "path");

// The UTF-8 of a str; TypeError for any other type and ValueError for a
// lone surrogate, each naming `what` (an argument, a key path).
std::string utf8Of(py::handle text, std::string_view what);

// The path as a source names it: str(path), bytes decoded as the file system does.
std::string pathName(py::handle path);

// The paths of a layered set, lowest first, as pathOf takes each; TypeError
// for one path given alone, which would otherwise be taken letter by letter.
std::vector<std::filesystem::path> layersOf(py::handle layers);

// The variables of a mapping as "NAME=VALUE", os.environ's when it is None.
std::vector<std::string> environmentOf(py::handle environment);

// "KEY=VALUE" overrides from an iterable of str.
std::vector<std::string> overridesOf(py::handle overrides);

// The row of the table of `keyPath`; KeyError with the usual suggestion when no setting has it.
std::size_t rowOfKey(const std::string& keyPath);

// A Python object for each problem, in order.
py::list problemList(const std::vector<SourcedProblem>& problems);

// A Python Config holding a copy of `config`.
py::object configObject(const Config& config);

// pybind11 lets Python call T.__new__(T), which makes an object holding
// nothing that any use then reads as if it held something. Every class of
// the module but those Python makes (Config, SettingsWatcher, which make
// whole objects in __new__) refuses it with TypeError; the values that never
// change (Origin, Problem ...) are their own copies.
void refuseObjectsHoldingNothing(py::module_& module);

// __eq__ of a class of the module, by `same`: an object of any other type is
// unequal, as Python's own values are, rather than the TypeError pybind11
// raises for an argument it cannot convert.
template <typename Value, auto same = std::equal_to<Value>{}>
bool equalTo(const Value& self, py::handle other) {
    return py::isinstance<Value>(other) && same(self, other.cast<const Value&>());
}

}  // namespace settings::python_binding
