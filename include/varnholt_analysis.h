/* varnholt_analysis.h: sound files and sample buffers to psychoacoustic
 * results, channel by channel.
 *
 * The analysis layer sits between the pure metric functions of varnholt.h
 * and the programs that report them. It reads any file libsndfile reads,
 * block by block, or a caller's buffer of samples at any rate; resamples to
 * 48 kHz with libsoxr (32-bit precision, linear phase); calibrates to
 * pascal; takes the asked-for span and channels; checks for non-finite
 * samples, a DC offset and pressures beyond one atmosphere; feeds every
 * chosen metric's stream (on threads); and forms the single values with
 * their definitions. Memory does not grow with the length of a file: only
 * the series the single values need are kept, and the per-band arrays only
 * on request.
 *
 *   vha_settings* s;
 *   vha_settings_create(&s);
 *   vha_settings_set_metrics(s, "loudness-time,ecma-roughness");
 *   vha_settings_set_full_scale_spl(s, 100.0);
 *   vha_result* r;
 *   if (vha_analyse_file(s, "take1.wav", &r) == VH_OK) {
 *     vha_file_info file;        vha_result_file(r, &file);
 *     vha_channel_info channel;  vha_result_channel(r, 0, &channel);
 *     vha_metric_info metric;    vha_result_metric(r, 0, 0, &metric);
 *     vha_summary value;         vha_result_summary(r, 0, 0, 0, &value);
 *     vha_result_destroy(r);
 *   }
 *   vha_settings_destroy(s);
 *
 * Failures of the input are results, not statuses: a file that cannot be
 * read, a channel with a non-finite sample, a metric that refuses a too
 * short signal each leave their text in the result's error field (empty
 * when all went well), so that one bad file in a batch is a row with its
 * reason. Statuses report misuse (null pointers, bad arguments), allocation
 * failure and cancellation; every function returns VH_OK (0) on success and
 * writes its outputs only then. Nothing but a status leaves a function: no
 * exception, no abort.
 *
 * Missing values: a number the analysis cannot give is a NaN. The only such
 * values are tonal frequencies where no tonal component is present (the
 * ECMA-418-2 tonality's frequency in a band or frame whose specific tonality
 * is 0, or whose frequency estimate is 0 Hz).
 *
 * Settings and results may be used from several threads as long as no call
 * changes them at the same time; different settings and results are
 * independent. Strings and arrays a result hands out stay valid until the
 * result is destroyed. */
#ifndef VARNHOLT_ANALYSIS_H
#define VARNHOLT_ANALYSIS_H

#include <stddef.h>
#include <stdint.h>

#include "varnholt.h"

#if defined(_WIN32)
#  if defined(VARNHOLT_BUILDING_ANALYSIS)
#    define VHA_EXPORT __declspec(dllexport)
#  else
#    define VHA_EXPORT __declspec(dllimport)
#  endif
#else
#  define VHA_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The statuses of varnholt.h, and: */
#define VHA_ERR_CANCELLED 11 /* the progress callback asked to stop */

/* The text of a status, including VHA_ERR_CANCELLED; "unknown status"
 * for any other number. */
VHA_EXPORT const char* vha_status_string(vh_status status);

/* The layer's version, e.g. "0.2.2" (always that of varnholt.h's library). */
VHA_EXPORT const char* vha_version_string(void);

/* ---------------------------------------------------------------------------
 * Settings
 * ------------------------------------------------------------------------- */

typedef struct vha_settings vha_settings;

/* Told while a source is analysed: the share of it read so far (0 to 1).
 * Return 0 to go on, anything else to cancel the analysis, which then
 * returns VHA_ERR_CANCELLED. Called on the analysing thread. */
typedef int (*vha_progress_fn)(void* user, double share);

/* Told of every frame of a time-varying metric as soon as it is final:
 * the channel (counted from 1), the metric's name, the frame's time in
 * seconds and its single values (N(t) for "loudness-time"; R(t) for
 * "roughness" and "ecma-roughness"; K(t) for "tonality"; T(t), its tonal
 * frequency in Hz (NaN when nothing is tonal) and N(t) for
 * "ecma-tonality"). Frames of one channel and metric come in order from
 * one thread at a time; with jobs above 1 other channels and metrics may
 * call at the same time from other threads. */
typedef void (*vha_frame_fn)(void* user, int32_t channel, const char* metric, double time_s,
                             const double* values, size_t count);

/* New settings: every metric, free field, 1 Pa per sample unit, every
 * channel, the whole signal, DC kept, no per-band arrays, one job.
 * Checks: settings null -> VH_ERR_NULL_POINTER; VH_ERR_ALLOCATION. */
VHA_EXPORT vh_status vha_settings_create(vha_settings** settings);
VHA_EXPORT void vha_settings_destroy(vha_settings* settings);

