#!/usr/bin/env python3
"""Processor time and peak memory of the real main window on an X display.

Runs itself inside scripts/desktop-session (Xvfb, openbox, trayer). Four kinds
of measurement, each on a fresh process, interleaved (floor, shown, tray,
floor, ...) so that the load of a shared machine falls on all kinds alike:

  floor   bare gst-launch-1.0: the test camera's source (moving ball, YUY2,
          640x480, 30 fps, live), converted and scaled to 320x240 into
          ximagesink on the same display: a plain live view of the camera
  shown   quillomat's main window on the test camera "Cam", 640x480 at
          30 fps, a picture every 10 s, live preview on the screen
  tray    the same window minimised to the tray (the window manager's
          minimise; with a tray host the window hides and the graph stops)
  dialog  the same window with its capture settings dialog open: the
          dialog's own live picture and its motion thread and graph running

Each measurement starts once its process has settled (window shown or
hidden, preview running) and lasts --seconds. Processor time is utime+stime
of the process and its descendants from /proc, per minute; the X server's
share (QUILLOMAT_DESKTOP_XVFB_PID) is shown beside it. Peak memory is the
process's VmHWM. Targets print as PASS/MISS and never fail the script; a run
that cannot start or ends badly does (exit status 1).
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "e2e"))
import desktop  # noqa: E402

WIDTH, HEIGHT = 640, 480
FRAME_INTERVAL_100NS = 333333  # 30 frames per second
TITLE = f"Quillomat - Cam ({WIDTH}x{HEIGHT})"
FLOOR_TITLE = "gst-launch-1.0"  # ximagesink names its window after the program

FLOOR_PIPELINE = [
    "videotestsrc", "is-live=true", "pattern=ball", "!",
    f"video/x-raw,format=YUY2,width={WIDTH},height={HEIGHT},"
    f"framerate=10000000/{FRAME_INTERVAL_100NS}", "!",
    "videoconvert", "!", "videoscale", "!", "video/x-raw,width=320,height=240", "!",
    "ximagesink", "sync=false",
]

KINDS = ("floor", "shown", "tray", "dialog")
# Ratio of processor time against the floor's.
TARGETS = {"shown": 1.25, "tray": 0.05, "dialog": 1.5}
DIALOG_TITLE = "キャプチャ設定"
PEAK_RSS_LIMIT_MIB = 90.0
SETTLE_S = 3.0


class RunFailed(Exception):
    pass


def clock_ticks(pid):
    """utime+stime (and that of reaped children) of pid and its descendants."""
    tick = os.sysconf("SC_CLK_TCK")
    total = 0
    todo = [pid]
    while todo:
        p = todo.pop()
        try:
            fields = Path(f"/proc/{p}/stat").read_text().rsplit(")", 1)[1].split()
            # After the name: state is field 3; utime 14, stime 15, cutime 16, cstime 17.
            total += sum(int(fields[i]) for i in (11, 12, 13, 14))
            children = Path(f"/proc/{p}/task/{p}/children").read_text().split()
        except (OSError, IndexError):
            continue
        todo.extend(int(c) for c in children)
    return total / tick


def peak_rss_mib(pid):
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmHWM:"):
            return int(line.split()[1]) / 1024.0
    return 0.0


def xserver_seconds():
    pid = os.environ.get("QUILLOMAT_DESKTOP_XVFB_PID")
    return clock_ticks(int(pid)) if pid else 0.0


def measure(pid, seconds, alive):
    """Processor seconds per minute of pid over `seconds` from now."""
    x_start, cpu_start, start = xserver_seconds(), clock_ticks(pid), time.monotonic()
    deadline = start + seconds
    while time.monotonic() < deadline:
        if not alive():
            raise RunFailed("the process ended during its measurement")
        time.sleep(min(0.5, max(0.0, deadline - time.monotonic())))
    cpu, x_cpu, wall = clock_ticks(pid) - cpu_start, xserver_seconds() - x_start, \
        time.monotonic() - start
    return {"cpu": cpu, "wall": wall, "cpu_per_min": cpu / (wall / 60.0),
            "x_per_min": x_cpu / (wall / 60.0), "rss_mib": peak_rss_mib(pid)}


def run_floor(seconds, work):
    with open(work / "floor.log", "wb") as log:
        proc = subprocess.Popen(["gst-launch-1.0", "-q", *FLOOR_PIPELINE], stdout=log,
                                stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        try:
            try:
                desktop.wait_window(FLOOR_TITLE, limit_s=60)
            except desktop.Failure as e:
                raise RunFailed(f"the floor pipeline shows no window: {e}")
            time.sleep(SETTLE_S)
            return measure(proc.pid, seconds, lambda: proc.poll() is None)
        finally:
            proc.terminate()
            try:
                proc.wait(20)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()


def open_capture_settings(window):
    """Opens the capture settings dialog from the menu by its keys, as a user
    would; without the accessibility bridge, whose cost would be measured too.
    A key pressed before the menu bar has the focus is lost, so it retries."""
    for _ in range(5):
        subprocess.run(["xdotool", "windowactivate", "--sync", str(window)], check=False,
                       capture_output=True)
        desktop.press_key("alt+s")
        time.sleep(0.5)
        desktop.press_key("m")
        try:
            return desktop.wait_window(DIALOG_TITLE, limit_s=10)
        except desktop.Failure:
            desktop.press_key("Escape")
            desktop.press_key("Escape")
    raise RunFailed(f'the dialog "{DIALOG_TITLE}" did not open from the menu')


def run_window(binary, kind, seconds, work):
    with tempfile.TemporaryDirectory(prefix="window-cpu-", dir=work) as home_name:
        home = Path(home_name)
        save = desktop.prepare_home(home, width=WIDTH, height=HEIGHT,
                                    frame_interval=FRAME_INTERVAL_100NS)
        # No screen reader: the accessibility bridge stays off, as on most desktops.
        env = {"QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "0", "QT_ACCESSIBILITY": "0"}
        program = desktop.Program(binary, home, env=env, log=work / f"{kind}.log")
        try:
            window = desktop.wait_window(TITLE, limit_s=90)
            desktop.wait_until(lambda: desktop.window_shown(window), 60, "the window shown")
            if kind == "tray":
                desktop.wait_until(desktop.tray_icon_window, 60, "the tray icon")
                desktop.minimise_window(window)
                desktop.wait_until(lambda: not desktop.window_shown(window), 60,
                                   "the window hidden to the tray")
            elif kind == "dialog":
                open_capture_settings(window)
            time.sleep(SETTLE_S)
            result = measure(program.pid, seconds, program.running)
            result["pictures"] = len(desktop.pictures(save))
        except desktop.Failure as e:
            raise RunFailed(f"{kind}: {e}; log: {program.log_path}")
        finally:
            program.stop()
        if program.process.returncode != 0:
            raise RunFailed(f"{kind}: quillomat ended with {program.process.returncode}")
        # The dialog holds the diary's graph released: only its own preview runs.
        if result["pictures"] == 0 and seconds >= 20 and kind != "dialog":
            raise RunFailed(f"{kind}: no picture stored in {seconds:.0f} s")
        return result


def print_report(results, rounds, kinds):
    print()
    print(f"{'run':>4} {'kind':6} {'CPU s/min':>10} {'X s/min':>8} {'peak RSS MiB':>13} "
          f"{'ratio':>7} {'ratio+X':>8}")
    for i in range(rounds):
        floor = results["floor"][i]
        for kind in kinds:
            r = results[kind][i]
            ratio = "" if kind == "floor" else f"{r['cpu_per_min'] / floor['cpu_per_min']:7.3f}"
            with_x = "" if kind == "floor" else \
                f"{(r['cpu_per_min'] + r['x_per_min']) / (floor['cpu_per_min'] + floor['x_per_min']):8.3f}"
            print(f"{i + 1:>4} {kind:6} {r['cpu_per_min']:10.3f} {r['x_per_min']:8.3f} "
                  f"{r['rss_mib']:13.1f} {ratio:>7} {with_x:>8}")
    med = {k: statistics.median(r["cpu_per_min"] for r in results[k][:rounds]) for k in kinds}
    med_x = {k: statistics.median(r["cpu_per_min"] + r["x_per_min"] for r in results[k][:rounds])
             for k in kinds}
    peak = {k: max(r["rss_mib"] for r in results[k][:rounds]) for k in kinds}
    for kind in kinds:
        ratio = "" if kind == "floor" else f"{med[kind] / med['floor']:7.3f}"
        with_x = "" if kind == "floor" else f"{med_x[kind] / med_x['floor']:8.3f}"
        print(f"{'med':>4} {kind:6} {med[kind]:10.3f} {med_x[kind] - med[kind]:8.3f} "
              f"{peak[kind]:13.1f} {ratio:>7} {with_x:>8}")
    print()
    for kind, limit in TARGETS.items():
        if kind not in kinds:
            continue
        ratio = med[kind] / med["floor"]
        print(f"{'PASS' if ratio <= limit else 'MISS'}  {kind} / floor = {ratio:.3f} "
              f"(target <= {limit})")
    worst = max(peak[k] for k in kinds if k != "floor")
    print(f"{'PASS' if worst < PEAK_RSS_LIMIT_MIB else 'MISS'}  peak memory of the window "
          f"= {worst:.1f} MiB (target < {PEAK_RSS_LIMIT_MIB:g})")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=120.0,
                        help="measured seconds per run and kind (default 120)")
    parser.add_argument("--runs", type=int, default=3, help="rounds of all kinds")
    parser.add_argument("--kinds", default=",".join(KINDS[1:]),
                        help="comma-separated kinds besides the floor (default: all)")
    parser.add_argument("--binary", type=Path, default=desktop.DEFAULT_BINARY)
    args = parser.parse_args()
    if args.runs < 1 or args.seconds <= 0:
        parser.error("--runs and --seconds must be positive")
    kinds = ("floor", *[k for k in args.kinds.split(",") if k and k != "floor"])
    if not set(kinds) <= set(KINDS):
        parser.error(f"--kinds: choose from {', '.join(KINDS[1:])}")
    if not os.access(args.binary, os.X_OK):
        print(f"window_cpu: {args.binary} is not an executable; build the quillomat target",
              file=sys.stderr)
        return 1
    missing = desktop.tools_missing(["xdotool", "xwininfo", "gst-launch-1.0"])
    if missing:
        print(f"window_cpu: missing {' '.join(missing)} (scripts/install-deps)", file=sys.stderr)
        return 1
    desktop.run_in_session([str(Path(__file__).resolve()), *sys.argv[1:]])

    results = {k: [] for k in kinds}
    print(f"{args.runs} run(s) x {len(kinds)} kinds x {args.seconds:.0f} s measured; "
          f"load average now {os.getloadavg()[0]:.2f}", flush=True)
    with tempfile.TemporaryDirectory(prefix="window-cpu-") as work_name:
        work = Path(work_name)
        try:
            for run in range(1, args.runs + 1):
                for kind in kinds:
                    if kind == "floor":
                        r = run_floor(args.seconds, work)
                    else:
                        r = run_window(args.binary, kind, args.seconds, work)
                    results[kind].append(r)
                    print(f"  run {run} {kind:6}: {r['cpu_per_min']:7.3f} CPU s/min "
                          f"(+X {r['x_per_min']:.3f}), peak RSS {r['rss_mib']:6.1f} MiB, "
                          f"load {os.getloadavg()[0]:.2f}", flush=True)
        except RunFailed as e:
            print(f"window_cpu: {e}", file=sys.stderr)
            for log in sorted(work.glob("*.log")):
                tail = log.read_text(errors="replace").splitlines()[-15:]
                print(f"--- {log.name} (last lines)", *tail, sep="\n", file=sys.stderr)
            rounds = min(len(r) for r in results.values())
            if rounds > 0:
                print(f"\nThe {rounds} complete round(s) before the failure:")
                print_report(results, rounds, kinds)
            return 1
    print_report(results, args.runs, kinds)
    return 0


if __name__ == "__main__":
    sys.exit(main())
