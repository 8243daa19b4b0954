// What the settings-file tests share: a table row of a text and the problems
// it must give, and builders of long texts.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "settings/file.h"

namespace settings {

// How GoogleTest shows a problem: "2:16 [range] audio.bufferSizeMs: must be in [5, 100]; got 0".
inline void PrintTo(const FileProblem& p, std::ostream* out) {
    *out << p.line << ":" << p.column << " [" << problemKindName(p.kind) << "] " << p.key << ": " << p.message;
}

namespace test {

// A row: a file's text and every problem it must give, in order.
struct ProblemCase {
    std::string name;
    std::string text;
    std::vector<FileProblem> problems;
};

inline std::ostream& operator<<(std::ostream& out, const ProblemCase& c) { return out << c.name; }

// Its rows are instantiated where they belong; its one test is in file_reader_test.cpp.
class ReadProblemsTest : public testing::TestWithParam<ProblemCase> {};

inline std::string problemCaseName(const testing::TestParamInfo<ProblemCase>& info) { return info.param.name; }

inline std::string repeated(std::string_view piece, std::size_t times) {
    std::string text;
    text.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

// "a.a.a" of `parts` parts.
inline std::string dotted(std::size_t parts) { return repeated("a.", parts - 1) + "a"; }

}  // namespace test
}  // namespace settings
