// Streams through the public interface: any chunking gives the frames of the
// whole-signal function bit for bit, and every status of the contract.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "support/compare.h"
#include "support/signals.h"
#include "varnholt.h"

namespace varnholt::test {
namespace {

// What a stream or a whole-signal call gave: the status and the frames in
// the stream layout (frame-major, each frame's values together).
struct Frames {
  vh_status status = VH_OK;
  std::vector<double> values;
};

// The whole-signal function of a metric, its output rearranged into frames.
Frames whole_signal(vh_metric metric, const std::vector<double>& x, vh_sound_field field) {
  const std::size_t n = x.size();
  Frames r;
  std::size_t frames = 0;
  switch (metric) {
    case VH_METRIC_LOUDNESS_STATIONARY: {
      std::vector<double> v(1 + VH_BARK_COUNT);
      r.status = vh_loudness_stationary(x.data(), n, VH_SAMPLE_RATE, field, v.data(),
                                        v.data() + 1, VH_BARK_COUNT);
      r.values = v;
      break;
    }
    case VH_METRIC_LOUDNESS_TIME: {
      vh_loudness_time_frame_count(n, VH_SAMPLE_RATE, &frames);
      std::vector<double> total(frames), specific(frames * VH_BARK_COUNT);
      r.status = vh_loudness_time(x.data(), n, VH_SAMPLE_RATE, field, total.data(), frames,
                                  specific.data(), specific.size(), &frames);
      for (std::size_t f = 0; f < frames; ++f) {
        r.values.push_back(total[f]);
        r.values.insert(r.values.end(), specific.begin() + static_cast<std::ptrdiff_t>(f * VH_BARK_COUNT),
                        specific.begin() + static_cast<std::ptrdiff_t>((f + 1) * VH_BARK_COUNT));
      }
      break;
    }
    case VH_METRIC_ROUGHNESS_DW:
    case VH_METRIC_TONALITY_AURES: {
      const bool dw = metric == VH_METRIC_ROUGHNESS_DW;
      dw ? vh_roughness_frame_count(n, VH_SAMPLE_RATE, &frames)
         : vh_tonality_frame_count(n, VH_SAMPLE_RATE, &frames);
      r.values.resize(frames);
      r.status = dw ? vh_roughness_dw(x.data(), n, VH_SAMPLE_RATE, r.values.data(), frames, &frames)
                    : vh_tonality_aures(x.data(), n, VH_SAMPLE_RATE, field, r.values.data(),
                                        frames, &frames);
      break;
    }
    case VH_METRIC_ECMA_TONALITY: {
      vh_ecma_tonal_frame_count(n, VH_SAMPLE_RATE, &frames);
      const std::size_t plane = VH_ECMA_BAND_COUNT * frames;
      std::vector<double> planes(VH_ECMA_TONAL_PLANES * plane);
      r.status = vh_ecma_tonal_analysis(x.data(), n, VH_SAMPLE_RATE, field, planes.data(),
                                        planes.size(), &frames);
      for (std::size_t k = 0; k < frames; ++k) {
        for (std::size_t s = 0; s < VH_ECMA_TONAL_PLANES; ++s) {
          for (std::size_t b = 0; b < VH_ECMA_BAND_COUNT; ++b) {
            r.values.push_back(planes[s * plane + k * VH_ECMA_BAND_COUNT + b]);
          }
        }
      }
      break;
    }
    case VH_METRIC_SOUND_LEVELS:
      r.values.resize(VH_SOUND_LEVEL_COUNT);
      r.status = vh_sound_levels(x.data(), n, VH_SAMPLE_RATE, r.values.data(), r.values.size());
      break;
    case VH_METRIC_THIRD_OCTAVE_LEVELS:
      r.values.resize(VH_THIRD_OCTAVE_COUNT);
      r.status =
          vh_third_octave_levels(x.data(), n, VH_SAMPLE_RATE, r.values.data(), r.values.size());
      break;
    default: {
      vh_ecma_roughness_frame_count(n, VH_SAMPLE_RATE, &frames);
      r.values.resize(VH_ECMA_BAND_COUNT * frames);
      r.status = vh_roughness_ecma(x.data(), n, VH_SAMPLE_RATE, field, r.values.data(),
                                   r.values.size(), &frames);
    }
  }
  if (r.status != VH_OK) r.values.clear();
  return r;
}

// Reads every finished frame, through a buffer of an odd number of frames so
// that reads also stop part-way through what is ready.
void read_all(vh_stream* s, std::size_t width, std::vector<double>& into) {
  std::vector<double> buffer(3 * width + width / 2);
  std::size_t got = 0;
  do {
    ASSERT_EQ(vh_stream_read(s, buffer.data(), buffer.size(), &got), VH_OK);
    into.insert(into.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got * width));
  } while (got > 0);
}

// The same signal through a stream, in chunks of the given sizes (cycled),
// reading after every push; before push i the stream may use threads[i]
// threads (cycled), and once more after the finish.
Frames streamed(vh_metric metric, const std::vector<double>& x, vh_sound_field field,
                const std::vector<std::size_t>& chunks,
                const std::vector<std::size_t>& threads = {1}) {
  Frames r;
  std::size_t width = 0;
  EXPECT_EQ(vh_stream_frame_values(metric, &width), VH_OK);
  vh_stream* s = nullptr;
  EXPECT_EQ(vh_stream_create(metric, VH_SAMPLE_RATE, field, &s), VH_OK);
  std::size_t at = 0;
  std::size_t i = 0;
  for (; at < x.size() && r.status == VH_OK; ++i) {
    if (threads.size() > 1 || threads[0] > 1) {
      EXPECT_EQ(vh_stream_set_threads(s, threads[i % threads.size()]), VH_OK);
    }
    const std::size_t count = std::min(chunks[i % chunks.size()], x.size() - at);
    r.status = vh_stream_push(s, x.data() + at, count);
    at += count;
    read_all(s, width, r.values);
  }
  if (r.status == VH_OK) r.status = vh_stream_finish(s);
  if (threads.size() > 1) {
    EXPECT_EQ(vh_stream_set_threads(s, threads[i % threads.size()]), VH_OK);
  }
  read_all(s, width, r.values);
  vh_stream_destroy(s);
  if (r.status != VH_OK) r.values.clear();
  return r;
}

constexpr vh_metric ALL_METRICS[] = {VH_METRIC_LOUDNESS_STATIONARY, VH_METRIC_LOUDNESS_TIME,
                                     VH_METRIC_ROUGHNESS_DW,        VH_METRIC_TONALITY_AURES,
                                     VH_METRIC_ECMA_TONALITY,       VH_METRIC_ECMA_ROUGHNESS,
                                     VH_METRIC_SOUND_LEVELS,        VH_METRIC_THIRD_OCTAVE_LEVELS};

// Chunk sizes drawn from our own generator: 1 to 5000 samples.
std::vector<std::size_t> random_chunks(std::uint64_t seed) {
  Prng prng(seed);
  std::vector<std::size_t> sizes(64);
  for (auto& c : sizes) c = 1 + static_cast<std::size_t>(prng.next_u64() % 5000);
  return sizes;
}

class StreamExactness : public ::testing::TestWithParam<vh_metric> {};

// 0.47 s: longer than every metric's minimum and a multiple of none of their
// hops; a tone over noise that starts with a burst and ends in silence, so
// onsets, decays and zeros are all in the frames.
std::vector<double> burst_tone_noise_silence() {
  const std::size_t n = 22573;
  std::vector<double> x = two_tones(1000.0, 60.0, 3150.0, 55.0, n);
  const std::vector<double> noise = pink_noise(50.0, n, 4);
  for (std::size_t i = 0; i < n; ++i) x[i] = i > 20000 ? 0.0 : x[i] * (i < 4000 ? 3.0 : 1.0) + noise[i];
  return x;
}

TEST_P(StreamExactness, AnyChunkingGivesTheWholeSignalFrames) {
  const std::vector<double> x = burst_tone_noise_silence();
  const vh_metric metric = GetParam();
  for (vh_sound_field field : {VH_SOUND_FIELD_FREE, VH_SOUND_FIELD_DIFFUSE}) {
    const Frames reference = whole_signal(metric, x, field);
    ASSERT_EQ(reference.status, VH_OK);
    // The metrics' own tests run every chunk size against their streams; here
    // the interface's hand-over of frames is what is under test.
    for (const auto& chunks : {std::vector<std::size_t>{7}, random_chunks(9)}) {
      SCOPED_TRACE("chunk " + std::to_string(chunks[0]) + ", field " + std::to_string(field));
      const Frames s = streamed(metric, x, field, chunks);
      ASSERT_EQ(s.status, VH_OK);
      EXPECT_TRUE(arrays_identical(s.values, reference.values));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Metrics, StreamExactness, ::testing::ValuesIn(ALL_METRICS));

// The tonality stream shares its bands among threads, and may be told a new
// count before any push: every count and chunking gives the whole-signal
// frames bit for bit.
TEST(StreamThreads, EveryThreadCountGivesTheWholeSignalFrames) {
  const std::vector<double> x = burst_tone_noise_silence();
  const Frames reference = whole_signal(VH_METRIC_ECMA_TONALITY, x, VH_SOUND_FIELD_FREE);
  ASSERT_EQ(reference.status, VH_OK);
  const std::vector<std::vector<std::size_t>> thread_counts = {{1}, {2}, {3}, {8}, {2, 1, 4, 3}};
  for (const auto& threads : thread_counts) {
    for (const auto& chunks :
         {std::vector<std::size_t>{7}, std::vector<std::size_t>{4096}, random_chunks(11)}) {
      SCOPED_TRACE("threads " + std::to_string(threads[0]) + " of " +
                   std::to_string(threads.size()) + ", chunk " + std::to_string(chunks[0]));
      const Frames s = streamed(VH_METRIC_ECMA_TONALITY, x, VH_SOUND_FIELD_FREE, chunks, threads);
      ASSERT_EQ(s.status, VH_OK);
      EXPECT_TRUE(arrays_identical(s.values, reference.values));
    }
  }
}

// The metrics that do not share their work accept a thread count and give
// the same frames.
TEST(StreamThreads, OtherMetricsAcceptThreadsAndIgnoreThem) {
  const std::vector<double> x = burst_tone_noise_silence();
  for (const vh_metric metric : ALL_METRICS) {
    if (metric == VH_METRIC_ECMA_TONALITY) continue;
    SCOPED_TRACE(metric);
    const Frames s = streamed(metric, x, VH_SOUND_FIELD_FREE, {4096}, {3});
    ASSERT_EQ(s.status, VH_OK);
    EXPECT_TRUE(arrays_identical(s.values, whole_signal(metric, x, VH_SOUND_FIELD_FREE).values));
  }
}

TEST(StreamContract, SetThreadsChecksInOrderAndLeavesEndedStreamsAlone) {
  EXPECT_EQ(vh_stream_set_threads(nullptr, 0), VH_ERR_NULL_POINTER);
  EXPECT_EQ(vh_stream_set_threads(nullptr, 2), VH_ERR_NULL_POINTER);
  const std::vector<double> tone = sine(1000.0, 60.0, VH_ECMA_TONAL_MIN_COUNT);
  // A failed stream keeps its failure, a finished one its frames.
  vh_stream* failed = nullptr;
  ASSERT_EQ(vh_stream_create(VH_METRIC_ECMA_TONALITY, VH_SAMPLE_RATE, 0, &failed), VH_OK);
  EXPECT_EQ(vh_stream_set_threads(failed, 0), VH_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(vh_stream_set_threads(failed, 2), VH_OK);
  ASSERT_EQ(vh_stream_push(failed, tone.data(), tone.size() - 1), VH_OK);
  EXPECT_EQ(vh_stream_finish(failed), VH_ERR_INPUT_TOO_SHORT);
  EXPECT_EQ(vh_stream_set_threads(failed, 0), VH_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(vh_stream_set_threads(failed, 3), VH_OK);
  EXPECT_EQ(vh_stream_push(failed, tone.data(), 1), VH_ERR_INPUT_TOO_SHORT);
  vh_stream_destroy(failed);
  const Frames reference = whole_signal(VH_METRIC_ECMA_TONALITY, tone, 0);
  const Frames finished = streamed(VH_METRIC_ECMA_TONALITY, tone, 0, {5000}, {1, 2});
  ASSERT_EQ(finished.status, VH_OK);
  EXPECT_TRUE(arrays_identical(finished.values, reference.values));
}

TEST(StreamContract, CreateChecksInOrder) {
  vh_stream* s = reinterpret_cast<vh_stream*>(&s);
  EXPECT_EQ(vh_stream_create(VH_METRIC_LOUDNESS_TIME, VH_SAMPLE_RATE, 0, nullptr),
            VH_ERR_NULL_POINTER);
  struct Case {
    vh_metric metric;
    int32_t rate;
    vh_sound_field field;
    vh_status expected;
  };
  const Case cases[] = {
      {0, 44100, 2, VH_ERR_INVALID_ARGUMENT},
      {9, VH_SAMPLE_RATE, 0, VH_ERR_INVALID_ARGUMENT},
      {VH_METRIC_ECMA_ROUGHNESS, 44100, 2, VH_ERR_INVALID_SAMPLE_RATE},
      {VH_METRIC_ROUGHNESS_DW, VH_SAMPLE_RATE, -1, VH_ERR_INVALID_SOUND_FIELD},
      {VH_METRIC_LOUDNESS_TIME, VH_SAMPLE_RATE, 2, VH_ERR_INVALID_SOUND_FIELD},
  };
  for (const Case& c : cases) {
    s = reinterpret_cast<vh_stream*>(&s);
    EXPECT_EQ(vh_stream_create(c.metric, c.rate, c.field, &s), c.expected) << c.metric;
    EXPECT_EQ(s, nullptr);
  }
  std::size_t values = 0;
  EXPECT_EQ(vh_stream_frame_values(VH_METRIC_LOUDNESS_TIME, nullptr), VH_ERR_NULL_POINTER);
  EXPECT_EQ(vh_stream_frame_values(0, &values), VH_ERR_INVALID_ARGUMENT);
  const std::size_t widths[] = {241, 241, 1, 1, 265, 53, 6, 28};
  for (std::size_t i = 0; i < std::size(widths); ++i) {
    ASSERT_EQ(vh_stream_frame_values(ALL_METRICS[i], &values), VH_OK);
    EXPECT_EQ(values, widths[i]);
  }
  vh_stream_destroy(nullptr);
}

TEST(StreamContract, PushFinishAndReadFollowTheStreamsState) {
  vh_stream* s = nullptr;
  ASSERT_EQ(vh_stream_create(VH_METRIC_ROUGHNESS_DW, VH_SAMPLE_RATE, 0, &s), VH_OK);
  const std::vector<double> tone = sine(1000.0, 60.0, 9600);
  std::vector<double> spoiled = tone;
  spoiled[5000] = std::numeric_limits<double>::infinity();
  std::size_t frames = 7;
  double out[4];
  EXPECT_EQ(vh_stream_push(nullptr, tone.data(), 1), VH_ERR_NULL_POINTER);
  EXPECT_EQ(vh_stream_push(s, nullptr, 1), VH_ERR_NULL_POINTER);
  EXPECT_EQ(vh_stream_push(s, nullptr, 0), VH_OK);
  EXPECT_EQ(vh_stream_push(s, spoiled.data(), spoiled.size()), VH_ERR_NON_FINITE_INPUT);
  EXPECT_EQ(vh_stream_push(s, tone.data(), 9599), VH_OK);
  EXPECT_EQ(vh_stream_read(s, nullptr, 0, &frames), VH_OK);
  EXPECT_EQ(frames, 0U);  // the refused chunk left nothing behind
  EXPECT_EQ(vh_stream_read(nullptr, out, 4, &frames), VH_ERR_NULL_POINTER);
  EXPECT_EQ(vh_stream_read(s, out, 4, nullptr), VH_ERR_NULL_POINTER);
  EXPECT_EQ(vh_stream_read(s, nullptr, 4, &frames), VH_ERR_NULL_POINTER);
  EXPECT_EQ(vh_stream_push(s, tone.data() + 9599, 1), VH_OK);
  EXPECT_EQ(vh_stream_read(s, nullptr, 0, &frames), VH_OK);
  EXPECT_EQ(frames, 1U);
  EXPECT_EQ(vh_stream_read(s, out, 0, &frames), VH_OK);
  EXPECT_EQ(frames, 0U);  // a zero capacity takes nothing
  EXPECT_EQ(vh_stream_finish(nullptr), VH_ERR_NULL_POINTER);
  EXPECT_EQ(vh_stream_finish(s), VH_OK);
  EXPECT_EQ(vh_stream_finish(s), VH_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(vh_stream_push(s, tone.data(), 1), VH_ERR_INVALID_ARGUMENT);
  ASSERT_EQ(vh_stream_read(s, out, 4, &frames), VH_OK);
  EXPECT_EQ(frames, 1U);
  EXPECT_EQ(out[0], whole_signal(VH_METRIC_ROUGHNESS_DW, tone, 0).values.at(0));
  vh_stream_destroy(s);
}

TEST(StreamContract, TooShortAtFinishFailsTheStream) {
  const std::size_t minimum[] = {256, 1, 9600, 12000, VH_ECMA_TONAL_MIN_COUNT,
                                 VH_ECMA_ROUGHNESS_MIN_COUNT};
  const std::vector<double> tone = sine(1000.0, 60.0, VH_ECMA_ROUGHNESS_MIN_COUNT);
  for (std::size_t i = 0; i < 6; ++i) {
    SCOPED_TRACE(ALL_METRICS[i]);
    vh_stream* s = nullptr;
    ASSERT_EQ(vh_stream_create(ALL_METRICS[i], VH_SAMPLE_RATE, 0, &s), VH_OK);
    ASSERT_EQ(vh_stream_push(s, tone.data(), minimum[i] - 1), VH_OK);
    std::size_t frames = 9;
    EXPECT_EQ(vh_stream_read(s, nullptr, 0, &frames), VH_OK);
    EXPECT_EQ(frames, 0U);
    EXPECT_EQ(vh_stream_finish(s), VH_ERR_INPUT_TOO_SHORT);
    EXPECT_EQ(vh_stream_push(s, tone.data(), 1), VH_ERR_INPUT_TOO_SHORT);
    EXPECT_EQ(vh_stream_finish(s), VH_ERR_INPUT_TOO_SHORT);
    vh_stream_destroy(s);
  }
}

TEST(StreamContract, AFailureInTheMiddleFailsTheStreamAndKeepsEarlierFrames) {
  // A 130 dB bass tone after a quiet second: the Aures tonality measures the
  // loudness of every frame, and band levels above 120 dB up to 250 Hz are
  // outside the loudness model.
  std::vector<double> x = sine(1000.0, 40.0, 48000);
  const std::vector<double> loud = sine(100.0, 130.0, 24000);
  x.insert(x.end(), loud.begin(), loud.end());
  vh_stream* s = nullptr;
  ASSERT_EQ(vh_stream_create(VH_METRIC_TONALITY_AURES, VH_SAMPLE_RATE, 0, &s), VH_OK);
  EXPECT_EQ(vh_stream_push(s, x.data(), x.size()), VH_ERR_NUMERICAL);
  EXPECT_EQ(vh_stream_push(s, x.data(), 1), VH_ERR_NUMERICAL);
  EXPECT_EQ(vh_stream_finish(s), VH_ERR_NUMERICAL);
  std::size_t frames = 0;
  EXPECT_EQ(vh_stream_read(s, nullptr, 0, &frames), VH_OK);
  EXPECT_GE(frames, 4U);  // the quiet second's frames were final before
  vh_stream_destroy(s);
  EXPECT_EQ(whole_signal(VH_METRIC_TONALITY_AURES, x, 0).status, VH_ERR_NUMERICAL);
}

}  // namespace
}  // namespace varnholt::test
