#!/usr/bin/env python3
"""Pictures a `quillomat --headless` stores beside programs that keep the
processor busy, against the same run on a quiet machine.

Two runs of --duration seconds (default 300) each, a picture every 2 s on the
test camera "Cam" at 640x480, motion detection off:

  floor  the program alone (as quiet as the machine is)
  busy   the same, with --loops busy loops (default 2, one per core of the
         development machine) at the default priority beside it, as a build,
         a game or a video export would be

The diary's threads run at the lowest normal priority (nice 19): they yield
to everything else, yet are never starved. Target: busy stores at least 0.9
of the floor's pictures. The floor's count is also set against what the
interval allows (duration / 2 s). Targets are printed as PASS/MISS and never
fail the script; a program that cannot start or ends badly does (exit
status 1). --binary runs another build of the program, for example an
earlier one to compare with.
"""
import argparse
import os
import re
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
DEFAULT_BINARY = REPO / "build" / "default" / "src" / "app" / "quillomat"
INTERVAL_SECONDS = 2
TARGET = 0.9
PICTURE_NAME = re.compile(r"^\d{14}(_\d{3})?\.jpg$")


class RunFailed(Exception):
    pass


def write_ini(path, sections):
    lines = []
    for section, keys in sections.items():
        lines.append(f"[{section}]")
        lines.extend(f"{key}={value}" for key, value in keys.items())
    path.write_bytes(("\r\n".join(lines) + "\r\n").encode("ascii"))


def count_pictures(save):
    return sum(1 for day in save.iterdir() if day.is_dir()
               for f in day.iterdir() if PICTURE_NAME.match(f.name))


def busy_loop():
    """A process that wants the processor all the time."""
    return subprocess.Popen([sys.executable, "-c", "while True: pass"],
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)


def run(binary, duration, loops, work, kind):
    with tempfile.TemporaryDirectory(prefix=f"quillomat-{kind}-", dir=work) as home_name:
        home = Path(home_name)
        save = home / "diary"
        save.mkdir()
        write_ini(home / "device.ini", {"DEVICE": {
            "SELECT": "Cam", "WIDTH": 640, "HEIGHT": 480, "FRAMERATE": 333333}})
        write_ini(home / "setup.ini", {"DIARY": {
            "ONAIR": "on", "SAVE_DIRECTORY": f"{save}/", "INTERVAL_HOUR": 0,
            "INTERVAL_MINUTE": 0, "INTERVAL_SECOND": INTERVAL_SECONDS, "MOTION_DETECT": "off"}})
        env = dict(os.environ, QUILLOMAT_HOME=str(home), QUILLOMAT_TEST_DEVICES="Cam",
                   QT_QPA_PLATFORM="offscreen")
        env.pop("QUILLOMAT_TEST_DELAYS", None)
        busy = [busy_loop() for _ in range(loops)]
        log_path = work / f"{kind}.log"
        try:
            # The loops take the processor before the program starts.
            time.sleep(1.0 if busy else 0.0)
            with open(log_path, "wb") as log:
                proc = subprocess.Popen([str(binary), "--headless"], env=env,
                                        stdin=subprocess.DEVNULL, stdout=log,
                                        stderr=subprocess.STDOUT)
                deadline = time.monotonic() + duration
                while time.monotonic() < deadline:
                    if proc.poll() is not None:
                        raise RunFailed(f"{kind}: the program ended early (status "
                                        f"{proc.returncode}); log: {log_path}")
                    time.sleep(min(0.5, max(0.0, deadline - time.monotonic())))
                pictures = count_pictures(save)
                proc.send_signal(signal.SIGTERM)
                try:
                    status = proc.wait(timeout=60)
                except subprocess.TimeoutExpired as e:
                    proc.kill()
                    proc.wait()
                    raise RunFailed(f"{kind}: no end within 60 s of SIGTERM; log: {log_path}") from e
                if status != 0:
                    raise RunFailed(f"{kind}: ended with status {status}; log: {log_path}")
        finally:
            for loop in busy:
                loop.kill()
                loop.wait()
        return pictures


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--duration", type=float, default=300.0,
                        help="seconds of each run (default 300)")
    parser.add_argument("--loops", type=int, default=2, help="busy loops beside it (default 2)")
    parser.add_argument("--binary", type=Path, default=DEFAULT_BINARY)
    args = parser.parse_args()
    if not args.binary.exists():
        print(f"busy_machine: no program at {args.binary} (build it first)", file=sys.stderr)
        return 1
    with tempfile.TemporaryDirectory(prefix="quillomat-busy-bench-") as work_name:
        work = Path(work_name)
        try:
            floor = run(args.binary, args.duration, 0, work, "floor")
            busy = run(args.binary, args.duration, args.loops, work, "busy")
        except RunFailed as e:
            print(f"busy_machine: {e}", file=sys.stderr)
            return 1
    allowed = args.duration / INTERVAL_SECONDS
    ratio = busy / floor if floor else 0.0
    print(f"{args.duration:.0f} s at a picture every {INTERVAL_SECONDS} s "
          f"(at most {allowed:.0f}), {os.cpu_count()} processors")
    print(f"  floor (quiet):           {floor:4d} pictures ({floor / allowed:.2f} of the interval's)")
    print(f"  busy ({args.loops} busy loops):   {busy:4d} pictures")
    print(f"  busy / floor:            {ratio:.2f}  target >= {TARGET}  "
          f"{'PASS' if ratio >= TARGET else 'MISS'}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
