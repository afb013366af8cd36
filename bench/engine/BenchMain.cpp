// BenchMain.cpp --- the benchmark program's entry: sets up its own TARVO_HOME, then runs the benchmarks.
#include <benchmark/benchmark.h>

#include "bench/engine/BenchSupport.h"

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    tarvo::bench::BenchHome home;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
