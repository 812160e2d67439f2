// Frame analysis of the tonality after Aures: the analysis constants, the Hann
// window and its sums, the critical-band rate and the calibrated level spectrum.
#pragma once

#include <complex>

namespace varnholt {

// Framing and search ranges derived from the sample rate (48 kHz: 250 ms
// frames of 12000 samples, 125 ms hop, 4 Hz bins, analysis bins 5..1250 for
// 20 Hz..5 kHz, neighbours at 25 Hz and 37.5 Hz).
struct AuresAnalysis {
  int frame_length;     // N
  int hop;              // H
  double bin_spacing;   // fs / N in Hz
  int first_bin;        // k0, first analysis bin (20 Hz)
  int last_bin;         // k1, last analysis bin (5000 Hz)
  int bin_count;        // nb = k1 - k0 + 1
  int near_distance;    // d1, about 25 Hz in bins
  int far_distance;     // d2, about 37.5 Hz in bins
};

// The constants for a positive, finite sample rate.
AuresAnalysis aures_analysis_constants(double sample_rate) noexcept;

// Symmetric Hann window: out[i] = 0.5 - 0.5 cos(2 pi i / (n - 1)); a window of
// length 1 is the single value 1.
void hann_window(int n, double* out) noexcept;

// What the window does to a spectrum.
struct WindowSums {
  double mean;             // sum(w) / N
  double coherent_gain;    // S = mean * N, the sum of the window
  double amplitude_scale;  // a = sqrt(2) / S: a sinusoid then reads its RMS value
  double noise_bandwidth;  // B_w = sum(w^2) / (S * mean), in bins
};

WindowSums aures_window_sums(const double* window, int n) noexcept;

// Critical-band rate in Bark of a frequency in Hz (Zwicker and Terhardt).
// Always evaluated in this one order, so two rates of the same frequency
// compare equal.
double bark_from_hz(double frequency_hz) noexcept;

// Level in dB re 20 uPa of bins first .. end - 1 of a spectrum already scaled
// by the amplitude scale: 10 log10((|X|^2 + 1e-99) / 4e-10). The tiny power
// keeps a silent bin finite (about -896 dB).
void aures_bin_levels(const std::complex<double>* spectrum, int first, int end,
                      double* levels) noexcept;

// The levels of bins 0 .. count - 1 of an n-bin spectrum (count <= n), once
// the power of every one of the n bins has been found finite. Returns false,
// writing nothing, when a power is not finite. The levels above n/2 mirror
// those below, so a caller can leave them out until a search reaches them.
bool aures_level_spectrum(const std::complex<double>* spectrum, int n, int count,
                          double* levels) noexcept;

}  // namespace varnholt
