// The third-octave band levels of a whole signal as a stream: the band
// powers summed over every sample, their levels once the signal has ended
// (one frame, at finish()). The stationary loudness is computed from them.
#pragma once

#include <cstddef>
#include <limits>
#include <span>

#include "core/axes.h"
#include "core/ready_frames.h"
#include "loudness/third_octave.h"
#include "varnholt.h"

namespace varnholt {

class ThirdOctaveLevelsStream {
 public:
  // The one frame: the 28 band levels, dB re (20 uPa)^2.
  static constexpr std::size_t values_per_frame = THIRD_OCTAVE_BAND_COUNT;
  static constexpr std::size_t latency_samples = std::numeric_limits<std::size_t>::max();

  explicit ThirdOctaveLevelsStream(vh_sound_field) : frames_(values_per_frame, 1) {}

  // Finite samples in Pa at 48 kHz. VH_ERR_NUMERICAL once at least 256
  // samples arrived and a band's sum of squares is no longer finite.
  vh_status push(std::span<const double> samples);
  // Fewer than 256 samples: VH_ERR_INPUT_TOO_SHORT; a band sum that is not
  // finite: VH_ERR_NUMERICAL. On VH_OK the frame is ready.
  vh_status finish();
  std::span<const double> ready() const noexcept { return frames_.ready(); }
  void take(std::size_t frames) noexcept { frames_.take(frames); }

 private:
  BandPowerSums sums_{0};
  ReadyFrames frames_;
  vh_status status_ = VH_OK;
  bool finished_ = false;
};

}  // namespace varnholt
