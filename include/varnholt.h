/*
 * Varnholt: psychoacoustic metrics of one channel of sampled sound.
 *
 * Conventions shared by every function:
 *   - Signals are arrays of double sound pressures in pascal, sampled at
 *     exactly VH_SAMPLE_RATE (48000 Hz); any other rate is refused.
 *   - Sizes are element counts of type size_t (an unsigned 64-bit count on
 *     every supported platform); integers are int32_t.
 *   - Every computing function returns a vh_status and checks its arguments
 *     in the order given in its comment; the first failing check returns.
 *   - Results are written only when the call returns VH_OK. The frame-count
 *     out-parameters are the documented exceptions.
 *   - Optional output arrays come as a pointer and a length: a null pointer
 *     needs length 0, a non-null pointer at least the required length;
 *     anything else gives VH_ERR_OUTPUT_TOO_SMALL.
 *   - No global state: every function may be called from many threads at
 *     once, as long as the threads do not share output buffers.
 *
 * This header compiles as C99 and as C++.
 */
#ifndef VARNHOLT_H
#define VARNHOLT_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  if defined(VARNHOLT_BUILDING_LIBRARY)
#    define VH_EXPORT __declspec(dllexport)
#  else
#    define VH_EXPORT __declspec(dllimport)
#  endif
#else
#  define VH_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The only accepted sample rate, in Hz. */
#define VH_SAMPLE_RATE 48000

/* Array sizes and framing of the results, in values and samples at 48 kHz. */
#define VH_BARK_COUNT 240           /* specific-loudness values per pattern */
#define VH_THIRD_OCTAVE_COUNT 28    /* third-octave bands, 25 Hz ... 12.5 kHz */
#define VH_LOUDNESS_TIME_HOP 96     /* time-varying loudness: one frame per 2 ms */
#define VH_ROUGHNESS_DW_FRAME 9600  /* roughness after Daniel and Weber: 200 ms frames */
#define VH_ROUGHNESS_DW_HOP 4800    /* ... 100 ms apart */
#define VH_TONALITY_AURES_FRAME 12000 /* tonality after Aures: 250 ms frames */
#define VH_TONALITY_AURES_HOP 6000    /* ... 125 ms apart */
#define VH_ECMA_BAND_COUNT 53       /* hearing-model bands, band b at 0.5 (b + 1) Bark */
#define VH_ECMA_TONAL_PLANES 5      /* result planes of the ECMA-418-2 tonality */
#define VH_ECMA_TONAL_HOP 256       /* ECMA-418-2 tonality: one frame per 256 samples */
#define VH_ECMA_TONAL_MIN_COUNT 14592     /* shortest signal it analyses */
#define VH_ECMA_ROUGHNESS_HOP 960         /* ECMA-418-2 roughness: 50 frames per second */
#define VH_ECMA_ROUGHNESS_MIN_COUNT 15360 /* shortest signal it analyses */

/* Result of every computing function. */
typedef int32_t vh_status;
#define VH_OK 0
#define VH_ERR_NULL_POINTER 1
#define VH_ERR_INVALID_ARGUMENT 2
#define VH_ERR_INVALID_SAMPLE_RATE 3
#define VH_ERR_INVALID_SOUND_FIELD 4
#define VH_ERR_NON_FINITE_INPUT 5
#define VH_ERR_INPUT_TOO_SHORT 6
#define VH_ERR_OUTPUT_TOO_SMALL 7
#define VH_ERR_SIZE_OVERFLOW 8
#define VH_ERR_ALLOCATION 9
#define VH_ERR_NUMERICAL 10

/* Sound field of the listener: frontal free field or diffuse field. */
typedef int32_t vh_sound_field;
#define VH_SOUND_FIELD_FREE 0
#define VH_SOUND_FIELD_DIFFUSE 1

/* ---------------------------------------------------------------------------
 * Library information
 * ------------------------------------------------------------------------- */

