// Signal preparation of the hearing model: fade-in, zero padding and the
// outer and middle ear filter.
#include "ecma/signal_preparation.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <new>
#include <stdexcept>

#include "core/checks.h"

namespace varnholt {
namespace {

constexpr double PI = 3.141592653589793;

// Largest prepared length; beyond it the byte count of the array would not fit.
constexpr std::uint64_t MAX_PREPARED_LENGTH = 0x0FFFFFFFFFFFFFFFULL;

// One biquad, a0 = 1.
struct Biquad {
  double b0, b1, b2, a1, a2;
};

// The outer and middle ear transfer as a cascade of eight biquads at 48 kHz.
// The first two model the head and outer ear in a free field and are left out
// for diffuse-field sound; the other six are the ear canal and middle ear.
constexpr std::array<Biquad, OuterMiddleEarFilter::SECTION_COUNT> OUTER_MIDDLE_EAR_SECTIONS = {{
    {1.015896020255593, -1.925298877776079, 0.922118060364679, -1.925298877776079,
     0.938014080620272},
    {0.958943219304445, -1.806088011849494, 0.876438777856084, -1.806088011849494,
     0.83538199716053},
    {0.961371976333197, -1.763632154338248, 0.821787991845146, -1.763632154338248,
     0.783159968178343},
    {2.225803503609735, -1.434650484792157, -0.498204282194628, -1.434650484792157,
     0.727599221415107},
    {0.471735128494163, -0.366091796830044, 0.24414470388502, -0.366091796830044,
     -0.284120167620817},
    {0.115267139824401, 0.0, -0.115267139824401, -1.796002566692014, 0.805837815618546},
    {0.988029297230954, -1.91243380293387, 0.926131550180785, -1.912433802933871,
     0.914160847411739},
    {1.952237687301361, 0.162319983017519, -0.667994113035186, 0.162319983017519,
     0.284243574266175},
}};

// Sections that only the free field runs.
constexpr std::size_t FREE_FIELD_ONLY_SECTIONS = 2;

// Total prepared length, or false when a sum wraps or the result is too long.
bool prepared_length(std::uint64_t n, std::uint64_t lead, std::uint64_t hop, bool pad_to_hop,
                     std::uint64_t& total) noexcept {
  if (n > UINT64_MAX - lead) return false;
  std::uint64_t t = n + lead;
  if (pad_to_hop) {
    if (t > UINT64_MAX - hop) return false;
    t = (t + hop - 1) / hop * hop;
    if (t > UINT64_MAX - lead) return false;
    t += lead;
  }
  if (t > MAX_PREPARED_LENGTH) return false;
  total = t;
  return true;
}

}  // namespace

double faded_in(double x, std::uint64_t index) noexcept {
  if (index >= FADE_IN_LENGTH) return x;
  const double w = 0.5 - 0.5 * std::cos(static_cast<double>(index) * PI / 240.0);
  return x * w;
}

OuterMiddleEarFilter::OuterMiddleEarFilter(vh_sound_field sound_field) noexcept
    : first_section_(sound_field == VH_SOUND_FIELD_FREE ? 0 : FREE_FIELD_ONLY_SECTIONS) {}

// Each biquad in transposed direct form II runs over the whole run before the
// next one; the states carry over to the next run, so any split of the signal
// gives the same output.
bool OuterMiddleEarFilter::run(double* x, std::size_t count) noexcept {
  for (std::size_t k = first_section_; k < SECTION_COUNT; ++k) {
    const Biquad& s = OUTER_MIDDLE_EAR_SECTIONS[k];
    double s1 = state_[k][0];
    double s2 = state_[k][1];
    for (std::size_t i = 0; i < count; ++i) {
      const double in = x[i];
      const double y = s.b0 * in + s1;
      s1 = s.b1 * in - s.a1 * y + s2;
      s2 = s.b2 * in - s.a2 * y;
      if (!is_finite_value(y)) return false;
      x[i] = y;
    }
    state_[k] = {s1, s2};
  }
  return true;
}

vh_status ecma_prepare_signal(const double* signal, std::uint64_t n, std::uint64_t lead,
                              std::uint64_t hop, bool pad_to_hop, vh_sound_field sound_field,
                              std::vector<double>& prepared) noexcept {
  prepared.clear();
  if (!is_valid_sound_field(sound_field) || lead < 2 || hop == 0 || hop > lead) {
    return VH_ERR_INVALID_ARGUMENT;
  }
  if (n < FADE_IN_LENGTH) return VH_ERR_INPUT_TOO_SHORT;
  std::uint64_t total = 0;
  if (!prepared_length(n, lead, hop, pad_to_hop, total)) return VH_ERR_SIZE_OVERFLOW;
  const vh_status valid = validate_signal(signal, n, VH_SAMPLE_RATE);
  if (valid != VH_OK) return valid;

  std::vector<double> buffer;
  try {
    buffer.assign(static_cast<std::size_t>(total), 0.0);
  } catch (const std::bad_alloc&) {
    return VH_ERR_ALLOCATION;
  } catch (const std::length_error&) {
    return VH_ERR_ALLOCATION;
  }

  double* const start = buffer.data() + lead;
  for (std::uint64_t i = 0; i < n; ++i) start[i] = faded_in(signal[i], i);
  OuterMiddleEarFilter ear(sound_field);
  if (!ear.run(start, static_cast<std::size_t>(total - lead))) return VH_ERR_NUMERICAL;
  prepared.swap(buffer);
  return VH_OK;
}

}  // namespace varnholt
