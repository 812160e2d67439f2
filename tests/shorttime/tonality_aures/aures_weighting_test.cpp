// The component table, the level excess and the tonal weight.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "shorttime/tonality_aures/aures_analysis.h"
#include "shorttime/tonality_aures/aures_components.h"
#include "shorttime/tonality_aures/aures_weighting.h"

namespace varnholt {
namespace {

constexpr int K0 = 5;
constexpr int NB = 1246;
// A handful of pow/exp/log evaluations: a few ulps each.
constexpr double FORMULA_TOLERANCE = 1e-12;

TonalComponent component(double frequency, double level) {
  return TonalComponent{frequency, level, 10.0, 5.72, -1, 16.0};
}

TEST(TonalComponentTable, SortKeepsTheDetectionOrderOfEqualFrequencies) {
  TonalComponentTable table(6);
  const double frequencies[] = {1000.0, 500.0, 1000.0, 200.0, 1000.0, 500.0};
  for (int i = 0; i < 6; ++i) ASSERT_TRUE(table.append(component(frequencies[i], i)));
  EXPECT_FALSE(table.append(component(100.0, 9.0)));  // full
  table.sort_by_frequency();
  const double sorted[] = {200.0, 500.0, 500.0, 1000.0, 1000.0, 1000.0};
  const double order[] = {3.0, 1.0, 5.0, 0.0, 2.0, 4.0};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(table.frequencies()[i], sorted[i]) << i;
    EXPECT_EQ(table.levels()[i], order[i]) << i;
  }
  table.clear();
  EXPECT_EQ(table.size(), 0);
}

TEST(AuresOwnBins, APeakFindsItsBinABandCentreNone) {
  std::vector<double> rates(NB);
  aures_analysis_bin_rates(K0, NB, 48000.0, 12000, rates.data());
  const double frequencies[] = {1000.0, 20.0, 5000.0, 999.968, 6000.0};
  int own[5] = {};
  aures_own_bins(rates.data(), NB, frequencies, 5, own);
  EXPECT_EQ(own[0], 250 - K0);
  EXPECT_EQ(own[1], 0);
  EXPECT_EQ(own[2], NB - 1);
  EXPECT_EQ(own[3], -1);
  EXPECT_EQ(own[4], -1);
}

TEST(AuresThreshold, ThresholdInQuietAfterTerhardt) {
  // About 3.4 dB at 1 kHz, its dip of about -5 dB near 3.3 kHz.
  EXPECT_NEAR(threshold_in_quiet(1000.0), 3.37, 0.01);
  EXPECT_LT(threshold_in_quiet(3300.0), -4.0);
  EXPECT_NEAR(threshold_in_quiet(50.0), 40.0, 0.1);
  EXPECT_EQ(threshold_in_quiet(0.0), 130.0);
}

struct Excess {
  std::vector<double> residual = std::vector<double>(NB, -896.0);
  std::vector<double> rates = std::vector<double>(NB);
  Excess() { aures_analysis_bin_rates(K0, NB, 48000.0, 12000, rates.data()); }
  int run(const std::vector<double>& f, const std::vector<double>& l, const std::vector<int>& own,
          std::vector<double>& out) {
    const int count = static_cast<int>(f.size());
    out.assign(f.size(), -1.0);
    std::vector<double> scratch(f.size());
    return aures_excess_levels(residual.data(), NB, rates.data(), f.data(), l.data(), own.data(),
                               count, scratch.data(), out.data());
  }
};

TEST(AuresExcessLevels, ALoneToneInSilenceStandsAboveTheThresholdInQuiet) {
  Excess e;
  std::vector<double> out;
  ASSERT_EQ(e.run({1000.0}, {60.0}, {245}, out), 0);
  EXPECT_NEAR(out[0], 60.0 - threshold_in_quiet(1000.0), 1e-9);
  // Its own bin and two either side do not count as noise.
  for (std::size_t b = 243; b <= 247; ++b) e.residual[b] = 50.0;
  ASSERT_EQ(e.run({1000.0}, {60.0}, {245}, out), 0);
  EXPECT_NEAR(out[0], 60.0 - threshold_in_quiet(1000.0), 1e-9);
  // Noise in the critical band does.
  e.residual[230] = 50.0;
  ASSERT_EQ(e.run({1000.0}, {60.0}, {245}, out), 0);
  const double total = std::pow(10.0, threshold_in_quiet(1000.0) / 10.0) + 1e5;
  EXPECT_NEAR(out[0], 60.0 - 10.0 * std::log10(total), 1e-9);
  // A component below threshold has no excess (never a negative one).
  ASSERT_EQ(e.run({1000.0}, {2.0}, {245}, out), 0);
  EXPECT_EQ(out[0], 0.0);
}

TEST(AuresExcessLevels, ALouderNeighbourMasksMoreFromBelowThanFromAbove) {
  Excess e;
  std::vector<double> alone;
  ASSERT_EQ(e.run({1000.0, 4000.0}, {50.0, 20.0}, {245, 995}, alone), 0);
  std::vector<double> masked_from_below;
  ASSERT_EQ(e.run({800.0, 1000.0}, {70.0, 50.0}, {195, 245}, masked_from_below), 0);
  std::vector<double> masked_from_above;
  ASSERT_EQ(e.run({1000.0, 1250.0}, {50.0, 70.0}, {245, -1}, masked_from_above), 0);
  EXPECT_LT(masked_from_below[1], alone[0]);
  EXPECT_LT(masked_from_above[0], alone[0]);
  // Masking spreads upwards from a component below at 24 + 230/f - 0.2 L
  // dB/Bark (shallower when loud), downwards from one above at 27 dB/Bark.
  EXPECT_LT(masked_from_below[1], masked_from_above[0]);
}

double weight_of(double f, double b, double excess, double p) {
  return aures_tonal_weight(&f, &b, &excess, &p, 1);
}

TEST(AuresTonalWeight, ALineAt700HzFarAboveMaskingWeighsItsFrequencyWeightAlone) {
  // Bandwidth equal to the window's: no effective width, bandwidth weight 1;
  // a huge excess: excess weight 1; at 700 Hz the frequency weight is
  // 1 / sqrt(1 + 0.2 * 2^2).
  EXPECT_NEAR(weight_of(700.0, 5.72, 1e4, 5.72), 1.0 / std::sqrt(1.8), FORMULA_TOLERANCE);
  // Away from 700 Hz, wider, or less excess: always less.
  const double best = weight_of(700.0, 5.72, 1e4, 5.72);
  EXPECT_LT(weight_of(3000.0, 5.72, 1e4, 5.72), best);
  EXPECT_LT(weight_of(700.0, 60.0, 1e4, 5.72), best);
  EXPECT_LT(weight_of(700.0, 5.72, 10.0, 5.72), best);
  // The excess weight 1 - exp(-dL / 15).
  EXPECT_NEAR(weight_of(700.0, 5.72, 15.0, 5.72), (1.0 - std::exp(-1.0)) / std::sqrt(1.8),
              FORMULA_TOLERANCE);
}

TEST(AuresTonalWeight, ComponentsCombineAsTheRootOfTheirSquares) {
  const double f[] = {500.0, 1500.0, 3000.0};
  const double b[] = {8.0, 12.0, 30.0};
  const double dl[] = {20.0, 35.0, 5.0};
  const double p[] = {5.72, 5.72, 10.668};
  double squares = 0.0;
  for (int i = 0; i < 3; ++i) {
    const double w = weight_of(f[i], b[i], dl[i], p[i]);
    squares += w * w;
  }
  EXPECT_NEAR(aures_tonal_weight(f, b, dl, p, 3), std::sqrt(squares), FORMULA_TOLERANCE);
}

TEST(AuresTonalWeight, ComponentsWithoutExcessAddNothingAndBadInputIsNotANumber) {
  EXPECT_EQ(weight_of(1000.0, 10.0, 0.0, 5.72), 0.0);
  EXPECT_EQ(weight_of(-5.0, 10.0, 20.0, 5.72), 0.0);
  EXPECT_EQ(weight_of(1000.0, 0.0, 20.0, 5.72), 0.0);
  EXPECT_EQ(aures_tonal_weight(nullptr, nullptr, nullptr, nullptr, 0), 0.0);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(std::isnan(weight_of(1000.0, 10.0, 20.0, -1.0)));
  EXPECT_TRUE(std::isnan(weight_of(nan, 10.0, 20.0, 5.72)));
  EXPECT_TRUE(std::isnan(weight_of(1000.0, std::numeric_limits<double>::infinity(), 20.0, 5.72)));
}

}  // namespace
}  // namespace varnholt
