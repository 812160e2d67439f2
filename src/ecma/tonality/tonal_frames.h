// From the block series of one band to its values on the output frame grid:
// interpolation, smoothing and the split into tonal and noise loudness.
#pragma once

#include <cstddef>

#include "ecma/tonality/tonal_band_groups.h"
#include "ecma/tonality/tonal_component.h"

namespace varnholt {

// Frame series of one band, c values each, reused band after band.
struct TonalFrameSeries {
  double* tonal;  // T_k
  double* total;  // G_k
  double* ratio;  // R_k
};

// Output planes of the call: plane s, frame k, band b at
// planes[s * 53 * c + 53 * k + b].
struct TonalPlanes {
  double* values;
  std::size_t frame_count;  // c
  double* at(std::size_t plane, std::size_t frame, std::size_t band) const noexcept;
};

// Carries the block series of result band P of `group` onto the frames,
// smooths them, and writes the band's tonal loudness (plane 0), noise
// loudness (plane 1) and tonal frequency (plane 2, not smoothed).
void tonal_band_frames(const TonalBlockSeries& blocks, std::size_t block_count,
                       const TonalBandGroup& group, std::size_t band,
                       const TonalFrameSeries& frames, const TonalPlanes& planes) noexcept;

}  // namespace varnholt
