// Loudness of a frame and of its residual: third-octave block levels, then the
// loudness model on those 28 levels.
#include "shorttime/tonality_aures/aures_block_loudness.h"

#include "loudness/stationary_loudness.h"
#include "loudness/third_octave.h"

namespace varnholt {

bool aures_block_loudness(const double* samples, std::uint64_t count, std::uint64_t settle_count,
                          vh_sound_field sound_field, BlockLoudnessScratch& scratch,
                          double* loudness) noexcept {
  if (third_octave_block_levels(samples, count, settle_count, scratch.levels) != VH_OK) {
    return false;
  }
  return loudness_from_levels(scratch.levels, sound_field, loudness, scratch.specific) == VH_OK;
}

}  // namespace varnholt
