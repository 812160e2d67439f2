// Specific tonality and combined specific loudness from the tonal and noise
// loudness of all bands of a frame.
#pragma once

#include "ecma/tonality/tonal_frames.h"
#include "varnholt.h"

namespace varnholt {

// Writes planes 3 and 4 of every frame from planes 0 and 1, then checks all
// five planes. Statuses: a non-finite output value -> VH_ERR_NUMERICAL.
vh_status tonal_weighting(const TonalPlanes& planes) noexcept;

}  // namespace varnholt
