#!/usr/bin/env python3
"""The real quillomat window on a real desktop, driven as a user would.

Runs itself inside scripts/desktop-session (Xvfb, openbox, a trayer tray,
D-Bus and the accessibility bus). One program run, step by step: the window
comes with a live preview; ON/OFF writes ONAIR; a snapshot is saved through
the file dialog; the window goes to the tray and comes back from the tray
menu; Cancel in the settings dialogs keeps nothing and the spins answer
through their Value interface; "終了(&X)" ends it with status 0, the diary
pictures and the settings kept. With --language en the program runs with an
English desktop's locale and a shorter run checks that the menus, a dialog,
the log box and the tray menu speak English. Exit status 0 when every step
passed, 1 at the first failed one, 77 (skip) where the desktop's packages are
missing.
"""
import argparse
import os
import sys
import tempfile
import time
import traceback
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import desktop  # noqa: E402
from desktop import Failure, wait_until  # noqa: E402

DEVICE, WIDTH, HEIGHT = "Cam", 640, 480
TITLE = f"Quillomat - {DEVICE} ({WIDTH}x{HEIGHT})"
SNAPSHOT_TITLE = "Quillomat - スナップショット"
LIMIT_S = desktop.CONDITION_LIMIT_S
TOOLS = ["xdotool", "xwininfo", "xprop", "import", "gst-launch-1.0"]


# Every frame of this device is fresh, yet its pictures are alike but for
# the top left corner, where it numbers its frames: a stored picture is
# compared with another pixel by pixel outside that corner.
TEXT_DEVICE = "Cam:still:counter"
TEXT_WIDTH, TEXT_HEIGHT = 320, 240
TEXT_TITLE = f"Quillomat - Cam ({TEXT_WIDTH}x{TEXT_HEIGHT})"
# The corner with the number, with its JPEG block and the block next to it.
CORNER = 24
TIME_TEXT_TITLE = "日時表示設定"

# The texts the shared steps look for, in each language (accessible names:
# mnemonics without "&").
TEXTS = {
    "ja": {"log": "ログ", "started": "Quillomatを開始しました。", "preview": "プレビュー",
           "hide": "非表示(S)", "show": "表示(S)", "snapshot": "スナップショット(P)",
           "file": "ファイル(F)", "exit": "終了(X)"},
    "en": {"log": "Log", "started": "Quillomat has started.", "preview": "Preview",
           "hide": "Hide", "show": "Show", "snapshot": "Snapshot", "file": "File",
           "exit": "Exit"},
}


class Session:
    def __init__(self, binary, home, language):
        self.binary = binary
        self.home = home
        self.texts = TEXTS[language]
        # What the capture settings step saved, for the end to check.
        self.interval = None
        self.save = desktop.prepare_home(home, DEVICE, WIDTH, HEIGHT,
                                         diary={"INTERVAL_SECOND": 2})
        # Shorter designed waits (the run wait of every restore) keep the
        # steps quick; the order of events stays the same.
        env = {"QUILLOMAT_TEST_DELAYS": "10"}
        if language == "en":
            env.update(desktop.ENGLISH)
        self.program = desktop.Program(binary, home, DEVICE, env=env)
        self.widgets = desktop.Widgets(self.program.pid)
        self.widgets.watch_popups()
        self.window = None
        self.accessible = None

    def setting(self, section, key):
        return desktop.read_ini(self.home / "setup.ini").get((section, key))

    def wait_live_preview(self):
        desktop.wait_live_preview(self.widgets, self.accessible, self.home,
                                  name=self.texts["preview"])

    def press(self, name, root=None):
        button = self.widgets.wait_find(
            f'the button "{name}"',
            lambda: self.widgets.find(root or self.accessible, role="push button", name=name))
        self.widgets.do_action(button)

    def tray_menu(self, first):
        """Opens the tray icon's menu with a right click on the icon in the
        panel (the icon has no accessible object, so the pointer clicks it),
        once its first entry reads `first`: the window's state reaches the
        program a little after the window manager has acted."""
        icon = wait_until(desktop.tray_icon_window, LIMIT_S, "the tray icon in the panel")
        seen = []
        self.widgets.forget_popups()

        def opened():
            items = self.widgets.popup_items()
            if os.environ.get("E2E_TRACE"):
                print(f"  {time.monotonic():.1f} popup before click: {[i.name for i in items]}")
            if not items:
                desktop.click_window(icon, button=3)
                items = wait_until_or_none(self.widgets.popup_items, 5.0)
            if not items:
                return None
            seen.append(items[0].name)
            if items[0].name == first:
                return items
            desktop.press_key("Escape")
            wait_until_or_none(lambda: not self.widgets.popup_items(), 5.0)
            return None

        try:
            items = wait_until(opened, LIMIT_S, f'the tray menu with "{first}"', interval_s=0.5)
        finally:
            if len(seen) > 1:
                print(f"      tray menu first entries seen: {seen}")
        names = [item.name for item in items]
        if names[1:] != [self.texts["snapshot"], self.texts["exit"]]:
            raise Failure(f"the tray menu holds {names}")
        return items