/* The last failure of a setter on these settings, one line ("" when none). */
VHA_EXPORT const char* vha_settings_error(const vha_settings* settings);

/* The metrics, comma-separated, in any order, from "levels", "loudness",
 * "loudness-time", "sharpness", "roughness", "tonality", "ecma-tonality",
 * "ecma-roughness"; "all" for every one. Results list them in the order
 * given, each once.
 * An unknown or empty list -> VH_ERR_INVALID_ARGUMENT. */
VHA_EXPORT vh_status vha_settings_set_metrics(vha_settings* settings, const char* metrics);

/* VH_SOUND_FIELD_FREE or VH_SOUND_FIELD_DIFFUSE, else VH_ERR_INVALID_SOUND_FIELD. */
VHA_EXPORT vh_status vha_settings_set_sound_field(vha_settings* settings, vh_sound_field field);

/* Calibration, one of three (the last one set holds):
 *   scale: pascal per sample unit (integer PCM reads with full scale 1);
 *   full-scale SPL: the SPL in dB that a full-scale sine would read;
 *   calibrator: a recording of an acoustic calibrator of spl_db dB SPL on
 *     its channel (counted from 1), read now.
 * A factor that is not a positive finite number, or a calibrator recording
 * that cannot be read, lacks the channel or is silent ->
 * VH_ERR_INVALID_ARGUMENT, with the reason in vha_settings_error. */
VHA_EXPORT vh_status vha_settings_set_scale(vha_settings* settings, double pascal_per_unit);
VHA_EXPORT vh_status vha_settings_set_full_scale_spl(vha_settings* settings, double spl_db);
VHA_EXPORT vh_status vha_settings_set_calibrator(vha_settings* settings, const char* path,
                                                 double spl_db, int32_t channel);

/* The calibration in force: pascal per sample unit and its one-line
 * description (valid until the settings change or are destroyed). Checks:
 * any pointer null -> VH_ERR_NULL_POINTER. */
VHA_EXPORT vh_status vha_settings_calibration(const vha_settings* settings,
                                              double* pascal_per_unit,
                                              const char** description);

/* Only this channel (counted from 1); 0 for every channel. Negative ->
 * VH_ERR_INVALID_ARGUMENT. A channel the source lacks is the source's
 * error. */
VHA_EXPORT vh_status vha_settings_set_channel(vha_settings* settings, int32_t channel);

/* The analysed span: from start_s on, at most duration_s long (a negative
 * duration: to the end). A negative or non-finite start, or a non-finite
 * duration -> VH_ERR_INVALID_ARGUMENT. */
VHA_EXPORT vh_status vha_settings_set_span(vha_settings* settings, double start_s,
                                           double duration_s);

/* Non-zero: subtract each channel's mean pressure first (a file is read
 * twice). */
VHA_EXPORT vh_status vha_settings_set_remove_dc(vha_settings* settings, int32_t remove);

/* Non-zero: keep the per-band arrays over time (specific loudness per frame,
 * the ECMA-418-2 planes), whose memory grows with the signal. */
VHA_EXPORT vh_status vha_settings_set_keep_bands(vha_settings* settings, int32_t keep);

/* With the per-band arrays kept: at most max_rows rows per array, for
 * display, in memory that no longer grows with the signal. Each row holds
 * the largest value per band over a run of consecutive frames (NaN only
 * where every frame of the run has none); runs take 1, 2, 4, ... frames,
 * doubling whenever the rows would overflow, so that a signal of more
 * frames keeps between max_rows / 2 and max_rows rows (an odd max_rows
 * counts as one less). See vha_band_array's row_times_s and frames_per_row.
 * 0 (the default): one row per frame. 1 -> VH_ERR_INVALID_ARGUMENT. */
VHA_EXPORT vh_status vha_settings_set_band_rows(vha_settings* settings, size_t max_rows);

/* Threads for the metrics and channels of one source (each metric's stream
 * on a thread of its own; the ECMA-418-2 tonality also shares out its
 * bands). Results are bit-identical for every number. 0 ->
 * VH_ERR_INVALID_ARGUMENT. */
VHA_EXPORT vh_status vha_settings_set_jobs(vha_settings* settings, uint32_t jobs);

/* Callbacks (null to remove), with the pointer they are handed. */
VHA_EXPORT vh_status vha_settings_set_progress(vha_settings* settings, vha_progress_fn progress,
                                               void* user);
VHA_EXPORT vh_status vha_settings_set_frame_listener(vha_settings* settings,
                                                     vha_frame_fn listener, void* user);

/* ---------------------------------------------------------------------------
 * Analysis
 * ------------------------------------------------------------------------- */

