// Envelope spectra of band signals and their block-wide weighting.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <vector>

#include "ecma/band_loudness.h"
#include "core/fft.h"
#include "ecma/band_scale.h"
#include "ecma/roughness/envelope_analysis.h"
#include "ecma/roughness/modulation_weighting.h"
#include "ecma/roughness/roughness_grid.h"
#include "support/compare.h"

namespace varnholt {
namespace {

using test::SENTINEL;
using test::untouched;

constexpr std::size_t BANDS = ECMA_BAND_COUNT;
constexpr std::size_t BINS = ECMA_MODULATION_BINS;
constexpr std::uint64_t N = 15360;
constexpr std::uint64_t BLOCKS = 5;

// The analytic signal of a block that is not periodic errs near the block
// edges; the Hann window keeps that below 1e-3 of the modulation power.
constexpr double ENVELOPE_TOLERANCE = 1e-3;

// A 1 kHz carrier of peak amplitude a, modulated with depth m at exactly bin
// 24 of the envelope spectrum (70.3125 Hz), over the whole band signal.
std::vector<double> am_band_signal(double a, double m) {
  std::vector<double> x(N + ECMA_ROUGHNESS_BLOCK_LENGTH);
  const double fm = 24.0 * ECMA_MODULATION_BIN_HZ;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double t = static_cast<double>(i) / 48000.0;
    x[i] = a * (1.0 + m * std::cos(2.0 * std::numbers::pi * fm * t)) *
           std::sin(2.0 * std::numbers::pi * 1000.0 * t);
  }
  return x;
}

struct BandAnalysis {
  std::vector<double> loudness = std::vector<double>(BLOCKS * BANDS, 0.0);
  std::vector<double> spectra = std::vector<double>(BLOCKS * BANDS * BINS, 0.0);
};

BandAnalysis analyse(const std::vector<double>& band_signal, std::size_t b) {
  BandAnalysis result;
  EnvelopeAnalysis analysis;
  EXPECT_EQ(analysis.create(), VH_OK);
  EXPECT_EQ(analysis.analyse_band(band_signal.data(), N, b, result.loudness.data(),
                                  result.spectra.data()),
            VH_OK);
  return result;
}

TEST(EnvelopeAnalysis, SidebandPowerIsAQuarterOfTheDepthSquared) {
  // Envelope a (1 + m cos): under a periodic Hann window a whole-bin
  // modulation puts power m^2/4 of the mean's into its bin and nothing into
  // the bins beyond the window's main lobe.
  const double a = 0.02;
  for (double m : {0.25, 0.5, 1.0}) {
    const BandAnalysis r = analyse(am_band_signal(a, m), 17);
    for (std::uint64_t v = 0; v < BLOCKS; ++v) {
      const double* p = r.spectra.data() + (v * BANDS + 17) * BINS;
      EXPECT_NEAR(p[24] / p[0], m * m / 4.0, ENVELOPE_TOLERANCE) << "depth " << m << " block " << v;
      EXPECT_LT(p[12] / p[0], ENVELOPE_TOLERANCE) << "depth " << m << " block " << v;
      // The spectrum is scaled to carry the loudness squared: the mean's bin
      // holds 512 x (mean window)^2 x N^2 / (1 + m^2/2).
      const double n_prime = r.loudness[v * BANDS + 17];
      EXPECT_NEAR(p[0] * (1.0 + m * m / 2.0) / (512.0 * (2.0 / 3.0) * n_prime * n_prime), 1.0,
                  ENVELOPE_TOLERANCE);
    }
  }
}

TEST(EnvelopeAnalysis, LoudnessFollowsTheBandPressure) {
  // Twice the energy of the positive half-waves is the mean square:
  // a^2 / 2 x (1 + m^2 / 2) for the modulated carrier.
  const double a = 0.05;
  const double m = 0.5;
  const BandAnalysis r = analyse(am_band_signal(a, m), 17);
  const double expected = ecma_band_loudness(a / std::sqrt(2.0) * std::sqrt(1.0 + m * m / 2.0), 17);
  for (std::uint64_t v = 0; v < BLOCKS; ++v) {
    EXPECT_NEAR(r.loudness[v * BANDS + 17] / expected, 1.0, ENVELOPE_TOLERANCE) << "block " << v;
  }
  // Other bands' slots are left alone.
  EXPECT_EQ(r.loudness[16], 0.0);
  EXPECT_EQ(r.loudness[18], 0.0);
}

TEST(EnvelopeAnalysis, SilentBlocksKeepAZeroSpectrum) {
  std::vector<double> x = am_band_signal(0.02, 1.0);
  for (std::size_t i = 0; i < ECMA_ROUGHNESS_BLOCK_LENGTH; ++i) x[i] = 0.0;  // block 0
  const BandAnalysis r = analyse(x, 17);
  EXPECT_EQ(r.loudness[17], 0.0);
  for (std::size_t m = 0; m < BINS; ++m) EXPECT_EQ(r.spectra[17 * BINS + m], 0.0) << "bin " << m;
  EXPECT_GT(r.loudness[BANDS + 17], 0.0);
}

TEST(EnvelopeAnalysis, DecimatedEnvelopeMatchesTheFullAnalyticSignal) {
  // The folded route against the plain one: the whole analytic signal of the
  // block by two complex transforms of 16384 points, sampled at every 32nd
  // sample. Both round at the level of a few epsilon of the largest value
  // (log2 16384 = 14 butterfly stages), so 1e-14 of it is a wide margin that
  // still catches a wrong bin weight, fold or scale.
  constexpr double ENVELOPE_ROUNDING = 1e-14;
  std::vector<double> x = am_band_signal(0.02, 0.7);
  std::uint64_t seed = 11;
  for (double& v : x) {  // a little noise, so every bin takes part
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    v += 1e-3 * (static_cast<double>(seed >> 11) * 0x1.0p-53 - 0.5);
  }
  const double* block = x.data() + 1000;
  ComplexFft full;
  ASSERT_EQ(ComplexFft::create(ECMA_ROUGHNESS_BLOCK_LENGTH, full), FftStatus::ok);
  std::vector<std::complex<double>> z(block, block + ECMA_ROUGHNESS_BLOCK_LENGTH);
  full.forward(z.data(), z.data(), 1.0);
  for (std::size_t k = 1; k < z.size() / 2; ++k) z[k] *= 2.0;
  for (std::size_t k = z.size() / 2 + 1; k < z.size(); ++k) z[k] = 0.0;
  full.backward(z.data(), z.data(), 1.0 / static_cast<double>(z.size()));

  EnvelopeAnalysis analysis;
  ASSERT_EQ(analysis.create(), VH_OK);
  const auto& envelope = analysis.envelope_of(block);
  std::vector<double> folded(ECMA_ENVELOPE_LENGTH);
  std::vector<double> plain(ECMA_ENVELOPE_LENGTH);
  double largest = 0.0;
  for (std::size_t i = 0; i < ECMA_ENVELOPE_LENGTH; ++i) {
    const double hann = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / 512.0);
    plain[i] = std::abs(z[i * ECMA_ENVELOPE_DECIMATION]) * hann / std::sqrt(0.375);
    folded[i] = envelope[i];
    largest = std::max(largest, plain[i]);
  }
  EXPECT_TRUE(test::arrays_near(folded, plain, ENVELOPE_ROUNDING * largest, 0.0));
}

