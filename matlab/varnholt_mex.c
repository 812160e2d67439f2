/* varnholt_mex.c: the one MEX gateway of the MATLAB / GNU Octave toolbox,
 * over the analysis layer (varnholt_analysis.h). It uses only the C MEX API
 * that MATLAB and Octave share.
 *
 *   raw = varnholt_mex('analyze', x, fs, opts)     x: frames x channels, double
 *   raw = varnholt_mex('analyze_file', path, opts)
 *   s   = varnholt_mex('sharpness_din', specific)  rows of 240 sone/Bark -> acum
 *   v   = varnholt_mex('version')
 *   id  = varnholt_mex('status_id', status)        e.g. 'varnholt:inputTooShort'
 *
 * opts is a struct the +varnholt functions have checked already: metrics
 * (char), field (0 free, 1 diffuse), calibration ('scale', 'full_scale_spl'
 * or 'calibrator'), scale, spl, calibrator (char), calibrator_channel,
 * channel, start, duration, remove_dc, bands, jobs. The gateway still checks
 * each field's type and refuses what it cannot read.
 *
 * raw is the layer's result as it stands, one struct of the source with a
 * struct array of its channels, each with a cell of metric structs; the
 * +varnholt functions shape it into the toolbox's results.
 *
 * Ownership: a failing status leaves through mexErrMsgIdAndTxt, a longjmp
 * (MATLAB) or a C++ exception (Octave) that skips everything after it, and
 * so does an mxCreate* that runs out of memory. The settings and the result
 * of a call therefore live in two static slots: everything is destroyed
 * before an error is raised, and whatever an allocation failure of MATLAB's
 * own left behind is destroyed at the start of the next call and when the
 * MEX file is cleared. Sample buffers come from mxMalloc, which MATLAB and
 * Octave free themselves when the call ends in any way. */
#include <math.h>
#include <stdio.h>
#include <stdint.h>
#include <string.h>

#include "mex.h"
#include "varnholt.h"
#include "varnholt_analysis.h"

static vha_settings* live_settings = NULL;
static vha_result* live_result = NULL;

static void release_live(void) {
  vha_result_destroy(live_result);
  live_result = NULL;
  vha_settings_destroy(live_settings);
  live_settings = NULL;
}

/* The error identifier of a status: 'varnholt:' and the status's name in
 * lowerCamelCase. */
static const char* status_id(int32_t status) {
  switch (status) {
    case VH_ERR_NULL_POINTER: return "varnholt:nullPointer";
    case VH_ERR_INVALID_ARGUMENT: return "varnholt:invalidArgument";
    case VH_ERR_INVALID_SAMPLE_RATE: return "varnholt:invalidSampleRate";
    case VH_ERR_INVALID_SOUND_FIELD: return "varnholt:invalidSoundField";
    case VH_ERR_NON_FINITE_INPUT: return "varnholt:nonFiniteInput";
    case VH_ERR_INPUT_TOO_SHORT: return "varnholt:inputTooShort";
    case VH_ERR_OUTPUT_TOO_SMALL: return "varnholt:outputTooSmall";
    case VH_ERR_SIZE_OVERFLOW: return "varnholt:sizeOverflow";
    case VH_ERR_ALLOCATION: return "varnholt:allocation";
    case VH_ERR_NUMERICAL: return "varnholt:numerical";
    case VHA_ERR_CANCELLED: return "varnholt:cancelled";
    default: return "varnholt:unknownStatus";
  }
}

/* Destroys what the call holds, then raises; never returns. The message is
 * copied first: it may live in the settings being destroyed. */
static void fail(int32_t status, const char* message) {
  char text[1024];
  strncpy(text, message, sizeof text - 1);
  text[sizeof text - 1] = '\0';
  release_live();
  mexErrMsgIdAndTxt(status_id(status), "%s", text);
}

static void fail_argument(const char* message) { fail(VH_ERR_INVALID_ARGUMENT, message); }

/* A failing setter raises with the settings' own reason. */
static void check_setting(vh_status status, const char* what) {
  char text[1024];
  const char* reason;
  if (status == VH_OK) return;
  reason = vha_settings_error(live_settings);
  if (reason == NULL || reason[0] == '\0') reason = vha_status_string(status);
  snprintf(text, sizeof text, "%s: %s", what, reason);
  fail(status, text);
}

