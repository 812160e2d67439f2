// The metrics the tool can compute, and their names on the command line.
#pragma once

#include <array>
#include <optional>
#include <string_view>
#include <vector>

namespace varnholt::analysis {

enum class Metric {
  loudness,        // stationary loudness after ISO 532-1
  loudness_time,   // time-varying loudness after ISO 532-1
  sharpness,       // DIN 45692, from the stationary specific loudness
  roughness,       // Daniel and Weber
  tonality,        // Aures
  ecma_tonality,   // ECMA-418-2 hearing model: tonality and loudness
  ecma_roughness,  // ECMA-418-2 hearing model: roughness
  levels,          // IEC 61672-1 sound levels and third-octave band levels
};

inline constexpr std::array<Metric, 8> ALL_METRICS = {
    Metric::levels,    Metric::loudness, Metric::loudness_time, Metric::sharpness,
    Metric::roughness, Metric::tonality, Metric::ecma_tonality, Metric::ecma_roughness};

// "loudness", "loudness-time", ... as typed after --metrics.
std::string_view metric_name(Metric m);
std::optional<Metric> metric_from_name(std::string_view name);

// A comma-separated list of names ("all" for every metric), each kept once
// in the order given; empty for an unknown or empty name.
std::optional<std::vector<Metric>> metrics_from_list(std::string_view list);

}  // namespace varnholt::analysis
