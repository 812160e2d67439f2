/* A first look at the library: version, interface number, status texts and
 * the sharpness of a built-in specific-loudness pattern. */
#include <math.h>
#include <stdio.h>

#include "varnholt.h"

int main(void) {
  double specific[240];
  double sharpness = 0.0;
  const double* bark = vh_bark_axis();
  int32_t code;
  vh_status status;
  int i;

  printf("varnholt %s (interface %d)\n", vh_version_string(), (int)vh_abi_version());
  printf("status texts:\n");
  for (code = VH_OK; code <= VH_ERR_NUMERICAL; ++code) {
    printf("  %2d  %s\n", (int)code, vh_status_string(code));
  }

  /* A narrow band of loudness centred at 8.5 Bark (about 1 kHz): a
   * Gaussian bump 1 Bark wide, 1 sone/Bark at its peak. */
  for (i = 0; i < 240; ++i) {
    const double d = (bark[i] - 8.5) / 1.0;
    specific[i] = exp(-0.5 * d * d);
  }
  status = vh_sharpness_din(specific, 240, &sharpness);
  if (status != VH_OK) {
    fprintf(stderr, "sharpness failed: %s\n", vh_status_string(status));
    return 1;
  }
  printf("sharpness of a 1 Bark wide band at 8.5 Bark: %.4f acum\n", sharpness);
  return 0;
}
