// The time grids of the hearing-model roughness: 16384-sample analysis blocks
// every 4096 samples (the last one ending with the signal) and output frames
// every 960 samples (50 Hz).
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/physical_constants.h"

namespace varnholt {

// Shortest signal analysed: 320 ms.
inline constexpr std::uint64_t ECMA_ROUGHNESS_MIN_SAMPLES = 15360;
// Longest signal: its prepared copy of n + 16384 samples stays below 2^60.
inline constexpr std::uint64_t ECMA_ROUGHNESS_MAX_SAMPLES = 0x0FFFFFFFFFFFBFFFULL;

// Output frames at 50 Hz.
inline constexpr std::uint64_t ECMA_ROUGHNESS_FRAME_HOP = 960;
inline constexpr double ECMA_ROUGHNESS_FRAME_RATE_HZ = 50.0;

// Analysis blocks of 16384 samples (341 ms) every 4096 samples; the prepared
// signal leads with one block of zeros, so block v ends at input sample
// v * 4096.
inline constexpr std::uint64_t ECMA_ROUGHNESS_BLOCK_LENGTH = 16384;
inline constexpr std::uint64_t ECMA_ROUGHNESS_BLOCK_HOP = 4096;

// Envelopes are taken at every 32nd sample (1500 Hz), 512 per block; their
// spectra have 257 bins 1500 / 512 = 2.9296875 Hz apart.
inline constexpr std::size_t ECMA_ENVELOPE_DECIMATION = 32;
inline constexpr std::size_t ECMA_ENVELOPE_LENGTH = 512;
inline constexpr std::size_t ECMA_MODULATION_BINS = 257;
inline constexpr double ECMA_MODULATION_BIN_HZ = 2.9296875;

// Number of output frames h, frame k at k / 50 s.
constexpr std::uint64_t ecma_roughness_frame_total(std::uint64_t n) noexcept {
  return n / ECMA_ROUGHNESS_FRAME_HOP + 1;
}

// Number of analysis blocks B = ceil(n / 4096) + 1 (n well below 2^64).
constexpr std::uint64_t ecma_roughness_block_total(std::uint64_t n) noexcept {
  return (n + ECMA_ROUGHNESS_BLOCK_HOP - 1) / ECMA_ROUGHNESS_BLOCK_HOP + 1;
}

// First prepared-signal index of block v of B: v * 4096, and n for the last
// block, which so ends with the signal.
constexpr std::uint64_t ecma_roughness_block_start(std::uint64_t v, std::uint64_t blocks,
                                                   std::uint64_t n) noexcept {
  return v + 1 < blocks ? v * ECMA_ROUGHNESS_BLOCK_HOP : n;
}

// Time in seconds at which block v ends: v * 4096 / 48000, and n / 48000 for
// the last block.
inline double ecma_roughness_block_time(std::uint64_t v, std::uint64_t blocks,
                                        std::uint64_t n) noexcept {
  const std::uint64_t end = v + 1 < blocks ? v * ECMA_ROUGHNESS_BLOCK_HOP : n;
  return static_cast<double>(end) / SAMPLE_RATE_HZ;
}

}  // namespace varnholt
