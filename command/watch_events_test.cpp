// Each event of a watch as one line, in text and in JSON Lines.
#include "watch_events.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace command {
namespace {

struct AppliedCase {
    std::string name;
    std::vector<std::string_view> changed;
    std::vector<std::string_view> pending;
    std::string text;
    std::string json;
};

std::ostream& operator<<(std::ostream& out, const AppliedCase& c) { return out << c.name; }

class AppliedEventTest : public testing::TestWithParam<AppliedCase> {};

TEST_P(AppliedEventTest, IsOneLine) {
    auto config = std::make_shared<settings::Config>();
    config->detection.sensitivity = std::numeric_limits<float>::quiet_NaN();
    config->audio.deviceNamePattern = L"USB\x1b[2J";
    const settings::AppliedChange change{config, GetParam().changed, GetParam().pending};
    EXPECT_EQ(appliedText(change), GetParam().text);
    EXPECT_EQ(appliedJson(change), GetParam().json);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Changes, AppliedEventTest, testing::Values(
    AppliedCase{"nothing_changed", {}, {},
                "applied: nothing changed\n",
                R"({"event":"applied","changed":[],"pending":[]})" "\n"},
    AppliedCase{"changed_and_pending", {"detection.cooldownMs", "detection.sensitivity"},
                {"audio.bufferSizeMs", "detection.fftSize"},
                "applied: detection.cooldownMs = 300, detection.sensitivity = nan; pending restart: "
                "audio.bufferSizeMs, detection.fftSize\n",
                R"({"event":"applied","changed":[{"key":"detection.cooldownMs","value":300},)"
                R"({"key":"detection.sensitivity","value":"nan"}],"pending":["audio.bufferSizeMs","detection.fftSize"]})" "\n"},
    AppliedCase{"only_pending", {}, {"audio.deviceNamePattern"},
                "applied: nothing changed; pending restart: audio.deviceNamePattern\n",
                R"({"event":"applied","changed":[],"pending":["audio.deviceNamePattern"]})" "\n"},
    AppliedCase{"text_made_safe", {"audio.deviceNamePattern"}, {},
                "applied: audio.deviceNamePattern = \"USB\\u001B[2J\"\n",
                R"({"event":"applied","changed":[{"key":"audio.deviceNamePattern","value":"USB\u001B[2J"}],"pending":[]})" "\n"}
), [](const testing::TestParamInfo<AppliedCase>& changes) { return changes.param.name; });
// clang-format on

TEST(WatchEventTest, RejectedEditCountsItsProblemsAndHasThemAsCheckHas) {
    const settings::SourcedProblem range{
        {settings::SourceKind::file, "settings.toml"},
        {"detection.sensitivity", settings::ProblemKind::range, "must be in [0.0, 1.0]; got 1.500000", 2, 15}};
    const settings::SourcedProblem unknown{{settings::SourceKind::environment, "DETECTOR_X"},
                                           {"", settings::ProblemKind::unknown, "unknown setting", 0, 0}};
    EXPECT_EQ(rejectedText({range}), "rejected: 1 problem; the settings in force stay\n");
    EXPECT_EQ(rejectedText({range, unknown}), "rejected: 2 problems; the settings in force stay\n");
    const EventLines text = rejectedEvent({"\nsensitivity = 1.5\n", {range}, {}}, "settings.toml", false);
    EXPECT_EQ(text.out, rejectedText({range}));
    EXPECT_EQ(text.err,
              "settings.toml:2:15: error: detection.sensitivity: must be in [0.0, 1.0]; got 1.500000\n"
              "    2 | sensitivity = 1.5\n      |               ^\n");
    EXPECT_EQ(rejectedEvent({"", {range}, {}}, "settings.toml", true).out, rejectedJson({range}));
    // A layer's problem is shown with its lines, the watched file's with its.
    settings::SourcedProblem inLayer = range;
    inLayer.source.name = "settings.d/50.toml";
    EXPECT_EQ(rejectedEvent({"", {inLayer}, {{"settings.d/50.toml", {"\nsensitivity = 1.5\n", {}}}}}, "", false).err,
              "settings.d/50.toml:2:15: error: detection.sensitivity: must be in [0.0, 1.0]; got 1.500000\n"
              "    2 | sensitivity = 1.5\n      |               ^\n");
    EXPECT_EQ(rejectedJson({range}),
              R"({"event":"rejected","diagnostics":[{"line":2,"column":15,"key":"detection.sensitivity",)"
              R"("rule":"range","severity":"error","message":"must be in [0.0, 1.0]; got 1.500000",)"
              R"("origin":{"kind":"file","name":"settings.toml"}}]})"
              "\n");
}

TEST(WatchEventTest, WatchingNamesThePathSafely) {
    EXPECT_EQ(watchingText("settings.toml", {}), "watching settings.toml\n");
    EXPECT_EQ(watchingText("a\x1b[2J.toml", {}), "watching a\\u001B[2J.toml\n");
    EXPECT_EQ(watchingJson("r\xC3\xA9glages.toml", {}, {}),
              "{\"event\":\"watching\",\"path\":\"r\xC3\xA9glages.toml\",\"diagnostics\":[]}\n");
    EXPECT_EQ(watchingText("", {"base.toml", "settings.d"}), "watching base.toml and settings.d\n");
    EXPECT_EQ(watchingText("s.toml", {"base.toml", "settings.d"}), "watching base.toml, settings.d and s.toml\n");
    EXPECT_EQ(watchingJson("", {"settings.d"}, {}),
              R"({"event":"watching","path":null,"layers":["settings.d"],"diagnostics":[]})"
              "\n");
}

TEST(WatchEventTest, SkippedEventsAreCounted) {
    EXPECT_EQ(skippedText(1), "skipped: 1 event, as the output was not read in time\n");
    EXPECT_EQ(skippedText(12), "skipped: 12 events, as the output was not read in time\n");
    EXPECT_EQ(skippedJson(12), R"({"event":"skipped","count":12})"
                               "\n");
}

}  // namespace
}  // namespace command
