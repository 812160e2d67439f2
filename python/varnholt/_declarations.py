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
"""
