// Stationary loudness after Zwicker, from 28 given third-octave levels or from
// the levels the filter bank measures over a whole signal.
#include "loudness/stationary_loudness.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "core/boundary.h"
#include "core/checks.h"
#include "loudness/core_loudness.h"
#include "loudness/loudness_pattern.h"
#include "loudness/stationary_loudness_stream.h"
#include "loudness/third_octave.h"

namespace varnholt {

vh_status loudness_from_levels(std::span<const double, THIRD_OCTAVE_BAND_COUNT> levels,
                               vh_sound_field sound_field, double* loudness,
                               double* specific) noexcept {
  for (std::size_t i = 0; i < THIRD_OCTAVE_BAND_COUNT; ++i) {
    if (!is_finite_value(levels[i])) return VH_ERR_NON_FINITE_INPUT;
    if (i < LOW_BAND_COUNT && levels[i] > LOW_BAND_MAX_LEVEL_DB) return VH_ERR_INVALID_ARGUMENT;
  }
  double core[CORE_LOUDNESS_LENGTH];
  core_loudness(levels.data(), sound_field, core);
  for (double value : core) {
    if (!is_finite_value(value)) return VH_ERR_NUMERICAL;
  }
  double pattern[SPECIFIC_LOUDNESS_LENGTH];
  const double total = specific_loudness_from_core(core, pattern);
  if (!is_finite_value(total)) return VH_ERR_NUMERICAL;
  *loudness = total;
  if (specific != nullptr) std::memcpy(specific, pattern, sizeof pattern);
  return VH_OK;
}

vh_status block_loudness(std::span<const double> samples, std::uint64_t settle_count,
                         vh_sound_field sound_field, double* loudness) noexcept {
  double levels[THIRD_OCTAVE_BAND_COUNT];
  const vh_status status =
      third_octave_block_levels(samples.data(), samples.size(), settle_count, levels);
  if (status != VH_OK) return status;
  return loudness_from_levels(levels, sound_field, loudness, nullptr);
}

}  // namespace varnholt

extern "C" VH_EXPORT vh_status vh_loudness_from_levels(const double* levels, size_t level_count,
                                                       vh_sound_field sound_field, double* loudness,
                                                       double* specific, size_t specific_len) {
  using namespace varnholt;
  return guarded_call([&]() -> vh_status {
    if (levels == nullptr || loudness == nullptr) return VH_ERR_NULL_POINTER;
    if (level_count != THIRD_OCTAVE_BAND_COUNT) return VH_ERR_INVALID_ARGUMENT;
    if (!is_valid_sound_field(sound_field)) return VH_ERR_INVALID_SOUND_FIELD;
    if (!optional_output_fits(specific, specific_len, SPECIFIC_LOUDNESS_LENGTH)) {
      return VH_ERR_OUTPUT_TOO_SMALL;
    }
    return loudness_from_levels(std::span<const double, THIRD_OCTAVE_BAND_COUNT>(levels, level_count),
                                sound_field, loudness, specific);
  });
}

extern "C" VH_EXPORT vh_status vh_loudness_stationary(const double* samples, size_t count,
                                                      int32_t sample_rate,
                                                      vh_sound_field sound_field, double* loudness,
                                                      double* specific, size_t specific_len) {
  using namespace varnholt;
  return guarded_call([&]() -> vh_status {
    if (loudness == nullptr) return VH_ERR_NULL_POINTER;
    if (!is_valid_sound_field(sound_field)) return VH_ERR_INVALID_SOUND_FIELD;
    if (!optional_output_fits(specific, specific_len, SPECIFIC_LOUDNESS_LENGTH)) {
      return VH_ERR_OUTPUT_TOO_SMALL;
    }
    const vh_status signal_status = validate_signal(samples, count, sample_rate);
    if (signal_status != VH_OK) return signal_status;
    if (count < THIRD_OCTAVE_MIN_COUNT) return VH_ERR_INPUT_TOO_SHORT;
    StationaryLoudnessStream stream(sound_field);
    constexpr std::size_t CHUNK = 4096;
    for (std::size_t start = 0; start < count; start += CHUNK) {
      const vh_status status =
          stream.push(std::span<const double>(samples + start, std::min(CHUNK, count - start)));
      if (status != VH_OK) return status;
    }
    const vh_status status = stream.finish();
    if (status != VH_OK) return status;
    const std::span<const double> frame = stream.ready();
    *loudness = frame[0];
    if (specific != nullptr) std::copy(frame.begin() + 1, frame.end(), specific);
    return VH_OK;
  });
}
