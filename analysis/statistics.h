// Single-number summaries of a time series: mean, maximum, percentiles.
#pragma once

#include <cstddef>
#include <span>

namespace varnholt::analysis {

// Arithmetic mean; 0 for an empty series.
double mean(std::span<const double> values);

// Largest value; 0 for an empty series.
double maximum(std::span<const double> values);

// Index of the largest value (the first one on ties); 0 for an empty series.
std::size_t index_of_maximum(std::span<const double> values);

// The p-th percentile (0 <= p <= 100) by linear interpolation between order
// statistics: with the values sorted ascending as x_0 ... x_{n-1}, the rank
// h = p/100 * (n - 1) gives x_floor(h) + (h - floor(h)) * (x_ceil(h) - x_floor(h)).
// 0 for an empty series.
double percentile(std::span<const double> values, double p);

// The value exceeded in x % of the frames (0 <= x <= 100): the (100 - x)th
// percentile, so N5 is the 95th percentile of the loudness frames.
double percent_exceeded(std::span<const double> values, double x);

// Index of the first frame whose time is at least t_s (times ascending);
// times.size() when there is none.
std::size_t first_frame_from(std::span<const double> times_s, double t_s);

}  // namespace varnholt::analysis
