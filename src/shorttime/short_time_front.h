// Common entry logic of the frame-based metrics (roughness, tonality): framing,
// the fixed order of argument checks, output capacity, and the metric's stream
// run over the whole signal into a private buffer whose values are validated
// before the caller sees them.
#ifndef VARNHOLT_SHORTTIME_SHORT_TIME_FRONT_H
#define VARNHOLT_SHORTTIME_SHORT_TIME_FRONT_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/checks.h"
#include "varnholt.h"

namespace varnholt {

// Frames of frame_length samples, hop samples apart, one value each.
struct ShortTimeFraming {
  std::uint64_t frame_length;  // 9600 roughness, 12000 tonality
  std::uint64_t hop;           // 4800, 6000
  bool checks_sound_field;     // tonality only
};

// Number of frames of a signal of n samples, with the counting entry points'
// checks: frame_count null, rate, size (above 2^31 - 1), length.
vh_status short_time_frame_count(std::uint64_t n, std::int32_t sample_rate,
                                 const ShortTimeFraming& framing, std::uint64_t* frame_count);

// The computing entry points' checks up to the samples, in order: pointers,
// rate, size, length, sound field (tonality), capacity (the only failure that
// writes *frame_count), samples, byte size of the results. On VH_OK *frames
// holds the frame count.
vh_status check_short_time_call(const double* signal, std::uint64_t n, std::int32_t sample_rate,
                                std::int32_t sound_field, const ShortTimeFraming& framing,
                                const double* out, std::uint64_t capacity,
                                std::uint64_t* frame_count, std::uint64_t* frames);

// Checks a call, streams the signal through the metric's Stream (which
// provides `framing` and the push/finish/ready/take interface) into a private
// buffer, and copies the values to out only when the stream produced exactly
// the expected frames and every value is finite and not negative. Throws
// std::bad_alloc; the exports catch it.
template <typename Stream>
vh_status short_time_metric_front(const double* signal, std::uint64_t n, std::int32_t sample_rate,
                                  std::int32_t sound_field, double* out, std::uint64_t capacity,
                                  std::uint64_t* frame_count) {
  std::uint64_t frames = 0;
  const vh_status checked = check_short_time_call(signal, n, sample_rate, sound_field,
                                                  Stream::framing, out, capacity, frame_count,
                                                  &frames);
  if (checked != VH_OK) return checked;

  // A failure part-way through must leave the caller's array as it was.
  std::vector<double> values;
  values.reserve(frames);
  Stream stream(static_cast<vh_sound_field>(sound_field));
  const auto drain = [&]() -> bool {
    const std::span<const double> ready = stream.ready();
    if (ready.size() > frames - values.size()) return false;
    for (std::size_t i = 0; i < ready.size(); ++i) {
      if (!is_finite_value(ready[i]) || ready[i] < 0.0) return false;
    }
    values.insert(values.end(), ready.begin(), ready.end());
    stream.take(ready.size());
    return true;
  };
  // Whole hops at a time, so only one frame waits at once.
  const std::size_t chunk = static_cast<std::size_t>(Stream::framing.hop);
  for (std::uint64_t start = 0; start < n; start += chunk) {
    const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, n - start));
    const vh_status status = stream.push(std::span<const double>(signal + start, length));
    if (status != VH_OK) return status;
    if (!drain()) return VH_ERR_NUMERICAL;
  }
  const vh_status finished = stream.finish();
  if (finished != VH_OK) return finished;
  if (!drain() || values.size() != frames) return VH_ERR_NUMERICAL;
  std::copy(values.begin(), values.end(), out);
  *frame_count = frames;
  return VH_OK;
}

}  // namespace varnholt

#endif