def wait_until_or_none(condition, limit_s):
    try:
        return wait_until(condition, limit_s, "")
    except Failure:
        return None


def step_window_comes(s):
    s.window = desktop.wait_window(TITLE, s.program.pid)
    s.accessible = s.widgets.wait_find("the main window on the accessibility bus",
                                       s.widgets.main_window)
    wait_until(lambda: desktop.window_shown(s.window), LIMIT_S, "the window mapped")
    log = s.widgets.find(s.accessible, role="text", name=s.texts["log"])
    if log is None:
        raise Failure(f'no log box "{s.texts["log"]}"')
    wait_until(lambda: s.texts["started"] in log.queryText().getText(0, -1), LIMIT_S,
               "the start line in the log box")
    s.wait_live_preview()


def step_on_off(s):
    if s.setting("DIARY", "ONAIR") != "on":
        raise Failure("ONAIR is not on at the start")
    s.press("ON/OFF切替")
    wait_until(lambda: s.setting("DIARY", "ONAIR") == "off", LIMIT_S, "ONAIR=off in setup.ini")
    s.press("ON/OFF切替")
    wait_until(lambda: s.setting("DIARY", "ONAIR") == "on", LIMIT_S, "ONAIR=on in setup.ini")


def step_snapshot_saved(s):
    target = s.home / "saved" / "snapshot.jpg"
    target.parent.mkdir()
    s.press("スナップショット")
    dialog = s.widgets.wait_find("the snapshot dialog",
                                 lambda: s.widgets.window_named(SNAPSHOT_TITLE))
    if not (s.home / "snap.tmp").is_file():
        raise Failure("no snap.tmp while the snapshot dialog is open")
    picture = s.widgets.find(dialog, name="スナップショット", role="image")
    extents = picture.queryComponent().getExtents(0) if picture else None
    if extents is None or (extents.width, extents.height) != (WIDTH, HEIGHT):
        raise Failure(f"the dialog shows no {WIDTH}x{HEIGHT} picture: {extents}")
    s.press("保存", dialog)

    def file_dialog():
        for window in s.widgets.windows():
            if window.name != SNAPSHOT_TITLE and window.name != s.accessible.name and \
                    s.widgets.showing(window) and window.getRoleName() in ("dialog", "frame") \
                    and s.widgets.find(window, role="text") is not None:
                return window
        return None

    files = s.widgets.wait_find("the save-file dialog", file_dialog)
    name_field = s.widgets.find(files, role="text",
                                predicate=lambda a: desktop.PICTURE_NAME.match(
                                    a.queryText().getText(0, -1) or ""))
    if name_field is None:
        raise Failure("the file dialog offers no file name like 20240315093005.jpg")
    name_field.queryEditableText().setTextContents(str(target))
    wait_until(lambda: name_field.queryText().getText(0, -1) == str(target), LIMIT_S,
               "the path in the file name field")
    accept = s.widgets.find(files, role="push button",
                            predicate=lambda a: s.widgets.atspi.STATE_IS_DEFAULT in
                            s.widgets.states(a))
    if accept is None:
        raise Failure("the file dialog has no default button")
    s.widgets.do_action(accept)
    wait_until(lambda: target.is_file() and s.widgets.window_named(SNAPSHOT_TITLE) is None,
               LIMIT_S, "the saved snapshot and the dialog closed")
    if desktop.decode_jpeg(target) != (WIDTH, HEIGHT):
        raise Failure(f"the snapshot is not {WIDTH}x{HEIGHT}")
    leftovers = [p.name for p in s.home.iterdir() if p.name == "snap.tmp" or
                 desktop.PICTURE_NAME.match(p.name)]
    if leftovers:
        raise Failure(f"temporary files left in the home folder: {leftovers}")