/* The interface number (1). It changes only when the interface changes. */
VH_EXPORT int32_t vh_abi_version(void);

/* The library version, "0.2.2". Static storage; never free it. */
VH_EXPORT const char* vh_version_string(void);

/* The message text of a status code, e.g. "null pointer"; "unknown status"
 * for any value outside 0..10. Static storage; never free it. */
VH_EXPORT const char* vh_status_string(int32_t status);

/* The critical-band-rate axis of every 240-value specific-loudness array:
 * entry i is 0.1 * (i + 1) Bark (0.1 ... 24.0). Static storage. */
VH_EXPORT const double* vh_bark_axis(void);

/* The 28 third-octave centre frequencies in Hz (25 ... 12500) that order
 * every 28-value band-level array. Static storage. */
VH_EXPORT const double* vh_third_octave_centres_hz(void);

/* ---------------------------------------------------------------------------
 * Loudness after ISO 532-1 (Zwicker method)
 * ------------------------------------------------------------------------- */

/* Stationary loudness from 28 third-octave band levels.
 *   levels:   28 levels in dB re (20 uPa)^2, ordered as
 *             vh_third_octave_centres_hz().
 *   loudness: out, total loudness in sone.
 *   specific: optional out, 240 values in sone/Bark on vh_bark_axis().
 * Checks, in order: levels or loudness null -> VH_ERR_NULL_POINTER;
 * level_count != 28 -> VH_ERR_INVALID_ARGUMENT; sound_field not 0 or 1 ->
 * VH_ERR_INVALID_SOUND_FIELD; specific/specific_len mismatch (non-null with
 * fewer than 240, or null with a non-zero length) -> VH_ERR_OUTPUT_TOO_SMALL;
 * then band by band: a non-finite level -> VH_ERR_NON_FINITE_INPUT, a level
 * above 120 dB in one of the eleven bands 25...250 Hz ->
 * VH_ERR_INVALID_ARGUMENT; a non-finite result -> VH_ERR_NUMERICAL. */
VH_EXPORT vh_status vh_loudness_from_levels(const double* levels, size_t level_count,
                                            vh_sound_field sound_field, double* loudness,
                                            double* specific, size_t specific_len);

/* Stationary loudness of a whole signal (pascal, 48 kHz, at least 256
 * samples), measured with the third-octave filter bank.
 *   loudness: out, total loudness in sone.
 *   specific: optional out, 240 values in sone/Bark on vh_bark_axis().
 * Checks, in order: loudness null -> VH_ERR_NULL_POINTER; sound_field ->
 * VH_ERR_INVALID_SOUND_FIELD; specific/specific_len mismatch ->
 * VH_ERR_OUTPUT_TOO_SMALL; samples null -> VH_ERR_NULL_POINTER; count 0 ->
 * VH_ERR_INPUT_TOO_SHORT; rate -> VH_ERR_INVALID_SAMPLE_RATE; count above
 * 2^60 - 1 -> VH_ERR_SIZE_OVERFLOW; a NaN or infinite sample ->
 * VH_ERR_NON_FINITE_INPUT; count < 256 -> VH_ERR_INPUT_TOO_SHORT; band
 * powers that overflow (samples far beyond any physical level) ->
 * VH_ERR_NUMERICAL; then the checks of vh_loudness_from_levels on the
 * measured levels (a level above 120 dB in the bands up to 250 Hz ->
 * VH_ERR_INVALID_ARGUMENT). */
VH_EXPORT vh_status vh_loudness_stationary(const double* samples, size_t count,
                                           int32_t sample_rate, vh_sound_field sound_field,
                                           double* loudness, double* specific,
                                           size_t specific_len);

/* Number of frames F = (count - 1) / 96 + 1 that vh_loudness_time produces
 * (one frame every 2 ms). Checks, in order: frames null ->
 * VH_ERR_NULL_POINTER; rate -> VH_ERR_INVALID_SAMPLE_RATE; count above
 * 2^60 - 1 -> VH_ERR_SIZE_OVERFLOW; count 0 -> VH_ERR_INPUT_TOO_SHORT. */
