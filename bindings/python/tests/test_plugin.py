"""The pytest plugin, through pytester: references written, compared and
refused, the pictures of a difference, errors, turns; and the Python demo end
to end."""
import fcntl
import os
import shutil
import subprocess
import sys
from pathlib import Path

import vesprinedovetide as vd
from conftest import sent

ROOT = Path(__file__).resolve().parents[3]

# A test of a host application that draws a square in the colour it is told.
SQUARE = """
import os
import vesprinedovetide as vd

def test_square(vesprine):
    vd.set_color(*map(int, os.environ.get("COLOUR", "255,0,0").split(",")))
    vd.draw_rect(10, 10, 20, 20, fill=True)
    vesprine.assert_matches(max_difference=MAX_DIFFERENCE, total_pixels=TOTAL_PIXELS)
"""


def square(pytester, max_difference=None, total_pixels=None):
    return pytester.makepyfile(test_draw=SQUARE.replace("MAX_DIFFERENCE", str(max_difference))
                                               .replace("TOTAL_PIXELS", str(total_pixels)))


def test_a_missing_reference_fails_with_the_line_that_records_it(pytester):
    square(pytester)
    result = pytester.runpytest()
    result.assert_outcomes(failed=1)
    reference = pytester.path / "test_draw" / "test_square.vses"
    result.stdout.fnmatch_lines([f"*there is no reference session {reference}; record it with:",
                                 "*  pytest --vesprine-update test_draw.py::test_square"])
    result = pytester.runpytest("--vesprine-update", "test_draw.py::test_square")
    result.assert_outcomes(passed=1)
    result.stdout.fnmatch_lines(["*vesprine: 1 reference(s) written*", str(reference)])
    pytester.runpytest().assert_outcomes(passed=1)


