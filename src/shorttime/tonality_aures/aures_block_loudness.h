// Loudness after ISO 532-1 of one analysis frame, from its third-octave levels.
#pragma once

#include <cstdint>

#include "core/axes.h"
#include "varnholt.h"

namespace varnholt {

// Working arrays of one loudness computation, made once per call.
struct BlockLoudnessScratch {
  double levels[THIRD_OCTAVE_BAND_COUNT];     // dB, 25 Hz .. 12.5 kHz
  double specific[SPECIFIC_LOUDNESS_LENGTH];  // sone/Bark, 0.1 .. 24 Bark
};

// Total loudness in sone, for a valid sound field, of count samples (Pa, 48 kHz) whose first
// settle_count filter outputs are left out of the band levels (they still
// carry the filters' transients). False when the levels or the loudness
// cannot be formed, among them a level above 120 dB in a band up to 250 Hz,
// which the loudness model does not cover.
bool aures_block_loudness(const double* samples, std::uint64_t count, std::uint64_t settle_count,
                          vh_sound_field sound_field, BlockLoudnessScratch& scratch,
                          double* loudness) noexcept;

}  // namespace varnholt
