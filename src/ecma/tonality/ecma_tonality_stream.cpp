// The hearing-model tonality, block by block as the signal arrives: per band
// group the block autocorrelations of its bands, their neighbour average, the
// tonal component of each block, then per band the frames, and per frame the
// weighting over all bands.
#include "ecma/tonality/ecma_tonality_stream.h"

#include <algorithm>
#include <memory>
#include <new>

#include "ecma/tonality/band_autocorrelation.h"

namespace varnholt {
namespace {

// Limits of the frame count: beyond them the prepared signal or the
// 265 c doubles of the output exceed what memory sizes can express.
constexpr std::uint64_t MAX_SAMPLE_COUNT = 0x0FFFFFFFFFFF7FFFULL;
constexpr std::uint64_t MAX_FRAME_COUNT_MINUS_ONE = 4350647187195647ULL;

// Prepared samples per segment of the band filters: the longest block hop.
constexpr std::size_t SEGMENT = TONAL_PADDING_HOP;

// Frames held without a new allocation: those the slowest group still owes
// (about 32) and those waiting for the caller between pushes.
constexpr std::size_t RESERVED_FRAMES = 160;

constexpr std::uint64_t NO_LIMIT = UINT64_MAX;

}  // namespace

bool ecma_tonal_frames(std::uint64_t n, std::uint64_t& frames) noexcept {
  if (n > MAX_SAMPLE_COUNT) return false;
  const std::uint64_t hops = (n + TONAL_FRAME_HOP - 1) >> 8;
  if (hops > MAX_FRAME_COUNT_MINUS_ONE) return false;
  frames = hops + 1;
  return true;
}

EcmaTonalityStream::Workspace::Workspace()
    : spectrum(TONAL_LAG_SPECTRUM_LENGTH / 2 + 1, {0.0, 0.0}),
      scratch(TONAL_LAG_SPECTRUM_LENGTH, 0.0),
      forward_energy(TONAL_LAG_SPECTRUM_LENGTH / 2 + 1, 0.0),
      backward_energy(TONAL_LAG_SPECTRUM_LENGTH / 2 + 1, 0.0),
      lag_scratch(TONAL_LAG_SPECTRUM_LENGTH, 0.0) {
  if (RealFft::create(TONAL_LAG_SPECTRUM_LENGTH, lag_plan) != FftStatus::ok) {
    throw std::bad_alloc();
  }
  for (std::size_t k = 0; k < block_plans.size(); ++k) {
    if (RealFft::create(2 * TONAL_BAND_GROUPS[k].block_length, block_plans[k]) != FftStatus::ok) {
      throw std::bad_alloc();
    }
  }
}

EcmaTonalityStream::EcmaTonalityStream(vh_sound_field sound_field)
    : signals_(sound_field, TONAL_LEAD, TONAL_BAND_GROUPS[0].block_length, SEGMENT) {
  // A segment completes SEGMENT / hop blocks of a group; the ring keeps one
  // more for the frames that interpolate from the block before them.
  static_assert(VALUE_RING >= SEGMENT / (TONAL_BAND_GROUPS.back().block_length / 4) + 1);
  groups_.resize(TONAL_BAND_GROUPS.size());
  for (std::size_t k = 0; k < groups_.size(); ++k) {
    Group& g = groups_[k];
    const TonalBandGroup& bands = TONAL_BAND_GROUPS[k];
    g.bands = &bands;
    g.hop = bands.block_length / 4;
    g.frames_per_block = bands.block_length / 1024;
    g.lags = tonal_lags_kept(bands);
    g.acf_bands = bands.last_acf_band - bands.first_acf_band + 1;
    g.results = bands.last_result_band - bands.first_result_band + 1;
    g.rows.assign(SEGMENT / g.hop * g.acf_bands * g.lags, 0.0);
    g.averaged.assign(ROW_RING * g.results * g.lags, 0.0);
    g.values.assign(VALUE_RING * g.results, TonalBlockValue{0.0, 0.0, 0.0});
    g.frames.reserve(g.results);
    for (std::size_t p = bands.first_result_band; p <= bands.last_result_band; ++p) {
      g.frames.emplace_back(bands, p);
      result_tasks_.push_back({k, p});
    }
    for (std::size_t j = bands.first_acf_band; j <= bands.last_acf_band; ++j) {
      acf_tasks_.push_back({k, j});
    }
  }
  // A result band costs one lag spectrum per block, and the short blocks
  // come most often: those bands go out first, so the long tasks do not
  // arrive last at a thread.
  std::reverse(result_tasks_.begin(), result_tasks_.end());
  workspaces_.push_back(std::make_unique<Workspace>());
  pending_.reserve(RESERVED_FRAMES * values_per_frame);
  frames_.reserve(RESERVED_FRAMES * values_per_frame);
}

void EcmaTonalityStream::set_threads(std::size_t threads) {
  if (status_ != VH_OK || finished_) return;
  threads = std::min(threads, MAX_THREADS);
  while (workspaces_.size() < threads) workspaces_.push_back(std::make_unique<Workspace>());
  team_.resize(threads);
  workspaces_.resize(std::max<std::size_t>(team_.size(), 1));
}

vh_status EcmaTonalityStream::fail(vh_status status) noexcept {
  status_ = status;
  return status;
}

double* EcmaTonalityStream::averaged_row(Group& g, std::uint64_t i, std::size_t p) noexcept {
  const std::size_t slot = static_cast<std::size_t>(i % ROW_RING) * g.results;
  return g.averaged.data() + (slot + p - g.bands->first_result_band) * g.lags;
}

TonalBlockValue& EcmaTonalityStream::value(Group& g, std::uint64_t i, std::size_t p) noexcept {
  const std::size_t slot = static_cast<std::size_t>(i % VALUE_RING) * g.results;
  return g.values[slot + p - g.bands->first_result_band];
}

// Runs work(task, workspace) for every task on the team and returns the
// first failure any thread met.
template <typename Work>
vh_status EcmaTonalityStream::share_out(const std::vector<BandTask>& tasks, Work&& work) {
  auto task = [&](std::size_t t, std::size_t worker) {
    Workspace& w = *workspaces_[worker];
    const vh_status s = work(tasks[t], w);
    if (s != VH_OK && w.status == VH_OK) w.status = s;
  };
  team_.run(tasks.size(), task);
  vh_status status = VH_OK;
  for (const auto& w : workspaces_) {
    if (status == VH_OK) status = w->status;
    w->status = VH_OK;
  }
  return status;
}

// Autocorrelation rows of band j for the segment's blocks of its group
// (block i covers prepared samples 8192 - L + i L/4 ... 8192 + i L/4 - 1).
vh_status EcmaTonalityStream::band_rows(const BandTask& task, Workspace& w) noexcept {
  Group& g = groups_[task.group];
  const TonalBandGroup& bands = *g.bands;
  const AcfWorkspace work{&w.block_plans[task.group], w.spectrum.data(), w.scratch.data(),
                          w.forward_energy.data(), w.backward_energy.data()};
  for (std::size_t b = 0; b < g.new_blocks; ++b) {
    const std::uint64_t start = TONAL_LEAD - bands.block_length + (g.blocks_done + b) * g.hop;
    double* const row = g.rows.data() + (b * g.acf_bands + task.band - bands.first_acf_band) * g.lags;
    const vh_status s = ecma_tonal_block_acf(signals_.band(task.band, start), task.band,
                                             bands.block_length, g.lags, work, row);
    if (s != VH_OK) return s;
  }
  return VH_OK;
}

// Value of block i of result band p; the low bands average it with its
// neighbours in time unless it is the first or the last block.
vh_status EcmaTonalityStream::block_value(Group& g, std::uint64_t i, std::size_t p, bool last,
                                          Workspace& w) noexcept {
  const LagSpectrumWorkspace work{&w.lag_plan, w.spectrum.data(), w.lag_scratch.data()};
  const bool time_averaged = tonal_block_time_averaged(p) && i > 0 && !last;
  return tonal_block_value(averaged_row(g, i, p),
                           time_averaged ? averaged_row(g, i - 1, p) : nullptr,
                           time_averaged ? averaged_row(g, i + 1, p) : nullptr, p, work,
                           value(g, i, p));
}

// For result band p, block by block through the segment: the neighbour
// average of the block's rows, then the values of the block before it, whose
// successor now exists.
vh_status EcmaTonalityStream::band_values(const BandTask& task, Workspace& w) noexcept {
  Group& g = groups_[task.group];
  for (std::size_t b = 0; b < g.new_blocks; ++b) {
    const std::uint64_t i = g.blocks_done + b;
    average_neighbour_acfs(g.rows.data() + b * g.acf_bands * g.lags, g.bands->first_acf_band,
                           task.band, g.lags, averaged_row(g, i, task.band));
    if (i > 0) {
      const vh_status s = block_value(g, i - 1, task.band, false, w);
      if (s != VH_OK) return s;
    }
  }
  return VH_OK;
}

vh_status EcmaTonalityStream::last_value(const BandTask& task, Workspace& w) noexcept {
  Group& g = groups_[task.group];
  return block_value(g, g.blocks_done - 1, task.band, true, w);
}

// Frames of the group's bands up to frame_limit whose two blocks have values:
// frame k lies a fraction (k mod Z) / Z of the way from block k / Z to the
// next (Z = L / 1024 frames per block hop), the last block held.
void EcmaTonalityStream::group_frames(Group& g, std::uint64_t frame_limit,
                                      std::uint64_t block_total) {
  const std::uint64_t z = g.frames_per_block;
  while (g.frames_done < frame_limit) {
    const std::uint64_t k = g.frames_done;
    const std::uint64_t i0 = k / z;
    const std::uint64_t i1 = i0 + 1 < block_total ? i0 + 1 : i0;
    if (i1 >= g.values_done) break;
    const double w = static_cast<double>(k % z) / static_cast<double>(z);
    const std::size_t offset = static_cast<std::size_t>(k - pending_first_) * values_per_frame;
    if (pending_.size() < offset + values_per_frame) pending_.resize(offset + values_per_frame, 0.0);
    double* const frame = pending_.data() + offset;
    for (std::size_t p = g.bands->first_result_band; p <= g.bands->last_result_band; ++p) {
      g.frames[p - g.bands->first_result_band].next_frame(value(g, i0, p), value(g, i1, p), w,
                                                          frame);
    }
    ++g.frames_done;
  }
}

// Weights every frame that all band groups have reached and hands it out.
vh_status EcmaTonalityStream::complete_frames() {
  std::uint64_t complete = NO_LIMIT;
  for (const Group& g : groups_) complete = std::min(complete, g.frames_done);
  if (complete <= pending_first_) return VH_OK;
  const std::size_t values = static_cast<std::size_t>(complete - pending_first_) * values_per_frame;
  for (std::size_t offset = 0; offset < values; offset += values_per_frame) {
    if (!tonal_weight_frame(pending_.data() + offset)) return VH_ERR_NUMERICAL;
  }
  frames_.insert(frames_.end(), pending_.begin(),
                 pending_.begin() + static_cast<std::ptrdiff_t>(values));
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(values));
  pending_first_ = complete;
  return VH_OK;
}

