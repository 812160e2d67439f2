// The short-time front with fake streams: check order, framing, and the status
// of every kind of stream result.
#include "shorttime/short_time_front.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <span>
#include <vector>

#include "core/boundary.h"
#include "shorttime/roughness_dw/dw_roughness_stream.h"
#include "shorttime/tonality_aures/aures_tonality_stream.h"
#include "support/compare.h"

namespace varnholt {
namespace {

using test::SENTINEL;
using test::untouched;

constexpr std::uint64_t UNTOUCHED_COUNT = 987654321;
constexpr std::uint64_t LARGEST_COUNT = 2147483647;

// What the last fake stream saw (tests run on one thread).
struct StreamCall {
  int constructed = 0;
  vh_sound_field field = -99;
  std::uint64_t pushed = 0;
  int finished = 0;
};
StreamCall last_call;

// How a fake stream misbehaves.
enum class Fault {
  none,
  negative_zero,        // frame 0 reads -0.0
  construction,         // the constructor throws std::bad_alloc (memory or an FFT plan)
  push_fails,           // push reports a numerical failure at the second frame
  finish_fails,         // finish reports a numerical failure
  no_frames,            // emits nothing
  one_frame_short,      // never emits the last frame
  one_frame_extra,      // emits one frame more at finish
  tiny_negative_value,  // the last frame reads -1e-300, NaN, infinity or -1
  nan_value,
  infinite_value,
  negative_value,
};

// A stream with the framing of tonality (sound field checked) or roughness:
// frame f reads f + 0.5 and is emitted once its last sample arrives.
template <bool TONALITY, Fault FAULT>
class FakeStream {
 public:
  static constexpr ShortTimeFraming framing =
      TONALITY ? ShortTimeFraming{12000, 6000, true} : ShortTimeFraming{9600, 4800, false};

  explicit FakeStream(vh_sound_field field) {
    if (FAULT == Fault::construction) throw std::bad_alloc();
    ++last_call.constructed;
    last_call.field = field;
    last_call.pushed = 0;
    last_call.finished = 0;
  }

  vh_status push(std::span<const double> samples) {
    last_call.pushed += samples.size();
    if (FAULT == Fault::push_fails && due() >= 2) return VH_ERR_NUMERICAL;
    // All but the last due frame go out at once; the last waits for finish,
    // where the faults can reach it.
    while (FAULT != Fault::no_frames && emitted_ + 1 < due()) emit();
    return VH_OK;
  }

  vh_status finish() {
    ++last_call.finished;
    if (FAULT == Fault::finish_fails) return VH_ERR_NUMERICAL;
    if (FAULT == Fault::no_frames) return VH_OK;
    if (FAULT != Fault::one_frame_short) emit();
    if (FAULT == Fault::one_frame_extra) emit();
    const double bad[] = {-1e-300, std::numeric_limits<double>::quiet_NaN(),
                          std::numeric_limits<double>::infinity(), -1.0};
    if (FAULT == Fault::tiny_negative_value) ready_.back() = bad[0];
    if (FAULT == Fault::nan_value) ready_.back() = bad[1];
    if (FAULT == Fault::infinite_value) ready_.back() = bad[2];
    if (FAULT == Fault::negative_value) ready_.back() = bad[3];
    return VH_OK;
  }

  std::span<const double> ready() const { return ready_; }
  void take(std::size_t frames) { ready_.erase(ready_.begin(), ready_.begin() + static_cast<std::ptrdiff_t>(frames)); }

 private:
  void emit() {
    ready_.push_back(FAULT == Fault::negative_zero && emitted_ == 0 ? -0.0 : static_cast<double>(emitted_) + 0.5);
    ++emitted_;
  }

  std::uint64_t due() const {
    const std::uint64_t n = last_call.pushed;
    return n < framing.frame_length ? 0 : (n - framing.frame_length) / framing.hop + 1;
  }

