// The loudness streams against the whole-signal exports: any chunking gives
// the export's frames bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "loudness/loudness_time_stream.h"
#include "loudness/stationary_loudness_stream.h"
#include "support/compare.h"
#include "support/stream_chunks.h"

namespace varnholt {
namespace {

using test::arrays_identical;
using test::Chunking;

// Half a second and 13 samples: no multiple of the 24-sample update, the
// 96-sample frame or any chunk size.
constexpr std::size_t LENGTH = 24013;
// Chunks of one sample on a shorter signal keep the test quick.
constexpr std::size_t SHORT_LENGTH = 2411;

// The export's frames in the stream's layout: [N, N'(240)] per frame.
std::vector<double> exported_time_frames(const std::vector<double>& x, vh_sound_field field) {
  std::size_t frames = 0;
  EXPECT_EQ(vh_loudness_time_frame_count(x.size(), VH_SAMPLE_RATE, &frames), VH_OK);
  std::vector<double> loudness(frames);
  std::vector<double> specific(frames * SPECIFIC_LOUDNESS_LENGTH);
  EXPECT_EQ(vh_loudness_time(x.data(), x.size(), VH_SAMPLE_RATE, field, loudness.data(),
                             loudness.size(), specific.data(), specific.size(), &frames),
            VH_OK);
  std::vector<double> out;
  for (std::size_t f = 0; f < frames; ++f) {
    out.push_back(loudness[f]);
    const auto pattern = specific.begin() + static_cast<std::ptrdiff_t>(f * SPECIFIC_LOUDNESS_LENGTH);
    out.insert(out.end(), pattern, pattern + SPECIFIC_LOUDNESS_LENGTH);
  }
  return out;
}

std::vector<double> exported_stationary_frame(const std::vector<double>& x, vh_sound_field field) {
  std::vector<double> out(1 + SPECIFIC_LOUDNESS_LENGTH);
  EXPECT_EQ(vh_loudness_stationary(x.data(), x.size(), VH_SAMPLE_RATE, field, out.data(),
                                   out.data() + 1, SPECIFIC_LOUDNESS_LENGTH),
            VH_OK);
  return out;
}

// Every signal in every chunking, both sound fields, plus single samples on
// the start of the first signal.
template <typename Stream, typename Export>
void expect_chunking_exact(Export exported) {
  for (const test::NamedSignal& s : test::chunking_signals(LENGTH)) {
    for (const vh_sound_field field : {VH_SOUND_FIELD_FREE, VH_SOUND_FIELD_DIFFUSE}) {
      const std::vector<double> expected = exported(s.x, field);
      for (const Chunking& c : test::standard_chunkings()) {
        const test::Streamed r = test::stream_in_chunks<Stream>(s.x, field, c);
        EXPECT_EQ(r.status, VH_OK) << s.name << " in chunks of " << c.name;
        EXPECT_TRUE(arrays_identical(r.frames, expected)) << s.name << " in chunks of " << c.name;
      }
    }
  }
  const std::vector<double> x(test::chunking_signals(SHORT_LENGTH)[1].x);
  const test::Streamed r = test::stream_in_chunks<Stream>(x, VH_SOUND_FIELD_FREE, {"1", 1});
  EXPECT_EQ(r.status, VH_OK);
  EXPECT_TRUE(arrays_identical(r.frames, exported(x, VH_SOUND_FIELD_FREE))) << "chunks of 1";
}

TEST(LoudnessTimeStream, AnyChunkingGivesTheExportsFrames) {
  expect_chunking_exact<LoudnessTimeStream>(exported_time_frames);
}

TEST(StationaryLoudnessStream, AnyChunkingGivesTheExportsFrame) {
  expect_chunking_exact<StationaryLoudnessStream>(exported_stationary_frame);
}

TEST(LoudnessTimeStream, BeyondThePeakBoundTheExportBuffersAndStillMatches) {
  // Some 10^12 Pa: beyond the peak up to which the export writes straight
  // into the caller's arrays, yet every stage stays finite.
  const std::vector<double> x = test::sine(1000.0, 330.0, 4813);
  const test::Streamed r = test::stream_in_chunks<LoudnessTimeStream>(x, VH_SOUND_FIELD_FREE, {"96", 96});
  EXPECT_EQ(r.status, VH_OK);
  EXPECT_TRUE(arrays_identical(r.frames, exported_time_frames(x, VH_SOUND_FIELD_FREE)));
}

TEST(LoudnessStreams, TooShortSignalsEmitNothing) {
  LoudnessTimeStream empty(VH_SOUND_FIELD_FREE);
  EXPECT_EQ(empty.finish(), VH_ERR_INPUT_TOO_SHORT);
  EXPECT_TRUE(empty.ready().empty());

  // 255 overflowing samples: too short comes first, as in the export.
  StationaryLoudnessStream short_stream(VH_SOUND_FIELD_FREE);
  EXPECT_EQ(short_stream.push(std::vector<double>(255, 1e300)), VH_OK);
  EXPECT_EQ(short_stream.finish(), VH_ERR_INPUT_TOO_SHORT);
  EXPECT_TRUE(short_stream.ready().empty());
}

TEST(LoudnessTimeStream, AFailureIsFinal) {
  LoudnessTimeStream stream(VH_SOUND_FIELD_FREE);
  EXPECT_EQ(stream.push(std::vector<double>(960, 0.0)), VH_OK);
  EXPECT_EQ(stream.ready().size(), 10 * LoudnessTimeStream::values_per_frame);
  EXPECT_EQ(stream.push(std::vector<double>(96, 1e300)), VH_ERR_NUMERICAL);
  const std::size_t ready = stream.ready().size();
  EXPECT_EQ(stream.push(std::vector<double>(960, 0.0)), VH_ERR_NUMERICAL);
  EXPECT_EQ(stream.finish(), VH_ERR_NUMERICAL);
  EXPECT_EQ(stream.ready().size(), ready);
}

TEST(LoudnessTimeStream, AnOverflowBetweenUpdatesFailsItsOwnPush) {
  // Sample 961 lies between the updates at samples 960 and 984: the push that
  // carries its overflowing band powers fails although it makes no update.
  LoudnessTimeStream stream(VH_SOUND_FIELD_FREE);
  EXPECT_EQ(stream.push(std::vector<double>(961, 0.0)), VH_OK);
  const std::size_t ready = stream.ready().size();
  EXPECT_EQ(stream.push(std::vector<double>(1, 1e300)), VH_ERR_NUMERICAL);
  EXPECT_EQ(stream.finish(), VH_ERR_NUMERICAL);
  EXPECT_EQ(stream.ready().size(), ready);
}

}  // namespace
}  // namespace varnholt
