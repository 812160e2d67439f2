// The information exports: interface number, version, status texts, axes.
#include "core/axes.h"
#include "core/version.h"
#include "varnholt.h"

extern "C" {

VH_EXPORT int32_t vh_abi_version(void) { return VARNHOLT_ABI_VERSION; }

VH_EXPORT const char* vh_version_string(void) { return VARNHOLT_VERSION_STRING; }

VH_EXPORT const char* vh_status_string(int32_t status) {
  switch (status) {
    case VH_OK: return "success";
    case VH_ERR_NULL_POINTER: return "null pointer";
    case VH_ERR_INVALID_ARGUMENT: return "invalid argument";
    case VH_ERR_INVALID_SAMPLE_RATE: return "invalid sample rate";
    case VH_ERR_INVALID_SOUND_FIELD: return "invalid sound field";
    case VH_ERR_NON_FINITE_INPUT: return "input contains NaN or infinity";
    case VH_ERR_INPUT_TOO_SHORT: return "input is too short";
    case VH_ERR_OUTPUT_TOO_SMALL: return "output buffer is too small";
    case VH_ERR_SIZE_OVERFLOW: return "size calculation overflow";
    case VH_ERR_ALLOCATION: return "memory allocation failed";
    case VH_ERR_NUMERICAL: return "numerical calculation failed";
    default: return "unknown status";
  }
}

VH_EXPORT const double* vh_bark_axis(void) { return varnholt::BARK_AXIS.data(); }

VH_EXPORT const double* vh_third_octave_centres_hz(void) {
  return varnholt::THIRD_OCTAVE_CENTRES_HZ.data();
}

}  // extern "C"
