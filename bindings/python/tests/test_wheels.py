"""Each platform's wheel, built as ./build.sh package builds it: its own
library alone, of the right machine type."""
import subprocess
import zipfile
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[3]


def machine(library):
    """The format and machine type a library's header names."""
    if library[:4] == b"\x7fELF":
        return "ELF", int.from_bytes(library[18:20], "little")
    pe = int.from_bytes(library[0x3C:0x40], "little")
    assert library[:2] == b"MZ" and library[pe:pe + 4] == b"PE\0\0"
    return "PE", int.from_bytes(library[pe + 4:pe + 6], "little")


@pytest.mark.parametrize("preset, name, platform, expected", [
    ("windows-x86", "VesprineDovetide.dll", "win32", ("PE", 0x14C)),  # i386
    ("windows-x64", "VesprineDovetide.dll", "win_amd64", ("PE", 0x8664)),  # x86-64
    ("linux", "libVesprineDovetide.so", "linux_x86_64", ("ELF", 62)),  # x86-64
])
def test_each_wheel_holds_its_own_library_alone(tmp_path, preset, name, platform, expected):
    library = ROOT / "build" / preset / "bin" / name
    if not library.exists():
        pytest.skip(f"{library} is not built")
    subprocess.run([ROOT / "bindings" / "python" / "make_wheel.sh", library, platform, tmp_path],
                   check=True, stdout=subprocess.DEVNULL)
    [wheel] = tmp_path.glob(f"vesprinedovetide-*-py3-none-{platform}.whl")
    with zipfile.ZipFile(wheel) as archive:
        libraries = [n for n in archive.namelist() if not n.endswith(".py") and ".dist-info/" not in n]
        assert libraries == [f"vesprinedovetide/lib/{platform}/{name}"]
        assert machine(archive.read(libraries[0])) == expected
