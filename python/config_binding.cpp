// Config as Python sees it: one attribute per section of the key paths, each
// a view of the record with one property per setting, all made from the table,
// so that "detection.sensitivity" in a message is config.detection.sensitivity.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "binding.h"
#include "section_names.h"
#include "settings/file.h"
#include "settings/message_text.h"
#include "settings/table.h"
#include "settings/validation.h"

namespace settings::python_binding {
namespace {

using ConfigHolder = std::shared_ptr<Config>;

// The sections as attributes: a view shares the record it shows.
template <std::size_t Section>
struct SectionView {
    ConfigHolder config;
};

std::string describe(py::handle value) { return py::str(py::type::of(value).attr("__name__")); }

[[noreturn]] void refuse(PyObject* error, std::string_view keyPath, std::string_view what) {
    PyErr_SetString(error, concatenate({keyPath, ": ", what}).c_str());
    throw py::error_already_set();
}

// A Python value as the member of the setting at `keyPath` holds it; an error
// naming the key path for a value that does not fit, never a truncated one.
template <typename Value>
Value memberValue(py::handle value, std::string_view keyPath) {
    const bool number = PyLong_Check(value.ptr()) != 0 && PyBool_Check(value.ptr()) == 0;
    if constexpr (std::is_same_v<Value, std::int32_t>) {
        if (!number) {
            refuse(PyExc_TypeError, keyPath, concatenate({"expected int, got ", describe(value)}));
        }
        int overflow = 0;
        const long long wide = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
        if (overflow != 0 || wide < std::numeric_limits<Value>::min() || wide > std::numeric_limits<Value>::max()) {
            refuse(PyExc_OverflowError, keyPath,
                   concatenate({std::string(py::repr(value)), " does not fit a 32-bit integer, from ",
                                renderInteger(std::numeric_limits<Value>::min()), " to ",
                                renderInteger(std::numeric_limits<Value>::max())}));
        }
        return static_cast<Value>(wide);
    } else if constexpr (std::is_same_v<Value, float>) {
        if (!number && PyFloat_Check(value.ptr()) == 0) {
            refuse(PyExc_TypeError, keyPath, concatenate({"expected float, got ", describe(value)}));
        }
        const double wide = PyFloat_AsDouble(value.ptr());
        const auto narrow = static_cast<float>(wide);
        if (PyErr_Occurred() != nullptr || (std::isinf(narrow) && !std::isinf(wide))) {
            PyErr_Clear();
            refuse(PyExc_OverflowError, keyPath,
                   concatenate({std::string(py::repr(value)), " does not fit a single-precision float"}));
        }
        return narrow;
    } else {
        std::string utf8 = utf8Of(value, keyPath);
        if constexpr (std::is_same_v<Value, std::string>) {
            return utf8;
        } else {
            return value.cast<std::wstring>();
        }
    }
}

template <typename Value>
py::object pythonValue(const Value& value) {
    if constexpr (std::is_same_v<Value, float>) {
        return py::float_(static_cast<double>(value));
    } else {
        return py::cast(value);
    }
}

// The text of a setting's property: what it means and demands, its default
// and its variable; and for a real, what single precision does to a value.
template <typename Row>
std::string documentation(const Row& row) {
    std::string doc =
        concatenate({description(row), ".\nDefault: ", settingValueText(Config{}, row.keyPath).value_or(""),
                     "; variable: ", environmentName(row.keyPath), "."});
    if constexpr (Row::type == ValueType::real) {
        const Config defaults;
        const auto held = static_cast<double>(row.member(defaults));
        doc += concatenate({"\nHeld in single precision, as the detector holds it: the default reads back as ",
                            std::string(py::repr(py::float_(held))), "."});
    }
    return doc;
}

// A property of `Self`, whose record `holderOf(self)` gives, for the setting of `row`.
template <typename Self, typename Class, typename Row, typename HolderOf>
void addProperty(Class& cls, const Row& row, HolderOf holderOf) {
    using Value = typename Row::Value;
    const std::string name(row.name());
    cls.def_property(
        name.c_str(), [row, holderOf](const Self& self) { return pythonValue<Value>(row.member(*holderOf(self))); },
        [row, holderOf](const Self& self, py::handle value) {
            row.member(*holderOf(self)) = memberValue<Value>(value, row.keyPath);
        },
        documentation(row).c_str());
}

py::dict toDict(const Config& config) {
    py::dict values;
    forEachSetting(
        [&](const auto& row) { values[py::str(std::string(row.keyPath))] = pythonValue(row.member(config)); });
    return values;
}

Config fromDict(const py::dict& values) {
    Config config;
    for (const auto& item : values) {
        const py::handle value = item.second;
        const std::string keyPath = utf8Of(item.first, "from_dict");
        rowOfKey(keyPath);
        visitSetting(keyPath, [&](const auto& row) {
            row.member(config) = memberValue<typename std::remove_cvref_t<decltype(row)>::Value>(value, keyPath);
        });
    }
    return config;
}

// "Section(name=value, ...)" of the settings of one section.
std::string sectionRepr(const Config& config, std::string_view section, std::string_view className) {
    std::string out = concatenate({className, "("});
    forEachSetting([&](const auto& row) {
        if (row.section() == section) {
            out += concatenate({out.back() == '(' ? "" : ", ", row.name(), "=",
                                std::string(py::repr(pythonValue(row.member(config))))});
        }
    });
    return out + ")";
}

template <std::size_t Section>
void bindSection(py::module_& module, py::class_<Config, ConfigHolder>& config) {
    static constexpr std::string_view kSection = kSections.at(Section);
    static const std::string className = sectionClassName(kSection);
    static const std::string doc = concatenate({"The settings whose key paths start with \"", kSection, ".\"."});
    py::class_<SectionView<Section>> view(module, className.c_str(), doc.c_str());
    const auto holderOf = [](const SectionView<Section>& self) { return self.config; };
    forEachSetting([&](const auto& row) {
        if (row.section() == kSection) {
            addProperty<SectionView<Section>>(view, row, holderOf);
        }
    });
    view.def("__repr__",
             [](const SectionView<Section>& self) { return sectionRepr(*self.config, kSection, className); });
    config.def_property_readonly(
        std::string(kSection).c_str(), [](const ConfigHolder& self) { return SectionView<Section>{self}; },
        concatenate({"The ", kSection, " settings, a view of this record."}).c_str());
}

// The class's text: what a Config is, then each setting with its rule and default.
std::string configDocumentation() {
    std::string doc =
        "The detector's settings: every setting of the table, with its default.\n"
        "Sections are attributes, named as the key paths name them: \"detection.sensitivity\"\n"
        "is config.detection.sensitivity. A value that does not fit a setting raises TypeError\n"
        "or OverflowError naming its key path; assigning never validates (see validate).\n\nSettings:\n";
    forEachSetting([&](const auto& row) {
        doc += concatenate({"  ", row.keyPath, " = ", settingValueText(Config{}, row.keyPath).value_or(""), "\n      ",
                            description(row), "\n"});
    });
    return doc;
}

}  // namespace

py::object configObject(const Config& config) { return py::cast(std::make_shared<Config>(config)); }

void bindConfig(py::module_& module) {
    static const std::string doc = configDocumentation();
    py::class_<Config, ConfigHolder> config(module, "Config", doc.c_str(), py::is_final());
    // Whole from __new__ on, so that no Config is ever without its record;
    // pybind11 then leaves __init__ alone. Pickling (multiprocessing, joblib)
    // gives __new__ the settings by key path.
    config.attr("__new__") = py::staticmethod(py::cpp_function(
        [](const py::handle&, const std::optional<py::dict>& values) {
            return configObject(values ? fromDict(*values) : Config{});
        },
        py::arg("cls"), py::arg("values") = py::none()));
    config.def(py::init<>(), "A record of the defaults.");
    config.def("__getnewargs__", [](const Config& self) { return py::make_tuple(toDict(self)); });
    config.def("__getstate__", [](const Config&) { return py::none(); });
    forEachSetting([&](const auto& row) {
        if (row.section().empty()) {
            addProperty<ConfigHolder>(config, row, [](const ConfigHolder& self) { return self; });
        }
    });
    [&]<std::size_t... Section>(std::index_sequence<Section...>) { (bindSection<Section>(module, config), ...); }
    (std::make_index_sequence<kSections.size()>{});
    config.def("__eq__", &equalTo<Config, sameNamedSettings>);
    config.def("__copy__", [](const Config& self) { return self; });
    config.def(
        "__deepcopy__", [](const Config& self, const py::dict&) { return self; }, py::arg("memo"));
    config.def("to_dict", &toDict, "The settings by key path: {\"detection.sensitivity\": 0.699999988079071, ...}.");
    config.def_static("from_dict", &fromDict, py::arg("values"),
                      "A record of the defaults with the settings of `values`, a dict by key path; an unknown key "
                      "raises KeyError with a suggestion.");
    config.def("__repr__", [](const Config& self) {
        return concatenate({"Config.from_dict(", std::string(py::repr(toDict(self))), ")"});
    });

    py::class_<ValidationError>(module, "ValidationError", "A setting that breaks a rule.")
        .def_readonly("field", &ValidationError::field, "Key path of the setting: \"audio.bufferSizeMs\".")
        .def_readonly("message", &ValidationError::message, "The rule, then the value: \"must be in [5, 100]; got 0\".")
        .def("__eq__", &equalTo<ValidationError>)
        .def("__repr__", [](const ValidationError& self) {
            return concatenate({"ValidationError(field=", reprOf(self.field), ", message=", reprOf(self.message), ")"});
        });
    module.def("validate", &validate, py::arg("config"),
               "The first broken rule, in the table's order, as a ValidationError; None when every rule holds.");
    module.def("validate_all", &validateAll, py::arg("config"),
               "Every setting that breaks a rule, in rule order, one ValidationError per setting.");
}

}  // namespace settings::python_binding
