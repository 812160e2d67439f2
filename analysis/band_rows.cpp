// Per-band rows as frames arrive, kept whole, spooled or reduced for display.
#include "band_rows.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>

namespace varnholt::analysis {

void reserve_if_possible(std::vector<double>& values, std::size_t count) noexcept {
  try {
    values.reserve(count);
  } catch (const std::exception&) {
  }
}

BandRows::BandRows(BandKeeping keeping)
    : max_rows_(keeping.max_rows == 0
                    ? 0
                    : std::max<std::size_t>(2, keeping.max_rows - keeping.max_rows % 2)),
      expected_frames_(keeping.expected_frames),
      spool_(keeping.spool && keeping.max_rows == 0 ? std::make_shared<BandSpool>() : nullptr) {}

void BandRows::append(std::span<const double> frame) {
  if (spool_) {
    spool_->append(frame);
    ++frames_;
    return;
  }
  if (frames_ == 0) {
    bands_ = frame.size();
    const std::size_t rows = max_rows_ > 0 ? max_rows_ : expected_frames_;
    if (bands_ > 0 && rows <= SIZE_MAX / bands_) reserve_if_possible(memory_, bands_ * rows);
  }
  if (frames_ % frames_per_row_ == 0) {
    if (rows_ == max_rows_ && max_rows_ > 0) merge_row_pairs();
    start_row(frame);
  } else {
    // The largest value of the run; a NaN (no value) gives way to a number.
    double* row = memory_.data() + (rows_ - 1) * bands_;
    for (std::size_t b = 0; b < bands_; ++b) row[b] = std::fmax(row[b], frame[b]);
  }
  ++frames_;
}

void BandRows::start_row(std::span<const double> frame) {
  memory_.insert(memory_.end(), frame.begin(), frame.end());
  ++rows_;
}

// Every row full: neighbours merge, and each row takes twice the frames.
void BandRows::merge_row_pairs() {
  for (std::size_t r = 0; r < rows_ / 2; ++r) {
    const double* a = memory_.data() + 2 * r * bands_;
    const double* b = a + bands_;
    double* out = memory_.data() + r * bands_;
    for (std::size_t k = 0; k < bands_; ++k) out[k] = std::fmax(a[k], b[k]);
  }
  rows_ /= 2;
  memory_.resize(rows_ * bands_);
  frames_per_row_ *= 2;
}

}  // namespace varnholt::analysis
