// The two exports of the hearing-model roughness: frame count and analysis,
// the analysis a shell over the roughness stream.
#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "core/boundary.h"
#include "core/checks.h"
#include "ecma/band_scale.h"
#include "ecma/band_signal_stream.h"
#include "ecma/roughness/ecma_roughness_stream.h"
#include "ecma/roughness/roughness_grid.h"
#include "varnholt.h"

namespace varnholt {
namespace {

// Spectrum values per block: 53 bands x 257 modulation bins.
constexpr std::uint64_t SPECTRUM_VALUES_PER_BLOCK = ECMA_BAND_COUNT * ECMA_MODULATION_BINS;
// Largest element count of any working array.
constexpr std::uint64_t MAX_WORKING_COUNT = 0x0FFFFFFFFFFFFFFFULL;

// Streams the checked signal into out (frame_total x 53 values). Below the
// overflow-free peak no stage can fail once frames flow, so they go straight
// to the caller; above it they are held privately until every one is valid.
vh_status roughness_into(std::span<const double> signal, vh_sound_field sound_field,
                         std::uint64_t frame_total, double* out) {
  constexpr std::size_t width = EcmaRoughnessStream::values_per_frame;
  const std::size_t values = static_cast<std::size_t>(frame_total) * width;
  const bool direct = within_overflow_free_peak(signal);
  std::vector<double> held(direct ? 0 : values);
  double* const dest = direct ? out : held.data();
  EcmaRoughnessStream stream(sound_field);
  const vh_status s = stream_whole_signal(
      stream, signal, [&](std::uint64_t k, std::span<const double> frame) {
        if (k < frame_total) std::copy(frame.begin(), frame.end(), dest + k * width);
      });
  if (s != VH_OK) return s;
  if (!direct) std::copy(held.begin(), held.end(), out);
  return VH_OK;
}

}  // namespace
}  // namespace varnholt

extern "C" VH_EXPORT vh_status vh_ecma_roughness_frame_count(size_t count, int32_t sample_rate,
                                                             size_t* frames) {
  using namespace varnholt;
  return guarded_call([&]() -> vh_status {
    if (frames == nullptr) return VH_ERR_NULL_POINTER;
    *frames = 0;
    if (sample_rate != VH_SAMPLE_RATE) return VH_ERR_INVALID_SAMPLE_RATE;
    if (count < ECMA_ROUGHNESS_MIN_SAMPLES) return VH_ERR_INPUT_TOO_SHORT;
    if (count > ECMA_ROUGHNESS_MAX_SAMPLES) return VH_ERR_SIZE_OVERFLOW;
    *frames = ecma_roughness_frame_total(count);
    return VH_OK;
  });
}

extern "C" VH_EXPORT vh_status vh_roughness_ecma(const double* samples, size_t count,
                                                 int32_t sample_rate, vh_sound_field sound_field,
                                                 double* out, size_t out_capacity, size_t* frames) {
  using namespace varnholt;
  return guarded_call([&]() -> vh_status {
    if (frames == nullptr) return VH_ERR_NULL_POINTER;
    *frames = 0;
    if (sample_rate != VH_SAMPLE_RATE) return VH_ERR_INVALID_SAMPLE_RATE;
    if (!is_valid_sound_field(sound_field)) return VH_ERR_INVALID_SOUND_FIELD;
    if (out == nullptr) return VH_ERR_NULL_POINTER;
    if (count < ECMA_ROUGHNESS_MIN_SAMPLES) return VH_ERR_INPUT_TOO_SHORT;
    if (count > ECMA_ROUGHNESS_MAX_SAMPLES) return VH_ERR_SIZE_OVERFLOW;
    const std::uint64_t frame_total = ecma_roughness_frame_total(count);
    *frames = frame_total;
    if (out_capacity / ECMA_BAND_COUNT < frame_total) return VH_ERR_OUTPUT_TOO_SMALL;
    std::uint64_t spectrum_values = 0;
    if (!checked_mul(ecma_roughness_block_total(count), SPECTRUM_VALUES_PER_BLOCK,
                     &spectrum_values) ||
        spectrum_values > MAX_WORKING_COUNT) {
      return VH_ERR_SIZE_OVERFLOW;
    }
    const vh_status valid = validate_signal(samples, count, VH_SAMPLE_RATE);
    if (valid != VH_OK) return valid;
    return roughness_into(std::span<const double>(samples, count), sound_field, frame_total, out);
  });
}
