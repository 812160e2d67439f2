// The compact human-readable summary: one block per file, one line per
// metric with its single values and units.
#pragma once

#include <iosfwd>

#include "number_format.h"
#include "results.h"
#include "run_info.h"

namespace varnholt::cli {

// With `band_levels`, the third-octave band levels of the levels metric
// follow its line, one band per line.
void write_text_summary(std::ostream& out, const FileResult& file, const RunInfo& run,
                        const NumberFormat& format, bool band_levels = false);

}  // namespace varnholt::cli
