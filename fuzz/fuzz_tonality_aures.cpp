// Fuzz target: tonality after Aures.
#include "short_time_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace varnholt::fuzz;
  static const FrameExport e{vh_tonality_frame_count, vh_tonality_aures, 1,
                             FramesRule::only_on_success_or_short_buffer, true, 2 * 48000};
  return run_frame_export(e, data, size);
}
