// The sound levels as a stream: averages and maxima over the whole signal,
// so the stream yields one frame, at finish().
#pragma once

#include <cstddef>
#include <limits>
#include <span>

#include "core/ready_frames.h"
#include "levels/sound_levels.h"
#include "varnholt.h"

namespace varnholt {

class SoundLevelsStream {
 public:
  // The one frame: the levels ordered by the VH_LEVEL_ indices, dB re 20 uPa.
  static constexpr std::size_t values_per_frame = VH_SOUND_LEVEL_COUNT;
  static constexpr std::size_t latency_samples = std::numeric_limits<std::size_t>::max();

  // The levels do not depend on the sound field.
  explicit SoundLevelsStream(vh_sound_field) : frames_(values_per_frame, 1) {}

  // Finite samples in Pa at 48 kHz.
  vh_status push(std::span<const double> samples);
  // No sample: VH_ERR_INPUT_TOO_SHORT; a level that is not finite:
  // VH_ERR_NUMERICAL. On VH_OK the frame is ready.
  vh_status finish();
  std::span<const double> ready() const noexcept { return frames_.ready(); }
  void take(std::size_t frames) noexcept { frames_.take(frames); }

 private:
  SoundLevelMeter meter_;
  ReadyFrames frames_;
  vh_status status_ = VH_OK;
  bool finished_ = false;
};

}  // namespace varnholt
