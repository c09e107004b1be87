#!/usr/bin/env python3
"""Quillomat side by side with the motion detection daemon `motion`.

Both read the same network camera: a Motion-JPEG stream at 640x480, 15 per
second, served over HTTP on 127.0.0.1 by tests/app/mjpeg_server.py (its
frames are encoded once beforehand, so the server costs little and is not
counted). Both have motion detection on and store a picture every 10 s.
Runs alternate (motion, quillomat, motion, ...) so that the load of a shared
machine falls on both alike. Processor time (user + system) and peak
resident memory come from the rusage of each reaped process, as in
bench/headless_cpu.py. Target: Quillomat below Motion on both; printed as
PASS/MISS, never failing the script. Needs the Debian package `motion`.
"""
import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import headless_cpu as hc

REPO = Path(__file__).resolve().parent.parent
SERVER = REPO / "tests" / "app" / "mjpeg_server.py"
WIDTH, HEIGHT, FPS = 640, 480, 15
INTERVAL_SECONDS = 10


def start_server(work):
    port_file = work / "port"
    (work / "frames").mkdir(exist_ok=True)
    proc = subprocess.Popen([sys.executable, str(SERVER), str(work / "frames"), str(port_file),
                             "0", f"{WIDTH}x{HEIGHT}", str(FPS)], stdout=subprocess.DEVNULL)
    deadline = time.monotonic() + 60
    while not port_file.exists():
        if proc.poll() is not None or time.monotonic() > deadline:
            proc.kill()
            raise hc.RunFailed("the MJPEG server did not come up")
        time.sleep(0.1)
    return proc, int(port_file.read_text())


def jpegs(folder):
    return sum(1 for p in folder.rglob("*.jpg"))


def run_motion(url, duration, work):
    with tempfile.TemporaryDirectory(prefix="motion-", dir=work) as name:
        home = Path(name)
        conf = home / "motion.conf"
        # A snapshot every 10 s and the first picture of each motion event,
        # events at least 30 s apart, as Quillomat's least motion interval
        # below; no movies, and no web control or stream ports, which
        # Quillomat has no counterpart of.
        conf.write_text("\n".join([
            "daemon off", "setup_mode off", "log_level 4", f"target_dir {home / 'pictures'}",
            f"netcam_url {url}", f"width {WIDTH}", f"height {HEIGHT}", f"framerate {FPS}",
            "threshold 1500", "picture_output first", "event_gap 30", f"snapshot_interval {INTERVAL_SECONDS}",
            "movie_output off", "webcontrol_port 0", "stream_port 0", ""]))
        result = hc.measure(["motion", "-n", "-c", str(conf)], dict(os.environ), duration,
                            signal.SIGTERM, work / "motion.log",
                            lambda status: os.WIFEXITED(status) or os.WIFSIGNALED(status))
        result["pictures"] = jpegs(home / "pictures") if (home / "pictures").exists() else 0
    if result["pictures"] == 0:
        raise hc.RunFailed(f"motion stored no picture in {duration:.0f} s; log: {work / 'motion.log'}")
    return result


def run_quillomat(binary, url, duration, work):
    with tempfile.TemporaryDirectory(prefix="quillomat-", dir=work) as name:
        home = Path(name)
        save = home / "diary"
        save.mkdir()
        hc.write_ini(home / "device.ini", {"DEVICE": {
            "SELECT": url, "WIDTH": WIDTH, "HEIGHT": HEIGHT, "FRAMERATE": 10000000 // FPS}})
        hc.write_ini(home / "setup.ini", {"DIARY": {
            "ONAIR": "on", "SAVE_DIRECTORY": f"{save}/", "INTERVAL_HOUR": 0, "INTERVAL_MINUTE": 0,
            "INTERVAL_SECOND": INTERVAL_SECONDS, "MOTION_DETECT": "on",
            "MOTION_DETECT_LEVEL": 1, "MOTION_DETECT_INTERVAL": 30}})
        env = dict(os.environ, QUILLOMAT_HOME=str(home), QT_QPA_PLATFORM="offscreen")
        env.pop("QUILLOMAT_TEST_DEVICES", None)
        result = hc.measure([str(binary), "--headless"], env, duration, signal.SIGTERM,
                            work / "quillomat.log", hc.exited_zero)
        result["pictures"] = hc.count_pictures(save)
    if result["pictures"] == 0:
        raise hc.RunFailed(f"quillomat stored no picture in {duration:.0f} s; "
                           f"log: {work / 'quillomat.log'}")
    return result


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--duration", type=float, default=120.0,
                        help="seconds per process (default 120)")
    parser.add_argument("--runs", type=int, default=3, help="rounds of both (default 3)")
    parser.add_argument("--binary", type=Path, default=hc.DEFAULT_BINARY)
    args = parser.parse_args()
    if shutil.which("motion") is None:
        print("peer_motion: the `motion` program is missing (apt-get install motion)",
              file=sys.stderr)
        return 1
    kinds = ("motion", "quillomat")
    results = {k: [] for k in kinds}
    with tempfile.TemporaryDirectory(prefix="peer-motion-") as name:
        work = Path(name)
        server, port = start_server(work)
        url = f"http://127.0.0.1:{port}/"
        try:
            for run in range(1, args.runs + 1):
                for kind in kinds:
                    r = run_motion(url, args.duration, work) if kind == "motion" else \
                        run_quillomat(args.binary, url, args.duration, work)
                    results[kind].append(r)
                    print(f"  run {run} {kind:9}: {r['cpu_per_min']:7.3f} CPU s/min, peak RSS "
                          f"{r['rss_mib']:6.1f} MiB, {r['pictures']} pictures", flush=True)
        except hc.RunFailed as e:
            print(f"peer_motion: {e}", file=sys.stderr)
            return 1
        finally:
            server.terminate()
            server.wait()
    cpu = {k: statistics.median(r["cpu_per_min"] for r in results[k]) for k in kinds}
    rss = {k: max(r["rss_mib"] for r in results[k]) for k in kinds}
    print(f"\nmedian CPU s/min: motion {cpu['motion']:.3f}, quillomat {cpu['quillomat']:.3f}")
    print(f"peak RSS MiB:     motion {rss['motion']:.1f}, quillomat {rss['quillomat']:.1f}")
    for what, values in (("processor time", cpu), ("peak memory", rss)):
        ratio = values["quillomat"] / values["motion"]
        print(f"{'PASS' if ratio < 1 else 'MISS'}  quillomat / motion {what} = {ratio:.3f} "
              f"(target < 1)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
