// The tonal components of one analysis frame: spectral peaks and narrow noise
// bands, kept as parallel columns so the weighting loops run over plain arrays.
#pragma once

#include <cstdint>
#include <vector>

namespace varnholt {

// One tonal component as it is appended to the table.
struct TonalComponent {
  double frequency;         // Hz: the peak bin's frequency or the band's centre
  double level;             // dB re 20 uPa
  double bandwidth;         // Hz: -3 dB width of a peak, measured width of a band
  double window_bandwidth;  // Hz: the share of the bandwidth that the window adds
  int bin;                  // absolute bin of a peak (-1 for a band)
  double removal_width;     // Hz, peaks only: stretch flattened out of the spectrum
};

// A narrow band of noise accepted by the band search.
struct TonalBand {
  std::int32_t lo;  // first bin of the region
  std::int32_t hi;  // last bin of the region (inclusive)
  double centre;    // Hz: geometric mean of the -3 dB edge frequencies
  double width;     // Hz: central 90 % of the excess intensity, scaled to 100 %
  double level;     // dB: excess intensity between the -3 dB edges
  double level_lo;  // dB: working level at lo
  double level_hi;  // dB: working level at hi
};

// At most 20 narrow bands are examined in a frame.
inline constexpr int AURES_MAX_BANDS = 20;

// The component table of one frame. Its capacity is fixed for the whole call
// (one entry per analysis bin); it is emptied at the start of every frame.
class TonalComponentTable {
 public:
  explicit TonalComponentTable(int capacity);

  int capacity() const noexcept { return capacity_; }
  int size() const noexcept { return count_; }
  void clear() noexcept { count_ = 0; }

  // Appends a component; false (nothing appended) when the table is full.
  bool append(const TonalComponent& c) noexcept;

  // Orders the table by ascending frequency by insertion: an entry moves down
  // only past strictly higher frequencies, so equal frequencies keep their
  // order of detection. Every column moves with the frequency.
  void sort_by_frequency() noexcept;

  double* frequencies() noexcept { return frequency_.data(); }
  double* levels() noexcept { return level_.data(); }
  double* bandwidths() noexcept { return bandwidth_.data(); }
  double* window_bandwidths() noexcept { return window_bandwidth_.data(); }
  double* removal_widths() noexcept { return removal_width_.data(); }
  double* excess_levels() noexcept { return excess_level_.data(); }
  int* bins() noexcept { return bin_.data(); }
  int* own_bins() noexcept { return own_bin_.data(); }

 private:
  int capacity_;
  int count_ = 0;
  std::vector<double> frequency_;
  std::vector<double> level_;
  std::vector<double> bandwidth_;
  std::vector<double> window_bandwidth_;
  std::vector<double> removal_width_;
  std::vector<double> excess_level_;
  std::vector<int> bin_;
  std::vector<int> own_bin_;
};

// Own analysis bin of every component, relative to the first analysis bin:
// the first b whose critical-band rate bin_rates[b] equals that of the
// component's frequency exactly, -1 when there is none (a peak finds its own
// bin, a band normally none).
void aures_own_bins(const double* bin_rates, int bin_count, const double* frequencies, int count,
                    int* own_bins) noexcept;

}  // namespace varnholt
