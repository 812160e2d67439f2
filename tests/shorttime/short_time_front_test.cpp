// The short-time front with fake cores: check order, framing, and the mapping
// of every kind of core result to a status.
#include "shorttime/short_time_front.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "shorttime/roughness_dw/dw_roughness.h"
#include "support/compare.h"

namespace varnholt {
namespace {

using test::SENTINEL;
using test::untouched;

constexpr std::uint64_t UNTOUCHED_COUNT = 987654321;
constexpr std::uint64_t LARGEST_COUNT = 2147483647;

// What the last fake core saw (tests run on one thread).
struct CoreCall {
  int calls = 0;
  int n = 0;
  double fs = 0.0;
  int sound_field = -99;
  int slot_on_entry = 0;
};
CoreCall last_call;

int record(const double*, int n, double fs, int sound_field, int* frame_count) {
  ++last_call.calls;
  last_call.n = n;
  last_call.fs = fs;
  last_call.sound_field = sound_field;
  last_call.slot_on_entry = *frame_count;
  return *frame_count;
}

// A well-behaved core: frame f reads f + 0.5 (negative zero for frame 0 of
// the signed-zero variant).
int core_ok(const double* s, int n, double fs, int field, double* out, int* slot) {
  const int frames = record(s, n, fs, field, slot);
  for (int f = 0; f < frames; ++f) out[f] = f + 0.5;
  return frames;
}
int core_negative_zero(const double* s, int n, double fs, int field, double* out, int* slot) {
  const int frames = core_ok(s, n, fs, field, out, slot);
  out[0] = -0.0;
  return frames;
}
template <int CODE>
int core_code(const double* s, int n, double fs, int field, double* out, int* slot) {
  core_ok(s, n, fs, field, out, slot);  // partial results must never reach the caller
  return CODE;
}
int core_too_few(const double* s, int n, double fs, int field, double* out, int* slot) {
  const int frames = core_ok(s, n, fs, field, out, slot);
  *slot = frames - 1;
  return frames - 1;
}
int core_slot_disagrees(const double* s, int n, double fs, int field, double* out, int* slot) {
  const int frames = core_ok(s, n, fs, field, out, slot);
  *slot = frames - 1;
  return frames;
}
int core_return_disagrees(const double* s, int n, double fs, int field, double* out, int* slot) {
  const int frames = core_ok(s, n, fs, field, out, slot);
  return frames + 1;
}
template <int BAD_KIND>
int core_bad_value(const double* s, int n, double fs, int field, double* out, int* slot) {
  const int frames = core_ok(s, n, fs, field, out, slot);
  const double bad[] = {-1e-300, std::numeric_limits<double>::quiet_NaN(),
                        std::numeric_limits<double>::infinity(), -1.0};
  out[frames - 1] = bad[BAD_KIND];
  return frames;
}

// A tonality-like metric: 250 ms frames, sound field checked, plan failure
// reported as allocation failure.
ShortTimeMetric tonality_like(ShortTimeCore core) { return {12000, 6000, true, true, core}; }
ShortTimeMetric roughness_like(ShortTimeCore core) { return {9600, 4800, false, false, core}; }

struct Outcome {
  vh_status status;
  std::uint64_t frame_count;
  std::vector<double> out;
};

Outcome run(const ShortTimeMetric& metric, const std::vector<double>& signal, std::uint64_t n,
            std::int32_t rate, std::int32_t field, std::uint64_t capacity) {
  Outcome o{VH_OK, UNTOUCHED_COUNT, std::vector<double>(16, SENTINEL)};
  o.status = short_time_metric_front(signal.data(), n, rate, field, metric, o.out.data(), capacity,
                                     &o.frame_count);
  return o;
}

TEST(ShortTimeFront, ChecksRunInOrderAndLeaveOutputsAlone) {
  const ShortTimeMetric metric = tonality_like(core_ok);
  std::vector<double> ok(48000, 0.01);
  std::vector<double> with_nan = ok;
  with_nan[47999] = std::nan("");
  struct Case {
    const char* what;
    const std::vector<double>* signal;
    std::uint64_t n;
    std::int32_t rate;
    std::int32_t field;
    std::uint64_t capacity;
    vh_status expected;
    std::uint64_t expected_count;
  };
  const Case cases[] = {
      {"rate before length", &ok, 100, 44100, 5, 0, VH_ERR_INVALID_SAMPLE_RATE, UNTOUCHED_COUNT},
      {"size before length", &ok, LARGEST_COUNT + 1, 48000, 5, 0, VH_ERR_SIZE_OVERFLOW,
       UNTOUCHED_COUNT},
      {"length before field", &ok, 11999, 48000, 2, 0, VH_ERR_INPUT_TOO_SHORT, UNTOUCHED_COUNT},
      {"field before capacity", &ok, 48000, 48000, 2, 0, VH_ERR_INVALID_SOUND_FIELD,
       UNTOUCHED_COUNT},
      {"negative field", &ok, 48000, 48000, -1, 7, VH_ERR_INVALID_SOUND_FIELD, UNTOUCHED_COUNT},
      {"capacity before samples", &with_nan, 48000, 48000, 1, 6, VH_ERR_OUTPUT_TOO_SMALL, 7},
      {"capacity zero sizes the call", &ok, 48000, 48000, 0, 0, VH_ERR_OUTPUT_TOO_SMALL, 7},
      {"samples", &with_nan, 48000, 48000, 1, 7, VH_ERR_NON_FINITE_INPUT, UNTOUCHED_COUNT},
  };
  for (const Case& c : cases) {
    last_call.calls = 0;
    const Outcome o = run(metric, *c.signal, c.n, c.rate, c.field, c.capacity);
    EXPECT_EQ(o.status, c.expected) << c.what;
    EXPECT_EQ(o.frame_count, c.expected_count) << c.what;
    EXPECT_TRUE(untouched(o.out)) << c.what;
    EXPECT_EQ(last_call.calls, 0) << c.what;
  }
}

TEST(ShortTimeFront, NullPointersComeFirst) {
  const ShortTimeMetric metric = tonality_like(core_ok);
  std::vector<double> signal(12000, 0.0);
  std::vector<double> out(4, SENTINEL);
  std::uint64_t count = UNTOUCHED_COUNT;
  // Every other argument is wrong as well: the pointers are checked first.
  EXPECT_EQ(short_time_metric_front(nullptr, 1, 1, 9, metric, out.data(), 0, &count),
            VH_ERR_NULL_POINTER);
  EXPECT_EQ(short_time_metric_front(signal.data(), 1, 1, 9, metric, nullptr, 0, &count),
            VH_ERR_NULL_POINTER);
  EXPECT_EQ(short_time_metric_front(signal.data(), 1, 1, 9, metric, out.data(), 0, nullptr),
            VH_ERR_NULL_POINTER);
  EXPECT_EQ(count, UNTOUCHED_COUNT);
  EXPECT_TRUE(untouched(out));
}

TEST(ShortTimeFront, RoughnessLikeMetricIgnoresTheSoundField) {
  const std::vector<double> signal(9600, 0.0);
  const Outcome o = run(roughness_like(core_ok), signal, 9600, 48000, 77, 1);
  EXPECT_EQ(o.status, VH_OK);
  EXPECT_EQ(o.frame_count, 1U);
}

TEST(ShortTimeFront, CoreResultsMapToStatuses) {
  struct Case {
    const char* what;
    ShortTimeMetric metric;
    vh_status expected;
  };
  const Case cases[] = {
      {"allocation", tonality_like(core_code<-2>), VH_ERR_ALLOCATION},
      {"plan failure of tonality", tonality_like(core_code<-6>), VH_ERR_ALLOCATION},
      {"-6 of a metric without plan code", roughness_like(core_code<-6>), VH_ERR_NUMERICAL},
      {"allocation of roughness", roughness_like(core_code<-2>), VH_ERR_ALLOCATION},
      {"capacity code", tonality_like(core_code<-1>), VH_ERR_NUMERICAL},
      {"too short code", tonality_like(core_code<-3>), VH_ERR_NUMERICAL},
      {"non-finite code", roughness_like(core_code<-5>), VH_ERR_NUMERICAL},
      {"most negative code", tonality_like(core_code<std::numeric_limits<int>::min()>),
       VH_ERR_NUMERICAL},
      {"zero frames", tonality_like(core_code<0>), VH_ERR_NUMERICAL},
      {"fewer frames", tonality_like(core_too_few), VH_ERR_NUMERICAL},
      {"slot disagrees", tonality_like(core_slot_disagrees), VH_ERR_NUMERICAL},
      {"return disagrees", tonality_like(core_return_disagrees), VH_ERR_NUMERICAL},
      {"tiny negative value", tonality_like(core_bad_value<0>), VH_ERR_NUMERICAL},
      {"NaN value", tonality_like(core_bad_value<1>), VH_ERR_NUMERICAL},
      {"infinite value", tonality_like(core_bad_value<2>), VH_ERR_NUMERICAL},
      {"negative value", roughness_like(core_bad_value<3>), VH_ERR_NUMERICAL},
  };
  const std::vector<double> signal(30000, 0.02);
  for (const Case& c : cases) {
    const Outcome o = run(c.metric, signal, signal.size(), 48000, 1, 16);
    EXPECT_EQ(o.status, c.expected) << c.what;
    EXPECT_EQ(o.frame_count, UNTOUCHED_COUNT) << c.what;
    EXPECT_TRUE(untouched(o.out)) << c.what;
  }
}

TEST(ShortTimeFront, PassesTheCallToTheCoreAndCopiesOnlyTheFrames) {
  const std::vector<double> signal(30000, 0.02);
  last_call = {};
  const Outcome o = run(tonality_like(core_ok), signal, 29999, 48000, 1, 16);
  ASSERT_EQ(o.status, VH_OK);
  EXPECT_EQ(o.frame_count, 3U);  // (29999 - 12000) / 6000 + 1
  EXPECT_EQ(last_call.calls, 1);
  EXPECT_EQ(last_call.n, 29999);
  EXPECT_EQ(last_call.fs, 48000.0);
  EXPECT_EQ(last_call.sound_field, 1);
  EXPECT_EQ(last_call.slot_on_entry, 3);
  EXPECT_EQ(o.out[0], 0.5);
  EXPECT_EQ(o.out[2], 2.5);
  EXPECT_TRUE(untouched(std::vector<double>(o.out.begin() + 3, o.out.end())));
}

TEST(ShortTimeFront, NegativeZeroIsNotNegative) {
  const std::vector<double> signal(12000, 0.0);
  const Outcome o = run(tonality_like(core_negative_zero), signal, 12000, 48000, 0, 1);
  ASSERT_EQ(o.status, VH_OK);
  EXPECT_TRUE(std::signbit(o.out[0]));
}

TEST(ShortTimeFrameCount, FramesOfBothLayouts) {
  struct Case {
    ShortTimeMetric metric;
    std::uint64_t n;
    std::uint64_t frames;
  };
  const Case cases[] = {
      {roughness_like(core_ok), 9600, 1},
      {roughness_like(core_ok), 14399, 1},
      {roughness_like(core_ok), 14400, 2},
      {roughness_like(core_ok), 48000, 9},
      {tonality_like(core_ok), 12000, 1},
      {tonality_like(core_ok), 17999, 1},
      {tonality_like(core_ok), 18000, 2},
      {tonality_like(core_ok), 48000, 7},
      {roughness_like(core_ok), LARGEST_COUNT, (LARGEST_COUNT - 9600) / 4800 + 1},
  };
  for (const Case& c : cases) {
    std::uint64_t frames = UNTOUCHED_COUNT;
    EXPECT_EQ(short_time_frame_count(c.n, 48000, c.metric, &frames), VH_OK) << c.n;
    EXPECT_EQ(frames, c.frames) << c.n;
  }
}

TEST(ShortTimeFrameCount, ChecksRunInOrder) {
  const ShortTimeMetric metric = tonality_like(core_ok);
  std::uint64_t frames = UNTOUCHED_COUNT;
  EXPECT_EQ(short_time_frame_count(0, 44100, metric, nullptr), VH_ERR_NULL_POINTER);
  EXPECT_EQ(short_time_frame_count(0, 44100, metric, &frames), VH_ERR_INVALID_SAMPLE_RATE);
  EXPECT_EQ(short_time_frame_count(LARGEST_COUNT + 1, 48000, metric, &frames),
            VH_ERR_SIZE_OVERFLOW);
  EXPECT_EQ(short_time_frame_count(UINT64_MAX, 48000, metric, &frames), VH_ERR_SIZE_OVERFLOW);
  EXPECT_EQ(short_time_frame_count(11999, 48000, metric, &frames), VH_ERR_INPUT_TOO_SHORT);
  EXPECT_EQ(frames, UNTOUCHED_COUNT);
}

TEST(ShortTimeFront, RoughnessDescriptorHasTheRoughnessFraming) {
  EXPECT_EQ(DW_ROUGHNESS_METRIC.frame_length, 9600U);
  EXPECT_EQ(DW_ROUGHNESS_METRIC.hop, 4800U);
  EXPECT_FALSE(DW_ROUGHNESS_METRIC.checks_sound_field);
  EXPECT_FALSE(DW_ROUGHNESS_METRIC.plan_failure_is_allocation);
  EXPECT_EQ(DW_ROUGHNESS_METRIC.core, &dw_roughness_compute);
}

}  // namespace
}  // namespace varnholt
