// Loading settings files: the text of a file, within the size limit, or the
// `file` problem that keeps it from being read.
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <variant>

#include "file/internal/file_access.h"
#include "file/internal/reader.h"
#include "settings/file.h"
#include "settings/text.h"

namespace settings {

using namespace file_internal;
namespace {

SettingsText fileProblem(std::string_view message) {
    return {std::string(), FileProblem{std::string(), ProblemKind::file, std::string(message), 0, 0}};
}

}  // namespace

SettingsText loadSettingsText(std::FILE* stream) {
    // Read no more than it takes to tell a text at the limit from a larger one.
    std::string text;
    std::array<char, 4096> chunk;  // only what a read fills is used
    std::size_t count = 0;
    while (text.size() <= kMaxSettingsFileBytes && (count = std::fread(chunk.data(), 1, chunk.size(), stream)) > 0) {
        text.append(chunk.data(), count);
    }
    if (std::ferror(stream) != 0) {
        return fileProblem(kCannotRead);
    }
    if (text.size() > kMaxSettingsFileBytes) {
        return fileProblem(concatenate(
            {"is larger than the limit of ", renderInteger(static_cast<std::int64_t>(kMaxSettingsFileBytes)),
             " bytes (", renderInteger(static_cast<std::int64_t>(kMaxSettingsFileBytes >> 20U)), " MiB)"}));
    }
    return {std::move(text), std::nullopt};
}

// Read with the C library's streams, which start faster than iostreams: the
// checker's cost is its start-up.
SettingsText file_internal::loadSettingsText(const std::filesystem::path& path, Opening opening) {
    std::variant<OpenFile, std::string_view> opened = openSettingsFile(path, opening);
    if (const auto* refusal = std::get_if<std::string_view>(&opened)) {
        return fileProblem(*refusal);
    }
    return settings::loadSettingsText(std::get<OpenFile>(opened).get());
}

SettingsText loadSettingsText(const std::filesystem::path& path) { return loadSettingsText(path, Opening::anyFile); }

FileReading readSettingsFile(const std::filesystem::path& path) {
    SettingsText loaded = loadSettingsText(path);
    if (loaded.problem) {
        FileReading reading;
        reading.problems.push_back(std::move(*loaded.problem));
        return reading;
    }
    return readSettings(loaded.text);
}

}  // namespace settings
