// Streams a signal through a metric's stream class in chunks, the way a
// caller with a recording in pieces would, for the chunking-exactness tests.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "support/signals.h"
#include "varnholt.h"

namespace varnholt::test {

// Chunk sizes used in turn until the signal is used up; `seed` != 0 draws
// sizes from 1 to 20000 instead.
struct Chunking {
  std::string name;
  std::size_t size;
  std::uint64_t seed = 0;
};

inline const std::vector<Chunking>& standard_chunkings() {
  static const std::vector<Chunking> chunkings = {
      {"7", 7}, {"96", 96}, {"4096", 4096}, {"65536", 65536}, {"random", 0, 14}};
  return chunkings;
}

struct NamedSignal {
  std::string name;
  std::vector<double> x;
};

// A tone, noise, a tone burst between silences and silence, count samples
// each: every stage sees steady, random, switching and empty input.
inline std::vector<NamedSignal> chunking_signals(std::size_t count) {
  std::vector<double> burst = silence(count);
  const std::vector<double> tone = sine(1000.0, 80.0, count / 5);
  std::copy(tone.begin(), tone.end(), burst.begin() + static_cast<std::ptrdiff_t>(count / 3));
  return {{"tone", sine(500.0, 60.0, count)},
          {"noise", pink_noise(55.0, count, 3)},
          {"burst", burst},
          {"silence", silence(count)}};
}

struct Streamed {
  vh_status status = VH_OK;
  std::vector<double> frames;  // frame-major, as the stream emitted them
};

// Pushes x in chunks, taking the ready frames after every push, then
// finishes and takes the rest.
template <typename Stream>
Streamed stream_in_chunks(const std::vector<double>& x, vh_sound_field field,
                          const Chunking& chunking) {
  Streamed r;
  Stream stream(field);
  Prng prng(chunking.seed);
  const auto take_ready = [&] {
    const std::span<const double> ready = stream.ready();
    r.frames.insert(r.frames.end(), ready.begin(), ready.end());
    stream.take(ready.size() / Stream::values_per_frame);
  };
  std::size_t start = 0;
  while (start < x.size()) {
    const std::size_t size =
        chunking.seed == 0 ? chunking.size : 1 + static_cast<std::size_t>(prng.next_u64() % 20000);
    const std::size_t length = std::min(size, x.size() - start);
    r.status = stream.push(std::span<const double>(x.data() + start, length));
    if (r.status != VH_OK) return r;
    take_ready();
    start += length;
  }
  r.status = stream.finish();
  take_ready();
  return r;
}

}  // namespace varnholt::test
