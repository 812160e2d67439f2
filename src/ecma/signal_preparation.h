// Preparation of a signal for the hearing model: 5 ms fade-in, leading and
// trailing zeros, and the outer and middle ear filter of the sound field.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "varnholt.h"

namespace varnholt {

// Length of the raised-cosine fade-in: 240 samples, 5 ms at 48 kHz. It keeps
// the filters from ringing on a step at the start of the signal.
inline constexpr std::uint64_t FADE_IN_LENGTH = 240;

// Input sample `index` (counted from the first) of value x after the fade-in.
double faded_in(double x, std::uint64_t index) noexcept;

// The outer and middle ear filter of a sound field (free field: eight
// second-order sections, diffuse field: the last six), run over a signal in
// successive pieces from zero state.
class OuterMiddleEarFilter {
 public:
  static constexpr std::size_t SECTION_COUNT = 8;

  explicit OuterMiddleEarFilter(vh_sound_field sound_field) noexcept;

  // Filters the next `count` samples in place. False on the first non-finite
  // output (the filter is then of no further use).
  bool run(double* x, std::size_t count) noexcept;

 private:
  std::size_t first_section_;
  std::array<std::array<double, 2>, SECTION_COUNT> state_{};
};

// Builds the prepared signal in `prepared` (which is cleared first and stays
// empty on every failure): `lead` zeros, then the n input samples with the
// first 240 faded in by a raised cosine, then zeros up to the total length T.
// T = n + lead, or with `pad_to_hop` ceil((n + lead) / hop) * hop + lead. The
// outer and middle ear filter (free field: eight second-order sections,
// diffuse field: the last six) runs from index `lead` to the end, so the
// trailing zeros carry the filter's decay. The length of the prepared signal
// is prepared.size().
//
// Statuses, in check order: invalid sound field, lead < 2, hop 0 or
// hop > lead -> VH_ERR_INVALID_ARGUMENT; n < 240 -> VH_ERR_INPUT_TOO_SHORT;
// a sum that wraps or T > 2^60 - 1 -> VH_ERR_SIZE_OVERFLOW; the statuses of
// validate_signal (null signal, non-finite sample); VH_ERR_ALLOCATION; a
// non-finite filter output -> VH_ERR_NUMERICAL.
vh_status ecma_prepare_signal(const double* signal, std::uint64_t n, std::uint64_t lead,
                              std::uint64_t hop, bool pad_to_hop, vh_sound_field sound_field,
                              std::vector<double>& prepared) noexcept;

}  // namespace varnholt
