// Tonality after Aures as a stream, one value per 250 ms frame (frames 125 ms
// apart):
//   T = 1.1055 * w_T^0.29 * w_Gr^0.79,
// w_T combining the tonal components of the frame (spectral peaks and narrow
// noise bands, each weighted by bandwidth, frequency and level above masking
// and the threshold in quiet), w_Gr = 1 - N_rest / N the share of the frame's
// loudness that its tonal components carry. A frame without tonal components
// has T = 0.
//
// The loudness of each frame comes from its third-octave levels, and the
// loudness model covers levels up to 120 dB in the bands up to 250 Hz: a frame
// louder than that in those bands cannot be measured, and the stream then
// fails with VH_ERR_NUMERICAL. This is intended: a tonality without its
// loudness ratio would be a different quantity.
#pragma once

#include <cstddef>
#include <memory>
#include <span>

#include "core/ready_frames.h"
#include "shorttime/overlapping_frames.h"
#include "shorttime/short_time_front.h"
#include "varnholt.h"

namespace varnholt {

// 250 ms frames with 50 % overlap at 48 kHz.
inline constexpr std::uint64_t AURES_FRAME_LENGTH = 12000;
inline constexpr std::uint64_t AURES_HOP = 6000;

class AuresTonalityStream {
 public:
  // Frame f covers samples 6000 f ... 6000 f + 11999.
  static constexpr std::size_t values_per_frame = 1;
  static constexpr ShortTimeFraming framing{AURES_FRAME_LENGTH, AURES_HOP, true};
  // Frame f is final once sample 6000 f + 11999 has been pushed.
  static constexpr std::size_t latency_samples = AURES_FRAME_LENGTH;

  // field must be a valid sound field. Builds the window, tables and FFT plan;
  // throws std::bad_alloc when memory or the plan is unavailable.
  explicit AuresTonalityStream(vh_sound_field field);
  AuresTonalityStream(AuresTonalityStream&&) noexcept;
  AuresTonalityStream& operator=(AuresTonalityStream&&) noexcept;
  ~AuresTonalityStream();

  // Finite samples in Pa at 48 kHz. VH_ERR_NUMERICAL when a frame cannot be
  // analysed (a non-finite stage, or a loudness the model does not cover);
  // the stream then stays failed.
  vh_status push(std::span<const double> samples);
  // VH_ERR_INPUT_TOO_SHORT below one whole frame (then no frame was emitted);
  // samples after the last whole frame are not analysed.
  vh_status finish();
  std::span<const double> ready() const noexcept { return frames_.ready(); }
  void take(std::size_t frames) noexcept { frames_.take(frames); }

 private:
  struct Workspace;
  std::unique_ptr<Workspace> workspace_;
  OverlappingFrames samples_;
  ReadyFrames frames_;
  vh_status status_ = VH_OK;
  bool finished_ = false;
};

}  // namespace varnholt
