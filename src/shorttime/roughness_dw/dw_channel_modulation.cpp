// Roughness model, second stage: channel signals, weighted envelopes and
// modulation depths.
#include "shorttime/roughness_dw/dw_channel_modulation.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "core/checks.h"

namespace varnholt {

namespace {

std::size_t index(int i) { return static_cast<std::size_t>(i); }

// Writes channel q's spectrum from its share of every line; returns whether
// any bin became non-zero (a channel no line reaches carries no signal).
bool synthesise_channel_spectrum(const DwFrameExcitation& frame, int q,
                                 std::complex<double>* spectrum) {
  bool any = false;
  for (int j = 0; j < frame.component_count; ++j) {
    const double u = component_share(frame, j, q);
    if (u == 0.0) continue;
    const int k = frame.component_bin[index(j)];
    spectrum[k] += std::complex<double>(u * frame.re[index(k)], u * frame.im[index(k)]);
    any = true;
  }
  return any;
}

void clear_channel_spectrum(const DwFrameExcitation& frame, std::complex<double>* spectrum) {
  for (int j = 0; j < frame.component_count; ++j) spectrum[frame.component_bin[index(j)]] = 0.0;
}

// Rectified channel signal |e| = |2 Re(inverse transform)| of the one-sided
// spectrum. No line lies at bin 0 or N/2, so the real inverse transform, which
// doubles bins 1 ... N/2 - 1, gives 2 Re(...) itself.
void rectified_channel_signal(const std::complex<double>* spectrum, int n, RealFft& fft,
                              double* rectified) {
  fft.backward(spectrum, rectified, 1.0);
  for (int i = 0; i < n; ++i) rectified[i] = std::fabs(rectified[i]);
}

// Envelope without its mean, band-passed by the channel's modulation
// weighting; writes h and returns its energy sum, and the sum of h in *sum. The weights vanish at bins 0
// and N/2, so h = 2 Re(inverse transform) / N is the real inverse transform
// of the weighted half spectrum, divided by N.
double weighted_envelope(const double* rectified, double mean, const double* weights, int n,
                         RealFft& fft, std::complex<double>* buffer, double* h, double* sum) {
  for (int i = 0; i < n; ++i) h[i] = rectified[i] - mean;
  fft.forward(h, buffer, 1.0);
  for (int b = 0; b <= n / 2; ++b) {
    buffer[b] = {buffer[b].real() * weights[b], buffer[b].imag() * weights[b]};
  }
  fft.backward(buffer, h, 1.0 / n);
  double energy = 0.0;
  double total = 0.0;
  for (int i = 0; i < n; ++i) {
    energy += h[i] * h[i];
    total += h[i];
  }
  *sum = total;
  return energy;
}

}  // namespace

DwChannelWork::DwChannelWork(int n)
    : spectrum(index(n / 2 + 1)),
      buffer(index(n / 2 + 1)),
      rectified(index(n)),
      weighted_envelopes(index(n) * DW_CHANNEL_COUNT) {}

double component_share(const DwFrameExcitation& frame, int j, int q) {
  const int number = q + 1;
  const int hi = frame.upper_channel[index(j)];
  if (frame.lower_channel[index(j)] == number || hi == number) return 1.0;
  // A channel above the line takes the relative excitation of its lower
  // neighbour, a channel below it that of its upper neighbour.
  const double a = frame.component_magnitude[index(j)];
  double u = 0.0;
  if (q >= 1 && a > 0.0) u = frame.excitation_at(j, q - 1) / a;
  if (q <= DW_CHANNEL_COUNT - 2 && hi > number && a > 0.0) u = frame.excitation_at(j, q + 1) / a;
  return u;
}

bool analyse_envelope(const double* rectified, const double* weights, int n, int q,
                      RealFft& fft, DwChannelWork& work) {
  double* h = work.weighted_envelopes.data() + index(q) * index(n);
  double& depth = work.depth[index(q)];
  bool& constant = work.constant[index(q)];
  depth = 0.0;
  constant = true;
  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum += rectified[i];
  const double mean = sum / n;
  double h_sum = 0.0;
  const double energy =
      weighted_envelope(rectified, mean, weights, n, fft, work.buffer.data(), h, &h_sum);
  work.envelope_mean[index(q)] = h_sum / n;
  if (!is_finite_value(sum) || !is_finite_value(energy)) return false;
  if (mean > 0.0) {
    const double relative_rms = std::sqrt(energy / n) / mean;
    constant = relative_rms < DW_CONSTANT_ENVELOPE_DEPTH;
    depth = std::min(relative_rms, 1.0);
  }
  return true;
}

bool analyse_channels(const DwSpectrumTables& tables, const DwFrameExcitation& frame,
                      const std::vector<double>& modulation_weights, RealFft& fft,
                      DwChannelWork& work) {
  const int n = tables.n;
  bool finite = true;
  for (int q = 0; q < DW_CHANNEL_COUNT; ++q) {
    if (!synthesise_channel_spectrum(frame, q, work.spectrum.data())) {
      // No line reaches the channel: its signal, envelope and depth are zero.
      double* h = work.weighted_envelopes.data() + index(q) * index(n);
      std::fill(h, h + n, 0.0);
      work.depth[index(q)] = 0.0;
      work.envelope_mean[index(q)] = 0.0;
      work.constant[index(q)] = true;
      continue;
    }
    rectified_channel_signal(work.spectrum.data(), n, fft, work.rectified.data());
    clear_channel_spectrum(frame, work.spectrum.data());
    if (!analyse_envelope(work.rectified.data(), modulation_weights.data() + index(q) * index(n),
                          n, q, fft, work)) {
      finite = false;
    }
  }
  return finite;
}

}  // namespace varnholt
