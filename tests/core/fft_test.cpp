// The FFT module against a direct long-double DFT, round trips, Parseval, the
// real-transform layout, and concurrent planning.
#include "core/fft.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <thread>
#include <vector>

#include "support/compare.h"
#include "support/signals.h"

namespace varnholt {
namespace {

using cplx = std::complex<double>;

// FFTW's error grows like log2(N) * epsilon relative to the spectrum's scale;
// at N = 16384 that is a few 1e-15. The direct DFT in long double is exact to
// far better, so 1e-12 of the largest bin leaves a wide margin while still
// catching any wrong sign, index or scale.
constexpr double DFT_RELATIVE_TOLERANCE = 1e-12;

// Bins to check against the direct DFT: every bin of the short lengths, and
// for long lengths a spread of bins (both ends, the middle, and a stride
// through the rest) so the O(N) direct sum per bin stays cheap.
std::vector<std::size_t> bins_to_check(std::size_t n) {
  std::vector<std::size_t> bins;
  if (n <= 512) {
    for (std::size_t k = 0; k < n; ++k) bins.push_back(k);
    return bins;
  }
  for (std::size_t k = 0; k < n; k += n / 61 + 1) bins.push_back(k);
  for (std::size_t k : {std::size_t{1}, n / 2 - 1, n / 2, n / 2 + 1, n - 1}) bins.push_back(k);
  return bins;
}

// X[k] = sum_j x[j] exp(sign * 2 pi i k j / N) in long double, with the
// twiddles taken from a table indexed by (k * j) mod N so every angle is exact.
cplx direct_dft_bin(const std::vector<cplx>& x, const std::vector<std::complex<long double>>& twiddle,
                    std::size_t k) {
  const std::size_t n = x.size();
  long double re = 0.0L, im = 0.0L;
  for (std::size_t j = 0; j < n; ++j) {
    const auto& w = twiddle[(k * j) % n];
    const long double xr = x[j].real(), xi = x[j].imag();
    re += xr * w.real() - xi * w.imag();
    im += xr * w.imag() + xi * w.real();
  }
  return cplx(static_cast<double>(re), static_cast<double>(im));
}

std::vector<std::complex<long double>> twiddles(std::size_t n, int sign) {
  std::vector<std::complex<long double>> w(n);
  const long double two_pi = 2.0L * std::numbers::pi_v<long double>;
  for (std::size_t m = 0; m < n; ++m) {
    const long double angle = static_cast<long double>(sign) * two_pi * static_cast<long double>(m) /
                              static_cast<long double>(n);
    w[m] = {std::cos(angle), std::sin(angle)};
  }
  return w;
}

std::vector<cplx> random_complex(std::size_t n, std::uint64_t seed) {
  test::Prng prng(seed);
  std::vector<cplx> x(n);
  for (auto& v : x) {
    const double re = prng.next_uniform();
    v = cplx(re, prng.next_uniform());
  }
  return x;
}

// Compares the checked bins of `actual` (length N or N/2 + 1) with the direct
// DFT of x, scaled by `scale`.
::testing::AssertionResult matches_direct_dft(const std::vector<cplx>& actual,
                                              const std::vector<cplx>& x, int sign, double scale) {
  const auto w = twiddles(x.size(), sign);
  double peak = 1.0;
  for (const auto& v : actual) peak = std::max(peak, std::abs(v));
  const double tolerance = DFT_RELATIVE_TOLERANCE * peak;
  for (std::size_t k : bins_to_check(x.size())) {
    if (k >= actual.size()) continue;
    const cplx expected = scale * direct_dft_bin(x, w, k);
    if (std::abs(actual[k] - expected) > tolerance) {
      return ::testing::AssertionFailure() << "bin " << k << ": " << actual[k] << " vs " << expected;
    }
  }
  return ::testing::AssertionSuccess();
}

class FftLength : public ::testing::TestWithParam<std::size_t> {};

INSTANTIATE_TEST_SUITE_P(Lengths, FftLength,
                         ::testing::Values(1, 2, 3, 5, 7, 16, 512, 9600, 12000, 16384));

TEST_P(FftLength, ComplexMatchesDirectDftInBothDirections) {
  const std::size_t n = GetParam();
  ComplexFft plan;
  ASSERT_EQ(ComplexFft::create(n, plan), FftStatus::ok);
  const auto x = random_complex(n, n);
  std::vector<cplx> y(n);
  plan.forward(x.data(), y.data(), 1.0);
  EXPECT_TRUE(matches_direct_dft(y, x, -1, 1.0));
  plan.backward(x.data(), y.data(), 0.5);
  EXPECT_TRUE(matches_direct_dft(y, x, +1, 0.5));
}

TEST_P(FftLength, RealForwardGivesTheLowerHalfOfTheComplexSpectrum) {
  const std::size_t n = GetParam();
  RealFft plan;
  ASSERT_EQ(RealFft::create(n, plan), FftStatus::ok);
  ASSERT_EQ(plan.bins(), n / 2 + 1);
  test::Prng prng(n + 11);
  std::vector<double> x(n);
  std::vector<cplx> xc(n);
  for (std::size_t i = 0; i < n; ++i) xc[i] = x[i] = prng.next_uniform();
  std::vector<cplx> bins(plan.bins());
  plan.forward(x.data(), bins.data(), 1.0);
  EXPECT_TRUE(matches_direct_dft(bins, xc, -1, 1.0));
}

TEST_P(FftLength, RoundTripsGiveNTimesTheInput) {
  const std::size_t n = GetParam();
  const double nd = static_cast<double>(n);
  // Round-off of two transforms, relative to the signal's unit scale.
  constexpr double ROUND_TRIP_TOLERANCE = 1e-12;

  ComplexFft cplan;
  ASSERT_EQ(ComplexFft::create(n, cplan), FftStatus::ok);
  const auto x = random_complex(n, 3 * n);
  std::vector<cplx> spectrum(n), back(n);
  cplan.forward(x.data(), spectrum.data(), 1.0);
  cplan.backward(spectrum.data(), back.data(), 1.0 / nd);
  for (std::size_t i = 0; i < n; ++i) ASSERT_LT(std::abs(back[i] - x[i]), ROUND_TRIP_TOLERANCE);

  RealFft rplan;
  ASSERT_EQ(RealFft::create(n, rplan), FftStatus::ok);
  std::vector<double> xr(n), yr(n);
  for (std::size_t i = 0; i < n; ++i) xr[i] = x[i].real();
  std::vector<cplx> bins(rplan.bins());
  rplan.forward(xr.data(), bins.data(), 1.0);
  const std::vector<cplx> bins_before = bins;
  rplan.backward(bins.data(), yr.data(), 1.0);
  // The backward real transform must leave its input as it was.
  for (std::size_t k = 0; k < bins.size(); ++k) ASSERT_EQ(bins[k], bins_before[k]);
  for (std::size_t i = 0; i < n; ++i) yr[i] /= nd;
  EXPECT_TRUE(test::arrays_near(yr, xr, ROUND_TRIP_TOLERANCE, 0.0));
}

TEST_P(FftLength, AnOverwritingBackwardGivesTheCopyingOnesValues) {
  // On arrays aligned as planned the overwriting transform runs in the
  // caller's arrays, otherwise through the plan's copy; either way its values
  // are those of the copying transform, bit for bit. Offsetting by one double
  // misaligns the arrays for SIMD.
  const std::size_t n = GetParam();
  RealFft plan;
  ASSERT_EQ(RealFft::create(n, plan), FftStatus::ok);
  const auto x = random_complex(plan.bins(), 7 * n);
  std::vector<double> want(n);
  plan.backward(x.data(), want.data(), 0.25);
  for (const std::size_t offset : {std::size_t{0}, std::size_t{1}}) {
    std::vector<double> storage(2 * plan.bins() + n + 2);
    auto* const bins = reinterpret_cast<cplx*>(storage.data() + offset);
    std::copy(x.begin(), x.end(), bins);
    std::vector<double> got_storage(n + 1);
    double* const got = got_storage.data() + offset;
    plan.backward_overwriting(bins, got, 0.25);
    EXPECT_TRUE(test::arrays_identical(std::vector<double>(got, got + n), want)) << "offset " << offset;
  }
}

TEST_P(FftLength, ParsevalHolds) {
  const std::size_t n = GetParam();
  ComplexFft plan;
  ASSERT_EQ(ComplexFft::create(n, plan), FftStatus::ok);
  const auto x = random_complex(n, 5 * n + 1);
  std::vector<cplx> y(n);
  plan.forward(x.data(), y.data(), 1.0);
  double energy_time = 0.0, energy_freq = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    energy_time += std::norm(x[i]);
    energy_freq += std::norm(y[i]);
  }
  EXPECT_NEAR(energy_freq / static_cast<double>(n), energy_time, 1e-12 * energy_time);
}

TEST(Fft, ASineLandsInItsBin) {
  // A cosine of k0 cycles over N samples has N/2 at bins k0 and N - k0.
  const std::size_t n = 9600, k0 = 200;
  RealFft plan;
  ASSERT_EQ(RealFft::create(n, plan), FftStatus::ok);
  std::vector<double> x(n);
  for (std::size_t i = 0; i < n; ++i) {
    x[i] = std::cos(2.0 * std::numbers::pi * static_cast<double>(k0 * i) / static_cast<double>(n));
  }
  std::vector<cplx> bins(plan.bins());
  plan.forward(x.data(), bins.data(), 2.0 / static_cast<double>(n));
  EXPECT_NEAR(bins[k0].real(), 1.0, 1e-12);
  EXPECT_NEAR(bins[k0].imag(), 0.0, 1e-12);
  EXPECT_NEAR(std::abs(bins[k0 + 1]), 0.0, 1e-12);
}

TEST(Fft, ZeroLengthIsRefusedAsAValue) {
  ComplexFft cplan;
  EXPECT_EQ(ComplexFft::create(0, cplan), FftStatus::plan_failed);
  EXPECT_FALSE(cplan.valid());
  RealFft rplan;
  EXPECT_EQ(RealFft::create(0, rplan), FftStatus::plan_failed);
  EXPECT_FALSE(rplan.valid());
}

TEST(Fft, ConcurrentPlanningAndExecutionGiveIdenticalResults) {
  // Eight threads plan, run and destroy transforms of several lengths at
  // once; each result must be bit-identical to the one made alone.
  const std::vector<std::size_t> lengths = {512, 9600, 12000, 16384, 2048, 4096, 8192, 1000};
  auto transform = [](std::size_t n) {
    RealFft plan;
    std::vector<double> out;
    if (RealFft::create(n, plan) != FftStatus::ok) return out;
    test::Prng prng(n);
    std::vector<double> x(n);
    for (auto& v : x) v = prng.next_uniform();
    std::vector<cplx> bins(plan.bins());
    plan.forward(x.data(), bins.data(), 1.0);
    for (const auto& b : bins) {
      out.push_back(b.real());
      out.push_back(b.imag());
    }
    return out;
  };
  std::vector<std::vector<double>> alone;
  for (auto n : lengths) alone.push_back(transform(n));

  std::vector<std::vector<double>> together(lengths.size());
  for (int round = 0; round < 4; ++round) {
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < lengths.size(); ++t) {
      threads.emplace_back([&, t] { together[t] = transform(lengths[t]); });
    }
    for (auto& th : threads) th.join();
    for (std::size_t t = 0; t < lengths.size(); ++t) {
      ASSERT_FALSE(alone[t].empty());
      EXPECT_TRUE(test::arrays_identical(together[t], alone[t])) << "length " << lengths[t];
    }
  }
}

}  // namespace
}  // namespace varnholt
