#include "Engine/Password.h"

#include <benchmark/benchmark.h>

using namespace Tessera3D;

// One verification of a client's password against the stored record at the cost servers use (10).
static void BM_VerifyPassword(benchmark::State& state) {
    CStoredPassword stored;
    stored.Set("correct horse battery staple");
    for (auto _ : state) benchmark::DoNotOptimize(stored.Verify("correct horse battery staple"));
}
BENCHMARK(BM_VerifyPassword)->Unit(benchmark::kMillisecond);
