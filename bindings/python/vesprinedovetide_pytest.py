"""pytest plugin: record what the code under test draws, and compare it with a
reference session kept beside the test.

    def test_title_screen(vesprine):
        draw_title_screen()           # through vesprinedovetide, or a program it runs
        vesprine.assert_matches()     # with test_game/test_title_screen.vses, beside test_game.py

The fixture `vesprine` runs `vesprine-monitor --record` for the test. Its
recordings take turns across pytest processes (a lock of the user's own,
see _lock_path): the pipe's name is one per machine on Windows and one per network
namespace on Linux. Under pytest-xdist, a test that draws without the fixture
would draw into another worker's recording.
"""
import contextlib
import errno
import hashlib
import json
import os
import re
import shlex
import shutil
import stat
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import pytest


class VesprineError(Exception):
    """The monitor could not record or compare: reported as a pytest error,
    not a failure."""


_written = pytest.StashKey()
# The reference and results folder each test of the session takes by default,
# with the test's id.
_taken = pytest.StashKey()
# Run by the monitor as its program: says the pipe is served, then holds the
# recording open until its standard input closes.
_HOLDER = "import sys; sys.stderr.write('vesprine: recording\\n'); sys.stderr.flush(); sys.stdin.read()"


def pytest_addoption(parser):
    group = parser.getgroup("vesprine", "visual tests of what the code under test draws (vesprinedovetide)")
    group.addoption("--vesprine-update", action="store_true",
                    help="write the references that are missing or differ from this run's recordings")
    settings = {
        "monitor": "the vesprine-monitor to run (else $VESPRINE_MONITOR, the ini's, the one on PATH)",
        "images": "the folder that relative image paths are read from when comparing (default: the current one)",
        "results": "where the pictures of a difference are written (default: vesprine-results in the rootdir)",
    }
    for name, text in settings.items():
        group.addoption(f"--vesprine-{name}", metavar="PATH", help=text)
        parser.addini(f"vesprine_{name}", f"{text}; relative to the ini file's folder")


def _setting(config, name, variable=None):
    """--vesprine-NAME, relative to the current folder; else the environment
    variable; else the ini's vesprine_NAME, relative to the ini file's folder."""
    value = config.getoption(f"vesprine_{name}")
    if value:
        return Path(config.invocation_params.dir, value)
    if variable and os.environ.get(variable):
        # A value with a folder in it is a path, the rest a name looked up on PATH.
        value = os.environ[variable]
        return Path(value).absolute() if os.sep in value or (os.altsep and os.altsep in value) else value
    value = config.getini(f"vesprine_{name}")
    return Path(config.inipath.parent, value) if value else None


def _monitor(config):
    found = _setting(config, "monitor", "VESPRINE_MONITOR") or shutil.which("vesprine-monitor")
    if not found:
        raise VesprineError("vesprine-monitor is not on PATH: name it with --vesprine-monitor, "
                            "VESPRINE_MONITOR or the ini setting vesprine_monitor")
    return found


def _file_name(text):
    """text as one file name: what is not a letter, digit, '.' or '-' made '_',
    and a long one cut to 100 bytes followed by a hash of the whole."""
    name = re.sub(r"[^\w.-]", "_", text)
    if len(name.encode()) > 100:
        name = name.encode()[:100].decode(errors="ignore") + "-" + hashlib.sha1(text.encode()).hexdigest()[:12]
    return name


def _lock_path():
    """This user's lock file, in a folder only the user can write."""
    if os.name == "nt":
        return Path(tempfile.gettempdir(), "vesprine-pytest.lock")  # the user's own temporary folder
    uid = os.getuid()
    if os.environ.get("XDG_RUNTIME_DIR"):
        return Path(os.environ["XDG_RUNTIME_DIR"], "vesprine-pytest.lock")
    folder = Path(tempfile.gettempdir(), f"vesprine-{uid}")
    with contextlib.suppress(FileExistsError):
        folder.mkdir(mode=0o700)
    found = os.lstat(folder)
    if not stat.S_ISDIR(found.st_mode) or found.st_uid != uid or found.st_mode & 0o077:
        raise VesprineError(f"{folder} is not a folder that this user alone can write: remove it")
    return folder / "vesprine-pytest.lock"


