// JSON text written value by value, for tools built on the library: the JSON
// Schema of settings files is written with it, and so is every report of
// detector-settings. Members and elements are separated, strings quoted and
// escaped, and an indented document laid out, as they are written.
//
//   settings::JsonWriter json;
//   json.beginObject().key("key").string("audio.bufferSizeMs").key("line").number(5).endObject();
//   const std::string& text = json.text();  // {"key":"audio.bufferSizeMs","line":5}
//
// The writer does not check the order of its calls: a key goes before each
// member's value, and every object and array opened is closed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "settings/file_export.h"

namespace settings {

class JsonWriter {
public:
    // compact: no blank anywhere; indented: a member or element a line,
    // indented by two spaces a level, and ": " after each key.
    enum class Layout { compact, indented };

    explicit JsonWriter(Layout layout = Layout::compact) : layout_(layout) {}

    DETECTOR_SETTINGS_FILE_EXPORT JsonWriter& beginObject();
    DETECTOR_SETTINGS_FILE_EXPORT JsonWriter& endObject();
    DETECTOR_SETTINGS_FILE_EXPORT JsonWriter& beginArray();
    DETECTOR_SETTINGS_FILE_EXPORT JsonWriter& endArray();

    // The name of the next member.
    DETECTOR_SETTINGS_FILE_EXPORT JsonWriter& key(std::string_view name);

    // A string; bytes that are not UTF-8 become U+FFFD, control characters escapes.
    DETECTOR_SETTINGS_FILE_EXPORT JsonWriter& string(std::string_view text);
    DETECTOR_SETTINGS_FILE_EXPORT JsonWriter& number(std::int64_t value);
    DETECTOR_SETTINGS_FILE_EXPORT JsonWriter& boolean(bool value);

    // A value that is JSON already, written as it is: 0.7, [512, 1024].
    DETECTOR_SETTINGS_FILE_EXPORT JsonWriter& raw(std::string_view json);

    // What has been written.
    [[nodiscard]] const std::string& text() const { return text_; }

    // What has been written, and then `end` ("\n", or what a caller goes on
    // with), taken from the writer, which is left empty.
    [[nodiscard]] DETECTOR_SETTINGS_FILE_EXPORT std::string take(std::string_view end = {});

private:
    void beforeValue();
    JsonWriter& open(char bracket);
    JsonWriter& close(char bracket);

    Layout layout_;
    std::string text_;
    std::vector<bool> empty_;  // for each object or array open, whether it has no member yet
    bool afterKey_ = false;
};

}  // namespace settings
