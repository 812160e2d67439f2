/* A user's first program: print the versions of the library and of its
 * analysis layer. */
#include <stdio.h>
#include <string.h>
#include <varnholt.h>
#include <varnholt_analysis.h>

int main(void) {
  printf("varnholt %s, interface %d; analysis layer %s\n", vh_version_string(),
         (int)vh_abi_version(), vha_version_string());
  return vh_abi_version() == 1 && strcmp(vh_version_string(), vha_version_string()) == 0 ? 0 : 1;
}
