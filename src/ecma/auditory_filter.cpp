// The auditory filter of a hearing-model band: five coincident complex poles
// at the band's centre frequency, run as one fifth-order recursion.
#include "ecma/auditory_filter.h"

#include <array>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/checks.h"
#include "core/physical_constants.h"
#include "ecma/band_scale.h"

namespace varnholt {
namespace {

constexpr std::size_t ORDER = AuditoryFilter::ORDER;

// Binomial coefficients of (1 - d z^-1)^5: the feedback of five equal poles.
constexpr std::array<double, ORDER + 1> FEEDBACK_BINOMIALS = {1.0, 5.0, 10.0, 10.0, 5.0, 1.0};
// Eulerian numbers of order 5: the numerator that makes the impulse response
// a sampled gamma-tone envelope t^4 d^t.
constexpr std::array<double, ORDER> FEEDFORWARD_EULERIAN = {0.0, 1.0, 11.0, 11.0, 1.0};

AuditoryFilter::Coefficients band_coefficients(std::size_t b) noexcept {
  // Pole radius from the bandwidth: 512 / 3360000 = 2^(2*5-1) / (C(8,4) * 48000)
  // relates the equivalent rectangular bandwidth of a fifth-order filter to
  // its time constant.
  const double d = std::exp(-ecma_bandwidth_hz(b) * 512.0 / 3360000.0);
  const double omega = ecma_band_centre_hz(b) * 6.283185307179586 / SAMPLE_RATE_HZ;
  const double d2 = d * d;
  // Unit gain at the centre frequency: (1 - d)^5 over d + 11 d^2 + 11 d^3 + d^4.
  const double g = std::pow(1.0 - d, 5.0) / (11.0 * d2 * d + (11.0 * d2 + d) + d2 * d2);

  AuditoryFilter::Coefficients c;
  for (std::size_t m = 0; m <= ORDER; ++m) {
    const double angle = static_cast<double>(m) * omega;
    const double cos_a = std::cos(angle);
    const double sin_a = std::sin(angle);
    const double a = FEEDBACK_BINOMIALS[m] * std::pow(-d, static_cast<double>(m));
    c.a_re[m] = a * cos_a;
    c.a_im[m] = a * sin_a;
    if (m < ORDER) {
      const double bm = g * FEEDFORWARD_EULERIAN[m] * std::pow(d, static_cast<double>(m));
      c.b_re[m] = bm * cos_a;
      c.b_im[m] = bm * sin_a;
    }
  }
  return c;
}

}  // namespace

AuditoryFilter::AuditoryFilter(std::size_t b) noexcept : c_(band_coefficients(b)) {}

bool AuditoryFilter::run(const double* in, std::size_t count, double* out) noexcept {
  const Coefficients& c = c_;
  // Transposed direct form with b0 = 0: the output is the first state, so the
  // band signal lags the input by one sample. State m is s_{m+1}.
  double s1r = s_[0], s1i = s_[1], s2r = s_[2], s2i = s_[3], s3r = s_[4], s3i = s_[5];
  double s4r = s_[6], s4i = s_[7], s5r = s_[8], s5i = s_[9];
  for (std::size_t i = 0; i < count; ++i) {
    const double x = in[i];
    const double yr = s1r;
    const double yi = s1i;
    s1r = c.b_re[1] * x - (c.a_re[1] * yr - c.a_im[1] * yi) + s2r;
    s1i = c.b_im[1] * x - (c.a_re[1] * yi + c.a_im[1] * yr) + s2i;
    s2r = c.b_re[2] * x - (c.a_re[2] * yr - c.a_im[2] * yi) + s3r;
    s2i = c.b_im[2] * x - (c.a_re[2] * yi + c.a_im[2] * yr) + s3i;
    s3r = c.b_re[3] * x - (c.a_re[3] * yr - c.a_im[3] * yi) + s4r;
    s3i = c.b_im[3] * x - (c.a_re[3] * yi + c.a_im[3] * yr) + s4i;
    s4r = c.b_re[4] * x - (c.a_re[4] * yr - c.a_im[4] * yi) + s5r;
    s4i = c.b_im[4] * x - (c.a_re[4] * yi + c.a_im[4] * yr) + s5i;
    s5r = -(c.a_re[5] * yr - c.a_im[5] * yi);
    s5i = -(c.a_re[5] * yi + c.a_im[5] * yr);
    const double y = 2.0 * yr;
    if (!is_finite_value(y)) return false;
    out[i] = y;
  }
  s_ = {s1r, s1i, s2r, s2i, s3r, s3i, s4r, s4i, s5r, s5i};
  return true;
}

#if defined(__SSE2__)
bool AuditoryFilter::run_pair(AuditoryFilter& first, AuditoryFilter& second, const double* in,
                              std::size_t count, double* out_first, double* out_second) noexcept {
  // Lane 0 holds the first band, lane 1 the second; every operation is the
  // one run() performs, in the same order.
  const Coefficients& c0 = first.c_;
  const Coefficients& c1 = second.c_;
  auto both = [](double lane0, double lane1) { return _mm_set_pd(lane1, lane0); };
  __m128d ar[ORDER + 1], ai[ORDER + 1], br[ORDER + 1], bi[ORDER + 1];
  for (std::size_t m = 0; m <= ORDER; ++m) {
    ar[m] = both(c0.a_re[m], c1.a_re[m]);
    ai[m] = both(c0.a_im[m], c1.a_im[m]);
    br[m] = both(c0.b_re[m], c1.b_re[m]);
    bi[m] = both(c0.b_im[m], c1.b_im[m]);
  }
  __m128d s[2 * ORDER];
  for (std::size_t k = 0; k < 2 * ORDER; ++k) s[k] = both(first.s_[k], second.s_[k]);
  __m128d s1r = s[0], s1i = s[1], s2r = s[2], s2i = s[3], s3r = s[4], s3i = s[5];
  __m128d s4r = s[6], s4i = s[7], s5r = s[8], s5i = s[9];
  const __m128d zero = _mm_setzero_pd();
  const __m128d two = _mm_set1_pd(2.0);
  const __m128d sign = _mm_set1_pd(-0.0);  // flipping the sign bit is negation
  // y * 0 is 0 for a finite y and NaN otherwise; the sum keeps any NaN.
  __m128d finite_check = zero;
  auto feedback_re = [&](std::size_t m, __m128d yr, __m128d yi) {
    return _mm_sub_pd(_mm_mul_pd(ar[m], yr), _mm_mul_pd(ai[m], yi));
  };
  auto feedback_im = [&](std::size_t m, __m128d yr, __m128d yi) {
    return _mm_add_pd(_mm_mul_pd(ar[m], yi), _mm_mul_pd(ai[m], yr));
  };
  for (std::size_t i = 0; i < count; ++i) {
    const __m128d x = _mm_set1_pd(in[i]);
    const __m128d yr = s1r;
    const __m128d yi = s1i;
    s1r = _mm_add_pd(_mm_sub_pd(_mm_mul_pd(br[1], x), feedback_re(1, yr, yi)), s2r);
    s1i = _mm_add_pd(_mm_sub_pd(_mm_mul_pd(bi[1], x), feedback_im(1, yr, yi)), s2i);
    s2r = _mm_add_pd(_mm_sub_pd(_mm_mul_pd(br[2], x), feedback_re(2, yr, yi)), s3r);
    s2i = _mm_add_pd(_mm_sub_pd(_mm_mul_pd(bi[2], x), feedback_im(2, yr, yi)), s3i);
    s3r = _mm_add_pd(_mm_sub_pd(_mm_mul_pd(br[3], x), feedback_re(3, yr, yi)), s4r);
    s3i = _mm_add_pd(_mm_sub_pd(_mm_mul_pd(bi[3], x), feedback_im(3, yr, yi)), s4i);
    s4r = _mm_add_pd(_mm_sub_pd(_mm_mul_pd(br[4], x), feedback_re(4, yr, yi)), s5r);
    s4i = _mm_add_pd(_mm_sub_pd(_mm_mul_pd(bi[4], x), feedback_im(4, yr, yi)), s5i);
    s5r = _mm_xor_pd(feedback_re(5, yr, yi), sign);
    s5i = _mm_xor_pd(feedback_im(5, yr, yi), sign);
    const __m128d y = _mm_mul_pd(two, yr);
    finite_check = _mm_add_pd(finite_check, _mm_mul_pd(y, zero));
    _mm_storel_pd(out_first + i, y);
    _mm_storeh_pd(out_second + i, y);
  }
  const __m128d state[2 * ORDER] = {s1r, s1i, s2r, s2i, s3r, s3i, s4r, s4i, s5r, s5i};
  for (std::size_t k = 0; k < 2 * ORDER; ++k) {
    _mm_storel_pd(&first.s_[k], state[k]);
    _mm_storeh_pd(&second.s_[k], state[k]);
  }
  alignas(16) double check[2];
  _mm_store_pd(check, finite_check);
  return check[0] == 0.0 && check[1] == 0.0;
}
#else
bool AuditoryFilter::run_pair(AuditoryFilter& first, AuditoryFilter& second, const double* in,
                              std::size_t count, double* out_first, double* out_second) noexcept {
  return first.run(in, count, out_first) && second.run(in, count, out_second);
}
#endif

vh_status ecma_auditory_filter(const double* prepared, std::uint64_t length, std::size_t b,
                               double* band_out) noexcept {
  if (prepared == nullptr || band_out == nullptr) return VH_ERR_NULL_POINTER;
  if (b >= ECMA_BAND_COUNT) return VH_ERR_INVALID_ARGUMENT;
  AuditoryFilter filter(b);
  return filter.run(prepared, static_cast<std::size_t>(length), band_out) ? VH_OK
                                                                          : VH_ERR_NUMERICAL;
}

}  // namespace varnholt
