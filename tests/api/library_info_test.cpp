// The information exports: version, interface number, status texts, axes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "varnholt.h"

namespace {

TEST(LibraryInfo, VersionAndInterfaceNumber) {
  EXPECT_EQ(vh_abi_version(), 1);
  EXPECT_STREQ(vh_version_string(), "0.2.2");
}

TEST(LibraryInfo, EveryStatusHasItsText) {
  const char* expected[] = {"success",
                            "null pointer",
                            "invalid argument",
                            "invalid sample rate",
                            "invalid sound field",
                            "input contains NaN or infinity",
                            "input is too short",
                            "output buffer is too small",
                            "size calculation overflow",
                            "memory allocation failed",
                            "numerical calculation failed"};
  for (int32_t code = 0; code <= 10; ++code) {
    EXPECT_STREQ(vh_status_string(code), expected[code]) << "status " << code;
  }
  for (int32_t code : {11, -1, 100, INT32_MIN, INT32_MAX}) {
    EXPECT_STREQ(vh_status_string(code), "unknown status") << "status " << code;
  }
  // The codes are part of the interface.
  EXPECT_EQ(VH_ERR_NULL_POINTER, 1);
  EXPECT_EQ(VH_ERR_NUMERICAL, 10);
  EXPECT_EQ(VH_SAMPLE_RATE, 48000);
}

TEST(LibraryInfo, BarkAxisRunsInTenthsOfABark) {
  const double* axis = vh_bark_axis();
  ASSERT_NE(axis, nullptr);
  EXPECT_EQ(axis[0], 0.1);
  EXPECT_EQ(axis[239], 24.0);
  for (int i = 0; i < 240; ++i) EXPECT_EQ(axis[i], 0.1 * (i + 1)) << "entry " << i;
  EXPECT_EQ(vh_bark_axis(), axis);  // static storage, same table every time
}

TEST(LibraryInfo, ThirdOctaveCentres) {
  const double* f = vh_third_octave_centres_hz();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f[0], 25.0);
  EXPECT_EQ(f[16], 1000.0);
  EXPECT_EQ(f[27], 12500.0);
  for (int i = 1; i < 28; ++i) {
    // Nominal third-octave steps: each centre is about 2^(1/3) times the last.
    EXPECT_NEAR(f[i] / f[i - 1], std::pow(2.0, 1.0 / 3.0), 0.03) << "band " << i;
  }
}

}  // namespace
