// The two exports of the hearing-model roughness: frame count and analysis.
#include <cstdint>

#include "core/boundary.h"
#include "core/checks.h"
#include "ecma/band_scale.h"
#include "ecma/roughness/roughness_compute.h"
#include "ecma/roughness/roughness_grid.h"
#include "varnholt.h"

namespace varnholt {
namespace {

// Spectrum values per block: 53 bands x 257 modulation bins.
constexpr std::uint64_t SPECTRUM_VALUES_PER_BLOCK = 13621;
// Largest element count of any working array.
constexpr std::uint64_t MAX_WORKING_COUNT = 0x0FFFFFFFFFFFFFFFULL;

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
    return ecma_roughness_compute(samples, count, sound_field, out);
  });
}