  std::uint64_t emitted_ = 0;
  std::vector<double> ready_;
};

template <Fault FAULT = Fault::none>
using TonalityLike = FakeStream<true, FAULT>;
template <Fault FAULT = Fault::none>
using RoughnessLike = FakeStream<false, FAULT>;

struct Outcome {
  vh_status status;
  std::uint64_t frame_count;
  std::vector<double> out;
};

// Runs the front as the exports do, allocation failures caught at the boundary.
template <typename Stream>
Outcome run(const std::vector<double>& signal, std::uint64_t n, std::int32_t rate,
            std::int32_t field, std::uint64_t capacity) {
  Outcome o{VH_OK, UNTOUCHED_COUNT, std::vector<double>(16, SENTINEL)};
  o.status = guarded_call([&] {
    return short_time_metric_front<Stream>(signal.data(), n, rate, field, o.out.data(), capacity,
                                           &o.frame_count);
  });
  return o;
}

using RunFront = Outcome (*)(const std::vector<double>&, std::uint64_t, std::int32_t, std::int32_t,
                             std::uint64_t);

TEST(ShortTimeFront, ChecksRunInOrderAndLeaveOutputsAlone) {
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
    last_call.constructed = 0;
    const Outcome o = run<TonalityLike<>>(*c.signal, c.n, c.rate, c.field, c.capacity);
    EXPECT_EQ(o.status, c.expected) << c.what;
    EXPECT_EQ(o.frame_count, c.expected_count) << c.what;
    EXPECT_TRUE(untouched(o.out)) << c.what;
    EXPECT_EQ(last_call.constructed, 0) << c.what;
  }
}

TEST(ShortTimeFront, NullPointersComeFirst) {
  using Metric = TonalityLike<>;
  std::vector<double> signal(12000, 0.0);
  std::vector<double> out(4, SENTINEL);
  std::uint64_t count = UNTOUCHED_COUNT;
  // Every other argument is wrong as well: the pointers are checked first.
  EXPECT_EQ(short_time_metric_front<Metric>(nullptr, 1, 1, 9, out.data(), 0, &count),
            VH_ERR_NULL_POINTER);
  EXPECT_EQ(short_time_metric_front<Metric>(signal.data(), 1, 1, 9, nullptr, 0, &count),
            VH_ERR_NULL_POINTER);
  EXPECT_EQ(short_time_metric_front<Metric>(signal.data(), 1, 1, 9, out.data(), 0, nullptr),
            VH_ERR_NULL_POINTER);
  EXPECT_EQ(count, UNTOUCHED_COUNT);
  EXPECT_TRUE(untouched(out));
}

TEST(ShortTimeFront, RoughnessLikeMetricIgnoresTheSoundField) {
  const std::vector<double> signal(9600, 0.0);
  const Outcome o = run<RoughnessLike<>>(signal, 9600, 48000, 77, 1);
  EXPECT_EQ(o.status, VH_OK);
  EXPECT_EQ(o.frame_count, 1U);
}

TEST(ShortTimeFront, StreamResultsMapToStatuses) {
  struct Case {
    const char* what;
    RunFront run;
    vh_status expected;
  };
  const Case cases[] = {
      {"allocation", run<TonalityLike<Fault::construction>>, VH_ERR_ALLOCATION},
      {"allocation of roughness", run<RoughnessLike<Fault::construction>>, VH_ERR_ALLOCATION},
      {"failure in the middle", run<TonalityLike<Fault::push_fails>>, VH_ERR_NUMERICAL},
      {"failure at the end", run<RoughnessLike<Fault::finish_fails>>, VH_ERR_NUMERICAL},
      {"zero frames", run<TonalityLike<Fault::no_frames>>, VH_ERR_NUMERICAL},
      {"fewer frames", run<TonalityLike<Fault::one_frame_short>>, VH_ERR_NUMERICAL},
      {"more frames", run<TonalityLike<Fault::one_frame_extra>>, VH_ERR_NUMERICAL},
      {"tiny negative value", run<TonalityLike<Fault::tiny_negative_value>>, VH_ERR_NUMERICAL},
      {"NaN value", run<TonalityLike<Fault::nan_value>>, VH_ERR_NUMERICAL},
      {"infinite value", run<TonalityLike<Fault::infinite_value>>, VH_ERR_NUMERICAL},
      {"negative value", run<RoughnessLike<Fault::negative_value>>, VH_ERR_NUMERICAL},
  };
  const std::vector<double> signal(30000, 0.02);
  for (const Case& c : cases) {
    const Outcome o = c.run(signal, signal.size(), 48000, 1, 16);
    EXPECT_EQ(o.status, c.expected) << c.what;
    EXPECT_EQ(o.frame_count, UNTOUCHED_COUNT) << c.what;
    EXPECT_TRUE(untouched(o.out)) << c.what;
  }
}

TEST(ShortTimeFront, StreamsTheWholeSignalAndCopiesOnlyTheFrames) {
  const std::vector<double> signal(30000, 0.02);
  last_call = {};
  const Outcome o = run<TonalityLike<>>(signal, 29999, 48000, 1, 16);
  ASSERT_EQ(o.status, VH_OK);
  EXPECT_EQ(o.frame_count, 3U);  // (29999 - 12000) / 6000 + 1
  EXPECT_EQ(last_call.constructed, 1);
  EXPECT_EQ(last_call.pushed, 29999U);
  EXPECT_EQ(last_call.finished, 1);
  EXPECT_EQ(last_call.field, 1);
  EXPECT_EQ(o.out[0], 0.5);
  EXPECT_EQ(o.out[2], 2.5);
  EXPECT_TRUE(untouched(std::vector<double>(o.out.begin() + 3, o.out.end())));
}

TEST(ShortTimeFront, NegativeZeroIsNotNegative) {
  const std::vector<double> signal(12000, 0.0);
  const Outcome o = run<TonalityLike<Fault::negative_zero>>(signal, 12000, 48000, 0, 1);
  ASSERT_EQ(o.status, VH_OK);
  EXPECT_TRUE(std::signbit(o.out[0]));
}

TEST(ShortTimeFrameCount, FramesOfBothLayouts) {
  struct Case {
    ShortTimeFraming framing;
    std::uint64_t n;
    std::uint64_t frames;
  };
  constexpr ShortTimeFraming ROUGHNESS = DwRoughnessStream::framing;
  constexpr ShortTimeFraming TONALITY = AuresTonalityStream::framing;
  const Case cases[] = {
      {ROUGHNESS, 9600, 1},
      {ROUGHNESS, 14399, 1},
      {ROUGHNESS, 14400, 2},
      {ROUGHNESS, 48000, 9},
      {TONALITY, 12000, 1},
      {TONALITY, 17999, 1},
      {TONALITY, 18000, 2},
      {TONALITY, 48000, 7},
      {ROUGHNESS, LARGEST_COUNT, (LARGEST_COUNT - 9600) / 4800 + 1},
  };
  for (const Case& c : cases) {
    std::uint64_t frames = UNTOUCHED_COUNT;
    EXPECT_EQ(short_time_frame_count(c.n, 48000, c.framing, &frames), VH_OK) << c.n;
    EXPECT_EQ(frames, c.frames) << c.n;
  }
}

TEST(ShortTimeFrameCount, ChecksRunInOrder) {
  constexpr ShortTimeFraming metric = AuresTonalityStream::framing;
  std::uint64_t frames = UNTOUCHED_COUNT;
  EXPECT_EQ(short_time_frame_count(0, 44100, metric, nullptr), VH_ERR_NULL_POINTER);
  EXPECT_EQ(short_time_frame_count(0, 44100, metric, &frames), VH_ERR_INVALID_SAMPLE_RATE);
  EXPECT_EQ(short_time_frame_count(LARGEST_COUNT + 1, 48000, metric, &frames),
            VH_ERR_SIZE_OVERFLOW);
  EXPECT_EQ(short_time_frame_count(UINT64_MAX, 48000, metric, &frames), VH_ERR_SIZE_OVERFLOW);
  EXPECT_EQ(short_time_frame_count(11999, 48000, metric, &frames), VH_ERR_INPUT_TOO_SHORT);
  EXPECT_EQ(frames, UNTOUCHED_COUNT);
}

TEST(ShortTimeFront, StreamsHaveTheirMetricsFraming) {
  EXPECT_EQ(DwRoughnessStream::framing.frame_length, 9600U);
  EXPECT_EQ(DwRoughnessStream::framing.hop, 4800U);
  EXPECT_FALSE(DwRoughnessStream::framing.checks_sound_field);
  EXPECT_EQ(AuresTonalityStream::framing.frame_length, 12000U);
  EXPECT_EQ(AuresTonalityStream::framing.hop, 6000U);
  EXPECT_TRUE(AuresTonalityStream::framing.checks_sound_field);
}

}  // namespace
}  // namespace varnholt
