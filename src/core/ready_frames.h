// The finished frames a stream holds until its caller takes them: frame-major,
// a fixed number of values each.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace varnholt {

class ReadyFrames {
 public:
  // Reserves room for `frames` frames, so a stream whose caller drains it
  // regularly never allocates after construction.
  ReadyFrames(std::size_t values_per_frame, std::size_t frames) : values_per_frame_(values_per_frame) {
    values_.reserve(values_per_frame * frames);
  }

  // Appends one frame and returns its values to fill; may throw std::bad_alloc
  // when more frames are pending than were reserved.
  std::span<double> append() {
    values_.resize(values_.size() + values_per_frame_);
    return std::span<double>(values_).last(values_per_frame_);
  }

  std::span<const double> ready() const noexcept { return values_; }

  // Drops the first `frames` ready frames (at most as many as are ready).
  void take(std::size_t frames) noexcept {
    const std::size_t values = frames * values_per_frame_;
    if (values >= values_.size()) {
      values_.clear();
      return;
    }
    values_.erase(values_.begin(), values_.begin() + static_cast<std::ptrdiff_t>(values));
  }

 private:
  std::size_t values_per_frame_;
  std::vector<double> values_;
};

}  // namespace varnholt
