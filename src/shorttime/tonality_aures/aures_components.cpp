// The component table of a frame and the own bins of its components.
#include "shorttime/tonality_aures/aures_components.h"

#include <cstddef>

#include "shorttime/tonality_aures/aures_analysis.h"

namespace varnholt {

TonalComponentTable::TonalComponentTable(int capacity)
    : capacity_(capacity),
      frequency_(static_cast<std::size_t>(capacity)),
      level_(static_cast<std::size_t>(capacity)),
      bandwidth_(static_cast<std::size_t>(capacity)),
      window_bandwidth_(static_cast<std::size_t>(capacity)),
      removal_width_(static_cast<std::size_t>(capacity)),
      excess_level_(static_cast<std::size_t>(capacity)),
      bin_(static_cast<std::size_t>(capacity)),
      own_bin_(static_cast<std::size_t>(capacity)) {}

bool TonalComponentTable::append(const TonalComponent& c) noexcept {
  if (count_ >= capacity_) return false;
  const auto i = static_cast<std::size_t>(count_);
  frequency_[i] = c.frequency;
  level_[i] = c.level;
  bandwidth_[i] = c.bandwidth;
  window_bandwidth_[i] = c.window_bandwidth;
  removal_width_[i] = c.removal_width;
  excess_level_[i] = 0.0;
  bin_[i] = c.bin;
  own_bin_[i] = -1;
  ++count_;
  return true;
}

void TonalComponentTable::sort_by_frequency() noexcept {
  for (std::size_t i = 1; i < static_cast<std::size_t>(count_); ++i) {
    const double frequency = frequency_[i];
    const double level = level_[i];
    const double bandwidth = bandwidth_[i];
    const double window_bandwidth = window_bandwidth_[i];
    const double removal_width = removal_width_[i];
    const double excess_level = excess_level_[i];
    const int bin = bin_[i];
    const int own_bin = own_bin_[i];
    std::size_t j = i;
    while (j > 0 && frequency_[j - 1] > frequency) {
      frequency_[j] = frequency_[j - 1];
      level_[j] = level_[j - 1];
      bandwidth_[j] = bandwidth_[j - 1];
      window_bandwidth_[j] = window_bandwidth_[j - 1];
      removal_width_[j] = removal_width_[j - 1];
      excess_level_[j] = excess_level_[j - 1];
      bin_[j] = bin_[j - 1];
      own_bin_[j] = own_bin_[j - 1];
      --j;
    }
    frequency_[j] = frequency;
    level_[j] = level;
    bandwidth_[j] = bandwidth;
    window_bandwidth_[j] = window_bandwidth;
    removal_width_[j] = removal_width;
    excess_level_[j] = excess_level;
    bin_[j] = bin;
    own_bin_[j] = own_bin;
  }
}

void aures_own_bins(const double* bin_rates, int bin_count, const double* frequencies, int count,
                    int* own_bins) noexcept {
  for (int i = 0; i < count; ++i) {
    const double z = bark_from_hz(frequencies[i]);
    own_bins[i] = -1;
    for (int b = 0; b < bin_count; ++b) {
      if (bin_rates[b] == z) {
        own_bins[i] = b;
        break;
      }
    }
  }
}

}  // namespace varnholt
