#!/usr/bin/env python3
"""How much a day's video being made delays the running diary's stores.

One home: a diary with a past day of --pictures pictures (--size, default
1280x720: a ball over a background with a little noise, quality 80) and the
test camera "Cam" at 640x480 storing every 10 s. Each round runs
`quillomat --headless` twice:

  timelapse  TIMELAPSE MAKE=on: the past day's video is made from the start;
             the run ends one interval after its log line
  floor      MAKE=off for as long, the same diary otherwise

The video is removed after each round. A store's time is the modification
time of its picture (the end of its JPEG write). A store's delay is how much
later it ended than the floor's stores do: for the first store of a run,
against the floor's median time from the start to the first picture; for
each later one, its distance from the store before it against the floor's
median distance (the second store's against the floor's second ones: the
first store, which waits for the camera, lasts longer). Prints the delays of the stores made while the video was
being made (target: at most 100 ms each) and the floor's spread, and each
run's peak memory (the pictures are not held: about the floor's). A target
missed prints MISS and does not fail the script; a run that fails does.
"""
import argparse
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
DEFAULT_BINARY = REPO / "build" / "default" / "src" / "app" / "quillomat"
INTERVAL_SECONDS = 10
DAY = "20240105"
TARGET_MS = 100.0
MADE = re.compile(r"タイムラプス動画を作成 " + DAY + r" \(.*処理([0-9.]+)秒")
PICTURE = re.compile(r"^\d{14}\.jpg$")


def write_ini(path, sections):
    lines = []
    for section, keys in sections.items():
        lines.append(f"[{section}]")
        lines.extend(f"{key}={value}" for key, value in keys.items())
    path.write_bytes(("\r\n".join(lines) + "\r\n").encode("ascii"))


def make_day(folder, count, width, height):
    staging = folder.parent / "staging"
    staging.mkdir()
    caps = f"video/x-raw,width={width},height={height}"
    subprocess.run([
        "gst-launch-1.0", "-q", "compositor", "name=mix", "sink_1::alpha=0.06", "!", caps, "!",
        "jpegenc", "quality=80", "!", "multifilesink", f"location={staging}/%05d.jpg",
        "videotestsrc", f"num-buffers={count}", "pattern=ball", "motion=sweep",
        "background-color=0xff406080", "!", caps, "!", "mix.",
        "videotestsrc", f"num-buffers={count}", "pattern=snow", "!", caps, "!", "mix.",
    ], check=True)
    folder.mkdir()
    for i, picture in enumerate(sorted(staging.iterdir())):
        seconds = i * 86400 // count
        picture.rename(folder / f"{DAY}{seconds // 3600:02d}{seconds // 60 % 60:02d}{seconds % 60:02d}.jpg")
    staging.rmdir()


def store_times(save, since, until):
    times = []
    for day in save.iterdir():
        if not day.is_dir() or day.name == DAY:
            continue
        for f in day.iterdir():
            if PICTURE.match(f.name):
                t = f.stat().st_mtime_ns / 1e9
                if since <= t <= until:
                    times.append(t)
    return sorted(times)


def reap(pid, seconds):
    deadline = time.monotonic() + seconds
    while True:
        reaped, status, usage = os.wait4(pid, os.WNOHANG)
        if reaped:
            return status, usage
        if time.monotonic() > deadline:
            os.kill(pid, signal.SIGKILL)
            os.wait4(pid, 0)
            raise RuntimeError(f"quillomat did not end within {seconds} s of SIGTERM")
        time.sleep(0.05)


