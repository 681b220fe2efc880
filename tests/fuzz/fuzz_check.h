// The promise checks of the fuzz targets. A broken promise prints what was
// promised and aborts, so libFuzzer keeps the input as a crash file and a
// replay of that file in the test suite fails.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, promise)                                                             \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: broken promise: %s\n", __FILE__, __LINE__, promise);      \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
