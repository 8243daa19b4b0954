// What toml++ is given of a text, found before it parses. Internal to the settings-file library.
//
// toml++ builds a tree as deep as the text nests, and frees it, and finishes
// it, recursively: a table header of 300,000 dotted parts overflows any stack.
// A single pass over the text, as TOML splits it into strings, comments, keys
// and brackets, counts the levels first. The same pass leaves out the bodies
// of comments that cannot change what toml++ reports, which toml++ reads a
// character at a time, more slowly than all the rest.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace settings::file_internal {

// Why a text is refused, and where.
struct TomlRefusal {
    std::size_t offset = 0;  // of the key, header or bracket, in the text; toml++ may parse the text before it
    std::string message;
};

struct GuardedText {
    std::optional<TomlRefusal> refusal;  // set when toml++ must not parse the text
    std::string parseable;               // what toml++ parses instead of the text: each comment whose body is printable
                                         // ASCII and ends a line that a line break ends, without its body ("#\n");
                                         // every line and every position of all else as in the text
};

// Each part of a dotted key, each table header part, each array and each
// inline table is a level; the text is refused where it first goes beyond
// kMaxNestingLevels. A tree built from text within the limit is at most twice
// as deep (each header part can also be an array of tables), which the tests
// run on a 1 MiB stack.
GuardedText guardToml(std::string_view text);

}  // namespace settings::file_internal