typedef struct vha_result vha_result;

/* Analyses a sound file ("-": standard input, read whole first).
 * Checks, in order: settings, path or result null -> VH_ERR_NULL_POINTER
 * (else *result = NULL until success); VH_ERR_ALLOCATION;
 * VHA_ERR_CANCELLED. Everything else, an unreadable file included, is in
 * the result. */
VHA_EXPORT vh_status vha_analyse_file(const vha_settings* settings, const char* path,
                                      vha_result** result);

/* Analyses samples in the caller's buffer: `frames` frames of `channels`
 * interleaved samples (one channel: a plain array) at rate_hz, in sample
 * units (the calibration turns them into pascal). The buffer is read, never
 * copied whole, and only during the call.
 * Checks, in order: settings or result null -> VH_ERR_NULL_POINTER (else
 * *result = NULL until success); samples null with frames > 0 ->
 * VH_ERR_NULL_POINTER; channels 0 -> VH_ERR_INVALID_ARGUMENT; rate_hz not
 * positive -> VH_ERR_INVALID_SAMPLE_RATE; frames * channels overflowing ->
 * VH_ERR_SIZE_OVERFLOW; VH_ERR_ALLOCATION; VHA_ERR_CANCELLED. No frames, or
 * a non-finite sample, is the result's error. */
VHA_EXPORT vh_status vha_analyse_samples(const vha_settings* settings, const double* samples,
                                         size_t frames, size_t channels, int32_t rate_hz,
                                         vha_result** result);

VHA_EXPORT void vha_result_destroy(vha_result* result);

/* ---------------------------------------------------------------------------
 * Results. Every accessor checks, in order: result or out null ->
 * VH_ERR_NULL_POINTER; an index out of range -> VH_ERR_INVALID_ARGUMENT.
 * ------------------------------------------------------------------------- */

typedef struct {
  const char* path;        /* as given; "" for a buffer */
  const char* error;       /* "" when the source was analysed */
  const char* format;      /* e.g. "WAV (Microsoft), Signed 16 bit PCM" */
  const char* calibration; /* one line, e.g. "1 Pa per sample unit (--scale)" */
  double pascal_per_unit;
  int32_t file_rate_hz;
  int32_t resampled;         /* non-zero when file_rate_hz is not 48000 */
  uint64_t file_frames;      /* frames in the source, at its own rate */
  uint64_t analysed_samples; /* samples per channel at 48 kHz */
  int32_t channel_count;     /* channels in the source */
  double start_s;            /* the analysed span */
  double duration_s;
  size_t warning_count; /* see vha_result_file_warning */
  size_t channels;      /* analysed channels */
} vha_file_info;

typedef struct {
  int32_t channel;           /* counted from 1 */
  const char* error;         /* "" when the channel was analysed */
  vh_status status;          /* what the error stands for: VH_ERR_NON_FINITE_INPUT
                                (a sample, named in the error), VH_ERR_INVALID_ARGUMENT
                                (pressures beyond one atmosphere), VH_ERR_ALLOCATION,
                                VH_ERR_NUMERICAL; VH_OK without an error */
  uint64_t samples;          /* analysed samples at 48 kHz */
  double peak_pa;            /* largest |pressure| */
  double rms_pa;             /* root mean square pressure */
  double dc_offset_pa;       /* the mean pressure (before it was removed) */
  int32_t dc_removed;        /* non-zero when it was subtracted */
  size_t warning_count;      /* see vha_result_channel_warning */
  size_t metrics;            /* metric results, in the order of the metric list */
} vha_channel_info;

typedef struct {
  const char* name;   /* "loudness-time", ... */
  const char* method; /* e.g. "ISO 532-1 (Zwicker method), time-varying" */
  const char* error;  /* the library's status text when the metric failed, else "" */
  vh_status status;   /* the status of that failure; VH_OK when it succeeded */
  const char* frame_time_definition; /* "" for a metric without frames */
  const double* frame_times_s;       /* frames values */
  size_t frames;
  size_t summaries;
  size_t series;
  size_t band_arrays;
} vha_metric_info;

typedef struct {
  const char* symbol; /* e.g. "N5" */
  const char* key;    /* e.g. "n5" */
  double value;       /* NaN when there is none (see Missing values) */
  const char* unit;   /* "" for a dimensionless value */
  const char* definition;
} vha_summary;

typedef struct {
  const char* key; /* e.g. "loudness" */
  const char* unit;
  const char* definition;
  const double* values; /* one per frame of the metric */
  size_t count;
} vha_series;

