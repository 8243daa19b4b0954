// A dry run's diff, as diff -u writes it: hunks, context, ranges, and a last
// line without its end.
#include "unified_diff.h"

#include <gtest/gtest.h>

namespace command {
namespace {

struct DiffCase {
    const char* name;
    const char* before;
    const char* after;
    const char* hunks;  // what diff -u writes after its two header lines
};

std::ostream& operator<<(std::ostream& out, const DiffCase& c) { return out << c.name; }

class UnifiedDiffTest : public testing::TestWithParam<DiffCase> {};

TEST_P(UnifiedDiffTest, WritesWhatDiffWrites) {
    EXPECT_EQ(unifiedDiff("s.toml", GetParam().before, GetParam().after),
              std::string("--- s.toml\n+++ s.toml\n") + GetParam().hunks);
}

const char* const kFifteen = "1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n13\n14\n15\n";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, UnifiedDiffTest, testing::Values(
    DiffCase{"replaced", "a\nb\nc\n", "a\nB\nc\n", "@@ -1,3 +1,3 @@\n a\n-b\n+B\n c\n"},
    DiffCase{"into_nothing", "", "x\ny\n", "@@ -0,0 +1,2 @@\n+x\n+y\n"},
    DiffCase{"to_nothing", "x\n", "", "@@ -1 +0,0 @@\n-x\n"},
    DiffCase{"two_hunks", kFifteen, "1\n2\nX\n4\n5\n6\n7\n8\n9\n10\n11\n12\nY\n14\n15\n",
             "@@ -1,6 +1,6 @@\n 1\n 2\n-3\n+X\n 4\n 5\n 6\n@@ -10,6 +10,6 @@\n 10\n 11\n 12\n-13\n+Y\n 14\n 15\n"},
    DiffCase{"one_hunk_within_six_lines", kFifteen, "1\n2\nX\n4\n5\n6\n7\n8\nY\n10\n11\n12\n13\n14\n15\n",
             "@@ -1,12 +1,12 @@\n 1\n 2\n-3\n+X\n 4\n 5\n 6\n 7\n 8\n-9\n+Y\n 10\n 11\n 12\n"},
    DiffCase{"added_and_removed", "a\nb\nc\nd\n", "x\na\nc\nd\ny\n", "@@ -1,4 +1,5 @@\n+x\n a\n-b\n c\n d\n+y\n"},
    DiffCase{"crlf_lines", "a\r\nb\r\n", "a\r\nc\r\n", "@@ -1,2 +1,2 @@\n a\r\n-b\r\n+c\r\n"},
    DiffCase{"no_line_end", "a\nb", "a\nc", "@@ -1,2 +1,2 @@\n a\n-b\n\\ No newline at end of file\n+c\n\\ No newline at end of file\n"}
), [](const testing::TestParamInfo<DiffCase>& c) { return c.param.name; });
// clang-format on

TEST(UnifiedDiff, OfTheSameTextIsEmpty) { EXPECT_EQ(unifiedDiff("s.toml", "a\n", "a\n"), ""); }

}  // namespace
}  // namespace command
