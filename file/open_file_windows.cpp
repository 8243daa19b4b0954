// Paths are UTF-16: the standard fopen takes names in the ANSI code page,
// which cannot hold every name. The file is opened sharing writes and
// deletion too, so that reading it, as a watch does while the detector runs,
// never keeps an editor from saving over it or renaming a new file onto it.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>

#include "settings/internal/open_file.h"

namespace settings {

OpenFile openForReading(const std::filesystem::path& path) {
    const HANDLE handle =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return OpenFile();
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (descriptor == -1) {
        static_cast<void>(CloseHandle(handle));
        return OpenFile();
    }
    std::FILE* file = _fdopen(descriptor, "rb");
    if (file == nullptr) {
        static_cast<void>(_close(descriptor));
    }
    return OpenFile(file);
}

}  // namespace settings
