// The hearing-model roughness of a whole signal: band envelopes and their
// modulation spectra per block, block-wide weighting and band roughness,
// then resampling to 50 Hz and the output transformation.
#include "ecma/roughness/roughness_compute.h"

#include <algorithm>
#include <vector>

#include "ecma/auditory_filter.h"
#include "ecma/band_scale.h"
#include "ecma/roughness/envelope_analysis.h"
#include "ecma/roughness/modulation_weighting.h"
#include "ecma/roughness/pchip.h"
#include "ecma/roughness/roughness_grid.h"
#include "ecma/roughness/roughness_output.h"
#include "ecma/signal_preparation.h"

namespace varnholt {
namespace {

constexpr std::uint64_t SPECTRUM_STRIDE = ECMA_BAND_COUNT * ECMA_MODULATION_BINS;

// Loudness and modulation spectrum of every band in every block. The band
// signal is filtered once per band and every block is cut from it.
vh_status band_spectra(const std::vector<double>& prepared, std::uint64_t n,
                       EnvelopeAnalysis& analysis, std::vector<double>& band_signal,
                       std::vector<double>& loudness, std::vector<double>& spectra) {
  for (std::size_t b = 0; b < ECMA_BAND_COUNT; ++b) {
    if (ecma_auditory_filter(prepared.data(), prepared.size(), b, band_signal.data()) != VH_OK) {
      return VH_ERR_NUMERICAL;
    }
    const vh_status status =
        analysis.analyse_band(band_signal.data(), n, b, loudness.data(), spectra.data());
    if (status != VH_OK) return status;
  }
  return VH_OK;
}

// Band roughness of every block.
vh_status block_roughness(std::uint64_t blocks, const std::vector<double>& loudness,
                          const std::vector<double>& spectra, std::vector<double>& roughness) {
  BlockWeighting weighting;
  for (std::uint64_t v = 0; v < blocks; ++v) {
    const vh_status status = weighting.block_roughness(spectra.data() + v * SPECTRUM_STRIDE,
                                                       loudness.data() + v * ECMA_BAND_COUNT,
                                                       roughness.data() + v * ECMA_BAND_COUNT);
    if (status != VH_OK) return status;
  }
  return VH_OK;
}

}  // namespace

vh_status ecma_roughness_compute(const double* signal, std::uint64_t n, vh_sound_field sound_field,
                                 double* out) {
  std::vector<double> prepared;
  vh_status status = ecma_prepare_signal(signal, n, ECMA_ROUGHNESS_BLOCK_LENGTH,
                                         ECMA_ROUGHNESS_BLOCK_HOP, false, sound_field, prepared);
  if (status != VH_OK) return status;

  const std::uint64_t blocks = ecma_roughness_block_total(n);
  const std::uint64_t frames = ecma_roughness_frame_total(n);
  std::vector<double> band_signal(prepared.size(), 0.0);
  std::vector<double> spectra(blocks * SPECTRUM_STRIDE, 0.0);
  std::vector<double> loudness(blocks * ECMA_BAND_COUNT, 0.0);
  std::vector<double> roughness(blocks * ECMA_BAND_COUNT, 0.0);
  std::vector<double> times(blocks, 0.0);
  std::vector<double> slopes(blocks, 0.0);
  // The frames are built here and reach the caller only when all are valid.
  std::vector<double> result(frames * ECMA_BAND_COUNT, 0.0);
  EnvelopeAnalysis analysis;
  status = analysis.create();
  if (status != VH_OK) return status;

  for (std::uint64_t v = 0; v < blocks; ++v) times[v] = ecma_roughness_block_time(v, blocks, n);

  status = band_spectra(prepared, n, analysis, band_signal, loudness, spectra);
  if (status != VH_OK) return status;
  status = block_roughness(blocks, loudness, spectra, roughness);
  if (status != VH_OK) return status;
  pchip_resample(roughness.data(), times.data(), blocks, frames, slopes.data(), result.data());
  status = transform_roughness_frames(result.data(), frames);
  if (status != VH_OK) return status;
  std::copy(result.begin(), result.end(), out);
  return VH_OK;
}

}  // namespace varnholt
