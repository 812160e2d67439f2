// The band signals of the hearing model as a stream: the prepared signal
// (leading zeros, the faded-in input through the outer and middle ear filter,
// trailing zeros) is cut into segments, and every segment runs through the 53
// auditory filters, whose states carry over. The newest stretch of every band
// signal stays available for the blocks of the metric built on it.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "ecma/auditory_filter.h"
#include "ecma/band_scale.h"
#include "ecma/signal_preparation.h"
#include "varnholt.h"

namespace varnholt {

// Peak input pressure in Pa up to which no stage of the hearing-model metrics
// can overflow: the largest intermediate values are sums of squared FFT bins of
// band-signal blocks, below 1e16 times the squared peak, so under 1e116 here,
// far from the largest double (physical sound stays below 1e6 Pa). The exports
// write their frames straight into the caller's arrays up to this peak, where
// no late failure is possible, and hold them back privately above it.
inline constexpr double ECMA_OVERFLOW_FREE_PEAK_PA = 1e50;

// True when every sample of `samples` lies within the overflow-free peak.
bool within_overflow_free_peak(std::span<const double> samples) noexcept;

class BandSignalStream {
 public:
  // `lead` zeros precede the signal; segments hold `segment` prepared samples
  // (lead a whole number of segments); at least the newest `history` samples
  // of every band (history >= segment) stay readable after each segment.
  // Throws std::bad_alloc.
  BandSignalStream(vh_sound_field sound_field, std::size_t lead, std::size_t history,
                   std::size_t segment);

  // Moves input samples into the current segment, fading in the first 240,
  // and returns how many it took (0 when the segment is full). While the
  // leading zeros are due, fills the segment with them instead.
  std::size_t stage(std::span<const double> samples) noexcept;

  // Adds up to `count` trailing zeros to the current segment (after the lead);
  // returns how many fitted.
  std::uint64_t stage_zeros(std::uint64_t count) noexcept;

  bool segment_full() const noexcept { return filled_ == segment_.size(); }
  bool segment_empty() const noexcept { return filled_ == 0; }

  // Runs the staged samples (a full or, at the end, partial segment) through
  // the ear filter and all band filters. VH_ERR_NUMERICAL on a non-finite
  // filter output.
  vh_status run_segment() noexcept {
    return run_segment([](std::size_t count, auto& filter) {
      for (std::size_t k = 0; k < count; ++k) filter(k);
    });
  }

  // The same, with the band filters (independent of each other) handed out
  // as `count` tasks: share_out(count, filter) must call filter(k) once for
  // every k < count, from any threads, and return when all have returned.
  template <typename ShareOut>
  vh_status run_segment(ShareOut&& share_out) noexcept {
    if (!prepare_segment()) return VH_ERR_NUMERICAL;
    // One flag per task, so that no two threads write the same one.
    std::array<bool, FILTER_TASKS> finite{};
    auto filter = [&](std::size_t k) { finite[k] = run_filters(k); };
    share_out(FILTER_TASKS, filter);
    for (const bool f : finite) {
      if (!f) return VH_ERR_NUMERICAL;
    }
    end_segment();
    return VH_OK;
  }

  // Prepared samples run through the band filters so far.
  std::uint64_t position() const noexcept { return position_; }
  // Input samples staged so far.
  std::uint64_t input_count() const noexcept { return input_count_; }

  // Band b's signal from prepared index `first` on, up to position();
  // first >= position() - history.
  const double* band(std::size_t b, std::uint64_t first) const noexcept {
    return bands_.get() + b * capacity_ + (length_ - (position_ - first));
  }

 private:
  // The band filters run in pairs (two filters interleaved keep the FPU
  // busy), the odd one last on its own.
  static constexpr std::size_t FILTER_TASKS = (ECMA_BAND_COUNT + 1) / 2;

  // Runs the ear filter over the staged samples and makes room for them in
  // every band; false on a non-finite output.
  bool prepare_segment() noexcept;
  // Band filters 2k and 2k + 1 over the staged samples; false on a
  // non-finite output.
  bool run_filters(std::size_t k) noexcept;
  // Appends the segment to the band signals and empties it.
  void end_segment() noexcept;

  std::uint64_t lead_;
  std::size_t history_;
  std::size_t capacity_;
  OuterMiddleEarFilter ear_;
  std::vector<AuditoryFilter> filters_;
  std::vector<double> segment_;
  std::size_t filled_ = 0;
  std::uint64_t position_ = 0;
  std::uint64_t input_count_ = 0;
  // 53 x capacity_, band-major. Left uninitialised: the band filters write
  // every sample before a block can read it (the leading zeros run through
  // them too), so zero-filling megabytes would only add a pass and its page
  // faults to every call.
  std::unique_ptr<double[]> bands_;
  std::size_t length_ = 0;     // samples held per band, the newest at length_ - 1
};

}  // namespace varnholt

namespace varnholt {

// Samples per push when an export streams a whole signal: small enough that
// the frames waiting between pushes stay within what the streams reserve.
inline constexpr std::size_t ECMA_EXPORT_CHUNK = 4096;

// Pushes the whole signal through `stream` chunk by chunk, finishes it, and
// hands every finished frame (values_per_frame doubles) in order to
// write_frame(index, values). Returns the first failure of the stream.
template <typename Stream, typename WriteFrame>
vh_status stream_whole_signal(Stream& stream, std::span<const double> samples,
                              WriteFrame&& write_frame) {
  std::uint64_t frame = 0;
  auto drain = [&]() {
    const std::span<const double> values = stream.ready();
    const std::size_t count = values.size() / Stream::values_per_frame;
    for (std::size_t f = 0; f < count; ++f) {
      write_frame(frame++, values.subspan(f * Stream::values_per_frame, Stream::values_per_frame));
    }
    stream.take(count);
  };
  while (!samples.empty()) {
    const std::size_t count = std::min(samples.size(), ECMA_EXPORT_CHUNK);
    const vh_status s = stream.push(samples.first(count));
    if (s != VH_OK) return s;
    drain();
    samples = samples.subspan(count);
  }
  const vh_status s = stream.finish();
  if (s != VH_OK) return s;
  drain();
  return VH_OK;
}

}  // namespace varnholt
