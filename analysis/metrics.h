// The calls of the library's metric functions, one per metric.
#pragma once

#include <vector>

#include "metric.h"
#include "results.h"
#include "varnholt.h"

namespace varnholt::analysis {

// Each takes one channel of pascal at 48 kHz and never throws a library
// status: a refused call becomes a failed MetricResult.
MetricResult compute_loudness(const std::vector<double>& p, vh_sound_field field);
MetricResult compute_loudness_time(const std::vector<double>& p, vh_sound_field field);
MetricResult compute_sharpness(const std::vector<double>& p, vh_sound_field field);
MetricResult compute_roughness(const std::vector<double>& p);
MetricResult compute_tonality(const std::vector<double>& p, vh_sound_field field);
MetricResult compute_ecma_tonality(const std::vector<double>& p, vh_sound_field field);
MetricResult compute_ecma_roughness(const std::vector<double>& p, vh_sound_field field);
MetricResult compute_levels(const std::vector<double>& p);

// The chosen metrics in the order given.
std::vector<MetricResult> compute_metrics(const std::vector<double>& p,
                                          const std::vector<Metric>& metrics, vh_sound_field field);

}  // namespace varnholt::analysis
