/* A small host application: draws a scene through the display host, using
 * every function of the library once or more, and says what it does. Run it
 * against `vesprine-monitor --view --images examples` to see the picture. */
#include <stdio.h>

#include "VesprineDovetide.h"

static int failures = 0;

/* Prints what a call did; a 0 means the display host did not get it. */
static void Did(const char* what, int32_t result) {
  printf("%-52s -> %d\n", what, (int)result);
  if (result != 1) ++failures;
}

#define DO(call) Did(#call, call)
#include "demo_scene.h"

int main(void) {
  if (Init() != 1) {
    fprintf(stderr, "demo: no display host serves the pipe; start vesprine-monitor first\n");
    return 1;
  }
  printf("demo: connected to the display host\n");

  DrawScene();

  printf("%-52s -> %d\n", "Dispose()", (int)Dispose());
  printf("demo: %s\n", failures == 0 ? "every message delivered" : "some messages were not delivered");
  return failures == 0 ? 0 : 1;
}
