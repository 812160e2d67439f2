// Band-group loop of the tonality: each group filters its bands, correlates
// them block by block and works out the tonal component of its result bands.
#include "ecma/tonality/tonal_compute.h"

#include <complex>
#include <cstddef>
#include <new>
#include <stdexcept>

#include "core/checks.h"
#include "core/fft.h"
#include "ecma/auditory_filter.h"
#include "ecma/band_scale.h"
#include "ecma/tonality/band_autocorrelation.h"
#include "ecma/tonality/tonal_band_groups.h"
#include "ecma/tonality/tonal_component.h"
#include "ecma/tonality/tonal_frames.h"
#include "ecma/tonality/tonal_weighting.h"

namespace varnholt {
namespace {

// Limits of the frame count: beyond them the prepared signal or the
// 265 c doubles of the output exceed what memory sizes can express.
constexpr std::uint64_t MAX_SAMPLE_COUNT = 0x0FFFFFFFFFFF7FFFULL;
constexpr std::uint64_t MAX_FRAME_COUNT_MINUS_ONE = 4350647187195647ULL;
constexpr std::uint64_t MAX_BYTES = 0x7FFFFFFFFFFFFFFFULL;

vh_status status_of(FftStatus status) noexcept {
  switch (status) {
    case FftStatus::ok:
      return VH_OK;
    case FftStatus::allocation_failed:
      return VH_ERR_ALLOCATION;
    case FftStatus::plan_failed:
      break;
  }
  return VH_ERR_NUMERICAL;
}

// Zeroed working array; an impossible size counts as a failed allocation.
std::vector<double> zeroed(std::uint64_t count) {
  try {
    return std::vector<double>(static_cast<std::size_t>(count), 0.0);
  } catch (const std::length_error&) {
    throw std::bad_alloc();
  }
}

// Working memory of the whole call.
struct CallMemory {
  std::vector<double> band_signal;
  std::vector<double> scratch;
  std::vector<double> forward_energy;
  std::vector<double> backward_energy;
  std::vector<std::complex<double>> spectrum;  // 8193 bins, shared by both FFT sizes
  std::vector<double> tonal, total, ratio;     // frame series of one band
  RealFft lag_plan;
};

// Works one group. The result bands are taken in ascending order; before
// each, the autocorrelations of the bands up to its upper neighbour are
// computed into a ring of band stores, so memory holds only one
// neighbourhood (at most five bands) instead of every band of the group.
vh_status tonal_group(const TonalBandGroup& group, const std::vector<double>& prepared,
                      CallMemory& mem, const TonalPlanes& planes) {
  const std::uint64_t blocks = tonal_block_count(prepared.size(), group);
  const std::uint64_t lags = tonal_lags_kept(group);
  const std::size_t slots = tonal_neighbourhood_width(group);
  std::uint64_t per_band = 0;
  std::uint64_t store_values = 0;
  std::uint64_t store_bytes = 0;
  if (!checked_mul(blocks, lags, &per_band) || !checked_mul(slots, per_band, &store_values) ||
      !checked_mul(store_values, sizeof(double), &store_bytes) || store_bytes > MAX_BYTES) {
    return VH_ERR_SIZE_OVERFLOW;
  }
  const std::size_t m = static_cast<std::size_t>(blocks);
  const std::size_t e = static_cast<std::size_t>(lags);

  std::vector<double> store = zeroed(store_values);
  std::vector<double> averaged = zeroed(per_band);
  std::vector<double> block_series = zeroed(3 * blocks);
  RealFft block_plan;
  const vh_status plan = status_of(RealFft::create(2 * group.block_length, block_plan));
  if (plan != VH_OK) return plan;

  const AcfWorkspace acf_work{&block_plan, mem.spectrum.data(), mem.scratch.data(),
                              mem.forward_energy.data(), mem.backward_energy.data()};
  const LagSpectrumWorkspace lag_work{&mem.lag_plan, mem.spectrum.data(), mem.scratch.data()};
  const TonalBlockSeries series{block_series.data(), block_series.data() + m,
                                block_series.data() + 2 * m};
  const TonalFrameSeries frames{mem.tonal.data(), mem.total.data(), mem.ratio.data()};
  std::size_t next_acf_band = group.first_acf_band;
  for (std::size_t p = group.first_result_band; p <= group.last_result_band; ++p) {
    const std::size_t highest_neighbour = p + tonal_neighbour_range(p).above;
    for (; next_acf_band <= highest_neighbour; ++next_acf_band) {
      const std::size_t j = next_acf_band;
      vh_status s = ecma_auditory_filter(prepared.data(), prepared.size(), j, mem.band_signal.data());
      if (s != VH_OK) return VH_ERR_NUMERICAL;
      double* const rows = store.data() + (j % slots) * per_band;
      s = ecma_tonal_band_acf(mem.band_signal.data(), j, group.block_length, m, e, acf_work, rows);
      if (s != VH_OK) return s;
    }
    average_neighbour_acfs(store.data(), slots, p, m, e, averaged.data());
    const vh_status s = tonal_block_series(averaged.data(), p, m, e, lag_work, series);
    if (s != VH_OK) return s;
    tonal_band_frames(series, m, group, p, frames, planes);
  }
  return VH_OK;
}

}  // namespace

bool ecma_tonal_frames(std::uint64_t n, std::uint64_t& frames) noexcept {
  if (n > MAX_SAMPLE_COUNT) return false;
  const std::uint64_t hops = (n + 255) >> 8;
  if (hops > MAX_FRAME_COUNT_MINUS_ONE) return false;
  frames = hops + 1;
  return true;
}

vh_status ecma_tonal_compute(const std::vector<double>& prepared, std::uint64_t frames,
                             double* planes) {
  CallMemory mem;
  mem.band_signal = zeroed(prepared.size());
  mem.scratch = zeroed(TONAL_LAG_SPECTRUM_LENGTH);
  mem.forward_energy = zeroed(TONAL_LAG_SPECTRUM_LENGTH / 2 + 1);
  mem.backward_energy = zeroed(TONAL_LAG_SPECTRUM_LENGTH / 2 + 1);
  mem.spectrum.assign(TONAL_LAG_SPECTRUM_LENGTH / 2 + 1, {0.0, 0.0});
  mem.tonal = zeroed(frames);
  mem.total = zeroed(frames);
  mem.ratio = zeroed(frames);
  const vh_status plan = status_of(RealFft::create(TONAL_LAG_SPECTRUM_LENGTH, mem.lag_plan));
  if (plan != VH_OK) return plan;

  const TonalPlanes out{planes, static_cast<std::size_t>(frames)};
  for (const TonalBandGroup& group : TONAL_BAND_GROUPS) {
    const vh_status s = tonal_group(group, prepared, mem, out);
    if (s != VH_OK) return s;
  }
  return tonal_weighting(out);
}

}  // namespace varnholt
