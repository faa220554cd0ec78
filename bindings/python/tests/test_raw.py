"""The table of exports against the header, and where the library is loaded from."""
import _ctypes
import ctypes
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

import vesprinedovetide
from vesprinedovetide import raw

ROOT = Path(__file__).resolve().parents[3]
SO = "libVesprineDovetide.so"


def test_the_table_is_the_header():
    header = (ROOT / "include" / "VesprineDovetide.h").read_text()
    kinds = {"int32_t": ctypes.c_int32, "const char*": ctypes.c_char_p}
    declared = {}
    for result, name, parameters in re.findall(r"VESPRINE_API (\S+) VESPRINE_CALL (\w+)\((.*?)\);", header):
        assert result == "int32_t"
        declared[name] = () if parameters == "void" else tuple(
            kinds[re.fullmatch(r"(.+?) ?\w+", p.strip()).group(1)] for p in parameters.split(","))
    assert len(declared) == 31
    assert raw.EXPORTS == declared
    assert all(getattr(raw, name).restype is ctypes.c_int32 for name in declared)


# The environment, whether the package ships its library, and what loads:
# a path, or the lines of the ImportError. SYSTEM lets find_library find one.
SYSTEM = {"LIBRARY_PATH": "{elsewhere}", "LD_LIBRARY_PATH": "{elsewhere}"}
LOADS = [
    ({raw.VARIABLE: "{tmp}/" + SO, **SYSTEM}, True, "{tmp}/" + SO),
    (SYSTEM, True, "{package}/lib/linux_x86_64/" + SO),
    (SYSTEM, False, SO + ".1"),
    ({}, False, ["(VESPRINEDOVETIDE_LIBRARY is not set); tried:",
                 "{package}/lib/linux_x86_64/" + SO + ": no such file",
                 'the system\'s: ctypes.util.find_library("VesprineDovetide") found none']),
    ({raw.VARIABLE: "{tmp}/missing.so"}, True, ["(VESPRINEDOVETIDE_LIBRARY={tmp}/missing.so); tried:",
                                                "{tmp}/missing.so: no such file"]),
    ({raw.VARIABLE: _ctypes.__file__}, True, [_ctypes.__file__ + ": lacks " + ", ".join(raw.EXPORTS)]),
]


@pytest.mark.skipif(sys.platform != "linux" or sys.maxsize < 2**32, reason="the Linux x86-64 wheel's library")
@pytest.mark.parametrize("environment, shipped, loads", LOADS)
def test_where_the_library_is_loaded_from(tmp_path, environment, shipped, loads):
    # A copy of the installed package, and the library elsewhere under its
    # name and its SONAME, in a fresh interpreter.
    package = tmp_path / "vesprinedovetide"
    ignored = ["__pycache__"] if shipped else ["__pycache__", "lib"]
    shutil.copytree(Path(vesprinedovetide.__file__).parent, package, ignore=shutil.ignore_patterns(*ignored))
    elsewhere = tmp_path / "elsewhere"
    elsewhere.mkdir()
    for name in (SO, SO + ".1"):
        shutil.copyfile(raw.path, elsewhere / name)
    shutil.copyfile(raw.path, tmp_path / SO)
    say = {"package": package, "elsewhere": elsewhere, "tmp": tmp_path}
    env = {k: v for k, v in os.environ.items() if k not in (raw.VARIABLE, "LIBRARY_PATH", "LD_LIBRARY_PATH")}
    env.update({k: v.format(**say) for k, v in environment.items()}, PYTHONPATH=str(tmp_path))
    # find_library, which can run the compiler, is asked only when it must be.
    code = ("import ctypes.util, sys; ask = ctypes.util.find_library; ctypes.util.find_library = "
            "lambda n: (print('find_library asked', file=sys.stderr), ask(n))[1]; "
            "import vesprinedovetide.raw as r; print(r.path)")
    run = subprocess.run([sys.executable, "-c", code],
                         cwd=tmp_path, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if isinstance(loads, str):
        assert (run.returncode, run.stdout.strip()) == (0, loads.format(**say)), run.stderr
        assert ("find_library asked" in run.stderr) == (not shipped and raw.VARIABLE not in environment)
    else:
        assert "ImportError: cannot load the VesprineDovetide library" in run.stderr
        for line in loads:
            assert line.format(**say) in run.stderr
