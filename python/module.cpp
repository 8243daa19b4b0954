// The Python package detector_settings, an extension module that is the
// package's __init__, beside its type stubs: the settings record, its
// validator, settings files and sources, edits and the live reload, bound
// from the libraries' public headers alone.
#include "binding.h"

PYBIND11_MODULE(detector_settings, module) {
    namespace binding = settings::python_binding;
    module.doc() = "The settings of the audio-event detector, read, checked, edited and watched as the detector does.";
    // Each part after the classes it names: pybind11 writes a signature's
    // types when it binds it, as Python names them only once they are bound.
    binding::bindConfig(module);
    binding::bindProblems(module);
    binding::bindFile(module);
    binding::bindSources(module);
    binding::bindEdit(module);
    binding::bindWatch(module);
    binding::refuseObjectsHoldingNothing(module);
}