/* ---- reading the options struct ---- */

static const mxArray* option(const mxArray* opts, const char* name) {
  return mxGetField(opts, 0, name);
}

static int is_real_scalar(const mxArray* a) {
  return a != NULL && mxIsDouble(a) && !mxIsComplex(a) && mxGetNumberOfElements(a) == 1;
}

static double number_option(const mxArray* opts, const char* name, double fallback) {
  const mxArray* a = option(opts, name);
  char text[160];
  if (a == NULL || mxIsEmpty(a)) return fallback;
  if (!is_real_scalar(a) || isnan(mxGetScalar(a))) {
    snprintf(text, sizeof text, "option %s: expected one real number", name);
    fail_argument(text);
  }
  return mxGetScalar(a);
}

/* A whole number in [lo, hi]. */
static int64_t integer_option(const mxArray* opts, const char* name, int64_t fallback,
                              double lo, double hi) {
  double v = number_option(opts, name, (double)fallback);
  char text[160];
  if (!(v >= lo && v <= hi) || v != floor(v)) {
    snprintf(text, sizeof text, "option %s: expected a whole number from %.0f to %.0f", name, lo,
             hi);
    fail_argument(text);
  }
  return (int64_t)v;
}

/* The text of a char option in mxMalloc'ed memory; NULL when absent. */
static char* text_option(const mxArray* opts, const char* name) {
  const mxArray* a = option(opts, name);
  char text[160];
  if (a == NULL) return NULL;
  if (!mxIsChar(a) || (mxGetM(a) > 1)) {
    snprintf(text, sizeof text, "option %s: expected a character row vector", name);
    fail_argument(text);
  }
  return mxArrayToString(a);
}

/* Fresh settings in the static slot, set from opts. */
static void make_settings(const mxArray* opts) {
  char* text;
  vh_status status;
  if (opts == NULL || !mxIsStruct(opts) || mxGetNumberOfElements(opts) != 1)
    fail_argument("options: expected a 1x1 struct");
  status = vha_settings_create(&live_settings);
  if (status != VH_OK) fail(status, vha_status_string(status));

  text = text_option(opts, "metrics");
  if (text != NULL) check_setting(vha_settings_set_metrics(live_settings, text), "Metrics");
  check_setting(vha_settings_set_sound_field(
                    live_settings, (vh_sound_field)integer_option(opts, "field", 0, 0, 1)),
                "Field");

  text = text_option(opts, "calibration");
  if (text != NULL && strcmp(text, "scale") == 0) {
    check_setting(vha_settings_set_scale(live_settings, number_option(opts, "scale", 1.0)),
                  "Calibration");
  } else if (text != NULL && strcmp(text, "full_scale_spl") == 0) {
    check_setting(vha_settings_set_full_scale_spl(live_settings,
                                                  number_option(opts, "spl", NAN)),
                  "Calibration");
  } else if (text != NULL && strcmp(text, "calibrator") == 0) {
    char* path = text_option(opts, "calibrator");
    if (path == NULL) fail_argument("Calibration: the calibrator recording is missing");
    check_setting(vha_settings_set_calibrator(
                      live_settings, path, number_option(opts, "spl", NAN),
                      (int32_t)integer_option(opts, "calibrator_channel", 1, 1, INT32_MAX)),
                  "Calibration");
  } else if (text != NULL) {
    fail_argument("Calibration: expected scale, full_scale_spl or calibrator");
  }

  check_setting(vha_settings_set_channel(
                    live_settings, (int32_t)integer_option(opts, "channel", 0, 0, INT32_MAX)),
                "Channel");
  check_setting(vha_settings_set_span(live_settings, number_option(opts, "start", 0.0),
                                      number_option(opts, "duration", -1.0)),
                "Start/Duration");
  check_setting(vha_settings_set_remove_dc(live_settings,
                                           (int32_t)integer_option(opts, "remove_dc", 0, 0, 1)),
                "RemoveDC");
  check_setting(vha_settings_set_keep_bands(live_settings,
                                            (int32_t)integer_option(opts, "bands", 0, 0, 1)),
                "Bands");
  check_setting(vha_settings_set_jobs(live_settings,
                                      (uint32_t)integer_option(opts, "jobs", 1, 1, 1024)),
                "Jobs");
}

