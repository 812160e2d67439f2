// The exports of time-varying loudness: frame count, argument checks, and the
// whole signal streamed through LoudnessTimeStream into the caller's arrays.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/axes.h"
#include "core/boundary.h"
#include "core/checks.h"
#include "loudness/loudness_time_stream.h"

namespace varnholt {
namespace {

constexpr std::uint64_t FRAME_INTERVAL = LoudnessTimeStream::hop;
constexpr std::uint64_t VALUES_PER_FRAME = LoudnessTimeStream::values_per_frame;

// Peak pressure up to which no stage of the model can leave the finite range,
// so a computation cannot fail once it has started: the largest gain from the
// input to any filter state of the third-octave bank is below 1e20 (the sum of
// the magnitudes of its impulse response, checked by a test), so band outputs
// stay below 1e30 Pa and their powers below 1e60 Pa^2; levels then stay below
// 700 dB, and the core loudness, the pattern and the weighted totals of such
// levels are finite. 1e10 Pa is some 350 dB, far beyond any sound.
constexpr double NO_FAILURE_PEAK_PA = 1e10;

std::uint64_t frame_count_of(std::uint64_t count) { return (count - 1) / FRAME_INTERVAL + 1; }

bool peak_below(std::span<const double> samples, double bound) noexcept {
  double peak = 0.0;
  for (const double x : samples) peak = std::max(peak, std::fabs(x));
  return peak <= bound;
}

// Streams the signal through the model, frames straight into loudness[F] and
// specific[F * 240]; on failure the frames before it are already written.
vh_status stream_time_loudness(std::span<const double> samples, vh_sound_field sound_field,
                               double* loudness, double* specific) {
  LoudnessTimeStream stream(sound_field);
  std::size_t written = 0;
  const auto drain = [&] {
    const std::span<const double> ready = stream.ready();
    const std::size_t count = ready.size() / VALUES_PER_FRAME;
    for (std::size_t f = 0; f < count; ++f, ++written) {
      const std::span<const double> frame = ready.subspan(f * VALUES_PER_FRAME, VALUES_PER_FRAME);
      loudness[written] = frame[0];
      std::copy(frame.begin() + 1, frame.end(), specific + written * SPECIFIC_LOUDNESS_LENGTH);
    }
    stream.take(count);
  };
  constexpr std::size_t CHUNK = LoudnessTimeStream::hop * 64;
  for (std::size_t start = 0; start < samples.size(); start += CHUNK) {
    const vh_status status = stream.push(samples.subspan(start, std::min(CHUNK, samples.size() - start)));
    if (status != VH_OK) return status;
    drain();
  }
  const vh_status status = stream.finish();
  if (status != VH_OK) return status;
  drain();
  return VH_OK;
}

// The framing checks both time-varying exports make after their pointer
// check: rate, then size, then length.
vh_status check_time_framing(std::uint64_t count, std::int32_t sample_rate) noexcept {
  if (sample_rate != VH_SAMPLE_RATE) return VH_ERR_INVALID_SAMPLE_RATE;
  if (count > MAX_SIGNAL_COUNT) return VH_ERR_SIZE_OVERFLOW;
  if (count == 0) return VH_ERR_INPUT_TOO_SHORT;
  return VH_OK;
}

}  // namespace
}  // namespace varnholt

extern "C" VH_EXPORT vh_status vh_loudness_time_frame_count(size_t count, int32_t sample_rate,
                                                            size_t* frames) {
  using namespace varnholt;
  return guarded_call([&]() -> vh_status {
    if (frames == nullptr) return VH_ERR_NULL_POINTER;
    const vh_status framing = check_time_framing(count, sample_rate);
    if (framing != VH_OK) return framing;
    *frames = frame_count_of(count);
    return VH_OK;
  });
}

extern "C" VH_EXPORT vh_status vh_loudness_time(const double* samples, size_t count,
                                                int32_t sample_rate, vh_sound_field sound_field,
                                                double* loudness, size_t loudness_len,
                                                double* specific, size_t specific_len,
                                                size_t* frames) {
  using namespace varnholt;
  return guarded_call([&]() -> vh_status {
    if (frames == nullptr) return VH_ERR_NULL_POINTER;
    *frames = 0;
    const vh_status framing = check_time_framing(count, sample_rate);
    if (framing != VH_OK) return framing;
    const std::uint64_t frame_count = frame_count_of(count);
    if (!is_valid_sound_field(sound_field)) return VH_ERR_INVALID_SOUND_FIELD;
    if (loudness == nullptr || specific == nullptr) return VH_ERR_NULL_POINTER;
    std::uint64_t specific_count = 0;
    std::uint64_t work_count = 0;
    std::uint64_t work_bytes = 0;
    if (!checked_mul(frame_count, SPECIFIC_LOUDNESS_LENGTH, &specific_count) ||
        !checked_mul(frame_count, VALUES_PER_FRAME, &work_count) ||
        !checked_mul(work_count, sizeof(double), &work_bytes)) {
      return VH_ERR_SIZE_OVERFLOW;
    }
    if (loudness_len < frame_count || specific_len < specific_count) {
      *frames = frame_count;
      return VH_ERR_OUTPUT_TOO_SMALL;
    }
    const vh_status signal_status = validate_signal(samples, count, VH_SAMPLE_RATE);
    if (signal_status != VH_OK) return signal_status;

    const std::span<const double> signal(samples, count);
    if (peak_below(signal, NO_FAILURE_PEAK_PA)) {
      const vh_status status = stream_time_loudness(signal, sound_field, loudness, specific);
      if (status != VH_OK) return status;
    } else {
      // Beyond the bound a late failure is possible: the frames wait in a
      // private buffer until the whole signal has passed.
      std::vector<double> work;
      if (work_count > work.max_size()) return VH_ERR_ALLOCATION;
      work.resize(work_count);
      const vh_status status =
          stream_time_loudness(signal, sound_field, work.data(), work.data() + frame_count);
      if (status != VH_OK) return status;
      std::copy(work.begin(), work.begin() + static_cast<std::ptrdiff_t>(frame_count), loudness);
      std::copy(work.begin() + static_cast<std::ptrdiff_t>(frame_count), work.end(), specific);
    }
    *frames = frame_count;
    return VH_OK;
  });
}
