// Per-band arrays over time kept in an unnamed temporary file instead of
// memory: the specific loudness of an hour of sound is 3.5 GB of doubles,
// which an output that only writes it out need not hold.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <span>
#include <vector>

namespace varnholt::analysis {

// Doubles appended in order and read back by index. The file goes when the
// last owner does. Appending and reading throw std::runtime_error when the
// file cannot be written or read (a full disk, say).
class BandSpool {
 public:
  BandSpool();
  void append(std::span<const double> values);
  std::size_t size() const { return size_; }
  // Values first ... first + out.size() - 1.
  void read(std::size_t first, std::span<double> out) const;

 private:
  struct Close {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Close> file_;
  std::size_t size_ = 0;
};

}  // namespace varnholt::analysis
