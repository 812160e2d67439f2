// Fuzz input decoding and contract checks (see fuzz_input.h).
#include "fuzz_input.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <numbers>

namespace varnholt::fuzz {
namespace {

class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t u8() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::uint16_t u16() {
    const auto lo = u8();
    return static_cast<std::uint16_t>(lo | (u8() << 8));
  }
  double f64() {
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= static_cast<std::uint64_t>(u8()) << (8 * i);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
  }
  bool done() const { return pos_ >= size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

double special_value(std::uint8_t kind, double raw) {
  switch (kind % 9) {
    case 0: return std::numeric_limits<double>::quiet_NaN();
    case 1: return std::numeric_limits<double>::infinity();
    case 2: return -std::numeric_limits<double>::infinity();
    case 3: return std::numeric_limits<double>::denorm_min();
    case 4: return DBL_MAX;
    case 5: return -DBL_MAX;
    case 6: return 1e-300;
    case 7: return 1e300;
    default: return raw;
  }
}

}  // namespace

FuzzCall decode(const std::uint8_t* data, std::size_t size, std::size_t max_length) {
  Reader in(data, size);
  FuzzCall call;
  const std::uint8_t rate = in.u8();
  call.sample_rate = rate < 200 ? VH_SAMPLE_RATE : (rate < 230 ? 44100 : static_cast<std::int32_t>(rate) - 240);
  const std::uint8_t field = in.u8();
  call.sound_field = field < 100 ? 0 : (field < 200 ? 1 : static_cast<std::int8_t>(field));
  const std::size_t length = std::min<std::size_t>(static_cast<std::size_t>(in.u16()) * 64, max_length);
  call.capacity = static_cast<Capacity>(in.u8() % 5);
  const std::uint8_t waveform = in.u8();
  const double frequency = 20.0 + 80.0 * in.u8();               // 20 Hz ... 20.4 kHz
  const double level = -20.0 + 150.0 * in.u8() / 255.0;         // -20 ... 130 dB SPL
  const double amplitude = std::sqrt(2.0) * 2e-5 * std::pow(10.0, level / 20.0);

  call.null_signal = waveform == 255;
  call.signal.assign(length, 0.0);
  const double w = 2.0 * std::numbers::pi * frequency / 48000.0;
  std::uint64_t noise = 0x9E3779B97F4A7C15ULL ^ waveform;
  for (std::size_t i = 0; i < length; ++i) {
    const double t = static_cast<double>(i);
    double v = 0.0;
    switch (waveform % 6) {
      case 0: v = 0.0; break;
      case 1: v = amplitude * std::sin(w * t); break;
      case 2: v = amplitude * std::sin(w * t) * (1.0 + std::sin(2.0 * std::numbers::pi * 70.0 * t / 48000.0)); break;
      case 3:
        noise = noise * 6364136223846793005ULL + 1442695040888963407ULL;
        v = amplitude * (static_cast<double>(noise >> 11) * 0x1.0p-52 - 1.0);
        break;
      case 4: v = (i == length / 2) ? amplitude : 0.0; break;
      default: v = amplitude; break;
    }
    call.signal[i] = v;
  }
  while (!in.done() && length > 0) {
    const std::size_t at = in.u16() % length;
    const std::uint8_t kind = in.u8();
    call.signal[at] = special_value(kind, in.f64());
  }
  return call;
}

std::size_t capacity_for(Capacity c, std::size_t required) {
  switch (c) {
    case Capacity::exact: return required;
    case Capacity::one_short: return required > 0 ? required - 1 : 0;
    case Capacity::zero: return 0;
    case Capacity::larger: return required + 7;
    case Capacity::null_pointer: return 0;
  }
  return required;
}

void require(bool condition) {
  if (!condition) std::abort();
}

void check_loudness_outputs(vh_status status, double loudness, const std::vector<double>& specific,
                            bool specific_requested) {
  check_status(status);
  if (status == VH_OK) {
    require(std::isfinite(loudness) && loudness >= 0.0);
    check_results(specific, specific_requested ? 240 : 0, true);
  } else {
    require(std::memcmp(&loudness, &SENTINEL, sizeof loudness) == 0);
    check_untouched(specific);
  }
}

void check_status(vh_status status) { require(status >= VH_OK && status <= VH_ERR_NUMERICAL); }

void check_untouched(const std::vector<double>& out) {
  for (double v : out) require(std::memcmp(&v, &SENTINEL, sizeof v) == 0);
}

void check_results(const std::vector<double>& out, std::size_t count, bool non_negative) {
  require(count <= out.size());
  for (std::size_t i = 0; i < count; ++i) {
    require(std::isfinite(out[i]));
    if (non_negative) require(out[i] >= 0.0);
  }
  for (std::size_t i = count; i < out.size(); ++i) {
    require(std::memcmp(&out[i], &SENTINEL, sizeof(double)) == 0);
  }
}

}  // namespace varnholt::fuzz
