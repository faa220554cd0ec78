// What the pixel library has gone through on this thread besides the pixels
// it wrote, counted so that tests can see that a command costs what it
// changes (never a timing): glyphs rasterized, rows of shapes and steps of
// lines looked at, rows of sprites looked at while composing.
#pragma once

#include <cstdint>

struct Work {
  int64_t glyphs = 0;
  int64_t shapeRows = 0;
  int64_t spriteRows = 0;
};

inline Work& WorkOnThisThread() {
  thread_local Work work;
  return work;
}
