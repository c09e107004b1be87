#!/usr/bin/env python3
"""Opens a day's page of a diary in headless Chromium (served over HTTP on
127.0.0.1, driven as tests/web/browser_check.py drives it), follows its
links to videos and loads each in a <video> element.

Usage: video_in_browser.py DIARY DAY
Prints one JSON object: {"links": [...], "videos": [{"duration", "width",
"height", "error"}...]}. Exit 0 when it could look, 77 (skipped) only when
Chromium is not installed, 1 otherwise.
"""
import json
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "web"))
import browser_check  # noqa: E402

# Resolves once the first frame is decoded (or the element gives up).
LOAD_VIDEO = """
new Promise(resolve => {
  const video = document.createElement('video');
  video.muted = true;
  video.preload = 'auto';
  const done = error => resolve({duration: video.duration, width: video.videoWidth,
                                 height: video.videoHeight, error: error});
  video.addEventListener('loadeddata', () => done(null));
  video.addEventListener('error', () => done(String(video.error && video.error.message)));
  setTimeout(() => done('timeout'), 20000);
  video.src = %s;
  document.body.appendChild(video);
})
"""


def main():
    if not (os.path.isfile(browser_check.CHROMIUM) and os.access(browser_check.CHROMIUM, os.X_OK)):
        print("SKIPPED: Chromium not found at %s (scripts/install-deps installs it)" % browser_check.CHROMIUM)
        return 77
    diary, day = sys.argv[1], sys.argv[2]
    work = tempfile.mkdtemp(prefix="quillomat-video-")
    server = tools = None
    try:
        server, port = browser_check.serve(diary)
        profile = os.path.join(work, "profile")
        os.mkdir(profile)
        tools = browser_check.DevTools(profile)
        page = browser_check.Page(tools)
        page.navigate("http://127.0.0.1:%d/%s/preview.html" % (port, day))
        links = page.evaluate(
            "Array.from(document.querySelectorAll('a[href$=\".webm\"]')).map(a => a.getAttribute('href'))")
        hrefs = page.evaluate("Array.from(document.querySelectorAll('a[href$=\".webm\"]')).map(a => a.href)")
        videos = [page.evaluate(LOAD_VIDEO % json.dumps(href)) for href in hrefs]
        print(json.dumps({"links": links, "videos": videos}))
    finally:
        if tools:
            tools.close()
        if server:
            server.terminate()
            server.wait()
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
