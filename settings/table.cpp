// What of the table is not known at compile time.
#include "settings/table.h"

namespace settings {

std::string environmentName(std::string_view keyPath) {
    std::string name(kEnvironmentPrefix);
    for (const char c : keyPath) {
        const bool upper = c >= 'A' && c <= 'Z';
        if (c == '.' || upper) {
            name += '_';
        }
        if (c != '.') {
            name += upper ? c : static_cast<char>(c - 'a' + 'A');
        }
    }
    return name;
}

}  // namespace settings
