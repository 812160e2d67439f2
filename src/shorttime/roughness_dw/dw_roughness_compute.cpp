// Roughness after Daniel and Weber: the frame loop over spectrum, excitation,
// channel modulation and summation.
#include <complex>
#include <new>
#include <vector>

#include "core/fft.h"
#include "shorttime/roughness_dw/dw_channel_modulation.h"
#include "shorttime/roughness_dw/dw_excitation.h"
#include "shorttime/roughness_dw/dw_modulation_weights.h"
#include "shorttime/roughness_dw/dw_roughness.h"
#include "shorttime/roughness_dw/dw_summation.h"

namespace varnholt {

namespace {

// Everything one call needs, made before the first frame.
struct DwCall {
  DwSpectrumTables tables;
  std::vector<double> channel_weight;
  std::vector<double> modulation_weights;
  ComplexFft frame_fft;
  ComplexFft channel_fft;
  std::vector<std::complex<double>> frame_spectrum;
  DwFrameExcitation frame;
  DwChannelWork channels;
  DwCorrelations correlations{};

  DwCall(int n, double fs)
      : tables(make_spectrum_tables(n, fs)),
        channel_weight(channel_weights()),
        modulation_weights(modulation_weight_rows(n, fs)),
        frame_spectrum(static_cast<std::size_t>(n)),
        frame(tables),
        channels(n) {}
};

int roughness_of_frames(const double* signal, int frames, DwCall& call, double* out) {
  const DwSpectrumTables& t = call.tables;
  for (int f = 0; f < frames; ++f) {
    windowed_spectrum(signal + static_cast<std::ptrdiff_t>(f) * t.hop, t, call.frame_fft,
                      call.frame_spectrum.data());
    if (!find_audible_components(call.frame_spectrum.data(), t, call.frame)) {
      return DW_ERR_NON_FINITE;
    }
    spread_excitation(t, call.frame);
    if (!analyse_channels(t, call.frame, call.modulation_weights, call.channel_fft,
                          call.channels)) {
      return DW_ERR_NON_FINITE;
    }
    if (!envelope_correlations(call.channels, t.n, call.correlations)) return DW_ERR_NON_FINITE;
    double roughness = 0.0;
    if (!sum_roughness(call.channels, call.correlations, call.channel_weight, &roughness)) {
      return DW_ERR_NON_FINITE;
    }
    out[f] = roughness;
  }
  return frames;
}

}  // namespace

int dw_roughness_compute(const double* signal, int n, double fs, int /*sound_field*/, double* out,
                         int* frame_count) {
  // 200 ms frames. The length is compared before it is converted, and must
  // reach past the 20 Hz bin (bin 4), or no band is left to analyse.
  const double length = 0.2 * fs;
  if (!(length >= 8.0 && length <= static_cast<double>(n))) return DW_ERR_TOO_SHORT;
  const int frame_length = static_cast<int>(length);
  const int hop = frame_length / 2;
  const int frames = (n - frame_length) / hop + 1;
  if (*frame_count < frames) return DW_ERR_CAPACITY;
  *frame_count = frames;
  try {
    DwCall call(frame_length, fs);
    if (ComplexFft::create(static_cast<std::size_t>(frame_length), call.frame_fft) !=
            FftStatus::ok ||
        ComplexFft::create(static_cast<std::size_t>(frame_length), call.channel_fft) !=
            FftStatus::ok) {
      return DW_ERR_ALLOCATION;
    }
    return roughness_of_frames(signal, frames, call, out);
  } catch (const std::bad_alloc&) {
    return DW_ERR_ALLOCATION;
  }
}

}  // namespace varnholt
