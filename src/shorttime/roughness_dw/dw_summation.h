// Roughness model, last stage: correlation of the weighted envelopes of
// channels one Bark apart and the summation of channel contributions.
#ifndef VARNHOLT_SHORTTIME_ROUGHNESS_DW_DW_SUMMATION_H
#define VARNHOLT_SHORTTIME_ROUGHNESS_DW_DW_SUMMATION_H

#include <array>
#include <vector>

#include "shorttime/roughness_dw/dw_channel_modulation.h"

namespace varnholt {

// Pairs of channels one Bark (two channels) apart.
inline constexpr int DW_CORRELATION_COUNT = DW_CHANNEL_COUNT - 2;

using DwCorrelations = std::array<double, DW_CORRELATION_COUNT>;

// Correlation coefficient k_i of the weighted envelopes h_i and h_{i+2};
// 0 when either envelope is constant (flat, or its depth below
// DW_CONSTANT_ENVELOPE_DEPTH). False when a denominator is not finite.
bool envelope_correlations(const DwChannelWork& work, int n, DwCorrelations& k);

// Roughness of the frame in asper from depths, correlations and the
// critical-band weights g_q. False when the sum is not finite.
bool sum_roughness(const DwChannelWork& work, const DwCorrelations& k,
                   const std::vector<double>& channel_weight, double* roughness);

}  // namespace varnholt

#endif
