// The C boundary: no exception ever leaves an export.
#pragma once

#include <new>

#include "varnholt.h"

namespace varnholt {

// Runs the body of an export. Allocation failure anywhere below (std::vector,
// std::make_unique, ...) becomes VH_ERR_ALLOCATION; any other exception, which
// the library does not throw on purpose, is reported as a failed computation.
template <typename Body>
vh_status guarded_call(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return VH_ERR_ALLOCATION;
  } catch (...) {
    return VH_ERR_NUMERICAL;
  }
}

}  // namespace varnholt
