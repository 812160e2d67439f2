// Streaming the prepared signal through the ear and band filters segment by
// segment.
#include "ecma/band_signal_stream.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "ecma/band_scale.h"

namespace varnholt {

bool within_overflow_free_peak(std::span<const double> samples) noexcept {
  for (const double x : samples) {
    if (!(std::fabs(x) <= ECMA_OVERFLOW_FREE_PEAK_PA)) return false;
  }
  return true;
}

BandSignalStream::BandSignalStream(vh_sound_field sound_field, std::size_t lead,
                                   std::size_t history, std::size_t segment)
    : lead_(lead),
      history_(history),
      // Twice the history: the newest samples move to the front only once per
      // history's worth of segments.
      capacity_(2 * history),
      ear_(sound_field),
      segment_(segment, 0.0),
      bands_(std::make_unique_for_overwrite<double[]>(ECMA_BAND_COUNT * 2 * history)) {
  filters_.reserve(ECMA_BAND_COUNT);
  for (std::size_t b = 0; b < ECMA_BAND_COUNT; ++b) filters_.emplace_back(b);
}

std::size_t BandSignalStream::stage(std::span<const double> samples) noexcept {
  if (position_ < lead_) {
    // The leading zeros bypass the ear filter, as in the whole-signal
    // preparation, and fill whole segments.
    std::fill(segment_.begin(), segment_.end(), 0.0);
    filled_ = segment_.size();
    return 0;
  }
  const std::size_t count = std::min(samples.size(), segment_.size() - filled_);
  for (std::size_t i = 0; i < count; ++i) {
    segment_[filled_ + i] = faded_in(samples[i], input_count_ + i);
  }
  filled_ += count;
  input_count_ += count;
  return count;
}

std::uint64_t BandSignalStream::stage_zeros(std::uint64_t count) noexcept {
  const std::size_t room = segment_.size() - filled_;
  const std::size_t fitted = count < room ? static_cast<std::size_t>(count) : room;
  std::fill(segment_.begin() + static_cast<std::ptrdiff_t>(filled_),
            segment_.begin() + static_cast<std::ptrdiff_t>(filled_ + fitted), 0.0);
  filled_ += fitted;
  return fitted;
}

bool BandSignalStream::prepare_segment() noexcept {
  if (position_ >= lead_ && !ear_.run(segment_.data(), filled_)) return false;
  if (length_ + filled_ > capacity_) {
    // Keep the newest history samples of every band at the front.
    for (std::size_t b = 0; b < ECMA_BAND_COUNT; ++b) {
      double* const row = bands_.get() + b * capacity_;
      std::copy(row + (length_ - history_), row + length_, row);
    }
    length_ = history_;
  }
  return true;
}

bool BandSignalStream::run_filters(std::size_t k) noexcept {
  auto out = [this](std::size_t b) { return bands_.get() + b * capacity_ + length_; };
  const std::size_t b = 2 * k;
  if (b + 1 < ECMA_BAND_COUNT) {
    return AuditoryFilter::run_pair(filters_[b], filters_[b + 1], segment_.data(), filled_,
                                    out(b), out(b + 1));
  }
  return filters_[b].run(segment_.data(), filled_, out(b));
}

void BandSignalStream::end_segment() noexcept {
  length_ += filled_;
  position_ += filled_;
  filled_ = 0;
}

}  // namespace varnholt
