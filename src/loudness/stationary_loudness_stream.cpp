// Stationary loudness of a stream: the band levels of the whole signal, and
// the loudness of those levels once the signal has ended.
#include "loudness/stationary_loudness_stream.h"

#include <algorithm>

#include "loudness/stationary_loudness.h"

namespace varnholt {

StationaryLoudnessStream::StationaryLoudnessStream(vh_sound_field field)
    : sound_field_(field), levels_(field), frames_(values_per_frame, 1) {}

vh_status StationaryLoudnessStream::push(std::span<const double> samples) {
  if (status_ != VH_OK) return status_;
  if (finished_) return VH_ERR_INVALID_ARGUMENT;
  return status_ = levels_.push(samples);
}

vh_status StationaryLoudnessStream::finish() {
  if (status_ != VH_OK || finished_) return status_;
  finished_ = true;
  status_ = levels_.finish();
  if (status_ != VH_OK) return status_;
  double loudness = 0.0;
  double pattern[SPECIFIC_LOUDNESS_LENGTH];
  status_ = loudness_from_levels(levels_.ready().first<THIRD_OCTAVE_BAND_COUNT>(), sound_field_, &loudness, pattern);
  if (status_ != VH_OK) return status_;
  const std::span<double> frame = frames_.append();
  frame[0] = loudness;
  std::copy(pattern, pattern + SPECIFIC_LOUDNESS_LENGTH, frame.begin() + 1);
  return VH_OK;
}

}  // namespace varnholt
