#include <atomic>
#include <cstdio>
#include <thread>

#include "settings/edit.h"
#include "settings/watch.h"

int main() {
    const settings::FileReading reading = settings::readSettingsFile("settings.toml");
    settings::SettingsWatcher watcher("settings.toml", reading.config, {});
    settings::RealtimeReader reader = watcher.realtimeReader();  // before the audio starts

    std::atomic<float> heard{reading.config.detection.sensitivity};  // what the audio thread last read
    std::atomic<bool> playing{true};
    std::thread audio([&reader, &heard, &playing] {
        while (playing) {                                    // each block of the audio callback:
            const settings::Config& config = reader.read();  // wait-free; valid until the next read()
            heard = config.detection.sensitivity;
        }
    });
    std::printf("the audio thread reads sensitivity %.1f\n", static_cast<double>(heard.load()));

    // An operator's edit, as `detector-settings set` makes it: the watch publishes it.
    const settings::FileEdit edit =
        settings::editSettingsFile("settings.toml", {settings::SettingEdit::set("detection.sensitivity", "0.8")});
    while (edit.written && heard != 0.8F) {
        std::this_thread::yield();
    }
    playing = false;
    audio.join();
    std::printf("the audio thread reads sensitivity %.1f\n", static_cast<double>(heard.load()));
    return edit.written ? 0 : 1;
}
