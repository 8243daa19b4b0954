// Which texts of a watched file are edits to judge: the watch's thread asks
// at every poll, with the time. Internal to the settings-file library.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>

#include "file/base/internal/access.h"
#include "settings/read.h"

namespace settings::file_internal {

// After a change the text is compared too, for this long: a later write can
// keep the size and, within the file system's clock tick (up to 2 s on FAT),
// the modification time.
inline constexpr std::chrono::steady_clock::duration kTextComparedAfterChange = std::chrono::seconds(3);

// What one poll sees of the file.
struct Look {
    FileStatus status;
    std::optional<SettingsText> content;  // only while texts are compared

    // Whether nothing changed since the `last` look, which has its text; a
    // look without one says nothing of the text.
    [[nodiscard]] bool sameAs(const Look& last) const;
};

// Each settled change of the file is an edit to judge: once the file has
// stayed the same for the settle time, its text as it is then. An empty file
// where the last edit judged had text is most likely a writer that has just
// emptied it (a shell's ">", a generator): it is judged only once it has
// stayed empty for `emptySettleTime`.
class FileObserver {
public:
    using Clock = std::chrono::steady_clock;

    FileObserver(std::filesystem::path path, Clock::duration settleTime, Clock::duration emptySettleTime,
                 Clock::time_point now);

    // The text to judge, when a change has settled at `now`.
    std::optional<SettingsText> poll(Clock::time_point now);

    // Whether a change waits to settle, and the next look is due sooner.
    [[nodiscard]] bool settling() const { return unsettled_; }

private:
    std::filesystem::path path_;
    Clock::duration settleTime_;
    Clock::duration emptySettleTime_;
    Look last_;  // with its text
    Clock::time_point changedAt_;
    Clock::time_point compareTextUntil_;
    bool unsettled_ = true;        // the file as found at the start is judged too
    bool lastJudgedText_ = false;  // whether the last edit judged had any text
};

}  // namespace settings::file_internal
