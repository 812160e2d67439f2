// The tonality stream's frames, failures and minimum length.
#include <gtest/gtest.h>

#include <vector>

#include "shorttime/tonality_aures/aures_tonality_stream.h"
#include "support/signals.h"

namespace varnholt {
namespace {

using test::sine;

TEST(AuresTonalityStream, TooShortWithoutAWholeFrame) {
  AuresTonalityStream stream(VH_SOUND_FIELD_FREE);
  EXPECT_EQ(stream.push(sine(1000.0, 60.0, 11999)), VH_OK);
  EXPECT_EQ(stream.finish(), VH_ERR_INPUT_TOO_SHORT);
  EXPECT_TRUE(stream.ready().empty());
}

TEST(AuresTonalityStream, OneValuePerWholeFrame) {
  AuresTonalityStream stream(VH_SOUND_FIELD_FREE);
  EXPECT_EQ(stream.push(sine(1000.0, 60.0, 18000)), VH_OK);
  EXPECT_EQ(stream.finish(), VH_OK);
  ASSERT_EQ(stream.ready().size(), 2U);
  // A pure tone is fully tonal; the window and the residual leave 2 %.
  EXPECT_NEAR(stream.ready()[0], 1.0, 0.02);
  EXPECT_NEAR(stream.ready()[1], 1.0, 0.02);
}

TEST(AuresTonalityStream, AFrameTheLoudnessModelRefusesFailsTheStream) {
  AuresTonalityStream stream(VH_SOUND_FIELD_FREE);
  EXPECT_EQ(stream.push(sine(100.0, 130.0, 12000)), VH_ERR_NUMERICAL);
  EXPECT_EQ(stream.push(sine(1000.0, 60.0, 12000)), VH_ERR_NUMERICAL);
  EXPECT_EQ(stream.finish(), VH_ERR_NUMERICAL);
  EXPECT_TRUE(stream.ready().empty());
}

}  // namespace
}  // namespace varnholt
