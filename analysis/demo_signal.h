// The built-in demonstration signal, which exercises every metric.
#pragma once

#include <vector>

namespace varnholt::analysis {

inline constexpr double DEMO_DURATION_S = 3.0;
inline constexpr const char* DEMO_DESCRIPTION =
    "built-in 3 s signal: 1 kHz tone at 60 dB SPL, 100 % amplitude-modulated at 70 Hz, "
    "over pink noise at 50 dB SPL";

// 3 s at 48 kHz in pascal: the carrier p(t) = sqrt(2) p60 (1 + sin(2 pi 70 t))
// sin(2 pi 1000 t), p60 = 20 mPa being the RMS pressure of 60 dB SPL (the
// level of the unmodulated tone), plus pink noise scaled to an RMS of 50 dB SPL.
// The same samples on every platform.
std::vector<double> demo_signal();

}  // namespace varnholt::analysis
