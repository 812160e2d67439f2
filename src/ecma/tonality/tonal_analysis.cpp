// The two exports of the tonality on the hearing model, the analysis a shell
// over the tonality stream.
#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "core/boundary.h"
#include "core/checks.h"
#include "ecma/band_scale.h"
#include "ecma/band_signal_stream.h"
#include "ecma/tonality/ecma_tonality_stream.h"
#include "varnholt.h"

namespace varnholt {
namespace {

// Doubles per output frame: five planes of 53 bands.
constexpr std::uint64_t VALUES_PER_FRAME = EcmaTonalityStream::values_per_frame;

// Streams the checked signal into the planes of out (265 c values, plane s
// of 53 c values at offset 53 c s). Below the overflow-free peak no stage can
// fail once frames flow, so they go straight to the caller; above it they are
// held privately until every one is valid.
vh_status tonal_analysis_into(std::span<const double> signal, vh_sound_field sound_field,
                              std::uint64_t frame_total, double* out) {
  const std::size_t c = static_cast<std::size_t>(frame_total);
  const bool direct = within_overflow_free_peak(signal);
  std::vector<double> held(direct ? 0 : static_cast<std::size_t>(VALUES_PER_FRAME) * c);
  double* const dest = direct ? out : held.data();
  EcmaTonalityStream stream(sound_field);
  const vh_status s = stream_whole_signal(
      stream, signal, [&](std::uint64_t k, std::span<const double> frame) {
        if (k >= frame_total) return;
        for (std::size_t plane = 0; plane < TONAL_PLANE_COUNT; ++plane) {
          std::copy_n(frame.data() + plane * ECMA_BAND_COUNT, ECMA_BAND_COUNT,
                      dest + plane * ECMA_BAND_COUNT * c + ECMA_BAND_COUNT * k);
        }
      });
  if (s != VH_OK) return s;
  if (!direct) std::copy(held.begin(), held.end(), out);
  return VH_OK;
}

}  // namespace
}  // namespace varnholt

extern "C" VH_EXPORT vh_status vh_ecma_tonal_frame_count(size_t count, int32_t sample_rate,
                                                         size_t* frames) {
  using namespace varnholt;
  return guarded_call([&]() -> vh_status {
    if (frames == nullptr) return VH_ERR_NULL_POINTER;
    *frames = 0;
    if (sample_rate != VH_SAMPLE_RATE) return VH_ERR_INVALID_SAMPLE_RATE;
    if (count < ECMA_TONAL_MIN_SAMPLES) return VH_ERR_INPUT_TOO_SHORT;
    std::uint64_t c = 0;
    if (!ecma_tonal_frames(count, c)) return VH_ERR_SIZE_OVERFLOW;
    *frames = static_cast<size_t>(c);
    return VH_OK;
  });
}

extern "C" VH_EXPORT vh_status vh_ecma_tonal_analysis(const double* samples, size_t count,
                                                      int32_t sample_rate,
                                                      vh_sound_field sound_field, double* out,
                                                      size_t out_capacity, size_t* frames) {
  using namespace varnholt;
  return guarded_call([&]() -> vh_status {
    if (frames == nullptr) return VH_ERR_NULL_POINTER;
    *frames = 0;
    if (sample_rate != VH_SAMPLE_RATE) return VH_ERR_INVALID_SAMPLE_RATE;
    if (!is_valid_sound_field(sound_field)) return VH_ERR_INVALID_SOUND_FIELD;
    if (out == nullptr) return VH_ERR_NULL_POINTER;
    if (count < ECMA_TONAL_MIN_SAMPLES) return VH_ERR_INPUT_TOO_SHORT;
    std::uint64_t c = 0;
    if (!ecma_tonal_frames(count, c)) return VH_ERR_SIZE_OVERFLOW;
    *frames = static_cast<size_t>(c);
    if (out_capacity < VALUES_PER_FRAME * c) return VH_ERR_OUTPUT_TOO_SMALL;
    const vh_status valid = validate_signal(samples, count, VH_SAMPLE_RATE);
    if (valid != VH_OK) return valid;
    return tonal_analysis_into(std::span<const double>(samples, count), sound_field, c, out);
  });
}