def show_from_tray(s, what):
    """Chooses the tray menu's show entry until the window is on screen. Once,
    under the whole suite, the window did not come back within 60 s of the
    entry's action (most likely lost as the menu closed on a busy machine):
    the entry is chosen again, at most twice, and each time said."""
    for attempt in range(3):
        if attempt > 0:
            print(f"      {what}: the tray menu's show entry chosen again")
        s.widgets.do_action(s.tray_menu(s.texts["show"])[0])
        if wait_until_or_none(lambda: desktop.window_shown(s.window), LIMIT_S / 3):
            return
        if desktop.window_shown(s.window):
            return
        print(f"      {what}: not on screen ({desktop.window_state_words(s.window)})")
    raise Failure(f"gave up after {LIMIT_S:.0f} s waiting for {what} "
                  f"({desktop.window_state_words(s.window)})")


def step_tray_and_back(s):
    items = s.tray_menu(s.texts["hide"])
    s.widgets.do_action(items[0])
    wait_until(lambda: not desktop.window_shown(s.window), LIMIT_S, "the window in the tray")
    show_from_tray(s, "the window back on screen")
    s.wait_live_preview()

    # The window manager's minimise (the minimise box) goes to the tray too.
    desktop.minimise_window(s.window)
    wait_until(lambda: not desktop.window_shown(s.window), LIMIT_S,
               "the minimised window in the tray")
    show_from_tray(s, "the window restored")
    s.wait_live_preview()


def dialog_field(s, dialog, name):
    """The text field of a dialog's control named `name` (a spin's own line
    edit), never the label beside it."""
    control = s.widgets.find(dialog, name=name,
                             predicate=lambda a: a.getRoleName() != "label")
    if control is None:
        raise Failure(f'no control "{name}"')
    if control.getRoleName() != "text":
        control = s.widgets.find(control, role="text") or control
    return control


def run_settings_dialog(s, button, title, fields):
    """Opens a settings dialog with its button of the main window, types
    `fields` {name: text} into it and presses OK. (A menu entry pressed
    through the accessibility bus answers only once the modal dialog it
    opens has closed; a button answers at once.)"""
    s.press(button)
    dialog = s.widgets.wait_find(f'the dialog "{title}"', lambda: s.widgets.window_named(title))
    for name, text in fields.items():
        field = dialog_field(s, dialog, name)
        field.queryEditableText().setTextContents(text)
        wait_until(lambda: field.queryText().getText(0, -1) == text, LIMIT_S,
                   f'"{text}" in "{name}"')
    s.press("OK", dialog)
    wait_until(lambda: s.widgets.window_named(title) is None, LIMIT_S, f'"{title}" closed')


def setup_ini_written(s, before):
    """True once setup.ini was written anew since `before` (its stat): the
    settings are saved through a new file renamed into place."""
    now = (s.home / "setup.ini").stat()
    return (now.st_ino, now.st_mtime_ns) != (before.st_ino, before.st_mtime_ns)


def answer_prompt(s, text):
    """The validation prompt (a message box titled "Quillomat") says `text`;
    its OK closes it."""
    box = s.widgets.wait_find(f'the prompt "{text}"', lambda: s.widgets.window_named("Quillomat"))
    if s.widgets.find(box, name=text) is None:
        raise Failure(f'the prompt does not say "{text}"')
    s.press("OK", box)
    wait_until(lambda: s.widgets.window_named("Quillomat") is None, LIMIT_S, "the prompt closed")


def close_with(s, dialog, title, button):
    s.press(button, dialog)
    wait_until(lambda: s.widgets.window_named(title) is None, LIMIT_S, f'"{title}" closed')


