// Per-band rows reduced for display: at the boundaries where the runs
// double, every row is the largest value per band of exactly its frames.
#include "analysis/band_rows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using varnholt::analysis::BandKeeping;
using varnholt::analysis::BandRows;

// Frame f, band b: a value that rises and falls, with a NaN (no value) in
// every seventh frame of band 1.
double value(std::size_t f, std::size_t b) {
  if (b == 1 && f % 7 == 0) return NAN;
  return std::sin(0.37 * static_cast<double>(f) + static_cast<double>(b));
}

TEST(BandRows, EveryRowIsTheLargestValueOfItsRun) {
  constexpr std::size_t BANDS = 3;
  const struct {
    std::size_t max_rows, frames, run;
  } cases[] = {
      {8, 1, 1},   {8, 8, 1}, {8, 9, 2}, {8, 16, 2}, {8, 17, 4},
      {8, 65, 16}, {9, 9, 2}, {2, 5, 4}, {0, 20, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.max_rows << " rows, " << c.frames << " frames");
    BandRows rows(BandKeeping{false, c.max_rows, 0});
    for (std::size_t f = 0; f < c.frames; ++f) {
      const double frame[BANDS] = {value(f, 0), value(f, 1), value(f, 2)};
      rows.append(frame);
    }
    ASSERT_EQ(rows.frames_per_row(), c.run);
    const std::vector<double> kept = rows.take_memory();
    ASSERT_EQ(kept.size(), BANDS * ((c.frames + c.run - 1) / c.run));
    for (std::size_t r = 0; r * BANDS < kept.size(); ++r) {
      for (std::size_t b = 0; b < BANDS; ++b) {
        double largest = NAN;
        for (std::size_t f = r * c.run; f < std::min(c.frames, (r + 1) * c.run); ++f) {
          largest = std::fmax(largest, value(f, b));
        }
        const double got = kept[r * BANDS + b];
        EXPECT_TRUE(got == largest || (std::isnan(got) && std::isnan(largest)))
            << "row " << r << ", band " << b << ": " << got << " against " << largest;
      }
    }
  }
}

}  // namespace
