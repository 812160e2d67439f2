// The fuzz target body shared by the frame-based exports: a frame-count
// export and an analysis export whose frames out-parameter follows one of
// two rules.
#pragma once

#include "fuzz_input.h"

namespace varnholt::fuzz {

enum class FramesRule {
  // Written only on success and on VH_ERR_OUTPUT_TOO_SMALL.
  only_on_success_or_short_buffer,
  // Cleared at once, set to the frame count once the sizes are known, and
  // kept after that whatever happens.
  cleared_then_kept,
};

struct FrameExport {
  vh_status (*frame_count)(size_t, int32_t, size_t*);
  // Analysis with the signal, count, rate, field, out, capacity, frames.
  vh_status (*analyse)(const double*, size_t, int32_t, vh_sound_field, double*, size_t, size_t*);
  std::size_t values_per_frame;
  FramesRule rule;
  bool non_negative;
  std::size_t max_length;
};

int run_frame_export(const FrameExport& e, const std::uint8_t* data, std::size_t size);

}  // namespace varnholt::fuzz