def step_cancel_keeps_nothing_and_spins_speak(s):
    keys = [("DIARY", "INTERVAL_MINUTE"), ("DIARY", "MOTION_DETECT_UPDATE"),
            ("HTML", "INDEX_HTML_TITLE"), ("HTML", "PREVIEW_IMAGE_SIZE")]
    kept = {key: s.setting(*key) for key in keys}
    if None in kept.values():
        raise Failure(f"setup.ini lacks some of {keys}")

    # The web page dialog: a typed title and size taken over by a "デフォルト"
    # button, then Cancel.
    s.widgets.menu_command(s.accessible, "各種設定(S)", "HTML出力設定(H)")
    web = s.widgets.wait_find('the dialog "HTML設定"', lambda: s.widgets.window_named("HTML設定"))
    for name, text in {"タイトル": "E2E-TITLE", "画像サイズ": "7"}.items():
        field = dialog_field(s, web, name)
        field.queryEditableText().setTextContents(text)
        wait_until(lambda: field.queryText().getText(0, -1) == text, LIMIT_S, f'"{text}"')
    s.press("デフォルト", web)
    wait_until(lambda: dialog_field(s, web, "画像サイズ").queryText().getText(0, -1) == "50",
               LIMIT_S, "the default picture size shown")
    close_with(s, web, "HTML設定", "キャンセル")

    # The capture dialog: the minutes and check interval, OK refused
    # with the exclamation prompt, then Cancel; the command saves after it.
    before = (s.home / "setup.ini").stat()
    s.press("キャプチャ設定")
    capture = s.widgets.wait_find('the dialog "キャプチャ設定"',
                                  lambda: s.widgets.window_named("キャプチャ設定"))
    for name in ("分", "検査間隔"):
        field = dialog_field(s, capture, name)
        field.queryEditableText().setTextContents("5")
        wait_until(lambda: field.queryText().getText(0, -1) == "5", LIMIT_S, f'5 in "{name}"')
    s.press("OK", capture)
    answer_prompt(s, "Please enter an integer between 20 and 30000.")
    close_with(s, capture, "キャプチャ設定", "キャンセル")
    wait_until(lambda: setup_ini_written(s, before), LIMIT_S, "setup.ini saved after Cancel")
    now = {key: s.setting(*key) for key in keys}
    if now != kept:
        raise Failure(f"Cancel kept something: {kept} before, {now} after")
    s.wait_live_preview()

    # The spins' Value interface: the number shown with the spin range, and
    # a value set through it is what OK stores.
    s.press("キャプチャ設定")
    capture = s.widgets.wait_find('the dialog "キャプチャ設定"',
                                  lambda: s.widgets.window_named("キャプチャ設定"))

    def spin_value(name):
        spin = s.widgets.find(capture, role="spin button", name=name)
        if spin is None:
            raise Failure(f'no spin "{name}"')
        return spin.queryValue()

    check = spin_value("検査間隔")
    read = tuple(round(v) for v in (check.currentValue, check.minimumValue, check.maximumValue))
    if read != (int(kept[("DIARY", "MOTION_DETECT_UPDATE")]), 20, 30000):
        raise Failure(f'"検査間隔" reads {read} through its Value interface')
    least = spin_value("画像保存最短間隔")
    least.currentValue = 120
    field = dialog_field(s, capture, "画像保存最短間隔")
    wait_until(lambda: field.queryText().getText(0, -1) == "120", LIMIT_S,
               '120 set through the Value interface shown in "画像保存最短間隔"')
    close_with(s, capture, "キャプチャ設定", "OK")
    wait_until(lambda: s.setting("DIARY", "MOTION_DETECT_INTERVAL") == "120", LIMIT_S,
               "MOTION_DETECT_INTERVAL=120 in setup.ini")
    s.wait_live_preview()


def step_capture_settings(s):
    run_settings_dialog(s, "キャプチャ設定", "キャプチャ設定", {"秒間隔": "7"})
    s.interval = "7"
    # Saved after the rebuild, which brings the live picture back.
    wait_until(lambda: s.setting("DIARY", "INTERVAL_SECOND") == "7", LIMIT_S,
               "INTERVAL_SECOND=7 in setup.ini")
    s.wait_live_preview()


def step_exit(s):
    wait_until(lambda: len(desktop.pictures(s.save)) >= 1, LIMIT_S, "a diary picture")
    s.widgets.menu_command(s.accessible, s.texts["file"], s.texts["exit"])
    status = s.program.wait_exit(LIMIT_S)
    if status != 0:
        raise Failure(f"exit status {status}")
    stored = desktop.pictures(s.save)
    desktop.decode_jpeg(stored[-1])
    if (s.save / stored[-1].parent.name / "preview.html").is_file() is False:
        raise Failure("no day page beside the pictures")
    device = desktop.read_ini(s.home / "device.ini")
    if (device.get(("DEVICE", "SELECT")), device.get(("DEVICE", "WIDTH"))) != (DEVICE, str(WIDTH)):
        raise Failure(f"device.ini lost the device: {device}")
    if s.setting("DIARY", "ONAIR") != "on":
        raise Failure("ONAIR is not on after the end")
    if s.interval is not None and s.setting("DIARY", "INTERVAL_SECOND") != s.interval:
        raise Failure("the interval of the capture settings dialog was not kept")


