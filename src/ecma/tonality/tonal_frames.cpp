// Frame interpolation and the tonal-to-noise weighting of one band.
#include "ecma/tonality/tonal_frames.h"

#include <algorithm>
#include <cmath>

#include "ecma/band_scale.h"
#include "ecma/tonality/lowpass3.h"

namespace varnholt {
namespace {

// Keeps the tonal-to-noise ratio finite when the noise part vanishes.
constexpr double RATIO_FLOOR = 1e-12;

// Tonal-to-noise ratios below 0.07 times the band's threshold count as noise.
constexpr double RATIO_ONSET = 0.07;

// Linear interpolation of the block series onto the frames: Z = L / 1024
// frames per block, the last block held.
void interpolate_to_frames(const TonalBlockSeries& blocks, std::size_t block_count,
                           std::size_t frames_per_block, std::size_t band,
                           const TonalFrameSeries& frames, const TonalPlanes& planes) noexcept {
  const double z = static_cast<double>(frames_per_block);
  for (std::size_t k = 0; k < planes.frame_count; ++k) {
    const std::size_t i0 = k / frames_per_block;
    const std::size_t i1 = i0 + 1 < block_count ? i0 + 1 : i0;
    const double w = static_cast<double>(k % frames_per_block) / z;
    const double tonal = (1.0 - w) * blocks.tonal_loudness[i0] + w * blocks.tonal_loudness[i1];
    const double total = (1.0 - w) * blocks.band_loudness[i0] + w * blocks.band_loudness[i1];
    frames.tonal[k] = tonal;
    frames.total[k] = total;
    frames.ratio[k] = tonal / (std::max(0.0, total - tonal) + RATIO_FLOOR);
    *planes.at(2, k, band) = (1.0 - w) * blocks.frequency_hz[i0] + w * blocks.frequency_hz[i1];
  }
}

}  // namespace

double* TonalPlanes::at(std::size_t plane, std::size_t frame, std::size_t band) const noexcept {
  return values + plane * ECMA_BAND_COUNT * frame_count + ECMA_BAND_COUNT * frame + band;
}

void tonal_band_frames(const TonalBlockSeries& blocks, std::size_t block_count,
                       const TonalBandGroup& group, std::size_t band,
                       const TonalFrameSeries& frames, const TonalPlanes& planes) noexcept {
  const std::size_t c = planes.frame_count;
  interpolate_to_frames(blocks, block_count, group.block_length / 1024, band, frames, planes);
  ecma_lowpass3(frames.tonal, c);
  ecma_lowpass3(frames.total, c);
  ecma_lowpass3(frames.ratio, c);
  // The tonal-to-noise ratio is judged against a threshold that falls with
  // frequency; the tonal part fades in smoothly above 0.07 of it.
  const double threshold = group.a / std::pow(ecma_band_centre_hz(band), group.beta);
  for (std::size_t k = 0; k < c; ++k) {
    const double x = frames.ratio[k] / threshold;
    const double q = x > RATIO_ONSET ? -std::expm1(-20.0 * (x - RATIO_ONSET)) : 0.0;
    const double tonal = std::max(0.0, q * frames.tonal[k]);
    *planes.at(0, k, band) = tonal;
    *planes.at(1, k, band) = std::max(0.0, frames.total[k] - tonal);
  }
}

}  // namespace varnholt
