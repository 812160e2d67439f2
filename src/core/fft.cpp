// FFTW3 behind the library's own transform interface (see fft.h).
#include "core/fft.h"

#include <fftw3.h>

#include <algorithm>
#include <mutex>

namespace varnholt {
namespace {

// FFTW's planner keeps internal state; only fftw_execute* is documented as
// thread-safe. Every plan creation and destruction takes this lock.
std::mutex& planner_mutex() {
  static std::mutex mutex;
  return mutex;
}

fftw_complex* as_fftw(std::complex<double>* p) { return reinterpret_cast<fftw_complex*>(p); }

// A plan may run on other arrays than its own when their alignment is the
// same: FFTW then takes the same code path, so the results are bit-identical
// to running through the plan's arrays, without the copies.
bool same_alignment(const void* p, const void* planned) {
  return fftw_alignment_of(static_cast<double*>(const_cast<void*>(p))) ==
         fftw_alignment_of(static_cast<double*>(const_cast<void*>(planned)));
}

template <typename T>
void scale_in_place(T* values, std::size_t count, double scale) noexcept {
  if (scale == 1.0) return;  // multiplying by 1 changes no value
  for (std::size_t i = 0; i < count; ++i) values[i] *= scale;
}

template <typename T>
fft_detail::Buffer<T> allocate(std::size_t count) noexcept {
  return fft_detail::Buffer<T>(static_cast<T*>(fftw_malloc(sizeof(T) * count)));
}

}  // namespace

namespace fft_detail {
void PlanDeleter::operator()(void* plan) const noexcept {
  const std::lock_guard<std::mutex> lock(planner_mutex());
  fftw_destroy_plan(static_cast<fftw_plan>(plan));
}
void BufferDeleter::operator()(void* buffer) const noexcept { fftw_free(buffer); }
}  // namespace fft_detail

FftStatus ComplexFft::create(std::size_t n, ComplexFft& plan) noexcept {
  plan = ComplexFft{};
  if (n == 0 || n > static_cast<std::size_t>(INT32_MAX)) return FftStatus::plan_failed;
  auto work = allocate<std::complex<double>>(n);
  if (!work) return FftStatus::allocation_failed;
  const int length = static_cast<int>(n);
  fft_detail::PlanHandle forward;
  fft_detail::PlanHandle backward;
  {
    const std::lock_guard<std::mutex> lock(planner_mutex());
    forward.reset(fftw_plan_dft_1d(length, as_fftw(work.get()), as_fftw(work.get()),
                                   FFTW_FORWARD, FFTW_ESTIMATE));
    backward.reset(fftw_plan_dft_1d(length, as_fftw(work.get()), as_fftw(work.get()),
                                    FFTW_BACKWARD, FFTW_ESTIMATE));
  }
  if (!forward || !backward) return FftStatus::plan_failed;
  plan.n_ = n;
  plan.work_ = std::move(work);
  plan.forward_plan_ = std::move(forward);
  plan.backward_plan_ = std::move(backward);
  return FftStatus::ok;
}

void ComplexFft::run(void* plan, const std::complex<double>* in, std::complex<double>* out,
                     double scale) noexcept {
  std::complex<double>* work = work_.get();
  if (in == out && same_alignment(out, work)) {
    // The plans are in place, so an in-place call runs on the caller's array.
    fftw_execute_dft(static_cast<fftw_plan>(plan), as_fftw(out), as_fftw(out));
    scale_in_place(out, n_, scale);
    return;
  }
  std::copy_n(in, n_, work);
  fftw_execute(static_cast<fftw_plan>(plan));
  for (std::size_t k = 0; k < n_; ++k) out[k] = work[k] * scale;
}

void ComplexFft::forward(const std::complex<double>* in, std::complex<double>* out,
                         double scale) noexcept {
  run(forward_plan_.get(), in, out, scale);
}

void ComplexFft::backward(const std::complex<double>* in, std::complex<double>* out,
                          double scale) noexcept {
  run(backward_plan_.get(), in, out, scale);
}

FftStatus RealFft::create(std::size_t n, RealFft& plan) noexcept {
  plan = RealFft{};
  if (n == 0 || n > static_cast<std::size_t>(INT32_MAX)) return FftStatus::plan_failed;
  auto real = allocate<double>(n);
  auto spectrum = allocate<std::complex<double>>(n / 2 + 1);
  if (!real || !spectrum) return FftStatus::allocation_failed;
  const int length = static_cast<int>(n);
  fft_detail::PlanHandle forward;
  fft_detail::PlanHandle backward;
  {
    const std::lock_guard<std::mutex> lock(planner_mutex());
    // FFTW_PRESERVE_INPUT is not needed: the plans run on our own copies.
    forward.reset(fftw_plan_dft_r2c_1d(length, real.get(), as_fftw(spectrum.get()),
                                       FFTW_ESTIMATE));
    backward.reset(fftw_plan_dft_c2r_1d(length, as_fftw(spectrum.get()), real.get(),
                                        FFTW_ESTIMATE));
  }
  if (!forward || !backward) return FftStatus::plan_failed;
  plan.n_ = n;
  plan.real_ = std::move(real);
  plan.spectrum_ = std::move(spectrum);
  plan.forward_plan_ = std::move(forward);
  plan.backward_plan_ = std::move(backward);
  return FftStatus::ok;
}

void RealFft::forward(const double* in, std::complex<double>* out, double scale) noexcept {
  if (same_alignment(in, real_.get()) && same_alignment(out, spectrum_.get())) {
    // An out-of-place r2c leaves its input untouched, so it may read the
    // caller's array directly.
    fftw_execute_dft_r2c(static_cast<fftw_plan>(forward_plan_.get()), const_cast<double*>(in),
                         as_fftw(out));
    scale_in_place(out, bins(), scale);
    return;
  }
  std::copy_n(in, n_, real_.get());
  fftw_execute(static_cast<fftw_plan>(forward_plan_.get()));
  const std::complex<double>* spectrum = spectrum_.get();
  const std::size_t count = bins();
  for (std::size_t k = 0; k < count; ++k) out[k] = spectrum[k] * scale;
}

void RealFft::backward(const std::complex<double>* in, double* out, double scale) noexcept {
  // c2r overwrites its input array, which is why it runs on our copy.
  std::copy_n(in, bins(), spectrum_.get());
  if (same_alignment(out, real_.get())) {
    fftw_execute_dft_c2r(static_cast<fftw_plan>(backward_plan_.get()), as_fftw(spectrum_.get()),
                         out);
    scale_in_place(out, n_, scale);
    return;
  }
  fftw_execute(static_cast<fftw_plan>(backward_plan_.get()));
  const double* real = real_.get();
  for (std::size_t i = 0; i < n_; ++i) out[i] = real[i] * scale;
}

void RealFft::backward_overwriting(std::complex<double>* in, double* out, double scale) noexcept {
  if (!same_alignment(in, spectrum_.get()) || !same_alignment(out, real_.get())) {
    backward(in, out, scale);
    return;
  }
  fftw_execute_dft_c2r(static_cast<fftw_plan>(backward_plan_.get()), as_fftw(in), out);
  scale_in_place(out, n_, scale);
}

}  // namespace varnholt
