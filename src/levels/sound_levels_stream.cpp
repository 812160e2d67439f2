// The sound levels of a stream: the level meter's running sums, read out once
// the signal has ended.
#include "levels/sound_levels_stream.h"

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

}  // namespace varnholt
