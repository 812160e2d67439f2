// Roughness after Daniel and Weber: the frame layout and the channels.
#ifndef VARNHOLT_SHORTTIME_ROUGHNESS_DW_DW_ROUGHNESS_H
#define VARNHOLT_SHORTTIME_ROUGHNESS_DW_DW_ROUGHNESS_H

#include <cstdint>

namespace varnholt {

// 200 ms frames with 50 % overlap at 48 kHz.
inline constexpr std::uint64_t DW_FRAME_LENGTH = 9600;
inline constexpr std::uint64_t DW_HOP = 4800;

// Critical-band channels centred at 0.5, 1.0, ..., 23.5 Bark.
inline constexpr int DW_CHANNEL_COUNT = 47;

}  // namespace varnholt

#endif
