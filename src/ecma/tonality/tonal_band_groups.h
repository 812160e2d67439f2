// The four band groups of the tonality: block length per group, the bands
// whose autocorrelations are computed, the neighbour averaging per band and
// the lag window in which a band looks for periodicity.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace varnholt {

// Zeros ahead of the signal and hop of the padding of the prepared signal:
// the longest block (8192 samples) ends at time 0 for block 0.
inline constexpr std::uint64_t TONAL_LEAD = 8192;
inline constexpr std::uint64_t TONAL_PADDING_HOP = 2048;

// Length of the lag spectrum: 16384 points, 2.9296875 Hz per bin.
inline constexpr std::size_t TONAL_LAG_SPECTRUM_LENGTH = 16384;

// Output frames are 256 samples apart; a block of length L spans L / 1024
// frames of its hop L / 4.
inline constexpr std::size_t TONAL_FRAME_HOP = 256;

// Planes of the output, each of 53 values per frame.
inline constexpr std::size_t TONAL_PLANE_COUNT = 5;

// Low bands ring long and need long blocks for their periodicity; high bands
// get short blocks for time resolution.
struct TonalBandGroup {
  std::size_t first_result_band, last_result_band;  // bands that receive results
  std::size_t first_acf_band, last_acf_band;        // bands whose autocorrelations are computed
  std::size_t block_length;                         // L, hop L / 4
  double a, beta;  // noise threshold a / F^beta of the tonal-to-noise ratio
};

inline constexpr std::array<TonalBandGroup, 4> TONAL_BAND_GROUPS = {{
    {0, 2, 0, 4, 8192, 18.21, 0.36},
    {3, 15, 1, 17, 4096, 12.14, 0.36},
    {16, 24, 15, 25, 2048, 417.54, 0.71},
    {25, 52, 25, 52, 1024, 962.68, 0.69},
}};

// Lags kept per block, e: enough for the lag window of the group's first
// (narrowest) result band, which reaches furthest.
std::size_t tonal_lags_kept(const TonalBandGroup& group) noexcept;

// Blocks M of a group over a prepared signal of `prepared_length` samples.
std::uint64_t tonal_block_count(std::uint64_t prepared_length,
                                const TonalBandGroup& group) noexcept;

// Bands whose autocorrelations are averaged for result band P: P - below ..
// P + above. Wide neighbourhoods in the low bands, where the filters overlap
// most, none in the high bands.
struct NeighbourRange {
  std::size_t below, above;
};
NeighbourRange tonal_neighbour_range(std::size_t band) noexcept;

// The most autocorrelation bands one result band of the group averages over.
// Both ends of the neighbourhood move up with the band, so a ring of this many
// band stores holds everything the current band needs while the bands above
// are computed one after another.
std::size_t tonal_neighbourhood_width(const TonalBandGroup& group) noexcept;

// Lags m_s .. m_e searched for periodicity in band P: from half a period of
// the bandwidth (at least 2 ms) to four periods (at least 1 ms further).
struct LagWindow {
  std::size_t first, last;
  std::size_t length() const noexcept { return last - first + 1; }
};
LagWindow tonal_lag_window(std::size_t band) noexcept;

}  // namespace varnholt