VH_EXPORT vh_status vh_loudness_time_frame_count(size_t count, int32_t sample_rate,
                                                 size_t* frames);

/* Time-varying loudness: one frame every 96 samples (2 ms), frame f at
 * sample 96 * f.
 *   loudness: out, F values in sone (loudness_len >= F).
 *   specific: out, F * 240 values in sone/Bark, frame-major: frame f at
 *             specific[240 * f ... 240 * f + 239] (specific_len >= 240 * F).
 *   frames:   out, F on success; set to 0 as soon as it is known to be
 *             non-null, and to F when VH_ERR_OUTPUT_TOO_SMALL is returned.
 * Checks, in order: frames null -> VH_ERR_NULL_POINTER; rate ->
 * VH_ERR_INVALID_SAMPLE_RATE; count above 2^60 - 1 -> VH_ERR_SIZE_OVERFLOW;
 * count 0 -> VH_ERR_INPUT_TOO_SHORT; sound_field ->
 * VH_ERR_INVALID_SOUND_FIELD; loudness or specific null ->
 * VH_ERR_NULL_POINTER; size overflow -> VH_ERR_SIZE_OVERFLOW; outputs too
 * short -> VH_ERR_OUTPUT_TOO_SMALL; samples null -> VH_ERR_NULL_POINTER; a
 * non-finite sample -> VH_ERR_NON_FINITE_INPUT; VH_ERR_ALLOCATION;
 * VH_ERR_NUMERICAL. */
VH_EXPORT vh_status vh_loudness_time(const double* samples, size_t count, int32_t sample_rate,
                                     vh_sound_field sound_field, double* loudness,
                                     size_t loudness_len, double* specific, size_t specific_len,
                                     size_t* frames);

/* ---------------------------------------------------------------------------
 * Sharpness after DIN 45692
 * ------------------------------------------------------------------------- */

/* Sharpness in acum of a 240-value specific-loudness pattern (sone/Bark on
 * vh_bark_axis(), as written by the loudness functions). All zeros give 0.
 * Checks, in order: specific or sharpness null -> VH_ERR_NULL_POINTER;
 * specific_len != 240 -> VH_ERR_INVALID_ARGUMENT; then entry by entry: not
 * finite -> VH_ERR_NON_FINITE_INPUT, negative -> VH_ERR_INVALID_ARGUMENT;
 * a non-finite or negative result -> VH_ERR_NUMERICAL. */
VH_EXPORT vh_status vh_sharpness_din(const double* specific, size_t specific_len,
                                     double* sharpness);

/* ---------------------------------------------------------------------------
 * Roughness after Daniel and Weber, tonality after Aures
 * ------------------------------------------------------------------------- */

/* Roughness in asper, one value per 200 ms frame (9600 samples), frames
 * 100 ms (4800 samples) apart: (count - 9600) / 4800 + 1 values.
 *   roughness:    out, capacity roughness_len values.
 *   frames:       out, written only on VH_OK and on VH_ERR_OUTPUT_TOO_SMALL
 *                 (then it holds the required count).
 * Checks, in order: samples, roughness or frames null -> VH_ERR_NULL_POINTER;
 * rate -> VH_ERR_INVALID_SAMPLE_RATE; count above 2147483647 ->
 * VH_ERR_SIZE_OVERFLOW; count < 9600 -> VH_ERR_INPUT_TOO_SHORT;
 * roughness_len below the frame count -> VH_ERR_OUTPUT_TOO_SMALL; a
 * non-finite sample -> VH_ERR_NON_FINITE_INPUT; VH_ERR_SIZE_OVERFLOW;
 * VH_ERR_ALLOCATION; VH_ERR_NUMERICAL. */
