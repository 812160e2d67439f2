// The stages of roughness after Daniel and Weber: hearing tables, modulation
// weights, excitation of a tone, channel shares and the stream's statuses.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <numeric>
#include <vector>

#include "core/fft.h"
#include "shorttime/roughness_dw/critical_band_tables.h"
#include "shorttime/roughness_dw/dw_channel_modulation.h"
#include "shorttime/roughness_dw/dw_excitation.h"
#include "shorttime/roughness_dw/dw_modulation_weights.h"
#include "shorttime/roughness_dw/dw_roughness.h"
#include "shorttime/roughness_dw/dw_roughness_stream.h"
#include "shorttime/roughness_dw/dw_summation.h"
#include "support/compare.h"
#include "support/signals.h"

namespace varnholt {
namespace {

using test::SENTINEL;

constexpr int N = 9600;
constexpr double FS = 48000.0;
// Table interpolation and short sums: a few ulps of values of order 1-100.
constexpr double TABLE_ROUNDOFF = 1e-12;
// A line measured through a 9600-point FFT of a Blackman-windowed sine: the
// window's spectral leakage from the negative-frequency line is below 1e-6 dB.
constexpr double LINE_LEVEL_TOLERANCE_DB = 1e-6;

std::size_t at(int i) { return static_cast<std::size_t>(i); }

TEST(DwInterpClamped, ClampsInterpolatesAndFallsBackOnNan) {
  const double xs[] = {0.0, 1.0, 3.0};
  const double ys[] = {10.0, 20.0, -20.0};
  EXPECT_EQ(interp_clamped(xs, ys, 3, -5.0), 10.0);
  EXPECT_EQ(interp_clamped(xs, ys, 3, 0.0), 10.0);
  EXPECT_EQ(interp_clamped(xs, ys, 3, 1.0), 20.0);
  EXPECT_EQ(interp_clamped(xs, ys, 3, 0.25), 12.5);
  EXPECT_EQ(interp_clamped(xs, ys, 3, 2.0), 0.0);
  EXPECT_EQ(interp_clamped(xs, ys, 3, 3.0), -20.0);
  EXPECT_EQ(interp_clamped(xs, ys, 3, 1e300), -20.0);
  EXPECT_EQ(interp_clamped(xs, ys, 3, std::nan("")), -20.0);
}

TEST(DwHearingTables, KnownPoints) {
  EXPECT_EQ(bark_of_frequency(1000.0), 8.5);
  EXPECT_NEAR(bark_of_frequency(1040.0), 8.75, TABLE_ROUNDOFF);
  EXPECT_EQ(bark_of_frequency(25000.0), 24.5);
  EXPECT_EQ(frequency_of_half_bark_row(1), 50.0);
  EXPECT_EQ(frequency_of_half_bark_row(47), 13500.0);
  EXPECT_EQ(threshold_in_quiet_db(-1.0), 130.0);
  EXPECT_EQ(threshold_in_quiet_db(25.5), 130.0);
  EXPECT_EQ(threshold_in_quiet_db(std::nan("")), 130.0);
  EXPECT_NEAR(threshold_in_quiet_db(16.5), -3.85, TABLE_ROUNDOFF);
  EXPECT_EQ(outer_ear_gain_db(-1.0), 0.0);
  EXPECT_EQ(outer_ear_gain_db(27.0), -999.0);
  EXPECT_NEAR(outer_ear_gain_db(16.5), 7.38, TABLE_ROUNDOFF);
}

TEST(DwSpectrumTables, FrameLayoutAndCalibration) {
  const DwSpectrumTables t = make_spectrum_tables(N, FS);
  EXPECT_EQ(t.hop, 4800);
  EXPECT_EQ(t.kmin, 4);
  EXPECT_EQ(t.kmax, 4000);
  EXPECT_EQ(t.analysed_bins(), 3997);
  // The cosines of a periodic window sum to zero over the period: S = 0.42 N.
  const double sum = std::accumulate(t.window.begin(), t.window.end(), 0.0);
  EXPECT_NEAR(sum, 0.42 * N, 1e-9);
  EXPECT_NEAR(t.scale * std::sqrt(2.0) * 0.00002 * 0.42 * N, 2.0, 1e-12);
  EXPECT_EQ(t.bark[200], 8.5);
  EXPECT_EQ(t.bark[3], 0.0);
  EXPECT_EQ(t.gain[3], 1.0);
  // Channel thresholds are those of the centre bins (50 Hz ... 13.5 kHz).
  EXPECT_EQ(t.channel_threshold[0], t.threshold[at(10 - t.kmin)]);
  EXPECT_EQ(t.channel_threshold[46], t.threshold[at(2700 - t.kmin)]);
  EXPECT_NEAR(t.channel_threshold[16], threshold_in_quiet_db(8.5), TABLE_ROUNDOFF);
}

TEST(DwModulationWeights, BandsOfTheFiveCurves) {
  const std::vector<double> rows = modulation_weight_rows(N, FS);
  ASSERT_EQ(rows.size(), at(N) * DW_CHANNEL_COUNT);
  // Last weighted bin of each channel (5 Hz per bin).
  auto last_bin = [](int q) { return q <= 3 ? 70 : q <= 14 ? 99 : 128; };
  for (int q = 0; q < DW_CHANNEL_COUNT; ++q) {
    const double* row = rows.data() + at(q) * at(N);
    EXPECT_EQ(row[0], 0.0);
    EXPECT_EQ(row[1], 0.0);
    EXPECT_GT(row[2], 0.0) << q;
    EXPECT_GT(row[last_bin(q)], 0.0) << q;
    for (int b = last_bin(q) + 1; b < N; ++b) ASSERT_EQ(row[b], 0.0) << q << " " << b;
  }
  // 70 Hz in channel 16 (8.5 Bark) lies between 63 Hz/0.95 and 79 Hz/1.
  EXPECT_NEAR(rows[at(16) * at(N) + 14], 0.95 + 7.0 / 16.0 * 0.05, TABLE_ROUNDOFF);
  EXPECT_EQ(rows[at(16) * at(N) + 14], rows[at(19) * at(N) + 14]);
}

TEST(DwModulationWeights, CriticalBandWeightsBoundTheRoughness) {
  const std::vector<double> g = channel_weights();
  EXPECT_NEAR(g[0], 0.5 * (0.15 + 0.26), TABLE_ROUNDOFF);
  EXPECT_EQ(g[19], 0.98);
  EXPECT_NEAR(std::accumulate(g.begin(), g.end(), 0.0), 26.565, TABLE_ROUNDOFF);
}

// One frame of a 1 kHz tone: its main-lobe lines are audible, the line at
// bin 200 carries the tone's level, and the excitation follows both slopes.
TEST(DwExcitation, ToneAtOneKilohertz) {
  const DwSpectrumTables t = make_spectrum_tables(N, FS);
  ComplexFft fft;
  ASSERT_EQ(ComplexFft::create(N, fft), FftStatus::ok);
  const std::vector<double> tone = test::sine(1000.0, 60.0, N);
  std::vector<std::complex<double>> spectrum(at(N));
  windowed_spectrum(tone.data(), t, fft, spectrum.data());
  DwFrameExcitation frame(t);
  ASSERT_TRUE(find_audible_components(spectrum.data(), t, frame));
  spread_excitation(t, frame);

  // The Blackman main lobe spans bins 197 ... 203.
  ASSERT_EQ(frame.component_count, 5);
  EXPECT_EQ(frame.component_bin[0], 198);
  EXPECT_EQ(frame.component_bin[2], 200);
  const double level = frame.level[at(200 - t.kmin)];
  EXPECT_NEAR(level, 60.0, LINE_LEVEL_TOLERANCE_DB);  // a0 is 0 dB at 8.5 Bark
  EXPECT_NEAR(frame.upper_slope[2], -24.0 - 0.23 + 0.2 * level, TABLE_ROUNDOFF);
  EXPECT_EQ(frame.lower_channel[2], 17);
  EXPECT_EQ(frame.upper_channel[2], 17);
  // At its own channel the line keeps its level; 1 Bark lower it lost 27 dB,
  // 1 Bark higher 12.23 dB.
  EXPECT_NEAR(20.0 * std::log10(frame.excitation_at(2, 16)), level, TABLE_ROUNDOFF);
  EXPECT_NEAR(20.0 * std::log10(frame.excitation_at(2, 14)), level - 27.0, 1e-9);
  EXPECT_NEAR(20.0 * std::log10(frame.excitation_at(2, 18)), level + frame.upper_slope[2], 1e-9);
  // Far below, the excitation drops under the threshold in quiet.
  EXPECT_EQ(frame.excitation_at(2, 0), 0.0);
}

// The frame spectrum against a direct long-double DFT of the windowed,
// scaled frame at a few bins.
TEST(DwExcitation, FrameSpectrumMatchesADirectTransform) {
  const DwSpectrumTables t = make_spectrum_tables(N, FS);
  ComplexFft fft;
  ASSERT_EQ(ComplexFft::create(N, fft), FftStatus::ok);
  const std::vector<double> x = test::pink_noise(65.0, at(N), 11);
  std::vector<std::complex<double>> spectrum(at(N));
  windowed_spectrum(x.data(), t, fft, spectrum.data());
  for (int k : {4, 137, 200, 2500, 4000}) {
    std::complex<long double> sum = 0.0L;
    for (int i = 0; i < N; ++i) {
      const long double phase = -2.0L * std::numbers::pi_v<long double> * k * i / N;
      const long double value = static_cast<long double>(t.scale) * t.window[at(i)] * x[at(i)];
      sum += value * std::complex<long double>(std::cos(phase), std::sin(phase));
    }
    // FFT round-off relative to the frame's total magnitude (sum of |values|, about 1e3).
    EXPECT_NEAR(spectrum[at(k)].real(), static_cast<double>(sum.real()), 1e-9) << k;
    EXPECT_NEAR(spectrum[at(k)].imag(), static_cast<double>(sum.imag()), 1e-9) << k;
  }
}

TEST(DwExcitation, SilenceHasNoComponentsAndOverflowIsReported) {
  const DwSpectrumTables t = make_spectrum_tables(N, FS);
  ComplexFft fft;
  ASSERT_EQ(ComplexFft::create(N, fft), FftStatus::ok);
  std::vector<std::complex<double>> spectrum(at(N));
  DwFrameExcitation frame(t);
  const std::vector<double> silent(at(N), 0.0);
  windowed_spectrum(silent.data(), t, fft, spectrum.data());
  ASSERT_TRUE(find_audible_components(spectrum.data(), t, frame));
  EXPECT_EQ(frame.component_count, 0);
  EXPECT_EQ(frame.level[100], -400.0);

  const std::vector<double> huge(at(N), 1e300);
  windowed_spectrum(huge.data(), t, fft, spectrum.data());
  spectrum[500] = {1e300, 1e300};
  EXPECT_FALSE(find_audible_components(spectrum.data(), t, frame));
}

// One line between channels 10 and 11 (numbers, from 1) with excitation
// values that name their channel.
DwFrameExcitation one_line(const DwSpectrumTables& t, int lo, int hi, double magnitude) {
  DwFrameExcitation frame(t);
  frame.component_count = 1;
  frame.component_bin[0] = 200;
  frame.component_magnitude[0] = magnitude;
  frame.lower_channel[0] = lo;
  frame.upper_channel[0] = hi;
  for (int q = 0; q < DW_CHANNEL_COUNT; ++q) frame.excitation[at(q)] = 100.0 + q;
  return frame;
}

TEST(DwChannelShare, NeighbourExcitationRule) {
  const DwSpectrumTables t = make_spectrum_tables(N, FS);
  const DwFrameExcitation frame = one_line(t, 10, 11, 2.0);
  EXPECT_EQ(component_share(frame, 0, 9), 1.0);                  // channel number 10
  EXPECT_EQ(component_share(frame, 0, 10), 1.0);                 // channel number 11
  EXPECT_EQ(component_share(frame, 0, 11), (100.0 + 10) / 2.0);  // above: lower neighbour
  EXPECT_EQ(component_share(frame, 0, 46), (100.0 + 45) / 2.0);
  EXPECT_EQ(component_share(frame, 0, 8), (100.0 + 9) / 2.0);  // below: upper neighbour
  EXPECT_EQ(component_share(frame, 0, 0), (100.0 + 1) / 2.0);
  // A line above the last channel centre: channel 46 takes channel 45's excitation.
  const DwFrameExcitation high = one_line(t, 48, 49, 4.0);
  EXPECT_EQ(component_share(high, 0, 46), (100.0 + 45) / 4.0);
  // A line of zero magnitude shares nothing beyond its own channels.
  const DwFrameExcitation empty = one_line(t, 10, 11, 0.0);
  EXPECT_EQ(component_share(empty, 0, 11), 0.0);
  EXPECT_EQ(component_share(empty, 0, 10), 1.0);
}

TEST(DwSummation, AConstantEnvelopeDoesNotCorrelate) {
  // Channels 4, 6 and 8 (curve M2) are one Bark apart. Channel 4 carries a
  // flat envelope with rounding noise in its last bit, as the transforms
  // leave it for a channel reached by one spectral line; 6 and 8 are
  // modulated at 70 Hz in opposite phase. Every other channel is silent.
  RealFft fft;
  ASSERT_EQ(RealFft::create(N, fft), FftStatus::ok);
  const std::vector<double> weights = modulation_weight_rows(N, FS);
  DwChannelWork work(N);
  test::Prng noise(11);
  std::vector<double> rectified(N);
  for (int q = 0; q < DW_CHANNEL_COUNT; ++q) {
    for (int i = 0; i < N; ++i) {
      const double modulation = 0.5 * std::sin(2.0 * std::numbers::pi * 70.0 * i / FS);
      const double last_bit = noise.next_uniform() > 0.0 ? 0x1p-52 : 0.0;
      rectified[at(i)] = q == 4   ? 1.0 + last_bit
                         : q == 6 ? 1.0 + modulation
                         : q == 8 ? 1.0 - modulation
                                  : 0.0;
    }
    ASSERT_TRUE(analyse_envelope(rectified.data(), weights.data() + at(q) * N, N, q, fft, work));
  }
  // The flat envelope's noise is far below real modulation but not zero, so
  // without the rule it would correlate by chance.
  EXPECT_GT(work.depth[4], 0.0);
  EXPECT_LT(work.depth[4], DW_CONSTANT_ENVELOPE_DEPTH);
  EXPECT_TRUE(work.constant[4]);
  EXPECT_FALSE(work.constant[6]);
  EXPECT_TRUE(work.constant[5]);  // silent

  DwCorrelations k{};
  ASSERT_TRUE(envelope_correlations(work, N, k));
  EXPECT_EQ(k[4], 0.0);
  // Modulation in opposite phase keeps its sign.
  EXPECT_NEAR(k[6], -1.0, TABLE_ROUNDOFF);

  // Only channels 6 and 8 remain, each held down by its constant or silent
  // neighbour on the far side: the frame is exactly smooth.
  double roughness = -1.0;
  ASSERT_TRUE(sum_roughness(work, k, channel_weights(), &roughness));
  EXPECT_EQ(roughness, 0.0);

  // Two modulated envelopes in phase correlate fully.
  for (int i = 0; i < N; ++i) {
    rectified[at(i)] = 1.0 + 0.5 * std::sin(2.0 * std::numbers::pi * 70.0 * i / FS);
  }
  ASSERT_TRUE(analyse_envelope(rectified.data(), weights.data() + 4 * N, N, 4, fft, work));
  ASSERT_TRUE(envelope_correlations(work, N, k));
  EXPECT_NEAR(k[4], 1.0, TABLE_ROUNDOFF);
}

TEST(DwRoughnessStream, FramesFailuresAndTheMinimumLength) {
  DwRoughnessStream short_stream;
  EXPECT_EQ(short_stream.push(std::vector<double>(9599, 0.0)), VH_OK);
  EXPECT_EQ(short_stream.finish(), VH_ERR_INPUT_TOO_SHORT);
  EXPECT_TRUE(short_stream.ready().empty());

  DwRoughnessStream silent;
  EXPECT_EQ(silent.push(std::vector<double>(14400, 0.0)), VH_OK);
  EXPECT_EQ(silent.finish(), VH_OK);
  ASSERT_EQ(silent.ready().size(), 2U);  // never beyond the whole frames
  EXPECT_EQ(silent.ready()[0], 0.0);
  EXPECT_EQ(silent.ready()[1], 0.0);

  // An overflowing spectrum fails the stream for good.
  std::vector<double> huge(14400, 0.0);
  for (std::size_t i = 0; i < huge.size(); i += 7) huge[i] = 1e300;
  DwRoughnessStream failing;
  EXPECT_EQ(failing.push(huge), VH_ERR_NUMERICAL);
  EXPECT_EQ(failing.push(std::vector<double>(9600, 0.0)), VH_ERR_NUMERICAL);
  EXPECT_EQ(failing.finish(), VH_ERR_NUMERICAL);
  EXPECT_TRUE(failing.ready().empty());
}

}  // namespace
}  // namespace varnholt
