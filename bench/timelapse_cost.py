#!/usr/bin/env python3
"""Encoding cost per picture of the timelapse against a bare gst-launch-1.0
pipeline, and the video's size against the pictures'.

Makes --pictures JPEG pictures of 640x480 (a ball over a background with a
little sensor noise, quality 80, 4:2:0: what the diary stores), then runs,
interleaved --runs times each:

  floor      gst-launch-1.0: multifilesrc ! jpegdec ! videoscale ! videoconvert
             ! I420 640x480 ! the timelapse's encoder and settings ! webmmux !
             filesink
  timelapse  build/default/bench/timelapse_encode: the program's own encoding
             of the folder (decoding, range, the same elements, the temporary
             file flushed to the disk and renamed)

Both are whole processes; processor time (user + system) and wall time come
from the rusage of the reaped process. Prints each one's median per picture
and the timelapse's ratio against the floor (target: at most 1.1), and the
video's size as a fraction of the pictures' size. A target missed prints
MISS and does not fail the script; a run that fails does (exit status 1).
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
DEFAULT_TOOL = REPO / "build" / "default" / "bench" / "timelapse_encode"
WIDTH, HEIGHT, FPS = 640, 480, 25
TARGET = 1.1


def make_pictures(folder, count):
    subprocess.run([
        "gst-launch-1.0", "-q", "compositor", "name=mix", "sink_1::alpha=0.06", "!",
        f"video/x-raw,width={WIDTH},height={HEIGHT}", "!", "jpegenc", "quality=80", "!",
        "multifilesink", f"location={folder}/%05d.jpg",
        "videotestsrc", f"num-buffers={count}", "pattern=ball", "motion=sweep",
        "background-color=0xff406080", "!", f"video/x-raw,width={WIDTH},height={HEIGHT}", "!", "mix.",
        "videotestsrc", f"num-buffers={count}", "pattern=snow", "!",
        f"video/x-raw,width={WIDTH},height={HEIGHT}", "!", "mix.",
    ], check=True)


def run(argv):
    start = time.monotonic()
    proc = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - start
    errors = proc.stderr.read().decode(errors="replace")
    proc.stderr.close()
    if not os.WIFEXITED(status) or os.WEXITSTATUS(status) != 0:
        raise RuntimeError(f"{argv[0]} failed ({status}): {errors}")
    return usage.ru_utime + usage.ru_stime, wall


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--pictures", type=int, default=500)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--tool", type=Path, default=DEFAULT_TOOL)
    args = parser.parse_args()
    encoder = subprocess.run([str(args.tool), "--encoder"], check=True, capture_output=True,
                             text=True).stdout.split()
    with tempfile.TemporaryDirectory(prefix="quillomat-timelapse-") as work:
        pictures = Path(work) / "pictures"
        pictures.mkdir()
        make_pictures(pictures, args.pictures)
        picture_bytes = sum(f.stat().st_size for f in pictures.iterdir())
        floor_video = Path(work) / "floor.webm"
        video = Path(work) / "timelapse.webm"
        floor = ["gst-launch-1.0", "-q", "multifilesrc", f"location={pictures}/%05d.jpg", "index=0",
                 f"caps=image/jpeg,framerate={FPS}/1", "!", "jpegdec", "!", "videoscale", "!",
                 "videoconvert", "!",
                 f"video/x-raw,format=I420,width={WIDTH},height={HEIGHT},pixel-aspect-ratio=1/1,"
                 f"framerate={FPS}/1,colorimetry=bt601", "!", *encoder, "!", "webmmux", "!",
                 "filesink", f"location={floor_video}"]
        ours = [str(args.tool), str(pictures), str(video), str(FPS)]
        times = {"floor": [], "timelapse": []}
        for _ in range(args.runs):
            for kind, argv in (("floor", floor), ("timelapse", ours)):
                for stale in (video, floor_video):
                    stale.unlink(missing_ok=True)
                times[kind].append(run(argv))
                print(f"  {kind:10} {times[kind][-1][0]:7.2f} s processor {times[kind][-1][1]:7.2f} s wall",
                      flush=True)
        video_bytes = video.stat().st_size if video.exists() else 0
        if not video_bytes:
            run(ours)
            video_bytes = video.stat().st_size
    n = args.pictures
    medians = {kind: (statistics.median(t[0] for t in runs) / n * 1000,
                      statistics.median(t[1] for t in runs) / n * 1000) for kind, runs in times.items()}
    print(f"{'':12} {'cpu ms/picture':>15} {'wall ms/picture':>16}")
    for kind, (cpu, wall) in medians.items():
        print(f"{kind:12} {cpu:15.3f} {wall:16.3f}")
    cpu_ratio = medians["timelapse"][0] / medians["floor"][0]
    wall_ratio = medians["timelapse"][1] / medians["floor"][1]
    verdict = "PASS" if cpu_ratio <= TARGET else "MISS"
    print(f"timelapse/floor: processor {cpu_ratio:.3f}, wall {wall_ratio:.3f} "
          f"(target <= {TARGET}: {verdict})")
    print(f"video {video_bytes} bytes for {picture_bytes} bytes of pictures: "
          f"{video_bytes / picture_bytes:.3f} of their size "
          f"({video_bytes / n / 1024:.1f} KiB a frame, {picture_bytes / n / 1024:.1f} KiB a picture)")
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except (RuntimeError, subprocess.CalledProcessError) as e:
        print(f"timelapse_cost: {e}", file=sys.stderr)
        sys.exit(1)
