// Decoding of a fuzzer's bytes into a call of a computing export, and the
// checks of the interface contract that every fuzz target applies.
//
// Layout of the input (missing bytes read as zero):
//   byte 0      sample-rate choice (48000 most of the time, else a wrong rate)
//   byte 1      sound field (0, 1, or the byte as a signed value)
//   bytes 2-3   signal length in steps of 64 samples, capped by the target
//   byte 4      capacity choice: exact, one short, zero, larger, null pointer
//   byte 5      waveform: silence, tone, modulated tone, noise, impulse, DC
//   bytes 6-7   frequency and level of the waveform
//   then        groups of 11 bytes: position (u16), kind (u8), value (8 bytes)
//               that overwrite single samples with NaN, infinities,
//               denormals, +-DBL_MAX or the raw double.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "varnholt.h"

namespace varnholt::fuzz {

enum class Capacity { exact, one_short, zero, larger, null_pointer };

struct FuzzCall {
  std::int32_t sample_rate = VH_SAMPLE_RATE;
  std::int32_t sound_field = VH_SOUND_FIELD_FREE;
  Capacity capacity = Capacity::exact;
  bool null_signal = false;
  std::vector<double> signal;
};

// max_length bounds the signal so each run stays fast.
FuzzCall decode(const std::uint8_t* data, std::size_t size, std::size_t max_length);

// The requested capacity for a required size, per the capacity choice.
std::size_t capacity_for(Capacity c, std::size_t required);

inline constexpr double SENTINEL = -12345.678;
inline constexpr std::uint64_t FRAMES_SENTINEL = 0xDEADBEEFULL;

// Aborts (a finding) unless the status is one of the eleven codes.
void check_status(vh_status status);
// Aborts unless every element still holds SENTINEL.
void check_untouched(const std::vector<double>& out);
// Aborts unless the first `count` values are finite (and not negative when
// `non_negative`), and the rest still hold SENTINEL.
void check_results(const std::vector<double>& out, std::size_t count, bool non_negative);
// Aborts when `condition` is false.
void require(bool condition);
// The contract of the two stationary loudness exports: on success a finite,
// non-negative loudness and pattern (when one was asked for); on failure both
// outputs still hold SENTINEL.
void check_loudness_outputs(vh_status status, double loudness, const std::vector<double>& specific,
                            bool specific_requested);

}  // namespace varnholt::fuzz