VH_EXPORT vh_status vh_roughness_dw(const double* samples, size_t count, int32_t sample_rate,
                                    double* roughness, size_t roughness_len, size_t* frames);

/* Number of values vh_roughness_dw produces for count samples. Checks, in
 * order: frames null -> VH_ERR_NULL_POINTER; rate ->
 * VH_ERR_INVALID_SAMPLE_RATE; count above 2147483647 ->
 * VH_ERR_SIZE_OVERFLOW; count < 9600 -> VH_ERR_INPUT_TOO_SHORT. */
VH_EXPORT vh_status vh_roughness_frame_count(size_t count, int32_t sample_rate,
                                             size_t* frames);

/* Tonality after Aures, one value per 250 ms frame (12000
 * samples), frames 125 ms (6000 samples) apart: (count - 12000) / 6000 + 1
 * values.
 *   tonality: out, capacity tonality_len values from 0 to 1.1055:
 *             T = 1.1055 * w_T^0.29 * w_Gr^0.79 with both weightings at
 *             most 1, so a strongly tonal frame exceeds 1 (e.g. 1.056).
 *   frames:   out, written only on VH_OK and on VH_ERR_OUTPUT_TOO_SMALL.
 * Checks, in order: samples, tonality or frames null -> VH_ERR_NULL_POINTER;
 * rate -> VH_ERR_INVALID_SAMPLE_RATE; count above 2147483647 ->
 * VH_ERR_SIZE_OVERFLOW; count < 12000 -> VH_ERR_INPUT_TOO_SHORT;
 * sound_field -> VH_ERR_INVALID_SOUND_FIELD; tonality_len below the frame
 * count -> VH_ERR_OUTPUT_TOO_SMALL; a non-finite sample ->
 * VH_ERR_NON_FINITE_INPUT; VH_ERR_SIZE_OVERFLOW; VH_ERR_ALLOCATION;
 * VH_ERR_NUMERICAL. The loudness of each frame is measured with the
 * third-octave bank, so a frame whose bands up to 250 Hz exceed 120 dB makes
 * the whole call fail with VH_ERR_NUMERICAL. */
VH_EXPORT vh_status vh_tonality_aures(const double* samples, size_t count, int32_t sample_rate,
                                      vh_sound_field sound_field, double* tonality,
                                      size_t tonality_len, size_t* frames);

/* Number of values vh_tonality_aures produces for count samples. Checks, in
 * order: frames null -> VH_ERR_NULL_POINTER; rate ->
 * VH_ERR_INVALID_SAMPLE_RATE; count above 2147483647 ->
 * VH_ERR_SIZE_OVERFLOW; count < 12000 -> VH_ERR_INPUT_TOO_SHORT. */
VH_EXPORT vh_status vh_tonality_frame_count(size_t count, int32_t sample_rate,
                                            size_t* frames);

/* ---------------------------------------------------------------------------
 * Tonality and roughness with the hearing model of ECMA-418-2
 * (53 bands, band b at 0.5 * (b + 1) Bark)
 * ------------------------------------------------------------------------- */

