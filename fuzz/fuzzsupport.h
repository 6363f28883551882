#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

// A fuzz oracle that disagrees stops the run the way a sanitizer finding does,
// so libFuzzer saves the input and the replay test fails.
#define PQ_FUZZ_CHECK(cond)                                                               \
    do {                                                                                  \
        if (!(cond)) {                                                                    \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
            std::abort();                                                                 \
        }                                                                                 \
    } while (0)

namespace pq_fuzz {

// One scratch file per target and process, rewritten for every input.
inline const std::string &scratch_path(const char *target)
{
    static const std::string path =
        std::string("/tmp/pq-fuzz-") + target + "-" + std::to_string(getpid()) + ".bin";
    return path;
}

inline void write_file(const std::string &path, const std::string &bytes)
{
    std::FILE *f = std::fopen(path.c_str(), "wb");
    PQ_FUZZ_CHECK(f != nullptr);
    PQ_FUZZ_CHECK(std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
    PQ_FUZZ_CHECK(std::fclose(f) == 0);
}

} // namespace pq_fuzz
