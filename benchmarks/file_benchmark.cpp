// What reading a settings file costs: the reader on the default file, against
// toml++'s parse of the same text alone, in the same run; and an edit of a
// text against reading it, as the text grows to the size limit.
#include <benchmark/benchmark.h>
#include <toml++/toml.h>  // alone, as a consumer takes it: the default file is ASCII

#include <cstdint>
#include <string>
#include <vector>

#include "settings/edit.h"
#include "settings/file.h"

namespace {

const std::string& defaultFile() {
    static const std::string text = settings::writeSettings(settings::Config{}).value();
    return text;
}

void tomlParseDefaultFile(benchmark::State& state) {
    while (state.KeepRunning()) {
        toml::parse_result parsed = toml::parse(defaultFile());
        benchmark::DoNotOptimize(parsed);
    }
}
BENCHMARK(tomlParseDefaultFile);

void readDefaultFile(benchmark::State& state) {
    while (state.KeepRunning()) {
        benchmark::DoNotOptimize(settings::readSettings(defaultFile()));
    }
}
BENCHMARK(readDefaultFile);

// The default file with comments added up to `bytes`: the size an edit reads and writes.
std::string fileOf(std::int64_t bytes) {
    std::string text = defaultFile();
    while (static_cast<std::int64_t>(text.size()) < bytes) {
        text += "# a comment of the operator's, kept as it is by every edit\n";
    }
    return text;
}

// An edit of a text against reading the same text, as sizes grow: both in
// proportion to the size (Google Benchmark fits the complexity).
void editText(benchmark::State& state) {
    const std::string text = fileOf(state.range(0));
    const std::vector<settings::SettingEdit> edits = {settings::SettingEdit::set("detection.sensitivity", "0.8")};
    while (state.KeepRunning()) {
        benchmark::DoNotOptimize(settings::editSettingsText(text, edits));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(editText)->RangeMultiplier(4)->Range(1 << 10, 1 << 20)->Complexity(benchmark::oN);

void readText(benchmark::State& state) {
    const std::string text = fileOf(state.range(0));
    while (state.KeepRunning()) {
        benchmark::DoNotOptimize(settings::readSettings(text));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(readText)->RangeMultiplier(4)->Range(1 << 10, 1 << 20)->Complexity(benchmark::oN);

}  // namespace
