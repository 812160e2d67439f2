// Resampling through libsoxr in one shot, double samples in and out.
#include "resample.h"

#include <soxr.h>

#include <cmath>
#include <stdexcept>
#include <string>

namespace varnholt::cli {

std::vector<double> resample_to_analysis_rate(const std::vector<double>& samples, int rate_hz) {
  const double ratio = static_cast<double>(ANALYSIS_RATE_HZ) / static_cast<double>(rate_hz);
  const auto expected =
      static_cast<std::size_t>(std::llround(static_cast<double>(samples.size()) * ratio));
  // One spare sample so that soxr's own rounding of the output length never
  // truncates.
  std::vector<double> out(expected + 1);
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_32_BITQ, SOXR_LINEAR_PHASE);
  const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
  std::size_t consumed = 0;
  std::size_t produced = 0;
  const soxr_error_t error = soxr_oneshot(static_cast<double>(rate_hz), ANALYSIS_RATE_HZ, 1,
                                          samples.data(), samples.size(), &consumed, out.data(),
                                          out.size(), &produced, &io, &quality, &runtime);
  if (error) throw std::runtime_error(std::string("resampling failed (") + error + ")");
  out.resize(std::min(produced, expected));
  return out;
}

}  // namespace varnholt::cli
