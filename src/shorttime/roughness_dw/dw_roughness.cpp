// The exported entry points of roughness after Daniel and Weber.
#include "core/boundary.h"
#include "shorttime/roughness_dw/dw_roughness_stream.h"
#include "shorttime/short_time_front.h"
#include "varnholt.h"

extern "C" VH_EXPORT vh_status vh_roughness_dw(const double* samples, size_t count,
                                               int32_t sample_rate, double* roughness,
                                               size_t roughness_len, size_t* frames) {
  return varnholt::guarded_call([&] {
    return varnholt::short_time_metric_front<varnholt::DwRoughnessStream>(
        samples, count, sample_rate, VH_SOUND_FIELD_FREE, roughness, roughness_len, frames);
  });
}

extern "C" VH_EXPORT vh_status vh_roughness_frame_count(size_t count, int32_t sample_rate,
                                                        size_t* frames) {
  return varnholt::guarded_call([&] {
    return varnholt::short_time_frame_count(count, sample_rate,
                                            varnholt::DwRoughnessStream::framing, frames);
  });
}
