/* The public header compiled as C, called as a C host application would:
 * with no display host every call reports 0. */
#include <stdio.h>

#include "VesprineDovetide.h"

int main(void) {
  int32_t failures = 0;
  failures += Init() != 0;
  failures += DrawPixel(1, 2) != 0;
  failures += Dispose() != 0;
  printf("header compiled as C: %s\n", failures == 0 ? "passed" : "failed");
  return failures == 0 ? 0 : 1;
}
