// The third-octave band levels of a whole signal as an export of their own:
// the levels the stationary loudness is computed from.
#include "core/axes.h"
#include "core/boundary.h"
#include "core/checks.h"
#include "loudness/third_octave.h"

extern "C" VH_EXPORT vh_status vh_third_octave_levels(const double* samples, size_t count,
                                                      int32_t sample_rate, double* levels,
                                                      size_t levels_len) {
  using namespace varnholt;
  return guarded_call([&]() -> vh_status {
    if (levels == nullptr) return VH_ERR_NULL_POINTER;
    if (levels_len < THIRD_OCTAVE_BAND_COUNT) return VH_ERR_OUTPUT_TOO_SMALL;
    const vh_status signal_status = validate_signal(samples, count, sample_rate);
    if (signal_status != VH_OK) return signal_status;
    if (count < THIRD_OCTAVE_MIN_COUNT) return VH_ERR_INPUT_TOO_SHORT;
    return third_octave_signal_levels(samples, count, levels);
  });
}
