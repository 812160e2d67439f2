// Powers |z|^2 of the bins of a real transform's spectrum, one at a time or
// two bins to an SSE2 register, and a survey of their largest value and
// finiteness.
#pragma once

#include <complex>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace varnholt {

// Power of bin k of the spectrum of a real transform whose last bin is
// last_bin (N/2); bins 0 and N/2 are real.
inline double bin_power(const std::complex<double>* z, std::size_t k,
                        std::size_t last_bin) noexcept {
  const double re = z[k].real();
  return (k == 0 || k == last_bin) ? re * re : re * re + z[k].imag() * z[k].imag();
}

#if defined(__SSE2__)

// Powers re^2 + im^2 of bins k and k + 1, from re_im pointing at the real
// part of bin k: exactly the values the scalar formula gives.
inline __m128d bin_pair_powers(const double* re_im) noexcept {
  const __m128d x = _mm_loadu_pd(re_im);      // re, im of bin k
  const __m128d y = _mm_loadu_pd(re_im + 2);  // re, im of bin k + 1
  const __m128d squares_x = _mm_mul_pd(x, x);
  const __m128d squares_y = _mm_mul_pd(y, y);
  return _mm_add_pd(_mm_unpacklo_pd(squares_x, squares_y), _mm_unpackhi_pd(squares_x, squares_y));
}

// Largest power and whether every power was finite, over the pairs of powers
// handed to it. Two independent chains take alternate pairs, so neither
// chain's latency holds the loop up; the maximum and the finiteness verdict
// do not depend on the order in which the powers arrive.
class BinPowerSurvey {
 public:
  void take(__m128d first_pair, __m128d second_pair) noexcept {
    largest_[0] = _mm_max_pd(largest_[0], first_pair);
    largest_[1] = _mm_max_pd(largest_[1], second_pair);
    // p * 0 is 0 for a finite p and NaN otherwise.
    marks_[0] = _mm_add_pd(marks_[0], _mm_mul_pd(first_pair, _mm_setzero_pd()));
    marks_[1] = _mm_add_pd(marks_[1], _mm_mul_pd(second_pair, _mm_setzero_pd()));
  }

  // The largest power taken since the start or the last restart (0 if none
  // was larger); the powers are non-negative unless not finite.
  double largest() const noexcept {
    const __m128d both = _mm_max_pd(largest_[0], largest_[1]);
    return _mm_cvtsd_f64(_mm_max_sd(both, _mm_unpackhi_pd(both, both)));
  }

  void restart_largest() noexcept {
    largest_[0] = _mm_setzero_pd();
    largest_[1] = _mm_setzero_pd();
  }

  bool all_finite() const noexcept {
    alignas(16) double marks[2];
    _mm_store_pd(marks, _mm_add_pd(marks_[0], marks_[1]));
    return marks[0] == 0.0 && marks[1] == 0.0;
  }

 private:
  __m128d largest_[2] = {_mm_setzero_pd(), _mm_setzero_pd()};
  __m128d marks_[2] = {_mm_setzero_pd(), _mm_setzero_pd()};
};

#endif

}  // namespace varnholt
