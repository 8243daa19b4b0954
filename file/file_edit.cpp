// Edits of a settings file: under the lock of its edits, the file a path
// leads to is read, its text edited, and without errors replaced.
#include <algorithm>
#include <cstdint>
#include <system_error>
#include <thread>

#include "file/internal/characters.h"
#include "file/internal/file_access.h"
#include "file/internal/file_replace.h"
#include "file/internal/reader.h"
#include "file/internal/text_edit.h"
#include "settings/edit.h"
#include "settings/text.h"

namespace settings {

using namespace file_internal;
namespace {

// A link to a link to ... is followed this far, as systems do.
constexpr int kMaxLinks = 40;

// The file that `path` leads to, through every link, even one that leads to nothing yet.
std::filesystem::path targetOf(std::filesystem::path path) {
    std::error_code error;
    for (int link = 0; link < kMaxLinks && std::filesystem::is_symlink(path, error); ++link) {
        const std::filesystem::path next = std::filesystem::read_symlink(path, error);
        path = next.is_absolute() ? next : path.parent_path() / next;  // GCOVR_EXCL_BR_LINE: exception edges
    }
    return path;
}

// The path as problems name the file: as given, in UTF-8.
std::string nameOf(const std::filesystem::path& path) {
    try {
        const std::u8string name = path.u8string();
        return {name.begin(), name.end()};
    } catch (const std::system_error&) {        // GCOVR_EXCL_LINE: a lone surrogate, on Windows
        return "(a name that is not Unicode)";  // GCOVR_EXCL_LINE
    }
}

void fail(FileEdit& edit, const std::filesystem::path& path, std::string message) {
    edit.edit.problems.push_back({{SourceKind::file, nameOf(path)}, {{}, ProblemKind::file, std::move(message), 0, 0}});
}

// "10 s", "50 ms": how long an edit waited.
std::string durationText(std::chrono::milliseconds duration) {
    const std::int64_t count = duration.count();
    if (count % 1000 == 0 && count > 0) {
        return concatenate({renderInteger(count / 1000), " s"});
    }
    return concatenate({renderInteger(count), " ms"});
}

// From no wait to an hour, so that no deadline overflows.
std::chrono::milliseconds saneLockTimeout(std::chrono::milliseconds timeout) {
    return std::clamp(timeout, std::chrono::milliseconds(0), std::chrono::milliseconds(std::chrono::hours(1)));
}

}  // namespace

std::filesystem::path file_internal::folderOf(const std::filesystem::path& file) {
    return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

std::string file_internal::absoluteName(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error).lexically_normal();
    // "/srv/detector/" of "/srv/detector/."; "/" is no test's folder
    if (absolute.has_relative_path() && absolute.filename().empty()) {  // GCOVR_EXCL_BR_LINE
        absolute = absolute.parent_path();
    }
    return nameOf(error ? path : absolute);  // GCOVR_EXCL_BR_LINE: fails only where there is no current folder
}

std::string file_internal::boundedName(const std::filesystem::path& file) {
    std::string name = nameOf(file.filename());
    if (name.size() > kLongestNamePart) {
        std::size_t end = kLongestNamePart;
        while (end > 0 && !startsCharacter(name[end])) {  // GCOVR_EXCL_BR_LINE: a name starts with a character
            --end;
        }
        name.resize(end);
    }
    return name;
}

std::string file_internal::leftoverPrefix(const std::filesystem::path& file) {
    return concatenate({".", boundedName(file), ".edit-"});
}

std::string file_internal::beingEdited(std::string_view lock, std::chrono::milliseconds waited) {
    return concatenate(
        {"is being edited by another process, which held ", lock, " for all of ", durationText(waited), "; try again"});
}

file_internal::LockWait::LockWait(const std::filesystem::path& file, std::chrono::milliseconds timeout,
                                  const std::function<bool()>& keepWaiting)
    : file_(file), timeout_(timeout), keepWaiting_(keepWaiting) {}

std::optional<std::string> file_internal::LockWait::refused() {
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

std::string file_internal::hardLinksRefusal(std::uint64_t links) {
    return concatenate({"has ", renderInteger(static_cast<std::int64_t>(links)),
                        " hard links, which replacing it would part, the others keeping the old text: edit it "
                        "once it has one name (remove the other links, or copy it)"});
}

void file_internal::removeLeftovers(const std::filesystem::path& file) {
    const std::string prefix = leftoverPrefix(file);
    std::error_code error;
    // GCOVR_EXCL_BR_START: a folder that cannot be read to its end, which the lock has just opened
    for (std::filesystem::directory_iterator entry(folderOf(file), error), end; !error && entry != end;
         entry.increment(error)) {
        if (nameOf(entry->path().filename()).starts_with(prefix)) {
            std::filesystem::remove(entry->path(), error);
        }
    }
    // GCOVR_EXCL_BR_STOP
}

FileEdit editSettingsFile(const std::filesystem::path& path, const std::vector<SettingEdit>& edits,
                          const FileEditOptions& options) {
    FileEdit edit;
    const std::filesystem::path target = targetOf(path);
    std::variant<EditLock, std::string> lock =
        EditLock::take(target, saneLockTimeout(options.lockTimeout), options.keepWaiting);
    if (auto* refusal = std::get_if<std::string>(&lock)) {
        fail(edit, path, std::move(*refusal));
        return edit;
    }
    removeLeftovers(target);
    SettingsText loaded = loadSettingsText(target, Opening::regularOnly);
    const bool created = loaded.problem && loaded.problem->message == kNoSuchFile && options.create;
    if (loaded.problem && !created) {
        edit.edit.problems.push_back({{SourceKind::file, nameOf(path)}, std::move(*loaded.problem)});
        return edit;
    }
    edit.oldText = std::move(loaded.text);
    edit.edit = editText(edit.oldText, edits, nameOf(path), created);
    // GCOVR_EXCL_BR_START: a file made new always has the settings given
    if (anyError(edit.edit.problems) || (edit.edit.text == edit.oldText && !created) || options.dryRun) {
        // GCOVR_EXCL_BR_STOP
        return edit;
    }
    if (std::optional<std::string> failure = replaceFile(target, edit.edit.text)) {
        fail(edit, path, std::move(*failure));
        edit.edit.changes.clear();
        return edit;
    }
    edit.written = true;
    return edit;
}

}  // namespace settings
