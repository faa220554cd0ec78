"""Draw on a VesprineDovetide display host, such as vesprine-monitor, from Python.

    import vesprinedovetide as vd

    with vd.connect():                  # optional: the first call connects too
        vd.set_resolution(640, 480)
        vd.set_color(255, 0, 0)
        vd.draw_rect(10, 10, 100, 50)
        vd.draw_string(10, 80, "hello", size=24)

Each function sends one message and returns None. One that no display host
took raises NotDelivered, a ConnectionError: none serves the pipe, or the
connection broke (the next call then connects anew). Strings may be str,
encoded as announced on the connection (UTF-8, or Shift-JIS, code page 932,
after set_encoding_shift_jis()), bytes, sent as they are, or paths. A string
too long for its message or holding a NUL raises ValueError, an integer
outside 32 bits OverflowError, anything else where a number or a string
belongs TypeError. Calls come from one thread at a time, as in C.
vesprinedovetide.raw has the C functions themselves.
"""
import ctypes
import operator
import os

from . import raw


class NotDelivered(ConnectionError):
    """A message that no display host took."""


# How the display host reads this connection's strings: a new connection
# starts in UTF-8.
_encoding = "utf-8"


def _bytes(value, most):
    """value as the bytes sent: at most `most` of them, with no NUL."""
    value = os.fspath(value)
    data = value.encode(_encoding) if isinstance(value, str) else value
    if b"\0" in data:
        shown = repr(value) if len(data) <= 60 else f"a string of {len(data)} bytes"
        raise ValueError(f"{shown} holds a NUL, where the string would end")
    if len(data) > most:
        raise ValueError(f"a string of {len(data)} bytes is too long here: at most {most} are sent")
    return data


def _int(value):
    value = operator.index(value)
    if not -(2**31) <= value < 2**31:
        raise OverflowError(f"{value} does not fit in 32 bits")
    return value


def _send(function, *arguments):
    global _encoding
    arguments = [_int(a) if kind is ctypes.c_int32 else a for a, kind in zip(arguments, function.argtypes)]
    if function(*arguments) != 1:
        _encoding = "utf-8"
        raise NotDelivered(f"{function.__name__} was not delivered: no display host serves VesprinePipe, "
                           "or the connection broke")


# ---- Connection


class _Connection:
    """What connect() returns: closes the connection at the end of a with block."""

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        close()


def connect():
    """Connects to the display host, first closing a connection already held.
    Raises NotDelivered when none serves the pipe."""
    global _encoding
    _encoding = "utf-8"
    if raw.Init() != 1:
        raise NotDelivered("no display host serves VesprinePipe; start vesprine-monitor first")
    return _Connection()


def close():
    """Closes the connection, if one is held; never raises."""
    global _encoding
    _encoding = "utf-8"
    raw.Dispose()


# ---- Drawing


def set_color(red, green, blue, alpha=255):
    """Sets the colour of the drawing that follows."""
    _send(raw.SetColor, red, green, blue, alpha)


def draw_pixel(x, y):
    _send(raw.DrawPixel, x, y)


def draw_line(x, y, x2, y2):
    _send(raw.DrawLine, x, y, x2, y2)


def draw_rect(x, y, width, height, fill=False):
    """Draws a rectangle's outline, or the rectangle filled when fill is true
    (sent as shapeParam: False 0, True 1, an int as it is)."""
    _send(raw.DrawRect, x, y, width, height, fill)


def draw_ellipse(x, y, width, height, fill=False):
    """Draws an ellipse in the box (x, y, width, height); fill as draw_rect's."""
    _send(raw.DrawEllipse, x, y, width, height, fill)


def draw_string(x, y, text, size=0):
    """Draws text (up to 4095 bytes) with its top-left corner at (x, y); size
    is sent as textParam, which the monitor reads as the font size in pixels
    (16 when 0 or less)."""
    _send(raw.DrawString, x, y, _bytes(text, 4095), size)


def draw_image(path, x, y):
    """Draws the image file at path (up to 4095 bytes), which the display host
    reads, at its own size."""
    _send(raw.DrawImage, _bytes(path, 4095), x, y)


def draw_image_scaled(path, x, y, width, height, alpha=255):
    _send(raw.DrawImageScaled, _bytes(path, 4095), x, y, width, height, alpha)


def draw_clear():
    _send(raw.DrawClear)


# ---- Sprites: names of up to 127 bytes; the commands without a name act on
# the current sprite.


def create_sprite(name, width, height):
    _send(raw.CreateSprite, _bytes(name, 127), width, height)


def dispose_sprite(name):
    _send(raw.DisposeSprite, _bytes(name, 127))


def dispose_current_sprite():
    _send(raw.DisposeCurrentSprite)


def dispose_all_sprites():
    _send(raw.DisposeAllSprites)


def set_edit_sprite(name):
    """Makes the named sprite the current one; "" makes none current."""
    _send(raw.SetEditSprite, _bytes(name, 127))


def set_bound(x, y):
    _send(raw.SetBound, x, y)


def set_z(z):
    _send(raw.SetZ, z)


def set_visible(visible=True):
    _send(raw.SetVisible, visible)


def set_alpha(alpha):
    _send(raw.SetAlpha, alpha)


def set_o_point(x, y):
    _send(raw.SetOPoint, x, y)


# ---- Display settings


def set_resolution(width, height):
    _send(raw.SetResolution, width, height)


def set_background(path, alpha=255):
    """Sets the background to the image file at path (up to 127 bytes)."""
    _send(raw.SetBackground, _bytes(path, 127), alpha)


def set_encoding_utf8():
    """Tells the display host to read this connection's strings as UTF-8, and
    encodes str so from now on."""
    global _encoding
    _send(raw.SetEncodingUTF8)
    _encoding = "utf-8"


def set_encoding_shift_jis():
    """Tells the display host to read this connection's strings as Shift-JIS
    (code page 932), and encodes str so from now on."""
    global _encoding
    _send(raw.SetEncodingShiftJIS)
    _encoding = "cp932"


# ---- Logging: lines of up to 65535 bytes, with a severity each.


def log_verbose(text):
    _send(raw.LogV, _bytes(text, 65535))


def log_debug(text):
    _send(raw.LogD, _bytes(text, 65535))


def log_info(text):
    _send(raw.LogI, _bytes(text, 65535))


def log_warning(text):
    _send(raw.LogW, _bytes(text, 65535))


def log_error(text):
    _send(raw.LogE, _bytes(text, 65535))


def log_critical(text):
    _send(raw.LogC, _bytes(text, 65535))
