#!/usr/bin/env python3
"""What publishing costs: processor time per published picture, and bytes sent per day.

Both parts run `quillomat --headless` on the test camera "Cam" at 640x480,
a picture every second, publishing to `rclone serve webdav` on 127.0.0.1
through a small counting proxy of this script's (which reads the requests
rclone sends: PUT bodies by the file they are for, everything else as
protocol overhead).

cpu    Processor time of publishing: the program's job threads (named
       "diary job": publishing, and jobs that idle here) and its rclone
       children, sampled from /proc until the program has ended, divided by
       the pictures that reached the remote. The floor, measured in the same run: `rclone copyto` of the
       same picture files to the same server, one process per file, as a
       script around rclone would send them. Target: at most 1.2 x the floor.
       PAGE_INTERVAL_SECOND is 30 here, so that pages go once per 30
       pictures as they do at the default 300 s with a picture every 10 s.

bytes  Bytes sent per day by a 10-second diary (8,640 pictures) with the
       default page interval (300 s: 288 page rounds a day), pictures and
       pages apart. A run is a day in small: a picture every second and
       PAGE_INTERVAL_SECOND 30 keep the proportions. From it: the mean
       picture size and the mean index page sent; the day page's size is
       its fixed part plus one thumbnail line per picture of the day, both
       read off the last day page. A day is then 8640 pictures and 288
       rounds; at the k-th the day page lists 30 k pictures, and a page
       goes by the program's rule: its first version at once, later ones
       once pictures of twice its size went since it last went, or once it
       has waited an hour. Target: pages do not outweigh pictures.

Targets are printed as PASS/MISS and never fail the script; a run that
cannot start or ends badly does (exit status 1).
"""
import argparse
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
DEFAULT_BINARY = REPO / "build" / "default" / "src" / "app" / "quillomat"
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
PARTIAL = re.compile(r"^(.*)\.[A-Za-z0-9]{6}\.partial$")
PICTURE = re.compile(r"^\d{14}(_\d{3})?\.jpg$")

DAY_PICTURES = 8640        # a picture every 10 s
DAY_ROUNDS = 86400 // 300  # the default page interval
PAGE_WEIGHT = 2            # DiaryPublisher::kPageWeight
LONGEST_PAGE_WAIT = 3600   # DiaryPublisher::kLongestPageWait, seconds
CPU_TARGET = 1.2


class RunFailed(Exception):
    pass


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_listening(port, seconds=30):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        with socket.socket() as s:
            if s.connect_ex(("127.0.0.1", port)) == 0:
                return
        time.sleep(0.05)
    raise RunFailed(f"nothing listens on port {port}")


class CountingProxy:
    """127.0.0.1:port -> 127.0.0.1:upstream, counting what clients send."""

    def __init__(self, upstream):
        self.upstream = upstream
        self.lock = threading.Lock()
        self.bodies = {}     # class -> bytes of PUT bodies
        self.puts = []       # (final name, bytes)
        self.overhead = 0    # every other byte clients sent
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(64)
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            server = socket.create_connection(("127.0.0.1", self.upstream))
            threading.Thread(target=self._pipe, args=(server, client), daemon=True).start()
            threading.Thread(target=self._requests, args=(client, server), daemon=True).start()

    @staticmethod
    def _pipe(source, sink):
        try:
            while True:
                data = source.recv(65536)
                if not data:
                    break
                sink.sendall(data)
        except OSError:
            pass
        for s in (source, sink):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def _requests(self, client, server):
        buffer = b""
        try:
            while True:
                while b"\r\n\r\n" not in buffer:
                    data = client.recv(65536)
                    if not data:
                        raise EOFError
                    buffer += data
                head, _, buffer = buffer.partition(b"\r\n\r\n")
                server.sendall(head + b"\r\n\r\n")
                lines = head.decode("latin-1").split("\r\n")
                method, path = lines[0].split(" ")[:2]
                length = 0
                for line in lines[1:]:
                    name, _, value = line.partition(":")
                    if name.strip().lower() == "content-length":
                        length = int(value.strip())
                left = length
                while left > 0:
                    if not buffer:
                        buffer = client.recv(65536)
                        if not buffer:
                            raise EOFError
                    part, buffer = buffer[:left], buffer[left:]
                    server.sendall(part)
                    left -= len(part)
                name = path.rsplit("/", 1)[-1]
                match = PARTIAL.match(name)
                if match:
                    name = match.group(1)
                with self.lock:
                    self.overhead += len(head) + 4
                    if method == "PUT":
                        kind = ("pictures" if name.endswith(".jpg")
                                else "pages" if name.endswith(".html") else "other")
                        self.bodies[kind] = self.bodies.get(kind, 0) + length
                        self.puts.append((name, length))
                    else:
                        self.overhead += length
        except (EOFError, OSError, ValueError, IndexError):
            pass
        for s in (client, server):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


def write_ini(path, sections):
    lines = []
    for section, keys in sections.items():
        lines.append(f"[{section}]")
        lines.extend(f"{key}={value}" for key, value in keys.items())
    path.write_bytes(("\r\n".join(lines) + "\r\n").encode("ascii"))


