// What a watch publishes of each new text of its files, apart from the watching:
// the problems of the edit, or the record to publish, with the settings whose
// value in force changed and the restart-only ones that wait for a restart.
// Internal to the settings-file library.
#pragma once

#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "file/watch/internal/observer.h"
#include "settings/config.h"
#include "settings/read.h"
#include "settings/watch.h"

namespace settings::file_internal {

class Publisher {
public:
    // `fileName`: the watched file's, as problems name it.
    Publisher(std::string fileName, Config running, std::vector<std::string> environment,
              std::vector<std::string> overrides);

    // Nothing when the edit changes nothing in force and the last edit was
    // good; otherwise the change published or the edit rejected.
    using Verdict = std::variant<std::monostate, AppliedChange, RejectedEdit>;
    Verdict judge(WatchedTexts texts);

    // The record in force: the running one, with every live setting from the last good edit.
    [[nodiscard]] const std::shared_ptr<const Config>& inForce() const { return inForce_; }

private:
    std::string fileName_;
    SettingsSources sources_;
    Config running_;
    Config accepted_;  // the last good edit's record, restart-only settings as the file has them
    std::shared_ptr<const Config> inForce_;
    bool lastRejected_ = false;
};

}  // namespace settings::file_internal