/* Tonality analysis with the ECMA-418-2 hearing model, c = ceil(count / 256)
 * + 1 frames, frame k at k * 256 / 48000 s. Needs at least 14592 samples.
 *   out: at least 265 * c doubles: five planes of 53 * c values, plane s at
 *        offset 53 * c * s, frame k and band b at 53 * k + b inside a plane:
 *        0 tonal specific loudness (sone_HMS/Bark_HMS), 1 noise specific
 *        loudness (sone_HMS/Bark_HMS), 2 tonal frequency (Hz), 3 specific
 *        tonality (tu_HMS/Bark_HMS), 4 combined specific loudness
 *        (sone_HMS/Bark_HMS).
 *   frames: out; set to 0 once known to be non-null, to c once the sizes
 *        are checked (it then keeps c, also on later failures).
 * Working memory is about 15 MB whatever the length of the signal (the
 * analysis runs as a stream, see VH_METRIC_ECMA_TONALITY).
 * Checks, in order: frames null -> VH_ERR_NULL_POINTER; rate ->
 * VH_ERR_INVALID_SAMPLE_RATE; sound_field -> VH_ERR_INVALID_SOUND_FIELD; out
 * null -> VH_ERR_NULL_POINTER; count < 14592 -> VH_ERR_INPUT_TOO_SHORT;
 * count too large -> VH_ERR_SIZE_OVERFLOW; out_capacity < 265 * c ->
 * VH_ERR_OUTPUT_TOO_SMALL; samples null -> VH_ERR_NULL_POINTER; a non-finite
 * sample -> VH_ERR_NON_FINITE_INPUT; VH_ERR_ALLOCATION; VH_ERR_NUMERICAL. */
VH_EXPORT vh_status vh_ecma_tonal_analysis(const double* samples, size_t count,
                                           int32_t sample_rate, vh_sound_field sound_field,
                                           double* out, size_t out_capacity, size_t* frames);

/* Number of frames c of vh_ecma_tonal_analysis. Checks, in order: frames
 * null -> VH_ERR_NULL_POINTER (else *frames = 0); rate ->
 * VH_ERR_INVALID_SAMPLE_RATE; count < 14592 -> VH_ERR_INPUT_TOO_SHORT;
 * count too large -> VH_ERR_SIZE_OVERFLOW. */
VH_EXPORT vh_status vh_ecma_tonal_frame_count(size_t count, int32_t sample_rate,
                                              size_t* frames);

/* Specific roughness with the ECMA-418-2 hearing model in asper_HMS/Bark_HMS,
 * h = floor(count / 960) + 1 frames at 50 Hz, frame k at k / 50 s. Needs at
 * least 15360 samples.
 *   out:    at least 53 * h doubles, frame k and band b at 53 * k + b.
 *   frames: out; set to 0 once known to be non-null, to h once the sizes
 *           are checked (it then keeps h, also on later failures).
 * Checks, in order: frames null -> VH_ERR_NULL_POINTER; rate ->
 * VH_ERR_INVALID_SAMPLE_RATE; sound_field -> VH_ERR_INVALID_SOUND_FIELD; out
 * null -> VH_ERR_NULL_POINTER; count < 15360 -> VH_ERR_INPUT_TOO_SHORT;
 * count too large -> VH_ERR_SIZE_OVERFLOW; out_capacity < 53 * h ->
 * VH_ERR_OUTPUT_TOO_SMALL; VH_ERR_SIZE_OVERFLOW; samples null ->
 * VH_ERR_NULL_POINTER; a non-finite sample -> VH_ERR_NON_FINITE_INPUT;
 * VH_ERR_ALLOCATION; VH_ERR_NUMERICAL. */
VH_EXPORT vh_status vh_roughness_ecma(const double* samples, size_t count, int32_t sample_rate,
                                      vh_sound_field sound_field, double* out,
                                      size_t out_capacity, size_t* frames);

/* Number of frames h of vh_roughness_ecma. Checks, in order: frames null ->
 * VH_ERR_NULL_POINTER (else *frames = 0); rate ->
 * VH_ERR_INVALID_SAMPLE_RATE; count < 15360 -> VH_ERR_INPUT_TOO_SHORT;
 * count too large -> VH_ERR_SIZE_OVERFLOW. */
VH_EXPORT vh_status vh_ecma_roughness_frame_count(size_t count, int32_t sample_rate,
                                                  size_t* frames);

/* ---------------------------------------------------------------------------
 * Sound levels after IEC 61672-1 and third-octave band levels
 * ------------------------------------------------------------------------- */

