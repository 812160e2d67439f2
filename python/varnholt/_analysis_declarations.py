"""The C declarations of libvarnholt_analysis that the package hands to
cffi, copied from include/varnholt_analysis.h (without comments and the
export macro); a test compares them with the header, so the two cannot
drift. They build on the types of varnholt.h (_declarations.py)."""

ANALYSIS_DECLARATIONS = """
#define VHA_ERR_CANCELLED 11

const char* vha_status_string(vh_status status);

const char* vha_version_string(void);

typedef struct vha_settings vha_settings;

typedef int (*vha_progress_fn)(void* user, double share);

typedef void (*vha_frame_fn)(void* user, int32_t channel, const char* metric, double time_s,
                             const double* values, size_t count);

vh_status vha_settings_create(vha_settings** settings);
void vha_settings_destroy(vha_settings* settings);

const char* vha_settings_error(const vha_settings* settings);

vh_status vha_settings_set_metrics(vha_settings* settings, const char* metrics);

vh_status vha_settings_set_sound_field(vha_settings* settings, vh_sound_field field);

vh_status vha_settings_set_scale(vha_settings* settings, double pascal_per_unit);
vh_status vha_settings_set_full_scale_spl(vha_settings* settings, double spl_db);
vh_status vha_settings_set_calibrator(vha_settings* settings, const char* path,
                                                 double spl_db, int32_t channel);

vh_status vha_settings_calibration(const vha_settings* settings,
                                              double* pascal_per_unit,
                                              const char** description);

vh_status vha_settings_set_channel(vha_settings* settings, int32_t channel);

vh_status vha_settings_set_span(vha_settings* settings, double start_s,
                                           double duration_s);

vh_status vha_settings_set_remove_dc(vha_settings* settings, int32_t remove);

vh_status vha_settings_set_keep_bands(vha_settings* settings, int32_t keep);

vh_status vha_settings_set_band_rows(vha_settings* settings, size_t max_rows);

vh_status vha_settings_set_jobs(vha_settings* settings, uint32_t jobs);

vh_status vha_settings_set_progress(vha_settings* settings, vha_progress_fn progress,
                                               void* user);
vh_status vha_settings_set_frame_listener(vha_settings* settings,
                                                     vha_frame_fn listener, void* user);

typedef struct vha_result vha_result;

vh_status vha_analyse_file(const vha_settings* settings, const char* path,
                                      vha_result** result);

vh_status vha_analyse_samples(const vha_settings* settings, const double* samples,
                                         size_t frames, size_t channels, int32_t rate_hz,
                                         vha_result** result);

void vha_result_destroy(vha_result* result);

typedef struct {
  const char* path;
  const char* error;
  const char* format;
  const char* calibration;
  double pascal_per_unit;
  int32_t file_rate_hz;
  int32_t resampled;
  uint64_t file_frames;
  uint64_t analysed_samples;
  int32_t channel_count;
  double start_s;
  double duration_s;
  size_t warning_count;
  size_t channels;
} vha_file_info;

typedef struct {
  int32_t channel;
  const char* error;
  vh_status status;
  uint64_t samples;
  double peak_pa;
  double rms_pa;
  double dc_offset_pa;
  int32_t dc_removed;
  size_t warning_count;
  size_t metrics;
} vha_channel_info;

typedef struct {
  const char* name;
  const char* method;
  const char* error;
  vh_status status;
  const char* frame_time_definition;
  const double* frame_times_s;
  size_t frames;
  size_t summaries;
  size_t series;
  size_t band_arrays;
} vha_metric_info;

typedef struct {
  const char* symbol;
  const char* key;
  double value;
  const char* unit;
  const char* definition;
} vha_summary;

typedef struct {
  const char* key;
  const char* unit;
  const char* definition;
  const double* values;
  size_t count;
} vha_series;

typedef struct {
  const char* key;
  const char* unit;
  const char* axis_key;
  const char* axis_unit;
  const double* axis;
  size_t bands;
  const double* values;
  size_t rows;
  const double* row_times_s;
  size_t frames_per_row;
} vha_band_array;

vh_status vha_result_file(const vha_result* result, vha_file_info* out);
vh_status vha_result_file_warning(const vha_result* result, size_t index,
                                             const char** out);
vh_status vha_result_channel(const vha_result* result, size_t channel,
                                        vha_channel_info* out);
vh_status vha_result_channel_warning(const vha_result* result, size_t channel,
                                                size_t index, const char** out);
vh_status vha_result_metric(const vha_result* result, size_t channel, size_t metric,
                                       vha_metric_info* out);
vh_status vha_result_summary(const vha_result* result, size_t channel,
                                        size_t metric, size_t index, vha_summary* out);
vh_status vha_result_series(const vha_result* result, size_t channel, size_t metric,
                                       size_t index, vha_series* out);
vh_status vha_result_band_array(const vha_result* result, size_t channel,
                                           size_t metric, size_t index, vha_band_array* out);

typedef struct vha_file_list vha_file_list;

vh_status vha_find_sound_files(const char* const* inputs, size_t count,
                                          int32_t recursive, vha_file_list** list);
void vha_file_list_destroy(vha_file_list* list);

size_t vha_file_list_size(const vha_file_list* list);

const char* vha_file_list_path(const vha_file_list* list, size_t index);

const char* vha_file_list_error(const vha_file_list* list);

typedef struct vha_resampler vha_resampler;

vh_status vha_resampler_create(int32_t rate_hz, vha_resampler** resampler);
void vha_resampler_destroy(vha_resampler* resampler);

vh_status vha_resampler_push(vha_resampler* resampler, const double* samples,
                                        size_t count);

vh_status vha_resampler_finish(vha_resampler* resampler);

vh_status vha_resampler_read(vha_resampler* resampler, double* out, size_t capacity,
                                        size_t* count);
"""
