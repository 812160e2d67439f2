// Streams of the sound levels and the band levels: the running sums of the
// whole-signal functions, read out once the signal has ended.
#include "levels/level_streams.h"

#include <algorithm>

namespace varnholt {

vh_status SoundLevelsStream::push(std::span<const double> samples) {
  if (status_ != VH_OK) return status_;
  if (finished_) return VH_ERR_INVALID_ARGUMENT;
  meter_.push(samples);
  return VH_OK;
}

vh_status SoundLevelsStream::finish() {
  if (status_ != VH_OK || finished_) return status_;
  finished_ = true;
  if (meter_.count() == 0) return status_ = VH_ERR_INPUT_TOO_SHORT;
  double levels[VH_SOUND_LEVEL_COUNT];
  status_ = meter_.levels(levels);
  if (status_ != VH_OK) return status_;
  const std::span<double> frame = frames_.append();
  std::copy(levels, levels + VH_SOUND_LEVEL_COUNT, frame.begin());
  return VH_OK;
}

vh_status ThirdOctaveLevelsStream::push(std::span<const double> samples) {
  if (status_ != VH_OK) return status_;
  if (finished_) return VH_ERR_INVALID_ARGUMENT;
  sums_.push(samples);
  // Below the minimum length the end of the signal decides: a signal too
  // short for levels is reported as such even when its sums overflowed.
  if (sums_.count() >= THIRD_OCTAVE_MIN_COUNT && !sums_.finite()) return status_ = VH_ERR_NUMERICAL;
  return VH_OK;
}

vh_status ThirdOctaveLevelsStream::finish() {
  if (status_ != VH_OK || finished_) return status_;
  finished_ = true;
  if (sums_.count() < THIRD_OCTAVE_MIN_COUNT) return status_ = VH_ERR_INPUT_TOO_SHORT;
  if (!sums_.finite()) return status_ = VH_ERR_NUMERICAL;
  sums_.levels(frames_.append().data());
  return VH_OK;
}

}  // namespace varnholt