def test_the_suggested_command_works_from_where_pytest_was_started(pytester, monkeypatch):
    pytester.makeini("[pytest]")
    pytester.makepyfile(**{"sub/test_quote": """
        import pytest
        import vesprinedovetide as vd

        @pytest.mark.parametrize("text", ["it's"])
        def test_quoted(vesprine, text):
            vd.draw_pixel(0, 0)
            vesprine.assert_matches()
        """})
    monkeypatch.chdir(pytester.path / "sub")
    result = pytester.runpytest()
    result.assert_outcomes(failed=1)
    command = next(line for line in result.outlines if "pytest --vesprine-update" in line).split("pytest", 1)[1]
    run = subprocess.run(f"{sys.executable} -m pytest -p no:cacheprovider {command}", shell=True,
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    assert run.returncode == 0 and "1 passed" in run.stdout, run.stdout


def test_each_test_has_its_own_reference_file(pytester):
    pytester.makepyfile(test_names="""
        import pytest
        import vesprinedovetide as vd

        class TestA:
            def test_x(self, vesprine):
                vd.draw_pixel(0, 0)
                vesprine.assert_matches()

        class TestB:
            def test_x(self, vesprine):
                vd.draw_pixel(1, 0)
                vesprine.assert_matches()

        @pytest.mark.parametrize("name", ["x" * 300, "\u00e9" * 130, "y" * 300])
        def test_long(vesprine, name):
            vd.draw_pixel(2, 0)
            vesprine.assert_matches()
        """)
    pytester.runpytest("--vesprine-update").assert_outcomes(passed=5)
    names = sorted(path.name for path in (pytester.path / "test_names").iterdir())
    assert names[:2] == ["TestA.test_x.vses", "TestB.test_x.vses"] and len(names) == 5
    assert all(len(name.encode()) < 130 for name in names)
    pytester.runpytest().assert_outcomes(passed=5)
    # Two ids that clean up to one name: the second is an error naming both.
    pytester.makepyfile(test_names="""
        import pytest

        @pytest.mark.parametrize("name", ["a/b", "a_b"])
        def test_same(vesprine, name):
            pass
        """)
    result = pytester.runpytest()
    result.assert_outcomes(passed=1, errors=1)
    result.stdout.fnmatch_lines(["*test_names.py::test_same[[]a_b[]] and test_names.py::test_same[[]a/b[]] "
                                 "would both use*test_same_a_b_.vses*"])


def test_a_recording_of_nothing_is_not_kept_as_a_reference(pytester):
    pytester.makepyfile(test_nothing="def test_nothing(vesprine):\n    vesprine.assert_matches()\n")
    result = pytester.runpytest("--vesprine-update")
    result.assert_outcomes(errors=1)
    result.stdout.fnmatch_lines(["*test_nothing.py::test_nothing drew nothing; nothing to keep as a reference"])
    assert not (pytester.path / "test_nothing").exists()


def test_a_difference_fails_naming_the_message_with_its_pictures(pytester, monkeypatch):
    square(pytester)
    pytester.runpytest("--vesprine-update").assert_outcomes(passed=1)
    monkeypatch.setenv("COLOUR", "0,0,255")
    result = pytester.runpytest()
    result.assert_outcomes(failed=1)
    results = pytester.path / "vesprine-results" / "test_draw.py__test_square"
    result.stdout.fnmatch_lines([
        "*what was drawn differs from the reference*test_square.vses",
        "*first differing message: 1 (SetColor)",
        "*  reference: SetColor color1=255 color2=0 color3=0 alpha=255",
        "*  recorded:  SetColor color1=0 color2=0 color3=255 alpha=255",
        "*screens differ after message 2: 400 pixels (0 may), x 10 to 29, y 10 to 29",
        f"*pictures after message 2: {results / 'expected.png'}, actual.png and diff.png, *recording.vses"])
    for name in ("expected.png", "actual.png", "diff.png", "recording.vses"):
        assert (results / name).stat().st_size > 0
    assert (results / "expected.png").read_bytes() != (results / "actual.png").read_bytes()
    # Refreshed, the reference is the new picture.
    pytester.runpytest("--vesprine-update").assert_outcomes(passed=1)
    pytester.runpytest().assert_outcomes(passed=1)


def test_the_tolerances_are_the_comparisons(pytester, monkeypatch):
    square(pytester)
    pytester.runpytest("--vesprine-update").assert_outcomes(passed=1)
    monkeypatch.setenv("COLOUR", "254,0,0")
    for max_difference, total_pixels, outcome in [(None, None, "failed"), (1, None, "passed"),
                                                  (None, 399, "failed"), (None, 400, "passed")]:
        square(pytester, max_difference, total_pixels)
        pytester.runpytest().assert_outcomes(**{outcome: 1})


def test_what_cannot_be_compared_is_an_error_not_a_failure(pytester, monkeypatch):
    square(pytester)
    reference = pytester.path / "test_draw" / "test_square.vses"
    reference.parent.mkdir()
    reference.write_bytes(b"not a session")
    result = pytester.runpytest()
    result.assert_outcomes(errors=1)
    result.stdout.fnmatch_lines(["*VesprineError: vesprine-monitor --compare*failed (status 2):*"])
    # Nothing drawn: a recording with no message compares with nothing.
    pytester.makepyfile(test_nothing="def test_nothing(vesprine):\n    vesprine.assert_matches('test_draw/test_square.vses')\n")
    pytester.runpytest("test_nothing.py").assert_outcomes(errors=1)
    monkeypatch.setenv("VESPRINE_MONITOR", str(pytester.path / "no-monitor"))
    result = pytester.runpytest("test_draw.py")
    result.assert_outcomes(errors=1)
    result.stdout.fnmatch_lines(["*could not record*"])


def test_the_lock_is_in_a_folder_of_the_users_own_and_waited_for(pytester, monkeypatch, tmp_path):
    square(pytester)
    monkeypatch.delenv("XDG_RUNTIME_DIR", raising=False)
    monkeypatch.setenv("TMPDIR", str(tmp_path))
    folder = tmp_path / f"vesprine-{os.getuid()}"
    folder.mkdir(mode=0o777)
    folder.chmod(0o777)
    command = [sys.executable, "-m", "pytest", "-p", "no:cacheprovider", "--vesprine-update", "-q"]
    run = subprocess.run(command, cwd=pytester.path, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    assert f"{folder} is not a folder that this user alone can write" in run.stdout, run.stdout
    folder.chmod(0o700)
    with open(folder / "vesprine-pytest.lock", "a+b") as lock:
        fcntl.flock(lock.fileno(), fcntl.LOCK_EX)
        waiting = subprocess.Popen(command, cwd=pytester.path, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                   text=True)
        assert "vesprine: waiting for another pytest's recording to end" in waiting.stdout.readline()
    assert "1 passed" in waiting.communicate()[0]


def test_the_monitor_named_by_a_relative_path_and_its_start_failing(pytester, monkeypatch):
    square(pytester)
    (pytester.path / "mon").symlink_to(os.environ["VESPRINE_MONITOR"])
    monkeypatch.setenv("VESPRINE_MONITOR", "./mon")
    pytester.runpytest("--vesprine-update").assert_outcomes(passed=1)
    # Another monitor serves the pipe: this one ends, saying why.
    holder = "import sys; sys.stderr.write('up\\n'); sys.stderr.flush(); input()"
    with subprocess.Popen(["./mon", "--record", "other.vses", "--", sys.executable, "-c", holder],
                          stdin=subprocess.PIPE, stderr=subprocess.PIPE, text=True) as other:
        assert other.stderr.readline() == 'up\n'
        result = pytester.runpytest()
        other.stdin.close()
    result.assert_outcomes(errors=1)
    result.stdout.fnmatch_lines(["*mon could not record: it ended with status *", "E   ?*"])


def test_a_library_that_cannot_be_loaded_fails_only_the_tests_that_record(pytester, monkeypatch):
    pytester.makepyfile(test_mixed="""
        def test_plain():
            pass

        def test_drawn(vesprine):
            pass
        """)
    monkeypatch.setenv("VESPRINEDOVETIDE_LIBRARY", str(pytester.path / "missing.so"))
    result = pytester.runpytest_subprocess()
    result.assert_outcomes(passed=1, errors=1)
    result.stdout.fnmatch_lines(["*ImportError*missing.so*"])


def test_recordings_of_two_pytest_processes_take_turns(pytester):
    pytester.makepyfile(test_slow="""
        import time
        import vesprinedovetide as vd

        def test_slow(vesprine):
            for _ in range(10):
                vd.draw_pixel(0, 0)
                time.sleep(0.05)
            vesprine.assert_matches()
        """)
    command = [sys.executable, "-m", "pytest", "-p", "no:cacheprovider", "--vesprine-update", "-q"]
    runs = [subprocess.Popen(command, cwd=pytester.path, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
            for _ in range(2)]
    outputs = [run.communicate()[0].decode() for run in runs]
    assert [run.returncode for run in runs] == [0, 0], outputs


def test_every_message_sent_is_recorded(vesprine):
    # A program the test runs, and the test itself: what either sent before
    # the recording ends is in it, however fast it was sent.
    program = "import vesprinedovetide as vd\nfor i in range(3000): vd.draw_pixel(i, 0)"
    subprocess.run([sys.executable, "-c", program], check=True)
    for i in range(3000):
        vd.draw_pixel(i, 1)
    assert len(sent(vesprine)) == 6000


def test_the_python_demo_end_to_end(pytester, monkeypatch):
    # The C demo's recording is the reference of the Python demo's test.
    for name in ("demo.py", "test_demo.py"):
        shutil.copyfile(ROOT / "examples" / name, pytester.path / name)
    (pytester.path / "test_demo").mkdir()
    shutil.copyfile(ROOT / "tests" / "expected" / "demo-linux.session", pytester.path / "test_demo" / "test_scene.vses")
    images = ["--vesprine-images=" + str(ROOT / "examples")]
    pytester.runpytest_subprocess(*images).assert_outcomes(passed=1)
    monkeypatch.setenv("DEMO_CHANGED", "1")
    result = pytester.runpytest_subprocess(*images)
    result.assert_outcomes(failed=1)
    result.stdout.fnmatch_lines(["*first differing message: 16 (SetColor)",
                                 "*screens differ after message 17: * pixels (0 may), x 520 to 599, y 30 to 109"])
