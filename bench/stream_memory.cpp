// Peak heap memory of every metric's stream and of the whole-signal exports, for
// signals of different durations: a measurement, not a benchmark and not a
// test. The program interposes the C allocator, so every byte counts (FFTW's
// aligned buffers included), and reports the peak in use above what was in
// use before the stream was made. Frames are taken as soon as they are ready
// and thrown away, so the figures leave the output aside.
//   usage: stream_memory [seconds ...]   (default: 10 600)
#include <malloc.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <span>
#include <string>
#include <vector>

#include "varnholt.h"

extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);
}

namespace {

std::size_t in_use = 0;
std::size_t peak = 0;

void* counted(void* p) {
  if (p != nullptr) {
    in_use += malloc_usable_size(p);
    if (in_use > peak) peak = in_use;
  }
  return p;
}

void uncount(void* p) {
  if (p != nullptr) in_use -= malloc_usable_size(p);
}

}  // namespace

extern "C" {
void* malloc(std::size_t n) { return counted(__libc_malloc(n)); }
void* calloc(std::size_t n, std::size_t m) { return counted(__libc_calloc(n, m)); }
void free(void* p) {
  uncount(p);
  __libc_free(p);
}
void* realloc(void* p, std::size_t n) {
  uncount(p);
  return counted(__libc_realloc(p, n));
}
void* memalign(std::size_t a, std::size_t n) { return counted(__libc_memalign(a, n)); }
void* aligned_alloc(std::size_t a, std::size_t n) { return counted(__libc_memalign(a, n)); }
int posix_memalign(void** out, std::size_t a, std::size_t n) {
  void* p = counted(__libc_memalign(a, n));
  if (p == nullptr) return 12;  // ENOMEM
  *out = p;
  return 0;
}
}

namespace {

constexpr std::size_t CHUNK = 4800;

// A 1 kHz tone of about 70 dB, amplitude-modulated at 70 Hz, over noise:
// every stage of every metric has work to do. Made chunk by chunk, so the
// signal itself never sits in memory.
void fill_chunk(std::uint64_t start, std::span<double> out, std::uint64_t& state) {
  for (std::size_t i = 0; i < out.size(); ++i) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    const double noise = static_cast<double>(z >> 11) * 0x1.0p-52 - 1.0;
    const double t = static_cast<double>(start + i) / VH_SAMPLE_RATE;
    out[i] = 0.06 * std::sin(2.0 * std::numbers::pi * 1000.0 * t) *
                 (1.0 + std::sin(2.0 * std::numbers::pi * 70.0 * t)) +
             0.01 * noise;
  }
}

// Streams `seconds` of the signal through the public streaming interface
// and reports the peak heap in use above what was in use before.
void measure_stream(vh_metric metric, const char* name, double seconds) {
  const auto count = static_cast<std::uint64_t>(seconds * VH_SAMPLE_RATE);
  std::size_t width = 0;
  vh_stream_frame_values(metric, &width);
  std::vector<double> chunk(CHUNK);
  std::vector<double> frames_read(64 * width);
  std::uint64_t state = 1;
  const std::size_t before = in_use;
  peak = in_use;
  std::uint64_t frames = 0;
  vh_stream* stream = nullptr;
  vh_status status = vh_stream_create(metric, VH_SAMPLE_RATE, VH_SOUND_FIELD_FREE, &stream);
  const auto drain = [&] {
    std::size_t got = 1;
    while (got > 0 && vh_stream_read(stream, frames_read.data(), frames_read.size(), &got) == VH_OK) {
      frames += got;
    }
  };
  for (std::uint64_t start = 0; start < count && status == VH_OK; start += CHUNK) {
    const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(CHUNK, count - start));
    fill_chunk(start, std::span<double>(chunk.data(), length), state);
    status = vh_stream_push(stream, chunk.data(), length);
    drain();
  }
  if (status == VH_OK) status = vh_stream_finish(stream);
  drain();
  vh_stream_destroy(stream);
  std::printf("stream  %-26s %7.0f s  %9llu frames  status %d  peak %10.3f MB\n", name, seconds,
              static_cast<unsigned long long>(frames), status,
              static_cast<double>(peak - before) / 1e6);
}

// The exports need the signal and their outputs in memory: the figure is the
// peak above those.
void measure_exports(double seconds) {
  const auto count = static_cast<std::size_t>(seconds * VH_SAMPLE_RATE);
  std::vector<double> x(count);
  std::uint64_t state = 1;
  for (std::size_t start = 0; start < count; start += CHUNK) {
    fill_chunk(start, std::span<double>(x.data() + start, std::min(CHUNK, count - start)), state);
  }
  std::size_t frames = 0;
  vh_loudness_time_frame_count(count, VH_SAMPLE_RATE, &frames);
  std::vector<double> loudness(frames);
  std::vector<double> specific(frames * 240);
  const auto report = [&](const char* name, vh_status status, std::size_t before) {
    std::printf("export  %-26s %7.0f s  status %d  peak beyond signal and output %10.3f MB\n",
                name, seconds, status, static_cast<double>(peak - before) / 1e6);
  };
  std::size_t before = in_use;
  peak = in_use;
  report("vh_loudness_time",
         vh_loudness_time(x.data(), count, VH_SAMPLE_RATE, 0, loudness.data(), loudness.size(),
                          specific.data(), specific.size(), &frames),
         before);
  double n = 0.0;
  std::vector<double> pattern(240);
  before = in_use;
  peak = in_use;
  report("vh_loudness_stationary",
         vh_loudness_stationary(x.data(), count, VH_SAMPLE_RATE, 0, &n, pattern.data(), 240), before);
  std::vector<double> values(count / 4800 + 1);
  before = in_use;
  peak = in_use;
  report("vh_roughness_dw",
         vh_roughness_dw(x.data(), count, VH_SAMPLE_RATE, values.data(), values.size(), &frames),
         before);
  before = in_use;
  peak = in_use;
  report("vh_tonality_aures",
         vh_tonality_aures(x.data(), count, VH_SAMPLE_RATE, 0, values.data(), values.size(), &frames),
         before);
}

constexpr struct {
  vh_metric metric;
  const char* name;
} METRICS[] = {
    {VH_METRIC_LOUDNESS_STATIONARY, "loudness stationary"},
    {VH_METRIC_LOUDNESS_TIME, "loudness time"},
    {VH_METRIC_ROUGHNESS_DW, "roughness (Daniel, Weber)"},
    {VH_METRIC_TONALITY_AURES, "tonality (Aures)"},
    {VH_METRIC_ECMA_TONALITY, "ECMA-418-2 tonality"},
    {VH_METRIC_ECMA_ROUGHNESS, "ECMA-418-2 roughness"},
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<double> durations;
  for (int i = 1; i < argc; ++i) durations.push_back(std::atof(argv[i]));
  if (durations.empty()) durations = {10.0, 600.0};
  // FFTW keeps tables of its own for the rest of the process once a plan of a
  // size was made: made here, they do not count against the first stream.
  for (const auto& m : METRICS) {
    vh_stream* s = nullptr;
    vh_stream_create(m.metric, VH_SAMPLE_RATE, VH_SOUND_FIELD_FREE, &s);
    vh_stream_destroy(s);
  }
  for (const double s : durations) {
    for (const auto& m : METRICS) measure_stream(m.metric, m.name, s);
  }
  for (const double s : durations) {
    if (s <= 60.0) measure_exports(s);
  }
  return 0;
}
