// The hearing-model roughness, block by block as the signal arrives: envelope
// spectra of every band per block, block-wide weighting and band roughness,
// monotone cubic resampling to 50 Hz and the output stage.
#include "ecma/roughness/ecma_roughness_stream.h"

#include <algorithm>
#include <array>
#include <new>

#include "core/physical_constants.h"
#include "ecma/roughness/pchip.h"

namespace varnholt {
namespace {

constexpr std::size_t BINS = ECMA_MODULATION_BINS;

// Frames that may wait for the caller without a new allocation: those of a
// few hops of input plus the ones held back until the shortest length.
constexpr std::size_t RESERVED_FRAMES = 64;

}  // namespace

EcmaRoughnessStream::EcmaRoughnessStream(vh_sound_field sound_field)
    : signals_(sound_field, ECMA_ROUGHNESS_BLOCK_LENGTH, ECMA_ROUGHNESS_BLOCK_LENGTH,
               ECMA_ROUGHNESS_BLOCK_HOP),
      spectra_(ECMA_BAND_COUNT * BINS, 0.0) {
  if (envelope_.create() != VH_OK) throw std::bad_alloc();
  frames_.reserve(RESERVED_FRAMES * values_per_frame);
}

vh_status EcmaRoughnessStream::fail(vh_status status) noexcept {
  status_ = status;
  return status;
}

// Loudness and modulation spectrum of every band over the block starting at
// prepared index `start`, then the block's band roughness.
vh_status EcmaRoughnessStream::analyse_block(std::uint64_t start, double time_s) {
  std::array<const double*, ECMA_BAND_COUNT> bands{};
  std::array<double, ECMA_BAND_COUNT> energies{};
  for (std::size_t b = 0; b < ECMA_BAND_COUNT; ++b) {
    bands[b] = signals_.band(b, start);
    energies[b] = block_band_energy(start, b);
  }
  {
    const vh_status s = envelope_.analyse_bands(bands.data(), energies.data(), loudness_.data(),
                                                spectra_.data());
    if (s != VH_OK) return s;
  }
  BlockRoughness& r = blocks_[blocks_done_ % BLOCK_RING];
  r.time_s = time_s;
  r.values.fill(0.0);  // a silent block keeps roughness 0
  const vh_status s = weighting_.block_roughness(spectra_.data(), loudness_.data(), r.values.data());
  if (s != VH_OK) return s;
  ++blocks_done_;
  return VH_OK;
}

// Energies of every band over the hop just filtered (segments are whole hops,
// but for a last, partial one), four bands at a time while the hop is still
// in cache.
void EcmaRoughnessStream::newest_quarter_energies() noexcept {
  const std::uint64_t end = signals_.position();
  if (end % ECMA_ENERGY_QUARTER != 0) return;
  const std::uint64_t hop = end / ECMA_ENERGY_QUARTER - 1;
  const std::size_t slot = static_cast<std::size_t>(hop % ECMA_ENERGY_QUARTERS);
  double* const energies = quarter_energies_[slot].data();
  const std::uint64_t first = end - ECMA_ENERGY_QUARTER;
  std::size_t b = 0;
  for (; b + 4 <= ECMA_BAND_COUNT; b += 4) {
    const double* const x[4] = {signals_.band(b, first), signals_.band(b + 1, first),
                                signals_.band(b + 2, first), signals_.band(b + 3, first)};
    quarter_energies(x, energies + b);
  }
  for (; b < ECMA_BAND_COUNT; ++b) energies[b] = quarter_energy(signals_.band(b, first));
  quarter_hops_[slot] = hop;
  quarter_known_[slot] = true;
}

// Band b's energy over the block starting at `start`: from the hops' energies
// when the block is made of the four newest whole hops, else summed afresh in
// the same order (the last block, which ends with the signal).
double EcmaRoughnessStream::block_band_energy(std::uint64_t start, std::size_t b) const noexcept {
  const std::uint64_t hop = start / ECMA_ENERGY_QUARTER;
  std::array<double, ECMA_ENERGY_QUARTERS> quarters{};
  for (std::size_t q = 0; q < ECMA_ENERGY_QUARTERS; ++q) {
    const auto slot = static_cast<std::size_t>((hop + q) % ECMA_ENERGY_QUARTERS);
    if (start % ECMA_ENERGY_QUARTER != 0 || !quarter_known_[slot] || quarter_hops_[slot] != hop + q) {
      return block_energy_of(signals_.band(b, start));
    }
    quarters[q] = quarter_energies_[slot][b];
  }
  return block_energy(quarters.data());
}

// Runs the staged segment and analyses every block that ends with it: block v
// ends at prepared index v * 4096 + 16384 and, while the signal goes on, has
// time v * 4096 / 48000 s (a block that turns out to end exactly with the
// signal is the last block, with the same start and time).
vh_status EcmaRoughnessStream::run_segment() {
  vh_status s = signals_.run_segment();
  if (s != VH_OK) return s;
  newest_quarter_energies();
  while (blocks_done_ * ECMA_ROUGHNESS_BLOCK_HOP + ECMA_ROUGHNESS_BLOCK_LENGTH <=
         signals_.position()) {
    const std::uint64_t start = blocks_done_ * ECMA_ROUGHNESS_BLOCK_HOP;
    s = analyse_block(start, static_cast<double>(start) / SAMPLE_RATE_HZ);
    if (s != VH_OK) return s;
  }
  return emit_frames(false);
}

// Slope of the cubic of band b at block v: the end formula at the first and
// (once known) the last block, the harmonic mean of the secants elsewhere.
double EcmaRoughnessStream::slope(std::uint64_t v, std::size_t b) const noexcept {
  auto width = [this](std::uint64_t u) { return block(u + 1).time_s - block(u).time_s; };
  auto secant = [&](std::uint64_t u) {
    return (block(u + 1).values[b] - block(u).values[b]) / width(u);
  };
  if (v == 0) return pchip_end_slope(width(0), width(1), secant(0), secant(1));
  const std::uint64_t last = block_total_ - 1;
  if (v == last) {
    return pchip_end_slope(width(last - 1), width(last - 2), secant(last - 1), secant(last - 2));
  }
  return pchip_inner_slope(width(v - 1), width(v), secant(v - 1), secant(v));
}

// Evaluates every frame that is final: its interval j is the first whose end
// reaches the frame time (at most the last interval); before the end of the
// signal that needs j + 2 among the blocks known not to be the last one.
vh_status EcmaRoughnessStream::emit_frames(bool at_end) {
  const std::uint64_t n = signals_.input_count();
  std::uint64_t known = block_total_;
  if (!at_end) {
    // Block v is known not to be the last once input goes beyond v * 4096.
    known = blocks_done_;
    if (known > 0 && (known - 1) * ECMA_ROUGHNESS_BLOCK_HOP >= n) --known;
  }
  const std::uint64_t frame_total = at_end ? ecma_roughness_frame_total(n) : UINT64_MAX;
  while (next_frame_ < frame_total) {
    const double tau = static_cast<double>(next_frame_) / ECMA_ROUGHNESS_FRAME_RATE_HZ;
    std::uint64_t& j = interval_;
    while (j + 2 < known && block(j + 1).time_s < tau) ++j;
    if (!at_end && j + 2 >= known) break;
    const BlockRoughness& left = block(j);
    const BlockRoughness& right = block(j + 1);
    for (std::size_t b = 0; b < ECMA_BAND_COUNT; ++b) {
      frame_[b] = pchip_value(tau, left.time_s, right.time_s, left.values[b], right.values[b],
                              slope(j, b), slope(j + 1, b));
    }
    if (!output_stage_.transform(frame_.data())) return VH_ERR_NUMERICAL;
    frames_.insert(frames_.end(), frame_.begin(), frame_.end());
    ++next_frame_;
  }
  return VH_OK;
}

vh_status EcmaRoughnessStream::push(std::span<const double> samples) {
  if (status_ != VH_OK) return status_;
  if (finished_) return VH_OK;
  for (;;) {
    if (signals_.segment_full()) {
      const vh_status s = run_segment();
      if (s != VH_OK) return fail(s);
      continue;
    }
    if (samples.empty()) return VH_OK;
    samples = samples.subspan(signals_.stage(samples));
  }
}

vh_status EcmaRoughnessStream::finish() {
  if (status_ != VH_OK || finished_) return status_;
  finished_ = true;
  const std::uint64_t n = signals_.input_count();
  if (n < ECMA_ROUGHNESS_MIN_SAMPLES) return fail(VH_ERR_INPUT_TOO_SHORT);
  if (!signals_.segment_empty()) {
    const vh_status s = run_segment();
    if (s != VH_OK) return fail(s);
  }
  // The last block ends with the signal; it is new unless n is a whole
  // number of hops.
  block_total_ = ecma_roughness_block_total(n);
  if (blocks_done_ < block_total_) {
    const vh_status s = analyse_block(n, static_cast<double>(n) / SAMPLE_RATE_HZ);
    if (s != VH_OK) return fail(s);
  }
  const vh_status s = emit_frames(true);
  if (s != VH_OK) return fail(s);
  return VH_OK;
}

std::span<const double> EcmaRoughnessStream::ready() const noexcept {
  // Nothing leaves before the signal is known to be long enough.
  if (signals_.input_count() < ECMA_ROUGHNESS_MIN_SAMPLES) return {};
  return frames_;
}

void EcmaRoughnessStream::take(std::size_t frames) noexcept {
  const std::size_t values = std::min(frames * values_per_frame, frames_.size());
  frames_.erase(frames_.begin(), frames_.begin() + static_cast<std::ptrdiff_t>(values));
}

}  // namespace varnholt
