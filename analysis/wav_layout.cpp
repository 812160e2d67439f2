// RIFF chunk walking: a chunk is a four-character code, a little-endian
// 32-bit length and that many bytes, padded to an even length.
#include "wav_layout.h"

#include <array>
#include <cstring>

namespace varnholt::analysis {
namespace {

constexpr std::uint64_t RIFF_HEADER_BYTES = 12;  // "RIFF", length, "WAVE"
constexpr std::uint64_t CHUNK_HEADER_BYTES = 8;  // code, length

std::uint32_t little_endian_u32(const char* p) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(p[i]);
  return v;
}

// Chunk codes are printable ASCII ("fmt ", "data", "LIST", ...); audio
// samples seldom are, four bytes in a row.
bool is_chunk_code(const char* p) {
  for (int i = 0; i < 4; ++i) {
    if (p[i] < 0x20 || p[i] > 0x7e) return false;
  }
  return true;
}

}  // namespace

std::uint64_t undeclared_wav_bytes(const ByteReader& read, std::uint64_t size) {
  std::array<char, RIFF_HEADER_BYTES> riff{};
  if (size < RIFF_HEADER_BYTES || read(0, riff.data(), riff.size()) != riff.size()) return 0;
  if (std::memcmp(riff.data(), "RIFF", 4) != 0 || std::memcmp(riff.data() + 8, "WAVE", 4) != 0) {
    return 0;
  }
  bool after_data = false;
  std::uint64_t position = RIFF_HEADER_BYTES;
  while (position < size) {
    std::array<char, CHUNK_HEADER_BYTES> header{};
    if (size - position < CHUNK_HEADER_BYTES ||
        read(position, header.data(), header.size()) != header.size() ||
        !is_chunk_code(header.data())) {
      return after_data ? size - position : 0;
    }
    const std::uint64_t length = little_endian_u32(header.data() + 4);
    const std::uint64_t end = position + CHUNK_HEADER_BYTES + length + (length & 1U);
    if (end > size) return 0;  // cut short inside a chunk: not our question
    if (std::memcmp(header.data(), "data", 4) == 0) after_data = true;
    position = end;
  }
  return 0;
}

}  // namespace varnholt::analysis
