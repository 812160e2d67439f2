// The third-octave band levels of a whole signal, as a stream and as an
// export of their own.
#include "loudness/third_octave_levels.h"

#include "core/boundary.h"
#include "core/checks.h"

namespace varnholt {

vh_status ThirdOctaveLevelsStream::push(std::span<const double> samples) {
  if (status_ != VH_OK) return status_;
  if (finished_) return VH_ERR_INVALID_ARGUMENT;
  sums_.push(samples);
  // Below the minimum length the end of the signal decides: a signal too
  // short for levels is reported as such even when its sums overflowed.
  if (sums_.count() >= THIRD_OCTAVE_MIN_COUNT && !sums_.finite()) return status_ = VH_ERR_NUMERICAL;
  return VH_OK;
}

vh_status ThirdOctaveLevelsStream::finish() {
  if (status_ != VH_OK || finished_) return status_;
  finished_ = true;
  if (sums_.count() < THIRD_OCTAVE_MIN_COUNT) return status_ = VH_ERR_INPUT_TOO_SHORT;
  if (!sums_.finite()) return status_ = VH_ERR_NUMERICAL;
  sums_.levels(frames_.append().data());
  return VH_OK;
}

}  // namespace varnholt

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