def cpu_seconds(stat_path):
    """utime + stime of a /proc stat file, or None when it is gone."""
    try:
        text = Path(stat_path).read_text()
    except OSError:
        return None
    fields = text[text.rindex(")") + 2:].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS


def publishing_cpu(pid, seen):
    """Updates `seen` (key -> last CPU seconds) with the job threads and the
    rclone children of `pid`."""
    task_root = Path(f"/proc/{pid}/task")
    try:
        tasks = list(task_root.iterdir())
    except OSError:
        tasks = []
    for task in tasks:
        try:
            if (task / "comm").read_text().strip() != "diary job":
                continue
        except OSError:
            continue
        value = cpu_seconds(task / "stat")
        if value is not None:
            seen[f"thread {task.name}"] = value
    for proc in Path("/proc").iterdir():
        if not proc.name.isdigit():
            continue
        try:
            text = (proc / "stat").read_text()
        except OSError:
            continue
        if "(rclone)" not in text:
            continue
        fields = text[text.rindex(")") + 2:].split()
        if int(fields[1]) != pid:
            continue
        value = (int(fields[11]) + int(fields[12])) / CLOCK_TICKS
        seen[f"rclone {proc.name}"] = value


def run_diary(binary, work, port, seconds, page_interval):
    home = work / "home"
    save = home / "diary"
    save.mkdir(parents=True)
    (home / "rclone.conf").write_text("")
    write_ini(home / "device.ini", {"DEVICE": {
        "SELECT": "Cam", "WIDTH": 640, "HEIGHT": 480, "FRAMERATE": 333333}})
    write_ini(home / "setup.ini", {
        "DIARY": {"SAVE_DIRECTORY": f"{save}/", "INTERVAL_HOUR": 0, "INTERVAL_MINUTE": 0,
                  "INTERVAL_SECOND": 1, "MOTION_DETECT": "off"},
        "PUBLISH": {"REMOTE": f":webdav,url='http://127.0.0.1:{port}':diary",
                    "RCLONE_CONFIG": home / "rclone.conf",
                    "PAGE_INTERVAL_SECOND": page_interval}})
    env = dict(os.environ, QUILLOMAT_HOME=str(home), QUILLOMAT_TEST_DEVICES="Cam",
               QT_QPA_PLATFORM="offscreen")
    log = work / "quillomat.log"
    with open(log, "wb") as out:
        proc = subprocess.Popen([str(binary), "--headless"], env=env, stdin=subprocess.DEVNULL,
                                stdout=out, stderr=subprocess.STDOUT)
    seen = {}
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if proc.poll() is not None:
            raise RunFailed(f"quillomat ended early; log: {log}")
        publishing_cpu(proc.pid, seen)
        time.sleep(0.25)
    proc.send_signal(signal.SIGTERM)
    # Sampled until it has ended: the pages sent at the stop count too.
    while proc.poll() is None:
        publishing_cpu(proc.pid, seen)
        time.sleep(0.01)
    if proc.returncode != 0:
        raise RunFailed(f"quillomat ended with {proc.returncode}; log: {log}")
    return save, sum(seen.values())


def served_pictures(root):
    return sorted(p for p in root.rglob("*.jpg") if PICTURE.match(p.name))


