// What the fuzz targets share: a property that does not hold is a finding,
// told on standard error before the program stops, so libFuzzer keeps the input.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace fuzz_support {

inline void require(bool condition, const char* what) {
    if (!condition) {
        static_cast<void>(std::fprintf(stderr, "property violated: %s\n", what));
        std::abort();
    }
}

}  // namespace fuzz_support
