// Edits of a settings file: under the lock of its edits, the file a path
// leads to is read, its text edited, and without errors replaced.
#include <algorithm>
#include <utility>

#include "file/base/internal/access.h"
#include "file/base/internal/path_names.h"
#include "file/edit/internal/layered_edit.h"
#include "file/edit/internal/replace.h"
#include "file/edit/internal/text_edit.h"
#include "file/read/internal/settings_reader.h"
#include "settings/edit.h"
#include "settings/message_text.h"

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

void fail(FileEdit& edit, const std::filesystem::path& path, std::string message) {
    edit.problems.push_back({{SourceKind::file, utf8Name(path)}, {{}, ProblemKind::file, std::move(message), 0, 0}});
}

// From no wait to an hour, so that no deadline overflows.
std::chrono::milliseconds saneLockTimeout(std::chrono::milliseconds timeout) {
    return std::clamp(timeout, std::chrono::milliseconds(0), std::chrono::milliseconds(std::chrono::hours(1)));
}

}  // namespace

FileEdit editSettingsFile(const std::filesystem::path& path, const std::vector<SettingEdit>& edits,
                          const FileEditOptions& options) {
    FileEdit edit;
    if (!options.layers.empty()) {
        if (std::optional<std::string> outside = outsideLayers(path, options.layers)) {
            fail(edit, path, std::move(*outside));
            return edit;
        }
    }
    const std::filesystem::path target = targetOf(path);
    std::variant<EditLock, std::string> lock =
        EditLock::take(target, saneLockTimeout(options.lockTimeout), options.keepWaiting);
    if (auto* refusal = std::get_if<std::string>(&lock)) {
        fail(edit, path, std::move(*refusal));
        return edit;
    }
    removeLeftovers(target);
    SettingsText loaded = readSettingsText(target, Opening::regularOnly);
    const bool created = loaded.problem && loaded.problem->message == kNoSuchFile && options.create;
    if (loaded.problem && !created) {
        edit.problems.push_back({{SourceKind::file, utf8Name(path)}, std::move(*loaded.problem)});
        return edit;
    }
    edit.oldText = std::move(loaded.text);
    TextEdit edited = editText(edit.oldText, edits, utf8Name(path), created);
    edit.text = std::move(edited.text);
    edit.changes = std::move(edited.changes);
    edit.problems = std::move(edited.problems);
    if (!options.layers.empty() && !anyError(edit.problems)) {
        judgeInLayers(edit, path, options);
    }
    // GCOVR_EXCL_BR_START: a file made new always has the settings given
    if (anyError(edit.problems) || (edit.text == edit.oldText && !created) || options.dryRun) {
        // GCOVR_EXCL_BR_STOP
        return edit;
    }
    if (std::optional<std::string> failure = replaceFile(target, edit.text)) {
        fail(edit, path, std::move(*failure));
        edit.changes.clear();
        return edit;
    }
    edit.written = true;
    return edit;
}

}  // namespace settings
