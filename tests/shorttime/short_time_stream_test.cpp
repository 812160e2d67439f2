// The roughness and tonality streams against the whole-signal exports: any
// chunking gives the export's frames bit for bit.
#include <gtest/gtest.h>

#include <vector>

#include "shorttime/roughness_dw/dw_roughness_stream.h"
#include "shorttime/tonality_aures/aures_tonality_stream.h"
#include "support/compare.h"
#include "support/stream_chunks.h"

namespace varnholt {
namespace {

using test::arrays_identical;
using test::Chunking;

// 0.6 s and 37 samples: no multiple of either hop or of any chunk size, so
// every signal ends in samples no frame takes.
constexpr std::size_t LENGTH = 28837;
// Two frames of either metric and a few samples, for chunks of one sample.
constexpr std::size_t SHORT_LENGTH = 18005;

std::vector<double> exported_roughness(const std::vector<double>& x, vh_sound_field) {
  std::size_t frames = 0;
  EXPECT_EQ(vh_roughness_frame_count(x.size(), VH_SAMPLE_RATE, &frames), VH_OK);
  std::vector<double> out(frames);
  EXPECT_EQ(vh_roughness_dw(x.data(), x.size(), VH_SAMPLE_RATE, out.data(), out.size(), &frames),
            VH_OK);
  return out;
}

std::vector<double> exported_tonality(const std::vector<double>& x, vh_sound_field field) {
  std::size_t frames = 0;
  EXPECT_EQ(vh_tonality_frame_count(x.size(), VH_SAMPLE_RATE, &frames), VH_OK);
  std::vector<double> out(frames);
  EXPECT_EQ(vh_tonality_aures(x.data(), x.size(), VH_SAMPLE_RATE, field, out.data(), out.size(),
                              &frames),
            VH_OK);
  return out;
}

// Every signal in every chunking (the sound field matters to tonality only),
// plus single samples on a shorter signal.
template <typename Stream, typename Export>
void expect_chunking_exact(Export exported, vh_sound_field field) {
  for (const test::NamedSignal& s : test::chunking_signals(LENGTH)) {
    const std::vector<double> expected = exported(s.x, field);
    for (const Chunking& c : test::standard_chunkings()) {
      const test::Streamed r = test::stream_in_chunks<Stream>(s.x, field, c);
      EXPECT_EQ(r.status, VH_OK) << s.name << " in chunks of " << c.name;
      EXPECT_TRUE(arrays_identical(r.frames, expected)) << s.name << " in chunks of " << c.name;
    }
  }
  const std::vector<double> x(test::chunking_signals(SHORT_LENGTH)[0].x);
  const test::Streamed r = test::stream_in_chunks<Stream>(x, field, {"1", 1});
  EXPECT_EQ(r.status, VH_OK);
  EXPECT_TRUE(arrays_identical(r.frames, exported(x, field))) << "chunks of 1";
}

TEST(DwRoughnessStream, AnyChunkingGivesTheExportsFrames) {
  expect_chunking_exact<DwRoughnessStream>(exported_roughness, VH_SOUND_FIELD_FREE);
}

TEST(AuresTonalityStream, AnyChunkingGivesTheExportsFrames) {
  expect_chunking_exact<AuresTonalityStream>(exported_tonality, VH_SOUND_FIELD_DIFFUSE);
}

}  // namespace
}  // namespace varnholt
