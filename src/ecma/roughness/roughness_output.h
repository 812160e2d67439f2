// The output stage of the hearing-model roughness: a compressive power law
// per frame and asymmetric smoothing over time.
#pragma once

#include <cstdint>

#include "varnholt.h"

namespace varnholt {

// Transforms `frames` frames of 53 resampled band roughness values (frame-major,
// in place) into specific roughness in asper per band: each value is raised to
// an exponent that grows when the frame's roughness is concentrated in few
// bands, scaled, and smoothed with a 62.5 ms rise and a 500 ms fall time
// constant. Frame 0 is not smoothed. A non-finite result gives
// VH_ERR_NUMERICAL (frames before it stay transformed).
vh_status transform_roughness_frames(double* values, std::uint64_t frames) noexcept;

}  // namespace varnholt
