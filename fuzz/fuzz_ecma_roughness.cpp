// Fuzz target: roughness with the ECMA-418-2 hearing model.
#include "short_time_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace varnholt::fuzz;
  static const FrameExport e{vh_ecma_roughness_frame_count, vh_roughness_ecma, 53,
                             FramesRule::cleared_then_kept, true, 48000};
  return run_frame_export(e, data, size);
}
