// Transform lengths the metrics use.
#include <benchmark/benchmark.h>

#include <complex>
#include <vector>

#include "core/fft.h"

namespace {

void BM_ComplexForward(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  varnholt::ComplexFft plan;
  if (varnholt::ComplexFft::create(n, plan) != varnholt::FftStatus::ok) {
    state.SkipWithError("plan failed");
    return;
  }
  std::vector<std::complex<double>> x(n, {0.5, -0.25}), y(n);
  for (auto _ : state) {
    plan.forward(x.data(), y.data(), 1.0);
    benchmark::DoNotOptimize(y.data());
  }
}
BENCHMARK(BM_ComplexForward)->Arg(512)->Arg(9600)->Arg(12000)->Arg(16384);

void BM_RealForward(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  varnholt::RealFft plan;
  if (varnholt::RealFft::create(n, plan) != varnholt::FftStatus::ok) {
    state.SkipWithError("plan failed");
    return;
  }
  std::vector<double> x(n, 0.5);
  std::vector<std::complex<double>> y(plan.bins());
  for (auto _ : state) {
    plan.forward(x.data(), y.data(), 1.0);
    benchmark::DoNotOptimize(y.data());
  }
}
BENCHMARK(BM_RealForward)->Arg(2048)->Arg(4096)->Arg(8192)->Arg(16384);

void BM_PlanCreation(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  for (auto _ : state) {
    varnholt::ComplexFft plan;
    benchmark::DoNotOptimize(varnholt::ComplexFft::create(n, plan));
  }
}
BENCHMARK(BM_PlanCreation)->Arg(9600)->Arg(16384);

}  // namespace
