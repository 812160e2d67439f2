// Roughness model, second stage: each channel's signal rebuilt from its share
// of the audible lines, its envelope band-passed over modulation frequency,
// and the envelope's modulation depth.
#ifndef VARNHOLT_SHORTTIME_ROUGHNESS_DW_DW_CHANNEL_MODULATION_H
#define VARNHOLT_SHORTTIME_ROUGHNESS_DW_DW_CHANNEL_MODULATION_H

#include <array>
#include <complex>
#include <vector>

#include "core/fft.h"
#include "shorttime/roughness_dw/dw_excitation.h"

namespace varnholt {

// Working memory of the channel loop, made once per call and reused for
// every channel of every frame.
// The channel signals and envelopes are real, so their transforms run on half
// spectra (bins 0 ... N/2).
struct DwChannelWork {
  std::vector<std::complex<double>> spectrum;    // channel half spectrum; zero except at line bins
  std::vector<std::complex<double>> buffer;      // envelope half spectrum
  std::vector<double> rectified;                 // |e|, the rectified channel signal, N
  std::vector<double> weighted_envelopes;        // h: 47 rows of N
  std::array<double, DW_CHANNEL_COUNT> depth{};  // modulation depth m_q
  std::array<double, DW_CHANNEL_COUNT> envelope_mean{};  // mean of h_q over its N samples
  // Whether the channel's envelope is constant: what the transforms leave of
  // a flat envelope is rounding noise, which must not count as modulation.
  std::array<bool, DW_CHANNEL_COUNT> constant{};

  explicit DwChannelWork(int n);
  const double* envelope(int channel, int n) const {
    return weighted_envelopes.data() +
           static_cast<std::size_t>(channel) * static_cast<std::size_t>(n);
  }
};

// Share u of line j in channel q: 1 in the channels bracketing the line,
// otherwise the relative excitation of the neighbouring channel nearer the line.
double component_share(const DwFrameExcitation& frame, int j, int q);

// Relative RMS of a weighted envelope below which the envelope counts as
// constant. A channel carrying a single spectral line has a flat envelope
// whose transforms leave noise of 1e-17 to 1e-16 of its mean, while channels
// carrying two or more lines show depths of 7e-5 and more from 0 to 130 dB:
// seven orders of magnitude on either side.
inline constexpr double DW_CONSTANT_ENVELOPE_DEPTH = 1e-12;

// Modulation of channel q from its rectified signal |e| (N values): writes
// the weighted envelope h_q, the depth m_q and whether the envelope is
// constant. False when the envelope's mean or energy is not finite.
bool analyse_envelope(const double* rectified, const double* weights, int n, int q,
                      RealFft& fft, DwChannelWork& work);

// Analyses every channel of the frame: fills the weighted envelopes h_q and
// depths m_q of work. False when an envelope sum is not finite (all channels
// are still analysed).
bool analyse_channels(const DwSpectrumTables& tables, const DwFrameExcitation& frame,
                      const std::vector<double>& modulation_weights, RealFft& fft,
                      DwChannelWork& work);

}  // namespace varnholt

#endif