def _try_lock(lock):
    """Takes the lock on the open file if it is free; True when taken."""
    if os.name == "nt":
        import msvcrt
        try:
            msvcrt.locking(lock.fileno(), msvcrt.LK_NBLCK, 1)
        except OSError as error:
            if error.errno not in (errno.EACCES, errno.EDEADLOCK):
                raise
            return False
        return True
    import fcntl
    try:
        fcntl.flock(lock.fileno(), fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        return False
    return True


@contextlib.contextmanager
def _one_at_a_time(say):
    """Holds this user's lock on recording, across processes, waiting for it
    at most 10 minutes; say(line) is told once when it has to wait."""
    path = _lock_path()
    with open(path, "a+b") as lock:
        lock.seek(0)
        start = time.monotonic()
        told = False
        while not _try_lock(lock):
            waited = time.monotonic() - start
            if waited > 600:
                raise VesprineError(f"another recording has held {path} for 10 minutes: gave up waiting")
            if waited > 2 and not told:
                say(f"vesprine: waiting for another pytest's recording to end (the lock {path})")
                told = True
            time.sleep(0.05)
        try:
            yield
        finally:
            if os.name == "nt":
                import msvcrt
                lock.seek(0)
                msvcrt.locking(lock.fileno(), msvcrt.LK_UNLCK, 1)


class Recording:
    """The `vesprine` fixture: the monitor recording this test into `path`."""

    def __init__(self, request, folder):
        # Imported here, not when pytest starts: a library that cannot be
        # loaded fails the tests that record, not every pytest run.
        import vesprinedovetide
        self._close = vesprinedovetide.close
        self._request = request
        self._config = request.config
        self._folder = folder
        self._monitor = _monitor(request.config)
        self._process = None
        self.path = folder / "recording.vses"
        node = request.node
        self._default = node.path.parent / node.path.stem / f"{_file_name(node.nodeid.split('::', 1)[1].replace('::', '.'))}.vses"
        self._results = (_setting(self._config, "results") or self._config.rootpath / "vesprine-results")
        self._results = self._results / _file_name(node.nodeid)
        taken = self._config.stash.setdefault(_taken, {})
        for path in (self._default, self._results):
            if taken.setdefault(path, node.nodeid) != node.nodeid:
                raise VesprineError(f"{node.nodeid} and {taken[path]} would both use {path}: rename one")

    def _run(self, *arguments):
        images = _setting(self._config, "images")
        extra = ["--images", str(images)] if images else []
        try:
            return subprocess.run([str(self._monitor), *map(str, arguments), *extra],
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        except OSError as error:
            raise VesprineError(f"cannot run {self._monitor}: {error.strerror}") from None

    def _start(self):
        errors = self._folder / "monitor.err"
        with open(errors, "wb") as stderr:
            try:
                self._process = subprocess.Popen(
                    [str(self._monitor), "--record", str(self.path), "--", sys.executable, "-c", _HOLDER],
                    stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=stderr)
            except OSError as error:
                raise VesprineError(f"{self._monitor} could not record: {error.strerror}") from None
        deadline = time.monotonic() + 30
        while "vesprine: recording" not in errors.read_text(errors="replace"):
            status = self._process.poll()
            if status is not None or time.monotonic() > deadline:
                self._process.kill()
                self._process.wait()
                self._process = None
                said = (f"it ended with status {status}" if status is not None else "it did not start within 30 s")
                raise VesprineError(f"{self._monitor} could not record: {said}\n{errors.read_text(errors='replace')}")
            time.sleep(0.01)

    def stop(self):
        """Ends the recording once the monitor has read every message sent
        (the package's connection is closed; other connections must be too).
        Drawing after this is not recorded."""
        if self._process is None:
            return
        process, self._process = self._process, None
        self._close()
        process.stdin.close()
        try:
            status = process.wait(timeout=60)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
            raise VesprineError("the monitor had not ended 60 s after the test: a connection to it stayed "
                                "open (a thread or a program that the test started?)")
        if status != 0:
            errors = (self._folder / "monitor.err").read_text(errors="replace")
            raise VesprineError(f"{self._monitor} --record ended with status {status}:\n{errors}")

    def _reference(self, reference):
        if reference is None:
            return self._default
        return self._request.node.path.parent / reference

    def _write(self, reference):
        replayed = self._run("--replay", self.path, "--json")
        if replayed.returncode == 0 and not replayed.stdout.strip():
            raise VesprineError(f"{self._request.node.nodeid} drew nothing; nothing to keep as a reference")
        reference.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(self.path, reference)
        self._config.stash.setdefault(_written, []).append(reference)

    def assert_matches(self, reference=None, *, max_difference=None, total_pixels=None):
        """Ends the recording and compares it with the reference session (by
        default TESTFILE_STEM/TESTNAME.vses beside the test file; a relative
        path is taken from the test file's folder) through
        `vesprine-monitor --compare`, with its tolerances: a channel may differ
        by max_difference, and total_pixels pixels may differ. With
        --vesprine-update, a missing or differing reference is written instead."""
        __tracebackhide__ = True
        self.stop()
        reference = self._reference(reference)
        update = self._config.getoption("vesprine_update")
        if not reference.exists():
            if update:
                return self._write(reference)
            raise AssertionError(f"there is no reference session {reference}; record it with:\n"
                                 f"  pytest --vesprine-update {shlex.quote(self._here())}")
        tolerances = []
        if max_difference is not None:
            tolerances += ["--max-difference", max_difference]
        if total_pixels is not None:
            tolerances += ["--total-pixels", total_pixels]
        diff = self._folder / "diff.png"
        compared = self._run("--compare", reference, self.path, "--json", "--diff", diff, *tolerances)
        if compared.returncode == 0:
            return None
        if compared.returncode != 1:
            raise VesprineError(f"vesprine-monitor --compare {reference} {self.path} failed "
                                f"(status {compared.returncode}):\n{compared.stderr}")
        if update:
            return self._write(reference)
        said = [json.loads(line) for line in compared.stdout.splitlines() if line.startswith("{")]
        raise AssertionError(self._explain(reference, said, diff))

    def _here(self):
        """The test's id from the folder pytest was started in."""
        node = self._request.node
        test_file = os.path.relpath(node.path, self._config.invocation_params.dir)
        return "::".join([test_file.replace(os.sep, "/"), *node.nodeid.split("::")[1:]])

    def _explain(self, reference, said, diff):
        """The failure's message, with the pictures of the first screen that
        differs written to the results folder."""
        screens = next(s for s in said if s.get("screens") == "differ")
        after = screens["after"]
        results = self._results
        shutil.rmtree(results, ignore_errors=True)
        results.mkdir(parents=True)
        for session, picture in ((reference, "expected.png"), (self.path, "actual.png")):
            exported = self._run("--replay", session, "--export", results / picture, "--at", after)
            if exported.returncode != 0:
                raise VesprineError(f"vesprine-monitor could not export {session}:\n{exported.stderr}")
        shutil.copyfile(diff, results / "diff.png")
        shutil.copyfile(self.path, results / "recording.vses")

        lines = [f"what was drawn differs from the reference {reference}"]
        messages = next((s for s in said if "messages" in s), {})
        if messages.get("messages") == "differ":
            a, b = (re.sub(r"^#\d+ ", "", messages[side]) for side in ("a", "b"))
            lines += [f"first differing message: {messages['message']} ({b.split()[0]})",
                      f"  reference: {a}", f"  recorded:  {b}"]
        elif messages.get("messages") == "ends":
            shorter = "the recording" if messages["ended"] == "B" else "the reference"
            lines.append(f"{shorter} ends after message {messages['after']}")
        box = screens["box"]
        lines.append(f"screens differ after message {after}: {screens['pixels']} pixels "
                     f"({screens['allowed']} may), x {box['x0']} to {box['x1']}, y {box['y0']} to {box['y1']}")
        lines.append(f"pictures after message {after}: {results / 'expected.png'}, actual.png and diff.png, "
                     "and the recording, recording.vses")
        return "\n".join(lines)


@pytest.fixture
def vesprine(request, tmp_path):
    """Records what the test draws with vesprine-monitor --record, from the
    start of the test to its end or to vesprine.assert_matches()."""
    recording = Recording(request, tmp_path)
    capture = request.config.pluginmanager.getplugin("capturemanager")

    def say(line):
        with capture.global_and_fixture_disabled():
            sys.stderr.write(line + "\n")

    with _one_at_a_time(say):
        recording._start()
        try:
            yield recording
        finally:
            recording.stop()


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    if call.excinfo is not None and call.excinfo.errisinstance(VesprineError):
        outcome.get_result().vesprine_error = True


def pytest_report_teststatus(report, config):
    # The comparison could not be made: an error in the test, not a failure.
    if report.when == "call" and getattr(report, "vesprine_error", False):
        return "error", "E", "ERROR"
    return None


def pytest_terminal_summary(terminalreporter, config):
    written = config.stash.get(_written, [])
    if written:
        terminalreporter.write_sep("-", f"vesprine: {len(written)} reference(s) written")
        for path in written:
            terminalreporter.write_line(str(path))
