// Common entry logic of the frame-based metrics: framing and the fixed order
// of argument checks.
#include "shorttime/short_time_front.h"

namespace varnholt {

namespace {

// Counts above 2^31 - 1 samples (some 12 hours) are refused, as they always
// were.
constexpr std::uint64_t MAX_SHORT_TIME_SAMPLES = 2147483647ULL;

// Checks shared by both kinds of entry point, after the pointer checks:
// rate, then size, then length.
vh_status check_framing(std::uint64_t n, std::int32_t sample_rate, const ShortTimeFraming& framing) {
  if (sample_rate != VH_SAMPLE_RATE) return VH_ERR_INVALID_SAMPLE_RATE;
  if (n > MAX_SHORT_TIME_SAMPLES) return VH_ERR_SIZE_OVERFLOW;
  if (n < framing.frame_length) return VH_ERR_INPUT_TOO_SHORT;
  return VH_OK;
}

// Whole frames of frame_length samples, hop samples apart; n >= frame_length.
std::uint64_t frames_of(std::uint64_t n, const ShortTimeFraming& framing) {
  return (n - framing.frame_length) / framing.hop + 1;
}

}  // namespace

vh_status short_time_frame_count(std::uint64_t n, std::int32_t sample_rate,
                                 const ShortTimeFraming& framing, std::uint64_t* frame_count) {
  if (frame_count == nullptr) return VH_ERR_NULL_POINTER;
  const vh_status status = check_framing(n, sample_rate, framing);
  if (status != VH_OK) return status;
  *frame_count = frames_of(n, framing);
  return VH_OK;
}

vh_status check_short_time_call(const double* signal, std::uint64_t n, std::int32_t sample_rate,
                                std::int32_t sound_field, const ShortTimeFraming& framing,
                                const double* out, std::uint64_t capacity,
                                std::uint64_t* frame_count, std::uint64_t* frames) {
  if (signal == nullptr || out == nullptr || frame_count == nullptr) return VH_ERR_NULL_POINTER;
  const vh_status status = check_framing(n, sample_rate, framing);
  if (status != VH_OK) return status;
  if (framing.checks_sound_field && !is_valid_sound_field(sound_field)) {
    return VH_ERR_INVALID_SOUND_FIELD;
  }
  const std::uint64_t count = frames_of(n, framing);
  if (capacity < count) {
    // The only failure that reports the count: a call with capacity 0 sizes the output.
    *frame_count = count;
    return VH_ERR_OUTPUT_TOO_SMALL;
  }
  const vh_status samples = validate_signal(signal, n, sample_rate);
  if (samples != VH_OK) return samples;
  std::uint64_t bytes = 0;
  if (!checked_mul(count, sizeof(double), &bytes)) return VH_ERR_SIZE_OVERFLOW;
  *frames = count;
  return VH_OK;
}

}  // namespace varnholt
