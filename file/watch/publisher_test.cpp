// What a watch makes of each edit: published with the settings that changed
// and those pending restart, rejected with its problems, or nothing.
#include "file/watch/internal/publisher.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "settings/sources.h"
#include "settings/table.h"
#include "settings/validation.h"

namespace settings {

using namespace settings::file_internal;
namespace {

enum class Expect { nothing, applied, rejected };

struct Step {
    Step(std::string edit, Expect verdict, std::vector<std::string_view> changedKeys = {},
         std::vector<std::string_view> pendingKeys = {})
        : text(std::move(edit)), expect(verdict), changed(std::move(changedKeys)), pending(std::move(pendingKeys)) {}

    std::string text;
    Expect expect;
    std::vector<std::string_view> changed;  // applied: the settings whose value in force changed
    std::vector<std::string_view> pending;  // applied: restart-only settings waiting; rejected: the problems' keys
};

struct JudgeCase {
    std::string name;
    std::vector<std::string> overrides;
    std::vector<Step> steps;
};

std::ostream& operator<<(std::ostream& out, const JudgeCase& c) { return out << c.name; }

class PublisherTest : public testing::TestWithParam<JudgeCase> {};

// The detector started with the defaults and one member that has no key path.
Config runningRecord() {
    Config running;
    running.logging.filePath = "running.log";
    return running;
}

// After each step the record in force is the one before it, unless the step
// published: then it is the running record with the live settings as the edit
// and the overrides give them, and nothing else changed.
TEST_P(PublisherTest, PublishesOnlyGoodEditsAndKeepsRestartOnlySettings) {
    const Config running = runningRecord();
    Publisher judge("settings.toml", running, {}, GetParam().overrides);
    Config inForce = running;
    for (const Step& step : GetParam().steps) {
        SCOPED_TRACE(step.text);
        const Publisher::Verdict verdict = judge.judge({{}, SettingsText{step.text, std::nullopt}});
        ASSERT_EQ(static_cast<Expect>(verdict.index()), step.expect);
        if (const auto* change = std::get_if<AppliedChange>(&verdict)) {
            EXPECT_EQ(change->changed, step.changed);
            EXPECT_EQ(change->pending, step.pending);
            SettingsSources sources;
            sources.file = SettingsFileText{"settings.toml", {step.text, std::nullopt}};
            sources.overrides = GetParam().overrides;
            const Config edited = loadSettings(sources).config;
            forEachSetting([&](const auto& row) {
                if (row.applies == Applies::live) {
                    row.member(inForce) = row.member(edited);
                }
            });
            EXPECT_EQ(*change->config, inForce);
        }
        if (const auto* rejected = std::get_if<RejectedEdit>(&verdict)) {
            EXPECT_EQ(rejected->text, step.text);
            std::vector<std::string_view> keys;
            for (const SourcedProblem& problem : rejected->problems) {
                keys.emplace_back(problem.problem.key);
            }
            EXPECT_EQ(keys, step.pending);
        }
        EXPECT_EQ(*judge.inForce(), inForce);
        EXPECT_TRUE(validateAll(*judge.inForce()).empty());
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Edits, PublisherTest, testing::Values(
    JudgeCase{"same_as_running", {}, {
        {"", Expect::nothing},
        {"# a comment\n[detection]\nsensitivity = 0.7\n", Expect::nothing}}},
    JudgeCase{"live_change", {}, {
        {"[detection]\nsensitivity = 0.8\nminDurationMs = 500\n", Expect::applied,
         {"detection.sensitivity", "detection.minDurationMs"}},
        {"[detection]\nsensitivity = 0.8\nminDurationMs = 500\n# same settings\n", Expect::nothing},
        {"", Expect::applied, {"detection.sensitivity", "detection.minDurationMs"}}}},
    JudgeCase{"restart_only_change_is_pending", {}, {
        {"[audio]\nbufferSizeMs = 20\n[detection]\nfftSize = 4096\n", Expect::applied, {},
         {"audio.bufferSizeMs", "detection.fftSize"}},
        {"[audio]\nbufferSizeMs = 20\n[detection]\nfftSize = 4096\nsensitivity = 0.1\n", Expect::applied,
         {"detection.sensitivity"}, {"audio.bufferSizeMs", "detection.fftSize"}},
        {"[detection]\nsensitivity = 0.1\n", Expect::applied}}},
    JudgeCase{"rejected_edit_keeps_the_last_good_one", {}, {
        {"[detection]\nsensitivity = 0.8\n", Expect::applied, {"detection.sensitivity"}},
        {"[detection]\nsensitivity = 1.5\ncooldownMs = 50\n", Expect::rejected, {},
         {"detection.sensitivity", "detection.cooldownMs"}},
        {"[detection]\nsensitivity = 0.8\n", Expect::applied},
        {"[detection\n", Expect::rejected, {}, {""}},
        {"[detection]\nsensitivity = 0.9\n", Expect::applied, {"detection.sensitivity"}}}},
    // Every kind of problem rejects the whole edit, live settings beside it included.
    JudgeCase{"every_kind_of_problem_rejects_the_whole_edit", {}, {
        {"[detection]\nsensitivity = 0.8\nsensitivty = 0.5\n", Expect::rejected, {}, {"detection.sensitivty"}},
        {"[detection]\nsensitivity = 0.8\ncooldownMs = \"long\"\n", Expect::rejected, {}, {"detection.cooldownMs"}},
        {"version = 2\n[detection]\nsensitivity = 0.8\n", Expect::rejected, {}, {"version"}},
        {"[detection]\nsensitivity = 0.8\nfftSize = 1000\n", Expect::rejected, {}, {"detection.fftSize"}},
        {"[detection]\nsensitivity = 0.8\n[training]\ndataFile = \"\"\n", Expect::rejected, {},
         {"training.dataFile"}},
        {"[detection]\nsensitivity = 0.8\nsensitivity = 0.9\n", Expect::rejected, {}, {""}},
        {"audio = 1\n[detection]\nsensitivity = 0.8\n", Expect::rejected, {}, {"audio"}}}},
    JudgeCase{"restart_only_problem_rejects_the_whole_edit", {}, {
        {"[audio]\nbufferSizeMs = 0\n[detection]\nsensitivity = 0.8\n", Expect::rejected, {},
         {"audio.bufferSizeMs"}},
        {"[audio]\nbufferSizeMs = 20\n", Expect::applied, {}, {"audio.bufferSizeMs"}}}},
    JudgeCase{"overrides_stay_on_top", {"detection.sensitivity=0.25"}, {
        {"", Expect::applied, {"detection.sensitivity"}},
        {"[detection]\nsensitivity = 0.8\n", Expect::nothing},
        {"[detection]\ncooldownMs = 500\n", Expect::applied, {"detection.cooldownMs"}}}},
    JudgeCase{"bad_override_rejects_every_edit", {"detection.sensitivity=2"}, {
        {"", Expect::rejected, {}, {"detection.sensitivity"}},
        {"[detection]\nsensitivity = 0.8\n", Expect::rejected, {}, {"detection.sensitivity"}}}}
), [](const testing::TestParamInfo<JudgeCase>& edits) { return edits.param.name; });
// clang-format on

TEST(PublisherTest, FileThatCannotBeReadIsRejected) {
    Publisher judge("gone.toml", Config{}, {}, {});
    const FileProblem gone{"", ProblemKind::file, "cannot open: No such file or directory", 0, 0};
    const Publisher::Verdict verdict = judge.judge({{}, SettingsText{"", gone}});
    const auto* rejected = std::get_if<RejectedEdit>(&verdict);
    ASSERT_NE(rejected, nullptr);
    ASSERT_EQ(rejected->problems.size(), 1U);
    EXPECT_EQ(rejected->problems.front().problem.kind, ProblemKind::file);
    EXPECT_EQ(rejected->problems.front().source.name, "gone.toml");
    EXPECT_TRUE(sameNamedSettings(*judge.inForce(), Config{}));
}

}  // namespace
}  // namespace settings
