// The options of the commands that read or edit settings, as the command
// line gives them (CLI11 fills them; run.cpp), and what each run is asked for.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "output.h"
#include "request.h"

namespace CLI {
class App;
}

namespace command {

// --layer PATH, repeatable, which every command that reads settings takes.
void addLayerOption(CLI::App& command, std::vector<std::string>& layers);

// The options that check, explain and watch share.
struct SourceOptions {
    std::string format = "text";
    std::vector<std::string> overrides;
    std::vector<std::string> layers;
    bool noEnvironment = false;

    void addTo(CLI::App& command, std::vector<std::string> formats, std::string_view formatHelp);
    // The first --set that is not KEY=VALUE, if any.
    [[nodiscard]] std::optional<std::string> malformed() const;
    [[nodiscard]] Request request(const std::vector<std::string>& environment) const;
};

// What set and unset are given: a file and its edits.
struct EditOptions {
    std::string format = "text";
    bool dryRun = false;
    bool create = false;
    double lockTimeoutSeconds = 10;
    std::vector<std::string> layers;
    bool noEnvironment = false;
    std::string file;
    std::vector<std::string> edits;

    void addTo(CLI::App& command);  // all but the edits, which set and unset name differently
};

// The edits, each a setting's: for set KEY=VALUE, for unset KEY. A key that
// names no setting is the edit's problem, as the library tells it.
int editCommand(bool set, const EditOptions& options, const std::vector<std::string>& environment, Streams& streams);

}  // namespace command