/* Indices of the values vh_sound_levels writes, all in dB re 20 uPa. */
#define VH_SOUND_LEVEL_COUNT 6
#define VH_LEVEL_LAEQ 0   /* A-weighted equivalent continuous level */
#define VH_LEVEL_LCEQ 1   /* C-weighted equivalent continuous level */
#define VH_LEVEL_LZEQ 2   /* unweighted (Z) equivalent continuous level */
#define VH_LEVEL_LAFMAX 3 /* largest A-weighted level, time weighting F (125 ms) */
#define VH_LEVEL_LASMAX 4 /* largest A-weighted level, time weighting S (1 s) */
#define VH_LEVEL_LCPEAK 5 /* peak of the C-weighted pressure, no time weighting */

/* Sound levels of a whole signal (pascal, 48 kHz, at least 1 sample) as a
 * sound level meter after IEC 61672-1 shows them. The A and C frequency
 * weightings are digital filters at 48 kHz normalised to 0 dB at 1 kHz;
 * the F and S time weightings are exponential averages of the squared
 * weighted pressure with time constants 0.125 s and 1 s, starting from 0 at
 * the first sample. Leq = 10 lg(mean square / (20 uPa)^2) over all samples;
 * LAFmax and LASmax are the largest time-weighted levels at any sample;
 * LCpeak = 20 lg(max |C-weighted pressure| / 20 uPa) over the samples (no
 * interpolation between them: a 1 kHz sine may read up to 0.02 dB below
 * its crest). Every mean square
 * gets 1e-12 Pa^2 added before the logarithm, so silence reads -26.0206 dB
 * (the floor of the band levels) instead of minus infinity.
 *   levels: out, VH_SOUND_LEVEL_COUNT values ordered by the VH_LEVEL_
 *           indices (levels_len >= 6).
 * Checks, in order: levels null -> VH_ERR_NULL_POINTER; levels_len < 6 ->
 * VH_ERR_OUTPUT_TOO_SMALL; samples null -> VH_ERR_NULL_POINTER; count 0 ->
 * VH_ERR_INPUT_TOO_SHORT; rate -> VH_ERR_INVALID_SAMPLE_RATE; count above
 * 2^60 - 1 -> VH_ERR_SIZE_OVERFLOW; a NaN or infinite sample ->
 * VH_ERR_NON_FINITE_INPUT; a sum of squares that overflows (samples far
 * beyond any physical level) -> VH_ERR_NUMERICAL. No memory is allocated. */
VH_EXPORT vh_status vh_sound_levels(const double* samples, size_t count, int32_t sample_rate,
                                    double* levels, size_t levels_len);

/* The 28 third-octave band levels of a whole signal (pascal, 48 kHz, at
 * least 256 samples) in dB re (20 uPa)^2, ordered as
 * vh_third_octave_centres_hz(): the bank the stationary loudness measures
 * with, every band starting from rest. A silent band reads -26.0206 dB.
 *   levels: out, 28 values (levels_len >= 28).
 * Checks, in order: levels null -> VH_ERR_NULL_POINTER; levels_len < 28 ->
 * VH_ERR_OUTPUT_TOO_SMALL; samples null -> VH_ERR_NULL_POINTER; count 0 ->
 * VH_ERR_INPUT_TOO_SHORT; rate -> VH_ERR_INVALID_SAMPLE_RATE; count above
 * 2^60 - 1 -> VH_ERR_SIZE_OVERFLOW; a NaN or infinite sample ->
 * VH_ERR_NON_FINITE_INPUT; count < 256 -> VH_ERR_INPUT_TOO_SHORT; band
 * powers that overflow -> VH_ERR_NUMERICAL. No memory is allocated. */
VH_EXPORT vh_status vh_third_octave_levels(const double* samples, size_t count,
                                           int32_t sample_rate, double* levels,
                                           size_t levels_len);

