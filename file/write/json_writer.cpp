#include "settings/json_writer.h"

#include <utf8.h>  // utfcpp

#include <iterator>
#include <utility>

#include "settings/escaping.h"
#include "settings/message_text.h"

namespace settings {

void JsonWriter::beforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!empty_.empty()) {
        text_.append(empty_.back() ? "" : ",");
        if (layout_ == Layout::indented) {
            text_.append("\n").append(2 * empty_.size(), ' ');
        }
        empty_.back() = false;
    }
}

JsonWriter& JsonWriter::open(char bracket) {
    beforeValue();
    text_ += bracket;
    empty_.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::close(char bracket) {
    const bool wasEmpty = empty_.back();
    empty_.pop_back();
    if (layout_ == Layout::indented && !wasEmpty) {
        text_.append("\n").append(2 * empty_.size(), ' ');
    }
    text_ += bracket;
    return *this;
}

JsonWriter& JsonWriter::beginObject() { return open('{'); }
JsonWriter& JsonWriter::endObject() { return close('}'); }
JsonWriter& JsonWriter::beginArray() { return open('['); }
JsonWriter& JsonWriter::endArray() { return close(']'); }

JsonWriter& JsonWriter::key(std::string_view name) {
    string(name);
    text_.append(layout_ == Layout::indented ? ": " : ":");
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::string(std::string_view text) {
    beforeValue();
    if (utf8::is_valid(text.begin(), text.end())) {
        text_.append(quotedString(text));
    } else {
        std::string valid;
        utf8::replace_invalid(text.begin(), text.end(), std::back_inserter(valid));
        text_.append(quotedString(valid));
    }
    return *this;
}

JsonWriter& JsonWriter::number(std::int64_t value) { return raw(renderInteger(value)); }

JsonWriter& JsonWriter::boolean(bool value) { return raw(value ? "true" : "false"); }

std::string JsonWriter::take(std::string_view end) {
    std::string taken = std::move(text_.append(end));
    text_.clear();
    return taken;
}

JsonWriter& JsonWriter::raw(std::string_view json) {
    beforeValue();
    text_.append(json);
    return *this;
}

}  // namespace settings
