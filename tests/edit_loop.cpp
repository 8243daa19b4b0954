// Edits a settings file again and again, for the tests that stop an edit at
// any moment or run two at once.
//
//   detector_settings_edit_loop FILE
//       sets the sensitivity to 0.25, then 0.75, and so on, with a line on
//       standard output after each edit ("done" without problems, else
//       "failed"), until the process is killed;
//   detector_settings_edit_loop FILE KEY EDITS
//       sets the integer setting KEY to 100, 101, ..., EDITS times, and before
//       each edit reads the file: KEY, which no one else edits, must hold the
//       value last written. Prints the value last written and how many times
//       an edit of it was lost.
#include <cstdio>
#include <string>

#include "settings/edit.h"
#include "settings/sources.h"

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) {
        static_cast<void>(std::fputs("usage: detector_settings_edit_loop FILE [KEY EDITS]\n", stderr));
        return 2;
    }
    if (argc == 2) {
        for (long edit = 0;; ++edit) {
            const settings::FileEdit result = settings::editSettingsFile(
                argv[1], {settings::SettingEdit::set("detection.sensitivity", edit % 2 == 0 ? "0.25" : "0.75")});
            if (std::printf("%s\n", result.problems.empty() ? "done" : "failed") < 0 || std::fflush(stdout) != 0) {
                return 1;
            }
        }
    }
    const std::string key = argv[2];
    const long edits = std::stol(argv[3]);
    std::string last;
    long lost = 0;
    for (long edit = 0; edit < edits; ++edit) {
        if (!last.empty() && settings::settingValueText(settings::readSettingsFile(argv[1]).config, key) != last) {
            ++lost;
        }
        const std::string value = std::to_string(100 + edit);
        if (settings::editSettingsFile(argv[1], {settings::SettingEdit::set(key, value)}).written) {
            last = value;
        }
    }
    std::printf("%s %ld\n", last.c_str(), lost);
    return 0;
}
