// Core loudness after Zwicker: 28 third-octave levels to the loudness of the
// 20 critical bands below 24 Bark.
#pragma once

#include <cstddef>

#include "varnholt.h"

namespace varnholt {

// The third-octave bands 25...250 Hz, which the core loudness weights and
// sums into the three lowest critical bands; its weighting covers levels up
// to 120 dB.
inline constexpr std::size_t LOW_BAND_COUNT = 11;
inline constexpr double LOW_BAND_MAX_LEVEL_DB = 120.0;

// Entries 0..19: the 20 critical bands in sone/Bark; entry 20 is always 0.
inline constexpr std::size_t CORE_LOUDNESS_LENGTH = 21;

// Core loudness of 28 finite levels (dB re (2e-5 Pa)^2, centre-frequency
// order) into core[21]. sound_field must be 0 (free) or 1 (diffuse). The
// levels of bands 0..10 above 120 dB lie outside the low-band weighting and
// are the caller's to refuse.
void core_loudness(const double* levels, vh_sound_field sound_field, double* core) noexcept;

}  // namespace varnholt
