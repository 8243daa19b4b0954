#include "file/watch/internal/observer.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "file/base/internal/path_names.h"

namespace settings::file_internal {
namespace {

bool sameContent(const SettingsText& a, const SettingsText& b) {
    const auto messageOf = [](const SettingsText& content) {
        return content.problem ? std::string_view(content.problem->message) : std::string_view();
    };
    return std::pair(std::string_view(a.text), messageOf(a)) == std::pair(std::string_view(b.text), messageOf(b));
}

// Texts of one observer's looks: its file in both or in neither, the same
// files listed (their statuses are compared first, so texts differ only
// where a write kept every status, within one tick of the file system's
// clock, which tests cause only by chance).
bool sameTexts(const WatchedTexts& a, const WatchedTexts& b) {
    // GCOVR_EXCL_BR_START
    return (!a.file || sameContent(*a.file, *b.file)) &&
           std::equal(
               a.layers.begin(), a.layers.end(), b.layers.begin(), b.layers.end(),
               [](const SettingsFileText& x, const SettingsFileText& y) { return sameContent(x.content, y.content); });
    // GCOVR_EXCL_BR_STOP
}

}  // namespace

// A text that differs under the same status is a write within one tick of
// the file system's clock, which tests cause only by chance. Another file
// listed has another status (device and index); a folder whose entries
// changed, another change time.
bool Look::sameAs(const Look& last) const {
    return given == last.given && statuses == last.statuses &&
           (!contents || sameTexts(*contents, *last.contents));  // GCOVR_EXCL_BR_LINE
}

FileObserver::FileObserver(WatchedFiles files, Clock::duration settleTime, Clock::duration emptySettleTime,
                           Clock::time_point now)
    : files_(std::move(files)),
      settleTime_(settleTime),
      emptySettleTime_(emptySettleTime),
      changedAt_(now),
      compareTextUntil_(now + kTextComparedAfterChange) {
    last_ = lookAt(true);
}

// The set is listed again only when a path of it changed, or while texts are
// compared: a quiet poll costs a query of each path and each file, and reads
// no folder. A FIFO or a device, whenever it appears, is a problem and is
// never waited on: it could block the watch, and its stop with it.
Look FileObserver::lookAt(bool withContents) const {
    Look look;
    for (const std::filesystem::path& path : files_.layers) {
        look.given.push_back(lookAtFile(path));
    }
    if (withContents || look.given != last_.given) {
        look.listed = std::make_shared<const std::vector<SettingsLayer>>(listSettingsLayers(files_.layers));
    } else {
        look.listed = last_.listed;
    }
    look.statuses.reserve(look.listed->size() + 1);
    for (const SettingsLayer& layer : *look.listed) {
        look.statuses.push_back(lookAtFile(layer.path));
    }
    if (files_.file) {
        look.statuses.push_back(lookAtFile(*files_.file));
    }
    if (withContents) {
        look.contents = read(*look.listed);
    }
    return look;
}

WatchedTexts FileObserver::read(const std::vector<SettingsLayer>& listed) const {
    WatchedTexts texts{readSettingsLayers(listed), std::nullopt};
    if (files_.file) {
        texts.file = readSettingsText(*files_.file, Opening::regularOnly);
    }
    return texts;
}

std::optional<WatchedTexts> FileObserver::poll(Clock::time_point now) {
    Look look = lookAt(now < compareTextUntil_);
    if (!look.sameAs(last_)) {
        last_ = std::move(look);
        if (!last_.contents) {
            // A change seen outside the window opens one: its texts are compared from now on.
            last_.contents = read(*last_.listed);
        }
        changedAt_ = now;
        compareTextUntil_ = now + kTextComparedAfterChange;
        unsettled_ = true;
        return std::nullopt;
    }
    if (!unsettled_ || now - changedAt_ < settleTime_) {
        return std::nullopt;
    }
    // Read again rather than kept: the texts judged are the files' as they
    // are now. Every settled change is judged, even to texts judged before: a
    // rejected file saved again is rejected again, for all to see.
    WatchedTexts texts = read(*last_.listed);
    std::vector<std::string> withText;
    bool emptied = false;
    const auto judge = [&](const std::string& name, const SettingsText& content) {
        if (!content.text.empty()) {
            withText.push_back(name);
        } else if (!content.problem && std::find(withText_.begin(), withText_.end(), name) != withText_.end()) {
            emptied = true;
        }
    };
    for (const SettingsFileText& layer : texts.layers) {
        judge(layer.name, layer.content);
    }
    if (texts.file) {
        judge(utf8Name(*files_.file), *texts.file);
    }
    if (emptied && now - changedAt_ < emptySettleTime_) {
        return std::nullopt;
    }
    unsettled_ = false;
    withText_ = std::move(withText);
    return texts;
}

}  // namespace settings::file_internal
