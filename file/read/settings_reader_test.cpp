#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <bit>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <future>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "file/base/internal/access.h"
#include "file/base/texts_test_support.h"
#include "file/read/internal/settings_reader.h"
#include "settings/read.h"

namespace settings::test {

using namespace settings::file_internal;

TEST_P(ReadProblemsTest, ReportsEveryProblemWithItsPosition) {
    EXPECT_EQ(readSettings(GetParam().text).problems, GetParam().problems);
}

namespace {

const std::string kBufferRange = "must be in [5, 100]; got ";

INSTANTIATE_TEST_SUITE_P(
    Syntax, ReadProblemsTest,
    testing::Values(
        ProblemCase{"Truncated",
                    "version = ",
                    {{"", ProblemKind::syntax, "Error while parsing key-value pair: encountered end-of-file", 1, 11}}},
        // toml++ places this one past the newline; it stands at the end of its line.
        ProblemCase{"UnterminatedString",
                    "version = \"\n",
                    {{"", ProblemKind::syntax, "Error while parsing string: encountered end-of-file", 1, 12}}},
        ProblemCase{"DuplicateKey",
                    "version = 1\nversion = 2\n",
                    {{"", ProblemKind::syntax,
                      "Error while parsing key-value pair: cannot redefine existing integer 'version'", 2, 11}}},
        ProblemCase{"SameKeyTwoSpellings",
                    "audio.bufferSizeMs = 10\n[audio]\nbufferSizeMs = 10\n",
                    {{"", ProblemKind::syntax,
                      "Error while parsing table header: cannot redefine existing table 'audio'", 2, 1}}},
        ProblemCase{"InvalidUtf8",
                    "[training]\ndataFile = \"\xFF\"\n",
                    {{"", ProblemKind::syntax, "Encountered invalid utf-8 sequence", 2, 12}}},
        // toml++ alone reaches undefined behaviour on these characters outside strings.
        ProblemCase{
            "LetterAfterValue",
            "version = 1\u00E9\n",
            {{"", ProblemKind::syntax, "Error while parsing decimal integer: expected digit, saw '\u00E9'", 1, 12}}},
        ProblemCase{"LetterInTableName",
                    "[training\u0499xtra]\n",
                    {{"", ProblemKind::syntax, "Error while parsing table header: expected ']', saw '\u0499'", 1, 10}}},
        ProblemCase{
            "IntegerBeyond64Bits",
            "version = 99999999999999999999\n",
            {{"", ProblemKind::syntax,
              "Error while parsing decimal integer: '99999999999999999999' is not representable in 64 bits", 1, 31}}}),
    problemCaseName);

INSTANTIATE_TEST_SUITE_P(
    UnknownKeys, ReadProblemsTest,
    testing::Values(
        ProblemCase{
            "TwoEditsAway",
            "[audio]\nbufferSize = 10\n",
            {{"audio.bufferSize", ProblemKind::unknown, "unknown setting; did you mean audio.bufferSizeMs?", 2, 1}}},
        ProblemCase{
            "SnakeCase",
            "[detection]\nfft_size = 1024\n",
            {{"detection.fft_size", ProblemKind::unknown, "unknown setting; did you mean detection.fftSize?", 2, 1}}},
        ProblemCase{"OtherSection",
                    "[audio]\nsensitivity = 0.5\n",
                    {{"audio.sensitivity", ProblemKind::unknown, "unknown setting; did you mean detection.sensitivity?",
                      2, 1}}},
        ProblemCase{
            "TopLevelMember",
            "bufferSizeMs = 10\n",
            {{"bufferSizeMs", ProblemKind::unknown, "unknown setting; did you mean audio.bufferSizeMs?", 1, 1}}},
        ProblemCase{
            "Case",
            "[detection]\nFFTSIZE = 1024\n",
            {{"detection.FFTSIZE", ProblemKind::unknown, "unknown setting; did you mean detection.fftSize?", 2, 1}}},
        // An unknown table is one problem; its contents are not examined.
        ProblemCase{"TableCase",
                    "[Audio]\nbufferSizeMs = 0\nnonsense = 1\n",
                    {{"Audio", ProblemKind::unknown, "unknown setting; did you mean audio?", 1, 2}}},
        ProblemCase{"NestedTable",
                    "[training.extra]\nfile = 1\n",
                    {{"training.extra", ProblemKind::unknown, "unknown setting", 1, 11}}},
        ProblemCase{"DottedDeeper",
                    "audio.bufferSizeMs.value = 1\n",
                    {{"audio.bufferSizeMs", ProblemKind::type, "must be an integer; got a table", 1, 7}}},
        ProblemCase{"NothingClose", "colour = \"blue\"\n", {{"colour", ProblemKind::unknown, "unknown setting", 1, 1}}},
        ProblemCase{"ThreeEditsAway",
                    "[audio]\nbufSizeMs = 10\n",
                    {{"audio.bufSizeMs", ProblemKind::unknown, "unknown setting", 2, 1}}}),
    problemCaseName);

INSTANTIATE_TEST_SUITE_P(
    Types, ReadProblemsTest,
    testing::Values(
        ProblemCase{"StringForInteger",
                    "version = \"1\"\n",
                    {{"version", ProblemKind::type, "must be an integer; got a string", 1, 11}}},
        ProblemCase{"FractionForInteger",
                    "[audio]\nbufferSizeMs = 10.5\n",
                    {{"audio.bufferSizeMs", ProblemKind::type, "must be an integer; got a float", 2, 16}}},
        ProblemCase{"InfinityForInteger",
                    "[audio]\nbufferSizeMs = inf\n",
                    {{"audio.bufferSizeMs", ProblemKind::type, "must be an integer; got a float", 2, 16}}},
        ProblemCase{"BooleanForNumber",
                    "[detection]\nsensitivity = true\n",
                    {{"detection.sensitivity", ProblemKind::type, "must be a number; got a boolean", 2, 15}}},
        ProblemCase{"ArrayForString",
                    "[training]\ndataFile = [\"a\"]\n",
                    {{"training.dataFile", ProblemKind::type, "must be a string; got an array", 2, 12}}},
        ProblemCase{"TableForString",
                    "[audio]\ndeviceNamePattern = {}\n",
                    {{"audio.deviceNamePattern", ProblemKind::type, "must be a string; got a table", 2, 21}}},
        ProblemCase{"IntegerForString",
                    "[training]\ndataFile = 5\n",
                    {{"training.dataFile", ProblemKind::type, "must be a string; got an integer", 2, 12}}},
        ProblemCase{"DateForInteger",
                    "version = 1979-05-27\n",
                    {{"version", ProblemKind::type, "must be an integer; got a date", 1, 11}}},
        ProblemCase{"TimeForInteger",
                    "version = 07:32:00\n",
                    {{"version", ProblemKind::type, "must be an integer; got a time", 1, 11}}},
        ProblemCase{"DateTimeForInteger",
                    "version = 1979-05-27T07:32:00Z\n",
                    {{"version", ProblemKind::type, "must be an integer; got a date-time", 1, 11}}},
        ProblemCase{"IntegerForSection",
                    "audio = 5\n",
                    {{"audio", ProblemKind::type, "must be a table; got an integer", 1, 9}}},
        ProblemCase{"ArrayOfTablesForSection",
                    "[[detection]]\nfftSize = 1024\n",
                    {{"detection", ProblemKind::type, "must be a table; got an array", 1, 1}}}),
    problemCaseName);

// Every rule through a file, judged on the value as written, with the validator's messages.
INSTANTIATE_TEST_SUITE_P(
    Rules, ReadProblemsTest,
    testing::Values(
        ProblemCase{"Version", "version = 2\n", {{"version", ProblemKind::equals, "must equal 1; got 2", 1, 11}}},
        ProblemCase{"VersionBeyond32Bits",
                    "version = 4294967297\n",
                    {{"version", ProblemKind::equals, "must equal 1; got 4294967297", 1, 11}}},
        ProblemCase{"PatternEmpty",
                    "[audio]\ndeviceNamePattern = \"\"\n",
                    {{"audio.deviceNamePattern", ProblemKind::nonEmpty, "must not be empty", 2, 21}}},
        ProblemCase{"Buffer4",
                    "[audio]\nbufferSizeMs = 4\n",
                    {{"audio.bufferSizeMs", ProblemKind::range, kBufferRange + "4", 2, 16}}},
        ProblemCase{"BufferBeyond32Bits",
                    "[audio]\nbufferSizeMs = 3000000000\n",
                    {{"audio.bufferSizeMs", ProblemKind::range, kBufferRange + "3000000000", 2, 16}}},
        ProblemCase{"BufferMostNegative",
                    "[audio]\nbufferSizeMs = -9223372036854775808\n",
                    {{"audio.bufferSizeMs", ProblemKind::range, kBufferRange + "-9223372036854775808", 2, 16}}},
        ProblemCase{"BufferHugeWholeFloat",
                    "[audio]\nbufferSizeMs = 1e300\n",
                    {{"audio.bufferSizeMs", ProblemKind::range, kBufferRange + "1e+300", 2, 16}}},
        ProblemCase{"SensitivityAbove1",
                    "detection.sensitivity = 1.5\n",
                    {{"detection.sensitivity", ProblemKind::range, "must be in [0.0, 1.0]; got 1.500000", 1, 25}}},
        // Above 1.0, though a float would round it to 1.0.
        ProblemCase{"SensitivityJustAbove1",
                    "detection.sensitivity = 1.00000001\n",
                    {{"detection.sensitivity", ProblemKind::range, "must be in [0.0, 1.0]; got 1.000000", 1, 25}}},
        ProblemCase{"SensitivityBeyondFloat",
                    "detection.sensitivity = 1e39\n",
                    {{"detection.sensitivity", ProblemKind::range,
                      "must be in [0.0, 1.0]; got 999999999999999939709166371603178586112.000000", 1, 25}}},
        ProblemCase{"SensitivityNegativeNaN",
                    "detection.sensitivity = -nan\n",
                    {{"detection.sensitivity", ProblemKind::range, "must be in [0.0, 1.0]; got -nan", 1, 25}}},
        ProblemCase{"SensitivityInteger",
                    "detection.sensitivity = 2\n",
                    {{"detection.sensitivity", ProblemKind::range, "must be in [0.0, 1.0]; got 2.000000", 1, 25}}},
        ProblemCase{"MinDuration99",
                    "detection.minDurationMs = 99\n",
                    {{"detection.minDurationMs", ProblemKind::range, "must be in [100, 2000]; got 99", 1, 27}}},
        ProblemCase{"Cooldown2001",
                    "detection.cooldownMs = 2001\n",
                    {{"detection.cooldownMs", ProblemKind::range, "must be in [100, 2000]; got 2001", 1, 24}}},
        ProblemCase{"FftPowerOfTwoOutOfRange",
                    "detection.fftSize = 16384\n",
                    {{"detection.fftSize", ProblemKind::range, "must be in [512, 8192]; got 16384", 1, 21}}},
        ProblemCase{"FftNotPowerOfTwo",
                    "detection.fftSize = 1000.0\n",
                    {{"detection.fftSize", ProblemKind::powerOfTwo, "must be a power of 2; got 1000", 1, 21}}},
        ProblemCase{"DataFileEmpty",
                    "training = { dataFile = '' }\n",
                    {{"training.dataFile", ProblemKind::nonEmpty, "must not be empty", 1, 25}}},
        // Every problem at once, by line then column, whatever the order of the tables.
        ProblemCase{
            "SeveralInPositionOrder",
            "[training]\ndataFile = \"\"\n[audio]\nbufferSize = 1\nbufferSizeMs = 0\nversion = 3\n",
            {{"training.dataFile", ProblemKind::nonEmpty, "must not be empty", 2, 12},
             {"audio.bufferSize", ProblemKind::unknown, "unknown setting; did you mean audio.bufferSizeMs?", 4, 1},
             {"audio.bufferSizeMs", ProblemKind::range, kBufferRange + "0", 5, 16},
             {"audio.version", ProblemKind::unknown, "unknown setting; did you mean version?", 6, 1}}},
        ProblemCase{"SameLineByColumn",
                    "detection = { fftSize = 1, cooldownMs = 1 }\n",
                    {{"detection.fftSize", ProblemKind::range, "must be in [512, 8192]; got 1", 1, 25},
                     {"detection.cooldownMs", ProblemKind::range, "must be in [100, 2000]; got 1", 1, 41}}},
        // Columns count characters, not bytes.
        ProblemCase{"ColumnsCountCharacters",
                    "audio = { \"\u00E9\" = 1, bufferSizeMs = 0 }\n",
                    {{"audio.\"\u00E9\"", ProblemKind::unknown, "unknown setting", 1, 11},
                     {"audio.bufferSizeMs", ProblemKind::range, kBufferRange + "0", 1, 35}}}),
    problemCaseName);

Config withPattern(std::wstring pattern) {
    Config config;
    config.audio.deviceNamePattern = std::move(pattern);
    return config;
}

// Every spelling of the same keys reads as the same record.
TEST(ReadSettings, SpellingsOfTheSameKeysAgree) {
    Config expected;
    expected.audio.bufferSizeMs = 20;
    expected.detection.fftSize = 1024;
    for (const char* text : {
             "[audio]\nbufferSizeMs = 20\n[detection]\nfftSize = 1024\n",
             "audio.bufferSizeMs = 20\ndetection.fftSize = 1024\n",
             "audio = { bufferSizeMs = 20 }\ndetection = { fftSize = 1024 }\n",
             "\"audio\".'bufferSizeMs' = 20\n[detection]\nfftSize = 1024.0\n",
             "\xEF\xBB\xBF[audio]\r\nbufferSizeMs = 20\r\n[detection]\r\nfftSize = 1024\r\n",
         }) {
        const FileReading reading = readSettings(text);
        EXPECT_EQ(reading.config, expected) << text;
        EXPECT_TRUE(reading.problems.empty()) << text;
    }
}

TEST(ReadSettings, EmptyFileIsTheDefaultRecord) {
    for (const char* text : {"", "# only a comment\n", "\xEF\xBB\xBF", "\r\n"}) {
        const FileReading reading = readSettings(text);
        EXPECT_EQ(reading.config, Config{});
        EXPECT_TRUE(reading.problems.empty());
    }
}

// The record holds what the file says: values that break a rule but fit their
// member are stored; values that do not fit leave the default.
TEST(ReadSettings, StoresWhatFitsEvenWhenARuleFails) {
    const FileReading reading = readSettings(
        "version = 7\n[audio]\ndeviceNamePattern = \"\"\nbufferSizeMs = 3000000000\n"
        "[detection]\nsensitivity = 0.7\nminDurationMs = -2147483648\ncooldownMs = 2147483648\nfftSize = 1000\n"
        "[training]\ndataFile = \"\"\n");
    EXPECT_EQ(reading.problems.size(), 7U);
    EXPECT_EQ(reading.config.version, 7);
    EXPECT_EQ(reading.config.audio.deviceNamePattern, L"");
    EXPECT_EQ(reading.config.audio.bufferSizeMs, 10);  // beyond 32 bits: the default stays
    EXPECT_EQ(std::bit_cast<std::uint32_t>(reading.config.detection.sensitivity), 0x3F333333U);
    EXPECT_EQ(reading.config.detection.minDurationMs, std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(reading.config.detection.cooldownMs, 300);
    EXPECT_EQ(reading.config.detection.fftSize, 1000);
    EXPECT_EQ(reading.config.training.dataFile, "");
}

TEST(ReadSettings, RealsKeepTheirValueAndSign) {
    const auto sensitivityOf = [](const std::string& text) {
        return readSettings("detection.sensitivity = " + text + "\n").config.detection.sensitivity;
    };
    EXPECT_EQ(sensitivityOf("1e39"), Config{}.detection.sensitivity);  // beyond a float: the default stays
    EXPECT_EQ(sensitivityOf("3.4028235e38"), std::numeric_limits<float>::max());
    EXPECT_TRUE(std::signbit(sensitivityOf("-nan")) && std::isnan(sensitivityOf("-nan")));
    const float afterByteOrderMark =
        readSettings("\xEF\xBB\xBF\n detection.sensitivity = -nan").config.detection.sensitivity;
    EXPECT_TRUE(std::signbit(afterByteOrderMark) && std::isnan(afterByteOrderMark));
    EXPECT_TRUE(!std::signbit(sensitivityOf("+nan")) && std::isnan(sensitivityOf("+nan")));
    EXPECT_EQ(sensitivityOf("-inf"), -std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::signbit(sensitivityOf("-0.0")));
    EXPECT_EQ(sensitivityOf("1"), 1.0F);
}

// The pattern is UTF-8 in the file and UTF-16 or UTF-32 in the record, as wchar_t is wide.
TEST(ReadSettings, PatternBecomesWideCharacters) {
    const FileReading reading = readSettings("[audio]\ndeviceNamePattern = \"Mic é \\U0001F3A4\"\n");
    EXPECT_EQ(reading.config, withPattern(L"Mic \u00E9 \U0001F3A4"));
    EXPECT_EQ(reading.config.audio.deviceNamePattern.size(), sizeof(wchar_t) == 2 ? 8U : 7U);
}

TEST(FileProblem, EqualityComparesEveryMember) {
    const FileProblem problem{"version", ProblemKind::equals, "must equal 1; got 2", 1, 11};
    for (const FileProblem& other : {FileProblem{"versio", ProblemKind::equals, "must equal 1; got 2", 1, 11},
                                     FileProblem{"version", ProblemKind::range, "must equal 1; got 2", 1, 11},
                                     FileProblem{"version", ProblemKind::equals, "must equal 1; got 3", 1, 11},
                                     FileProblem{"version", ProblemKind::equals, "must equal 1; got 2", 2, 11},
                                     FileProblem{"version", ProblemKind::equals, "must equal 1; got 2", 1, 12}}) {
        EXPECT_NE(problem, other);
    }
    EXPECT_EQ(problem, FileProblem(problem));
}

// Files on disk, in a folder of each test's own, so that tests run in parallel.
class ReadSettingsFileTest : public testing::Test {
protected:
    [[nodiscard]] std::filesystem::path write(const std::filesystem::path& name, const std::string& content) const {
        std::filesystem::path path = folder_ / name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    test::TestFolder folder_;
};

std::vector<FileProblem> fileProblem(std::string message) {
    return {{"", ProblemKind::file, std::move(message), 0, 0}};
}

TEST_F(ReadSettingsFileTest, ReadsAFileWhoseNameIsNotAscii) {
    const std::filesystem::path path = write(std::filesystem::path(u8"r\u00E9glages.toml"), "audio.bufferSizeMs = 0\n");
    const FileReading reading = readSettingsFile(path);
    EXPECT_EQ(reading.problems,
              (std::vector<FileProblem>{{"audio.bufferSizeMs", ProblemKind::range, kBufferRange + "0", 1, 22}}));
    EXPECT_EQ(reading.config.audio.bufferSizeMs, 0);
}

TEST_F(ReadSettingsFileTest, ReportsFilesThatCannotBeRead) {
    EXPECT_EQ(readSettingsFile(folder_ / "missing.toml").problems, fileProblem("no such file"));
    EXPECT_EQ(readSettingsFile(write("file.toml", "") / "settings.toml").problems, fileProblem("no such file"));
    EXPECT_EQ(readSettingsFile(folder_.path()).problems, fileProblem("is a directory, not a settings file"));
    std::error_code error;
    std::filesystem::create_symlink("loop", folder_ / "loop", error);
    if (!error) {  // a link to itself can never be opened: the system says why
        EXPECT_EQ(readSettingsFile(folder_ / "loop").problems,
                  fileProblem("cannot be read: Too many levels of symbolic links"));
    }
    // Opens, but every read fails (Linux only), for a reason the system gives.
    if (std::filesystem::exists("/proc/self/mem")) {
        const std::vector<FileProblem> problems = readSettingsFile("/proc/self/mem").problems;
        ASSERT_EQ(problems.size(), 1U);
        EXPECT_EQ(problems.front().kind, ProblemKind::file);
        EXPECT_TRUE(problems.front().message.starts_with("cannot be read: ")) << problems.front().message;
    }
}

// A reader that must never wait (a watch, an edit) opens without blocking and
// refuses what it opened unless it is a regular file: a FIFO, whose open would
// wait for a writer, and a device. A folder is what it is.
TEST_F(ReadSettingsFileTest, ReadsOnlyRegularFilesWithoutWaitingWhenAsked) {
    EXPECT_EQ(readSettingsText(write("settings.toml", "version = 1\n"), Opening::regularOnly).text, "version = 1\n");
    EXPECT_EQ(readSettingsText(folder_.path(), Opening::regularOnly).problem,
              fileProblem(std::string(kIsDirectory)).at(0));
#ifndef _WIN32
    const std::filesystem::path fifo = folder_ / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::promise<SettingsText> read;
    std::future<SettingsText> loaded = read.get_future();
    std::thread reader([&] { read.set_value(readSettingsText(fifo, Opening::regularOnly)); });
    const bool waited = loaded.wait_for(std::chrono::seconds(10)) != std::future_status::ready;
    if (waited) {
        std::ofstream{fifo};  // a writer frees the reader
    }
    reader.join();
    EXPECT_FALSE(waited) << "the reader waited on a FIFO";
    EXPECT_EQ(loaded.get().problem, fileProblem(std::string(kNotRegularFile)).at(0));
    EXPECT_EQ(readSettingsText("/dev/null", Opening::regularOnly).problem,
              fileProblem(std::string(kNotRegularFile)).at(0));
    EXPECT_EQ(readSettingsText("/dev/null", Opening::anyFile).problem, std::nullopt);
#endif
}

// 1 MiB is the largest file read; one byte more is refused unread.
TEST_F(ReadSettingsFileTest, ReadsUpTo1MiB) {
    const std::string largest = "version = 2\n#" + std::string(kMaxSettingsFileBytes - 13, 'x');
    ASSERT_EQ(largest.size(), kMaxSettingsFileBytes);
    EXPECT_EQ(readSettingsFile(write("largest.toml", largest)).problems,
              (std::vector<FileProblem>{{"version", ProblemKind::equals, "must equal 1; got 2", 1, 11}}));
    const FileReading tooLarge = readSettingsFile(write("too-large.toml", largest + "x"));
    EXPECT_EQ(tooLarge.problems, fileProblem("is larger than the limit of 1048576 bytes (1 MiB)"));
    EXPECT_EQ(tooLarge.config, Config{});
}

}  // namespace
}  // namespace settings::test