def run(binary, home, make, duration):
    """Runs the diary; returns (start, end, stores, seconds the video took)."""
    save = home / "diary"
    write_ini(home / "setup.ini", {
        "DIARY": {"ONAIR": "on", "SAVE_DIRECTORY": f"{save}/", "INTERVAL_HOUR": 0, "INTERVAL_MINUTE": 0,
                  "INTERVAL_SECOND": INTERVAL_SECONDS, "MOTION_DETECT": "off"},
        "TIMELAPSE": {"MAKE": "on" if make else "off", "FPS": 25},
    })
    env = dict(os.environ, QUILLOMAT_HOME=str(home), QUILLOMAT_TEST_DEVICES="Cam",
               QT_QPA_PLATFORM="offscreen")
    log = home / "out.log"
    with open(log, "wb") as out:
        start = time.time()
        proc = subprocess.Popen([str(binary), "--headless"], env=env, stdin=subprocess.DEVNULL,
                                stdout=out, stderr=subprocess.STDOUT)
        made_at = None
        took = None
        deadline = start + (duration if duration else 3600)
        while time.time() < deadline:
            if proc.poll() is not None:
                raise RuntimeError(f"quillomat ended early; log: {log.read_text(errors='replace')}")
            if make and made_at is None:
                found = MADE.search(log.read_text(errors="replace"))
                if found:
                    made_at = time.time()
                    took = float(found.group(1))
                    deadline = made_at + INTERVAL_SECONDS
            time.sleep(0.2)
        end = time.time()
        proc.send_signal(signal.SIGTERM)
        status, usage = reap(proc.pid, 30)
        proc.returncode = 0  # reaped here
        if not os.WIFEXITED(status) or os.WEXITSTATUS(status) != 0:
            raise RuntimeError(f"quillomat ended badly; log: {log.read_text(errors='replace')}")
    if make and made_at is None:
        raise RuntimeError("no video within an hour")
    video = save / DAY / f"{DAY}.webm"
    video.unlink(missing_ok=True)
    return start, end, store_times(save, start, end), took, made_at, usage.ru_maxrss / 1024.0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--pictures", type=int, default=2000)
    parser.add_argument("--size", default="1280x720")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--binary", type=Path, default=DEFAULT_BINARY)
    args = parser.parse_args()
    width, height = (int(v) for v in args.size.split("x"))
    work = Path(tempfile.mkdtemp(prefix="quillomat-stores-"))
    try:
        home = work / "home"
        (home / "diary").mkdir(parents=True)
        write_ini(home / "device.ini", {"DEVICE": {"SELECT": "Cam", "WIDTH": 640, "HEIGHT": 480,
                                                   "FRAMERATE": 333333}})
        make_day(home / "diary" / DAY, args.pictures, width, height)
        # The worker starts a store every interval (less its allowance) from
        # the start of the one before, whatever a store lasts; the first
        # store comes once the camera runs, and lasts longer.
        floor = {"first": [], "second": [], "gap": []}
        runs = []
        for round_number in range(1, args.rounds + 1):
            start, end, stores, took, made_at, rss = run(args.binary, home, True, None)
            f_start, f_end, f_stores, _, _, f_rss = run(args.binary, home, False, end - start)
            if len(stores) < 2 or len(f_stores) < 2:
                raise RuntimeError("fewer than two stores in a run")
            floor["first"].append(f_stores[0] - f_start)
            floor["second"].append(f_stores[1] - f_stores[0])
            floor["gap"].extend(b - a for a, b in zip(f_stores[1:], f_stores[2:]))
            runs.append((start, stores, made_at))
            print(f"round {round_number}: video in {took:.1f} s, {len(stores)} stores "
                  f"({sum(1 for t in stores if t <= made_at)} while it was made), floor {len(f_stores)}; "
                  f"peak memory {rss:.1f} MiB, floor {f_rss:.1f} MiB", flush=True)
        usual = {kind: statistics.median(values) for kind, values in floor.items()}
        spread = [(gap - usual["gap"]) * 1000 for gap in floor["gap"]]
        during = []
        for start, stores, made_at in runs:
            if stores[0] <= made_at:
                during.append((stores[0] - start - usual["first"]) * 1000)
            for k in range(1, len(stores)):
                if stores[k] > made_at:
                    break
                kind = "second" if k == 1 else "gap"
                during.append((stores[k] - stores[k - 1] - usual[kind]) * 1000)
        print(f"floor: first store {usual['first']:.3f} s after the start, the second "
              f"{usual['second']:.3f} s later, then every {usual['gap']:.3f} s "
              f"(spread {min(spread, default=0):+.0f} .. {max(spread, default=0):+.0f} ms)")
        if not during:
            print("MISS  no store while the video was made")
            return 0
        print("delays of the stores made while the video was made (ms): " +
              " ".join(f"{d:+.0f}" for d in during))
        worst = max(during)
        print(f"{'PASS' if worst <= TARGET_MS else 'MISS'}  worst delay {worst:+.0f} ms, "
              f"median {statistics.median(during):+.0f} ms (target <= {TARGET_MS:.0f} ms)")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except (RuntimeError, subprocess.CalledProcessError) as e:
        print(f"timelapse_stores: {e}", file=sys.stderr)
        sys.exit(1)
