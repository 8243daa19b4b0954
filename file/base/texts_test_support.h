// What the settings-file tests share: a table row of a text and the problems
// it must give, builders of long texts, and a folder of each test's own.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "settings/read.h"

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

// Its rows are instantiated where they belong; its one test is in settings_reader_test.cpp.
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

// A folder of the running test's own, so that tests run in parallel; it goes
// with everything in it when the test ends.
class TestFolder {
public:
    TestFolder() {
        const testing::TestInfo& test = *testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("detector_settings_") + test.test_suite_name() + "_" + test.name() + "_" +
                           std::to_string(std::random_device{}());
        std::replace(name.begin(), name.end(), '/', '_');  // parameterised tests are named "Suite/Case"
        path_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::create_directories(path_);
    }
    ~TestFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;
    TestFolder(TestFolder&&) = delete;
    TestFolder& operator=(TestFolder&&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }
    [[nodiscard]] std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// "a.a.a" of `parts` parts.
inline std::string dotted(std::size_t parts) { return repeated("a.", parts - 1) + "a"; }

}  // namespace test
}  // namespace settings
