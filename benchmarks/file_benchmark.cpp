// What reading a settings file costs: the reader on the default file, against
// toml++'s parse of the same text alone, in the same run.
#include <benchmark/benchmark.h>

#include <string>

#include "settings/file.h"
#include "settings/internal/toml_library.h"

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

}  // namespace
