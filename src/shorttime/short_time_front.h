// Common entry logic of the frame-based metrics (roughness, tonality): framing,
// argument checks, output capacity, and validation of the core's results.
#ifndef VARNHOLT_SHORTTIME_SHORT_TIME_FRONT_H
#define VARNHOLT_SHORTTIME_SHORT_TIME_FRONT_H

#include <cstdint>

#include "varnholt.h"

namespace varnholt {

// A metric's core: fills one value per frame; returns the frame count or a negative code.
using ShortTimeCore = int (*)(const double* signal, int n, double sample_rate, int sound_field,
                              double* out, int* frame_count);

struct ShortTimeMetric {
  std::uint64_t frame_length;       // 9600 roughness, 12000 tonality
  std::uint64_t hop;                // 4800, 6000
  bool checks_sound_field;          // tonality only
  bool plan_failure_is_allocation;  // tonality: core code -6 means a failed FFT plan -> VH_ERR_ALLOCATION
  ShortTimeCore core;
};

// Number of frames of a signal of n samples, with the counting entry points' checks.
vh_status short_time_frame_count(std::uint64_t n, std::int32_t sample_rate,
                                 const ShortTimeMetric& metric, std::uint64_t* frame_count);

// Checks a call, runs the core into a private buffer and copies its values to out
// only when every one is finite and not negative.
vh_status short_time_metric_front(const double* signal, std::uint64_t n, std::int32_t sample_rate,
                                  std::int32_t sound_field, const ShortTimeMetric& metric,
                                  double* out, std::uint64_t capacity, std::uint64_t* frame_count);

}  // namespace varnholt

#endif
