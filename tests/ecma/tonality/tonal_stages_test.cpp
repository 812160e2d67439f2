// Stages of the tonality: band groups and lag windows, the block
// autocorrelation, the neighbour averaging and the frame smoother.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

#include "core/fft.h"
#include "core/wide_vectors.h"
#include "ecma/auditory_filter.h"
#include "ecma/band_loudness.h"
#include "ecma/band_scale.h"
#include "ecma/signal_preparation.h"
#include "ecma/tonality/band_autocorrelation.h"
#include "ecma/tonality/lowpass3.h"
#include "ecma/tonality/tonal_band_groups.h"
#include "support/compare.h"
#include "support/signals.h"

namespace {

using namespace varnholt;
using varnholt::test::arrays_near;

// An FFT autocorrelation of 1024 to 8192 terms against a direct sum: a few
// ulps per term of the largest product.
constexpr double CORRELATION_ROUNDOFF = 1e-10;
// Recursions of a few hundred steps, compared in two algebraic forms.
constexpr double SMOOTHER_ROUNDOFF = 1e-13;

TEST(EcmaTonalGroups, LagsKeptPerGroup) {
  const std::size_t expected[] = {2335, 2225, 1113, 563};
  for (std::size_t k = 0; k < TONAL_BAND_GROUPS.size(); ++k) {
    EXPECT_EQ(tonal_lags_kept(TONAL_BAND_GROUPS[k]), expected[k]) << k;
  }
}

TEST(EcmaTonalGroups, LagWindows) {
  struct Row {
    std::size_t band, first, last;
  };
  for (const Row& r : {Row{0, 291, 2334}, Row{25, 95, 562}, Row{52, 95, 143}}) {
    const LagWindow w = tonal_lag_window(r.band);
    EXPECT_EQ(w.first, r.first) << r.band;
    EXPECT_EQ(w.last, r.last) << r.band;
  }
  // Every result band's window fits in the lags its group keeps.
  for (const TonalBandGroup& g : TONAL_BAND_GROUPS) {
    for (std::size_t p = g.first_result_band; p <= g.last_result_band; ++p) {
      EXPECT_LT(tonal_lag_window(p).last, tonal_lags_kept(g)) << p;
      EXPECT_LT(tonal_lag_window(p).last, 3 * g.block_length / 4) << p;
      const NeighbourRange n = tonal_neighbour_range(p);
      EXPECT_GE(p - n.below, g.first_acf_band) << p;
      EXPECT_LE(p + n.above, g.last_acf_band) << p;
    }
  }
}

TEST(EcmaTonalGroups, TheBandRingHoldsEveryNeighbourhood) {
  // The group loop computes autocorrelations in ascending band order into a
  // ring of tonal_neighbourhood_width() stores. That is safe only when both
  // ends of the neighbourhood rise with the band, every acf band of the group
  // is used, and no neighbourhood is wider than the ring.
  const std::size_t expected_widths[] = {5, 5, 3, 1};
  for (std::size_t k = 0; k < TONAL_BAND_GROUPS.size(); ++k) {
    const TonalBandGroup& g = TONAL_BAND_GROUPS[k];
    const std::size_t slots = tonal_neighbourhood_width(g);
    EXPECT_EQ(slots, expected_widths[k]) << "group " << k;
    std::size_t lowest = g.first_acf_band, highest = g.first_acf_band;
    for (std::size_t p = g.first_result_band; p <= g.last_result_band; ++p) {
      const NeighbourRange n = tonal_neighbour_range(p);
      EXPECT_GE(p - n.below, lowest) << p;
      EXPECT_GE(p + n.above, highest) << p;
      lowest = p - n.below;
      highest = p + n.above;
      // Resident after computing up to `highest`: highest - slots + 1 .. highest.
      EXPECT_GE(p - n.below + slots, highest + 1) << p;
    }
    EXPECT_EQ(highest, g.last_acf_band) << "group " << k;
  }
}

TEST(EcmaTonalGroups, BlocksEndOnThePreparedSignal) {
  // 14592 samples prepare to 32768; the last block of every group ends on the
  // last prepared sample.
  for (const TonalBandGroup& g : TONAL_BAND_GROUPS) {
    const std::uint64_t m = tonal_block_count(32768, g);
    EXPECT_EQ(TONAL_LEAD + (m - 1) * (g.block_length / 4), 32768U) << g.block_length;
  }
}

// Direct-sum version of one band's rows, for comparison with the FFT route.
// Where an overlapping part holds less than 1e-6 of the block's energy the
// FFT's round-off (relative to the whole block) swamps the normalised value;
// those lags are marked in `compared` as false.
std::vector<double> direct_rows(const std::vector<double>& band, std::size_t j, std::size_t length,
                                std::size_t blocks, std::size_t lags, std::vector<bool>& compared) {
  std::vector<double> rows(blocks * lags, 0.0);
  compared.assign(blocks * lags, true);
  for (std::size_t i = 0; i < blocks; ++i) {
    std::vector<double> r(length);
    const std::size_t start = TONAL_LEAD - length + i * (length / 4);
    double energy = 0.0;
    for (std::size_t m = 0; m < length; ++m) {
      r[m] = std::max(0.0, band[start + m]);
      energy += r[m] * r[m];
    }
    const double loudness = ecma_band_loudness(std::sqrt(2.0 * energy / static_cast<double>(length)), j);
    for (std::size_t m = 0; m < lags && m < 3 * length / 4; ++m) {
      double a = 0.0, head = 0.0, tail = 0.0;
      for (std::size_t n = 0; n + m < length; ++n) {
        a += r[n] * r[n + m];
        head += r[n] * r[n];
        tail += r[n + m] * r[n + m];
      }
      compared[i * lags + m] = std::min(head, tail) > 1e-6 * energy;
      if (head > 0.0 && tail > 0.0) {
        rows[i * lags + m] =
            std::min(1.0, std::max(0.0, a / (std::sqrt(head) * std::sqrt(tail) + 1e-12))) * loudness;
      }
    }
  }
  return rows;
}

struct AcfBuffers {
  explicit AcfBuffers(std::size_t length)
      : spectrum(length + 1), scratch(2 * length), forward(length + 1), backward(length + 1) {
    EXPECT_EQ(RealFft::create(2 * length, plan), FftStatus::ok);
  }
  AcfWorkspace workspace() {
    return {&plan, spectrum.data(), scratch.data(), forward.data(), backward.data()};
  }
  RealFft plan;
  std::vector<std::complex<double>> spectrum;
  std::vector<double> scratch, forward, backward;
};

TEST(EcmaTonalAutocorrelation, MatchesTheDirectSum) {
  // A tone in noise through band 30's filter: blocks of 1024 samples, 563 lags.
  const std::vector<double> x = [] {
    std::vector<double> s = test::sine(2900.0, 60.0, 4000);
    const std::vector<double> n = test::white_noise(50.0, 4000, 7);
    for (std::size_t i = 0; i < s.size(); ++i) s[i] += n[i];
    return s;
  }();
  std::vector<double> prepared;
  ASSERT_EQ(ecma_prepare_signal(x.data(), x.size(), TONAL_LEAD, TONAL_PADDING_HOP, true, 0, prepared),
            VH_OK);
  std::vector<double> band(prepared.size());
  ASSERT_EQ(ecma_auditory_filter(prepared.data(), prepared.size(), 30, band.data()), VH_OK);
  constexpr std::size_t length = 1024, lags = 563;
  const std::size_t blocks = static_cast<std::size_t>(tonal_block_count(prepared.size(), TONAL_BAND_GROUPS[3]));
  AcfBuffers buffers(length);
  std::vector<double> rows(blocks * lags, test::SENTINEL);
  ASSERT_EQ(ecma_tonal_band_acf(band.data(), 30, length, blocks, lags, buffers.workspace(), rows.data()),
            VH_OK);
  std::vector<bool> compared;
  std::vector<double> expected = direct_rows(band, 30, length, blocks, lags, compared);
  double peak = 0.0;
  std::size_t skipped = 0;
  for (std::size_t v = 0; v < expected.size(); ++v) {
    peak = std::max(peak, expected[v]);
    if (!compared[v]) {
      expected[v] = rows[v];
      ++skipped;
    }
  }
  EXPECT_LT(skipped, 3 * expected.size() / 4);  // silent blocks after the signal count too
  ASSERT_GT(peak, 0.1);
  EXPECT_TRUE(arrays_near(rows, expected, CORRELATION_ROUNDOFF * peak, 0.0));
  // The first blocks lie in the leading zeros and stay zero.
  for (std::size_t m = 0; m < lags; ++m) ASSERT_EQ(rows[m], 0.0);
}

TEST(EcmaTonalAutocorrelation, LagZeroIsTheBandLoudness) {
  // A pure tone in its own band: lag 0 is the block's band loudness up to the
  // 1e-12 in the normaliser, and the lags beyond 3L/4 stay zero.
  const std::vector<double> x = test::sine(ecma_band_centre_hz(20), 70.0, 6000);
  std::vector<double> prepared;
  ASSERT_EQ(ecma_prepare_signal(x.data(), x.size(), TONAL_LEAD, TONAL_PADDING_HOP, true, 0, prepared),
            VH_OK);
  std::vector<double> band(prepared.size());
  ASSERT_EQ(ecma_auditory_filter(prepared.data(), prepared.size(), 20, band.data()), VH_OK);
  constexpr std::size_t length = 1024, lags = 1000;
  const std::size_t blocks = 21;
  AcfBuffers buffers(length);
  std::vector<double> rows(blocks * lags, test::SENTINEL);
  ASSERT_EQ(ecma_tonal_band_acf(band.data(), 20, length, blocks, lags, buffers.workspace(), rows.data()),
            VH_OK);
  const std::size_t i = 20;  // input samples 4096 .. 5119, well inside the tone
  const double* row = rows.data() + i * lags;
  double energy = 0.0;
  for (std::size_t m = 0; m < length; ++m) {
    const double r = std::max(0.0, band[TONAL_LEAD - length + i * 256 + m]);
    energy += r * r;
  }
  const double loudness = ecma_band_loudness(std::sqrt(2.0 * energy / 1024.0), 20);
  EXPECT_NEAR(row[0], loudness, 1e-9 * loudness);
  EXPECT_GT(loudness, 0.5);
  for (std::size_t m = 768; m < lags; ++m) ASSERT_EQ(row[m], 0.0) << m;
  for (std::size_t m = 0; m < lags; ++m) ASSERT_LE(row[m], loudness) << m;
}

TEST(EcmaTonalAutocorrelation, NormalisationCopiesMatchTheScalarFormula) {
  // Silent stretches at both ends of the energies (E_b ends in zeros, E_f
  // starts with them), correlations beyond the normaliser and negative ones
  // reach every branch: the zero of a silent part and both clamps. Both
  // compiled copies must give the formula's values bit for bit, whatever the
  // count of lags left over after the vector loop.
  constexpr std::size_t length = 64;
  varnholt::test::Prng prng(11);
  std::vector<double> e_f(length + 1, 0.0);
  std::vector<double> e_b(length + 1, 0.0);
  for (std::size_t m = 0; m <= length; ++m) {
    e_f[m] = m < 5 ? 0.0 : 2.0 + prng.next_uniform();
    e_b[m] = m > length - 7 ? 0.0 : 2.0 + prng.next_uniform();
  }
  std::vector<double> acf(length);
  for (double& a : acf) a = 400.0 * prng.next_uniform();
  const double scale = 1.0 / 128.0;
  const double loudness = 0.7;
  for (const std::size_t lag_limit : {std::size_t{48}, std::size_t{63}, std::size_t{61}}) {
    std::vector<double> want(lag_limit);
    for (std::size_t m = 0; m < lag_limit; ++m) {
      const double root_f = std::sqrt(e_f[length - m]);
      const double root_b = std::sqrt(e_b[m]);
      const double normalised = acf[m] * scale / (root_f * root_b + 1e-12);
      want[m] =
          root_f > 0.0 && root_b > 0.0 ? std::min(1.0, std::max(0.0, normalised)) * loudness : 0.0;
    }
    std::vector<double> got(lag_limit);
    normalise_acf_lags_baseline(acf.data(), scale, e_f.data(), e_b.data(), length, loudness,
                                lag_limit, got.data());
    EXPECT_TRUE(varnholt::test::arrays_identical(got, want)) << lag_limit << " lags, two lanes";
    if (!wide_vectors_available()) continue;
    normalise_acf_lags_wide(acf.data(), scale, e_f.data(), e_b.data(), length, loudness, lag_limit,
                            got.data());
    EXPECT_TRUE(varnholt::test::arrays_identical(got, want)) << lag_limit << " lags, four lanes";
  }
}

TEST(EcmaTonalSmoother, IsThreeOnePoleStagesDelayedByOneFrame) {
  // The same transfer function built as three one-pole stages after the
  // numerator b1 z^-1 + b2 z^-2.
  const double a = std::exp(-0.19911111111111113);
  const double b1 = std::pow(1.0 - a, 3.0) * a / (a * a + a);
  std::vector<double> x(300);
  for (std::size_t k = 0; k < x.size(); ++k) x[k] = std::sin(0.05 * static_cast<double>(k * k)) + 1.0;
  std::vector<double> expected(x.size(), 0.0);
  for (std::size_t k = 1; k < x.size(); ++k) {
    expected[k] = b1 * x[k - 1] + (k >= 2 ? b1 * a * x[k - 2] : 0.0);
  }
  for (int stage = 0; stage < 3; ++stage) {
    double state = 0.0;
    for (double& v : expected) v = state = v + a * state;
  }
  std::vector<double> y = x;
  ecma_lowpass3(y.data(), y.size());
  EXPECT_EQ(y[0], 0.0);
  EXPECT_TRUE(arrays_near(y, expected, SMOOTHER_ROUNDOFF, SMOOTHER_ROUNDOFF));
}

TEST(EcmaTonalSmoother, HasUnitGainAtDc) {
  std::vector<double> step(400, 2.5);
  ecma_lowpass3(step.data(), step.size());
  EXPECT_NEAR(step.back(), 2.5, 1e-12);
  for (std::size_t k = 1; k < step.size(); ++k) ASSERT_GE(step[k], step[k - 1] - 1e-14) << k;
}

}  // namespace
