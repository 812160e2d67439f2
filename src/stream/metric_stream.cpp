// Streams of every metric behind the C interface: the metric's own stream
// object, the rules of the interface (a chunk is checked whole before any of
// it is consumed; a failed stream stays failed; a finished one takes nothing
// more) and the hand-over of finished frames.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <type_traits>
#include <utility>
#include <variant>

#include "core/axes.h"
#include "core/boundary.h"
#include "core/checks.h"
#include "ecma/roughness/ecma_roughness_stream.h"
#include "ecma/roughness/roughness_grid.h"
#include "ecma/tonality/ecma_tonality_stream.h"
#include "ecma/tonality/tonal_band_groups.h"
#include "levels/sound_levels_stream.h"
#include "loudness/third_octave_levels.h"
#include "loudness/loudness_time_stream.h"
#include "loudness/stationary_loudness_stream.h"
#include "shorttime/roughness_dw/dw_roughness.h"
#include "shorttime/roughness_dw/dw_roughness_stream.h"
#include "shorttime/tonality_aures/aures_tonality_stream.h"
#include "varnholt.h"

namespace varnholt {
namespace {

using AnyMetricStream =
    std::variant<StationaryLoudnessStream, LoudnessTimeStream, DwRoughnessStream,
                 AuresTonalityStream, EcmaTonalityStream, EcmaRoughnessStream,
                 SoundLevelsStream, ThirdOctaveLevelsStream>;

constexpr bool is_known_metric(vh_metric metric) {
  return metric >= VH_METRIC_LOUDNESS_STATIONARY && metric <= VH_METRIC_THIRD_OCTAVE_LEVELS;
}

// Calls f with the stream type of a known metric, as a std::type_identity.
template <typename F>
auto with_stream_type(vh_metric metric, F&& f) {
  switch (metric) {
    case VH_METRIC_LOUDNESS_STATIONARY: return f(std::type_identity<StationaryLoudnessStream>{});
    case VH_METRIC_LOUDNESS_TIME: return f(std::type_identity<LoudnessTimeStream>{});
    case VH_METRIC_ROUGHNESS_DW: return f(std::type_identity<DwRoughnessStream>{});
    case VH_METRIC_TONALITY_AURES: return f(std::type_identity<AuresTonalityStream>{});
    case VH_METRIC_ECMA_TONALITY: return f(std::type_identity<EcmaTonalityStream>{});
    case VH_METRIC_ECMA_ROUGHNESS: return f(std::type_identity<EcmaRoughnessStream>{});
    case VH_METRIC_SOUND_LEVELS: return f(std::type_identity<SoundLevelsStream>{});
    default: return f(std::type_identity<ThirdOctaveLevelsStream>{});
  }
}

// The framing the header publishes is the metrics' own.
static_assert(SPECIFIC_LOUDNESS_LENGTH == VH_BARK_COUNT);
static_assert(THIRD_OCTAVE_BAND_COUNT == VH_THIRD_OCTAVE_COUNT);
static_assert(LoudnessTimeStream::hop == VH_LOUDNESS_TIME_HOP);
static_assert(DW_FRAME_LENGTH == VH_ROUGHNESS_DW_FRAME && DW_HOP == VH_ROUGHNESS_DW_HOP);
static_assert(AURES_FRAME_LENGTH == VH_TONALITY_AURES_FRAME && AURES_HOP == VH_TONALITY_AURES_HOP);
static_assert(ECMA_BAND_COUNT == VH_ECMA_BAND_COUNT && TONAL_PLANE_COUNT == VH_ECMA_TONAL_PLANES);
static_assert(TONAL_FRAME_HOP == VH_ECMA_TONAL_HOP &&
              ECMA_TONAL_MIN_SAMPLES == VH_ECMA_TONAL_MIN_COUNT);
static_assert(ECMA_ROUGHNESS_FRAME_HOP == VH_ECMA_ROUGHNESS_HOP &&
              ECMA_ROUGHNESS_MIN_SAMPLES == VH_ECMA_ROUGHNESS_MIN_COUNT);
static_assert(StationaryLoudnessStream::values_per_frame == 1 + VH_BARK_COUNT);
static_assert(LoudnessTimeStream::values_per_frame == 1 + VH_BARK_COUNT);
static_assert(DwRoughnessStream::values_per_frame == 1);
static_assert(AuresTonalityStream::values_per_frame == 1);
static_assert(EcmaTonalityStream::values_per_frame == VH_ECMA_TONAL_PLANES * VH_ECMA_BAND_COUNT);
static_assert(EcmaRoughnessStream::values_per_frame == VH_ECMA_BAND_COUNT);
static_assert(ThirdOctaveLevelsStream::values_per_frame == VH_THIRD_OCTAVE_COUNT);

}  // namespace
}  // namespace varnholt

