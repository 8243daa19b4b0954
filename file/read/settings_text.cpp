// The text of a settings file, within the size limit, or the
// `file` problem that keeps it from being read.
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>
#include <system_error>
#include <variant>

#include "file/base/internal/access.h"
#include "file/read/internal/settings_reader.h"
#include "settings/message_text.h"
#include "settings/read.h"

namespace settings {

using namespace file_internal;
namespace {

SettingsText fileProblem(std::string message) {
    return {std::string(), FileProblem{std::string(), ProblemKind::file, std::move(message), 0, 0}};
}

}  // namespace

SettingsText readSettingsText(std::FILE* stream) {
    // Read no more than it takes to tell a text at the limit from a larger one.
    std::string text;
    std::array<char, 4096> chunk;  // only what a read fills is used
    std::size_t count = 0;
    errno = 0;
    while (text.size() <= kMaxSettingsFileBytes && (count = std::fread(chunk.data(), 1, chunk.size(), stream)) > 0) {
        text.append(chunk.data(), count);
    }
    if (std::ferror(stream) != 0) {
        // GCOVR_EXCL_BR_START: errno stays 0 only where the stream itself failed, which no test can make
        return fileProblem(errno == 0 ? std::string(kCannotRead) : cannotRead(errno));
        // GCOVR_EXCL_BR_STOP
    }
    if (text.size() > kMaxSettingsFileBytes) {
        return fileProblem(concatenate({"is larger than ", sizeLimitText()}));
    }
    return {std::move(text), std::nullopt};
}

// Read with the C library's streams, which start faster than iostreams: the
// command's cost is its start-up.
SettingsText readSettingsText(const std::filesystem::path& path, Opening opening) {
    std::variant<OpenFile, std::string> opened = openSettingsFile(path, opening);
    if (auto* refusal = std::get_if<std::string>(&opened)) {
        return fileProblem(std::move(*refusal));
    }
    return settings::readSettingsText(std::get<OpenFile>(opened).get());
}

SettingsText readSettingsText(const std::filesystem::path& path) { return readSettingsText(path, Opening::anyFile); }

FileReading readSettingsFile(const std::filesystem::path& path, Opening opening) {
    SettingsText loaded = readSettingsText(path, opening);
    if (loaded.problem) {
        FileReading reading;
        reading.problems.push_back(std::move(*loaded.problem));
        return reading;
    }
    return readSettings(loaded.text);
}

FileReading readSettingsFile(const std::filesystem::path& path) { return readSettingsFile(path, Opening::anyFile); }

std::string file_internal::sizeLimitText() {
    return concatenate({"the limit of ", renderInteger(static_cast<std::int64_t>(kMaxSettingsFileBytes)), " bytes (",
                        renderInteger(static_cast<std::int64_t>(kMaxSettingsFileBytes >> 20U)), " MiB)"});
}

std::string file_internal::cannotRead(int error) {
    return concatenate({kCannotRead, ": ", std::generic_category().message(error)});
}

}  // namespace settings
