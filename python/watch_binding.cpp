// The live reload from Python. The watch's thread takes the GIL only to call
// a listener; the owner's thread lets it go while it waits for the watch to
// end, so that neither waits for the other. Watches still running when the
// interpreter exits are stopped by an atexit hook, before Python is torn down.

#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "binding.h"
#include "settings/message_text.h"
#include "settings/watch.h"

namespace settings::python_binding {
namespace {

// What the listeners receive.
struct Applied {
    py::object config;
    std::vector<std::string> changed;
    std::vector<std::string> pending;
};
struct Rejected {
    std::string text;
    std::vector<SourcedProblem> problems;
    std::vector<SettingsFileText> layers;
};

// The Python callables, which the watch's thread may be the last to hold:
// they are let go with the GIL, or left alone once Python is shutting down.
struct Listeners {
    py::object onApplied;
    py::object onRejected;

    Listeners(py::object applied, py::object rejected)
        : onApplied(std::move(applied)), onRejected(std::move(rejected)) {}
    Listeners(const Listeners&) = delete;
    Listeners& operator=(const Listeners&) = delete;
    Listeners(Listeners&&) = delete;
    Listeners& operator=(Listeners&&) = delete;
    ~Listeners() {
        if (Py_IsInitialized() == 0 || _Py_IsFinalizing() != 0) {
            onApplied.release();
            onRejected.release();
            return;
        }
        try {
            const py::gil_scoped_acquire locked;
            onApplied = py::object();
            onRejected = py::object();
        } catch (...) {  // a thread state that cannot be made: they are left, not freed without the GIL
            onApplied.release();
            onRejected.release();
        }
    }

    // Calls `listener` with `argument` made under the GIL; what it raises is
    // reported as Python reports an exception nobody can catch, and the watch goes on.
    template <typename MakeArgument>
    static void call(const py::object& listener, const char* where, MakeArgument makeArgument) {
        const py::gil_scoped_acquire locked;
        if (listener.is_none()) {
            return;
        }
        try {
            listener(makeArgument());
        } catch (py::error_already_set& raised) {
            raised.discard_as_unraisable(where);
        } catch (const std::exception& failure) {
            PyErr_SetString(PyExc_RuntimeError, failure.what());
            PyErr_WriteUnraisable(py::str(where).ptr());
        }
    }
};

// A watch and what it leaves behind: once stopped, the settings last in force.
class Watch {
public:
    Watch(const std::filesystem::path& path, const Config& running, WatchOptions options) {
        const py::gil_scoped_release unlocked;
        watcher_ = std::make_unique<SettingsWatcher>(path, running, std::move(options));
    }
    // A watcher that Python drops without stop() is stopped, the GIL let go
    // while its thread ends: that thread may be waiting for it to call a listener.
    ~Watch() {
        try {
            stop();
        } catch (...) {  // GCOVR_EXCL_LINE: what Python could not do while dropping it, it can tell no one
        }
    }
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;
    Watch(Watch&&) = delete;
    Watch& operator=(Watch&&) = delete;

    // Ends the watch. Called with the GIL, which is let go while the watch's
    // thread ends; from a listener, the watch ends once the listener returns.
    void stop() {
        if (!watcher_) {
            return;
        }
        std::unique_ptr<SettingsWatcher> watcher = std::move(watcher_);
        last_ = watcher->current();
        const py::gil_scoped_release unlocked;
        watcher.reset();
    }

