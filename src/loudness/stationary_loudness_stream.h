// Stationary loudness after Zwicker as a stream: the third-octave levels of
// the whole signal, then one frame of total and specific loudness at the end.
#pragma once

#include <cstddef>
#include <limits>
#include <span>

#include "core/axes.h"
#include "core/ready_frames.h"
#include "loudness/third_octave_levels.h"
#include "loudness/third_octave.h"
#include "varnholt.h"

namespace varnholt {

class StationaryLoudnessStream {
 public:
  // The one frame: [N (sone), N'(240) sone/Bark].
  static constexpr std::size_t values_per_frame = 1 + SPECIFIC_LOUDNESS_LENGTH;
  // The levels average over the whole signal: the frame is final only at
  // finish(), whatever followed.
  static constexpr std::size_t latency_samples = std::numeric_limits<std::size_t>::max();

  // field must be a valid sound field.
  explicit StationaryLoudnessStream(vh_sound_field field);

  // Finite samples in Pa at 48 kHz. VH_ERR_NUMERICAL once at least 256
  // samples arrived and a band's sum of squares is no longer finite; the
  // stream then stays failed.
  vh_status push(std::span<const double> samples);
  // Fewer than 256 samples: VH_ERR_INPUT_TOO_SHORT. Otherwise the statuses of
  // the loudness of the levels (VH_ERR_INVALID_ARGUMENT for a band up to
  // 250 Hz above 120 dB, VH_ERR_NUMERICAL); on VH_OK the frame is ready.
  vh_status finish();
  std::span<const double> ready() const noexcept { return frames_.ready(); }
  void take(std::size_t frames) noexcept { frames_.take(frames); }

 private:
  vh_sound_field sound_field_;
  ThirdOctaveLevelsStream levels_;
  ReadyFrames frames_;
  vh_status status_ = VH_OK;
  bool finished_ = false;
};

}  // namespace varnholt