/* ---- converting the result ---- */

static mxArray* text_array(const char* s) { return mxCreateString(s != NULL ? s : ""); }

static mxArray* scalar(double v) { return mxCreateDoubleScalar(v); }

/* A column of n doubles. */
static mxArray* column(const double* values, size_t n) {
  mxArray* a = mxCreateDoubleMatrix(n, 1, mxREAL);
  if (n > 0) memcpy(mxGetPr(a), values, n * sizeof(double));
  return a;
}

/* Frame-major rows x bands values as a MATLAB rows x bands matrix. */
static mxArray* frames_by_bands(const double* values, size_t rows, size_t bands) {
  mxArray* a = mxCreateDoubleMatrix(rows, bands, mxREAL);
  double* out = mxGetPr(a);
  size_t r, b;
  for (b = 0; b < bands; ++b)
    for (r = 0; r < rows; ++r) out[b * rows + r] = values[r * bands + b];
  return a;
}

static mxArray* file_warnings(void) {
  vha_file_info f;
  mxArray* c;
  size_t i;
  vha_result_file(live_result, &f);
  c = mxCreateCellMatrix(f.warning_count, 1);
  for (i = 0; i < f.warning_count; ++i) {
    const char* w = "";
    vha_result_file_warning(live_result, i, &w);
    mxSetCell(c, i, text_array(w));
  }
  return c;
}

static mxArray* metric_struct(size_t channel, size_t metric) {
  static const char* fields[] = {"name",   "method", "error",  "status", "status_id",
                                 "frame_time_definition", "time", "summaries", "series",
                                 "bands"};
  static const char* summary_fields[] = {"symbol", "key", "value", "unit", "definition"};
  static const char* series_fields[] = {"key", "unit", "definition", "values"};
  static const char* band_fields[] = {"key",  "unit",   "axis_key",
                                      "axis_unit", "axis", "values"};
  vha_metric_info m;
  mxArray *s, *list;
  size_t i;
  vha_result_metric(live_result, channel, metric, &m);
  s = mxCreateStructMatrix(1, 1, 10, fields);
  mxSetField(s, 0, "name", text_array(m.name));
  mxSetField(s, 0, "method", text_array(m.method));
  mxSetField(s, 0, "error", text_array(m.error));
  mxSetField(s, 0, "status", scalar(m.status));
  mxSetField(s, 0, "status_id", text_array(m.status == VH_OK ? "" : status_id(m.status)));
  mxSetField(s, 0, "frame_time_definition", text_array(m.frame_time_definition));
  mxSetField(s, 0, "time", column(m.frame_times_s, m.frames));

  list = mxCreateStructMatrix(m.summaries, 1, 5, summary_fields);
  for (i = 0; i < m.summaries; ++i) {
    vha_summary v;
    vha_result_summary(live_result, channel, metric, i, &v);
    mxSetField(list, i, "symbol", text_array(v.symbol));
    mxSetField(list, i, "key", text_array(v.key));
    mxSetField(list, i, "value", scalar(v.value));
    mxSetField(list, i, "unit", text_array(v.unit));
    mxSetField(list, i, "definition", text_array(v.definition));
  }
  mxSetField(s, 0, "summaries", list);

  list = mxCreateStructMatrix(m.series, 1, 4, series_fields);
  for (i = 0; i < m.series; ++i) {
    vha_series v;
    vha_result_series(live_result, channel, metric, i, &v);
    mxSetField(list, i, "key", text_array(v.key));
    mxSetField(list, i, "unit", text_array(v.unit));
    mxSetField(list, i, "definition", text_array(v.definition));
    mxSetField(list, i, "values", column(v.values, v.count));
  }
  mxSetField(s, 0, "series", list);

  list = mxCreateStructMatrix(m.band_arrays, 1, 6, band_fields);
  for (i = 0; i < m.band_arrays; ++i) {
    vha_band_array v;
    vha_result_band_array(live_result, channel, metric, i, &v);
    mxSetField(list, i, "key", text_array(v.key));
    mxSetField(list, i, "unit", text_array(v.unit));
    mxSetField(list, i, "axis_key", text_array(v.axis_key));
    mxSetField(list, i, "axis_unit", text_array(v.axis_unit));
    mxSetField(list, i, "axis", column(v.axis, v.bands));
    mxSetField(list, i, "values", frames_by_bands(v.values, v.rows, v.bands));
  }
  mxSetField(s, 0, "bands", list);
  return s;
}

