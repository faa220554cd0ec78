/* A host application built against an installed VesprineDovetide alone. */
#include <stdio.h>

#include "VesprineDovetide.h"

int main(void) {
  printf("linked against VesprineDovetide %s\n", VESPRINE_VERSION);
  return DrawPixel(3, 4) == 1 && LogI("from an installed tree") == 1 && Dispose() == 1 ? 0 : 1;
}
