#include "file/base/internal/path_names.h"

#include <system_error>

namespace settings::file_internal {

std::string utf8Name(const std::filesystem::path& path) {
    try {
        const std::u8string name = path.u8string();
        return {name.begin(), name.end()};
    } catch (const std::system_error&) {        // GCOVR_EXCL_LINE: a lone surrogate, on Windows
        return "(a name that is not Unicode)";  // GCOVR_EXCL_LINE
    }
}

std::filesystem::path pathOfUtf8(std::string_view utf8) { return std::u8string(utf8.begin(), utf8.end()); }

}  // namespace settings::file_internal