static mxArray* channels_struct(size_t count) {
  static const char* fields[] = {"channel", "error",   "status",       "status_id",
                                 "samples", "peak_pa", "rms_pa",       "dc_offset_pa",
                                 "dc_removed", "warnings", "metrics"};
  mxArray* s = mxCreateStructMatrix(count, 1, 11, fields);
  size_t c, i;
  for (c = 0; c < count; ++c) {
    vha_channel_info ch;
    mxArray *warnings, *metrics;
    vha_result_channel(live_result, c, &ch);
    mxSetField(s, c, "channel", scalar(ch.channel));
    mxSetField(s, c, "error", text_array(ch.error));
    mxSetField(s, c, "status", scalar(ch.status));
    mxSetField(s, c, "status_id", text_array(ch.status == VH_OK ? "" : status_id(ch.status)));
    mxSetField(s, c, "samples", scalar((double)ch.samples));
    mxSetField(s, c, "peak_pa", scalar(ch.peak_pa));
    mxSetField(s, c, "rms_pa", scalar(ch.rms_pa));
    mxSetField(s, c, "dc_offset_pa", scalar(ch.dc_offset_pa));
    mxSetField(s, c, "dc_removed", scalar(ch.dc_removed != 0));
    warnings = mxCreateCellMatrix(ch.warning_count, 1);
    for (i = 0; i < ch.warning_count; ++i) {
      const char* w = "";
      vha_result_channel_warning(live_result, c, i, &w);
      mxSetCell(warnings, i, text_array(w));
    }
    mxSetField(s, c, "warnings", warnings);
    metrics = mxCreateCellMatrix(ch.metrics, 1);
    for (i = 0; i < ch.metrics; ++i) mxSetCell(metrics, i, metric_struct(c, i));
    mxSetField(s, c, "metrics", metrics);
  }
  return s;
}

static mxArray* result_struct(void) {
  static const char* fields[] = {"path",          "error",        "format",
                                 "calibration",   "pascal_per_unit", "file_rate_hz",
                                 "resampled",     "file_frames",  "analysed_samples",
                                 "channel_count", "start_s",      "duration_s",
                                 "warnings",      "channels"};
  vha_file_info f;
  mxArray* s = mxCreateStructMatrix(1, 1, 14, fields);
  vha_result_file(live_result, &f);
  mxSetField(s, 0, "path", text_array(f.path));
  mxSetField(s, 0, "error", text_array(f.error));
  mxSetField(s, 0, "format", text_array(f.format));
  mxSetField(s, 0, "calibration", text_array(f.calibration));
  mxSetField(s, 0, "pascal_per_unit", scalar(f.pascal_per_unit));
  mxSetField(s, 0, "file_rate_hz", scalar(f.file_rate_hz));
  mxSetField(s, 0, "resampled", scalar(f.resampled != 0));
  mxSetField(s, 0, "file_frames", scalar((double)f.file_frames));
  mxSetField(s, 0, "analysed_samples", scalar((double)f.analysed_samples));
  mxSetField(s, 0, "channel_count", scalar(f.channel_count));
  mxSetField(s, 0, "start_s", scalar(f.start_s));
  mxSetField(s, 0, "duration_s", scalar(f.duration_s));
  mxSetField(s, 0, "warnings", file_warnings());
  mxSetField(s, 0, "channels", channels_struct(f.channels));
  return s;
}

/* ---- commands ---- */

/* x: frames x channels real double. One channel is handed over in place;
 * several are interleaved into an mxMalloc'ed buffer, as the layer reads
 * frames of consecutive samples. */
