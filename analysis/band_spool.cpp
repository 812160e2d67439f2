// The temporary file behind spooled per-band arrays.
#include "band_spool.h"

#include <stdexcept>
#include <sys/types.h>

namespace varnholt::analysis {

BandSpool::BandSpool() : file_(std::tmpfile()) {
  if (!file_) throw std::runtime_error("cannot create a temporary file for the per-band arrays");
}

void BandSpool::append(std::span<const double> values) {
  if (std::fwrite(values.data(), sizeof(double), values.size(), file_.get()) != values.size()) {
    throw std::runtime_error("cannot write the per-band arrays to a temporary file");
  }
  size_ += values.size();
}

void BandSpool::read(std::size_t first, std::span<double> out) const {
  if (first + out.size() > size_) throw std::out_of_range("read beyond the spooled values");
  std::FILE* f = file_.get();
  const auto offset = static_cast<off_t>(first * sizeof(double));
  if (std::fflush(f) != 0 || ::fseeko(f, offset, SEEK_SET) != 0 ||
      std::fread(out.data(), sizeof(double), out.size(), f) != out.size()) {
    throw std::runtime_error("cannot read the per-band arrays back from their temporary file");
  }
  // The next append goes to the end again.
  if (::fseeko(f, 0, SEEK_END) != 0) {
    throw std::runtime_error("cannot read the per-band arrays back from their temporary file");
  }
}

}  // namespace varnholt::analysis
