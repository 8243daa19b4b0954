// The Python class of each section of the key paths, for the module and its
// type stubs alike: "AudioSettings" of "audio". Internal to python/.
#pragma once

#include <string>
#include <string_view>

namespace settings::python_binding {

inline std::string sectionClassName(std::string_view section) {
    std::string name(section);
    name.front() = static_cast<char>(name.front() - 'a' + 'A');
    return name + "Settings";
}

}  // namespace settings::python_binding
