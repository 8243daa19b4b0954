// The `detector-settings` command: checks settings files of the audio-event
// detector as a compiler would, and writes their defaults and JSON Schema.
//
//   detector-settings check [--format text|json|sarif|github] [--set KEY=VALUE]... [--no-env] FILE...
//                                                            ("-" reads standard input, once)
//   detector-settings explain [--file FILE] [--set KEY=VALUE]... [--no-env] [--format text|json] KEY...
//   detector-settings watch [--format text|json] [--set KEY=VALUE]... [--no-env] FILE
//                                                            (until SIGINT or SIGTERM)
//   detector-settings set [--dry-run] [--create] [--format text|json] FILE KEY=VALUE...
//   detector-settings unset [--dry-run] [--format text|json] FILE KEY...
//   detector-settings defaults
//   detector-settings schema
//   detector-settings --help | --version
#pragma once

#include <string>
#include <vector>

#include "output.h"

namespace command {

// Exit statuses of the command.
inline constexpr int kAllValid = 0;
inline constexpr int kProblemsFound = 1;
inline constexpr int kUsageOrFileError = 2;  // a usage error, a file that cannot be read, or
                                             // output that cannot be written

// Runs the command on `args` (the program name first, UTF-8) with
// `environment` ("NAME=VALUE", UTF-8) as the process's, and returns the exit
// status. Every write is checked, the final flush included.
int run(const std::vector<std::string>& args, const std::vector<std::string>& environment, Streams streams = {});

}  // namespace command
