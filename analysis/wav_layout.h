// The chunk layout of RIFF/WAVE files: bytes that lie beyond the declared
// audio data and belong to no chunk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace varnholt::analysis {

// Reads up to n bytes at offset into out; returns the bytes read.
using ByteReader = std::function<std::size_t(std::uint64_t offset, char* out, std::size_t n)>;

// Walks the chunks of a RIFF/WAVE file of `size` bytes and returns how many
// bytes follow the end of the last whole chunk after the "data" chunk without
// forming a chunk themselves: audio that a header written too early (e.g.
// before a recording ended) leaves out. 0 for other files, for files without
// such bytes, and for files cut short inside a chunk.
std::uint64_t undeclared_wav_bytes(const ByteReader& read, std::uint64_t size);

}  // namespace varnholt::analysis