    [[nodiscard]] std::shared_ptr<const Config> current() const { return watcher_ ? watcher_->current() : last_; }
    [[nodiscard]] bool watching() const { return watcher_ && watcher_->watching(); }

private:
    std::unique_ptr<SettingsWatcher> watcher_;
    std::shared_ptr<const Config> last_;
};

// Every watch made, for the atexit hook. Touched only with the GIL.
std::vector<std::weak_ptr<Watch>>& watches() {
    static auto* const all = new std::vector<std::weak_ptr<Watch>>();  // never destroyed: Python may outlive statics
    return *all;
}

void stopAll() {
    const std::vector<std::weak_ptr<Watch>> all = std::exchange(watches(), {});
    for (const std::weak_ptr<Watch>& weak : all) {
        if (const std::shared_ptr<Watch> watch = weak.lock()) {
            watch->stop();
        }
    }
}

std::shared_ptr<Watch> startWatch(py::handle path, const Config& running, py::object onApplied, py::object onRejected,
                                  py::handle environment, py::handle overrides, double pollSeconds,
                                  double settleSeconds, py::handle layers) {
    WatchOptions options;
    options.layers = layersOf(layers);
    // The C++ watcher watches the set alone at an empty path; from Python,
    // that is None, so that an empty path stays the mistake it is elsewhere.
    if (path.is_none() && options.layers.empty()) {
        throw py::value_error("path: None watches the layered set of `layers` alone, and layers names no path");
    }
    const std::filesystem::path file = path.is_none() ? std::filesystem::path() : pathOf(path);
    if (!path.is_none() && file.empty()) {
        throw py::value_error("path: an empty path names no file; None watches the layered set of `layers` alone");
    }
    options.environment = environmentOf(environment);
    options.overrides = overridesOf(overrides);
    const auto milliseconds = [](double seconds) {
        return std::chrono::milliseconds(static_cast<std::int64_t>(std::clamp(seconds, 0.0, 3600.0) * 1000));
    };
    options.pollInterval = milliseconds(pollSeconds);
    options.settleTime = milliseconds(settleSeconds);
    const auto listeners = std::make_shared<Listeners>(std::move(onApplied), std::move(onRejected));
    options.onApplied = [listeners](const AppliedChange& change) {
        Listeners::call(listeners->onApplied, "on_applied of detector_settings.SettingsWatcher", [&] {
            return Applied{configObject(*change.config),
                           {change.changed.begin(), change.changed.end()},
                           {change.pending.begin(), change.pending.end()}};
        });
    };
    options.onRejected = [listeners](const RejectedEdit& edit) {
        Listeners::call(listeners->onRejected, "on_rejected of detector_settings.SettingsWatcher", [&] {
            return Rejected{edit.text, edit.problems, edit.layers};
        });
    };
    auto watch = std::make_shared<Watch>(file, running, std::move(options));
    std::erase_if(watches(), [](const std::weak_ptr<Watch>& weak) { return weak.expired(); });
    watches().push_back(watch);
    return watch;
}

}  // namespace

void bindWatch(py::module_& module) {
    py::class_<Applied>(module, "AppliedChange", "Settings newly published by a watch.")
        .def_readonly("config", &Applied::config, "The record now in force.")
        .def_readonly("changed", &Applied::changed, "Key paths of the settings whose value in force changed.")
        .def_readonly("pending", &Applied::pending,
                      "Key paths of the restart-only settings whose value in the file differs from the running one.");
    py::class_<Rejected>(module, "RejectedEdit", "An edit that a watch did not publish.")
        .def_property_readonly(
            "text", [](const Rejected& self) { return text(self.text); }, "The text judged.")
        .def_readonly("problems", &Rejected::problems, "Every problem, as load_settings gives them; never empty.")
        .def_property_readonly(
            "layers",
            [](const Rejected& self) {
                py::list layers;
                for (const SettingsFileText& layer : self.layers) {
                    layers.append(py::make_tuple(text(layer.name), text(layer.content.text)));
                }
                return layers;
            },
            "(name, text) of each file of the layered set judged, lowest first, for their problems' lines.");

    py::class_<Watch, std::shared_ptr<Watch>> watcher(
        module, "SettingsWatcher",
        "A watch of one settings file, of a layered set (`layers`, as load_settings takes them) under it, or of the "
        "set alone: each change of any of them is judged as `detector-settings check` judges it, with the "
        "environment and the overrides on top, and only settings without problems are published. on_applied and "
        "on_rejected run on the watch's thread; what they raise is reported as an unraisable exception and the watch "
        "goes on. Use it as a context manager, or call stop(). In a process forked from the one that made it, it "
        "watches nothing.",
        py::is_final());
    // The watch starts in __new__, so that no object of the class is ever
    // without one; pybind11 then leaves __init__ alone.
    watcher.attr("__new__") = py::staticmethod(py::cpp_function(
        [](const py::handle&, py::handle path, const Config& running, py::object onApplied, py::object onRejected,
           py::handle environment, py::handle overrides, double pollSeconds, double settleSeconds, py::handle layers) {
            return startWatch(path, running, std::move(onApplied), std::move(onRejected), environment, overrides,
                              pollSeconds, settleSeconds, layers);
        },
        py::arg("cls"), py::arg("path"), py::arg("config"), py::arg("on_applied") = py::none(),
        py::arg("on_rejected") = py::none(), py::arg("environment") = py::none(), py::arg("overrides") = py::tuple(),
        py::arg("poll_interval") = 0.1, py::arg("settle_time") = 0.05, py::arg("layers") = py::tuple(),
        "Watches the file at `path` (None: the layered set of `layers` alone) of a detector that runs with "
        "`config`; poll_interval and settle_time are in seconds. The files as they are now are the first edit "
        "judged."));
    watcher
        .def(py::init([](const py::args&, const py::kwargs&) -> std::shared_ptr<Watch> {
            throw py::type_error("detector_settings.SettingsWatcher is made by SettingsWatcher(path, config, ...)");
        }))
        .def(
            "current", [](const Watch& self) { return configObject(*self.current()); },
            "A copy of the settings in force; from any thread.")
        .def_property_readonly("watching", &Watch::watching, "True from construction to stop().")
        .def("stop", &Watch::stop,
             "Ends the watch; no listener is called after it returns. From a listener, the watch ends once the "
             "listener returns.")
        .def("__enter__", [](const std::shared_ptr<Watch>& self) { return self; })
        .def("__exit__", [](Watch& self, const py::args&) {
            self.stop();
            return false;
        });

    py::module_::import("atexit").attr("register")(py::cpp_function(&stopAll));
}

}  // namespace settings::python_binding
