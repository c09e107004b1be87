#!/usr/bin/env python3
"""Processor time and peak memory of a whole `quillomat --headless` process.

Three kinds of run, each a fresh process measured from its start until it
has ended on a signal after --duration seconds:

  floor   bare gst-launch-1.0: the test camera's source (moving ball, YUY2,
          640x480, 30 fps, live) converted to BGR on every frame
  motion  quillomat --headless on the test camera "Cam", 640x480, 30 fps,
          a picture every 10 s and motion detection on
  interval the same with motion detection off

With --paused the one run beside the floor is "paused": motion detection
on, but outside its recording hours ([SCHEDULE] HOURS a range that begins
two hours from now) with RELEASE_CAMERA=on, so the camera is let go and the
worker only waits; target: at most 0.02 of the floor's processor time.

With --mqtt-down the runs beside the floor are "interval" and "mqtt_down",
the same with [MQTT] naming a broker on 127.0.0.1 that never answers (a
port nothing listens on): waiting for it must cost nothing, so the two
should be within noise of each other.

With --mjpeg the camera is a Motion-JPEG one ("Cam:mjpeg": the same ball
encoded by jpegenc) at 1280x720, and the floor decodes every frame of the
same source (jpegenc ! jpegdec ! videoconvert to BGR), as a plain viewer of
such a camera would; targets: motion at most 0.5 of the floor's processor
time, peak memory under 60 MiB.

Runs are interleaved (floor, motion, interval, floor, ...) so that the load
of a shared machine falls on all kinds alike. Processor time (user + system)
and peak resident memory come from the rusage of the reaped process. Targets
are printed as PASS/MISS and never fail the script; a process that cannot
start or ends badly does (exit status 1).
"""
import argparse
import os
import re
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
DEFAULT_BINARY = REPO / "build" / "default" / "src" / "app" / "quillomat"

WIDTH, HEIGHT = 640, 480
FRAME_INTERVAL_100NS = 333333  # 30 frames per second
INTERVAL_SECONDS = 10

# The same source and caps the test device builds, converted to what a grab
# hands the diary (BGR). Our graph converts only the frames it grabs; the
# floor converts every frame, as a plain viewer of the camera would.
FLOOR_PIPELINE = [
    "videotestsrc", "is-live=true", "pattern=ball", "!",
    f"video/x-raw,format=YUY2,width={WIDTH},height={HEIGHT},"
    f"framerate=10000000/{FRAME_INTERVAL_100NS}", "!",
    "videoconvert", "!", "video/x-raw,format=BGR", "!", "fakesink",
]

# Ratio against the floor: motion at most 1.15, interval below 0.25.
TARGETS = {"motion": (1.15, True), "interval": (0.25, False)}
RSS_LIMIT_MIB = None
DEVICE = "Cam"
CAMERA_PIPELINE = None


def use_motion_jpeg():
    """The Motion-JPEG camera at 1280x720 and its decoding floor."""
    global WIDTH, HEIGHT, FLOOR_PIPELINE, TARGETS, RSS_LIMIT_MIB, DEVICE
    WIDTH, HEIGHT = 1280, 720
    DEVICE = "Cam:mjpeg"
    FLOOR_PIPELINE = [
        "videotestsrc", "is-live=true", "pattern=ball", "animation-mode=wall-time", "!",
        f"video/x-raw,format=YUY2,width={WIDTH},height={HEIGHT},"
        f"framerate=10000000/{FRAME_INTERVAL_100NS}", "!",
        "jpegenc", "!", "jpegdec", "!",
        "videoconvert", "!", "video/x-raw,format=BGR", "!", "fakesink",
    ]
    TARGETS = {"motion": (0.5, True)}
    RSS_LIMIT_MIB = 60.0
    # What the test camera itself costs here (a real one encodes in its own
    # hardware): the same source and encoder, nothing decoded.
    global CAMERA_PIPELINE, KINDS
    CAMERA_PIPELINE = FLOOR_PIPELINE[:FLOOR_PIPELINE.index("jpegdec")] + ["fakesink"]
    KINDS = ("floor", "camera", "motion", "interval")
KINDS = ("floor", "motion", "interval")


