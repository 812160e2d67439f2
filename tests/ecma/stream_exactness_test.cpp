// The hearing-model streams against the whole-signal exports: every split of
// the signal into chunks gives bit for bit the frames of the export, and a
// stream that ends too short fails without having let a frame out.
#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ecma/roughness/ecma_roughness_stream.h"
#include "ecma/tonality/ecma_tonality_stream.h"
#include "support/compare.h"
#include "support/signals.h"
#include "varnholt.h"

namespace varnholt {
namespace {

using test::arrays_identical;

// Not a multiple of any hop or block length (prime), over one 65536 chunk.
constexpr std::size_t LONG = 66001;
// Sample-by-sample pushing is slow; a short length just over the minimum.
constexpr std::size_t SHORT = 16001;
// Chunk plans: a fixed size, or 0 for seeded random sizes up to 10000.
constexpr std::size_t RANDOM = 0;

// A 100 ms burst of a 440 Hz tone at 80 dB in silence.
std::vector<double> burst(std::size_t count) {
  std::vector<double> x = test::silence(count);
  const std::vector<double> tone = test::sine(440.0, 80.0, 4800);
  std::copy(tone.begin(), tone.end(), x.begin() + 19200);
  return x;
}

struct Case {
  std::string name;
  std::vector<double> signal;
  vh_sound_field field;
  std::vector<std::size_t> chunks;
};

std::vector<Case> cases() {
  const std::vector<std::size_t> all = {7, 96, 4096, 65536, RANDOM};
  return {
      {"tone", test::sine(1000.0, 60.0, LONG), VH_SOUND_FIELD_FREE, all},
      {"am_tone", test::am_tone(1000.0, 70.0, 70.0, 1.0, LONG), VH_SOUND_FIELD_DIFFUSE, {4096}},
      {"noise", test::white_noise(60.0, LONG, 3), VH_SOUND_FIELD_FREE, {96, 65536, RANDOM}},
      {"burst", burst(LONG), VH_SOUND_FIELD_DIFFUSE, {7, RANDOM}},
      {"silence", test::silence(LONG), VH_SOUND_FIELD_FREE, {RANDOM}},
      {"short_tone", test::am_tone(500.0, 65.0, 40.0, 0.5, SHORT), VH_SOUND_FIELD_FREE, {1}},
  };
}

// Frames of the stream for the signal pushed in the given chunk plan,
// frame-major, taking ready frames after every push.
template <typename Stream>
std::vector<double> streamed(const std::vector<double>& x, vh_sound_field field,
                             std::size_t chunk) {
  Stream stream(field);
  std::vector<double> frames;
  auto drain = [&]() {
    const std::span<const double> values = stream.ready();
    frames.insert(frames.end(), values.begin(), values.end());
    stream.take(values.size() / Stream::values_per_frame);
  };
  test::Prng random(chunk + 17);
  std::span<const double> rest(x);
  while (!rest.empty()) {
    std::size_t size = chunk;
    if (chunk == RANDOM) size = 1 + static_cast<std::size_t>(random.next_u64() % 10000);
    size = std::min(size, rest.size());
    EXPECT_EQ(stream.push(rest.first(size)), VH_OK);
    drain();
    rest = rest.subspan(size);
  }
  EXPECT_EQ(stream.finish(), VH_OK);
  drain();
  return frames;
}

// The tonality export's planes rearranged frame-major, as the stream gives them.
std::vector<double> tonality_export(const std::vector<double>& x, vh_sound_field field) {
  std::size_t c = 0;
  EXPECT_EQ(vh_ecma_tonal_frame_count(x.size(), VH_SAMPLE_RATE, &c), VH_OK);
  std::vector<double> planes(265 * c);
  std::size_t frames = 0;
  EXPECT_EQ(vh_ecma_tonal_analysis(x.data(), x.size(), VH_SAMPLE_RATE, field, planes.data(),
                                   planes.size(), &frames),
            VH_OK);
  std::vector<double> by_frame(planes.size());
  for (std::size_t s = 0; s < 5; ++s) {
    for (std::size_t k = 0; k < c; ++k) {
      for (std::size_t b = 0; b < 53; ++b) {
        by_frame[265 * k + 53 * s + b] = planes[53 * c * s + 53 * k + b];
      }
    }
  }
  return by_frame;
}

std::vector<double> roughness_export(const std::vector<double>& x, vh_sound_field field) {
  std::size_t h = 0;
  EXPECT_EQ(vh_ecma_roughness_frame_count(x.size(), VH_SAMPLE_RATE, &h), VH_OK);
  std::vector<double> out(53 * h);
  std::size_t frames = 0;
  EXPECT_EQ(vh_roughness_ecma(x.data(), x.size(), VH_SAMPLE_RATE, field, out.data(), out.size(),
                              &frames),
            VH_OK);
  return out;
}

TEST(EcmaStreams, EveryChunkingGivesTheExportBitForBit) {
  for (const Case& c : cases()) {
    const std::vector<double> tonality = tonality_export(c.signal, c.field);
    const std::vector<double> roughness = roughness_export(c.signal, c.field);
    for (const std::size_t chunk : c.chunks) {
      SCOPED_TRACE(c.name + ", chunk " + (chunk == RANDOM ? "random" : std::to_string(chunk)));
      EXPECT_TRUE(arrays_identical(streamed<EcmaTonalityStream>(c.signal, c.field, chunk), tonality));
      EXPECT_TRUE(arrays_identical(streamed<EcmaRoughnessStream>(c.signal, c.field, chunk), roughness));
    }
  }
}

// One sample short of each minimum: finish refuses, and no frame was ever
// ready, although the tonality has computed some by then.
template <typename Stream>
void expect_too_short(std::size_t minimum) {
  const std::vector<double> x = test::sine(1000.0, 60.0, minimum - 1);
  Stream stream(VH_SOUND_FIELD_FREE);
  for (std::size_t i = 0; i < x.size(); i += 512) {
    const std::size_t size = std::min<std::size_t>(512, x.size() - i);
    ASSERT_EQ(stream.push(std::span<const double>(x).subspan(i, size)), VH_OK);
    ASSERT_TRUE(stream.ready().empty()) << "after " << i + size << " samples";
  }
  EXPECT_EQ(stream.finish(), VH_ERR_INPUT_TOO_SHORT);
  EXPECT_TRUE(stream.ready().empty());
  EXPECT_EQ(stream.finish(), VH_ERR_INPUT_TOO_SHORT);
  EXPECT_EQ(stream.push(std::span<const double>(x).first(1)), VH_ERR_INPUT_TOO_SHORT);
}

TEST(EcmaStreams, TooShortASignalLetsNoFrameOut) {
  expect_too_short<EcmaTonalityStream>(ECMA_TONAL_MIN_SAMPLES);
  expect_too_short<EcmaRoughnessStream>(ECMA_ROUGHNESS_MIN_SAMPLES);
}

// An overflow deep into the signal fails the stream for good: the failing push
// and everything after report it, and no frame follows.
template <typename Stream>
void expect_failure_sticks() {
  std::vector<double> x = test::sine(1000.0, 60.0, 48000);
  for (std::size_t i = 30000; i < x.size(); ++i) x[i] *= 1e160;
  Stream stream(VH_SOUND_FIELD_FREE);
  vh_status failed = VH_OK;
  for (std::size_t i = 0; i < x.size() && failed == VH_OK; i += 4096) {
    failed = stream.push(std::span<const double>(x).subspan(i, std::min<std::size_t>(4096, x.size() - i)));
  }
  ASSERT_EQ(failed, VH_ERR_NUMERICAL);
  const std::size_t ready = stream.ready().size();
  EXPECT_EQ(stream.push(std::span<const double>(x).first(10)), VH_ERR_NUMERICAL);
  EXPECT_EQ(stream.finish(), VH_ERR_NUMERICAL);
  EXPECT_EQ(stream.ready().size(), ready);
}

TEST(EcmaStreams, AFailureIsFinal) {
  expect_failure_sticks<EcmaTonalityStream>();
  expect_failure_sticks<EcmaRoughnessStream>();
}

}  // namespace
}  // namespace varnholt
