#include <cstdio>

#include "settings/edit.h"

int main() {
    // Settings set together, and the file replaced only if it then reads without problems.
    const settings::FileEdit edit =
        settings::editSettingsFile("settings.toml", {settings::SettingEdit::set("detection.sensitivity", "0.8"),
                                                     settings::SettingEdit::set("audio.deviceNamePattern", "USB Mic")});
    for (const settings::SettingChange& change : edit.changes) {
        std::printf("%s: %s -> %s\n", change.keyPath.c_str(), change.oldValue.c_str(), change.newValue.c_str());
    }
    for (const settings::SourcedProblem& problem : edit.problems) {
        std::printf("%s: %s\n", problem.problem.key.c_str(), problem.problem.message.c_str());
    }
    return edit.written ? 0 : 1;
}
