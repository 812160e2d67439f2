// Hearing-model roughness of 10 s of amplitude-modulated noise, whole and by
// stage: the auditory filter of one band, the envelope spectra of one band
// over all blocks, and the block-wide weighting with the band roughness of
// one block.
//
// Where the time goes (10 s: 53 bands x 119 blocks, profiled with perf on the
// 2-core development machine): the FFTs take about 53 % (per band and block
// one real transform of 16384 points, folded onto 512 bins, one 512-point
// inverse and the real 512-point modulation spectrum), the 53 auditory
// filters, run in pairs, about 20 % plus 5 % for the page faults of their
// first writes to the band-signal store, the fold and envelope magnitudes
// about 4 %, moving the band signals' history to the front of the store 3 %,
// the outer and middle ear filter 2.5 %, the positive half-wave energies
// (once per block hop) under 2 %, the weighting, band roughness and output
// stage the rest.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "ecma/auditory_filter.h"
#include "ecma/band_scale.h"
#include "ecma/roughness/envelope_analysis.h"
#include "ecma/roughness/modulation_weighting.h"
#include "ecma/roughness/roughness_grid.h"
#include "ecma/signal_preparation.h"
#include "audio_rate.h"
#include "varnholt.h"

namespace {

constexpr std::size_t TEN_SECONDS = 480000;
constexpr double AUDIO_SECONDS = 10.0;

// White noise of about 70 dB SPL, fully amplitude-modulated at 70 Hz, from a
// small fixed generator (SplitMix64).
std::vector<double> modulated_noise() {
  std::vector<double> x(TEN_SECONDS);
  std::uint64_t state = 1;
  const double peak = 0.0632 * std::sqrt(3.0);  // uniform noise of 63 mPa RMS
  for (std::size_t i = 0; i < x.size(); ++i) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    const double uniform = static_cast<double>(z >> 11) * 0x1.0p-52 - 1.0;
    const double t = static_cast<double>(i) / 48000.0;
    x[i] = peak * uniform * (1.0 + std::sin(2.0 * std::numbers::pi * 70.0 * t));
  }
  return x;
}

std::vector<double> prepared_noise() {
  const std::vector<double> x = modulated_noise();
  std::vector<double> prepared;
  if (varnholt::ecma_prepare_signal(x.data(), x.size(), varnholt::ECMA_ROUGHNESS_BLOCK_LENGTH,
                                    varnholt::ECMA_ROUGHNESS_BLOCK_HOP, false, VH_SOUND_FIELD_FREE,
                                    prepared) != VH_OK) {
    prepared.clear();
  }
  return prepared;
}

void BM_RoughnessEcma(benchmark::State& state) {
  const std::vector<double> x = modulated_noise();
  std::size_t frames = 0;
  vh_ecma_roughness_frame_count(x.size(), VH_SAMPLE_RATE, &frames);
  std::vector<double> out(53 * frames);
  for (auto _ : state) {
    benchmark::DoNotOptimize(vh_roughness_ecma(
        x.data(), x.size(), VH_SAMPLE_RATE, VH_SOUND_FIELD_FREE, out.data(), out.size(), &frames));
    benchmark::ClobberMemory();
  }
  report_audio_rate(state, AUDIO_SECONDS);
}
BENCHMARK(BM_RoughnessEcma)->Unit(benchmark::kMillisecond);

void BM_EcmaRoughnessAuditoryFilterOneBand(benchmark::State& state) {
  const std::vector<double> prepared = prepared_noise();
  std::vector<double> band(prepared.size());
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        varnholt::ecma_auditory_filter(prepared.data(), prepared.size(), 17, band.data()));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_EcmaRoughnessAuditoryFilterOneBand)->Unit(benchmark::kMillisecond);

void BM_EcmaRoughnessEnvelopeSpectraOneBand(benchmark::State& state) {
  const std::vector<double> prepared = prepared_noise();
  std::vector<double> band(prepared.size());
  varnholt::ecma_auditory_filter(prepared.data(), prepared.size(), 17, band.data());
  const std::uint64_t blocks = varnholt::ecma_roughness_block_total(TEN_SECONDS);
  std::vector<double> loudness(blocks * 53);
  std::vector<double> spectra(blocks * 53 * 257);
  varnholt::EnvelopeAnalysis analysis;
  if (analysis.create() != VH_OK) {
    state.SkipWithError("FFT plans could not be made");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        analysis.analyse_band(band.data(), TEN_SECONDS, 17, loudness.data(), spectra.data()));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_EcmaRoughnessEnvelopeSpectraOneBand)->Unit(benchmark::kMillisecond);

void BM_EcmaRoughnessWeightingOneBlock(benchmark::State& state) {
  // Spectra with a 70 Hz peak and its harmonics over a noise floor in every
  // band, and equal loudness: every band takes the full peak search.
  std::vector<double> spectra(53 * 257);
  std::uint64_t seed = 7;
  for (std::size_t i = 0; i < spectra.size(); ++i) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    const std::size_t m = i % 257;
    const double floor = 0.01 * static_cast<double>(seed >> 40) / 16777216.0;
    spectra[i] = floor + (m == 24 || m == 48 ? 1.0 : 0.0) + (m == 23 || m == 25 ? 0.4 : 0.0);
  }
  const std::vector<double> loudness(53, 1.0);
  std::vector<double> roughness(53);
  varnholt::BlockWeighting weighting;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        weighting.block_roughness(spectra.data(), loudness.data(), roughness.data()));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_EcmaRoughnessWeightingOneBlock)->Unit(benchmark::kMicrosecond);

}  // namespace
