#include <cstdio>

#include "settings/file.h"
#include "settings/validation.h"

int main() {
    // A record starts at its defaults; validateAll names every setting that breaks its rule.
    settings::Config config;
    config.detection.sensitivity = 1.5F;
    for (const settings::ValidationError& error : settings::validateAll(config)) {
        std::printf("%s: %s\n", error.field.c_str(), error.message.c_str());
    }

    // A settings file gives a record and every problem, each with its position.
    const settings::FileReading reading = settings::readSettingsFile("settings.toml");
    for (const settings::FileProblem& problem : reading.problems) {
        std::printf("settings.toml:%d:%d: %s: %s\n", problem.line, problem.column, problem.key.c_str(),
                    problem.message.c_str());
    }
    return reading.problems.empty() ? 0 : 1;
}
