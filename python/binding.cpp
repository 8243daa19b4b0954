// The conversions and checks that more than one part of the Python module
// uses, so that every part takes a path, a text or an environment as the
// others do and says the same when it refuses one.
#include "binding.h"

#include <pybind11/stl/filesystem.h>

#include <string>
#include <vector>

#include "settings/message_text.h"
#include "settings/sources.h"
#include "settings/table.h"

namespace settings::python_binding {

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

std::vector<std::filesystem::path> layersOf(py::handle layers) {
    if (py::isinstance<py::str>(layers) || py::isinstance<py::bytes>(layers) || py::hasattr(layers, "__fspath__") ||
        !py::isinstance<py::iterable>(layers)) {
        throw py::type_error(concatenate({"layers: a list of paths, lowest first, not ",
                                          std::string(py::str(py::type::of(layers).attr("__name__")))}));
    }
    std::vector<std::filesystem::path> paths;
    for (const py::handle layer : layers) {
        paths.push_back(pathOf(layer, "layers"));
    }
    return paths;
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
            className == "SettingChange" || className == "OverriddenChange" || className == "ValidationError") {
            const auto itself = [](const py::handle& self) { return py::reinterpret_borrow<py::object>(self); };
            value.attr("__copy__") = py::cpp_function(itself, py::is_method(value));
            value.attr("__deepcopy__") =
                py::cpp_function([itself](const py::handle& self, const py::handle&) { return itself(self); },
                                 py::is_method(value), py::arg("memo"));
        }
    }
}

}  // namespace settings::python_binding
