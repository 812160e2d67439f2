"""The C declarations of libvarnholt that the binding hands to cffi.

They are copied from include/varnholt.h (without the export macro); a test
compares every declaration here with the header, so the two cannot drift.
"""

DECLARATIONS = """
#define VH_SAMPLE_RATE 48000

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

typedef int32_t vh_sound_field;
#define VH_SOUND_FIELD_FREE 0
#define VH_SOUND_FIELD_DIFFUSE 1

int32_t vh_abi_version(void);
const char* vh_version_string(void);
const char* vh_status_string(int32_t status);
const double* vh_bark_axis(void);
const double* vh_third_octave_centres_hz(void);

vh_status vh_loudness_from_levels(const double* levels, size_t level_count,
                                  vh_sound_field sound_field, double* loudness,
                                  double* specific, size_t specific_len);
vh_status vh_loudness_stationary(const double* samples, size_t count,
                                 int32_t sample_rate, vh_sound_field sound_field,
                                 double* loudness, double* specific,
                                 size_t specific_len);
vh_status vh_loudness_time_frame_count(size_t count, int32_t sample_rate,
                                       size_t* frames);
vh_status vh_loudness_time(const double* samples, size_t count, int32_t sample_rate,
                           vh_sound_field sound_field, double* loudness,
                           size_t loudness_len, double* specific, size_t specific_len,
                           size_t* frames);
vh_status vh_sharpness_din(const double* specific, size_t specific_len,
                           double* sharpness);
vh_status vh_roughness_dw(const double* samples, size_t count, int32_t sample_rate,
                          double* roughness, size_t roughness_len, size_t* frames);
vh_status vh_roughness_frame_count(size_t count, int32_t sample_rate,
                                   size_t* frames);
vh_status vh_tonality_aures(const double* samples, size_t count, int32_t sample_rate,
                            vh_sound_field sound_field, double* tonality,
                            size_t tonality_len, size_t* frames);
vh_status vh_tonality_frame_count(size_t count, int32_t sample_rate,
                                  size_t* frames);
vh_status vh_ecma_tonal_analysis(const double* samples, size_t count,
                                 int32_t sample_rate, vh_sound_field sound_field,
                                 double* out, size_t out_capacity, size_t* frames);
vh_status vh_ecma_tonal_frame_count(size_t count, int32_t sample_rate,
                                    size_t* frames);
vh_status vh_roughness_ecma(const double* samples, size_t count, int32_t sample_rate,
                            vh_sound_field sound_field, double* out,
                            size_t out_capacity, size_t* frames);
vh_status vh_ecma_roughness_frame_count(size_t count, int32_t sample_rate,
                                        size_t* frames);
#define VH_SOUND_LEVEL_COUNT 6
#define VH_LEVEL_LAEQ 0
#define VH_LEVEL_LCEQ 1
#define VH_LEVEL_LZEQ 2
#define VH_LEVEL_LAFMAX 3
#define VH_LEVEL_LASMAX 4
#define VH_LEVEL_LCPEAK 5

vh_status vh_sound_levels(const double* samples, size_t count, int32_t sample_rate,
                          double* levels, size_t levels_len);
vh_status vh_third_octave_levels(const double* samples, size_t count,
                                 int32_t sample_rate, double* levels,
                                 size_t levels_len);

typedef struct vh_stream vh_stream;

typedef int32_t vh_metric;
#define VH_METRIC_LOUDNESS_STATIONARY 1
#define VH_METRIC_LOUDNESS_TIME 2
#define VH_METRIC_ROUGHNESS_DW 3
#define VH_METRIC_TONALITY_AURES 4
#define VH_METRIC_ECMA_TONALITY 5
#define VH_METRIC_ECMA_ROUGHNESS 6
#define VH_METRIC_SOUND_LEVELS 7
#define VH_METRIC_THIRD_OCTAVE_LEVELS 8

vh_status vh_stream_create(vh_metric metric, int32_t sample_rate,
                           vh_sound_field sound_field, vh_stream** stream);
vh_status vh_stream_frame_values(vh_metric metric, size_t* values);
vh_status vh_stream_push(vh_stream* stream, const double* samples, size_t count);
vh_status vh_stream_finish(vh_stream* stream);
vh_status vh_stream_read(vh_stream* stream, double* out, size_t out_capacity,
                         size_t* frames);
vh_status vh_stream_set_threads(vh_stream* stream, size_t threads);
void vh_stream_destroy(vh_stream* stream);
"""
