#include "core/wide_vectors.h"

namespace varnholt {

bool wide_vectors_available() noexcept {
#if VARNHOLT_WIDE_VECTORS
  // The processor's features are read when the library loads; the answer is
  // formed once, thread-safely, and never changes.
  static const bool available = __builtin_cpu_supports("avx2") != 0;
  return available;
#else
  return false;
#endif
}

}  // namespace varnholt
