// The commands of detector-settings that read settings, each once its command
// line has been parsed and found sound (run.cpp). Each returns the exit
// status.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "diagnostics.h"
#include "output.h"
#include "request.h"
#include "settings/edit.h"

namespace command {

// Every problem of each file, with the environment and the overrides on top.
int check(const std::vector<std::string>& files, const Request& request, Streams& streams);

// Each key's value and where it came from, then the problems of every source.
int explain(const std::optional<std::string>& file, const std::vector<std::string>& keys, const Request& request,
            Streams& streams);

// The reloads a detector started with the file (empty: none) and the
// request's layered set would make, until SIGINT or SIGTERM.
int watch(const std::string& file, const Request& request, Streams& streams);

// What `set` and `unset` are asked for beside their edits.
struct EditRequest {
    bool json = false;
    bool dryRun = false;
    bool create = false;
    std::chrono::milliseconds lockTimeout{10'000};
    std::vector<std::string> layers;       // the layered set the file is one of, as --layer gives it
    std::vector<std::string> environment;  // on top of the set, to tell what overrides a change
};

// The edits made to the file together, and what changed, or a diff of it in a dry run.
int edit(const std::string& file, const std::vector<settings::SettingEdit>& edits, const EditRequest& request,
         Streams& streams);

}  // namespace command
