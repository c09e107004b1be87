#!/usr/bin/env python3
"""A network camera for tests: Motion-JPEG over HTTP on 127.0.0.1.

mjpeg_server.py FRAMES_DIR PORT_FILE [PORT [WIDTHxHEIGHT [FPS]]]

Makes its frames once with gst-launch-1.0 (a moving ball, by default at
320x240) when FRAMES_DIR holds none, serves them in a loop as
multipart/x-mixed-replace at FPS (default 30) per second to every client, and writes the port it listens on to
PORT_FILE (PORT 0 or none: a free one). Ends on SIGTERM.
"""
import glob
import http.server
import os
import signal
import subprocess
import sys
import time

frames_dir, port_file = sys.argv[1], sys.argv[2]
port = int(sys.argv[3]) if len(sys.argv) > 3 else 0
width, height = (int(n) for n in (sys.argv[4] if len(sys.argv) > 4 else "320x240").split("x"))
fps = float(sys.argv[5]) if len(sys.argv) > 5 else 30.0

if not glob.glob(os.path.join(frames_dir, "*.jpg")):
    subprocess.run(["gst-launch-1.0", "-q", "videotestsrc", "pattern=ball", "num-buffers=47",
                    "!", f"video/x-raw,width={width},height={height}", "!", "jpegenc", "!",
                    "multifilesink", "location=" + os.path.join(frames_dir, "f%03d.jpg")],
                   check=True, stdout=subprocess.DEVNULL)
frames = [open(p, "rb").read() for p in sorted(glob.glob(os.path.join(frames_dir, "*.jpg")))]


class Camera(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        self.send_response(200)
        self.send_header("Content-Type", "multipart/x-mixed-replace; boundary=frame")
        self.send_header("Cache-Control", "no-cache")
        self.end_headers()
        n = 0
        try:
            while True:
                jpeg = frames[n % len(frames)]
                self.wfile.write(b"--frame\r\nContent-Type: image/jpeg\r\nContent-Length: %d\r\n\r\n"
                                 % len(jpeg) + jpeg + b"\r\n")
                self.wfile.flush()
                n += 1
                time.sleep(1 / fps)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def log_message(self, *args):
        pass


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


server = Server(("127.0.0.1", port), Camera)
signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
with open(port_file + ".tmp", "w") as f:
    f.write(str(server.server_address[1]))
os.rename(port_file + ".tmp", port_file)
server.serve_forever()
