// Stationary and time-varying loudness, the sound levels and the band levels
// of 10 s of pink-ish noise at 70 dB SPL;
// the counter audio_s_per_cpu_s tells how many seconds of sound one second of
// CPU processes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "audio_rate.h"
#include "varnholt.h"

namespace {

constexpr double DURATION_S = 10.0;
constexpr std::size_t COUNT = static_cast<std::size_t>(DURATION_S * VH_SAMPLE_RATE);

// White noise from SplitMix64 through three leaky integrators with poles
// spread over the audio band, summed: a roughly -3 dB/octave spectrum.
std::vector<double> pinkish_noise(double level_db) {
  std::uint64_t state = 12345;
  double b0 = 0.0;
  double b1 = 0.0;
  double b2 = 0.0;
  std::vector<double> x(COUNT);
  double sum_squares = 0.0;
  for (double& v : x) {
    state += 0x9E3779B97F4A7C15ULL;
    std::uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    const double white = static_cast<double>(z >> 11) * 0x1.0p-52 - 1.0;
    b0 = 0.99765 * b0 + white * 0.0990460;
    b1 = 0.96300 * b1 + white * 0.2965164;
    b2 = 0.57000 * b2 + white * 1.0526913;
    v = b0 + b1 + b2 + white * 0.1848;
    sum_squares += v * v;
  }
  const double gain = 2e-5 * std::pow(10.0, level_db / 20.0) / std::sqrt(sum_squares / static_cast<double>(COUNT));
  for (double& v : x) v *= gain;
  return x;
}

void BM_LoudnessStationary(benchmark::State& state) {
  const std::vector<double> x = pinkish_noise(70.0);
  double loudness = 0.0;
  std::vector<double> specific(240);
  for (auto _ : state) {
    benchmark::DoNotOptimize(vh_loudness_stationary(x.data(), x.size(), VH_SAMPLE_RATE, VH_SOUND_FIELD_FREE,
                                                    &loudness, specific.data(), specific.size()));
  }
  report_audio_rate(state, DURATION_S);
}
BENCHMARK(BM_LoudnessStationary)->Unit(benchmark::kMillisecond);

void BM_LoudnessTime(benchmark::State& state) {
  const std::vector<double> x = pinkish_noise(70.0);
  std::size_t frames = 0;
  vh_loudness_time_frame_count(x.size(), VH_SAMPLE_RATE, &frames);
  std::vector<double> loudness(frames);
  std::vector<double> specific(frames * 240);
  for (auto _ : state) {
    benchmark::DoNotOptimize(vh_loudness_time(x.data(), x.size(), VH_SAMPLE_RATE, VH_SOUND_FIELD_FREE,
                                              loudness.data(), loudness.size(), specific.data(),
                                              specific.size(), &frames));
  }
  report_audio_rate(state, DURATION_S);
}
BENCHMARK(BM_LoudnessTime)->Unit(benchmark::kMillisecond);

void BM_SoundLevels(benchmark::State& state) {
  const std::vector<double> x = pinkish_noise(70.0);
  std::vector<double> levels(VH_SOUND_LEVEL_COUNT);
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        vh_sound_levels(x.data(), x.size(), VH_SAMPLE_RATE, levels.data(), levels.size()));
  }
  report_audio_rate(state, DURATION_S);
}
BENCHMARK(BM_SoundLevels)->Unit(benchmark::kMillisecond);

void BM_ThirdOctaveLevels(benchmark::State& state) {
  const std::vector<double> x = pinkish_noise(70.0);
  std::vector<double> levels(VH_THIRD_OCTAVE_COUNT);
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        vh_third_octave_levels(x.data(), x.size(), VH_SAMPLE_RATE, levels.data(), levels.size()));
  }
  report_audio_rate(state, DURATION_S);
}
BENCHMARK(BM_ThirdOctaveLevels)->Unit(benchmark::kMillisecond);

}  // namespace
