#include "storage/data_root.h"

#include <benchmark/benchmark.h>

#include <QString>

// Every machine store resolves its INI path when it opens; this keeps that cheap.
static void BM_MachineIniPath(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(machineIniPath(QStringLiteral("hotkeys")));
}
BENCHMARK(BM_MachineIniPath);

BENCHMARK_MAIN();
