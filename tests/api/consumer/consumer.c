/* A user's first program: print the library version. */
#include <stdio.h>
#include <varnholt.h>

int main(void) {
  printf("varnholt %s, interface %d\n", vh_version_string(), (int)vh_abi_version());
  return vh_abi_version() == 1 ? 0 : 1;
}
