/* The public header as plain C99: declarations compile and link, and the
 * information functions answer. Exit status 0 on success. */
#include <stdio.h>
#include <string.h>

#include "varnholt.h"

int main(void) {
  double specific[240];
  double sharpness = -1.0;
  size_t i;
  vh_status status;

  if (vh_abi_version() != 1) return 1;
  if (strcmp(vh_version_string(), "0.2.2") != 0) return 2;
  if (strcmp(vh_status_string(VH_ERR_INPUT_TOO_SHORT), "input is too short") != 0) return 3;
  if (vh_bark_axis()[239] != 24.0) return 4;
  if (vh_third_octave_centres_hz()[16] != 1000.0) return 5;

  for (i = 0; i < 240; ++i) specific[i] = 0.0;
  specific[99] = 1.0;
  status = vh_sharpness_din(specific, 240, &sharpness);
  if (status != VH_OK) return 6;
  if (sharpness < 1.0999999 || sharpness > 1.1000001) return 7;
  if (vh_sharpness_din(NULL, 240, &sharpness) != VH_ERR_NULL_POINTER) return 8;

  printf("C99 client: %s, interface %d\n", vh_version_string(), (int)vh_abi_version());
  return 0;
}
