// Fuzz target: roughness after Daniel and Weber.
#include "short_time_target.h"

namespace {
vh_status analyse(const double* x, size_t n, int32_t rate, vh_sound_field, double* out,
                  size_t capacity, size_t* frames) {
  return vh_roughness_dw(x, n, rate, out, capacity, frames);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace varnholt::fuzz;
  static const FrameExport e{vh_roughness_frame_count, analyse, 1,
                             FramesRule::only_on_success_or_short_buffer, true, 3 * 48000};
  return run_frame_export(e, data, size);
}