def step_menus_and_a_dialog_speak_english(s):
    bar = s.widgets.find(s.accessible, role="menu bar")
    if bar is None:
        raise Failure("no menu bar")
    menus = [bar.getChildAtIndex(i) for i in range(bar.childCount)]
    names = [menu.name for menu in menus]
    if names != ["File", "Settings", "Device", "Help"]:
        raise Failure(f"the menu bar reads {names}")
    entries = {menu.name: [item.name for item in s.widgets.find_all(menu, role="menu item")
                           if item.name]
               for menu in menus}
    expected = {"File": ["Snapshot", "Exit"],
                "Settings": ["Application Settings", "Capture Settings", "HTML Settings",
                             "Time Text Settings", "Extra Settings"],
                "Device": ["Change", "Settings", "Properties"],
                "Help": ["Home Page", "About Quillomat"]}
    if entries != expected:
        raise Failure(f"the menus read {entries}")

    s.press("Capture settings")
    title = "Capture Settings"
    dialog = s.widgets.wait_find(f'the dialog "{title}"', lambda: s.widgets.window_named(title))
    for role, name in [("check box", "Store a picture on motion"), ("text", "Picture Folder"),
                       ("push button", "Browse"), ("push button", "Apply")]:
        if s.widgets.find(dialog, role=role, name=name) is None:
            raise Failure(f'the dialog "{title}" has no {role} "{name}"')
    close_with(s, dialog, title, "Cancel")
    s.wait_live_preview()


def time_text_home(home, time_format):
    """A home that stores a picture a second with `time_format` drawn on it,
    away from the numbered corner."""
    return desktop.prepare_home(home, "Cam", TEXT_WIDTH, TEXT_HEIGHT,
                                diary={"INTERVAL_SECOND": 1},
                                time_text={"SHOW_TEXT": "on", "TIME_FORMAT": time_format,
                                           "TEXT_XPOS": CORNER + 8, "TEXT_YPOS": CORNER + 8})


def beside_corner(path):
    """The picture's RGB pixels with the numbered corner blanked."""
    (width, height), pixels = desktop.decode_jpeg_pixels(path)
    if (width, height) != (TEXT_WIDTH, TEXT_HEIGHT):
        raise Failure(f"{path.name} is {width}x{height}")
    rows = bytearray(pixels)
    for y in range(CORNER):
        rows[y * width * 3:(y * width + CORNER) * 3] = bytes(CORNER * 3)
    return bytes(rows)


def reference_picture(s, time_format):
    """A picture the engine draws with `time_format`, from a run without a window."""
    home = s.home / "reference"
    save = time_text_home(home, time_format)
    program = desktop.Program(s.binary, home, TEXT_DEVICE, args=["--headless"],
                              env={"QUILLOMAT_TEST_DELAYS": "10"})
    try:
        wait_until(lambda: desktop.pictures(save), LIMIT_S, f'a picture with "{time_format}"')
    finally:
        program.stop()
    return beside_corner(desktop.pictures(save)[0])


