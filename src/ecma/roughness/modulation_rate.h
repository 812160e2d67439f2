// Modulation rate of a spectral peak, refined between the bins.
#pragma once

#include <cstdint>

namespace varnholt {

// Rate in Hz of the peak of phi (257 bins, 2.9296875 Hz apart) at bin p
// (3 ... 254): the vertex of the parabola through bins p - 1, p, p + 1,
// corrected for the known bias of that estimate on the windowed envelope
// spectra. A flat top (no curvature) gives the bin's own rate.
double refined_modulation_rate(const double* phi, std::uint64_t p) noexcept;

}  // namespace varnholt