struct vh_stream {
  varnholt::AnyMetricStream metric;
  std::size_t values_per_frame;
  std::uint64_t pushed = 0;
  bool finished = false;
  vh_status failure = VH_OK;

  template <typename Stream>
  vh_stream(std::type_identity<Stream>, vh_sound_field field)
      : metric(std::in_place_type<Stream>, field), values_per_frame(Stream::values_per_frame) {}

  // Runs one step of the metric; any failure, thrown or returned, fails the
  // stream for good.
  template <typename Step>
  vh_status step(Step&& body) {
    const vh_status status = varnholt::guarded_call([&] { return std::visit(body, metric); });
    if (status != VH_OK) failure = status;
    return status;
  }
};

extern "C" VH_EXPORT vh_status vh_stream_create(vh_metric metric, int32_t sample_rate,
                                                vh_sound_field sound_field, vh_stream** stream) {
  if (stream == nullptr) return VH_ERR_NULL_POINTER;
  *stream = nullptr;
  if (!varnholt::is_known_metric(metric)) return VH_ERR_INVALID_ARGUMENT;
  if (sample_rate != VH_SAMPLE_RATE) return VH_ERR_INVALID_SAMPLE_RATE;
  if (!varnholt::is_valid_sound_field(sound_field)) return VH_ERR_INVALID_SOUND_FIELD;
  return varnholt::guarded_call([&] {
    *stream = varnholt::with_stream_type(
        metric, [&](auto type) { return new vh_stream(type, sound_field); });
    return VH_OK;
  });
}

extern "C" VH_EXPORT vh_status vh_stream_frame_values(vh_metric metric, size_t* values) {
  if (values == nullptr) return VH_ERR_NULL_POINTER;
  if (!varnholt::is_known_metric(metric)) return VH_ERR_INVALID_ARGUMENT;
  *values = varnholt::with_stream_type(
      metric, [](auto type) { return decltype(type)::type::values_per_frame; });
  return VH_OK;
}

extern "C" VH_EXPORT vh_status vh_stream_push(vh_stream* stream, const double* samples,
                                              size_t count) {
  if (stream == nullptr || (samples == nullptr && count > 0)) return VH_ERR_NULL_POINTER;
  if (stream->failure != VH_OK) return stream->failure;
  if (stream->finished) return VH_ERR_INVALID_ARGUMENT;
  if (count > varnholt::MAX_SIGNAL_COUNT - stream->pushed) return VH_ERR_SIZE_OVERFLOW;
  const std::span<const double> chunk(samples, count);
  if (!std::all_of(chunk.begin(), chunk.end(), varnholt::is_finite_value)) {
    return VH_ERR_NON_FINITE_INPUT;
  }
  const vh_status status = stream->step([&](auto& s) { return s.push(chunk); });
  if (status == VH_OK) stream->pushed += count;
  return status;
}

extern "C" VH_EXPORT vh_status vh_stream_finish(vh_stream* stream) {
  if (stream == nullptr) return VH_ERR_NULL_POINTER;
  if (stream->failure != VH_OK) return stream->failure;
  if (stream->finished) return VH_ERR_INVALID_ARGUMENT;
  const vh_status status = stream->step([](auto& s) { return s.finish(); });
  stream->finished = status == VH_OK;
  return status;
}

extern "C" VH_EXPORT vh_status vh_stream_read(vh_stream* stream, double* out,
                                              size_t out_capacity, size_t* frames) {
  if (stream == nullptr || frames == nullptr) return VH_ERR_NULL_POINTER;
  if (out == nullptr && out_capacity > 0) return VH_ERR_NULL_POINTER;
  const std::size_t width = stream->values_per_frame;
  return std::visit(
      [&](auto& s) {
        const std::span<const double> ready = s.ready();
        const std::size_t available = ready.size() / width;
        if (out == nullptr) {
          *frames = available;
          return VH_OK;
        }
        const std::size_t taken = std::min(available, out_capacity / width);
        std::copy_n(ready.begin(), taken * width, out);
        s.take(taken);
        *frames = taken;
        return VH_OK;
      },
      stream->metric);
}

extern "C" VH_EXPORT vh_status vh_stream_set_threads(vh_stream* stream, size_t threads) {
  if (stream == nullptr) return VH_ERR_NULL_POINTER;
  if (threads == 0) return VH_ERR_INVALID_ARGUMENT;
  if (stream->failure != VH_OK || stream->finished) return VH_OK;
  // Not a step of the metric: a helper that cannot be had leaves the stream
  // as it was.
  return varnholt::guarded_call([&] {
    std::visit(
        [&](auto& s) {
          if constexpr (requires { s.set_threads(threads); }) s.set_threads(threads);
        },
        stream->metric);
    return VH_OK;
  });
}

extern "C" VH_EXPORT void vh_stream_destroy(vh_stream* stream) { delete stream; }
