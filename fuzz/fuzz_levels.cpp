// Fuzz target: the sound levels and the third-octave band levels of one
// decoded signal.
#include "fuzz_input.h"

using namespace varnholt::fuzz;

namespace {

// One level export: outputs written exactly on VH_OK, every level finite.
vh_status call_levels(vh_status (*levels)(const double*, size_t, int32_t, double*, size_t),
                      const FuzzCall& call, std::size_t required, std::vector<double>& out) {
  const std::size_t len = capacity_for(call.capacity, required);
  out.assign(len + 1, SENTINEL);
  double* out_ptr = call.capacity == Capacity::null_pointer ? nullptr : out.data();
  const vh_status s = levels(call.null_signal ? nullptr : call.signal.data(), call.signal.size(),
                             call.sample_rate, out_ptr, len);
  check_status(s);
  if (s == VH_OK) {
    check_results(out, required, false);
  } else {
    check_untouched(out);
  }
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FuzzCall call = decode(data, size, 3 * 48000);
  std::vector<double> levels;
  if (call_levels(vh_sound_levels, call, VH_SOUND_LEVEL_COUNT, levels) == VH_OK) {
    // A peak is never below the mean square of the same signal.
    require(levels[VH_LEVEL_LCPEAK] >= levels[VH_LEVEL_LCEQ] - 1e-9);
  }
  std::vector<double> bands;
  call_levels(vh_third_octave_levels, call, 28, bands);
  return 0;
}
