"""Driving the real quillomat program on a desktop of scripts/desktop-session.

Shared by the end-to-end test, scripts/screenshots and bench/window_cpu.py:
a prepared home folder, the running program, its X windows (xdotool,
xwininfo, import) and its widgets through the accessibility bus (pyatspi).
Every wait polls a condition with a generous limit, for a busy machine.
E2E_TRACE=1 prints each wait and action with a time stamp, to see where a
slow run spends its time.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent.parent
DEFAULT_BINARY = REPO / "build" / "default" / "src" / "app" / "quillomat"
SESSION = REPO / "scripts" / "desktop-session"
SKIP = 77  # CTest's skip status, as desktop-session uses it

# Limits for conditions, not expected durations.
WINDOW_LIMIT_S = 90.0
CONDITION_LIMIT_S = 60.0


class Failure(Exception):
    pass


def in_session():
    return os.environ.get("QUILLOMAT_DESKTOP_SESSION") == "1"


def run_in_session(argv, tray=True, size=None):
    """Re-runs this script inside a desktop session unless it is in one."""
    if in_session():
        return
    command = [str(SESSION)]
    if not tray:
        command.append("--no-tray")
    if size:
        command += ["--size", size]
    os.execv(str(SESSION), command + ["--", sys.executable, *argv])


def wait_until(condition, limit_s, what, interval_s=0.1):
    if os.environ.get("E2E_TRACE"):
        print(f"  {time.monotonic():.1f} wait {what}", flush=True)
    deadline = time.monotonic() + limit_s
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f"gave up after {limit_s:.0f} s waiting for {what}")
        time.sleep(interval_s)


def write_ini(path, sections):
    lines = []
    for section, keys in sections.items():
        lines.append(f"[{section}]")
        lines.extend(f"{key}={value}" for key, value in keys.items())
    # The settings files are CR LF.
    Path(path).write_bytes(("\r\n".join(lines) + "\r\n").encode("ascii"))


def read_ini(path):
    """{(SECTION, KEY): value} of an ASCII settings file, first match wins."""
    values = {}
    section = ""
    for line in Path(path).read_bytes().decode("cp932", "replace").splitlines():
        line = line.strip()
        if line.startswith("[") and line.endswith("]"):
            section = line[1:-1].upper()
        elif "=" in line:
            key, value = line.split("=", 1)
            values.setdefault((section, key.strip().upper()), value.strip())
    return values


def prepare_home(home, device="Cam", width=640, height=480, frame_interval=333333, diary=None,
                 application=None, time_text=None):
    """A home with the device chosen, so that no first-run dialog comes."""
    home = Path(home)
    save = home / "diary"
    save.mkdir(parents=True, exist_ok=True)
    write_ini(home / "device.ini", {"DEVICE": {
        "SELECT": device, "WIDTH": width, "HEIGHT": height, "FRAMERATE": frame_interval}})
    keys = {"ONAIR": "on", "SAVE_DIRECTORY": f"{save}/", "INTERVAL_HOUR": 0,
            "INTERVAL_MINUTE": 0, "INTERVAL_SECOND": 10, "MOTION_DETECT": "off"}
    keys.update(diary or {})
    sections = {"DIARY": keys}
    if application:
        sections["APPLICATION"] = application
    if time_text:
        sections["TIMETEXT"] = time_text
    write_ini(home / "setup.ini", sections)
    return save


PICTURE_NAME = re.compile(r"^\d{14}\.jpg$")


def pictures(save):
    save = Path(save)
    return sorted(f for day in save.iterdir() if day.is_dir() and re.fullmatch(r"\d{8}", day.name)
                  for f in day.iterdir() if PICTURE_NAME.match(f.name))


class Program:
    """The quillomat executable running with its own home and test camera.

    Its texts are the designed Japanese ones whatever this machine's locale
    says (QUILLOMAT_LANGUAGE=ja); `env` adds to the environment, and a None
    value takes a variable out of it."""

    def __init__(self, binary, home, devices="Cam", args=(), env=None, log=None):
        self.home = Path(home)
        environment = dict(os.environ)
        environment["QUILLOMAT_HOME"] = f"{self.home}/"
        environment["QUILLOMAT_TEST_DEVICES"] = devices
        environment["QUILLOMAT_LANGUAGE"] = "ja"
        for name, value in (env or {}).items():
            if value is None:
                environment.pop(name, None)
            else:
                environment[name] = value
        self.log_path = Path(log) if log else self.home / "program.log"
        self._log = open(self.log_path, "wb")
        self.process = subprocess.Popen([str(binary), *args], env=environment, cwd=self.home,
                                        stdin=subprocess.DEVNULL, stdout=self._log,
                                        stderr=subprocess.STDOUT)
        self.pid = self.process.pid

    def running(self):
        return self.process.poll() is None

    def wait_exit(self, limit_s=CONDITION_LIMIT_S):
        try:
            return self.process.wait(limit_s)
        except subprocess.TimeoutExpired:
            raise Failure(f"the program did not end within {limit_s:.0f} s")

    def stop(self):
        """Ends it if it still runs (SIGTERM, then SIGKILL)."""
        if self.running():
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self._log.close()

    def output(self):
        if not self._log.closed:
            self._log.flush()
        return self.log_path.read_text(errors="replace")


# --- X windows ---------------------------------------------------------------

def _run(argv, check=True):
    result = subprocess.run(argv, capture_output=True, text=True)
    if check and result.returncode != 0:
        raise Failure(f"{' '.join(argv)} failed: {result.stderr.strip()}")
    return result.stdout


def windows_titled(title, pid=None, visible_only=True):
    """X windows whose title is exactly `title` (of process `pid`)."""
    argv = ["xdotool", "search"]
    if visible_only:
        argv.append("--onlyvisible")
    if pid is not None:
        argv += ["--pid", str(pid)]
    # xdotool matches a regular expression; the exact title is compared here.
    argv += ["--name", re.escape(title.split(" ")[0])]
    result = subprocess.run(argv, capture_output=True, text=True)
    return [int(w) for w in result.stdout.split()
            if _run(["xdotool", "getwindowname", w], check=False).rstrip("\n") == title]


def wait_window(title, pid=None, limit_s=WINDOW_LIMIT_S):
    found = wait_until(lambda: windows_titled(title, pid), limit_s, f'a window "{title}"',
                       interval_s=0.2)
    return found[0]


def window_shown(window):
    """Mapped and viewable (neither withdrawn to the tray nor iconified)."""
    return "Map State: IsViewable" in _run(["xwininfo", "-id", str(window)], check=False)


def window_state_words(window):
    """What X and the window manager say of the window, for a failure."""
    map_state = re.search(r"Map State: (\w+)", _run(["xwininfo", "-id", str(window)], check=False))
    props = _run(["xprop", "-id", str(window), "WM_STATE", "_NET_WM_STATE", "WM_HINTS"],
                 check=False)
    words = [f"map state {map_state.group(1) if map_state else 'unknown'}"]
    words += [" ".join(line.split()) for line in props.splitlines() if line.strip()]
    return "; ".join(words)


def window_geometry(window):
    """(x, y, width, height) on the screen."""
    text = _run(["xwininfo", "-id", str(window)])

    def field(name):
        return int(re.search(rf"{name}:\s+(-?\d+)", text).group(1))

    return (field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"),
            field("Height"))


def capture_window(window, path, attempts=10):
    """The window's pixels as a PNG (or PPM, after the suffix) file."""
    # Just after the window manager maps a window, reading it may fail for a
    # moment ("Resource temporarily unavailable"); a busy machine widens that.
    for attempt in range(attempts):
        try:
            _run(["import", "-silent", "-window", str(window), "-depth", "8", str(path)])
            return Path(path)
        except Failure:
            if attempt == attempts - 1:
                raise
            time.sleep(0.3)


