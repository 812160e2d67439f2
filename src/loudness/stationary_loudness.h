// Stationary loudness after Zwicker from 28 third-octave levels.
#pragma once

#include <cstdint>
#include <span>

#include "core/axes.h"
#include "varnholt.h"

namespace varnholt {

// Loudness in sone of 28 levels (dB re (2e-5 Pa)^2, centre-frequency order)
// for a valid sound field: VH_ERR_NON_FINITE_INPUT for a non-finite level and
// VH_ERR_INVALID_ARGUMENT for a band up to 250 Hz above 120 dB (checked band
// by band), VH_ERR_NUMERICAL when the core loudness or the total is not
// finite. loudness and specific[240] (optional) are written only on VH_OK.
vh_status loudness_from_levels(std::span<const double, THIRD_OCTAVE_BAND_COUNT> levels,
                               vh_sound_field sound_field, double* loudness,
                               double* specific) noexcept;

// Total loudness in sone of a block of samples (Pa, 48 kHz, finite) for a
// valid sound field, whose first settle_count filter outputs are left out of
// the band levels (they still carry the filters' transients). The statuses of
// third_octave_block_levels, then those of loudness_from_levels (a level above
// 120 dB in a band up to 250 Hz is VH_ERR_INVALID_ARGUMENT). *loudness is
// written only on VH_OK.
vh_status block_loudness(std::span<const double> samples, std::uint64_t settle_count,
                         vh_sound_field sound_field, double* loudness) noexcept;

}  // namespace varnholt
