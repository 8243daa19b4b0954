// Which texts of a watched file, or of a watched layered set, are edits to
// judge: the watch's thread asks at every poll, with the time. Internal to
// the settings-file library.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "file/base/internal/access.h"
#include "settings/layers.h"
#include "settings/read.h"

namespace settings::file_internal {

// After a change the texts are compared too, for this long: a later write
// can keep the size and, within the file system's clock tick (up to 2 s on
// FAT), the modification time.
inline constexpr std::chrono::steady_clock::duration kTextComparedAfterChange = std::chrono::seconds(3);

// What a watch watches: a layered set, a file on top of it, or both.
struct WatchedFiles {
    std::vector<std::filesystem::path> layers;
    std::optional<std::filesystem::path> file;
};

// An edit to judge: the texts of the set's files and of the file.
struct WatchedTexts {
    std::vector<SettingsFileText> layers;
    std::optional<SettingsText> file;
};

// What one poll sees of the files.
struct Look {
    std::vector<FileStatus> given;  // of each path of the set: a folder's changes with its entries
    // The set's files, shared by the looks that list the same, so that a quiet poll copies none.
    std::shared_ptr<const std::vector<SettingsLayer>> listed;
    std::vector<FileStatus> statuses;      // of each file listed, then of the watched file
    std::optional<WatchedTexts> contents;  // only while texts are compared

    // Whether nothing changed since the `last` look, which has its texts; a
    // look without them says nothing of the texts.
    [[nodiscard]] bool sameAs(const Look& last) const;
};

// Each settled change of the files is an edit to judge: once they have
// stayed the same for the settle time, their texts as they are then. A file
// emptied where the last edit judged had text is most likely a writer that
// has just emptied it (a shell's ">", a generator): it is judged only once it
// has stayed empty for `emptySettleTime`.
class FileObserver {
public:
    using Clock = std::chrono::steady_clock;

    FileObserver(WatchedFiles files, Clock::duration settleTime, Clock::duration emptySettleTime,
                 Clock::time_point now);

    // The texts to judge, when a change has settled at `now`.
    std::optional<WatchedTexts> poll(Clock::time_point now);

    // Whether a change waits to settle, and the next look is due sooner.
    [[nodiscard]] bool settling() const { return unsettled_; }

private:
    [[nodiscard]] Look lookAt(
        bool withContents) const;  // the set listed again only with contents or when a path changed
    [[nodiscard]] WatchedTexts read(const std::vector<SettingsLayer>& listed) const;

    WatchedFiles files_;
    Clock::duration settleTime_;
    Clock::duration emptySettleTime_;
    Look last_;  // with its texts
    Clock::time_point changedAt_;
    Clock::time_point compareTextUntil_;
    bool unsettled_ = true;              // the files as found at the start are judged too
    std::vector<std::string> withText_;  // the files that had text in the last edit judged
};

}  // namespace settings::file_internal
