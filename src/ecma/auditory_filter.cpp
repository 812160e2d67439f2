// The auditory filter of a hearing-model band: five coincident complex poles
// at the band's centre frequency, run as one fifth-order recursion.
#include "ecma/auditory_filter.h"

#include <array>
#include <cmath>

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

vh_status ecma_auditory_filter(const double* prepared, std::uint64_t length, std::size_t b,
                               double* band_out) noexcept {
  if (prepared == nullptr || band_out == nullptr) return VH_ERR_NULL_POINTER;
  if (b >= ECMA_BAND_COUNT) return VH_ERR_INVALID_ARGUMENT;
  AuditoryFilter filter(b);
  return filter.run(prepared, static_cast<std::size_t>(length), band_out) ? VH_OK
                                                                          : VH_ERR_NUMERICAL;
}

}  // namespace varnholt
