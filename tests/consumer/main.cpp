// Validates a changed record through the installed library and prints the error.
#include <cstdio>

#include "settings/config.h"
#include "settings/validation.h"

int main() {
    settings::Config config;
    config.audio.bufferSizeMs = 0;
    const std::optional<settings::ValidationError> error = settings::validate(config);
    if (!error) {
        return 1;
    }
    static_cast<void>(std::printf("%s: %s\n", error->field.c_str(), error->message.c_str()));
    return 0;
}
