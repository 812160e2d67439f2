// Time-varying loudness after Zwicker's dynamic method: the third-octave bank
// runs at 48 kHz, each band's power is smoothed, every 0.5 ms the core
// loudness is formed and passed through the nonlinear temporal decay, and the
// total loudness is weighted by a short and a long low-pass. One frame every
// 2 ms.
#include "loudness/loudness_time_stream.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>

#include "core/checks.h"
#include "core/physical_constants.h"
#include "loudness/core_loudness.h"
#include "loudness/loudness_pattern.h"
#include "loudness/smoothed_band_powers.h"
#include "loudness/temporal_decay.h"
#include "loudness/third_octave.h"

namespace varnholt {
namespace {

// Samples between two core-loudness updates (0.5 ms); four updates make a
// frame.
constexpr std::uint64_t UPDATE_INTERVAL = 24;
constexpr std::uint64_t UPDATES_PER_FRAME = LoudnessTimeStream::hop / UPDATE_INTERVAL;

// Frames reserved up front; the export pushes this many frames' worth of
// samples at a time, so the queue never grows.
constexpr std::size_t RESERVED_FRAMES = 64;

// Time constants of the short and long low-pass of the total loudness, and
// their weights in the output.
constexpr double SHORT_TIME_CONSTANT_S = 0.0035;
constexpr double LONG_TIME_CONSTANT_S = 0.07;
constexpr double SHORT_WEIGHT = 0.47;
constexpr double LONG_WEIGHT = 0.53;

// Weights k / 24 of the 23 interpolated steps k = 1...23 between two updates.
constexpr std::array<double, UPDATE_INTERVAL - 1> INTERPOLATION_WEIGHTS = [] {
  std::array<double, UPDATE_INTERVAL - 1> w{};
  for (std::uint64_t k = 1; k < UPDATE_INTERVAL; ++k) {
    w[k - 1] = static_cast<double>(k) / static_cast<double>(UPDATE_INTERVAL);
  }
  return w;
}();

// The interpolated steps before an update: none before the update at sample
// 0, which follows no other.
std::span<const double> interpolation_weights(bool interpolate) {
  return interpolate ? std::span<const double>(INTERPOLATION_WEIGHTS) : std::span<const double>();
}

// The core loudness through the temporal decay: between updates the decay
// runs at 48 kHz on inputs interpolated linearly from the previous core values
// to the new ones.
struct DecayedCoreLoudness {
  TemporalDecayCoefficients coefficients = temporal_decay_coefficients();
  TemporalDecayState state;
  double previous[TEMPORAL_DECAY_LANES] = {};
  // The decayed core loudness, entry 20 (above 24 Bark) always 0.
  double decayed[CORE_LOUDNESS_LENGTH] = {};

  // Feeds core[21].
  void update(const double* core, bool interpolate) noexcept {
    state.step_along(previous, core, interpolation_weights(interpolate), coefficients);
    std::copy(core, core + TEMPORAL_DECAY_LANES, previous);
    std::copy(state.uo, state.uo + TEMPORAL_DECAY_LANES, decayed);
  }
};

// The short and long low-pass of the total loudness, also run at 48 kHz on
// interpolated inputs.
struct TotalLoudnessWeighting {
  double a_short = std::exp(-1.0 / (SHORT_TIME_CONSTANT_S * SAMPLE_RATE_HZ));
  double a_long = std::exp(-1.0 / (LONG_TIME_CONSTANT_S * SAMPLE_RATE_HZ));
  double previous = 0.0;
  double short_term = 0.0;
  double long_term = 0.0;

  void feed(double v) noexcept {
    short_term = v * (1.0 - a_short) + a_short * short_term;
    long_term = v * (1.0 - a_long) + a_long * long_term;
  }

  void update(double total, bool interpolate) noexcept {
    for (const double w : interpolation_weights(interpolate)) feed(previous + w * (total - previous));
    feed(total);
    previous = total;
  }

