// The examples of the public headers, each in the context it assumes, so that
// the build compiles them as the headers show them; header_examples.cmake
// checks that each header's example is here word for word.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "settings/edit.h"
#include "settings/json_writer.h"
#include "settings/layers.h"
#include "settings/publication.h"
#include "settings/sources.h"
#include "settings/text_lines.h"
#include "settings/watch.h"

// As the headers write them, not as the formatter would.
// clang-format off
namespace header_examples {

void edit() {
    const settings::FileEdit edit = settings::editSettingsFile(
        "settings.toml", {settings::SettingEdit::set("detection.sensitivity", "0.8")});
    if (edit.written) { /* edit.changes: detection.sensitivity 0.7 -> 0.8 */ }
}

void jsonWriter() {
    settings::JsonWriter json;
    json.beginObject().key("key").string("audio.bufferSizeMs").key("line").number(5).endObject();
    const std::string& text = json.text();  // {"key":"audio.bufferSizeMs","line":5}
}

void publication(const settings::Config& edited) {
    settings::Publication<settings::Config> publication(std::make_shared<const settings::Config>());
    auto reader = publication.reader();  // on an ordinary thread, before the real-time one starts
    const settings::Config& now = reader.read();  // on the real-time thread, as often as it likes
    publication.publish(std::make_shared<const settings::Config>(edited));  // on the publishing thread
}

void sources() {
    settings::SettingsSources sources;
    sources.file = settings::SettingsFileText{"settings.toml", settings::readSettingsText("settings.toml")};
    sources.environment = settings::processEnvironment();
    sources.overrides = {"detection.sensitivity=0.8"};
    const settings::LoadedSettings loaded = settings::loadSettings(sources);
}

std::size_t textLines(std::string_view text, const settings::FileProblem& problem) {
    const settings::TextLines lines(text);
    std::string_view shown = lines.line(problem.line);
    std::size_t caret = lines.byteOffset(problem.line, problem.column);
    return shown.size() + caret;
}

void layers() {
    settings::SettingsSources sources;
    sources.layers = settings::readSettingsLayers(settings::listSettingsLayers(
        {"/usr/share/detector/settings.toml", "/etc/detector/settings.toml", "/etc/detector/settings.d",
         "/run/detector/settings.d"}));
    const settings::LoadedSettings loaded = settings::loadSettings(sources);
}

void watch(const settings::LoadedSettings& loaded) {
    settings::WatchOptions options;
    options.environment = settings::processEnvironment();
    options.onApplied = [](const settings::AppliedChange& change) { /* change.changed, change.pending */ };
    options.onRejected = [](const settings::RejectedEdit& edit) { /* edit.problems */ };
    settings::SettingsWatcher watcher("settings.toml", loaded.config, std::move(options));
    const std::shared_ptr<const settings::Config> now = watcher.current();  // from any ordinary thread
    settings::RealtimeReader reader = watcher.realtimeReader();  // one per real-time thread, made before it starts
    const settings::Config& inForce = reader.read();  // on that thread: wait-free
}

}  // namespace header_examples
// clang-format on

int main() { return 0; }
