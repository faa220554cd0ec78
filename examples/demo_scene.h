/* The demo's scene, call by call: every function of the library once or
 * more. The includer defines DO(call): the demo prints each call and its
 * result, the benchmark only counts the failures. */
#include "VesprineDovetide.h"

static void DrawScene(void) {
  /* The screen, its background, and what clearing and disposing look like. */
  DO(SetResolution(640, 480));
  DO(SetEncodingUTF8());
  DO(SetBackground("backgrounds/sky.png", 255));
  DO(SetColor(255, 255, 255, 255));
  DO(DrawRect(0, 0, 50, 50, 1));
  DO(DrawClear());
  DO(CreateSprite("cloud", 64, 32));
  DO(DisposeSprite("cloud"));
  DO(CreateSprite("draft", 8, 8));
  DO(SetEditSprite("draft"));
  DO(DisposeCurrentSprite());
  DO(CreateSprite("old", 4, 4));
  DO(DisposeAllSprites());

  /* Ground, a sun, shapes in several colours and alphas. */
  DO(SetColor(40, 120, 40, 255));
  DO(DrawRect(0, 400, 640, 80, 1));
#ifndef DEMO_CHANGED
  DO(SetColor(255, 220, 0, 255));
#else
  /* An orange sun: the change that examples/visual_test.sh catches. */
  DO(SetColor(255, 120, 0, 255));
#endif
  DO(DrawEllipse(520, 30, 80, 80, 1));
  DO(SetColor(255, 150, 0, 255));
  DO(DrawEllipse(510, 20, 100, 100, 0));
  DO(SetColor(255, 0, 0, 128));
  DO(DrawRect(40, 60, 160, 100, 1));
  DO(SetColor(0, 64, 255, 200));
  DO(DrawRect(120, 100, 160, 100, 0));
  DO(DrawEllipse(140, 120, 120, 60, 1));
  DO(SetColor(255, 255, 255, 255));
  DO(DrawLine(0, 399, 639, 399));
  DO(DrawLine(40, 60, 280, 200));
  DO(DrawPixel(10, 20));

  /* Text in UTF-8 and in Shift-JIS ("テスト"). */
  DO(DrawString(40, 220, "Hello, display host", 24));
  DO(DrawString(40, 255, "Gr\xC3\xBC\xC3\x9F" "e, \xE4\xB8\x96\xE7\x95\x8C", 24));
  DO(SetEncodingShiftJIS());
  DO(DrawString(40, 290, "\x83\x65\x83\x58\x83\x67", 24));
  DO(SetEncodingUTF8());

  /* An image at its own size, and stretched at half opacity. */
  DO(DrawImage("images/logo.png", 320, 40));
  DO(DrawImageScaled("images/logo.png", 370, 40, 96, 96, 128));

  /* Two sprites placed by bound and O-point: "hero" above a faded "ghost". */
  DO(CreateSprite("hero", 48, 64));
  DO(SetEditSprite("hero"));
  DO(SetColor(200, 60, 200, 255));
  DO(DrawEllipse(0, 0, 48, 48, 1));
  DO(SetColor(255, 255, 255, 255));
  DO(DrawRect(14, 40, 20, 24, 1));
  DO(SetOPoint(24, 64));
  DO(SetBound(360, 400));
  DO(SetZ(2));
  DO(SetVisible(1));
  DO(CreateSprite("ghost", 80, 80));
  DO(SetEditSprite("ghost"));
  DO(SetColor(180, 220, 255, 255));
  DO(DrawEllipse(0, 0, 80, 80, 1));
  DO(SetColor(0, 0, 0, 255));
  DO(DrawRect(20, 25, 10, 10, 1));
  DO(DrawRect(50, 25, 10, 10, 1));
  DO(SetOPoint(40, 40));
  DO(SetBound(400, 340));
  DO(SetZ(1));
  DO(SetAlpha(140));
  DO(SetEditSprite(""));

  DO(LogV("verbose: scene built"));
  DO(LogD("debug: 2 sprites shown"));
  DO(LogI("info: frame 1 drawn"));
  DO(LogW("warning: <b>markup</b> stays text"));
  DO(LogE("error: \"quoted\" text"));
  DO(LogC("critical: nothing is wrong"));
}
