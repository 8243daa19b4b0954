// Layered sets: loading a base, an operator's file and 20 drop-ins from disk
// against loading one file of the same bytes, in one run; the same judged
// from texts in memory; and listing a drop-in folder of up to 10,000 files.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "settings/layers.h"

namespace {

constexpr int kDropIns = 20;

// A folder of its own, gone with the benchmark.
class Folder {
public:
    Folder()
        : path_(std::filesystem::temp_directory_path() /
                ("detector_settings_layers_benchmark_" + std::to_string(std::random_device{}()))) {
        std::filesystem::create_directories(path_ / "settings.d");
    }
    ~Folder() { std::filesystem::remove_all(path_); }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    Folder(Folder&&) = delete;
    Folder& operator=(Folder&&) = delete;

    [[nodiscard]] std::filesystem::path write(const std::string& name, const std::string& text) const {
        std::ofstream(path_ / name, std::ios::binary) << text;
        return path_ / name;
    }
    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// A file as operators write them: a comment, a section, a setting or two.
std::string layerText(int i) {
    return "# drop-in " + std::to_string(i) +
           ": the site's detection settings, as configuration management writes them\n" +
           "[detection]\nsensitivity = 0." + std::to_string(i % 10) + "\ncooldownMs = " + std::to_string(300 + i) +
           "\n";
}

// The set of the base, the operator's file and the drop-ins, and one file of as many bytes.
struct Set {
    Folder folder;
    std::vector<std::filesystem::path> paths;
    std::filesystem::path oneFile;

    Set() {
        std::string all;
        paths = {folder.write("base.toml", "version = 1\n" + layerText(0)), folder.write("settings.toml", layerText(1)),
                 folder.path() / "settings.d"};
        all = "version = 1\n" + layerText(0) + layerText(1);
        for (int i = 0; i < kDropIns; ++i) {
            const std::string name = "settings.d/" + std::to_string(10 + i) + "-site.toml";
            static_cast<void>(folder.write(name, layerText(2 + i)));
            all += layerText(2 + i);
        }
        // The same bytes, each setting once: the rest as comments.
        std::string one = "version = 1\n" + layerText(0);
        one += std::string(all.size() - one.size() - 1, '#') + "\n";
        oneFile = folder.write("one.toml", one);
    }
};

void loadLayeredSet(benchmark::State& state) {
    const Set set;
    while (state.KeepRunning()) {
        settings::SettingsSources sources;
        sources.layers = settings::readSettingsLayers(settings::listSettingsLayers(set.paths));
        benchmark::DoNotOptimize(settings::loadSettings(sources));
    }
}
BENCHMARK(loadLayeredSet);

void loadOneFileOfTheSameBytes(benchmark::State& state) {
    const Set set;
    while (state.KeepRunning()) {
        settings::SettingsSources sources;
        sources.file = settings::SettingsFileText{"one.toml", settings::readSettingsText(set.oneFile)};
        benchmark::DoNotOptimize(settings::loadSettings(sources));
    }
}
BENCHMARK(loadOneFileOfTheSameBytes);

// Judging alone, without the file system: the texts read once.
void judgeLayeredSetInMemory(benchmark::State& state) {
    const Set set;
    settings::SettingsSources sources;
    sources.layers = settings::readSettingsLayers(settings::listSettingsLayers(set.paths));
    while (state.KeepRunning()) {
        benchmark::DoNotOptimize(settings::loadSettings(sources));
    }
}
BENCHMARK(judgeLayeredSetInMemory);

void judgeOneFileInMemory(benchmark::State& state) {
    const Set set;
    settings::SettingsSources sources;
    sources.file = settings::SettingsFileText{"one.toml", settings::readSettingsText(set.oneFile)};
    while (state.KeepRunning()) {
        benchmark::DoNotOptimize(settings::loadSettings(sources));
    }
}
BENCHMARK(judgeOneFileInMemory);

// Listing a folder of N drop-ins, in time in proportion to N.
void listDropInFolder(benchmark::State& state) {
    const Folder folder;
    for (int i = 0; i < state.range(0); ++i) {
        static_cast<void>(folder.write("settings.d/" + std::to_string(i) + ".toml", ""));
    }
    while (state.KeepRunning()) {
        benchmark::DoNotOptimize(settings::listSettingsLayers({folder.path() / "settings.d"}));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(listDropInFolder)->RangeMultiplier(10)->Range(10, 10'000)->Complexity(benchmark::oN);

}  // namespace
