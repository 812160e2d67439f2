// Roughness model, first stage: the outer-ear weighted spectrum of a frame,
// its audible lines and their excitation in the 47 critical-band channels.
#ifndef VARNHOLT_SHORTTIME_ROUGHNESS_DW_DW_EXCITATION_H
#define VARNHOLT_SHORTTIME_ROUGHNESS_DW_DW_EXCITATION_H

#include <array>
#include <complex>
#include <vector>

#include "core/fft.h"
#include "shorttime/roughness_dw/dw_roughness.h"

namespace varnholt {

// Everything about the frame spectrum that depends only on the frame length
// and the sample rate; made once per call.
struct DwSpectrumTables {
  int n = 0;                      // frame length N
  int hop = 0;                    // N / 2
  double fs = 0.0;                // sample rate, Hz
  int kmin = 0;                   // lowest analysed bin (20 Hz)
  int kmax = 0;                   // highest analysed bin (20 kHz, at most N/2)
  double scale = 0.0;             // spectrum scale: a line's magnitude is its RMS in 20 uPa
  std::vector<double> window;     // periodic Blackman, N
  std::vector<double> bark;       // critical-band rate of bins 0 ... N/2 (0 outside kmin..kmax)
  std::vector<double> gain;       // outer-ear amplitude gain of bins 0 ... N-1
  std::vector<double> threshold;  // threshold in quiet (dB) of bins kmin ... kmax
  std::array<double, DW_CHANNEL_COUNT> channel_threshold{};  // dB, at each channel centre

  int analysed_bins() const { return kmax - kmin + 1; }
};

DwSpectrumTables make_spectrum_tables(int n, double fs);

// The audible lines of one frame and their excitation. Sized once per call
// for the largest possible number of lines and reused for every frame.
struct DwFrameExcitation {
  std::vector<double> re;  // outer-ear weighted spectrum, bins 0 ... N-1
  std::vector<double> im;
  std::vector<double> magnitude;  // |spectrum| of bins kmin ... kmax
  std::vector<double> level;      // dB SPL of bins kmin ... kmax
  int component_count = 0;
  std::vector<int> component_bin;           // bin of each audible line, ascending
  std::vector<double> component_magnitude;  // its magnitude A_j
  std::vector<int>
      lower_channel;  // floor(2 z): number (from 1) of the channel at or below the line
  std::vector<int> upper_channel;   // ceil(2 z): number of the channel at or above the line
  std::vector<double> upper_slope;  // dB per Bark towards higher channels
  std::vector<double> excitation;   // component-major, 47 amplitudes per line

  explicit DwFrameExcitation(const DwSpectrumTables& tables);
  double excitation_at(int component, int channel) const {
    return excitation[static_cast<std::size_t>(component) * DW_CHANNEL_COUNT +
                      static_cast<std::size_t>(channel)];
  }
};

// Windowed and scaled spectrum of the N samples at frame (forward FFT).
void windowed_spectrum(const double* frame, const DwSpectrumTables& tables, ComplexFft& fft,
                       std::complex<double>* spectrum);

// Outer-ear weighting, magnitudes and levels, and the list of lines above the
// threshold in quiet. False when a magnitude is not finite.
bool find_audible_components(const std::complex<double>* spectrum, const DwSpectrumTables& tables,
                             DwFrameExcitation& frame);

// Excitation of every audible line in every channel along its lower
// (27 dB/Bark) and level-dependent upper slope; only parts above each
// channel's threshold in quiet count.
void spread_excitation(const DwSpectrumTables& tables, DwFrameExcitation& frame);

}  // namespace varnholt

#endif
