// The metrics of one channel fed chunk by chunk through the library's
// streams: each keeps only what its summaries and the requested outputs need.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "file_analysis.h"
#include "metric.h"
#include "results.h"

namespace varnholt::analysis {

// Told of every frame of a time-varying metric as soon as it is final: the
// metric, the frame's time in seconds and its single values (N(t); R(t);
// K(t); T(t), its tonal frequency and N(t) of the ECMA-418-2 tonality).
using FrameListener =
    std::function<void(int channel, Metric, double time_s, std::span<const double> values)>;

struct StreamSettings {
  std::vector<Metric> metrics;
  std::int32_t sound_field = 0;
  bool keep_bands = false;  // the per-band patterns over time (JSON, CSV bands)
  // Those patterns go to a temporary file instead of memory (an output that
  // writes them out reads them back from there).
  bool spool_bands = false;
  // Not 0: the patterns reduced for display to at most this many rows, each
  // the largest value per band over a run of frames (never spooled).
  std::size_t band_rows = 0;
  FrameListener listener;   // may be empty
  // More than 1: every metric runs on a thread of its own, and a metric that
  // can split its work (the ECMA-418-2 tonality) uses up to this many.
  unsigned threads = 1;
};

// A ChannelSink computing every metric of `settings` on one channel, which
// is expected to give `expected_samples` at 48 kHz (0: unknown).
std::unique_ptr<ChannelSink> make_metric_streams(const StreamSettings& settings, int channel,
                                                 std::size_t expected_samples);

}  // namespace varnholt::analysis
