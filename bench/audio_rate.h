// The figure every whole-signal benchmark reports: seconds of sound analysed
// per second of CPU time (the real-time factor), as the counter
// audio_s_per_cpu_s.
#pragma once

#include <benchmark/benchmark.h>

inline void report_audio_rate(benchmark::State& state, double seconds_per_iteration) {
  state.counters["audio_s_per_cpu_s"] = benchmark::Counter(
      seconds_per_iteration * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
