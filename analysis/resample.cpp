// Resampling through libsoxr, double samples in and out: in one shot, or
// through the same resampler fed chunk by chunk.
#include "resample.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace varnholt::analysis {
namespace {

soxr_t create_soxr(int rate_hz) {
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_32_BITQ, SOXR_LINEAR_PHASE);
  const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
  soxr_error_t error = nullptr;
  soxr_t soxr = soxr_create(static_cast<double>(rate_hz), ANALYSIS_RATE_HZ, 1, &error, &io,
                            &quality, &runtime);
  if (error || !soxr) {
    soxr_delete(soxr);
    throw std::runtime_error(std::string("resampling failed (") + (error ? error : "") + ")");
  }
  return soxr;
}

// The output length of a whole signal of `count` samples.
std::size_t expected_output(std::size_t count, double ratio) {
  return static_cast<std::size_t>(std::llround(static_cast<double>(count) * ratio));
}

}  // namespace

std::vector<double> resample_to_analysis_rate(const std::vector<double>& samples, int rate_hz) {
  const double ratio = static_cast<double>(ANALYSIS_RATE_HZ) / static_cast<double>(rate_hz);
  const std::size_t expected = expected_output(samples.size(), ratio);
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

struct StreamingResampler::Soxr {
  explicit Soxr(soxr_t h) : handle(h) {}
  Soxr(const Soxr&) = delete;
  Soxr& operator=(const Soxr&) = delete;
  ~Soxr() { soxr_delete(handle); }
  soxr_t handle;
};

StreamingResampler::StreamingResampler(int rate_hz)
    : soxr_(std::make_unique<Soxr>(create_soxr(rate_hz))),
      ratio_(static_cast<double>(ANALYSIS_RATE_HZ) / static_cast<double>(rate_hz)) {}

StreamingResampler::~StreamingResampler() = default;

void StreamingResampler::process(const double* in, std::size_t count, bool last,
                                 std::vector<double>& out) {
  out.clear();
  std::size_t taken = 0;
  // soxr hands out what it has as long as the buffer is full; the output
  // lags the input by the filter's delay, so only the flush can reach the
  // length of the whole signal, where it is cut as in the one-shot call.
  for (;;) {
    const std::size_t room = std::max<std::size_t>(
        4096, static_cast<std::size_t>(std::ceil(static_cast<double>(count - taken) * ratio_)) + 64);
    const std::size_t start = out.size();
    out.resize(start + room);
    std::size_t used = 0;
    std::size_t made = 0;
    const soxr_error_t error =
        last ? soxr_process(soxr_->handle, nullptr, 0, nullptr, out.data() + start, room, &made)
             : soxr_process(soxr_->handle, in + taken, count - taken, &used, out.data() + start,
                            room, &made);
    if (error) throw std::runtime_error(std::string("resampling failed (") + error + ")");
    taken += used;
    out.resize(start + made);
    if (made < room && taken == count) break;
  }
  consumed_ += count;
  if (last) {
    const std::size_t expected = expected_output(consumed_, ratio_);
    const std::size_t keep = produced_ >= expected ? 0 : std::min(out.size(), expected - produced_);
    out.resize(keep);
  }
  produced_ += out.size();
}

void StreamingResampler::push(std::span<const double> in, std::vector<double>& out) {
  process(in.data(), in.size(), false, out);
}

void StreamingResampler::finish(std::vector<double>& out) { process(nullptr, 0, true, out); }

}  // namespace varnholt::analysis