TEST(EnvelopeAnalysis, OverflowingEnergyIsReported) {
  const std::vector<double> x(N + ECMA_ROUGHNESS_BLOCK_LENGTH, 1e200);
  std::vector<double> loudness(BLOCKS * BANDS, 0.0);
  std::vector<double> spectra(BLOCKS * BANDS * BINS, 0.0);
  EnvelopeAnalysis analysis;
  ASSERT_EQ(analysis.create(), VH_OK);
  EXPECT_EQ(analysis.analyse_band(x.data(), N, 3, loudness.data(), spectra.data()),
            VH_ERR_NUMERICAL);
}

// Spectra of one block: a floor in every band, and in bands 14 ... 18 a 70 Hz
// peak (bins 23 ... 25) far above it.
std::vector<double> block_spectra(bool with_peak) {
  std::vector<double> spectra(BANDS * BINS);
  for (std::size_t b = 0; b < BANDS; ++b) {
    for (std::size_t m = 0; m < BINS; ++m) {
      double value = 0.01 * (1.0 + 0.1 * std::sin(0.7 * static_cast<double>(m * (b + 1))));
      if (with_peak && b >= 14 && b <= 18 && m >= 23 && m <= 25) value += m == 24 ? 2.0 : 1.0;
      spectra[b * BINS + m] = value;
    }
  }
  return spectra;
}

TEST(BlockWeighting, OnlyRatesThatStandOutCount) {
  BlockWeighting weighting;
  const std::vector<double> loudness(BANDS, 1.0);
  std::vector<double> roughness(BANDS, SENTINEL);

  // A modulation floor alone stays below the mask's threshold everywhere.
  ASSERT_EQ(
      weighting.block_roughness(block_spectra(false).data(), loudness.data(), roughness.data()),
      VH_OK);
  for (std::size_t b = 0; b < BANDS; ++b) EXPECT_EQ(roughness[b], 0.0) << "band " << b;

  // A 70 Hz peak is kept in its bands, reaches the next band through the
  // averaging of neighbours, and no further.
  ASSERT_EQ(
      weighting.block_roughness(block_spectra(true).data(), loudness.data(), roughness.data()),
      VH_OK);
  for (std::size_t b = 13; b <= 19; ++b) EXPECT_GT(roughness[b], 0.0) << "band " << b;
  for (std::size_t b : {0U, 11U, 21U, 40U, 52U}) EXPECT_EQ(roughness[b], 0.0) << "band " << b;
  EXPECT_GT(roughness[16], roughness[13]);
}

TEST(BlockWeighting, ASilentBlockIsLeftAlone) {
  BlockWeighting weighting;
  const std::vector<double> loudness(BANDS, 0.0);
  std::vector<double> roughness(BANDS, SENTINEL);
  EXPECT_EQ(
      weighting.block_roughness(block_spectra(true).data(), loudness.data(), roughness.data()),
      VH_OK);
  EXPECT_TRUE(untouched(roughness));
}

TEST(BlockWeighting, NonFiniteSpectraAreReported) {
  BlockWeighting weighting;
  std::vector<double> spectra = block_spectra(true);
  spectra[30 * BINS + 100] = std::numeric_limits<double>::infinity();
  const std::vector<double> loudness(BANDS, 1.0);
  std::vector<double> roughness(BANDS, SENTINEL);
  EXPECT_EQ(weighting.block_roughness(spectra.data(), loudness.data(), roughness.data()),
            VH_ERR_NUMERICAL);
}

}  // namespace
}  // namespace varnholt
