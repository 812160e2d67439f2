// Tonality after Aures: the whole call on 10 s of a tone complex in noise, and
// the per-frame stages on one frame of it, to show where the time goes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <vector>

#include "core/fft.h"
#include "loudness/stationary_loudness.h"
#include "shorttime/tonality_aures/aures_analysis.h"
#include "shorttime/tonality_aures/aures_bands.h"
#include "audio_rate.h"
#include "varnholt.h"

namespace {

constexpr double FS = 48000.0;
constexpr std::size_t TEN_SECONDS = 480000;
constexpr int FRAME = 12000;

// Five harmonics of 220 Hz falling 3 dB each from 65 dB SPL, in white noise
// of 50 dB SPL (uniform samples from a fixed linear congruential generator).
std::vector<double> tone_complex_in_noise(std::size_t count) {
  std::vector<double> x(count, 0.0);
  for (int h = 1; h <= 5; ++h) {
    const double amplitude = std::sqrt(2.0) * 2e-5 * std::pow(10.0, (65.0 - 3.0 * (h - 1)) / 20.0);
    const double w = 2.0 * std::numbers::pi * 220.0 * h / FS;
    for (std::size_t i = 0; i < count; ++i) x[i] += amplitude * std::sin(w * static_cast<double>(i));
  }
  // Uniform on [-1, 1) has RMS 1 / sqrt(3).
  const double noise_scale = std::sqrt(3.0) * 2e-5 * std::pow(10.0, 50.0 / 20.0);
  std::uint64_t state = 12345;
  for (std::size_t i = 0; i < count; ++i) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    const double u = static_cast<double>(state >> 11) * 0x1.0p-53 * 2.0 - 1.0;
    x[i] += noise_scale * u;
  }
  return x;
}

void BM_TonalityAures10s(benchmark::State& state) {
  const std::vector<double> x = tone_complex_in_noise(TEN_SECONDS);
  std::vector<double> out(100);
  std::size_t frames = 0;
  for (auto _ : state) {
    const vh_status s = vh_tonality_aures(x.data(), x.size(), VH_SAMPLE_RATE, VH_SOUND_FIELD_FREE,
                                          out.data(), out.size(), &frames);
    if (s != VH_OK) state.SkipWithError("vh_tonality_aures failed");
    benchmark::DoNotOptimize(out.data());
  }
  report_audio_rate(state, static_cast<double>(TEN_SECONDS) / VH_SAMPLE_RATE);
}
BENCHMARK(BM_TonalityAures10s)->Unit(benchmark::kMillisecond);

// One analysis frame of the tone complex: its window, transform plan and
// level spectrum, as the tonality core prepares them.
struct AuresFrame {
  std::vector<double> x = tone_complex_in_noise(FRAME);
  std::vector<double> w = std::vector<double>(FRAME);
  std::vector<double> levels = std::vector<double>(FRAME);
  std::vector<std::complex<double>> spectrum = std::vector<std::complex<double>>(FRAME);
  double a = 0.0;
  varnholt::ComplexFft fft;

  // False when no transform plan could be made.
  bool prepare() {
    varnholt::hann_window(FRAME, w.data());
    a = varnholt::aures_window_sums(w.data(), FRAME).amplitude_scale;
    return varnholt::ComplexFft::create(FRAME, fft) == varnholt::FftStatus::ok;
  }

  // Window, transform and level spectrum of the frame.
  bool level_spectrum() {
    for (std::size_t k = 0; k < FRAME; ++k) spectrum[k] = {a * x[k] * w[k], 0.0};
    fft.forward(spectrum.data(), spectrum.data(), 1.0);
    return varnholt::aures_level_spectrum(spectrum.data(), FRAME, FRAME, levels.data());
  }
};

// One frame: window, 12000-point transform and level spectrum.
void BM_AuresFrameSpectrum(benchmark::State& state) {
  AuresFrame frame;
  if (!frame.prepare()) {
    state.SkipWithError("no plan");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(frame.level_spectrum());
}
BENCHMARK(BM_AuresFrameSpectrum)->Unit(benchmark::kMicrosecond);

// One frame: the narrow-band search on its level spectrum.
void BM_AuresBandSearch(benchmark::State& state) {
  AuresFrame frame;
  if (!frame.prepare()) {
    state.SkipWithError("no plan");
    return;
  }
  frame.level_spectrum();
  const std::vector<double>& levels = frame.levels;
  varnholt::BandSearchRows rows(FRAME / 2 + 1, FS / FRAME);
  varnholt::TonalBand bands[varnholt::AURES_MAX_BANDS];
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        varnholt::aures_find_bands(levels.data(), FRAME / 2 + 1, FS / FRAME, rows, bands));
  }
}
BENCHMARK(BM_AuresBandSearch)->Unit(benchmark::kMicrosecond);

// One frame: third-octave levels and loudness of 12000 samples (done twice
// per frame that holds tonal components).
void BM_AuresBlockLoudness(benchmark::State& state) {
  const std::vector<double> x = tone_complex_in_noise(FRAME);
  double loudness = 0.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        varnholt::block_loudness(x, 600, VH_SOUND_FIELD_FREE, &loudness));
  }
}
BENCHMARK(BM_AuresBlockLoudness)->Unit(benchmark::kMicrosecond);

}  // namespace
