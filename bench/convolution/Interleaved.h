#pragma once
// Runs the registered benchmarks with their repetitions taking turns in a
// random order. On a shared machine whose speed drifts by half within
// minutes, running all of one and then all of the other would compare the
// machine's moods; compare the medians instead, or the fastest repetitions
// ("min": the machine only ever adds time). A flag given on the command line
// overrides the default.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace valvora::bench {

inline double fastest(const std::vector<double>& values)
{
    return *std::min_element(values.begin(), values.end());
}

inline int runInterleaved(int argc, char** argv, void (*registerAll)())
{
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    std::vector<char*> args(argv, argv + argc);
    args.insert(args.begin() + 1, interleave);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    registerAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace valvora::bench
