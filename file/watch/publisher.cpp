#include "file/watch/internal/publisher.h"

#include <utility>

#include "settings/sources.h"
#include "settings/table.h"

namespace settings::file_internal {

Publisher::Publisher(std::string fileName, Config running, std::vector<std::string> environment,
                     std::vector<std::string> overrides)
    : fileName_(std::move(fileName)),
      running_(std::move(running)),
      accepted_(running_),
      inForce_(std::make_shared<const Config>(running_)) {
    sources_.environment = std::move(environment);
    sources_.overrides = std::move(overrides);
}

Publisher::Verdict Publisher::judge(WatchedTexts texts) {
    sources_.layers = std::move(texts.layers);
    sources_.file.reset();
    if (texts.file) {
        sources_.file = SettingsFileText{fileName_, std::move(*texts.file)};
    }
    LoadedSettings loaded = loadSettings(sources_);
    if (anyError(loaded.problems)) {
        lastRejected_ = true;
        return RejectedEdit{sources_.file ? std::move(sources_.file->content.text) : std::string(),
                            std::move(loaded.problems), std::move(sources_.layers)};
    }
    if (sameNamedSettings(loaded.config, accepted_) && !lastRejected_) {
        return std::monostate{};
    }
    lastRejected_ = false;
    // Everything but the live settings keeps its running value, members without a key path too.
    auto next = std::make_shared<Config>(running_);
    AppliedChange change;
    forEachSetting([&](const auto& row) {  // GCOVR_EXCL_BR_LINE: template instances
        const auto& edited = row.member(loaded.config);
        if (row.applies == Applies::atRestart) {
            if (!detail::sameValue(edited, row.member(running_))) {
                change.pending.push_back(row.keyPath);
            }
        } else {
            if (!detail::sameValue(edited, row.member(*inForce_))) {
                change.changed.push_back(row.keyPath);
            }
            row.member(*next) = edited;
        }
    });
    accepted_ = std::move(loaded.config);
    inForce_ = std::move(next);
    change.config = inForce_;
    return change;
}

}  // namespace settings::file_internal
