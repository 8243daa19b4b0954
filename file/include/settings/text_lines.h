// The lines of a settings text and the columns in them, counted as the
// positions of FileProblem count them: lines from 1, columns from 1 in
// characters (UTF-8 sequences, not bytes), a byte-order mark not counted. A
// line ends at "\n" or "\r\n", which is not part of it.
//
//   const settings::TextLines lines(text);
//   std::string_view shown = lines.line(problem.line);
//   std::size_t caret = lines.byteOffset(problem.line, problem.column);
//
// Built in one pass over the text; each lookup then takes a bounded number of
// steps, however long the line, so that a tool can show every problem of a
// long line. The text must outlive the index.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "settings/escaping.h"  // terminalSafe was declared here: kept for one release
#include "settings/file_export.h"

namespace settings {

class TextLines {
public:
    DETECTOR_SETTINGS_FILE_EXPORT explicit TextLines(std::string_view text);

    // How many lines the text has; an empty text has one, empty.
    [[nodiscard]] DETECTOR_SETTINGS_FILE_EXPORT int count() const;

    // Line `number`, without its line end; empty outside 1 to count().
    [[nodiscard]] DETECTOR_SETTINGS_FILE_EXPORT std::string_view line(int number) const;

    // The characters of line(number): its last column.
    [[nodiscard]] DETECTOR_SETTINGS_FILE_EXPORT int length(int number) const;

    // Where `column` of line `number` starts, in bytes from the start of
    // line(number); columns past the line's end give its size in bytes.
    [[nodiscard]] DETECTOR_SETTINGS_FILE_EXPORT std::size_t byteOffset(int number, int column) const;

    // The line and column of the byte at `offset` of the text given, which
    // may start with a byte-order mark (a byte inside a character gives that
    // character's column).
    [[nodiscard]] DETECTOR_SETTINGS_FILE_EXPORT std::pair<int, int> position(std::size_t offset) const;

private:
    static constexpr std::size_t kCheckpointInterval = 64;  // characters

    std::string_view text_;    // from after a byte-order mark
    std::size_t skipped_ = 0;  // bytes of the byte-order mark
    struct LineStart {
        std::size_t byte;       // offset in text_
        std::size_t character;  // characters of text_ before it, line ends included
    };
    std::vector<LineStart> lines_;          // and one past the end
    std::vector<std::size_t> checkpoints_;  // byte offset of every kCheckpointInterval-th character
};

}  // namespace settings
