// --follow: every final frame as one line on standard output, at once.
#pragma once

#include "analysis/metric_streams.h"
#include "analysis/number_format.h"

namespace varnholt::cli {

using namespace varnholt::analysis;

// Lines "TIME METRIC VALUE..." (time in seconds, then the frame's single
// values), with "chN" after the time when several channels are analysed;
// stdout is flushed after every line so that a pipe sees it at once.
FrameListener follow_printer(NumberFormat format, bool name_channels);

}  // namespace varnholt::cli
