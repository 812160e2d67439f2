/* The analysis layer's header as strict C99: settings made, one buffer
 * analysed, a single value read. */
#include <math.h>
#include <stdio.h>

#include "varnholt_analysis.h"

int main(void) {
  static double samples[48000];
  vha_settings* settings = NULL;
  vha_result* result = NULL;
  vha_summary value;
  size_t i;
  for (i = 0; i < 48000; ++i) samples[i] = 0.02 * sin(2.0 * 3.14159265358979 * 1000.0 * (double)i / 48000.0);
  if (vha_settings_create(&settings) != VH_OK) return 1;
  if (vha_settings_set_metrics(settings, "levels") != VH_OK) return 1;
  if (vha_analyse_samples(settings, samples, 48000, 1, 48000, &result) != VH_OK) return 1;
  if (vha_result_summary(result, 0, 0, 0, &value) != VH_OK) return 1;
  printf("%s = %.2f %s\n", value.symbol, value.value, value.unit);
  vha_result_destroy(result);
  vha_settings_destroy(settings);
  return value.value > 56.0 && value.value < 58.0 ? 0 : 1;
}
