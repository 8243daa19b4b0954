// What an edit would change in a file, as `diff -u` shows it: hunks of the
// lines removed and added, with three lines of context, so that a person can
// read it and `patch` can apply it.
#pragma once

#include <string>
#include <string_view>

namespace command {

// "--- NAME\n+++ NAME\n" and the hunks that turn `before` into `after`; empty
// when the texts are the same. Lines are kept whole, their ends included; a
// last line without one is followed by "\ No newline at end of file". The
// name and each line are settings::terminalSafe, their ends left as they are.
std::string unifiedDiff(std::string_view name, std::string_view before, std::string_view after);

}  // namespace command
