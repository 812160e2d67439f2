// Time-varying loudness after Zwicker's dynamic method: the third-octave bank
// runs at 48 kHz, each band's power is smoothed, every 0.5 ms the core
// loudness is formed and passed through the nonlinear temporal decay, and the
// total loudness is weighted by a short and a long low-pass. One frame every
// 2 ms.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/axes.h"
#include "core/boundary.h"
#include "core/checks.h"
#include "loudness/core_loudness.h"
#include "loudness/loudness_pattern.h"
#include "loudness/temporal_decay.h"
#include "loudness/third_octave.h"
#include "loudness/third_octave_bank.h"

namespace varnholt {
namespace {

// Samples between two core-loudness updates (0.5 ms) and between two frames
// (2 ms).
constexpr std::uint64_t UPDATE_INTERVAL = 24;
constexpr std::uint64_t FRAME_INTERVAL = 96;
constexpr std::uint64_t UPDATES_PER_FRAME = FRAME_INTERVAL / UPDATE_INTERVAL;

// Each frame holds its total loudness and its 240-value pattern.
constexpr std::uint64_t VALUES_PER_FRAME = 1 + SPECIFIC_LOUDNESS_LENGTH;

// Weights of the short (3.5 ms) and long (70 ms) low-pass of the total
// loudness in the output.
constexpr double SHORT_WEIGHT = 0.47;
constexpr double LONG_WEIGHT = 0.53;

std::uint64_t frame_count_of(std::uint64_t count) { return (count - 1) / FRAME_INTERVAL + 1; }

// Three first-order low-passes in series on each band's power. The time
// constant 2 / (3 f), two thirds of a period of the band's centre frequency,
// removes the ripple of the band's power in the low bands; from 1 kHz up it
// stays at 0.67 ms.
struct BandPowerSmoothing {
  double c[THIRD_OCTAVE_BAND_COUNT];
  double one_minus_c[THIRD_OCTAVE_BAND_COUNT];
  double s0[THIRD_OCTAVE_BAND_COUNT] = {};
  double s1[THIRD_OCTAVE_BAND_COUNT] = {};
  double s2[THIRD_OCTAVE_BAND_COUNT] = {};

  BandPowerSmoothing() noexcept {
    for (std::size_t k = 0; k < THIRD_OCTAVE_BAND_COUNT; ++k) {
      const double f = std::min(1000.0 * std::pow(10.0, (static_cast<double>(k) - 16.0) / 10.0), 1000.0);
      const double tau = 2.0 / (3.0 * f);
      c[k] = std::exp(-1.0 / (48000.0 * tau));
      one_minus_c[k] = 1.0 - c[k];
    }
  }

  // Smooths the squared band outputs y^2; false when one of them is not
  // finite. A square is +0 or more, or NaN, so `p <= MAX_FINITE` is the full
  // finiteness test, written without a branch.
  bool step(const double* __restrict y) noexcept {
    double p[THIRD_OCTAVE_BAND_COUNT];
    double nonfinite = 0.0;
    for (std::size_t k = 0; k < THIRD_OCTAVE_BAND_COUNT; ++k) {
      p[k] = y[k] * y[k];
      nonfinite += p[k] <= MAX_FINITE ? 0.0 : 1.0;
    }
    for (std::size_t k = 0; k < THIRD_OCTAVE_BAND_COUNT; ++k) {
      s0[k] = c[k] * s0[k] + one_minus_c[k] * p[k];
      s1[k] = c[k] * s1[k] + one_minus_c[k] * s0[k];
      s2[k] = one_minus_c[k] * s1[k] + c[k] * s2[k];
    }
    return nonfinite == 0.0;
  }
};

// Interpolation weight of the k-th of the 24 steps between two updates.
double interpolation_weight(int k) { return static_cast<double>(k) / 24.0; }

// The core loudness through the temporal decay: between updates the decay
// runs at 48 kHz on inputs interpolated linearly from the previous core values
// to the new ones.
struct DecayedCoreLoudness {
  TemporalDecayCoefficients coefficients = temporal_decay_coefficients();
  TemporalDecayState state;
  double previous[TEMPORAL_DECAY_LANES] = {};

