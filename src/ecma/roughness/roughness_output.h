// The output stage of the hearing-model roughness: a compressive power law
// per frame and asymmetric smoothing over time.
#pragma once

#include <array>
#include <cstdint>

#include "ecma/band_scale.h"

#include "varnholt.h"

namespace varnholt {

// The output stage frame by frame: keeps the previous output frame for the
// smoothing.
class RoughnessOutputStage {
 public:
  RoughnessOutputStage() noexcept;
  // Transforms the next frame of 53 resampled band roughness values in place.
  // False on a non-finite result (the stage is then of no further use).
  bool transform(double* r) noexcept;

 private:
  double rise_, fall_;
  bool has_previous_ = false;
  std::array<double, ECMA_BAND_COUNT> previous_{};
};

// Transforms `frames` frames of 53 resampled band roughness values (frame-major,
// in place) into specific roughness in asper per band: each value is raised to
// an exponent that grows when the frame's roughness is concentrated in few
// bands, scaled, and smoothed with a 62.5 ms rise and a 500 ms fall time
// constant. Frame 0 is not smoothed. A non-finite result gives
// VH_ERR_NUMERICAL (frames before it stay transformed).
vh_status transform_roughness_frames(double* values, std::uint64_t frames) noexcept;

}  // namespace varnholt
