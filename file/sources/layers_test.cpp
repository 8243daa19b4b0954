// A layered set: which files are read and in what order, the problems of
// paths that cannot be layers, and every setting's value in force with its
// chain of origins through the layers, the environment and the overrides.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "file/base/internal/access.h"
#include "file/base/internal/path_names.h"
#include "file/base/texts_test_support.h"
#include "file/sources/internal/layers.h"
#include "settings/message_text.h"
#include "settings/table.h"

namespace settings {

using namespace settings::file_internal;
namespace {

class LayersTest : public testing::Test {
protected:
    std::filesystem::path write(const std::filesystem::path& name, std::string_view text = "") {
        std::filesystem::path path = folder_ / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    // The files listed, as names relative to the folder, and each problem as "NAME: MESSAGE".
    std::vector<std::string> listed(const std::vector<std::filesystem::path>& paths) {
        std::vector<std::string> names;
        for (const SettingsLayer& layer : listSettingsLayers(paths)) {
            std::string name = utf8Name(layer.path.lexically_relative(folder_.path()));
            std::replace(name.begin(), name.end(), '\\', '/');
            names.push_back(layer.problem ? name + ": " + layer.problem->message : name);
        }
        return names;
    }

    test::TestFolder folder_;
};

TEST_F(LayersTest, ListsFilesInOrderThenDropInsByNameTheLastFolderWinningAName) {
    write("base.toml");
    write("etc.toml");
    for (const char* name :
         {"60-b.toml", "50-a.toml", "Z.toml", "a.toml~", "a.toml.dpkg-old", ".hidden.toml", ".toml", "notes.txt"}) {
        write(std::filesystem::path("etc.d") / name);
    }
    write("run.d/50-a.toml");
    write(pathOfUtf8("run.d/\xC3\xA9.toml"));
    const std::filesystem::path etc = folder_ / "etc.d";
    // Folders after files, whatever the order given; a missing path is no layer.
    EXPECT_EQ(listed({etc, folder_ / "base.toml", folder_ / "missing.toml", folder_ / "missing.d", folder_ / "etc.toml",
                      folder_ / "run.d"}),
              (std::vector<std::string>{"base.toml", "etc.toml", "run.d/50-a.toml", "etc.d/60-b.toml", "etc.d/Z.toml",
                                        "run.d/\xC3\xA9.toml"}));
    // Without the runtime folder, its drop-in is the first folder's again; a folder named with a last "/" is one.
    EXPECT_EQ(listed({etc / ""}), (std::vector<std::string>{"etc.d/50-a.toml", "etc.d/60-b.toml", "etc.d/Z.toml"}));
    write("run.d/z.toml");
    const std::vector<std::string> folded = listed({etc, folder_ / "run.d"});
    EXPECT_EQ(folded.at(2), kCaseSensitiveFileNames ? "etc.d/Z.toml" : "run.d/z.toml");
    EXPECT_EQ(folded.size(), kCaseSensitiveFileNames ? 5U : 4U) << "Z.toml and z.toml are one name on Windows";
}

TEST_F(LayersTest, NamesEachPathThatCannotBeALayerAndReadsTheOthers) {
    write("settings.toml", "version = 1\n");
    write("etc.d/50-a.toml/inner.toml");  // a drop-in that is a folder
    write("etc.d/60-b.toml", "version = 1\n");
    std::vector<std::filesystem::path> paths = {folder_ / "settings.toml/", folder_ / "etc.d"};
    std::vector<std::string> expected = {"settings.toml/: is a file, not a drop-in folder",
                                         "etc.d/50-a.toml: is a directory, not a settings file"};
#ifndef _WIN32
    std::filesystem::create_symlink("loop.toml", folder_ / "loop.toml");
    ASSERT_EQ(mkfifo((folder_ / "fifo.toml").c_str(), 0600), 0);
    std::filesystem::create_directories(folder_ / "closed.d");
    std::filesystem::permissions(folder_ / "closed.d", std::filesystem::perms::none);
    paths.insert(paths.begin(), {folder_ / "loop.toml", folder_ / "fifo.toml", folder_ / "closed.d"});
    expected.insert(expected.begin(), {"loop.toml: cannot be read: Too many levels of symbolic links",
                                       "fifo.toml: is not a regular file"});
    if (geteuid() != 0) {  // root lists any folder
        expected.insert(expected.begin() + 2, "closed.d: cannot be read: Permission denied");
    }
#endif
    std::vector<std::string> read;
    for (const SettingsFileText& file : readSettingsLayers(listSettingsLayers(paths))) {
        const std::string name = pathOfUtf8(file.name).lexically_relative(folder_.path()).generic_string();
        read.push_back(file.content.problem ? name + ": " + file.content.problem->message : name);
    }
    expected.emplace_back("etc.d/60-b.toml");
    EXPECT_EQ(read, expected);
}

TEST_F(LayersTest, ListsTheFileAnEditWouldMakeWhereItWouldBeRead) {
    write("etc.d/40.toml");
    write("late.d/60.toml");
    const std::vector<std::filesystem::path> set = {folder_ / "etc.d", folder_ / "late.d"};
    std::vector<std::string> names;
    for (const SettingsLayer& layer : listLayersAssuming(set, folder_ / "etc.d" / "50.toml")) {
        names.push_back(layer.path.filename().string());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"40.toml", "50.toml", "60.toml"}));
    // A file gone between the listing and the reading is left out, as if it had not been listed.
    std::vector<SettingsLayer> layers = listSettingsLayers(set);
    std::filesystem::remove(folder_ / "etc.d/40.toml");
    EXPECT_EQ(readSettingsLayers(layers).size(), 1U);
    EXPECT_TRUE(sameDropInName(folder_ / "etc.d/x.toml", folder_ / "late.d/x.toml"));
    EXPECT_EQ(sameDropInName(folder_ / "etc.d/X.toml", folder_ / "late.d/x.toml"), !kCaseSensitiveFileNames);
}

// One layered set of the table below: the files given, with a value of the
// setting in some; the chain each setting must have, as names of the files
// (or "env", "set") whose value it took, in order.
struct LayeredCase {
    std::string name;
    std::vector<std::pair<std::string, int>> files;  // name, and which of the setting's two values (-1: none)
    std::vector<std::string> paths;
    bool environment = false;  // DETECTOR_... with the first value
    bool override = false;     // KEY=... with the second
    std::vector<std::string> chain;
    std::string problem;  // "NAME: MESSAGE" of the one problem, if any
};

// clang-format off
const std::vector<LayeredCase>& layeredCases() {
    static const std::vector<LayeredCase> cases = {
        {"base", {{"base.toml", 0}}, {"base.toml"}, false, false, {"base.toml"}, ""},
        {"operator", {{"base.toml", 0}, {"etc.toml", 1}}, {"base.toml", "etc.toml"}, false, false,
         {"base.toml", "etc.toml"}, ""},
        {"drop_ins", {{"base.toml", 0}, {"etc.toml", 1}, {"etc.d/60.toml", 0}, {"etc.d/50.toml", 1}},
         {"base.toml", "etc.toml", "etc.d"}, false, false, {"base.toml", "etc.toml", "etc.d/50.toml", "etc.d/60.toml"}, ""},
        {"runtime_folder", {{"etc.toml", 1}, {"etc.d/50.toml", 1}, {"etc.d/60.toml", 0}, {"run.d/50.toml", 0}},
         {"etc.toml", "etc.d", "run.d"}, false, false, {"etc.toml", "run.d/50.toml", "etc.d/60.toml"}, ""},
        {"environment", {{"etc.toml", 1}, {"etc.d/50.toml", 0}}, {"etc.toml", "etc.d"}, true, false,
         {"etc.toml", "etc.d/50.toml", "env"}, ""},
        {"overrides", {{"etc.toml", 1}, {"etc.d/50.toml", 0}}, {"etc.toml", "etc.d"}, true, true,
         {"etc.toml", "etc.d/50.toml", "env", "set"}, ""},
        {"missing_base", {{"etc.toml", 1}}, {"base.toml", "etc.toml"}, false, false, {"etc.toml"}, ""},
        {"unreadable_drop_in", {{"etc.toml", 1}, {"etc.d/50.toml/x.toml", -1}, {"etc.d/60.toml", 0}},
         {"etc.toml", "etc.d"}, false, false, {"etc.toml", "etc.d/60.toml"},
         "etc.d/50.toml: is a directory, not a settings file"},
        {"drop_in_with_an_error", {{"etc.toml", 1}, {"etc.d/50.toml", 2}, {"etc.d/60.toml", 0}}, {"etc.toml", "etc.d"},
         false, false, {"etc.toml", "etc.d/60.toml"}, "etc.d/50.toml: "},
        {"drop_in_of_other_settings", {{"etc.toml", 1}, {"etc.d/50.toml", -1}}, {"etc.toml", "etc.d"}, false, false,
         {"etc.toml"}, ""},
    };
    return cases;
}
// clang-format on

void PrintTo(const LayeredCase& c, std::ostream* out) { *out << c.name; }

class LayeredSetTest : public testing::TestWithParam<LayeredCase> {};

// Two values each setting takes (its default and its greatest, or two
// texts), and one it does not.
std::array<std::string, 3> valuesOf(std::string_view keyPath) {
    std::array<std::string, 3> values;
    visitSetting(keyPath, [&](const auto& row) {
        using Row = std::decay_t<decltype(row)>;
        if constexpr (Row::type == ValueType::text || Row::type == ValueType::wideText) {
            values = {R"("A")", R"("B")", "1"};
        } else {
            values = {*settingValueText(Config{}, keyPath), boundText(row.rules.front().max, Row::type), R"("1")"};
        }
    });
    return values;
}

TEST_P(LayeredSetTest, GivesEverySettingItsValueFromTheLastLayerAndItsWholeChain) {
    const LayeredCase& c = GetParam();
    for (const std::string_view keyPath : kKeyPaths) {
        const test::TestFolder folder;
        const std::array<std::string, 3> values = valuesOf(keyPath);
        const std::string_view section = sectionOf(keyPath);
        const std::string header = section.empty() ? "" : concatenate({"[", section, "]\n"});
        // A setting of a section is on line 2, after its header; the value after "NAME = ".
        const int line = section.empty() ? 1 : 2;
        const int column = static_cast<int>(memberNameOf(keyPath).size()) + 4;
        std::map<std::string, std::string> valueIn = {{"env", values[0]}, {"set", values[1]}};
        for (const auto& [name, value] : c.files) {
            std::filesystem::create_directories((folder / name).parent_path());
            const bool other = value < 0;
            std::ofstream(folder / name, std::ios::binary)
                << (other ? std::string(keyPath == "version" ? "[audio]\nbufferSizeMs = 20\n" : "version = 1\n")
                          : concatenate({header, memberNameOf(keyPath), " = ",
                                         values.at(static_cast<std::size_t>(value)), "\n"}));
            if (!other) {
                valueIn[name] = values.at(static_cast<std::size_t>(value));
            }
        }
        std::vector<std::filesystem::path> paths;
        for (const std::string& path : c.paths) {
            paths.push_back(folder / path);
        }
        SettingsSources sources;
        sources.layers = readSettingsLayers(listSettingsLayers(paths));
        if (c.environment) {
            sources.environment = {concatenate({environmentName(keyPath), "=", values[0]})};
        }
        if (c.override) {
            sources.overrides = {concatenate({keyPath, "=", values[1]})};
        }
        const LoadedSettings loaded = loadSettings(sources);
        std::vector<std::string> chain;
        for (const SettingValue& value : loaded.values.at(rowOf(keyPath))) {
            const std::string name =
                value.source.kind == SourceKind::environment ? "env"
                : value.source.kind == SourceKind::commandLine
                    ? "set"
                    : pathOfUtf8(value.source.name).lexically_relative(folder.path()).generic_string();
            chain.push_back(name);
            EXPECT_EQ(value.value, valueIn[name]) << keyPath << " from " << name;
            if (value.source.kind == SourceKind::file) {
                EXPECT_EQ(std::pair(value.line, value.column), std::pair(line, column)) << keyPath << " in " << name;
            }
        }
        EXPECT_EQ(chain, c.chain) << keyPath;
        EXPECT_EQ(settingValueText(loaded.config, keyPath), valueIn[c.chain.back()]) << keyPath;
        // One problem where the set has one, naming its file.
        ASSERT_EQ(loaded.problems.size(), c.problem.empty() ? 0U : 1U) << keyPath;
        for (const SourcedProblem& problem : loaded.problems) {
            const std::string name = pathOfUtf8(problem.source.name).lexically_relative(folder.path()).generic_string();
            EXPECT_TRUE((name + ": " + problem.problem.message).starts_with(c.problem)) << keyPath;
            EXPECT_TRUE(anyError(loaded.problems));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sets, LayeredSetTest, testing::ValuesIn(layeredCases()),
                         [](const testing::TestParamInfo<LayeredCase>& row) { return row.param.name; });

}  // namespace
}  // namespace settings
