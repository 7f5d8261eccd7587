// tavelin-bench: Google Benchmark main. Each benchmark file measures our code
// and, where possible, a peer on the same work in the same run, and prints
// "RATIO <name> <peer seconds / our seconds>" as its last line.
#include <benchmark/benchmark.h>

BENCHMARK_MAIN();
