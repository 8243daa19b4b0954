// The standard streams as the commands write them: every write is checked,
// and a command that could not write says so and fails.
#pragma once

#include <cstdio>
#include <string_view>

namespace command {

inline constexpr std::string_view kProgram = "detector-settings";

// A standard stream whose every write is checked. After the first failure the
// rest are skipped: the output is lost, and the command says so and fails.
// Text streams: on Windows the C runtime writes "\n" as "\r\n".
class Output {
public:
    explicit Output(std::FILE* stream) : stream_(stream) {}

    void write(std::string_view text);

    // Flushes what is buffered; false when any write failed. Writes may follow.
    bool finish();

    [[nodiscard]] std::FILE* stream() const { return stream_; }
    [[nodiscard]] bool failed() const { return failed_; }
    [[nodiscard]] int reason() const { return reason_; }

private:
    void fail();

    std::FILE* stream_;
    bool failed_ = false;
    int reason_ = 0;  // the errno of the first failure
};

// The streams a run reads and writes: the process's own, or files (tests).
// Standard output carries what a command writes; standard error, diagnostics
// and usage errors.
struct Streams {
    std::FILE* in = stdin;
    Output out{stdout};
    Output err{stderr};
};

// "detector-settings: MESSAGE (see detector-settings --help)" on `err`; the status of a usage error.
int usageError(Output& err, std::string_view message);

}  // namespace command