  // Feeds core[21]; afterwards state.uo[0..20] holds the decayed values.
  void update(const double* core, bool interpolate) noexcept {
    double current[TEMPORAL_DECAY_LANES] = {};
    std::copy(core, core + CORE_LOUDNESS_LENGTH, current);
    if (interpolate) {
      for (int k = 1; k < static_cast<int>(UPDATE_INTERVAL); ++k) {
        const double w = interpolation_weight(k);
        double input[TEMPORAL_DECAY_LANES];
        for (std::size_t v = 0; v < TEMPORAL_DECAY_LANES; ++v) {
          input[v] = previous[v] + w * (current[v] - previous[v]);
        }
        state.step(input, coefficients);
      }
    }
    state.step(current, coefficients);
    std::copy(current, current + TEMPORAL_DECAY_LANES, previous);
  }
};

// The short and long low-pass of the total loudness, also run at 48 kHz on
// interpolated inputs.
struct TotalLoudnessWeighting {
  double a_short = std::exp(-0.005952380952380952);   // 3.5 ms
  double a_long = std::exp(-0.0002976190476190476);   // 70 ms
  double previous = 0.0;
  double short_term = 0.0;
  double long_term = 0.0;

  void feed(double v) noexcept {
    short_term = v * (1.0 - a_short) + a_short * short_term;
    long_term = v * (1.0 - a_long) + a_long * long_term;
  }

  void update(double total, bool interpolate) noexcept {
    if (interpolate) {
      for (int k = 1; k < static_cast<int>(UPDATE_INTERVAL); ++k) {
        feed(previous + interpolation_weight(k) * (total - previous));
      }
    }
    feed(total);
    previous = total;
  }

  double output() const noexcept { return SHORT_WEIGHT * short_term + LONG_WEIGHT * long_term; }
};

// Runs the whole model over the signal. out holds F loudness values followed
// by F patterns of 240 values; VH_ERR_NUMERICAL on any non-finite power, core
// value or total.
vh_status compute_time_loudness(const double* samples, std::uint64_t count,
                                vh_sound_field sound_field, std::uint64_t frames,
                                double* out) noexcept {
  ThirdOctaveBankState bank;
  BandPowerSmoothing smoothing;
  DecayedCoreLoudness decay;
  TotalLoudnessWeighting weighting;
  double* const frame_loudness = out;
  double* const frame_patterns = out + frames;

  std::uint64_t until_update = 0;
  std::uint64_t update_index = 0;
  for (std::uint64_t j = 0; j < count; ++j) {
    double y[THIRD_OCTAVE_BAND_COUNT];
    bank.step(samples[j], y);
    if (!smoothing.step(y)) return VH_ERR_NUMERICAL;
    if (until_update != 0) {
      --until_update;
      continue;
    }
    until_update = UPDATE_INTERVAL - 1;

    double levels[THIRD_OCTAVE_BAND_COUNT];
    for (std::size_t k = 0; k < THIRD_OCTAVE_BAND_COUNT; ++k) {
      levels[k] = third_octave_level_from_mean_square(smoothing.s2[k]);
    }
    double core[CORE_LOUDNESS_LENGTH];
    core_loudness(levels, sound_field, core);
    for (double value : core) {
      if (!is_finite_value(value)) return VH_ERR_NUMERICAL;
    }
    const bool interpolate = j > 0;
    decay.update(core, interpolate);
    double pattern[SPECIFIC_LOUDNESS_LENGTH];
    const double total = specific_loudness_from_core(decay.state.uo, pattern);
    weighting.update(total, interpolate);
    if (!is_finite_value(total) || !is_finite_value(weighting.short_term) ||
        !is_finite_value(weighting.long_term)) {
      return VH_ERR_NUMERICAL;
    }
    if (update_index % UPDATES_PER_FRAME == 0) {
      const std::uint64_t f = update_index / UPDATES_PER_FRAME;
      frame_loudness[f] = weighting.output();
      std::copy(pattern, pattern + SPECIFIC_LOUDNESS_LENGTH,
                frame_patterns + f * SPECIFIC_LOUDNESS_LENGTH);
    }
    ++update_index;
  }
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

    std::vector<double> work;
    if (work_count > work.max_size()) return VH_ERR_ALLOCATION;
    work.resize(work_count);
    const vh_status status = compute_time_loudness(samples, count, sound_field, frame_count, work.data());
    if (status != VH_OK) return status;
    std::copy(work.begin(), work.begin() + static_cast<std::ptrdiff_t>(frame_count), loudness);
    std::copy(work.begin() + static_cast<std::ptrdiff_t>(frame_count), work.end(), specific);
    *frames = frame_count;
    return VH_OK;
  });
}