def read_ppm(path):
    """(width, height, RGB bytes) of a binary PPM file."""
    data = Path(path).read_bytes()
    match = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", data)
    if not match:
        raise Failure(f"{path} is no PPM picture")
    width, height = int(match.group(1)), int(match.group(2))
    if int(match.group(3)) != 255:
        raise Failure(f"{path} has {match.group(3).decode()} levels a colour, not 255")
    pixels = data[match.end():match.end() + width * height * 3]
    return width, height, pixels


def crop(picture, x, y, width, height):
    full_width, _, pixels = picture
    rows = [pixels[(y + r) * full_width * 3 + x * 3:(y + r) * full_width * 3 + (x + width) * 3]
            for r in range(height)]
    return b"".join(rows)


def tray_icon_window():
    """The window of the program's icon docked in the trayer panel."""
    tree = _run(["xwininfo", "-root", "-tree"], check=False)
    panel_depth = None
    for line in tree.splitlines():
        depth = len(line) - len(line.lstrip())
        if '("panel" "trayer")' in line:
            panel_depth = depth
        elif panel_depth is not None and depth <= panel_depth:
            panel_depth = None
        elif panel_depth is not None:
            match = re.match(r'\s*(0x[0-9a-f]+) .*\("quillomat" "Quillomat"\)', line)
            if match:
                return int(match.group(1), 16)
    return None


