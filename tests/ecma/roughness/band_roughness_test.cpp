// Band roughness from a weighted modulation spectrum: peak search and
// prominence, the ten-peak selection, rate refinement, harmonic grouping,
// the two rate weightings and the reporting floor.
#include "ecma/roughness/band_roughness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <limits>
#include <numbers>
#include <vector>

#include "ecma/roughness/harmonic_complex.h"
#include "ecma/roughness/modulation_peaks.h"
#include "ecma/roughness/modulation_rate.h"
#include "ecma/roughness/roughness_grid.h"

namespace varnholt {
namespace {

using Spectrum = std::array<double, ECMA_MODULATION_BINS>;
constexpr double DELTA = ECMA_MODULATION_BIN_HZ;

// With a single component the amplitude-weighted mean rate misses the
// component's rate only through the 1e-12 guard of its divisor, which the
// 0.749 power lifts to a relative effect below 1e-7.
constexpr double SINGLE_COMPONENT_TOLERANCE = 1e-6;

Spectrum filled(double value) {
  Spectrum phi{};
  phi.fill(value);
  return phi;
}

// A symmetric three-bin peak at bin p: its refined rate is exactly p * DELTA.
Spectrum symmetric_peak(std::uint64_t p, double height) {
  Spectrum phi = filled(0.0);
  phi[p - 1] = 0.5 * height;
  phi[p] = height;
  phi[p + 1] = 0.5 * height;
  return phi;
}

std::vector<ModulationPeak> peaks_of(const Spectrum& phi) {
  std::vector<ModulationPeak> peaks(MODULATION_PEAK_CAPACITY);
  peaks.resize(find_modulation_peaks(phi.data(), peaks.data()));
  return peaks;
}

TEST(ModulationPeaks, FlatAndMonotoneSpectraHaveNoPeakAndNoRoughness) {
  for (double level : {0.0, 1.0}) {
    const Spectrum phi = filled(level);
    EXPECT_TRUE(peaks_of(phi).empty());
    EXPECT_EQ(ecma_band_roughness(phi.data(), 16), 0.0);
  }
  Spectrum rising{};
  for (std::size_t m = 0; m < rising.size(); ++m) rising[m] = static_cast<double>(m);
  EXPECT_TRUE(peaks_of(rising).empty());
  EXPECT_EQ(ecma_band_roughness(rising.data(), 16), 0.0);
}

TEST(ModulationPeaks, TheSearchStartsAtBinThree) {
  for (std::uint64_t bin : {1U, 2U}) {
    Spectrum phi = filled(0.0);
    phi[bin] = 100.0;
    EXPECT_TRUE(peaks_of(phi).empty()) << "bin " << bin;
    EXPECT_EQ(ecma_band_roughness(phi.data(), 16), 0.0) << "bin " << bin;
  }
  Spectrum phi = filled(0.0);
  phi[3] = 100.0;
  const auto peaks = peaks_of(phi);
  ASSERT_EQ(peaks.size(), 1U);
  EXPECT_EQ(peaks[0].bin, 3U);
}

TEST(ModulationPeaks, ProminenceAndPlateaus) {
  Spectrum phi = filled(0.5);
  phi[10] = 5.0;                      // towers over everything
  phi[20] = 3.0;                      // separated from bin 10 by the floor
  phi[30] = phi[31] = phi[32] = 2.0;  // odd plateau: its middle
  phi[40] = phi[41] = 2.0;            // even plateau: the lower middle
  phi[60] = 1.0;                      // on a shoulder of bin 61
  phi[61] = 4.0;
  phi[62] = 1.0;
  phi[250] = phi[251] = phi[252] = phi[253] = phi[254] = phi[255] = 7.0;  // runs into the end
  const auto peaks = peaks_of(phi);
  const std::vector<std::pair<std::uint64_t, double>> expected = {
      {10, 4.5}, {20, 2.5}, {31, 1.5}, {40, 1.5}, {61, 3.5}};
  ASSERT_EQ(peaks.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(peaks[i].bin, expected[i].first) << "peak " << i;
    EXPECT_EQ(peaks[i].prominence, expected[i].second) << "peak " << i;
  }
}

TEST(ModulationPeaks, ProminenceStopsAtHigherGround) {
  // Bin 50 stands in a dip of a higher floor: each base search stops where
  // the floor climbs above the peak, so the deep valley at bin 40 beyond it
  // does not count, and the base is the higher of the two valleys.
  Spectrum phi = filled(3.0);
  phi[40] = 0.1;
  phi[49] = 1.0;
  phi[50] = 2.0;
  phi[51] = 1.5;
  const auto peaks = peaks_of(phi);
  const auto at_50 =
      std::find_if(peaks.begin(), peaks.end(), [](const ModulationPeak& p) { return p.bin == 50; });
  ASSERT_NE(at_50, peaks.end());
  EXPECT_EQ(at_50->prominence, 2.0 - 1.5);
}

TEST(ComparePeaks, MoreProminentFirstThenLowerBin) {
  const ModulationPeak high{30, 2.0};
  const ModulationPeak low{10, 1.0};
  const ModulationPeak low_later{20, 1.0};
  const ModulationPeak nan_peak{5, std::numeric_limits<double>::quiet_NaN()};
  EXPECT_LT(compare_peaks(&high, &low), 0);
  EXPECT_GT(compare_peaks(&low, &high), 0);
  EXPECT_LT(compare_peaks(&low, &low_later), 0);
  EXPECT_GT(compare_peaks(&low_later, &low), 0);
  EXPECT_EQ(compare_peaks(&low, &low), 0);
  EXPECT_EQ(compare_peaks(&nan_peak, &low), 0);
  EXPECT_EQ(compare_peaks(&low, &nan_peak), 0);
}

TEST(SelectModulationPeaks, KeepsTheTenMostProminentInBinOrder) {
  // Twelve equal peaks: ties go to the lower bins.
  std::vector<ModulationPeak> equal;
  for (std::uint64_t k = 12; k >= 1; --k) equal.push_back({10 * k, 1.0});
  ASSERT_EQ(select_modulation_peaks(equal.data(), equal.size()), 10U);
  for (std::size_t i = 0; i < 10; ++i) EXPECT_EQ(equal[i].bin, 10 * (i + 1)) << "slot " << i;

  // The two least prominent leave, wherever they are.
  std::vector<ModulationPeak> mixed;
  for (std::uint64_t k = 1; k <= 12; ++k) mixed.push_back({10 * k, 1.0 + static_cast<double>(k)});
  mixed[4].prominence = 0.5;  // bin 50
  mixed[0].prominence = 0.7;  // bin 10
  ASSERT_EQ(select_modulation_peaks(mixed.data(), mixed.size()), 10U);
  const std::uint64_t kept[] = {20, 30, 40, 60, 70, 80, 90, 100, 110, 120};
  for (std::size_t i = 0; i < 10; ++i) EXPECT_EQ(mixed[i].bin, kept[i]) << "slot " << i;

  std::vector<ModulationPeak> few = {{90, 1.0}, {30, 3.0}, {60, 2.0}};
  ASSERT_EQ(select_modulation_peaks(few.data(), few.size()), 3U);
  EXPECT_EQ(few[0].bin, 30U);
  EXPECT_EQ(few[1].bin, 60U);
  EXPECT_EQ(few[2].bin, 90U);
}

TEST(EcmaBandRoughness, OnlyTheTenMostProminentPeaksCount) {
  // Eleven equal peaks spread over inharmonic rates: the eleventh (highest
  // bin, last on the tie) adds nothing, so removing it changes nothing.
  const std::uint64_t bins[] = {23, 31, 37, 43, 47, 53, 59, 61, 67, 71, 79};
  Spectrum eleven = filled(0.0);
  for (std::uint64_t p : bins) {
    eleven[p - 1] = 0.5;
    eleven[p] = 1.0;
    eleven[p + 1] = 0.5;
  }
  Spectrum ten = eleven;
  ten[78] = ten[79] = ten[80] = 0.0;
  EXPECT_EQ(ecma_band_roughness(eleven.data(), 16), ecma_band_roughness(ten.data(), 16));
  EXPECT_GT(ecma_band_roughness(ten.data(), 16), 0.0);
}

// The spectrum the rate estimator is built for: the power spectrum of a
// sinusoidal envelope under the periodic 512-point Hann window at 1500 Hz,
// by a direct long-double DFT of the three bins around the peak (the others
// stay 0; the estimator reads no more).
Spectrum windowed_envelope_spectrum(double rate_hz, std::uint64_t p) {
  constexpr std::size_t n = ECMA_ENVELOPE_LENGTH;
  const long double two_pi = 2.0L * std::numbers::pi_v<long double>;
  std::array<long double, n> e{};
  for (std::size_t i = 0; i < n; ++i) {
    const long double t = static_cast<long double>(i);
    const long double hann = 0.5L - 0.5L * std::cos(two_pi * t / n);
    e[i] = hann * (1.0L + 0.8L * std::cos(two_pi * rate_hz * t / 1500.0L));
  }
  Spectrum phi = filled(0.0);
  for (std::uint64_t m = p - 1; m <= p + 1; ++m) {
    std::complex<long double> sum = 0.0L;
    for (std::size_t i = 0; i < n; ++i) {
      sum += e[i] * std::polar(1.0L, -two_pi * static_cast<long double>(m * i % n) / n);
    }
    phi[m] = static_cast<double>(std::norm(sum));
  }
  return phi;
}

TEST(RefinedModulationRate, CorrectsTheBiasOfTheParabola) {
  // Across one bin the plain parabola vertex misses a windowed sinusoid's
  // rate by up to a third of a hertz. The corrected estimate is limited only
  // by the four decimals of the bias table and the linear interpolation
  // between its 1/32-bin entries: about 1e-4 Hz.
  constexpr double CORRECTED_TOLERANCE_HZ = 1e-3;
  double worst_vertex_error = 0.0;
  for (int step = 0; step <= 16; ++step) {
    const double rate = (20.0 + step / 16.0) * DELTA;
    const std::uint64_t p = static_cast<std::uint64_t>(std::lround(rate / DELTA));
    const Spectrum phi = windowed_envelope_spectrum(rate, p);
    const double a = phi[p - 1], c = phi[p + 1];
    const double vertex = ((a - c) * 0.5 / (a - 2.0 * phi[p] + c) + static_cast<double>(p)) * DELTA;
    worst_vertex_error = std::max(worst_vertex_error, std::fabs(vertex - rate));
    EXPECT_NEAR(refined_modulation_rate(phi.data(), p), rate, CORRECTED_TOLERANCE_HZ)
        << "offset " << step << "/16 bin";
  }
  EXPECT_GT(worst_vertex_error, 0.2);
}

TEST(RefinedModulationRate, SymmetricAndFlatTopsGiveTheBinRate) {
  const Spectrum phi = symmetric_peak(24, 2.0);
  EXPECT_EQ(refined_modulation_rate(phi.data(), 24), 24 * DELTA);
  Spectrum flat = filled(0.0);
  flat[23] = flat[24] = flat[25] = 1.0;
  EXPECT_EQ(refined_modulation_rate(flat.data(), 24), 24 * DELTA);
}

TEST(StrongestHarmonicComplex, SumsTheClosestComponentPerHarmonic) {
  // 153 Hz is within 4 % of 3 x 50 Hz and joins; 230 Hz is 8 % off 250 Hz.
  const ModulationComponent spread[] = {{50.0, 1.0}, {100.0, 1.0}, {153.0, 1.0}, {230.0, 1.0}};
  const HarmonicComplex a = strongest_harmonic_complex(spread, 4);
  EXPECT_EQ(a.amplitude_sum, 3.0);
  EXPECT_EQ(a.fundamental, 0U);
  ASSERT_EQ(a.member_count, 3U);
  EXPECT_EQ(a.members[0], 0U);
  EXPECT_EQ(a.members[1], 1U);
  EXPECT_EQ(a.members[2], 2U);

  // Two components claim the second harmonic of 50 Hz: only the closer one
  // (100 Hz, amplitude 0.5) counts, not the stronger one at 101 Hz.
  const ModulationComponent rivals[] = {{50.0, 1.0}, {101.0, 1.0}, {100.0, 0.5}};
  const HarmonicComplex b = strongest_harmonic_complex(rivals, 3);
  EXPECT_EQ(b.amplitude_sum, 1.5);
  EXPECT_EQ(b.fundamental, 0U);
  ASSERT_EQ(b.member_count, 2U);
  EXPECT_EQ(b.members[1], 2U);

  // Equal sums: the earlier candidate stays.
  const ModulationComponent tie[] = {{60.0, 1.0}, {90.0, 1.0}};
  const HarmonicComplex c = strongest_harmonic_complex(tie, 2);
  EXPECT_EQ(c.amplitude_sum, 1.0);
  EXPECT_EQ(c.fundamental, 0U);
}

TEST(EcmaBandRoughness, HarmonicsAddToTheirFundamental) {
  // Peaks at 24, 48 and 72 bins (70, 141, 211 Hz) form one complex on 70 Hz
  // and are rougher than the fundamental alone.
  const Spectrum single = symmetric_peak(24, 1.0);
  Spectrum complex = single;
  for (std::uint64_t p : {48U, 72U}) {
    complex[p - 1] = 0.25;
    complex[p] = 0.5;
    complex[p + 1] = 0.25;
  }
  EXPECT_GT(ecma_band_roughness(complex.data(), 16), ecma_band_roughness(single.data(), 16));
}

// Roughness of a single symmetric peak relative to its unweighted amplitude.
double rate_weight(std::uint64_t p, std::size_t b) {
  const Spectrum phi = symmetric_peak(p, 1.0);
  return ecma_band_roughness(phi.data(), b) * roughness_band_shape(b).amplitude_divisor / 2.0;
}

TEST(EcmaBandRoughness, RoughnessPeaksAtTheBandsBestRate) {
  // Below the best rate roughness rises with the rate, above it falls; the
  // best rate grows with the band's centre frequency.
  for (std::size_t b : {6U, 16U, 40U}) {
    const double best_rate = roughness_band_shape(b).best_rate_hz;
    double previous = 0.0;
    bool falling = false;
    for (std::uint64_t p = 3; p < 200; ++p) {
      const double w = rate_weight(p, b);
      if (w == 0.0) continue;  // below the reporting floor
      const double rate = static_cast<double>(p) * DELTA;
      if (rate <= best_rate) {
        EXPECT_GT(w, previous) << "band " << b << " bin " << p;
      } else if (falling) {
        EXPECT_LT(w, previous) << "band " << b << " bin " << p;
      }
      falling = rate > best_rate;
      previous = w;
    }
  }
  EXPECT_LT(roughness_band_shape(6).best_rate_hz, roughness_band_shape(16).best_rate_hz);
  EXPECT_LT(roughness_band_shape(16).best_rate_hz, roughness_band_shape(40).best_rate_hz);
}

TEST(EcmaBandRoughness, BothRateWeightingsFollowTheirCurves) {
  // One octave above the best rate x - 1/x = 1.5 (x = 2) in the high-rate
  // curve; one octave below, -1.5 in the low-rate curve.
  for (std::size_t b : {16U, 40U}) {
    const RoughnessBandShape shape = roughness_band_shape(b);
    // Pick bins close to twice and half the best rate; evaluate the curves at
    // the actual bin rates.
    const std::uint64_t high =
        static_cast<std::uint64_t>(std::lround(2.0 * shape.best_rate_hz / DELTA));
    const std::uint64_t low =
        static_cast<std::uint64_t>(std::lround(0.5 * shape.best_rate_hz / DELTA));
    const double xh = static_cast<double>(high) * DELTA / shape.best_rate_hz;
    const double xl = static_cast<double>(low) * DELTA / shape.best_rate_hz;
    const double expected_high =
        std::pow(std::pow(1.2822 * (xh - 1.0 / xh), 2.0) + 1.0, -shape.high_rate_exponent);
    const double expected_low =
        std::pow(std::pow(0.7066 * (xl - 1.0 / xl), 2.0) + 1.0, -(1.0967 - 0.064 * shape.lambda));
    EXPECT_NEAR(rate_weight(high, b), expected_high, SINGLE_COMPONENT_TOLERANCE) << "band " << b;
    EXPECT_NEAR(rate_weight(low, b), expected_low, SINGLE_COMPONENT_TOLERANCE) << "band " << b;
    EXPECT_LT(expected_high, 0.9);
    EXPECT_LT(expected_low, 0.9);
  }
}

TEST(EcmaBandRoughness, ValuesBelowTheFloorAreZero) {
  // Roughness is proportional to the spectrum's scale for a single peak, up
  // to the mean-rate term (below 1e-7 at this size).
  const Spectrum unit = symmetric_peak(24, 1.0);
  const double reference = ecma_band_roughness(unit.data(), 16);
  ASSERT_GT(reference, 0.0);
  for (double factor : {1.0001, 0.9999}) {
    const Spectrum scaled = symmetric_peak(24, factor * ECMA_ROUGHNESS_FLOOR / reference);
    const double r = ecma_band_roughness(scaled.data(), 16);
    if (factor > 1.0) {
      EXPECT_NEAR(r, factor * ECMA_ROUGHNESS_FLOOR, SINGLE_COMPONENT_TOLERANCE);
    } else {
      EXPECT_EQ(r, 0.0);
    }
  }
}

TEST(EcmaBandRoughness, MinorPeaksAreIgnored) {
  // A peak at 5 % or less of the highest kept peak adds nothing, even at a
  // rate where it would count.
  const Spectrum main_peak = symmetric_peak(24, 1.0);
  Spectrum with_minor = main_peak;
  with_minor[29] = 0.025;
  with_minor[30] = 0.05;
  with_minor[31] = 0.025;
  EXPECT_EQ(ecma_band_roughness(with_minor.data(), 16), ecma_band_roughness(main_peak.data(), 16));
}

}  // namespace
}  // namespace varnholt
