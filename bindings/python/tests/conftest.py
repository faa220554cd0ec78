# The package's tests, run by the interpreter of a virtual environment that
# has the wheel installed (CTest's python test); VESPRINE_MONITOR names the
# monitor.
import json
import os
import subprocess

pytest_plugins = ["pytester"]


def sent(vesprine):
    """Ends the recording and returns what the monitor received, as the JSON
    objects that `--replay --json` prints."""
    vesprine.stop()
    replay = subprocess.run([os.environ["VESPRINE_MONITOR"], "--replay", str(vesprine.path), "--json"],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, check=True)
    return [json.loads(line) for line in replay.stdout.splitlines()]