// Runs the staged segment through the band filters, band pairs shared out
// among the threads, then the blocks of every
// group that end with it (block i ends at prepared index 8192 + i L/4): first
// the autocorrelation rows of all bands, then per result band the averages
// and values, then the frames they complete. While the signal goes on (no
// frame limit) every frame a group can reach exists: its blocks end beyond
// the frame's time.
vh_status EcmaTonalityStream::run_segment(std::uint64_t frame_limit) {
  vh_status s = signals_.run_segment([this](std::size_t count, auto& filter) {
    auto task = [&](std::size_t k, std::size_t) { filter(k); };
    team_.run(count, task);
  });
  if (s != VH_OK) return s;
  for (Group& g : groups_) {
    const std::uint64_t ended =
        signals_.position() < TONAL_LEAD ? 0 : (signals_.position() - TONAL_LEAD) / g.hop + 1;
    g.new_blocks = static_cast<std::size_t>(ended - g.blocks_done);
  }
  s = share_out(acf_tasks_, [this](const BandTask& t, Workspace& w) { return band_rows(t, w); });
  if (s != VH_OK) return s;
  s = share_out(result_tasks_,
                [this](const BandTask& t, Workspace& w) { return band_values(t, w); });
  if (s != VH_OK) return s;
  for (Group& g : groups_) {
    g.blocks_done += g.new_blocks;
    if (g.blocks_done > 0) g.values_done = g.blocks_done - 1;
    group_frames(g, frame_limit, NO_LIMIT);
  }
  return complete_frames();
}

