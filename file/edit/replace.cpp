// What replacing a file shares on every platform: the names of the files an
// edit makes beside it, removing those a stopped edit left, the wait for
// another edit's lock, and the messages of both.
#include "file/edit/internal/replace.h"

#include <cstdint>
#include <system_error>
#include <thread>

#include "file/base/internal/characters.h"
#include "file/base/internal/path_names.h"
#include "settings/message_text.h"

namespace settings::file_internal {
namespace {

// "10 s", "50 ms": how long an edit waited.
std::string durationText(std::chrono::milliseconds duration) {
    const std::int64_t count = duration.count();
    if (count % 1000 == 0 && count > 0) {
        return concatenate({renderInteger(count / 1000), " s"});
    }
    return concatenate({renderInteger(count), " ms"});
}

}  // namespace

std::filesystem::path folderOf(const std::filesystem::path& file) {
    return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

std::string absoluteName(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error).lexically_normal();
    // "/srv/detector/" of "/srv/detector/."; "/" is no test's folder
    if (absolute.has_relative_path() && absolute.filename().empty()) {  // GCOVR_EXCL_BR_LINE
        absolute = absolute.parent_path();
    }
    return utf8Name(error ? path : absolute);  // GCOVR_EXCL_BR_LINE: fails only where there is no current folder
}

std::string boundedName(const std::filesystem::path& file) {
    std::string name = utf8Name(file.filename());
    if (name.size() > kLongestNamePart) {
        std::size_t end = kLongestNamePart;
        while (end > 0 && !startsCharacter(name[end])) {  // GCOVR_EXCL_BR_LINE: a name starts with a character
            --end;
        }
        name.resize(end);
    }
    return name;
}

std::string leftoverPrefix(const std::filesystem::path& file) {
    return concatenate({".", boundedName(file), ".edit-"});
}

std::string beingEdited(std::string_view lock, std::chrono::milliseconds waited) {
    return concatenate(
        {"is being edited by another process, which held ", lock, " for all of ", durationText(waited), "; try again"});
}

LockWait::LockWait(const std::filesystem::path& file, std::chrono::milliseconds timeout,
                   const std::function<bool()>& keepWaiting)
    : file_(file), timeout_(timeout), keepWaiting_(keepWaiting) {}

std::optional<std::string> LockWait::refused() {
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ >= timeout_) {
        return beingEdited(lockName(file_), timeout_);
    }
    if (keepWaiting_ && now - asked_ >= std::chrono::milliseconds(10)) {
        asked_ = now;
        if (!keepWaiting_()) {
            return std::string(kStoppedWaiting);
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return std::nullopt;
}

std::string hardLinksRefusal(std::uint64_t links) {
    return concatenate({"has ", renderInteger(static_cast<std::int64_t>(links)),
                        " hard links, which replacing it would part, the others keeping the old text: edit it "
                        "once it has one name (remove the other links, or copy it)"});
}

void removeLeftovers(const std::filesystem::path& file) {
    const std::string prefix = leftoverPrefix(file);
    std::error_code error;
    // GCOVR_EXCL_BR_START: a folder that cannot be read to its end, which the lock has just opened
    for (std::filesystem::directory_iterator entry(folderOf(file), error), end; !error && entry != end;
         entry.increment(error)) {
        if (utf8Name(entry->path().filename()).starts_with(prefix)) {
            std::filesystem::remove(entry->path(), error);
        }
    }
    // GCOVR_EXCL_BR_STOP
}

}  // namespace settings::file_internal
