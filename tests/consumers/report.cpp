#include "report.h"

#include <cstdio>

#include "settings/file.h"
#include "settings/validation.h"
#include "settings/version.h"

int reportSettings() {
    std::printf("DetectorSettings %d.%d.%d\n", settings::kVersionMajor, settings::kVersionMinor,
                settings::kVersionPatch);
    settings::Config config;
    config.audio.bufferSizeMs = 0;
    for (const settings::ValidationError& error : settings::validateAll(config)) {
        std::printf("%s: %s\n", error.field.c_str(), error.message.c_str());
    }
    for (const settings::FileProblem& problem : settings::readSettings("[detection]\nfftSize = 1000\n").problems) {
        std::printf("%d:%d %s: %s\n", problem.line, problem.column, problem.key.c_str(), problem.message.c_str());
    }
    return settings::writeSettings(settings::Config{}).has_value() ? 0 : 1;
}