  double output() const noexcept { return SHORT_WEIGHT * short_term + LONG_WEIGHT * long_term; }
};

}  // namespace

// The whole running state of the model, zero at the start of a signal.
struct LoudnessTimeStream::Model {
  explicit Model(vh_sound_field field) : sound_field(field) {}

  vh_sound_field sound_field;
  SmoothedBandPowers powers;
  DecayedCoreLoudness decay;
  TotalLoudnessWeighting weighting;
  std::uint64_t until_update = 0;
  std::uint64_t update_index = 0;

  // Core loudness, decay, total and weighting of one update from the
  // smoothed band powers, and the pattern into pattern[240] unless it is
  // null; false on a non-finite core value, total or weighted total.
  bool update(const double* band_powers, double* pattern) noexcept {
    double levels[THIRD_OCTAVE_BAND_COUNT];
    for (std::size_t k = 0; k < THIRD_OCTAVE_BAND_COUNT; ++k) {
      levels[k] = third_octave_level_from_mean_square(band_powers[k]);
    }
    double core[CORE_LOUDNESS_LENGTH];
    core_loudness(levels, sound_field, core);
    for (double value : core) {
      if (!is_finite_value(value)) return false;
    }
    // Every update but the one at sample 0 follows another.
    const bool interpolate = update_index > 0;
    decay.update(core, interpolate);
    const double total = pattern != nullptr ? specific_loudness_from_core(decay.decayed, pattern)
                                            : total_loudness_from_core(decay.decayed);
    weighting.update(total, interpolate);
    return is_finite_value(total) && is_finite_value(weighting.short_term) &&
           is_finite_value(weighting.long_term);
  }
};

LoudnessTimeStream::LoudnessTimeStream(vh_sound_field field)
    : model_(std::make_unique<Model>(field)), frames_(values_per_frame, RESERVED_FRAMES) {}

LoudnessTimeStream::LoudnessTimeStream(LoudnessTimeStream&&) noexcept = default;
LoudnessTimeStream& LoudnessTimeStream::operator=(LoudnessTimeStream&&) noexcept = default;
LoudnessTimeStream::~LoudnessTimeStream() = default;

vh_status LoudnessTimeStream::push(std::span<const double> samples) {
  if (status_ != VH_OK) return status_;
  if (finished_) return VH_ERR_INVALID_ARGUMENT;
  Model& m = *model_;
  SmoothedBandPowers& powers = m.powers;
  std::size_t next = 0;
  while (next < samples.size()) {
    // The samples up to and including the next update's.
    const std::size_t run = static_cast<std::size_t>(
        std::min<std::uint64_t>(m.until_update + 1, samples.size() - next));
    powers.push(samples.data() + next, run);
    next += run;
    if (!powers.all_finite()) return status_ = VH_ERR_NUMERICAL;
    if (run <= m.until_update) {
      m.until_update -= run;
      break;
    }
    m.until_update = UPDATE_INTERVAL - 1;
    // Only the updates that end a frame need the pattern itself.
    const bool frame_due = m.update_index % UPDATES_PER_FRAME == 0;
    double pattern[SPECIFIC_LOUDNESS_LENGTH];
    if (!m.update(powers.smoothed(), frame_due ? pattern : nullptr))
      return status_ = VH_ERR_NUMERICAL;
    if (frame_due) {
      const std::span<double> frame = frames_.append();
      frame[0] = m.weighting.output();
      std::copy(pattern, pattern + SPECIFIC_LOUDNESS_LENGTH, frame.begin() + 1);
    }
    ++m.update_index;
  }
  samples_ += samples.size();
  return VH_OK;
}

vh_status LoudnessTimeStream::finish() {
  if (status_ != VH_OK) return status_;
  finished_ = true;
  // Samples after the last multiple of 24 make no update: nothing is pending.
  if (samples_ == 0) return status_ = VH_ERR_INPUT_TOO_SHORT;
  return VH_OK;
}

}  // namespace varnholt