vh_status EcmaTonalityStream::push(std::span<const double> samples) {
  if (status_ != VH_OK) return status_;
  if (finished_) return VH_OK;
  for (;;) {
    if (signals_.segment_full()) {
      const vh_status s = run_segment(NO_LIMIT);
      if (s != VH_OK) return fail(s);
      continue;
    }
    if (samples.empty()) return VH_OK;
    samples = samples.subspan(signals_.stage(samples));
  }
}

vh_status EcmaTonalityStream::finish() {
  if (status_ != VH_OK || finished_) return status_;
  finished_ = true;
  const std::uint64_t n = signals_.input_count();
  if (n < ECMA_TONAL_MIN_SAMPLES) return fail(VH_ERR_INPUT_TOO_SHORT);
  std::uint64_t frame_total = 0;
  if (!ecma_tonal_frames(n, frame_total)) return fail(VH_ERR_SIZE_OVERFLOW);
  // Trailing zeros up to a whole number of padding hops after n + 8192
  // samples, so that the last block of every group ends 8192 samples or more
  // after the signal.
  std::uint64_t padding =
      (n + TONAL_LEAD + TONAL_PADDING_HOP - 1) / TONAL_PADDING_HOP * TONAL_PADDING_HOP - n;
  while (padding > 0 || !signals_.segment_empty()) {
    padding -= signals_.stage_zeros(padding);
    if (padding > 0 && !signals_.segment_full()) continue;
    const vh_status s = run_segment(frame_total);
    if (s != VH_OK) return fail(s);
  }
  // The last block of each group has no successor to average with.
  const vh_status last =
      share_out(result_tasks_, [this](const BandTask& t, Workspace& w) { return last_value(t, w); });
  if (last != VH_OK) return fail(last);
  for (Group& g : groups_) {
    g.values_done = g.blocks_done;
    group_frames(g, frame_total, g.blocks_done);
  }
  const vh_status s = complete_frames();
  if (s != VH_OK) return fail(s);
  return VH_OK;
}

std::span<const double> EcmaTonalityStream::ready() const noexcept {
  // Nothing leaves before the signal is known to be long enough.
  if (signals_.input_count() < ECMA_TONAL_MIN_SAMPLES) return {};
  return frames_;
}

void EcmaTonalityStream::take(std::size_t frames) noexcept {
  const std::size_t values = std::min(frames * values_per_frame, frames_.size());
  frames_.erase(frames_.begin(), frames_.begin() + static_cast<std::ptrdiff_t>(values));
}

}  // namespace varnholt
