// Frame analysis, peak picking and the removal of components from a spectrum.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <vector>

#include "aures_frame_fixture.h"
#include "shorttime/tonality_aures/aures_analysis.h"
#include "shorttime/tonality_aures/aures_components.h"
#include "shorttime/tonality_aures/aures_peaks.h"
#include "shorttime/tonality_aures/aures_residual.h"
#include "support/compare.h"
#include "support/signals.h"

namespace varnholt {
namespace {

using test::analyse_frame;
using test::sine;

constexpr int N = 12000;
constexpr std::size_t SIZE = 12000;

// Leakage of the Hann window from the mirrored negative frequency and
// round-off of a 12000-point transform: far below a thousandth of a dB.
constexpr double BIN_LEVEL_TOLERANCE_DB = 1e-6;
// Sums of 12000 window values of order 1.
constexpr double WINDOW_SUM_TOLERANCE = 1e-9;

TEST(AuresAnalysis, ConstantsAt48kHz) {
  const AuresAnalysis c = aures_analysis_constants(48000.0);
  EXPECT_EQ(c.frame_length, 12000);
  EXPECT_EQ(c.hop, 6000);
  EXPECT_EQ(c.bin_spacing, 4.0);
  EXPECT_EQ(c.first_bin, 5);
  EXPECT_EQ(c.last_bin, 1250);
  EXPECT_EQ(c.bin_count, 1246);
  EXPECT_EQ(c.near_distance, 6);
  EXPECT_EQ(c.far_distance, 9);
}

TEST(AuresAnalysis, HannWindowIsSymmetricAndItsSumsMatchTheClosedForms) {
  std::vector<double> w(N);
  hann_window(N, w.data());
  EXPECT_EQ(w[0], 0.0);
  EXPECT_NEAR(w[N - 1], 0.0, 1e-15);
  for (std::size_t i = 0; i < SIZE / 2; ++i) ASSERT_NEAR(w[i], w[SIZE - 1 - i], 1e-15) << i;
  const WindowSums s = aures_window_sums(w.data(), N);
  // Symmetric Hann of length N: sum (N - 1) / 2, sum of squares 3 (N - 1) / 8,
  // so the noise bandwidth is 1.5 N / (N - 1) bins.
  const double sum = (N - 1) / 2.0;
  const double squares = 3.0 * (N - 1) / 8.0;
  EXPECT_NEAR(s.coherent_gain, sum, WINDOW_SUM_TOLERANCE * sum);
  EXPECT_NEAR(s.mean, sum / N, WINDOW_SUM_TOLERANCE);
  EXPECT_NEAR(s.amplitude_scale, std::sqrt(2.0) / sum, WINDOW_SUM_TOLERANCE / sum);
  EXPECT_NEAR(s.noise_bandwidth, squares * N / (sum * sum), WINDOW_SUM_TOLERANCE);
  EXPECT_NEAR(s.noise_bandwidth, 1.500125, 1e-6);

  double single = -1.0;
  hann_window(1, &single);
  EXPECT_EQ(single, 1.0);
}

TEST(AuresAnalysis, CriticalBandRateFollowsZwickerAndTerhardt) {
  EXPECT_EQ(bark_from_hz(0.0), 0.0);
  // Published: about 8.5 Bark at 1 kHz and 24 Bark near 15.5 kHz.
  EXPECT_NEAR(bark_from_hz(1000.0), 8.51, 0.01);
  EXPECT_NEAR(bark_from_hz(15500.0), 24.0, 0.1);
  double previous = -1.0;
  for (double f = 0.0; f <= 24000.0; f += 4.0) {
    const double z = bark_from_hz(f);
    ASSERT_GT(z, previous) << f;
    previous = z;
  }
}

TEST(AuresLevelSpectrum, ASineAtABinReadsItsLevelAndSilenceItsFloor) {
  const auto a = analyse_frame(sine(1000.0, 60.0, N));
  EXPECT_NEAR(a.levels[250], 60.0, BIN_LEVEL_TOLERANCE_DB);
  // The upper half mirrors the lower one.
  EXPECT_NEAR(a.levels[N - 250], 60.0, BIN_LEVEL_TOLERANCE_DB);
  // The two Hann neighbours carry half the amplitude each: -6.02 dB (the
  // symmetric window's period of N - 1 samples shifts that by 0.001 dB).
  EXPECT_NEAR(a.levels[249], 60.0 + 20.0 * std::log10(0.5), 0.01);

  const auto silent = analyse_frame(std::vector<double>(N, 0.0));
  const double floor_db = 10.0 * std::log10(1e-99 / 4e-10);
  for (double l : silent.levels) ASSERT_EQ(l, floor_db);
  EXPECT_NEAR(floor_db, -896.02, 0.01);
}

TEST(AuresLevelSpectrum, ANonFinitePowerIsReported) {
  std::vector<std::complex<double>> x(4, {1.0, 0.0});
  std::vector<double> levels(4, test::SENTINEL);
  EXPECT_TRUE(aures_level_spectrum(x.data(), 4, 4, levels.data()));
  x[2] = {1e200, 0.0};
  EXPECT_FALSE(aures_level_spectrum(x.data(), 4, 4, levels.data()));
}

struct PeakRun {
  int count;
  TonalComponentTable table{1246};
};

PeakRun find_peaks(const std::vector<double>& levels, const std::vector<TonalBand>& excluded = {}) {
  const AuresAnalysis c = aures_analysis_constants(48000.0);
  PeakRun run{0};
  run.count = aures_find_peaks(levels.data(), c.frame_length, c.first_bin, c.bin_count,
                               c.near_distance, c.far_distance, excluded.data(),
                               static_cast<int>(excluded.size()), 48000.0, run.table);
  return run;
}

TEST(AuresPeaks, APureToneGivesOnePeakAtItsBinWithAFewBinsOfBandwidth) {
  const auto a = analyse_frame(sine(1000.0, 60.0, N));
  PeakRun run = find_peaks(a.levels);
  ASSERT_EQ(run.count, 1);
  EXPECT_EQ(run.table.bins()[0], 250);
  EXPECT_EQ(run.table.frequencies()[0], 1000.0);
  EXPECT_NEAR(run.table.levels()[0], 60.0, BIN_LEVEL_TOLERANCE_DB);
  ASSERT_EQ(aures_peak_bandwidth(a.levels.data(), N, 48000.0, run.table, 1), 0);
  // Interpolated linearly in dB towards the -6 dB neighbours, the -3 dB
  // points lie about half a bin either side: one bin, 4 Hz.
  EXPECT_NEAR(run.table.bandwidths()[0], 4.0, 0.05);
}

TEST(AuresPeaks, TonesOutsideTheRangeQuietOnesAndThoseInABandAreNotPicked) {
  // 32 Hz (bin 8, below the far neighbour distance) and 5.2 kHz (above the
  // range), both loud.
  std::vector<double> x = sine(32.0, 70.0, N);
  const std::vector<double> high = sine(5200.0, 70.0, N);
  for (std::size_t k = 0; k < SIZE; ++k) x[k] += high[k];
  EXPECT_EQ(find_peaks(analyse_frame(x).levels).count, 0);

  // Standing out of silence is not enough: the level must be above 0 dB.
  EXPECT_EQ(find_peaks(analyse_frame(sine(1000.0, -3.0, N)).levels).count, 0);
  EXPECT_EQ(find_peaks(analyse_frame(sine(1000.0, 3.0, N)).levels).count, 1);

  // Inside an accepted band (bins 248..252) the peak belongs to the band.
  const auto a = analyse_frame(sine(1000.0, 60.0, N));
  EXPECT_EQ(find_peaks(a.levels, {TonalBand{248, 252, 1000.0, 10.0, 60.0, 0.0, 0.0}}).count, 0);
  EXPECT_EQ(find_peaks(a.levels, {TonalBand{251, 260, 1000.0, 10.0, 60.0, 0.0, 0.0}}).count, 1);
}

TEST(AuresPeaks, OfAFlatTopTheLeftBinIsTaken) {
  std::vector<double> levels(N, -20.0);
  levels[400] = 40.0;
  levels[401] = 40.0;
  PeakRun run = find_peaks(levels);
  ASSERT_EQ(run.count, 1);
  EXPECT_EQ(run.table.bins()[0], 400);
}

TEST(AuresPeakBandwidth, InterpolatesTheThresholdLinearlyInDecibels) {
  // A triangle falling 2 dB per bin: the -3 dB points lie 1.5 bins either side.
  std::vector<double> levels(N, -50.0);
  for (std::size_t k = 480; k <= 520; ++k) {
    levels[k] = 60.0 - 2.0 * std::abs(static_cast<double>(k) - 500.0);
  }
  PeakRun run = find_peaks(levels);
  ASSERT_EQ(run.count, 1);
  ASSERT_EQ(aures_peak_bandwidth(levels.data(), N, 48000.0, run.table, 1), 0);
  EXPECT_NEAR(run.table.bandwidths()[0], 3.0 * 4.0, 1e-9);
}

TEST(AuresPeakBandwidth, AnUnmeasurableWidthFails) {
  // Nothing below the threshold on the lower side: the crossing is taken at
  // bins 3 and 4, which hold the same level, so no edge can be found.
  std::vector<double> levels(N, 60.0);
  levels[100] = 61.0;
  TonalComponentTable table(4);
  ASSERT_TRUE(table.append(TonalComponent{400.0, 61.0, 0.0, 0.0, 100, 0.0}));
  EXPECT_EQ(aures_peak_bandwidth(levels.data(), N, 48000.0, table, 1), -1);
}

double magnitude(const std::complex<double>& x) { return std::hypot(x.real(), x.imag()); }

TEST(AuresFlattenPeaks, ThePeakTakesItsNeighboursMeanAndKeepsItsPhase) {
  std::vector<std::complex<double>> b(N);
  for (std::size_t k = 0; k < SIZE; ++k) {
    b[k] = std::polar(1.0 + 0.001 * static_cast<double>(k), 0.01 * static_cast<double>(k));
  }
  for (std::size_t k = 248; k <= 252; ++k) b[k] = std::polar(100.0, 0.01 * static_cast<double>(k));
  const std::vector<std::complex<double>> before = b;
  const double frequency = 1000.0;
  const double removal = 16.0;  // bins 248..252
  aures_flatten_peaks(b.data(), N, 48000.0, &frequency, &removal, 1);

  const double expected = 0.5 * (magnitude(before[253]) + magnitude(before[247]));
  for (std::size_t k = 248; k <= 252; ++k) {
    EXPECT_NEAR(magnitude(b[k]), expected, 1e-12) << k;
    EXPECT_NEAR(std::arg(b[k]), std::arg(before[k]), 1e-12) << k;
  }
  EXPECT_EQ(b[247], before[247]);
  EXPECT_EQ(b[253], before[253]);
  for (std::size_t k = 1; k < SIZE / 2; ++k) ASSERT_EQ(b[SIZE - k], std::conj(b[k])) << k;
  EXPECT_EQ(b[0].imag(), 0.0);
  EXPECT_EQ(b[N / 2].imag(), 0.0);
}

TEST(AuresReplaceBands, TheBandBecomesTheStraightLineInDecibelsBetweenItsEdges) {
  const double a = std::sqrt(2.0) / 5999.5;
  std::vector<std::complex<double>> b(N, std::polar(1.0, 0.3));
  const TonalBand band{300, 310, 1220.0, 20.0, 50.0, 30.0, 40.0};
  aures_replace_bands(b.data(), &band, 1, a);
  std::vector<double> levels(N / 2 + 1);
  ASSERT_TRUE(aures_residual_levels(b.data(), N, a, 0, N / 2 + 1, levels.data()));
  for (std::size_t j = 0; j <= 10; ++j) {
    EXPECT_NEAR(levels[300 + j], 30.0 + static_cast<double>(j), 1e-9) << j;
    EXPECT_NEAR(std::arg(b[300 + j]), 0.3, 1e-12) << j;
  }
  EXPECT_EQ(b[299], std::polar(1.0, 0.3));
  EXPECT_EQ(b[311], std::polar(1.0, 0.3));
}

TEST(AuresResidual, RemovingTheToneOfAToneInSilenceLeavesNearlyNothing) {
  const auto a = analyse_frame(sine(1000.0, 60.0, N));
  PeakRun run = find_peaks(a.levels);
  ASSERT_EQ(run.count, 1);
  ASSERT_EQ(aures_peak_bandwidth(a.levels.data(), N, 48000.0, run.table, 1), 0);
  const double removal = std::max(run.table.bandwidths()[0], 16.0);
  std::vector<std::complex<double>> b = a.unscaled;
  aures_flatten_peaks(b.data(), N, 48000.0, run.table.frequencies(), &removal, 1);
  std::vector<double> levels(N / 2 + 1);
  ASSERT_TRUE(aures_residual_levels(b.data(), N, a.sums.amplitude_scale, 0, N / 2 + 1,
                                    levels.data()));
  // The main lobe (bins 248..252) is gone; what is left of the window's side
  // lobes lies 90 dB and more below the tone.
  for (std::size_t k = 240; k <= 260; ++k) EXPECT_LT(levels[k], 60.0 - 90.0) << k;
}

}  // namespace
}  // namespace varnholt
