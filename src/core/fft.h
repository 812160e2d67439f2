// Discrete Fourier transforms for the whole library, on top of FFTW3.
//
// Conventions (the same for every length, prime lengths included):
//   forward:  X[k] = scale * sum_n x[n] * exp(-2*pi*i*k*n/N)   (exponent sign -1)
//   backward: x[n] = scale * sum_k X[k] * exp(+2*pi*i*k*n/N)   (exponent sign +1)
// Neither direction normalises by itself; a round trip backward(forward(x))
// with both scales 1 gives N * x. The caller passes the scale it needs.
//
// Real transforms use the unpacked half spectrum: bins 0 ... N/2 as complex
// values (N/2 + 1 of them), so callers index bin k directly. The backward real
// transform reads those N/2 + 1 bins, treats the spectrum as Hermitian and
// ignores the imaginary parts of bin 0 and (for even N) of bin N/2. Inputs are
// never modified: every plan owns aligned working arrays and copies through
// them, except where the caller's arrays have the alignment the plan was made
// for and the transform can run on them unchanged (a complex transform in
// place, a forward real transform, the output of a backward real one). The
// results are bit-identical either way.
//
// Plans are built with FFTW_ESTIMATE, so the same length always gives the
// same plan and bit-identical results from run to run. FFTW documents only
// execution as thread-safe, so plan creation and destruction are serialised
// inside this module; executing different plan objects from different threads
// at once is safe. A plan object itself must not be used by two threads at
// once (it owns its working arrays).
#pragma once

#include <complex>
#include <cstddef>
#include <memory>

namespace varnholt {

enum class FftStatus {
  ok,
  allocation_failed,  // the aligned working arrays could not be allocated
  plan_failed,        // FFTW could not make a plan of this length
};

namespace fft_detail {
struct PlanDeleter {
  void operator()(void* plan) const noexcept;
};
struct BufferDeleter {
  void operator()(void* buffer) const noexcept;
};
using PlanHandle = std::unique_ptr<void, PlanDeleter>;
template <typename T>
using Buffer = std::unique_ptr<T[], BufferDeleter>;
}  // namespace fft_detail

// Complex transforms of length N >= 1 in both directions.
class ComplexFft {
 public:
  // Builds the plans. Never throws; the result tells whether it worked.
  [[nodiscard]] static FftStatus create(std::size_t n, ComplexFft& plan) noexcept;

  ComplexFft() = default;
  std::size_t size() const noexcept { return n_; }
  bool valid() const noexcept { return n_ != 0; }

  // in and out hold N values each; they may be the same array.
  void forward(const std::complex<double>* in, std::complex<double>* out,
               double scale) noexcept;
  void backward(const std::complex<double>* in, std::complex<double>* out,
                double scale) noexcept;

 private:
  void run(void* plan, const std::complex<double>* in, std::complex<double>* out,
           double scale) noexcept;

  std::size_t n_ = 0;
  fft_detail::Buffer<std::complex<double>> work_;
  fft_detail::PlanHandle forward_plan_;
  fft_detail::PlanHandle backward_plan_;
};

// Real transforms of length N >= 1: N real values <-> N/2 + 1 complex bins.
class RealFft {
 public:
  [[nodiscard]] static FftStatus create(std::size_t n, RealFft& plan) noexcept;

  RealFft() = default;
  std::size_t size() const noexcept { return n_; }
  std::size_t bins() const noexcept { return n_ / 2 + 1; }
  bool valid() const noexcept { return n_ != 0; }

  // in: N real values; out: N/2 + 1 bins, not overlapping in.
  void forward(const double* in, std::complex<double>* out, double scale) noexcept;
  // in: N/2 + 1 bins (left unchanged); out: N real values, not overlapping in.
  void backward(const std::complex<double>* in, double* out, double scale) noexcept;
  // backward() that may overwrite its input bins instead of copying them
  // first; in and out must not overlap.
  void backward_overwriting(std::complex<double>* in, double* out, double scale) noexcept;

 private:
  std::size_t n_ = 0;
  fft_detail::Buffer<double> real_;
  fft_detail::Buffer<std::complex<double>> spectrum_;
  fft_detail::PlanHandle forward_plan_;
  fft_detail::PlanHandle backward_plan_;
};

}  // namespace varnholt
