// The auditory filter of one hearing-model band: a fifth-order complex
// resonator at the band's centre frequency whose real part is the band signal.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "varnholt.h"

namespace varnholt {

// The filter of one band with its state, run over a signal in successive
// pieces from zero state.
class AuditoryFilter {
 public:
  static constexpr std::size_t ORDER = 5;

  // Complex coefficients; index m multiplies z^-m.
  struct Coefficients {
    std::array<double, ORDER + 1> a_re{}, a_im{};
    std::array<double, ORDER + 1> b_re{}, b_im{};
  };

  // The filter of band b (0..52, not checked).
  explicit AuditoryFilter(std::size_t b) noexcept;

  // Filters the next `count` samples of `in` into `out` (2 Re(y), one sample
  // behind the input; the two must not overlap). False on the first
  // non-finite output.
  bool run(const double* in, std::size_t count, double* out) noexcept;

  // Runs two filters over the same input at once, each exactly as run() would
  // (bit-identical outputs): the recursion of one band is bound by the
  // latency of its arithmetic, so a second band in the other half of a
  // vector register comes almost free. False when an output of either is
  // not finite (the outputs are then unspecified).
  static bool run_pair(AuditoryFilter& first, AuditoryFilter& second, const double* in,
                       std::size_t count, double* out_first, double* out_second) noexcept;

 private:
  Coefficients c_;
  std::array<double, 2 * ORDER> s_{};
};

// Filters `length` samples of `prepared` with the filter of band b (0..52) and
// writes the band signal, 2 * Re(y), to band_out[0 .. length-1]. The output
// lags the input by one sample. `prepared` and `band_out` must not overlap.
// Statuses: prepared or band_out null -> VH_ERR_NULL_POINTER; b > 52 ->
// VH_ERR_INVALID_ARGUMENT; a non-finite output -> VH_ERR_NUMERICAL (the
// values before it stay written).
vh_status ecma_auditory_filter(const double* prepared, std::uint64_t length, std::size_t b,
                               double* band_out) noexcept;

}  // namespace varnholt
