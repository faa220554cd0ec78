// The demo in C#: the scene of demo_scene.h, call for call, through
// VesprineDovetide.Display; the monitor prints the same lines for both. With
// DEMO_CHANGED=1 the sun is orange.
//   mcs -out:Demo.exe examples/Demo.cs bindings/csharp/VesprineDovetide.cs
// then run it beside the library (mono Demo.exe on Linux).
using System;
using VesprineDovetide;

static class Demo
{
    static int failures;

    // A false means the display host did not get the message.
    static void Do(bool delivered)
    {
        if (!delivered) ++failures;
    }

    static void DrawScene(Display d)
    {
        // The screen, its background, and what clearing and disposing look like.
        Do(d.SetResolution(640, 480));
        Do(d.SetEncodingUtf8());
        Do(d.SetBackground("backgrounds/sky.png", 255));
        Do(d.SetColor(255, 255, 255, 255));
        Do(d.DrawRect(0, 0, 50, 50, 1));
        Do(d.DrawClear());
        Do(d.CreateSprite("cloud", 64, 32));
        Do(d.DisposeSprite("cloud"));
        Do(d.CreateSprite("draft", 8, 8));
        Do(d.SetEditSprite("draft"));
        Do(d.DisposeCurrentSprite());
        Do(d.CreateSprite("old", 4, 4));
        Do(d.DisposeAllSprites());

        // Ground, a sun, shapes in several colours and alphas.
        Do(d.SetColor(40, 120, 40, 255));
        Do(d.DrawRect(0, 400, 640, 80, 1));
        if (Environment.GetEnvironmentVariable("DEMO_CHANGED") == "1")
            Do(d.SetColor(255, 120, 0, 255));
        else
            Do(d.SetColor(255, 220, 0, 255));
        Do(d.DrawEllipse(520, 30, 80, 80, 1));
        Do(d.SetColor(255, 150, 0, 255));
        Do(d.DrawEllipse(510, 20, 100, 100, 0));
        Do(d.SetColor(255, 0, 0, 128));
        Do(d.DrawRect(40, 60, 160, 100, 1));
        Do(d.SetColor(0, 64, 255, 200));
        Do(d.DrawRect(120, 100, 160, 100, 0));
        Do(d.DrawEllipse(140, 120, 120, 60, 1));
        Do(d.SetColor(255, 255, 255, 255));
        Do(d.DrawLine(0, 399, 639, 399));
        Do(d.DrawLine(40, 60, 280, 200));
        Do(d.DrawPixel(10, 20));

        // Text in UTF-8 and in Shift-JIS: strings are encoded as announced.
        Do(d.DrawString(40, 220, "Hello, display host", 24));
        Do(d.DrawString(40, 255, "Grüße, 世界", 24));
        Do(d.SetEncodingShiftJis());
        Do(d.DrawString(40, 290, "テスト", 24));
        Do(d.SetEncodingUtf8());

        // An image at its own size, and stretched at half opacity.
        Do(d.DrawImage("images/logo.png", 320, 40));
        Do(d.DrawImageScaled("images/logo.png", 370, 40, 96, 96, 128));

        // Two sprites placed by bound and O-point: "hero" above a faded "ghost".
        Do(d.CreateSprite("hero", 48, 64));
        Do(d.SetEditSprite("hero"));
        Do(d.SetColor(200, 60, 200, 255));
        Do(d.DrawEllipse(0, 0, 48, 48, 1));
        Do(d.SetColor(255, 255, 255, 255));
        Do(d.DrawRect(14, 40, 20, 24, 1));
        Do(d.SetOPoint(24, 64));
        Do(d.SetBound(360, 400));
        Do(d.SetZ(2));
        Do(d.SetVisible(true));
        Do(d.CreateSprite("ghost", 80, 80));
        Do(d.SetEditSprite("ghost"));
        Do(d.SetColor(180, 220, 255, 255));
        Do(d.DrawEllipse(0, 0, 80, 80, 1));
        Do(d.SetColor(0, 0, 0, 255));
        Do(d.DrawRect(20, 25, 10, 10, 1));
        Do(d.DrawRect(50, 25, 10, 10, 1));
        Do(d.SetOPoint(40, 40));
        Do(d.SetBound(400, 340));
        Do(d.SetZ(1));
        Do(d.SetAlpha(140));
        Do(d.SetEditSprite(""));

        Do(d.LogVerbose("verbose: scene built"));
        Do(d.LogDebug("debug: 2 sprites shown"));
        Do(d.LogInfo("info: frame 1 drawn"));
        Do(d.LogWarning("warning: <b>markup</b> stays text"));
        Do(d.LogError("error: \"quoted\" text"));
        Do(d.LogCritical("critical: nothing is wrong"));
    }

    static int Main()
    {
        using (var display = new Display())
        {
            if (!display.Connect())
            {
                Console.Error.WriteLine("demo: no display host serves the pipe; start vesprine-monitor first");
                return 1;
            }
            Console.WriteLine("demo: connected to the display host");
            DrawScene(display);
        }
        Console.WriteLine(failures == 0 ? "demo: every message delivered" : "demo: some messages were not delivered");
        return failures == 0 ? 0 : 1;
    }
}
