// Cuts a stream of samples into frames of a fixed length a fixed hop apart,
// so a frame-based metric sees each frame as one contiguous block however the
// samples arrive.
#ifndef VARNHOLT_SHORTTIME_OVERLAPPING_FRAMES_H
#define VARNHOLT_SHORTTIME_OVERLAPPING_FRAMES_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "varnholt.h"

namespace varnholt {

class OverlappingFrames {
 public:
  // hop <= length. Throws std::bad_alloc.
  OverlappingFrames(std::size_t length, std::size_t hop) : buffer_(length), hop_(hop) {}

  // Appends samples; for every frame they complete calls
  // on_frame(std::span<const double>) in frame order, and stops at the first
  // status other than VH_OK, which it returns.
  template <typename OnFrame>
  vh_status push(std::span<const double> samples, OnFrame&& on_frame) {
    while (!samples.empty()) {
      const std::size_t take = std::min(buffer_.size() - filled_, samples.size());
      std::copy(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(take),
                buffer_.begin() + static_cast<std::ptrdiff_t>(filled_));
      filled_ += take;
      count_ += take;
      samples = samples.subspan(take);
      if (filled_ < buffer_.size()) break;
      const vh_status status = on_frame(std::span<const double>(buffer_));
      if (status != VH_OK) return status;
      // The next frame starts one hop later: its first samples are already here.
      std::copy(buffer_.begin() + static_cast<std::ptrdiff_t>(hop_), buffer_.end(), buffer_.begin());
      filled_ = buffer_.size() - hop_;
    }
    return VH_OK;
  }

  // Samples pushed so far.
  std::uint64_t count() const noexcept { return count_; }

 private:
  std::vector<double> buffer_;
  std::size_t hop_;
  std::size_t filled_ = 0;
  std::uint64_t count_ = 0;
};

}  // namespace varnholt

#endif
