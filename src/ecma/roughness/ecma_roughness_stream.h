// Specific roughness on the hearing model as a stream: samples in chunks of
// any size, frames of 53 band values at 50 Hz out as soon as they are final.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "ecma/band_scale.h"
#include "ecma/band_signal_stream.h"
#include "ecma/roughness/envelope_analysis.h"
#include "ecma/roughness/half_wave_energy.h"
#include "ecma/roughness/modulation_weighting.h"
#include "ecma/roughness/roughness_grid.h"
#include "ecma/roughness/roughness_output.h"
#include "varnholt.h"

namespace varnholt {

// Gives exactly the frames of the whole-signal roughness for every split of
// the signal into chunks. Memory stays fixed (about 20 MB) whatever the
// length; only frames not yet taken accumulate.
class EcmaRoughnessStream {
 public:
  static constexpr std::size_t values_per_frame = ECMA_BAND_COUNT;
  // Frame k (at sample 960 k) is final once 960 k + 8192 samples have arrived:
  // its cubic needs the block roughness two block hops beyond its time, the
  // second of them known not to be the last block. Frames wait besides until
  // the shortest analysable signal (15360 samples) has arrived.
  static constexpr std::size_t latency_samples = 2 * ECMA_ROUGHNESS_BLOCK_HOP;

  // Throws std::bad_alloc when memory or an FFT plan cannot be had.
  explicit EcmaRoughnessStream(vh_sound_field sound_field);

  vh_status push(std::span<const double> samples);
  vh_status finish();
  std::span<const double> ready() const noexcept;
  void take(std::size_t frames) noexcept;

 private:
  // Block roughness of the blocks the cubic of the next frames still needs.
  static constexpr std::size_t BLOCK_RING = 8;
  struct BlockRoughness {
    double time_s;
    std::array<double, ECMA_BAND_COUNT> values;
  };

  vh_status run_segment();
  void newest_quarter_energies() noexcept;
  double block_band_energy(std::uint64_t start, std::size_t b) const noexcept;
  vh_status analyse_block(std::uint64_t start, double time_s);
  double slope(std::uint64_t v, std::size_t b) const noexcept;
  vh_status emit_frames(bool at_end);
  vh_status fail(vh_status status) noexcept;

  const BlockRoughness& block(std::uint64_t v) const noexcept { return blocks_[v % BLOCK_RING]; }

  BandSignalStream signals_;
  EnvelopeAnalysis envelope_;
  BlockWeighting weighting_;
  RoughnessOutputStage output_stage_;
  std::vector<double> spectra_;  // 53 x 257 of the current block
  // Positive half-wave energies of every band over the newest whole block
  // hops, slot h % 4 holding hop h (starting at prepared index h * 4096).
  std::array<std::array<double, ECMA_BAND_COUNT>, ECMA_ENERGY_QUARTERS> quarter_energies_{};
  std::array<std::uint64_t, ECMA_ENERGY_QUARTERS> quarter_hops_{};
  std::array<bool, ECMA_ENERGY_QUARTERS> quarter_known_{};
  std::array<double, ECMA_BAND_COUNT> loudness_{};
  std::array<BlockRoughness, BLOCK_RING> blocks_{};
  std::uint64_t blocks_done_ = 0;            // blocks analysed
  std::uint64_t block_total_ = UINT64_MAX;   // B, known at the end
  std::uint64_t next_frame_ = 0;
  std::uint64_t interval_ = 0;               // j of the next frame's cubic
  std::array<double, ECMA_BAND_COUNT> frame_{};
  std::vector<double> frames_;               // finished, not yet taken
  vh_status status_ = VH_OK;
  bool finished_ = false;
};

}  // namespace varnholt
