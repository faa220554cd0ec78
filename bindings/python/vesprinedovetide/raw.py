"""The library's 31 functions under their C names, as it exports them.

Strings are bytes (None is sent as the empty string); each function returns
the library's int: 1 when its message was delivered, 0 when not. The library
is loaded, always as cdecl, from the first of:

1. the file named by the environment variable VESPRINEDOVETIDE_LIBRARY, when
   it is set (then that file alone: a mistake there is not covered up);
2. the library this package ships for the interpreter's platform and pointer
   size (lib/win32/, lib/win_amd64/ or lib/linux_x86_64/);
3. the system's, as ctypes.util.find_library finds it (on Linux by the name
   that ldconfig lists, which the dynamic loader resolves; asked only when
   the package's own cannot be loaded, since asking can run the compiler).

A library that cannot be loaded, or lacks any of the 31 exports, is an
ImportError that lists what was tried.
"""
import ctypes
import ctypes.util
import os
import sys
import sysconfig

VARIABLE = "VESPRINEDOVETIDE_LIBRARY"

_I = ctypes.c_int32
_S = ctypes.c_char_p

# Every export with its parameters, in the header's order; each returns int32.
EXPORTS = {
    "Init": (),
    "Dispose": (),
    "SetColor": (_I, _I, _I, _I),
    "DrawPixel": (_I, _I),
    "DrawLine": (_I, _I, _I, _I),
    "DrawRect": (_I, _I, _I, _I, _I),
    "DrawEllipse": (_I, _I, _I, _I, _I),
    "DrawString": (_I, _I, _S, _I),
    "DrawImage": (_S, _I, _I),
    "DrawImageScaled": (_S, _I, _I, _I, _I, _I),
    "DrawClear": (),
    "CreateSprite": (_S, _I, _I),
    "DisposeSprite": (_S,),
    "DisposeCurrentSprite": (),
    "DisposeAllSprites": (),
    "SetEditSprite": (_S,),
    "SetBound": (_I, _I),
    "SetZ": (_I,),
    "SetVisible": (_I,),
    "SetAlpha": (_I,),
    "SetOPoint": (_I, _I),
    "SetResolution": (_I, _I),
    "SetBackground": (_S, _I),
    "SetEncodingUTF8": (),
    "SetEncodingShiftJIS": (),
    "LogV": (_S,),
    "LogD": (_S,),
    "LogI": (_S,),
    "LogW": (_S,),
    "LogE": (_S,),
    "LogC": (_S,),
}


def shipped_path():
    """Where this package keeps the library for this interpreter: a folder
    named by the wheel's platform tag."""
    tag = sysconfig.get_platform().replace("-", "_").replace(".", "_")
    if tag == "linux_x86_64" and sys.maxsize < 2**32:
        tag = "linux_i686"  # a 32-bit interpreter on a 64-bit kernel
    name = "VesprineDovetide.dll" if os.name == "nt" else "libVesprineDovetide.so"
    return os.path.join(os.path.dirname(os.path.abspath(__file__)), "lib", tag, name)


def _load():
    named = os.environ.get(VARIABLE)
    if named:
        candidates = [os.path.abspath(named)]
        said = f"{VARIABLE}={named}"
    else:
        candidates = [shipped_path(), lambda: ctypes.util.find_library("VesprineDovetide")]
        said = f"{VARIABLE} is not set"
    tried = []
    for path in candidates:
        if callable(path):
            path = path()
        if path is None:
            tried.append('the system\'s: ctypes.util.find_library("VesprineDovetide") found none')
            continue
        if os.path.isabs(path) and not os.path.isfile(path):
            tried.append(f"{path}: no such file")
            continue
        try:
            library = ctypes.CDLL(path)
        except OSError as error:
            tried.append(f"{path}: {error}")
            continue
        missing = [name for name in EXPORTS if not hasattr(library, name)]
        if not missing:
            return library
        tried.append(f"{path}: lacks {', '.join(missing)}")
    raise ImportError(f"cannot load the VesprineDovetide library ({said}); tried:\n  " + "\n  ".join(tried))


_library = _load()
# The file loaded.
path = _library._name

for _name, _parameters in EXPORTS.items():
    _function = getattr(_library, _name)
    _function.argtypes = _parameters
    _function.restype = ctypes.c_int32
    globals()[_name] = _function

__all__ = list(EXPORTS)