def click_window(window, button=1):
    """A real pointer click in the middle of the window (xdotool)."""
    x, y, width, height = window_geometry(window)
    # No --sync: it waits for a motion, and there is none when the pointer
    # is there already.
    _run(["xdotool", "mousemove", str(x + width // 2), str(y + height // 2),
          "click", str(button)])


def press_key(key):
    _run(["xdotool", "key", key])


def minimise_window(window):
    """Iconifies the window through the window manager (the minimise box)."""
    _run(["xdotool", "windowminimize", "--sync", str(window)])


# --- The accessibility bus ---------------------------------------------------

def accessibility():
    """pyatspi, or None where python3-pyatspi is missing."""
    try:
        import pyatspi  # noqa: F401 (Debian's python3-pyatspi)
    except ImportError:
        return None
    return sys.modules["pyatspi"]


class Widgets:
    """The program's accessible widgets, found by role and accessible name."""

    def __init__(self, pid):
        self.atspi = accessibility()
        if self.atspi is None:
            raise Failure("python3-pyatspi is not installed (scripts/install-deps)")
        self.pid = pid

    def application(self):
        desktop = self.atspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            try:
                if app is not None and app.get_process_id() == self.pid:
                    return app
            except Exception:  # an application that went away meanwhile
                continue
        return None

    def windows(self):
        app = self.application()
        if app is None:
            return []
        return [w for w in app if w is not None]

    @staticmethod
    def states(acc):
        return set(acc.getState().getStates())

    def showing(self, acc):
        return self.atspi.STATE_SHOWING in self.states(acc)

    def find(self, root, role=None, name=None, showing=None, predicate=None):
        """The first descendant (or root) with the role name and accessible name."""

        def matches(acc):
            if role is not None and acc.getRoleName() != role:
                return False
            if name is not None and acc.name != name:
                return False
            if showing is not None and self.showing(acc) != showing:
                return False
            return predicate is None or predicate(acc)

        found = self.atspi.utils.findDescendant(root, matches) if not matches(root) else root
        return found

    def find_all(self, root, role=None, name=None):
        return self.atspi.utils.findAllDescendants(
            root, lambda acc: (role is None or acc.getRoleName() == role) and
            (name is None or acc.name == name))

    def wait_find(self, what, finder, limit_s=WINDOW_LIMIT_S):
        def attempt():
            try:
                return finder()
            except Exception:  # the tree changes under us while windows come and go
                return None

        return wait_until(attempt, limit_s, what, interval_s=0.2)

    def main_window(self):
        """The main window: the program's window with the menu bar."""
        for window in self.windows():
            if self.find(window, role="menu bar") is not None:
                return window
        return None

    def window_named(self, name, showing=True):
        for window in self.windows():
            if window.name == name and (not showing or self.showing(window)):
                return window
        return None

    def do_action(self, acc, action="Press"):
        """Runs the action without waiting for its end: a command that opens a
        modal dialog answers only once the dialog has closed."""
        actions = acc.queryAction()
        names = [actions.getName(i) for i in range(actions.nActions)]
        if action not in names:
            raise Failure(f'"{acc.name}" has no action {action} (it has {names})')
        index = names.index(action)
        if os.environ.get("E2E_TRACE"):
            print(f"  {time.monotonic():.1f} action {action} on {acc.name}", flush=True)
        self.atspi.setTimeout(1500, 60000)
        try:
            actions.doAction(index)
        except Exception as e:  # the reply that did not come in time
            if not any(text in str(e) for text in ("Did not receive a reply", "NoReply",
                                                   "Timeout", "timed out")):
                raise
        finally:
            self.atspi.setTimeout(25000, 60000)
            if os.environ.get("E2E_TRACE"):
                print(f"  {time.monotonic():.1f} action done", flush=True)

    def menu_command(self, window, menu, entry):
        """A menu bar command, found by the accessible names (mnemonics
        without "&") of its popup and its entry."""
        popup = self.find(window, role="menu item", name=menu)
        if popup is None:
            raise Failure(f'no menu "{menu}"')
        item = self.find(popup, role="menu item", name=entry)
        if item is None:
            raise Failure(f'no entry "{entry}" in menu "{menu}"')
        self.do_action(item)

    def watch_popups(self):
        """Notes every popup menu that appears. A context menu of its own
        (the tray menu) is in no window's tree; its showing event names it."""
        self._popups = []

        def shown(event):
            try:
                if event.detail1 and event.source.getRoleName() == "popup menu":
                    self._popups.append(event.source)
            except Exception:  # gone before we looked
                pass

        self._popup_listener = shown
        self.atspi.Registry.registerEventListener(shown, "object:state-changed:showing")

    def forget_popups(self):
        """Popups noted so far no longer count (one that is closing may still
        read as showing for a moment)."""
        self.pump_events()
        self._popups.clear()

    def pump_events(self):
        from gi.repository import GLib
        context = GLib.MainContext.default()
        while context.pending():
            context.iteration(False)

    def popup_items(self):
        """The entries of a popup menu that is showing now."""
        self.pump_events()
        for popup in reversed(self._popups):
            try:
                # The same menu comes back with other texts, which the
                # library's cache would not see.
                popup.clear_cache()
                if self.showing(popup):
                    items = [item for item in popup
                             if item is not None and item.getRoleName() == "menu item"]
                    for item in items:
                        item.clear_cache()
                    return items
            except Exception:
                continue
        return []


# The program's own environment for an English interface, as a desktop in
# any language but Japanese gives it: through the locale, not our variable.
ENGLISH = {"QUILLOMAT_LANGUAGE": None, "LC_ALL": None, "LC_MESSAGES": None, "LANG": "C.UTF-8",
           "LANGUAGE": "en_GB:en"}


def preview_picture(widgets, main_window, scratch, name="プレビュー"):
    """The preview control's pixels as the X server shows them, or None while
    its place on the screen is not known yet (just after the window came back
    from the tray, the accessibility bus may still give it no extents)."""
    preview = widgets.find(main_window, role="filler", name=name)
    if preview is None:
        raise Failure("no preview control")
    px, py, width, height = preview.queryComponent().getExtents(0)
    # The screen, not the window: just after a window comes back from the
    # tray, X may refuse to read the window itself for seconds on a busy
    # machine, while the screen can always be read.
    shot = read_ppm(capture_window("root", Path(scratch) / "screen.ppm"))
    screen_width, screen_height, _ = shot
    x, y = max(px, 0), max(py, 0)
    width, height = min(width, screen_width - x), min(height, screen_height - y)
    if width <= 0 or height <= 0:
        return None
    return crop(shot, x, y, width, height)


def wait_live_preview(widgets, main_window, scratch, limit_s=CONDITION_LIMIT_S,
                      name="プレビュー"):
    """Two different pictures in the preview (its accessible name `name`):
    the moving ball is drawn."""
    pictures = []

    def moved():
        picture = preview_picture(widgets, main_window, scratch, name)
        if picture is None:
            return False
        pictures.append(picture)
        # A uniform first picture is the white before the first frame.
        if len(set(pictures[0][::3])) < 2:
            pictures.pop(0)
            return False
        return pictures[-1] != pictures[0]

    try:
        wait_until(moved, limit_s, "the preview to move", interval_s=0.3)
    except Failure as failure:
        if not pictures:
            raise Failure(f"{failure}: the preview never lay on the screen") from None
        raise


# --- Files ---------------------------------------------------------------

def decode_jpeg(path):
    """(width, height) of a JPEG that decodes completely (GStreamer's jpegdec)."""
    return decode_jpeg_pixels(path)[0]


def decode_jpeg_pixels(path):
    """((width, height), RGB bytes) of a JPEG that decodes completely."""
    raw = Path(str(path) + ".rgb")
    try:
        result = subprocess.run(
            ["gst-launch-1.0", "-q", "filesrc", f"location={path}", "!", "jpegdec", "!",
             "videoconvert", "!", "video/x-raw,format=RGB", "!", "filesink",
             f"location={raw}"], capture_output=True, text=True, timeout=120)
        if result.returncode != 0:
            raise Failure(f"{path} does not decode: {result.stderr.strip()}")
        pixels = raw.read_bytes()
    finally:
        raw.unlink(missing_ok=True)
    width, height = jpeg_size(path)
    if len(pixels) != width * height * 3:
        raise Failure(f"{path} decodes to {len(pixels)} bytes, not {width}x{height} RGB")
    return (width, height), pixels


def jpeg_size(path):
    data = Path(path).read_bytes()
    if data[:2] != b"\xff\xd8":
        raise Failure(f"{path} is no JPEG file")
    i = 2
    while i + 9 < len(data):
        if data[i] != 0xFF:
            raise Failure(f"{path}: broken marker at {i}")
        marker = data[i + 1]
        length = int.from_bytes(data[i + 2:i + 4], "big")
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            height = int.from_bytes(data[i + 5:i + 7], "big")
            width = int.from_bytes(data[i + 7:i + 9], "big")
            return width, height
        i += 2 + length
    raise Failure(f"{path} has no frame header")


def tools_missing(programs):
    return [p for p in programs if shutil.which(p) is None]
