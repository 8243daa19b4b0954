#include "output.h"

#include <cerrno>
#include <string>

#include "run.h"
#include "settings/text_lines.h"

namespace command {

void Output::write(std::string_view text) {
    if (!failed_ && std::fwrite(text.data(), 1, text.size(), stream_) != text.size()) {
        fail();
    }
}

bool Output::finish() {
    if (!failed_ && std::fflush(stream_) != 0) {
        fail();
    }
    return !failed_;
}

void Output::fail() {
    failed_ = true;
    reason_ = errno;
}

int usageError(Output& err, std::string_view message) {
    err.write(std::string(kProgram) + ": " + settings::terminalSafe(message) + " (see " + std::string(kProgram) +
              " --help)\n");
    return kUsageOrFileError;
}

}  // namespace command
