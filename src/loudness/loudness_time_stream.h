// Time-varying loudness after Zwicker's dynamic method as a stream: samples in
// chunks of any size, one frame of total and specific loudness every 2 ms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "core/axes.h"
#include "core/ready_frames.h"
#include "varnholt.h"

namespace varnholt {

class LoudnessTimeStream {
 public:
  // Frame f belongs to sample 96 f and holds [N (sone), N'(240) sone/Bark].
  static constexpr std::size_t values_per_frame = 1 + SPECIFIC_LOUDNESS_LENGTH;
  static constexpr std::size_t hop = 96;
  // Frame f is final as soon as sample 96 f has been pushed.
  static constexpr std::size_t latency_samples = 1;

  // field must be a valid sound field. Throws std::bad_alloc.
  explicit LoudnessTimeStream(vh_sound_field field);
  LoudnessTimeStream(LoudnessTimeStream&&) noexcept;
  LoudnessTimeStream& operator=(LoudnessTimeStream&&) noexcept;
  ~LoudnessTimeStream();

  // Finite samples in Pa at 48 kHz. VH_ERR_NUMERICAL when a band power, core
  // value or total stops being finite; the stream then stays failed.
  vh_status push(std::span<const double> samples);
  // VH_ERR_INPUT_TOO_SHORT when no sample arrived; no frame waits for the end.
  vh_status finish();
  std::span<const double> ready() const noexcept { return frames_.ready(); }
  void take(std::size_t frames) noexcept { frames_.take(frames); }

 private:
  struct Model;
  std::unique_ptr<Model> model_;
  ReadyFrames frames_;
  std::uint64_t samples_ = 0;
  vh_status status_ = VH_OK;
  bool finished_ = false;
};

}  // namespace varnholt
