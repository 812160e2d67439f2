// The two exports of the tonality on the hearing model.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/boundary.h"
#include "core/checks.h"
#include "ecma/band_scale.h"
#include "ecma/signal_preparation.h"
#include "ecma/tonality/tonal_band_groups.h"
#include "ecma/tonality/tonal_compute.h"
#include "varnholt.h"

namespace {

// 304 ms: the longest block (8192 samples) plus the padding make the
// shortest signal whose analysis holds more than start-up.
constexpr std::uint64_t MIN_SAMPLE_COUNT = 14592;

// Doubles per output frame: five planes of 53 bands.
constexpr std::uint64_t VALUES_PER_FRAME =
    varnholt::TONAL_PLANE_COUNT * varnholt::ECMA_BAND_COUNT;

}  // namespace

extern "C" VH_EXPORT vh_status vh_ecma_tonal_frame_count(size_t count, int32_t sample_rate,
                                                         size_t* frames) {
  using namespace varnholt;
  return guarded_call([&]() -> vh_status {
    if (frames == nullptr) return VH_ERR_NULL_POINTER;
    *frames = 0;
    if (sample_rate != VH_SAMPLE_RATE) return VH_ERR_INVALID_SAMPLE_RATE;
    if (count < MIN_SAMPLE_COUNT) return VH_ERR_INPUT_TOO_SHORT;
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
    if (count < MIN_SAMPLE_COUNT) return VH_ERR_INPUT_TOO_SHORT;
    std::uint64_t c = 0;
    if (!ecma_tonal_frames(count, c)) return VH_ERR_SIZE_OVERFLOW;
    *frames = static_cast<size_t>(c);
    if (out_capacity < VALUES_PER_FRAME * c) return VH_ERR_OUTPUT_TOO_SMALL;

    std::vector<double> prepared;
    const vh_status prepared_status = ecma_prepare_signal(
        samples, count, TONAL_LEAD, TONAL_PADDING_HOP, true, sound_field, prepared);
    if (prepared_status != VH_OK) return prepared_status;
    // The planes are built privately and reach the caller only on success.
    std::vector<double> planes(static_cast<std::size_t>(VALUES_PER_FRAME * c), 0.0);
    const vh_status s = ecma_tonal_compute(prepared, c, planes.data());
    if (s != VH_OK) return s;
    std::copy(planes.begin(), planes.end(), out);
    return VH_OK;
  });
}
