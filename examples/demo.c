/* A small host application: draws a scene through the display host, using
 * every function of the library once or more, and says what it does. */
#include <stdio.h>

#include "VesprineDovetide.h"

static int failures = 0;

/* Prints what a call did; a 0 means the display host did not get it. */
static void Did(const char* what, int32_t result) {
  printf("%-44s -> %d\n", what, (int)result);
  if (result != 1) ++failures;
}

int main(void) {
  if (Init() != 1) {
    fprintf(stderr, "demo: no display host serves the pipe; start vesprine-monitor first\n");
    return 1;
  }
  printf("demo: connected to the display host\n");

  Did("SetResolution(640, 480)", SetResolution(640, 480));
  Did("SetEncodingUTF8()", SetEncodingUTF8());
  Did("SetBackground(\"backgrounds/sky.png\", 255)", SetBackground("backgrounds/sky.png", 255));

  Did("SetColor(255, 0, 0, 255)", SetColor(255, 0, 0, 255));
  Did("DrawPixel(10, 20)", DrawPixel(10, 20));
  Did("DrawLine(0, 0, 639, 479)", DrawLine(0, 0, 639, 479));
  Did("SetColor(0, 128, 255, 200)", SetColor(0, 128, 255, 200));
  Did("DrawRect(40, 40, 200, 100, 1)", DrawRect(40, 40, 200, 100, 1));
  Did("DrawEllipse(320, 240, 80, 60, 0)", DrawEllipse(320, 240, 80, 60, 0));
  Did("DrawString(50, 300, \"Hello, display host\", 16)", DrawString(50, 300, "Hello, display host", 16));
  Did("DrawString(50, 330, \"Grüße, 世界\", 16)", DrawString(50, 330, "Gr\xC3\xBC\xC3\x9F" "e, \xE4\xB8\x96\xE7\x95\x8C", 16));
  Did("DrawImage(\"images/logo.png\", 500, 20)", DrawImage("images/logo.png", 500, 20));
  Did("DrawImageScaled(\"images/logo.png\", 500, 380, 64, 64, 128)",
      DrawImageScaled("images/logo.png", 500, 380, 64, 64, 128));

  Did("CreateSprite(\"hero\", 32, 48)", CreateSprite("hero", 32, 48));
  Did("SetEditSprite(\"hero\")", SetEditSprite("hero"));
  Did("SetBound(100, 200)", SetBound(100, 200));
  Did("SetOPoint(16, 24)", SetOPoint(16, 24));
  Did("SetZ(5)", SetZ(5));
  Did("SetVisible(1)", SetVisible(1));
  Did("SetAlpha(128)", SetAlpha(128));
  Did("DisposeCurrentSprite()", DisposeCurrentSprite());
  Did("CreateSprite(\"cloud\", 64, 32)", CreateSprite("cloud", 64, 32));
  Did("DisposeSprite(\"cloud\")", DisposeSprite("cloud"));
  Did("DisposeAllSprites()", DisposeAllSprites());

  Did("SetEncodingShiftJIS()", SetEncodingShiftJIS());
  Did("DrawString(50, 360, \"テスト\" in Shift-JIS, 16)", DrawString(50, 360, "\x83\x65\x83\x58\x83\x67", 16));
  Did("SetEncodingUTF8()", SetEncodingUTF8());

  Did("LogV(\"verbose: scene built\")", LogV("verbose: scene built"));
  Did("LogD(\"debug: 2 sprites created\")", LogD("debug: 2 sprites created"));
  Did("LogI(\"info: frame 1 drawn\")", LogI("info: frame 1 drawn"));
  Did("LogW(\"warning: image not found\")", LogW("warning: image not found"));
  Did("LogE(\"error: \\\"quoted\\\" text\")", LogE("error: \"quoted\" text"));
  Did("LogC(\"critical: shutting down\")", LogC("critical: shutting down"));
  Did("DrawClear()", DrawClear());

  printf("%-44s -> %d\n", "Dispose()", (int)Dispose());
  printf("demo: %s\n", failures == 0 ? "every message delivered" : "some messages were not delivered");
  return failures == 0 ? 0 : 1;
}