def copyto_floor(pictures, upstream, count):
    used = pictures[:count]
    before = os.times()
    for i, picture in enumerate(used):
        subprocess.run(["rclone", "copyto", "--config=/dev/null", str(picture),
                        f":webdav,url='http://127.0.0.1:{upstream}':floor/{i}/{picture.name}"],
                       check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    after = os.times()
    return ((after.children_user - before.children_user) +
            (after.children_system - before.children_system)) / len(used)


def page_bytes_a_day(size_after, mean_picture):
    """Bytes of one page sent in a day of DAY_ROUNDS rounds; `size_after(n)`
    is its size once n pictures of the day are stored."""
    per_round = DAY_PICTURES // DAY_ROUNDS
    seconds_per_picture = 86400 / DAY_PICTURES
    total, mark, dirty_since, sent_before = 0.0, 0.0, None, False
    for k in range(1, DAY_ROUNDS + 1):
        pictures = per_round * k
        media = pictures * mean_picture
        if dirty_since is None:
            # The first picture after the last send made it dirty.
            dirty_since = (k - 1) * 300 + seconds_per_picture
        size = size_after(pictures)
        if (not sent_before or media - mark >= PAGE_WEIGHT * size
                or k * 300 - dirty_since >= LONGEST_PAGE_WAIT):
            total += size
            mark, dirty_since, sent_before = media, None, True
    return total


def day_page_model(page):
    """(fixed bytes, bytes per picture line) of a day page."""
    text = page.read_bytes()
    lines = [line for line in text.split(b"\n") if b"<img " in line]
    if not lines:
        raise RunFailed(f"{page} lists no picture")
    per_line = sum(len(line) + 1 for line in lines) / len(lines)
    return len(text) - per_line * len(lines), per_line


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--part", choices=("cpu", "bytes", "all"), default="all")
    parser.add_argument("--seconds", type=float, default=90.0,
                        help="seconds each diary runs (default 90)")
    parser.add_argument("--floor-files", type=int, default=30,
                        help="pictures sent by `rclone copyto` for the floor (default 30)")
    parser.add_argument("--binary", type=Path, default=DEFAULT_BINARY)
    args = parser.parse_args()
    if not os.access(args.binary, os.X_OK):
        print(f"publish: {args.binary} is not an executable; build the quillomat target",
              file=sys.stderr)
        return 1
    if not shutil.which("rclone"):
        print("publish: rclone is missing (scripts/install-deps installs it)", file=sys.stderr)
        return 1
    print(f"load average now {os.getloadavg()[0]:.2f}")
    with tempfile.TemporaryDirectory(prefix="publish-bench-") as work_name:
        work = Path(work_name)
        served = work / "served"
        served.mkdir()
        upstream = free_port()
        server = subprocess.Popen(["rclone", "serve", "webdav", str(served), "--config=/dev/null",
                                   f"--addr=127.0.0.1:{upstream}"],
                                  stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                  stderr=open(work / "server.log", "wb"))
        try:
            wait_listening(upstream)
            parts = ("cpu", "bytes") if args.part == "all" else (args.part,)
            for part in parts:
                run = work / part
                run.mkdir()
                proxy = CountingProxy(upstream)
                save, cpu = run_diary(args.binary, run, proxy.port, args.seconds, 30)
                published = served_pictures(served / "diary")
                if not published:
                    raise RunFailed("no picture reached the remote")
                if part == "cpu":
                    floor = copyto_floor(published, upstream, args.floor_files)
                    ours = cpu / len(published)
                    ratio = ours / floor
                    print(f"cpu: {len(published)} pictures published in {args.seconds:.0f} s; "
                          f"job threads + rclone {cpu:.2f} s, {ours * 1000:.1f} ms a picture")
                    print(f"cpu: floor `rclone copyto` {floor * 1000:.1f} ms a picture "
                          f"({min(args.floor_files, len(published))} files)")
                    print(f"{'PASS' if ratio <= CPU_TARGET else 'MISS'}  publishing / copyto = "
                          f"{ratio:.3f} (target <= {CPU_TARGET})")
                else:
                    with proxy.lock:
                        bodies = dict(proxy.bodies)
                        puts = list(proxy.puts)
                        overhead = proxy.overhead
                    pictures = [size for name, size in puts if name.endswith(".jpg")]
                    index_name = "preview.html"
                    index_sends = [size for name, size in puts if name == index_name]
                    day_pages = sorted(save.glob("[0-9]" * 8 + "/preview.html"))
                    fixed, per_line = day_page_model(day_pages[-1])
                    mean_picture = sum(pictures) / len(pictures)
                    mean_index = sum(index_sends) / len(index_sends)
                    day_pictures = DAY_PICTURES * mean_picture
                    day_page_bytes = page_bytes_a_day(lambda n: fixed + per_line * n,
                                                      mean_picture)
                    day_index_bytes = page_bytes_a_day(lambda n: mean_index, mean_picture)
                    day_pages_total = day_page_bytes + day_index_bytes
                    mib = 1024 * 1024
                    print(f"bytes: run of {args.seconds:.0f} s: {len(pictures)} pictures sent, "
                          f"{bodies.get('pictures', 0) / mib:.2f} MiB; pages "
                          f"{bodies.get('pages', 0) / mib:.3f} MiB in "
                          f"{sum(1 for n, _ in puts if n.endswith('.html'))} sends; "
                          f"protocol overhead {overhead / mib:.3f} MiB")
                    print(f"bytes: mean picture {mean_picture / 1024:.1f} KiB, index page "
                          f"{mean_index:.0f} B, day page {fixed:.0f} B + {per_line:.1f} B a picture")
                    print(f"bytes: a day: pictures {day_pictures / mib:.1f} MiB; pages "
                          f"{day_pages_total / mib:.1f} MiB (day page {day_page_bytes / mib:.1f}, "
                          f"index page {day_index_bytes / mib:.2f}) over {DAY_ROUNDS} rounds")
                    print(f"bytes: a day: protocol overhead about "
                          f"{overhead / len(pictures) * DAY_PICTURES / mib:.1f} MiB "
                          f"(the run's per picture, {overhead / len(pictures):.0f} B, x {DAY_PICTURES})")
                    run_ratio = bodies.get("pages", 0) / max(1, bodies.get("pictures", 0))
                    print(f"bytes: in the run itself pages / pictures = {run_ratio:.3f}")
                    ratio = day_pages_total / day_pictures
                    print(f"{'PASS' if ratio < 1 else 'MISS'}  pages / pictures a day = "
                          f"{ratio:.3f} (target < 1)")
                shutil.rmtree(served / "diary", ignore_errors=True)
        except (RunFailed, subprocess.CalledProcessError) as e:
            print(f"publish: {e}", file=sys.stderr)
            return 1
        finally:
            server.terminate()
            server.wait()
    return 0


if __name__ == "__main__":
    sys.exit(main())
