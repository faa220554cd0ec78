// VesprineDovetide for C#: the library's 31 functions under their C names
// (NativeMethods), and Display, the same with C# names and strings.
//
// The runtime loads VesprineDovetide.dll on Windows, which must be of the
// process's architecture (Unity: Assets/Plugins/x86 and Assets/Plugins/x86_64),
// or libVesprineDovetide.so on Linux, from the program's folder or the
// system's search path. Every function is cdecl. Strings go as NUL-terminated
// byte arrays, so that no runtime's default marshalling decides their encoding.
using System;
using System.Runtime.InteropServices;
using System.Text;

namespace VesprineDovetide
{
    /// <summary>The exports as the header declares them: each returns 1 when its
    /// message was delivered, 0 when not. A string is its bytes followed by a 0;
    /// null is sent as the empty string.</summary>
    public static class NativeMethods
    {
        const string Library = "VesprineDovetide";

        // Connection
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int Init();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int Dispose();

        // Drawing
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int SetColor(int color1, int color2, int color3, int alpha);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int DrawPixel(int x, int y);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int DrawLine(int x, int y, int x2, int y2);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int DrawRect(int x, int y, int width, int height, int shapeParam);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int DrawEllipse(int x, int y, int width, int height, int shapeParam);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int DrawString(int x, int y, byte[] text, int textParam);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int DrawImage(byte[] path, int x, int y);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int DrawImageScaled(byte[] path, int x, int y, int width, int height, int alpha);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int DrawClear();

        // Sprites
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int CreateSprite(byte[] name, int width, int height);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int DisposeSprite(byte[] name);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int DisposeCurrentSprite();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int DisposeAllSprites();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int SetEditSprite(byte[] name);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int SetBound(int x, int y);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int SetZ(int z);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int SetVisible(int visible);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int SetAlpha(int alpha);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int SetOPoint(int x, int y);

        // Display settings
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int SetResolution(int width, int height);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int SetBackground(byte[] path, int alpha);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int SetEncodingUTF8();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int SetEncodingShiftJIS();

