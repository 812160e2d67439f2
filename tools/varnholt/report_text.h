// The compact human-readable summary: one block per file, one line per
// metric with its single values and units.
#pragma once

#include <iosfwd>

#include "analysis/number_format.h"
#include "analysis/results.h"
#include "run_info.h"

namespace varnholt::cli {

using namespace varnholt::analysis;

// With `band_levels`, the third-octave band levels of the levels metric
// follow its line, one band per line.
void write_text_summary(std::ostream& out, const FileResult& file, const RunInfo& run,
                        const NumberFormat& format, bool band_levels = false);

}  // namespace varnholt::cli
