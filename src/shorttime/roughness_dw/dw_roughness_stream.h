// Roughness after Daniel and Weber as a stream: one value in asper for every
// 200 ms frame, frames 100 ms apart.
#ifndef VARNHOLT_SHORTTIME_ROUGHNESS_DW_DW_ROUGHNESS_STREAM_H
#define VARNHOLT_SHORTTIME_ROUGHNESS_DW_DW_ROUGHNESS_STREAM_H

#include <cstddef>
#include <memory>
#include <span>

#include "core/ready_frames.h"
#include "shorttime/overlapping_frames.h"
#include "shorttime/roughness_dw/dw_roughness.h"
#include "shorttime/short_time_front.h"
#include "varnholt.h"

namespace varnholt {

class DwRoughnessStream {
 public:
  // Frame f covers samples 4800 f ... 4800 f + 9599.
  static constexpr std::size_t values_per_frame = 1;
  static constexpr ShortTimeFraming framing{DW_FRAME_LENGTH, DW_HOP, false};
  // Frame f is final once sample 4800 f + 9599 has been pushed.
  static constexpr std::size_t latency_samples = DW_FRAME_LENGTH;

  // Roughness has no sound-field correction: the field is ignored. Builds the
  // tables and FFT plans; throws std::bad_alloc when memory or a plan is
  // unavailable.
  explicit DwRoughnessStream(vh_sound_field field = VH_SOUND_FIELD_FREE);
  DwRoughnessStream(DwRoughnessStream&&) noexcept;
  DwRoughnessStream& operator=(DwRoughnessStream&&) noexcept;
  ~DwRoughnessStream();

  // Finite samples in Pa at 48 kHz. VH_ERR_NUMERICAL when a spectrum,
  // envelope or sum of a frame is not finite; the stream then stays failed.
  vh_status push(std::span<const double> samples);
  // VH_ERR_INPUT_TOO_SHORT below one whole frame (then no frame was emitted);
  // samples after the last whole frame are not analysed.
  vh_status finish();
  std::span<const double> ready() const noexcept { return frames_.ready(); }
  void take(std::size_t frames) noexcept { frames_.take(frames); }

 private:
  struct Analysis;
  std::unique_ptr<Analysis> analysis_;
  OverlappingFrames samples_;
  ReadyFrames frames_;
  vh_status status_ = VH_OK;
  bool finished_ = false;
};

}  // namespace varnholt

#endif