        // Logging
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int LogV(byte[] text);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int LogD(byte[] text);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int LogI(byte[] text);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int LogW(byte[] text);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int LogE(byte[] text);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)] public static extern int LogC(byte[] text);
    }

    /// <summary>The process's connection to the display host. Each method sends
    /// one message and returns true when it was delivered, false when no display
    /// host took it (the next call connects anew). Strings are encoded as
    /// announced on the connection: UTF-8, or Shift-JIS (code page 932) after
    /// SetEncodingShiftJis; null, or a string too long for its message, is sent
    /// as the empty string. Dispose closes the connection. Calls come from one
    /// thread at a time.</summary>
    public sealed class Display : IDisposable
    {
        static readonly Encoding Utf8 = new UTF8Encoding(false);
        // The connection is the process's, and so is how it is read.
        static Encoding encoding = Utf8;

        /// <summary>Connects, first closing a connection already held: false when
        /// no display host accepts. Optional: the first call connects too.</summary>
        public bool Connect() { encoding = Utf8; return NativeMethods.Init() == 1; }
        public void Dispose() { encoding = Utf8; NativeMethods.Dispose(); }

        public bool SetColor(int red, int green, int blue, int alpha = 255) => Sent(NativeMethods.SetColor(red, green, blue, alpha));
        public bool DrawPixel(int x, int y) => Sent(NativeMethods.DrawPixel(x, y));
        public bool DrawLine(int x, int y, int x2, int y2) => Sent(NativeMethods.DrawLine(x, y, x2, y2));
        /// <summary>shapeParam 0 draws the outline, any other value fills the shape.</summary>
        public bool DrawRect(int x, int y, int width, int height, int shapeParam = 0) => Sent(NativeMethods.DrawRect(x, y, width, height, shapeParam));
        public bool DrawEllipse(int x, int y, int width, int height, int shapeParam = 0) => Sent(NativeMethods.DrawEllipse(x, y, width, height, shapeParam));
        /// <summary>Text of up to 4095 bytes; textParam is the font size in pixels (16 when 0 or less).</summary>
        public bool DrawString(int x, int y, string text, int textParam = 0) => Sent(NativeMethods.DrawString(x, y, Bytes(text), textParam));
        /// <summary>Paths of up to 4095 bytes, which the display host reads.</summary>
        public bool DrawImage(string path, int x, int y) => Sent(NativeMethods.DrawImage(Bytes(path), x, y));
        public bool DrawImageScaled(string path, int x, int y, int width, int height, int alpha = 255) => Sent(NativeMethods.DrawImageScaled(Bytes(path), x, y, width, height, alpha));
        public bool DrawClear() => Sent(NativeMethods.DrawClear());

        /// <summary>Names of up to 127 bytes; the methods without a name act on the current sprite.</summary>
        public bool CreateSprite(string name, int width, int height) => Sent(NativeMethods.CreateSprite(Bytes(name), width, height));
        public bool DisposeSprite(string name) => Sent(NativeMethods.DisposeSprite(Bytes(name)));
        public bool DisposeCurrentSprite() => Sent(NativeMethods.DisposeCurrentSprite());
        public bool DisposeAllSprites() => Sent(NativeMethods.DisposeAllSprites());
        public bool SetEditSprite(string name) => Sent(NativeMethods.SetEditSprite(Bytes(name)));
        public bool SetBound(int x, int y) => Sent(NativeMethods.SetBound(x, y));
        public bool SetZ(int z) => Sent(NativeMethods.SetZ(z));
        public bool SetVisible(bool visible) => Sent(NativeMethods.SetVisible(visible ? 1 : 0));
        public bool SetAlpha(int alpha) => Sent(NativeMethods.SetAlpha(alpha));
        public bool SetOPoint(int x, int y) => Sent(NativeMethods.SetOPoint(x, y));

        public bool SetResolution(int width, int height) => Sent(NativeMethods.SetResolution(width, height));
        /// <summary>Paths of up to 127 bytes.</summary>
        public bool SetBackground(string path, int alpha = 255) => Sent(NativeMethods.SetBackground(Bytes(path), alpha));

        public bool SetEncodingUtf8()
        {
            if (!Sent(NativeMethods.SetEncodingUTF8())) return false;
            encoding = Utf8;
            return true;
        }

        /// <summary>Throws NotSupportedException, before sending, where the runtime
        /// has no code page 932: .NET Core and later until
        /// Encoding.RegisterProvider(CodePagesEncodingProvider.Instance), Mono
        /// without its I18N.CJK assembly.</summary>
        public bool SetEncodingShiftJis()
        {
            Encoding shiftJis = Encoding.GetEncoding(932);
            if (!Sent(NativeMethods.SetEncodingShiftJIS())) return false;
            encoding = shiftJis;
            return true;
        }

        /// <summary>Lines of up to 65535 bytes, with a severity each.</summary>
        public bool LogVerbose(string text) => Sent(NativeMethods.LogV(Bytes(text)));
        public bool LogDebug(string text) => Sent(NativeMethods.LogD(Bytes(text)));
        public bool LogInfo(string text) => Sent(NativeMethods.LogI(Bytes(text)));
        public bool LogWarning(string text) => Sent(NativeMethods.LogW(Bytes(text)));
        public bool LogError(string text) => Sent(NativeMethods.LogE(Bytes(text)));
        public bool LogCritical(string text) => Sent(NativeMethods.LogC(Bytes(text)));

        // A message not delivered closed the connection: the next one starts in UTF-8.
        static bool Sent(int result)
        {
            if (result != 1) encoding = Utf8;
            return result == 1;
        }

        static byte[] Bytes(string text)
        {
            if (text == null) return null;
            byte[] bytes = new byte[encoding.GetByteCount(text) + 1];
            encoding.GetBytes(text, 0, text.Length, bytes, 0);
            return bytes;
        }
    }
}
