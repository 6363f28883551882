#pragma once

#include <cstdio>
#include <cstdlib>

// A fuzz oracle that disagrees stops the run the way a sanitizer finding does,
// so libFuzzer saves the input and the replay test fails.
#define PQ_FUZZ_CHECK(cond)                                                               \
    do {                                                                                  \
        if (!(cond)) {                                                                    \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
            std::abort();                                                                 \
        }                                                                                 \
    } while (0)