/* ---------------------------------------------------------------------------
 * Streams: a metric over a signal of any length, fed chunk by chunk
 *
 * A stream computes exactly what the whole-signal function of its metric
 * computes, bit for bit, whatever the sizes of the chunks, in working memory
 * that does not grow with the signal. Frames are handed out as soon as they
 * are final. One stream belongs to one thread at a time; different streams
 * may run on different threads at once.
 *
 *   vh_stream* s;
 *   vh_stream_create(VH_METRIC_LOUDNESS_TIME, VH_SAMPLE_RATE,
 *                    VH_SOUND_FIELD_FREE, &s);
 *   while (more sound) {
 *     vh_stream_push(s, chunk, chunk_count);
 *     vh_stream_read(s, frames, capacity, &got);   (got frames of 241)
 *   }
 *   vh_stream_finish(s);
 *   vh_stream_read(s, frames, capacity, &got);     (the last frames)
 *   vh_stream_destroy(s);
 *
 * Frames, their values (frame-major, each frame's values contiguous), and
 * the latency after which a frame is final (samples that must have been
 * pushed after the frame's own time; before finish):
 *   VH_METRIC_LOUDNESS_STATIONARY: one frame, at finish: the loudness in
 *       sone, then the 240 values of the specific loudness (241 values).
 *   VH_METRIC_LOUDNESS_TIME: frame f at sample 96 f: the loudness in sone,
 *       then 240 specific-loudness values (241 values); final at once.
 *   VH_METRIC_ROUGHNESS_DW: frame f covers samples 4800 f ... 4800 f + 9599:
 *       its roughness in asper (1 value); final when its last sample is in.
 *   VH_METRIC_TONALITY_AURES: frame f covers samples 6000 f ... 6000 f +
 *       11999: its tonality (1 value); final when its last sample is in.
 *   VH_METRIC_ECMA_TONALITY: frame k at sample 256 k: 265 values, plane s
 *       (as in vh_ecma_tonal_analysis) and band b at 53 s + b; final at
 *       most 8192 samples (171 ms) after its time.
 *   VH_METRIC_ECMA_ROUGHNESS: frame k at sample 960 k: 53 values, band b at
 *       b; final at most 8192 samples (171 ms) after its time.
 *   VH_METRIC_SOUND_LEVELS: one frame, at finish: the 6 levels of
 *       vh_sound_levels, ordered by the VH_LEVEL_ indices.
 *   VH_METRIC_THIRD_OCTAVE_LEVELS: one frame, at finish: the 28 band levels
 *       of vh_third_octave_levels.
 * No metric hands out a frame before its minimum length has arrived (see
 * vh_stream_finish), since a shorter signal has no frames at all.
 *
 * Statuses. Each function checks, in order, its pointers, then the stream's
 * state: a stream that failed returns the status of its failure again from
 * push and finish; pushing to or finishing a finished stream is
 * VH_ERR_INVALID_ARGUMENT. A chunk with a non-finite sample is refused whole
 * (VH_ERR_NON_FINITE_INPUT) and the stream stays usable, as if the chunk had
 * never been pushed. VH_ERR_NUMERICAL and VH_ERR_ALLOCATION during a push or
 * the finish fail the stream. Frames finished before a failure can still be
 * read. Every stream, failed or not, is released by vh_stream_destroy.
 * ------------------------------------------------------------------------- */

typedef struct vh_stream vh_stream;

/* The metric of a stream. */
typedef int32_t vh_metric;
#define VH_METRIC_LOUDNESS_STATIONARY 1
#define VH_METRIC_LOUDNESS_TIME 2
#define VH_METRIC_ROUGHNESS_DW 3
#define VH_METRIC_TONALITY_AURES 4
#define VH_METRIC_ECMA_TONALITY 5
#define VH_METRIC_ECMA_ROUGHNESS 6
#define VH_METRIC_SOUND_LEVELS 7
#define VH_METRIC_THIRD_OCTAVE_LEVELS 8

