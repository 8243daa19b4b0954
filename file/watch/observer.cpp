#include "file/watch/internal/observer.h"

#include <string_view>
#include <utility>

namespace settings::file_internal {
namespace {

bool sameContent(const SettingsText& a, const SettingsText& b) {
    const auto messageOf = [](const SettingsText& content) {
        return content.problem ? std::string_view(content.problem->message) : std::string_view();
    };
    return std::pair(std::string_view(a.text), messageOf(a)) == std::pair(std::string_view(b.text), messageOf(b));
}

// A FIFO or a device at the path, whenever it appears, is a problem and is
// never waited on: it could block the watch, and its stop with it.
SettingsText readWatched(const std::filesystem::path& path) { return readSettingsText(path, Opening::regularOnly); }

Look lookAt(const std::filesystem::path& path, bool withContent) {
    Look look{lookAtFile(path), std::nullopt};
    if (withContent) {
        look.content = readWatched(path);
    }
    return look;
}

}  // namespace

// A text that differs under the same status is a write within one tick of
// the file system's clock, which tests cause only by chance.
bool Look::sameAs(const Look& last) const {
    return status == last.status && (!content || sameContent(*content, *last.content));  // GCOVR_EXCL_BR_LINE
}

FileObserver::FileObserver(std::filesystem::path path, Clock::duration settleTime, Clock::duration emptySettleTime,
                           Clock::time_point now)
    : path_(std::move(path)),
      settleTime_(settleTime),
      emptySettleTime_(emptySettleTime),
      last_(lookAt(path_, true)),
      changedAt_(now),
      compareTextUntil_(now + kTextComparedAfterChange) {}

std::optional<SettingsText> FileObserver::poll(Clock::time_point now) {
    Look look = lookAt(path_, now < compareTextUntil_);
    if (!look.sameAs(last_)) {
        last_ = std::move(look);
        if (!last_.content) {
            // A change seen outside the window opens one: its text is compared from now on.
            last_.content = readWatched(path_);
        }
        changedAt_ = now;
        compareTextUntil_ = now + kTextComparedAfterChange;
        unsettled_ = true;
        return std::nullopt;
    }
    if (!unsettled_ || now - changedAt_ < settleTime_) {
        return std::nullopt;
    }
    // Read again rather than kept: the text judged is the file's as it is
    // now. Every settled change is judged, even to a text judged before: a
    // rejected file saved again is rejected again, for all to see.
    SettingsText text = readWatched(path_);
    const bool empty = text.text.empty() && !text.problem;
    if (empty && lastJudgedText_ && now - changedAt_ < emptySettleTime_) {
        return std::nullopt;
    }
    unsettled_ = false;
    lastJudgedText_ = !text.text.empty();
    return text;
}

}  // namespace settings::file_internal