typedef struct {
  const char* key;       /* e.g. "specific_loudness" */
  const char* unit;      /* e.g. "sone/Bark" */
  const char* axis_key;  /* e.g. "bark" */
  const char* axis_unit; /* e.g. "Bark" */
  const double* axis;    /* bands values */
  size_t bands;
  const double* values;  /* rows of bands values, frame-major */
  size_t rows;           /* one per frame (or per run, see vha_settings_set_band_rows);
                            1 for a stationary array */
  const double* row_times_s; /* rows values: the frame times, or each run's mean
                                frame time; NULL for a stationary array */
  size_t frames_per_row;     /* frames of each run but the last (which may have
                                fewer); 1 when every frame has its row */
} vha_band_array;

VHA_EXPORT vh_status vha_result_file(const vha_result* result, vha_file_info* out);
VHA_EXPORT vh_status vha_result_file_warning(const vha_result* result, size_t index,
                                             const char** out);
VHA_EXPORT vh_status vha_result_channel(const vha_result* result, size_t channel,
                                        vha_channel_info* out);
VHA_EXPORT vh_status vha_result_channel_warning(const vha_result* result, size_t channel,
                                                size_t index, const char** out);
VHA_EXPORT vh_status vha_result_metric(const vha_result* result, size_t channel, size_t metric,
                                       vha_metric_info* out);
VHA_EXPORT vh_status vha_result_summary(const vha_result* result, size_t channel,
                                        size_t metric, size_t index, vha_summary* out);
VHA_EXPORT vh_status vha_result_series(const vha_result* result, size_t channel, size_t metric,
                                       size_t index, vha_series* out);
VHA_EXPORT vh_status vha_result_band_array(const vha_result* result, size_t channel,
                                           size_t metric, size_t index, vha_band_array* out);

/* ---------------------------------------------------------------------------
 * The sound files a list of inputs names, found as the varnholt tool finds
 * them: files as given; folders replaced by the files in them whose
 * extension names a format libsndfile reads (wav, flac, ogg, oga, aiff, w64,
 * mp3, ..., in any letter case), sorted by path, also those in subfolders
 * with `recursive`.
 * ------------------------------------------------------------------------- */

typedef struct vha_file_list vha_file_list;

/* Checks: list null, or inputs null with count > 0 -> VH_ERR_NULL_POINTER
 * (else *list = NULL until success); an input null -> VH_ERR_NULL_POINTER;
 * VH_ERR_ALLOCATION. A folder that cannot be read or holds no sound file is
 * the list's error, and the list then holds no path. */
VHA_EXPORT vh_status vha_find_sound_files(const char* const* inputs, size_t count,
                                          int32_t recursive, vha_file_list** list);
VHA_EXPORT void vha_file_list_destroy(vha_file_list* list);
/* Paths in the list (0 for null). */
VHA_EXPORT size_t vha_file_list_size(const vha_file_list* list);
/* Path `index`; null for an index out of range. */
VHA_EXPORT const char* vha_file_list_path(const vha_file_list* list, size_t index);
/* Why no list could be made; "" when it could. */
VHA_EXPORT const char* vha_file_list_error(const vha_file_list* list);

/* ---------------------------------------------------------------------------
 * Resampling to 48 kHz chunk by chunk, exactly as files are resampled: the
 * output of all pushes and the finish, concatenated, is the same whatever
 * the chunk sizes, in memory that does not grow with the signal.
 * ------------------------------------------------------------------------- */

typedef struct vha_resampler vha_resampler;

/* Checks: resampler null -> VH_ERR_NULL_POINTER (else *resampler = NULL
 * until success); rate_hz not positive -> VH_ERR_INVALID_SAMPLE_RATE;
 * VH_ERR_ALLOCATION. At 48000 Hz the samples pass unchanged. */
VHA_EXPORT vh_status vha_resampler_create(int32_t rate_hz, vha_resampler** resampler);
VHA_EXPORT void vha_resampler_destroy(vha_resampler* resampler);

/* Converts count samples; the converted ones wait for vha_resampler_read.
 * Checks: resampler null, or samples null with count > 0 ->
 * VH_ERR_NULL_POINTER; finished -> VH_ERR_INVALID_ARGUMENT;
 * VH_ERR_ALLOCATION; a failure of the resampler -> VH_ERR_NUMERICAL. */
VHA_EXPORT vh_status vha_resampler_push(vha_resampler* resampler, const double* samples,
                                        size_t count);
/* Ends the input: the last samples become ready. Finished already ->
 * VH_ERR_INVALID_ARGUMENT. */
VHA_EXPORT vh_status vha_resampler_finish(vha_resampler* resampler);
/* Takes up to capacity ready samples, oldest first; *count says how many.
 * With out null and capacity 0 it only counts. */
VHA_EXPORT vh_status vha_resampler_read(vha_resampler* resampler, double* out, size_t capacity,
                                        size_t* count);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* VARNHOLT_ANALYSIS_H */
