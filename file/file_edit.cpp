// Edits of a settings file: under the lock of its edits, the file a path
// leads to is read, its text edited, and without errors replaced.
#include <system_error>

#include "file/internal/file_access.h"
#include "file/internal/file_replace.h"
#include "file/internal/reader.h"
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
    const std::u8string name = path.u8string();
    return {name.begin(), name.end()};
}

void fail(FileEdit& edit, const std::filesystem::path& path, std::string message) {
    edit.edit.problems.push_back({{SourceKind::file, nameOf(path)}, {{}, ProblemKind::file, std::move(message), 0, 0}});
}

}  // namespace

std::string file_internal::leftoverPrefix(const std::filesystem::path& file) {
    return concatenate({".", nameOf(file.filename()), ".edit-"});
}

void file_internal::removeLeftovers(const std::filesystem::path& file) {
    const std::string prefix = leftoverPrefix(file);
    std::error_code error;
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    // GCOVR_EXCL_BR_START: a folder that cannot be read to its end, which the lock has just opened
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
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
    const std::variant<EditLock, std::string_view> lock = EditLock::take(target, options.lockTimeout);
    if (const auto* refusal = std::get_if<std::string_view>(&lock)) {
        fail(edit, path, std::string(*refusal));
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
    edit.edit = editSettingsText(edit.oldText, edits, nameOf(path));
    if (anyError(edit.edit.problems) || edit.edit.changes.empty() || options.dryRun) {
        return edit;
    }
    if (const std::optional<std::string> failure = replaceFile(target, edit.edit.text)) {
        fail(edit, path, concatenate({"cannot be written: ", *failure}));
        return edit;
    }
    edit.written = true;
    return edit;
}

}  // namespace settings
