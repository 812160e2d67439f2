// Shared argument checks of the computing exports.
#include "core/checks.h"

namespace varnholt {

vh_status validate_signal(const double* samples, std::uint64_t count,
                          std::int32_t sample_rate) noexcept {
  if (samples == nullptr) return VH_ERR_NULL_POINTER;
  if (count == 0) return VH_ERR_INPUT_TOO_SHORT;
  if (sample_rate != VH_SAMPLE_RATE) return VH_ERR_INVALID_SAMPLE_RATE;
  if (count > MAX_SIGNAL_COUNT) return VH_ERR_SIZE_OVERFLOW;
  for (std::uint64_t i = 0; i < count; ++i) {
    if (!is_finite_value(samples[i])) return VH_ERR_NON_FINITE_INPUT;
  }
  return VH_OK;
}

int compare_ascending(const void* a, const void* b) noexcept {
  const double x = *static_cast<const double*>(a);
  const double y = *static_cast<const double*>(b);
  return (x > y) - (x < y);
}

}  // namespace varnholt
