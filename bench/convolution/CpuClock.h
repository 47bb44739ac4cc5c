#pragma once
// CPU time of the calling thread or of the whole process, for the convolution
// benchmarks that count the audio thread and the workers apart.
#include <time.h>

namespace valvora::bench {

constexpr int rate = 48000;  // the host rate the benchmarks pace against
constexpr int block = 64;    // samples per host call

inline double cpuSeconds(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return t.tv_sec + 1e-9 * t.tv_nsec;
}

}  // namespace valvora::bench
