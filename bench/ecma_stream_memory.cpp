// Peak memory of the hearing-model streams over a long recording: streams
// `seconds` of a modulated tone in noise, generated chunk by chunk, through the
// tonality or roughness stream and drops the frames as they come, then prints
// the process's peak resident set. Run it for 10 s and for 10 min: the two
// peaks should differ by little, since no state grows with the signal.
//   usage: ecma_stream_memory tonality|roughness SECONDS
#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <span>
#include <vector>

#include "ecma/roughness/ecma_roughness_stream.h"
#include "ecma/tonality/ecma_tonality_stream.h"

namespace {

constexpr std::size_t CHUNK = 4800;

template <typename Stream>
int run(double seconds) {
  Stream stream(VH_SOUND_FIELD_FREE);
  const auto total = static_cast<std::size_t>(seconds * 48000.0);
  std::vector<double> chunk(CHUNK);
  std::uint64_t state = 1;
  std::size_t frames = 0;
  for (std::size_t start = 0; start < total; start += CHUNK) {
    const std::size_t count = std::min(CHUNK, total - start);
    for (std::size_t i = 0; i < count; ++i) {
      const double t = static_cast<double>(start + i) / 48000.0;
      state = state * 6364136223846793005ULL + 1442695040888963407ULL;
      const double noise = static_cast<double>(state >> 11) * 0x1.0p-52 - 1.0;
      chunk[i] = 0.02 * (1.0 + std::sin(2.0 * std::numbers::pi * 70.0 * t)) *
                     std::sin(2.0 * std::numbers::pi * 1000.0 * t) +
                 0.002 * noise;
    }
    if (stream.push(std::span<const double>(chunk).first(count)) != VH_OK) return 1;
    frames += stream.ready().size() / Stream::values_per_frame;
    stream.take(stream.ready().size() / Stream::values_per_frame);
  }
  if (stream.finish() != VH_OK) return 1;
  frames += stream.ready().size() / Stream::values_per_frame;
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("%g s, %zu frames, peak resident set %.1f MB\n", seconds, frames,
              static_cast<double>(usage.ru_maxrss) / 1024.0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const double seconds = std::atof(argv[2]);
  if (std::strcmp(argv[1], "tonality") == 0) return run<varnholt::EcmaTonalityStream>(seconds);
  if (std::strcmp(argv[1], "roughness") == 0) return run<varnholt::EcmaRoughnessStream>(seconds);
  return 2;
}
