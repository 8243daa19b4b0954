// The JSON writer: separators, layout and escapes, as its readers need them.
#include "settings/json_writer.h"

#include <gtest/gtest.h>

namespace settings {
namespace {

TEST(JsonWriter, SeparatesAndLaysOutWhatItWrites) {
    for (const auto layout : {JsonWriter::Layout::compact, JsonWriter::Layout::indented}) {
        JsonWriter json(layout);
        json.beginObject().key("a").beginArray().number(-1).boolean(true).raw("0.5").endArray();
        json.key("b").beginObject().endObject().key("c\"").string("\xFFx\n").key("d").beginArray().endArray();
        json.endObject();
        EXPECT_EQ(json.text(), layout == JsonWriter::Layout::compact
                                   ? "{\"a\":[-1,true,0.5],\"b\":{},\"c\\\"\":\"\xEF\xBF\xBDx\\n\",\"d\":[]}"
                                   : "{\n  \"a\": [\n    -1,\n    true,\n    0.5\n  ],\n  \"b\": {},\n"
                                     "  \"c\\\"\": \"\xEF\xBF\xBDx\\n\",\n  \"d\": []\n}");
    }
}

}  // namespace
}  // namespace settings
