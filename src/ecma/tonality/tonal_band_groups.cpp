// Block counts, lag counts, neighbour ranges and lag windows of the tonality.
#include "ecma/tonality/tonal_band_groups.h"

#include <algorithm>
#include <cmath>

#include "core/physical_constants.h"
#include "ecma/band_scale.h"

namespace varnholt {
namespace {

// Start of the window in seconds: half a period of the bandwidth, at least 2 ms.
double window_start_s(double bandwidth_hz) noexcept {
  return std::max(0.5 / bandwidth_hz, 0.002);
}

// End of the window in seconds: four periods, at least 1 ms after the start.
double window_end_s(double bandwidth_hz) noexcept {
  return std::max(4.0 / bandwidth_hz, window_start_s(bandwidth_hz) + 0.001);
}

}  // namespace

std::size_t tonal_lags_kept(const TonalBandGroup& group) noexcept {
  const double bandwidth = ecma_bandwidth_hz(group.first_result_band);
  return static_cast<std::size_t>(std::floor(window_end_s(bandwidth) * SAMPLE_RATE_HZ));
}

std::uint64_t tonal_block_count(std::uint64_t prepared_length,
                                const TonalBandGroup& group) noexcept {
  return (prepared_length - TONAL_LEAD) / (group.block_length / 4) + 1;
}

NeighbourRange tonal_neighbour_range(std::size_t band) noexcept {
  if (band == 0) return {0, 1};
  if (band == 1) return {1, 1};
  if (band <= 15) return {2, 2};
  if (band <= 24) return {1, 1};
  return {0, 0};
}

std::size_t tonal_neighbourhood_width(const TonalBandGroup& group) noexcept {
  std::size_t width = 1;
  for (std::size_t p = group.first_result_band; p <= group.last_result_band; ++p) {
    const NeighbourRange range = tonal_neighbour_range(p);
    width = std::max(width, range.below + range.above + 1);
  }
  return width;
}

LagWindow tonal_lag_window(std::size_t band) noexcept {
  const double bandwidth = ecma_bandwidth_hz(band);
  const double first = std::ceil(window_start_s(bandwidth) * SAMPLE_RATE_HZ) - 1.0;
  const double last = std::floor(window_end_s(bandwidth) * SAMPLE_RATE_HZ) - 1.0;
  return {static_cast<std::size_t>(first), static_cast<std::size_t>(last)};
}

}  // namespace varnholt
