// Tonality on the hearing model: the whole analysis of 10 s of a tone complex
// in noise, and its three costly stages on the same signal.
#include <benchmark/benchmark.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

#include "core/fft.h"
#include "ecma/auditory_filter.h"
#include "ecma/signal_preparation.h"
#include "ecma/tonality/band_autocorrelation.h"
#include "ecma/tonality/tonal_band_groups.h"
#include "ecma/tonality/tonal_component.h"
#include "audio_rate.h"
#include "varnholt.h"

namespace {

constexpr std::size_t SECONDS = 10;
constexpr std::size_t SAMPLES = SECONDS * 48000;

// Five harmonics of 220 Hz at about 60 dB each in white noise at about 50 dB.
std::vector<double> tone_complex_in_noise() {
  std::vector<double> x(SAMPLES);
  std::uint64_t state = 12345;
  for (std::size_t i = 0; i < SAMPLES; ++i) {
    const double t = static_cast<double>(i) / 48000.0;
    double v = 0.0;
    for (int h = 1; h <= 5; ++h) v += 0.02828 * std::sin(2.0 * 3.141592653589793 * 220.0 * h * t);
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    const double uniform = static_cast<double>(state >> 11) * 0x1.0p-53 * 2.0 - 1.0;
    x[i] = v + 0.0109 * uniform;  // uniform noise of RMS 0.0063 Pa
  }
  return x;
}

std::vector<double> prepared_signal() {
  const std::vector<double> x = tone_complex_in_noise();
  std::vector<double> prepared;
  (void)varnholt::ecma_prepare_signal(x.data(), x.size(), varnholt::TONAL_LEAD,
                                      varnholt::TONAL_PADDING_HOP, true, VH_SOUND_FIELD_FREE,
                                      prepared);
  return prepared;
}

void BM_EcmaTonalAnalysis(benchmark::State& state) {
  const std::vector<double> x = tone_complex_in_noise();
  std::size_t frames = 0;
  vh_ecma_tonal_frame_count(x.size(), VH_SAMPLE_RATE, &frames);
  std::vector<double> out(265 * frames);
  for (auto _ : state) {
    benchmark::DoNotOptimize(vh_ecma_tonal_analysis(x.data(), x.size(), VH_SAMPLE_RATE,
                                                    VH_SOUND_FIELD_FREE, out.data(), out.size(),
                                                    &frames));
  }
  report_audio_rate(state, SECONDS);
}
BENCHMARK(BM_EcmaTonalAnalysis)->Unit(benchmark::kMillisecond);

// One auditory-filter pass over the prepared signal (the analysis makes 61).
void BM_EcmaAuditoryFilterPass(benchmark::State& state) {
  const std::vector<double> prepared = prepared_signal();
  std::vector<double> band(prepared.size());
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        varnholt::ecma_auditory_filter(prepared.data(), prepared.size(), 30, band.data()));
  }
  report_audio_rate(state, SECONDS);
}
BENCHMARK(BM_EcmaAuditoryFilterPass)->Unit(benchmark::kMillisecond);

// Block autocorrelations of one band of group K (the analysis works 5, 17,
// 11 and 28 bands in groups 0..3).
void BM_EcmaBlockAutocorrelation(benchmark::State& state) {
  using namespace varnholt;
  const TonalBandGroup& group = TONAL_BAND_GROUPS[static_cast<std::size_t>(state.range(0))];
  const std::vector<double> prepared = prepared_signal();
  std::vector<double> band(prepared.size());
  (void)ecma_auditory_filter(prepared.data(), prepared.size(), group.first_result_band, band.data());
  const std::size_t length = group.block_length;
  const std::size_t blocks = static_cast<std::size_t>(tonal_block_count(prepared.size(), group));
  const std::size_t lags = tonal_lags_kept(group);
  RealFft plan;
  (void)RealFft::create(2 * length, plan);
  std::vector<std::complex<double>> spectrum(length + 1);
  std::vector<double> scratch(2 * length), forward(length + 1), backward(length + 1);
  std::vector<double> rows(blocks * lags);
  const AcfWorkspace work{&plan, spectrum.data(), scratch.data(), forward.data(), backward.data()};
  for (auto _ : state) {
    benchmark::DoNotOptimize(ecma_tonal_band_acf(band.data(), group.first_result_band, length,
                                                 blocks, lags, work, rows.data()));
  }
  report_audio_rate(state, SECONDS);
}
BENCHMARK(BM_EcmaBlockAutocorrelation)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// Lag spectra of one result band of group K over all its blocks (3, 13, 9
// and 28 result bands in groups 0..3).
void BM_EcmaLagSpectra(benchmark::State& state) {
  using namespace varnholt;
  const TonalBandGroup& group = TONAL_BAND_GROUPS[static_cast<std::size_t>(state.range(0))];
  const std::size_t band_index = group.first_result_band + 1;
  const std::vector<double> prepared = prepared_signal();
  const std::size_t blocks = static_cast<std::size_t>(tonal_block_count(prepared.size(), group));
  const std::size_t lags = tonal_lags_kept(group);
  std::vector<double> averaged(blocks * lags);
  for (std::size_t i = 0; i < averaged.size(); ++i) {
    averaged[i] = 0.5 + 0.4 * std::cos(0.07 * static_cast<double>(i % lags));
  }
  RealFft plan;
  (void)RealFft::create(TONAL_LAG_SPECTRUM_LENGTH, plan);
  std::vector<std::complex<double>> spectrum(TONAL_LAG_SPECTRUM_LENGTH / 2 + 1);
  std::vector<double> scratch(TONAL_LAG_SPECTRUM_LENGTH), series(3 * blocks);
  const LagSpectrumWorkspace work{&plan, spectrum.data(), scratch.data()};
  const TonalBlockSeries out{series.data(), series.data() + blocks, series.data() + 2 * blocks};
  for (auto _ : state) {
    benchmark::DoNotOptimize(tonal_block_series(averaged.data(), band_index, blocks, lags, work, out));
  }
  report_audio_rate(state, SECONDS);
}
BENCHMARK(BM_EcmaLagSpectra)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace
