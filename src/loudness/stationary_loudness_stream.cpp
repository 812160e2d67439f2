// Stationary loudness of a stream: the band powers summed over every sample,
// their levels and the loudness of those levels once the signal has ended.
#include "loudness/stationary_loudness_stream.h"

#include <algorithm>

#include "loudness/stationary_loudness.h"

namespace varnholt {

StationaryLoudnessStream::StationaryLoudnessStream(vh_sound_field field)
    : sound_field_(field), frames_(values_per_frame, 1) {}

vh_status StationaryLoudnessStream::push(std::span<const double> samples) {
  if (status_ != VH_OK) return status_;
  if (finished_) return VH_ERR_INVALID_ARGUMENT;
  sums_.push(samples);
  // Below the minimum length the end of the signal decides: a signal too
  // short for levels is reported as such even when its sums overflowed.
  if (sums_.count() >= THIRD_OCTAVE_MIN_COUNT && !sums_.finite()) return status_ = VH_ERR_NUMERICAL;
  return VH_OK;
}

vh_status StationaryLoudnessStream::finish() {
  if (status_ != VH_OK || finished_) return status_;
  finished_ = true;
  if (sums_.count() < THIRD_OCTAVE_MIN_COUNT) return status_ = VH_ERR_INPUT_TOO_SHORT;
  if (!sums_.finite()) return status_ = VH_ERR_NUMERICAL;
  double levels[THIRD_OCTAVE_BAND_COUNT];
  sums_.levels(levels);
  double loudness = 0.0;
  double pattern[SPECIFIC_LOUDNESS_LENGTH];
  status_ = loudness_from_levels(levels, sound_field_, &loudness, pattern);
  if (status_ != VH_OK) return status_;
  const std::span<double> frame = frames_.append();
  frame[0] = loudness;
  std::copy(pattern, pattern + SPECIFIC_LOUDNESS_LENGTH, frame.begin() + 1);
  return VH_OK;
}

}  // namespace varnholt
