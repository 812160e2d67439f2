// Sharpness of one 240-value pattern.
#include <benchmark/benchmark.h>

#include <vector>

#include "varnholt.h"

namespace {

void BM_SharpnessDin(benchmark::State& state) {
  std::vector<double> specific(240);
  for (std::size_t i = 0; i < specific.size(); ++i) specific[i] = 1.0 + 0.01 * static_cast<double>(i);
  double sharpness = 0.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(vh_sharpness_din(specific.data(), specific.size(), &sharpness));
  }
}
BENCHMARK(BM_SharpnessDin);

}  // namespace