def step_time_text(s):
    expected = reference_picture(s, "QUILL-B")
    home = s.home / "time-text"
    save = time_text_home(home, "QUILL-A")
    program = desktop.Program(s.binary, home, TEXT_DEVICE, env={"QUILLOMAT_TEST_DELAYS": "10"})
    try:
        widgets = desktop.Widgets(program.pid)
        desktop.wait_window(TEXT_TITLE, program.pid)
        main = widgets.wait_find("the main window on the accessibility bus", widgets.main_window)
        wait_until(lambda: desktop.pictures(save), LIMIT_S, 'a picture with "QUILL-A"')

        widgets.menu_command(main, "各種設定(S)", "日時表示設定(T)")
        dialog = widgets.wait_find(f'the dialog "{TIME_TEXT_TITLE}"',
                                   lambda: widgets.window_named(TIME_TEXT_TITLE))
        field = widgets.find(dialog, role="text", name="表示文字列")
        if field is None or field.queryText().getText(0, -1) != "QUILL-A":
            raise Failure('"表示文字列" does not show "QUILL-A"')
        field.queryEditableText().setTextContents("QUILL-B")
        wait_until(lambda: field.queryText().getText(0, -1) == "QUILL-B", LIMIT_S,
                   '"QUILL-B" in "表示文字列"')
        ok = widgets.find(dialog, role="push button", name="OK")
        widgets.do_action(ok)
        wait_until(lambda: widgets.window_named(TIME_TEXT_TITLE) is None, LIMIT_S,
                   f'"{TIME_TEXT_TITLE}" closed')

        before = desktop.pictures(save)
        # A store under way at OK may still draw the old text; the one after
        # it began after OK.
        after = wait_until(lambda: [p for p in desktop.pictures(save) if p not in before][:2]
                           if len(desktop.pictures(save)) >= len(before) + 2 else None,
                           LIMIT_S, "two pictures stored after OK")
        old = {beside_corner(p) for p in before}
        if expected in old:
            raise Failure(f'the pictures with "QUILL-A" look like the one with "QUILL-B"')
        if beside_corner(after[0]) not in old | {expected}:
            raise Failure(f"{after[0].name} shows neither text")
        if beside_corner(after[1]) != expected:
            raise Failure(f'{after[1].name}, stored after OK, does not show "QUILL-B" '
                          "as the engine draws it")

        widgets.menu_command(main, "ファイル(F)", "終了(X)")
        status = program.wait_exit(LIMIT_S)
        if status != 0:
            raise Failure(f"exit status {status}")
        stored = desktop.read_ini(home / "setup.ini").get(("TIMETEXT", "TIME_FORMAT"))
        if stored != "QUILL-B":
            raise Failure(f"setup.ini holds TIME_FORMAT={stored}")
    finally:
        program.stop()
        if program.process.returncode not in (0, None) or program.running():
            print("--- time text program output ---\n" + program.output())


STEPS = [
    ("the window comes with a live preview", step_window_comes),
    ("ON/OFF writes ONAIR at once", step_on_off),
    ("a snapshot is saved through the file dialog", step_snapshot_saved),
    ("the window goes to the tray and comes back from the tray menu", step_tray_and_back),
    ("Cancel keeps nothing and the spins speak through their Value interface",
     step_cancel_keeps_nothing_and_spins_speak),
    ("the capture settings dialog's interval is rebuilt with and saved", step_capture_settings),
    ('"終了(&X)" ends the program cleanly with its diary and settings', step_exit),
    ("the time text dialog's new text is drawn into the next picture and saved",
     step_time_text),
]

# English: a shorter run, the texts rather than the behaviour again.
ENGLISH_STEPS = [
    ("the window comes with a live preview and an English log box", step_window_comes),
    ("the menus and the capture settings dialog speak English",
     step_menus_and_a_dialog_speak_english),
    ("the tray menu speaks English and brings the window back", step_tray_and_back),
    ('"Exit" ends the program cleanly with its diary and settings', step_exit),
]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--binary", type=Path, default=desktop.DEFAULT_BINARY)
    parser.add_argument("--keep", action="store_true", help="keep the home folder")
    parser.add_argument("--language", choices=["ja", "en"], default="ja")
    args = parser.parse_args()
    missing = desktop.tools_missing(TOOLS)
    if missing or desktop.accessibility() is None:
        print(f"desktop end to end: missing {' '.join(missing) or 'python3-pyatspi'} "
              "(scripts/install-deps)")
        return desktop.SKIP
    desktop.run_in_session([str(Path(__file__).resolve()), *sys.argv[1:]])

    home = Path(tempfile.mkdtemp(prefix="quillomat-e2e-"))
    s = Session(args.binary, home, args.language)
    steps = STEPS if args.language == "ja" else ENGLISH_STEPS
    passed = failed = 0
    try:
        for name, step in steps:
            start = time.monotonic()
            try:
                step(s)
            except Exception as e:  # a failed step ends the run: later steps build on it
                failed += 1
                print(f"FAIL  {name}: {e}")
                try:
                    desktop.capture_window("root", home / "screen-at-failure.png")
                except Failure:
                    pass
                if not isinstance(e, Failure):
                    traceback.print_exc()
                break
            passed += 1
            print(f"ok    {name} ({time.monotonic() - start:.1f} s)", flush=True)
    finally:
        s.program.stop()
        if failed:
            print("--- program output ---\n" + s.program.output())
        if args.keep or failed:
            print(f"home folder kept: {home}")
        else:
            import shutil
            shutil.rmtree(home, ignore_errors=True)
    skipped = len(steps) - passed - failed
    print(f"{passed} passed, {failed} failed" + (f", {skipped} skipped" if skipped else ""))
    return 0 if failed == 0 and skipped == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
