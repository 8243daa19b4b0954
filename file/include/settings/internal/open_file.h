// Opening a file for reading by its path, whatever characters its name has.
// Internal to the settings-file library; each platform has its source.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>

namespace settings {

struct FileCloser {
    void operator()(std::FILE* file) const { static_cast<void>(std::fclose(file)); }
};
using OpenFile = std::unique_ptr<std::FILE, FileCloser>;

// The file opened for reading in binary mode; empty when it cannot be opened.
OpenFile openForReading(const std::filesystem::path& path);

}  // namespace settings