def use_mqtt_down():
    global KINDS, TARGETS
    KINDS = ("floor", "interval", "mqtt_down")
    TARGETS = {"interval": (0.25, False), "mqtt_down": (0.25, False)}


def closed_port():
    """A port of 127.0.0.1 that nothing listens on (bound, then let go)."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def use_paused():
    global KINDS, TARGETS
    KINDS = ("floor", "paused")
    TARGETS = {"paused": (0.02, True)}
PICTURE_NAME = re.compile(r"^\d{14}\.jpg$")
MOTION_LINE = "動作を検知しました"  # the log line of a picture stored on motion


class RunFailed(Exception):
    pass


def write_ini(path, sections):
    lines = []
    for section, keys in sections.items():
        lines.append(f"[{section}]")
        lines.extend(f"{key}={value}" for key, value in keys.items())
    # The settings files are CR LF.
    path.write_bytes(("\r\n".join(lines) + "\r\n").encode("ascii"))


def hours_from_now(begin_hours, end_hours):
    begin = time.localtime(time.time() + begin_hours * 3600)
    end = time.localtime(time.time() + end_hours * 3600)
    return f"{begin.tm_hour:02d}:{begin.tm_min:02d}-{end.tm_hour:02d}:{end.tm_min:02d}"


def prepare_home(home, motion, motion_level, motion_interval, paused=False, mqtt_down=False):
    save = home / "diary"
    save.mkdir()
    write_ini(home / "device.ini", {"DEVICE": {
        "SELECT": "Cam", "WIDTH": WIDTH, "HEIGHT": HEIGHT, "FRAMERATE": FRAME_INTERVAL_100NS}})
    write_ini(home / "setup.ini", {"DIARY": {
        "ONAIR": "on",
        "SAVE_DIRECTORY": f"{save}/",
        "INTERVAL_HOUR": 0,
        "INTERVAL_MINUTE": 0,
        "INTERVAL_SECOND": INTERVAL_SECONDS,
        "MOTION_DETECT": "on" if motion else "off",
        "MOTION_DETECT_LEVEL": motion_level,
        "MOTION_DETECT_INTERVAL": motion_interval,
    }, **({"SCHEDULE": {"HOURS": hours_from_now(2, 3), "RELEASE_CAMERA": "on"}} if paused else {}),
       **({"MQTT": {"HOST": "127.0.0.1", "PORT": closed_port()}} if mqtt_down else {})})
    return save


def count_pictures(save):
    return sum(1 for day in save.iterdir() if day.is_dir()
               for f in day.iterdir() if PICTURE_NAME.match(f.name))


def measure(argv, env, duration, stop_signal, log_path, clean_exit):
    """Runs argv for `duration` seconds, stops it and returns its usage."""
    with open(log_path, "wb") as log:
        start = time.monotonic()
        try:
            proc = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL,
                                    stdout=log, stderr=subprocess.STDOUT)
        except OSError as e:
            raise RunFailed(f"cannot start {argv[0]}: {e}") from e
        deadline = start + duration
        while time.monotonic() < deadline:
            pid, status, usage = os.wait4(proc.pid, os.WNOHANG)
            if pid != 0:
                raise RunFailed(f"{argv[0]} ended before its stop signal ({describe(status)}) after "
                                f"{time.monotonic() - start:.1f} s; log: {log_path}")
            time.sleep(min(0.5, max(0.0, deadline - time.monotonic())))
        os.kill(proc.pid, stop_signal)
        try:
            _, status, usage = wait_with_timeout(proc.pid, 30)
        except TimeoutError:
            os.kill(proc.pid, signal.SIGKILL)
            os.wait4(proc.pid, 0)
            raise RunFailed(f"{argv[0]} did not end within 30 s of the stop signal; log: {log_path}")
        wall = time.monotonic() - start
        proc.returncode = 0  # reaped here; keep Popen from waiting again
    if not clean_exit(status):
        raise RunFailed(f"{argv[0]} ended badly ({describe(status)}); log: {log_path}")
    cpu = usage.ru_utime + usage.ru_stime
    return {"cpu": cpu, "wall": wall, "cpu_per_min": cpu / (wall / 60.0),
            "rss_mib": usage.ru_maxrss / 1024.0}


def wait_with_timeout(pid, seconds):
    deadline = time.monotonic() + seconds
    while True:
        reaped, status, usage = os.wait4(pid, os.WNOHANG)
        if reaped != 0:
            return reaped, status, usage
        if time.monotonic() > deadline:
            raise TimeoutError
        time.sleep(0.05)


def describe(status):
    if os.WIFSIGNALED(status):
        return f"signal {signal.Signals(os.WTERMSIG(status)).name}"
    return f"exit {os.WEXITSTATUS(status)}"


def exited_zero(status):
    return os.WIFEXITED(status) and os.WEXITSTATUS(status) == 0


def floor_ended(status):
    # gst-launch stops its pipeline on SIGINT and exits; a few versions exit
    # non-zero after an interrupt, which is still our own stop.
    return os.WIFEXITED(status) or (os.WIFSIGNALED(status) and os.WTERMSIG(status) == signal.SIGINT)


def run_floor(duration, work):
    env = dict(os.environ)
    return measure(["gst-launch-1.0", "-q", *FLOOR_PIPELINE], env, duration, signal.SIGINT,
                   work / "floor.log", floor_ended)


def run_camera(duration, work):
    return measure(["gst-launch-1.0", "-q", *CAMERA_PIPELINE], dict(os.environ), duration,
                   signal.SIGINT, work / "camera.log", floor_ended)


def run_quillomat(binary, kind_name, duration, work, args):
    motion = kind_name == "motion"
    with tempfile.TemporaryDirectory(prefix="quillomat-bench-", dir=work) as home_name:
        home = Path(home_name)
        paused = kind_name == "paused"
        save = prepare_home(home, motion or paused, args.motion_level, args.motion_interval, paused,
                            mqtt_down=kind_name == "mqtt_down")
        env = dict(os.environ)
        env["QUILLOMAT_HOME"] = str(home)
        env["QUILLOMAT_TEST_DEVICES"] = DEVICE
        env["QT_QPA_PLATFORM"] = "offscreen"
        kind = kind_name
        log = work / f"{kind}.log"
        result = measure([str(binary), "--headless"], env, duration, signal.SIGTERM, log, exited_zero)
        result["pictures"] = count_pictures(save)
        result["motion_stores"] = log.read_text(errors="replace").count(MOTION_LINE)
        if result["pictures"] == 0 and kind != "paused":
            raise RunFailed(f"quillomat ({kind}) stored no picture in {duration:.0f} s; log: {log}")
        return result


def print_report(results, rounds):
    print()
    print(f"{'run':>4} {'kind':9} {'CPU s/min':>10} {'peak RSS MiB':>13} {'ratio':>7} {'pictures':>9} "
          f"{'on motion':>9}")
    for i in range(rounds):
        floor = results["floor"][i]["cpu_per_min"]
        for kind in KINDS:
            r = results[kind][i]
            ratio = "" if kind in ("floor", "camera") else f"{r['cpu_per_min'] / floor:7.3f}"
            pictures = f"{r['pictures']:>9} {r['motion_stores']:>9}" if "pictures" in r else ""
            print(f"{i + 1:>4} {kind:9} {r['cpu_per_min']:10.3f} {r['rss_mib']:13.1f} {ratio:>7} {pictures}")
    median = {k: statistics.median(r["cpu_per_min"] for r in results[k][:rounds]) for k in KINDS}
    median_rss = {k: statistics.median(r["rss_mib"] for r in results[k][:rounds]) for k in KINDS}
    print(f"{'med':>4} {'floor':9} {median['floor']:10.3f} {median_rss['floor']:13.1f}")
    if "camera" in median:
        print(f"{'med':>4} {'camera':9} {median['camera']:10.3f} {median_rss['camera']:13.1f}")
    for kind in (k for k in KINDS if k not in ("floor", "camera")):
        pictures = statistics.median(r["pictures"] for r in results[kind][:rounds])
        on_motion = statistics.median(r["motion_stores"] for r in results[kind][:rounds])
        print(f"{'med':>4} {kind:9} {median[kind]:10.3f} {median_rss[kind]:13.1f} "
              f"{median[kind] / median['floor']:7.3f} {pictures:9g} {on_motion:9g}")
    print()
    for kind, (limit, inclusive) in TARGETS.items():
        ratio = median[kind] / median["floor"]
        met = ratio <= limit if inclusive else ratio < limit
        print(f"{'PASS' if met else 'MISS'}  {kind} / floor = {ratio:.3f} "
              f"(target {'<=' if inclusive else '<'} {limit})")
    if "camera" in median:
        # Both sides without the test camera's own encoding.
        net = (median["motion"] - median["camera"]) / (median["floor"] - median["camera"])
        print(f"      motion / floor without the camera's own cost = {net:.3f}")
    if RSS_LIMIT_MIB is not None:
        for kind in ("motion", "interval"):
            peak = max(r["rss_mib"] for r in results[kind][:rounds])
            print(f"{'PASS' if peak < RSS_LIMIT_MIB else 'MISS'}  {kind} peak RSS = {peak:.1f} MiB "
                  f"(target < {RSS_LIMIT_MIB:g})")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--duration", type=float, default=120.0,
                        help="seconds each process runs (default 120)")
    parser.add_argument("--runs", type=int, default=3, help="rounds of floor, motion, interval (default 3)")
    parser.add_argument("--binary", type=Path, default=DEFAULT_BINARY,
                        help=f"quillomat executable (default {DEFAULT_BINARY.relative_to(REPO)})")
    parser.add_argument("--motion-level", type=int, default=1,
                        help="MOTION_DETECT_LEVEL of the motion run (default 1: the ball counts)")
    parser.add_argument("--motion-interval", type=int, default=30,
                        help="MOTION_DETECT_INTERVAL seconds of the motion run (default 30)")
    parser.add_argument("--paused", action="store_true",
                        help="outside the recording hours with the camera let go, against the floor")
    parser.add_argument("--mqtt-down", action="store_true",
                        help="the interval run beside one whose MQTT broker never answers")
    parser.add_argument("--mjpeg", action="store_true",
                        help="a Motion-JPEG camera at 1280x720 against a decoding floor")
    args = parser.parse_args()
    if args.mjpeg:
        use_motion_jpeg()
    if args.paused:
        use_paused()
    if args.mqtt_down:
        use_mqtt_down()
    if args.runs < 1 or args.duration <= 0:
        parser.error("--runs and --duration must be positive")
    if not os.access(args.binary, os.X_OK):
        print(f"headless_cpu: {args.binary} is not an executable; build the quillomat target",
              file=sys.stderr)
        return 1

    results = {k: [] for k in KINDS}
    total = args.runs * len(KINDS) * args.duration
    print(f"{args.runs} run(s) x {len(KINDS)} kinds x {args.duration:.0f} s "
          f"(about {total / 60:.1f} min); load average now {os.getloadavg()[0]:.2f}")
    with tempfile.TemporaryDirectory(prefix="headless-cpu-") as work_name:
        work = Path(work_name)
        try:
            for run in range(1, args.runs + 1):
                for kind in KINDS:
                    if kind == "floor":
                        r = run_floor(args.duration, work)
                    elif kind == "camera":
                        r = run_camera(args.duration, work)
                    else:
                        r = run_quillomat(args.binary, kind, args.duration, work, args)
                    r["load"] = os.getloadavg()[0]
                    results[kind].append(r)
                    pictures = (f"{r['pictures']:3d} pictures ({r['motion_stores']} on motion)"
                                if "pictures" in r else "")
                    print(f"  run {run} {kind:8}: {r['cpu_per_min']:7.3f} CPU s/min "
                          f"({r['cpu']:.2f} s in {r['wall']:.1f} s), peak RSS {r['rss_mib']:6.1f} MiB, "
                          f"load {r['load']:.2f} {pictures}", flush=True)
        except RunFailed as e:
            print(f"headless_cpu: {e}", file=sys.stderr)
            for log in sorted(work.glob("*.log")):
                tail = log.read_text(errors="replace").splitlines()[-15:]
                print(f"--- {log.name} (last lines)", *tail, sep="\n", file=sys.stderr)
            rounds = min(len(r) for r in results.values())
            if rounds > 0:
                print(f"\nThe {rounds} complete round(s) before the failure:")
                print_report(results, rounds)
            return 1

    print_report(results, args.runs)
    return 0


if __name__ == "__main__":
    sys.exit(main())