/* Creates a stream of one metric. The sound field is checked for every
 * metric and used by all but VH_METRIC_ROUGHNESS_DW and the two levels.
 * Checks, in order: stream null -> VH_ERR_NULL_POINTER (else *stream = NULL
 * until success); metric unknown -> VH_ERR_INVALID_ARGUMENT; rate ->
 * VH_ERR_INVALID_SAMPLE_RATE; sound_field -> VH_ERR_INVALID_SOUND_FIELD;
 * VH_ERR_ALLOCATION. On VH_OK *stream holds the new stream. */
VH_EXPORT vh_status vh_stream_create(vh_metric metric, int32_t sample_rate,
                                     vh_sound_field sound_field, vh_stream** stream);

/* Values per frame of a metric's stream (241, 241, 1, 1, 265, 53, 6, 28 in
 * the order of the VH_METRIC_ values). Checks, in order: values null ->
 * VH_ERR_NULL_POINTER; metric unknown -> VH_ERR_INVALID_ARGUMENT. */
VH_EXPORT vh_status vh_stream_frame_values(vh_metric metric, size_t* values);

/* Feeds count samples (pascal) to the stream; count 0 is allowed.
 * Checks, in order: stream null -> VH_ERR_NULL_POINTER; samples null with
 * count > 0 -> VH_ERR_NULL_POINTER; the stream failed -> its status; the
 * stream finished -> VH_ERR_INVALID_ARGUMENT; more than 2^60 - 1 samples in
 * all -> VH_ERR_SIZE_OVERFLOW (chunk refused); a non-finite sample ->
 * VH_ERR_NON_FINITE_INPUT (chunk refused); VH_ERR_ALLOCATION;
 * VH_ERR_NUMERICAL. */
VH_EXPORT vh_status vh_stream_push(vh_stream* stream, const double* samples, size_t count);

/* Ends the signal: the last frames become final. Checks, in order: stream
 * null -> VH_ERR_NULL_POINTER; the stream failed -> its status; finished
 * already -> VH_ERR_INVALID_ARGUMENT; fewer samples than the whole-signal
 * function of the metric needs (256, 1, 9600, 12000, 14592, 15360, 1, 256) ->
 * VH_ERR_INPUT_TOO_SHORT (the stream fails); VH_ERR_ALLOCATION;
 * VH_ERR_NUMERICAL. */
VH_EXPORT vh_status vh_stream_finish(vh_stream* stream);

/* Takes finished frames out of the stream, oldest first: as many whole
 * frames as out_capacity values hold, and *frames says how many. With out
 * null and out_capacity 0 it only counts: *frames = frames ready, none
 * taken. Checks, in order: stream or frames null -> VH_ERR_NULL_POINTER;
 * out null with out_capacity > 0 -> VH_ERR_NULL_POINTER. Works on failed
 * and finished streams too. */
VH_EXPORT vh_status vh_stream_read(vh_stream* stream, double* out, size_t out_capacity,
                                   size_t* frames);

/* Lets the stream use up to `threads` threads, the caller's included, for
 * each later push and the finish; 1, the default, keeps all work on the
 * calling thread. The frames are bit-identical for every thread count and
 * every chunking. The threads belong to the stream: they wait between calls
 * and end with vh_stream_destroy. VH_METRIC_ECMA_TONALITY shares out its
 * bands (using at most 16 threads); the other metrics accept the setting and
 * run on the calling thread. When the system cannot start a thread the
 * stream works with those it has, with the same results. Allowed at any
 * time; on a failed or finished stream it has no effect.
 * Checks, in order: stream null -> VH_ERR_NULL_POINTER; threads 0 ->
 * VH_ERR_INVALID_ARGUMENT; VH_ERR_ALLOCATION (the stream stays usable with
 * the threads it had). */
VH_EXPORT vh_status vh_stream_set_threads(vh_stream* stream, size_t threads);

/* Releases a stream and everything it holds; null is allowed. */
VH_EXPORT void vh_stream_destroy(vh_stream* stream);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* VARNHOLT_H */