static mxArray* analyze(const mxArray* x, const mxArray* fs, const mxArray* opts) {
  size_t frames, channels, f, c;
  const double* in;
  double* samples;
  double rate;
  vh_status status;
  if (!mxIsDouble(x) || mxIsComplex(x) || mxIsSparse(x) || mxGetNumberOfDimensions(x) != 2)
    fail_argument("x: expected a real double matrix, one channel per column");
  if (!is_real_scalar(fs)) fail_argument("Fs: expected one real number");
  rate = mxGetScalar(fs);
  if (!(rate >= 1.0 && rate <= (double)INT32_MAX) || rate != floor(rate))
    fail(VH_ERR_INVALID_SAMPLE_RATE, "Fs: expected a positive whole number of hertz");
  frames = mxGetM(x);
  channels = mxGetN(x);
  if (channels == 0) frames = 0; /* an n x 0 array holds no sample at all */
  in = mxGetPr(x);
  make_settings(opts);
  if (channels <= 1) {
    samples = (double*)in;
  } else {
    samples = (double*)mxMalloc(frames * channels * sizeof(double));
    for (c = 0; c < channels; ++c)
      for (f = 0; f < frames; ++f) samples[f * channels + c] = in[c * frames + f];
  }
  status = vha_analyse_samples(live_settings, frames > 0 ? samples : NULL, frames,
                               channels > 0 ? channels : 1, (int32_t)rate, &live_result);
  if (status != VH_OK) fail(status, vha_status_string(status));
  return result_struct();
}

static mxArray* analyze_file(const mxArray* path, const mxArray* opts) {
  char* p;
  vh_status status;
  if (!mxIsChar(path) || mxGetM(path) > 1 || mxIsEmpty(path))
    fail_argument("path: expected a file name (a character row vector)");
  p = mxArrayToString(path);
  make_settings(opts);
  status = vha_analyse_file(live_settings, p, &live_result);
  if (status != VH_OK) fail(status, vha_status_string(status));
  return result_struct();
}

/* Sharpness of each row of a rows x 240 specific-loudness matrix. */
static mxArray* sharpness_din(const mxArray* specific) {
  size_t rows, r, b;
  const double* in;
  double row[VH_BARK_COUNT];
  mxArray* out;
  if (!mxIsDouble(specific) || mxIsComplex(specific) || mxGetN(specific) != VH_BARK_COUNT)
    fail_argument("specific: expected a real double matrix of 240 columns");
  rows = mxGetM(specific);
  in = mxGetPr(specific);
  out = mxCreateDoubleMatrix(rows, 1, mxREAL);
  for (r = 0; r < rows; ++r) {
    double s = 0.0;
    vh_status status;
    for (b = 0; b < VH_BARK_COUNT; ++b) row[b] = in[b * rows + r];
    status = vh_sharpness_din(row, VH_BARK_COUNT, &s);
    if (status != VH_OK) fail(status, vh_status_string(status));
    mxGetPr(out)[r] = s;
  }
  return out;
}

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  char command[32];
  (void)nlhs;
  release_live();
  mexAtExit(release_live);
  if (nrhs < 1 || !mxIsChar(prhs[0]) || mxGetString(prhs[0], command, sizeof command) != 0)
    fail_argument("varnholt_mex: the first argument is a command name");

  if (strcmp(command, "analyze") == 0 && nrhs == 4) {
    plhs[0] = analyze(prhs[1], prhs[2], prhs[3]);
  } else if (strcmp(command, "analyze_file") == 0 && nrhs == 3) {
    plhs[0] = analyze_file(prhs[1], prhs[2]);
  } else if (strcmp(command, "sharpness_din") == 0 && nrhs == 2) {
    plhs[0] = sharpness_din(prhs[1]);
  } else if (strcmp(command, "version") == 0 && nrhs == 1) {
    plhs[0] = mxCreateString(vha_version_string());
  } else if (strcmp(command, "status_id") == 0 && nrhs == 2 && is_real_scalar(prhs[1])) {
    double status = mxGetScalar(prhs[1]);
    plhs[0] = mxCreateString(status_id(status >= 0 && status <= 100 ? (int32_t)status : -1));
  } else {
    fail_argument("varnholt_mex: unknown command or wrong number of arguments");
  }
  release_live();
}
