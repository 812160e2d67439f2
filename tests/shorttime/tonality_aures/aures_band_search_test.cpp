// Narrow-band component search on synthesised spectra.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "aures_frame_fixture.h"
#include "shorttime/tonality_aures/aures_analysis.h"
#include "shorttime/tonality_aures/aures_bands.h"
#include "support/signals.h"

namespace varnholt {
namespace {

using test::analyse_frame;
using test::sine;

constexpr int N = 12000;
constexpr int M = N / 2 + 1;
constexpr double DF = 4.0;

struct Search {
  BandSearchRows rows{M, DF};
  TonalBand bands[AURES_MAX_BANDS] = {};
  int count = 0;
};

void search(const std::vector<double>& levels, Search& s) {
  s.count = aures_find_bands(levels.data(), M, DF, s.rows, s.bands);
}

TEST(AuresBandSearch, APureToneInSilenceIsOneBandWithItsWindowBandwidth) {
  const auto a = analyse_frame(sine(1000.0, 60.0, N));
  Search s;
  search(a.levels, s);
  ASSERT_EQ(s.count, 1);
  const TonalBand& band = s.bands[0];
  // The -3 dB edges of the smoothed level lie two bins either side of the
  // tone (bins 248 and 252); the centre is their geometric mean.
  EXPECT_EQ(band.centre, std::sqrt((252 * DF) * (248 * DF)));
  EXPECT_NEAR(band.centre, 1000.0, 0.05);
  EXPECT_LE(band.lo, 248);
  EXPECT_GE(band.hi, 252);
  // Width of the window's main lobe, 2.667 bins, within a tenth of a bin.
  EXPECT_NEAR(band.width, 2.667 * DF, 0.4);
  // The band holds the tone's power times the window's noise bandwidth.
  EXPECT_NEAR(band.level - 10.0 * std::log10(a.sums.noise_bandwidth), 60.0, 0.05);
}

TEST(AuresBandSearch, SilenceGivesNoCandidate) {
  Search s;
  search(analyse_frame(std::vector<double>(N, 0.0)).levels, s);
  EXPECT_EQ(s.count, 0);
  for (unsigned char m : s.rows.marks) ASSERT_EQ(m, 0);
}

TEST(AuresBandSearch, ABandWiderThanACriticalBandIsRejected) {
  // 60 dB over 800..1200 Hz: 400 Hz at -3 dB against 162 Hz of critical
  // bandwidth at 1 kHz.
  std::vector<double> wide(M, -50.0);
  for (std::size_t j = 200; j <= 300; ++j) wide[j] = 60.0;
  Search s;
  search(wide, s);
  EXPECT_EQ(s.count, 0);
  EXPECT_EQ(s.rows.marks[250], 1);  // examined all the same

  // The same plateau over 980..1020 Hz (40 Hz) is accepted.
  std::vector<double> narrow(M, -50.0);
  for (std::size_t j = 245; j <= 255; ++j) narrow[j] = 60.0;
  search(narrow, s);
  EXPECT_EQ(s.count, 1);
}

TEST(AuresBandSearch, ABumpLessThanSevenDecibelsAboveItsNeighbourhoodIsRejected) {
  // A flat spectrum with a 5 dB bump: the critical band around the bump holds
  // barely more intensity than its neighbours.
  std::vector<double> levels(M, 40.0);
  for (std::size_t j = 248; j <= 252; ++j) levels[j] = 45.0;
  Search s;
  search(levels, s);
  EXPECT_EQ(s.count, 0);
}

TEST(AuresBandSearch, NeverMoreThanTwentyCandidatesAreExamined) {
  // Thirty narrow bumps of falling height, 160 Hz apart, on a floor below the
  // search threshold: the twenty highest are examined, the rest never.
  std::vector<double> levels(M, -20.0);
  for (std::size_t b = 0; b < 30; ++b) {
    const std::size_t centre = 20 + 40 * b;
    for (std::size_t j = centre - 1; j <= centre + 1; ++j) {
      levels[j] = 80.0 - 0.5 * static_cast<double>(b);
    }
  }
  Search s;
  search(levels, s);
  EXPECT_LE(s.count, AURES_MAX_BANDS);
  int examined = 0;
  for (std::size_t b = 0; b < 30; ++b) {
    const bool marked = s.rows.marks[20 + 40 * b] != 0;
    EXPECT_EQ(marked, b < 20) << "bump " << b;
    examined += marked ? 1 : 0;
  }
  EXPECT_EQ(examined, 20);
}

TEST(CumulativeCrossing, InterpolatesBetweenTheBinsAroundTheTarget) {
  // F rises by a quarter per bin over bins 10..13.
  std::vector<double> f(20, 0.0);
  for (std::size_t j = 10; j <= 13; ++j) f[j] = 0.25 * static_cast<double>(j - 9);
  EXPECT_DOUBLE_EQ(cumulative_crossing(f.data(), 10, 13, DF, 0.5), 11.0 * DF);
  EXPECT_DOUBLE_EQ(cumulative_crossing(f.data(), 10, 13, DF, 0.625), 11.5 * DF);
  // Below F[lo + 1] the first step is extrapolated from lo.
  EXPECT_DOUBLE_EQ(cumulative_crossing(f.data(), 10, 13, DF, 0.05), 10.0 * DF - 0.8 * DF);
  f[11] = f[10];
  EXPECT_TRUE(std::isnan(cumulative_crossing(f.data(), 10, 13, DF, 0.2)));
}

}  // namespace
}  // namespace varnholt
