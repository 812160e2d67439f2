// Sample-rate conversion to the library's 48 kHz.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

#include "varnholt.h"

namespace varnholt::analysis {

inline constexpr int ANALYSIS_RATE_HZ = VH_SAMPLE_RATE;

// Converts one channel from rate_hz to 48 kHz with libsoxr at its highest
// quality setting (32-bit precision, linear phase). Gives
// round(size * 48000 / rate_hz) samples. Throws std::runtime_error when the
// resampler fails.
std::vector<double> resample_to_analysis_rate(const std::vector<double>& samples, int rate_hz);

// The same conversion chunk by chunk, in memory that does not grow with the
// signal: the concatenated output of push() and finish() equals
// resample_to_analysis_rate() of the concatenated input, sample for sample.
class StreamingResampler {
 public:
  explicit StreamingResampler(int rate_hz);
  ~StreamingResampler();
  StreamingResampler(const StreamingResampler&) = delete;
  StreamingResampler& operator=(const StreamingResampler&) = delete;

  // Converts `in`; `out` is replaced by the samples that became ready.
  void push(std::span<const double> in, std::vector<double>& out);
  // Ends the input: `out` is replaced by the last samples.
  void finish(std::vector<double>& out);

 private:
  void process(const double* in, std::size_t count, bool last, std::vector<double>& out);

  struct Soxr;
  std::unique_ptr<Soxr> soxr_;
  double ratio_;
  std::size_t consumed_ = 0;
  std::size_t produced_ = 0;
};

// How the tool's resampling is described in its outputs.
inline constexpr const char* RESAMPLER_DESCRIPTION =
    "libsoxr, 32-bit precision (highest quality), linear phase";

}  // namespace varnholt::analysis
