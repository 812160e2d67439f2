// Loudness of a frame and of its residual: third-octave block levels, then the
// loudness model on those 28 levels.
#include "shorttime/tonality_aures/aures_block_loudness.h"

#include "loudness/third_octave.h"
#include "varnholt.h"

namespace varnholt {

bool aures_block_loudness(const double* samples, std::uint64_t count, std::uint64_t settle_count,
                          int sound_field, BlockLoudnessScratch& scratch,
                          double* loudness) noexcept {
  if (third_octave_block_levels(samples, count, settle_count, scratch.levels) != VH_OK) {
    return false;
  }
  return vh_loudness_from_levels(scratch.levels, THIRD_OCTAVE_BAND_COUNT, sound_field, loudness,
                                 scratch.specific, SPECIFIC_LOUDNESS_LENGTH) == VH_OK;
}

}  // namespace varnholt
