// Common entry logic of the frame-based metrics: framing, the fixed order of
// argument checks, the private result buffer and the mapping of core codes.
#include "shorttime/short_time_front.h"

#include <algorithm>
#include <new>
#include <vector>

#include "core/checks.h"

namespace varnholt {

namespace {

// The cores count samples in a signed 32-bit int.
constexpr std::uint64_t MAX_SHORT_TIME_SAMPLES = 2147483647ULL;

// Core codes with a meaning of their own; every other negative code is a
// failed computation.
constexpr int CORE_ALLOCATION_FAILED = -2;
constexpr int CORE_PLAN_FAILED = -6;

// Checks shared by both kinds of entry point, after the pointer checks:
// rate, then size, then length.
vh_status check_framing(std::uint64_t n, std::int32_t sample_rate, const ShortTimeMetric& metric) {
  if (sample_rate != VH_SAMPLE_RATE) return VH_ERR_INVALID_SAMPLE_RATE;
  if (n > MAX_SHORT_TIME_SAMPLES) return VH_ERR_SIZE_OVERFLOW;
  if (n < metric.frame_length) return VH_ERR_INPUT_TOO_SHORT;
  return VH_OK;
}

// Whole frames of frame_length samples, hop samples apart; n >= frame_length.
std::uint64_t frames_of(std::uint64_t n, const ShortTimeMetric& metric) {
  return (n - metric.frame_length) / metric.hop + 1;
}

vh_status status_of_core_result(int result, int slot, std::uint64_t frames,
                                const ShortTimeMetric& metric) {
  if (result == CORE_ALLOCATION_FAILED) return VH_ERR_ALLOCATION;
  if (result == CORE_PLAN_FAILED && metric.plan_failure_is_allocation) return VH_ERR_ALLOCATION;
  if (result < 0) return VH_ERR_NUMERICAL;
  if (static_cast<std::uint64_t>(result) != frames || slot < 0 ||
      static_cast<std::uint64_t>(slot) != frames) {
    return VH_ERR_NUMERICAL;
  }
  return VH_OK;
}

}  // namespace

vh_status short_time_frame_count(std::uint64_t n, std::int32_t sample_rate,
                                 const ShortTimeMetric& metric, std::uint64_t* frame_count) {
  if (frame_count == nullptr) return VH_ERR_NULL_POINTER;
  const vh_status framing = check_framing(n, sample_rate, metric);
  if (framing != VH_OK) return framing;
  *frame_count = frames_of(n, metric);
  return VH_OK;
}

vh_status short_time_metric_front(const double* signal, std::uint64_t n, std::int32_t sample_rate,
                                  std::int32_t sound_field, const ShortTimeMetric& metric,
                                  double* out, std::uint64_t capacity, std::uint64_t* frame_count) {
  if (signal == nullptr || out == nullptr || frame_count == nullptr) return VH_ERR_NULL_POINTER;
  const vh_status framing = check_framing(n, sample_rate, metric);
  if (framing != VH_OK) return framing;
  if (metric.checks_sound_field && !is_valid_sound_field(sound_field)) {
    return VH_ERR_INVALID_SOUND_FIELD;
  }
  const std::uint64_t frames = frames_of(n, metric);
  if (capacity < frames) {
    // The only failure that reports the count: a call with capacity 0 sizes the output.
    *frame_count = frames;
    return VH_ERR_OUTPUT_TOO_SMALL;
  }
  const vh_status samples = validate_signal(signal, n, sample_rate);
  if (samples != VH_OK) return samples;
  std::uint64_t bytes = 0;
  if (!checked_mul(frames, sizeof(double), &bytes)) return VH_ERR_SIZE_OVERFLOW;

  // The core writes into a buffer of our own, so a failure part-way through
  // leaves the caller's array as it was.
  std::vector<double> values;
  try {
    values.resize(frames);
  } catch (const std::bad_alloc&) {
    return VH_ERR_ALLOCATION;
  }
  int slot = static_cast<int>(frames);
  const int result = metric.core(signal, static_cast<int>(n), static_cast<double>(VH_SAMPLE_RATE),
                                 sound_field, values.data(), &slot);
  const vh_status core_status = status_of_core_result(result, slot, frames, metric);
  if (core_status != VH_OK) return core_status;
  for (const double v : values) {
    if (!is_finite_value(v) || v < 0.0) return VH_ERR_NUMERICAL;
  }
  std::copy(values.begin(), values.end(), out);
  *frame_count = frames;
  return VH_OK;
}

}  // namespace varnholt
