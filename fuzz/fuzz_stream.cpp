// Fuzz target: the streaming interface. A signal goes through a stream once
// whole and once in chunks of random sizes on 1 to 4 threads, read back with
// random capacities; both must agree bit for bit, with the frame count of the
// metric's frame-count function and the statuses of the contract.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "fuzz_input.h"

using namespace varnholt::fuzz;

namespace {

// A small generator of chunk sizes and read capacities from the input's
// last bytes.
class Steps {
 public:
  explicit Steps(std::uint32_t seed) : state_(seed | 1U) {}
  std::size_t next(std::size_t limit) {
    state_ = state_ * 1664525U + 1013904223U;
    return (state_ >> 8) % limit;
  }

 private:
  std::uint32_t state_;
};

struct Outcome {
  vh_status status = VH_OK;
  std::vector<double> frames;
};

// Pushes `signal` in chunks (one chunk when steps is null) and reads what is
// final after each push; stops at the first failure.
Outcome run(vh_metric metric, const FuzzCall& call, Steps* steps) {
  Outcome o;
  std::size_t width = 0;
  require(vh_stream_frame_values(metric, &width) == VH_OK);
  vh_stream* s = nullptr;
  o.status = vh_stream_create(metric, call.sample_rate, call.sound_field, &s);
  check_status(o.status);
  if (o.status != VH_OK) {
    require(s == nullptr);
    return o;
  }
  if (steps) require(vh_stream_set_threads(s, 1 + steps->next(4)) == VH_OK);
  auto read = [&] {
    std::size_t got = 1;
    while (got > 0) {
      const std::size_t capacity = steps ? steps->next(3 * width) : 4 * width;
      std::vector<double> buffer(capacity + 1, SENTINEL);
      require(vh_stream_read(s, buffer.data(), capacity, &got) == VH_OK);
      require(got * width <= capacity && buffer[got * width] == SENTINEL);
      o.frames.insert(o.frames.end(), buffer.begin(),
                      buffer.begin() + static_cast<std::ptrdiff_t>(got * width));
      if (capacity < width) break;
    }
  };
  const std::vector<double>& x = call.signal;
  for (std::size_t at = 0; at < x.size() && o.status == VH_OK;) {
    const std::size_t count = steps ? std::min(x.size() - at, 1 + steps->next(3000)) : x.size();
    o.status = vh_stream_push(s, x.data() + at, count);
    check_status(o.status);
    if (o.status == VH_ERR_NON_FINITE_INPUT) {
      // Refused whole; the stream must still take a finish.
      require(std::any_of(x.begin() + static_cast<std::ptrdiff_t>(at),
                          x.begin() + static_cast<std::ptrdiff_t>(at + count),
                          [](double v) { return !std::isfinite(v); }));
      break;
    }
    at += count;
    read();
  }
  if (o.status == VH_OK) o.status = vh_stream_finish(s);
  check_status(o.status);
  std::size_t got = 1;
  while (got > 0) {
    std::vector<double> buffer(4 * width);
    require(vh_stream_read(s, buffer.data(), buffer.size(), &got) == VH_OK);
    o.frames.insert(o.frames.end(), buffer.begin(),
                    buffer.begin() + static_cast<std::ptrdiff_t>(got * width));
  }
  vh_stream_destroy(s);
  return o;
}

// Frames the whole-signal function gives for n samples (0 when it refuses).
std::size_t expected_frames(vh_metric metric, std::size_t n) {
  std::size_t frames = 0;
  vh_status s = VH_OK;
  switch (metric) {
    case VH_METRIC_LOUDNESS_STATIONARY:
    case VH_METRIC_THIRD_OCTAVE_LEVELS: return n >= 256 ? 1 : 0;
    case VH_METRIC_SOUND_LEVELS: return n >= 1 ? 1 : 0;
    case VH_METRIC_LOUDNESS_TIME: s = vh_loudness_time_frame_count(n, VH_SAMPLE_RATE, &frames); break;
    case VH_METRIC_ROUGHNESS_DW: s = vh_roughness_frame_count(n, VH_SAMPLE_RATE, &frames); break;
    case VH_METRIC_TONALITY_AURES: s = vh_tonality_frame_count(n, VH_SAMPLE_RATE, &frames); break;
    case VH_METRIC_ECMA_TONALITY: s = vh_ecma_tonal_frame_count(n, VH_SAMPLE_RATE, &frames); break;
    default: s = vh_ecma_roughness_frame_count(n, VH_SAMPLE_RATE, &frames); break;
  }
  return s == VH_OK ? frames : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FuzzCall call = decode(data, size, 24000);
  const std::uint8_t last = size > 0 ? data[size - 1] : 0;
  const auto metric = static_cast<vh_metric>(VH_METRIC_LOUDNESS_STATIONARY + last % 8);
  Steps steps(size > 1 ? static_cast<std::uint32_t>(data[size - 2]) << 8 | last : 7U);

  const Outcome whole = run(metric, call, nullptr);
  const Outcome chunked = run(metric, call, &steps);
  if (whole.status == VH_ERR_NON_FINITE_INPUT) return 0;  // chunks refused at other places
  require(chunked.status == whole.status);
  if (whole.status != VH_OK) return 0;
  std::size_t width = 0;
  vh_stream_frame_values(metric, &width);
  require(whole.frames.size() == width * expected_frames(metric, call.signal.size()));
  require(chunked.frames.size() == whole.frames.size());
  require(std::equal(whole.frames.begin(), whole.frames.end(), chunked.frames.begin(),
                     [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }));
  for (double v : whole.frames) require(std::isfinite(v) && v >= 0.0);
  return 0;
}
