/* bench_c.c: the time of one ECMA-418-2 tonality analysis of a 10 s sound
 * through the analysis layer's C interface, best of N runs: the baseline
 * of bench_mex.m, which times the same call through the MEX gateway.
 *
 *   bench_c [runs]     prints "best_s <seconds>"
 *
 * The settings are those of varnholt.ecma_tonality: the one metric, its
 * per-band arrays kept, one job. The sound is the one bench_mex.m makes: a
 * 1 kHz tone at 60 dB SPL over a linear sweep from 100 Hz to 10 kHz at
 * 50 dB SPL, 48 kHz. */
#define _POSIX_C_SOURCE 199309L
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "varnholt_analysis.h"

#define RATE 48000
#define SECONDS 10

static double now_s(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + 1e-9 * (double)t.tv_nsec;
}

static void make_sound(double* x, size_t n) {
  const double pi = 3.14159265358979323846;
  const double tone = sqrt(2.0) * 20e-6 * pow(10.0, 60.0 / 20.0);
  const double sweep = sqrt(2.0) * 20e-6 * pow(10.0, 50.0 / 20.0);
  const double f0 = 100.0, f1 = 10000.0, d = SECONDS;
  size_t i;
  for (i = 0; i < n; ++i) {
    double t = (double)i / RATE;
    x[i] = tone * sin(2.0 * pi * 1000.0 * t) +
           sweep * sin(2.0 * pi * (f0 * t + 0.5 * (f1 - f0) / d * t * t));
  }
}

int main(int argc, char** argv) {
  const size_t n = (size_t)RATE * SECONDS;
  int runs = argc > 1 ? atoi(argv[1]) : 5;
  double best = INFINITY;
  double* x = malloc(n * sizeof *x);
  vha_settings* s = NULL;
  int r;
  if (x == NULL || runs < 1 || vha_settings_create(&s) != VH_OK) return 2;
  make_sound(x, n);
  if (vha_settings_set_metrics(s, "ecma-tonality") != VH_OK ||
      vha_settings_set_keep_bands(s, 1) != VH_OK || vha_settings_set_jobs(s, 1) != VH_OK)
    return 2;
  for (r = 0; r < runs; ++r) {
    vha_result* result = NULL;
    double t0 = now_s(), t;
    if (vha_analyse_samples(s, x, n, 1, RATE, &result) != VH_OK) return 1;
    vha_result_destroy(result);
    t = now_s() - t0;
    if (t < best) best = t;
  }
  vha_settings_destroy(s);
  free(x);
  printf("best_s %.6f\n", best);
  return 0;
}
