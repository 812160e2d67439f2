// The rows of one per-band array collected as its frames arrive: one row per
// frame in memory or in a temporary file, or, for display, a bounded number
// of rows that each hold the largest value per band over a run of frames.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

#include "band_spool.h"

namespace varnholt::analysis {

struct BandKeeping {
  bool spool = false;  // one row per frame, in a temporary file
  // 0: one row per frame. Otherwise at most this many rows (rounded down to
  // an even number, at least 2): each row takes 1, 2, 4, ... consecutive
  // frames, the run doubling whenever the rows would overflow, so an hour
  // of sound costs no more than a minute and no peak is lost.
  std::size_t max_rows = 0;
  // Frames the signal is expected to give (0: unknown). The memory is set
  // aside once instead of growing by doubling, whose copies and slack cost
  // up to twice the array; pages set aside but never written cost nothing.
  std::size_t expected_frames = 0;
};

// Sets memory aside for `count` values where it can. The count comes from
// the length a source states, which a damaged header may overstate; then
// the vector simply grows as values arrive.
void reserve_if_possible(std::vector<double>& values, std::size_t count) noexcept;

class BandRows {
 public:
  explicit BandRows(BandKeeping keeping = {});
  // One frame's values; every frame has the same number of bands.
  void append(std::span<const double> frame);
  // Consecutive frames in each row but the last, which may hold fewer.
  std::size_t frames_per_row() const { return frames_per_row_; }
  std::size_t frames() const { return frames_; }
  std::vector<double> take_memory() { return std::move(memory_); }
  std::shared_ptr<const BandSpool> spool() const { return spool_; }

 private:
  void start_row(std::span<const double> frame);
  void merge_row_pairs();

  std::size_t max_rows_;
  std::size_t expected_frames_;
  std::size_t bands_ = 0;
  std::size_t rows_ = 0;
  std::size_t frames_ = 0;
  std::size_t frames_per_row_ = 1;
  std::vector<double> memory_;
  std::shared_ptr<BandSpool> spool_;
};

}  // namespace varnholt::analysis
