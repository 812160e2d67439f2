// Roughness after Daniel and Weber on 10 s of amplitude-modulated noise: the
// worst case for the channel loop, since every channel carries signal.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "audio_rate.h"
#include "varnholt.h"

namespace {

constexpr std::size_t SECONDS = 10;
constexpr std::size_t COUNT = SECONDS * VH_SAMPLE_RATE;

// White noise of about 74 dB SPL, fully modulated at 70 Hz; SplitMix64 keeps
// the samples the same everywhere.
std::vector<double> modulated_noise() {
  std::vector<double> x(COUNT);
  std::uint64_t state = 12345;
  for (std::size_t i = 0; i < COUNT; ++i) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    const double uniform = static_cast<double>(z >> 11) * 0x1.0p-52 - 1.0;
    const double t = static_cast<double>(i) / VH_SAMPLE_RATE;
    x[i] = 0.2 * uniform * (1.0 + std::sin(2.0 * std::numbers::pi * 70.0 * t));
  }
  return x;
}

void BM_RoughnessDwModulatedNoise(benchmark::State& state) {
  const std::vector<double> x = modulated_noise();
  std::size_t frames = 0;
  if (vh_roughness_frame_count(x.size(), VH_SAMPLE_RATE, &frames) != VH_OK) {
    state.SkipWithError("frame count failed");
    return;
  }
  std::vector<double> roughness(frames);
  for (auto _ : state) {
    const vh_status s = vh_roughness_dw(x.data(), x.size(), VH_SAMPLE_RATE, roughness.data(),
                                        roughness.size(), &frames);
    if (s != VH_OK) {
      state.SkipWithError("roughness failed");
      return;
    }
    benchmark::DoNotOptimize(roughness.data());
  }
  report_audio_rate(state, static_cast<double>(SECONDS));
}
BENCHMARK(BM_RoughnessDwModulatedNoise)->Unit(benchmark::kMillisecond);

}  // namespace
