// From the block values of one band to its values on the output frame grid:
// interpolation, smoothing and the split into tonal and noise loudness; then
// the specific tonality and combined loudness of a whole frame.
#pragma once

#include <cstddef>

#include "ecma/band_scale.h"
#include "ecma/tonality/lowpass3.h"
#include "ecma/tonality/tonal_band_groups.h"
#include "ecma/tonality/tonal_component.h"

namespace varnholt {

// Values of one output frame: plane s, band b at 53 s + b.
inline constexpr std::size_t TONAL_FRAME_VALUES = TONAL_PLANE_COUNT * ECMA_BAND_COUNT;

// The per-band state of the frame series: smoothers of the tonal loudness T,
// the band loudness G and the tonal-to-noise ratio R, and the band's
// tonal-to-noise threshold.
class TonalBandFrames {
 public:
  TonalBandFrames(const TonalBandGroup& group, std::size_t band) noexcept;

  // The next frame of the band, a fraction w (0 <= w < 1) of the way from
  // block value `from` to `to`: writes its tonal loudness (plane 0), noise
  // loudness (plane 1) and tonal frequency (plane 2, not smoothed) to frame.
  void next_frame(const TonalBlockValue& from, const TonalBlockValue& to, double w,
                  double* frame) noexcept;

 private:
  std::size_t band_;
  double threshold_;
  TonalSmoother tonal_, total_, ratio_;
};

// Writes planes 3 and 4 of a frame from planes 0 and 1 of all bands. False
// when any of the frame's values is not finite.
bool tonal_weight_frame(double* frame) noexcept;

}  // namespace varnholt
