// The two exports of the tonality after Aures, both through the short-time front.
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "core/boundary.h"
#include "shorttime/short_time_front.h"
#include "shorttime/tonality_aures/aures_tonality_stream.h"
#include "varnholt.h"

static_assert(std::is_same_v<std::size_t, std::uint64_t>,
              "the exports pass size_t counts straight to the 64-bit front");

extern "C" VH_EXPORT vh_status vh_tonality_aures(const double* samples, size_t count,
                                                 int32_t sample_rate, vh_sound_field sound_field,
                                                 double* tonality, size_t tonality_len,
                                                 size_t* frames) {
  return varnholt::guarded_call([&]() -> vh_status {
    return varnholt::short_time_metric_front<varnholt::AuresTonalityStream>(
        samples, count, sample_rate, sound_field, tonality, tonality_len, frames);
  });
}

extern "C" VH_EXPORT vh_status vh_tonality_frame_count(size_t count, int32_t sample_rate,
                                                       size_t* frames) {
  return varnholt::guarded_call([&]() -> vh_status {
    return varnholt::short_time_frame_count(count, sample_rate,
                                            varnholt::AuresTonalityStream::framing, frames);
  });
}
