// Removal of the tonal components from the spectrum of a frame: peaks are
// flattened to the mean magnitude of their neighbours, narrow bands replaced
// by the straight line in dB between their edge levels; the phases stay.
#pragma once

#include <complex>

#include "shorttime/tonality_aures/aures_components.h"

namespace varnholt {

// Flattens every peak (centre frequencies[i], removal_widths[i] wide) in the
// unscaled spectrum B[0..n-1], in table order: the bins within half the
// removal width of the centre take the mean magnitude of the two bins just
// outside. Then mirrors bins 1 .. n/2 - 1 onto the upper half as complex
// conjugates and clears the imaginary parts of bin 0 and (n even) bin n/2.
void aures_flatten_peaks(std::complex<double>* spectrum, int n, double sample_rate,
                         const double* frequencies, const double* removal_widths,
                         int count) noexcept;

// Replaces bins lo..hi of every band by the straight line in dB between its
// edge levels; `amplitude_scale` converts the unscaled spectrum to RMS
// pressure.
void aures_replace_bands(std::complex<double>* spectrum, const TonalBand* bands, int band_count,
                         double amplitude_scale) noexcept;

// B[n - k] = conj(B[k]) for k = 1 .. n/2 - 1, so the backward transform is real.
void hermitian_completion(std::complex<double>* spectrum, int n) noexcept;

// Level in dB re 20 uPa of bins first .. end - 1 (within 0 .. n/2) of the
// unscaled spectrum: 10 log10((|B| a)^2 / 4e-10 + 1e-99). False when the
// level of any bin 0 .. n/2 would not be finite.
bool aures_residual_levels(const std::complex<double>* spectrum, int n, double amplitude_scale,
                           int first, int end, double* levels) noexcept;

}  // namespace varnholt
