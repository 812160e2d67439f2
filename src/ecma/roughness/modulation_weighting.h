// Block-wide weighting of the modulation spectra and the band roughness of
// one analysis block.
#pragma once

#include <array>
#include <vector>

#include "ecma/roughness/roughness_grid.h"
#include "varnholt.h"

namespace varnholt {

// Working arrays and the rate weighting curve, made once per call and reused
// for every block.
class BlockWeighting {
 public:
  BlockWeighting();

  // Band roughness of one block: spectra holds 53 x 257 modulation spectra
  // (band-major), loudness the 53 band loudness values, roughness receives 53
  // values (left untouched when the block is silent). A non-finite spectrum
  // value or roughness gives VH_ERR_NUMERICAL.
  vh_status block_roughness(const double* spectra, const double* loudness, double* roughness);

 private:
  bool average_over_bands(const double* spectra, double peak_loudness);
  void bin_mask();

  std::vector<double> averaged_;  // 53 x 257, band-major
  std::array<double, ECMA_MODULATION_BINS> rate_weight_{};
  std::array<double, ECMA_MODULATION_BINS> sum_{};
  std::array<double, ECMA_MODULATION_BINS> mask_{};
  std::array<double, 254> sorted_{};
};

}  // namespace varnholt
