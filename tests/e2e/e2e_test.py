#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Pelmora driven as a user drives it, on a real X server.

Starts Xvfb and a small window manager (openbox), starts the built program
with nothing but DISPLAY set, and checks through X what a user would see:
the window's title, size, fixed border and class, the graph's grid on a
screenshot, the Japanese texts rendered with a real font, the caption while
minimized, the double-start message, and that the window manager's close
request ends the program at once with status 0.

Run as root, it also starts the program as an unprivileged user beside
root's, with an accessibility bus (AT-SPI) in that user's session, and reads
the process list and the message boxes from it as a screen reader does:
other users' processes and what cannot be read of them, 停止 on a root
process, and the single-instance check between two users.

    e2e_test.py PATH/TO/pelmora

PELMORA_SCREENSHOT=FILE also saves the window's screenshot to FILE.
"""

import ctypes
import json
import os
import pwd
import re
import select
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time

TITLE = "Pelmora Ver.2.0"
# The Qt the program was built with, major and minor (from the test's
# CMake file): what reaches the accessibility bus differs between them.
QT_VERSION = tuple(int(part) for part in
                   os.environ.get("PELMORA_QT_VERSION", "0.0").split(".")[:2])
DOUBLE_START = "Pelmora 二重起動エラー"
WARNING = "Pelmoraの警告"
CLIENT_SIZE = (448, 307)
CLIENT_POSITION = (249, 184)
# The graph box in client coordinates; a 2-pixel sunken border around the
# inner drawing area.
GRAPH_BOX = (300, 136, 145, 73)
GRAPH_INNER = (302, 138, 141, 69)
GRID = (0, 150, 0)
CURVES = {(0, 255, 0), (255, 255, 0)}
BLACK = (0, 0, 0)
# Control rectangles (client coordinates) holding Japanese text only.
JAPANESE_TEXTS = {
    "Command1 更新": (384, 260, 41, 25),
    "Command2 停止": (320, 260, 41, 25),
    "Label1(2) 利用可能": (16, 168, 50, 14),
}
TOOLS = {
    "Xvfb": "xvfb",
    "openbox": "openbox",
    "xdotool": "xdotool",
    "xprop": "x11-utils",
    "xwininfo": "x11-utils",
    "wmctrl": "wmctrl",
    "import": "imagemagick",
    "convert": "imagemagick",
}
# For the run as another user: the session and accessibility buses, and the
# reader of the accessibility bus in Debian's own Python with its bindings.
USER_TOOLS = {
    "setpriv": "util-linux",
    "dbus-daemon": "dbus-daemon",
    "/usr/libexec/at-spi-bus-launcher": "at-spi2-core",
}
USER_PYTHON = "/usr/bin/python3"
USER_PYTHON_PACKAGES = "python3-gi gir1.2-atspi-2.0"

# The unprivileged user: nobody, the account without privileges that every
# Debian system has (the session bus wants the user in the user database).
# The one who takes that user's abstract name first is a bare user ID.
NOBODY = 65534
# Root processes in the other user's list. The name shown for another user's
# process is argv[0]'s file name when argv[0] is absolute, else the command
# name: the first 15 bytes of the executable's file name.
HELPER_EXE = "e2e-sleep-by-command-name"
HELPER_COMMAND_NAME = HELPER_EXE[:15]
TARGET_ARGV0 = "/opt/pelmora-e2e/pelmora-e2e-target"
LATE_ARGV0 = "/opt/pelmora-e2e/pelmora-e2e-late"
# The accessible names the window gives its controls.
LIST_NAME = "プロセス一覧"
STOP_NAME = "選択したプロセスを停止"
REFRESH_NAME = "プロセス一覧を更新"
GRAPH_NAME = "CPU負荷率とメモリ使用率のグラフ"
LIST_FIRST_ROW = (30, 30)  # in the file-name column, below the header
# The list's headers as a screen reader reads them, without their blanks.
HEADERS = ["ファイル名", "参照回数", "プロセスID", "基本優先順位", "スレッド数", "ヒープID",
           "モジュールID", "親プロセスID"]

failures = []

_libc = ctypes.CDLL(None, use_errno=True)
_PR_SET_PDEATHSIG = 1


def ends_with_us():
    """Run in each child before exec: the child is ended with this script,
    even when the script itself is killed (a test timeout)."""
    _libc.prctl(_PR_SET_PDEATHSIG, signal.SIGTERM)


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


def run(*args, env=None, check_rc=True):
    result = subprocess.run(args, env=env, capture_output=True, timeout=20)
    if check_rc and result.returncode != 0:
        raise RuntimeError(f"{' '.join(args)}: {result.stderr.decode(errors='replace').strip()}")
    return result.stdout.decode(errors="replace")


def poll(probe, seconds, step=0.05):
    """Calls probe until it returns something true, for at most seconds."""
    deadline = time.monotonic() + seconds
    while True:
        value = probe()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(step)


class Image:
    """A screenshot as RGB pixels (read from ImageMagick's binary PPM)."""

    def __init__(self, png):
        data = subprocess.run(["convert", png, "-depth", "8", "ppm:-"], capture_output=True,
                              check=True, timeout=20).stdout
        magic, width, height, maxval, pixels = data.split(maxsplit=4)
        if magic != b"P6" or maxval != b"255":
            raise RuntimeError(f"{png}: unexpected image format")
        self.width, self.height, self.pixels = int(width), int(height), pixels

    def at(self, x, y):
        i = 3 * (y * self.width + x)
        return tuple(self.pixels[i:i + 3])

    def crop(self, rect):
        left, top, width, height = rect
        return [self.at(left + x, top + y) for y in range(height) for x in range(width)]


class SyntheticInput:
    """Mouse clicks and typing through the X server's test extension, from
    this process: a helper program started for each would itself change the
    process set, and the list, rebuilt at the next tick, would lose the
    selection made."""

    def __init__(self, display_name):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.xtst = ctypes.CDLL("libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XStringToKeysym.restype = ctypes.c_ulong
        self.x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
        self.x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        self.x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                                   ctypes.c_int, ctypes.c_ulong]
        self.xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                                   ctypes.c_ulong]
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                                ctypes.c_ulong]
        self.connection = self.x11.XOpenDisplay(display_name.encode())
        if not self.connection:
            raise RuntimeError(f"cannot open display {display_name}")

    def click(self, x, y):
        self.xtst.XTestFakeMotionEvent(self.connection, -1, x, y, 0)
        self.xtst.XTestFakeButtonEvent(self.connection, 1, True, 0)
        self.xtst.XTestFakeButtonEvent(self.connection, 1, False, 0)
        self.x11.XSync(self.connection, False)

    def key(self, name):
        """One key by its X name (Return, KP_Enter, Tab, Right...), or
        modifiers and a key joined by "+" (shift+Tab)."""
        names = ["Shift_L" if n == "shift" else "Control_L" if n == "ctrl" else n
                 for n in name.split("+")]
        keycodes = [self.x11.XKeysymToKeycode(self.connection,
                                              self.x11.XStringToKeysym(n.encode()))
                    for n in names]
        if not all(keycodes):
            raise RuntimeError(f"no key for {name}")
        for down, order in ((True, keycodes), (False, keycodes[::-1])):
            for keycode in order:
                self.xtst.XTestFakeKeyEvent(self.connection, keycode, down, 0)
                self.x11.XSync(self.connection, False)
                time.sleep(0.03)
        time.sleep(0.1)

    def type(self, text):
        """Lower-case letters, digits and "-"."""
        for char in text:
            keysym = self.x11.XStringToKeysym(b"minus" if char == "-" else char.encode())
            keycode = self.x11.XKeysymToKeycode(self.connection, keysym)
            self.xtst.XTestFakeKeyEvent(self.connection, keycode, True, 0)
            self.xtst.XTestFakeKeyEvent(self.connection, keycode, False, 0)
            self.x11.XSync(self.connection, False)
            time.sleep(0.02)

    def close(self):
        self.x11.XCloseDisplay(self.connection)


class Display:
    """Xvfb with openbox on a display number of its own."""

    def __init__(self, workdir):
        self.env = dict(os.environ)
        for name in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "QT_ACCESSIBILITY"):
            self.env.pop(name, None)
        runtime = os.path.join(workdir, "runtime")
        os.mkdir(runtime, 0o700)
        self.env["XDG_RUNTIME_DIR"] = runtime
        self.env["HOME"] = workdir
        read_end, write_end = os.pipe()
        self.server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten",
             "tcp", "-noreset"], pass_fds=(write_end,), preexec_fn=ends_with_us,
            stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(workdir, "xvfb.log"), "wb"))
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number
        self.wm = subprocess.Popen(["openbox", "--sm-disable"], env=self.env,
                                   preexec_fn=ends_with_us, stdout=subprocess.DEVNULL,
                                   stderr=open(os.path.join(workdir, "openbox.log"), "wb"))
        if not poll(lambda: "window id" in self.x("xprop", "-root", "_NET_SUPPORTING_WM_CHECK",
                                                  check_rc=False), 10):
            raise RuntimeError("the window manager did not start")

    def x(self, *args, check_rc=True):
        return run(*args, env=self.env, check_rc=check_rc)

    def close(self):
        for process in (self.wm, self.server):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()


def as_user(uid, args):
    """args run as the user uid, with no supplementary groups; the
    parent-death signal survives the change of user."""
    return ["setpriv", f"--reuid={uid}", f"--regid={uid}", "--clear-groups",
            "--pdeathsig", "keep", "--"] + list(args)


class Pelmora:
    """One run of the program, started as a user starts it; as the user uid
    when given, in the environment env (the display's by default)."""

    def __init__(self, display, binary, extra_env=None, uid=None, env=None, log=None):
        self.display = display
        env = dict(env or display.env)
        env.update(extra_env or {})
        args = as_user(uid, [binary]) if uid is not None else [binary]
        self.process = subprocess.Popen(args, env=env, preexec_fn=ends_with_us, cwd="/",
                                        stdout=subprocess.DEVNULL,
                                        stderr=log or subprocess.PIPE)

    def windows(self, name=None):
        """Its visible windows; those titled name when given (the title as
        _NET_WM_NAME has it: WM_NAME, which xdotool would match, is not
        UTF-8 in the C locale)."""
        found = self.display.x("xdotool", "search", "--onlyvisible", "--pid",
                               str(self.process.pid), check_rc=False).split()
        return [window for window in found if name is None or self.title(window) == name]

    def window(self, name, seconds=15):
        found = poll(lambda: self.windows(name), seconds)
        if not found:
            raise RuntimeError(f"no window '{name}' of process {self.process.pid}")
        return found[0]

    def prop(self, window, name):
        return self.display.x("xprop", "-id", window, name, check_rc=False)

    def title(self, window):
        match = re.search(r'= "(.*)"', self.prop(window, "_NET_WM_NAME"))
        return match.group(1) if match else None

    def wait(self, seconds):
        try:
            return self.process.wait(seconds)
        except subprocess.TimeoutExpired:
            return None

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def client_geometry(display, window):
    info = display.x("xwininfo", "-id", window)
    return (int(re.search(r"Width: (\d+)", info).group(1)),
            int(re.search(r"Height: (\d+)", info).group(1)))


def client_position(display, window):
    info = display.x("xwininfo", "-id", window)
    return (int(re.search(r"Absolute upper-left X: +(-?\d+)", info).group(1)),
            int(re.search(r"Absolute upper-left Y: +(-?\d+)", info).group(1)))


def screenshot(display, window, path):
    display.x("import", "-window", window, path)
    return Image(path)


def check_graph(image):
    """The graph box: a black area with the grid where the tick draws it."""
    left, top, width, height = GRAPH_INNER
    # The grid lines as the graph computes them; a line at c covers pixel floor(c).
    rows = [int((height - 6) / 5 * i + 3) for i in range(6)]
    cols = [int((width - 6) * i / 10 + 3) for i in range(11)]
    check(rows == [3, 15, 28, 40, 53, 66] and cols[:3] == [3, 16, 30],
          f"grid positions for a {width}x{height} area: rows {rows}, columns {cols}")

    def share(pixels, colours):
        return sum(p in colours for p in pixels) / len(pixels)

    for y in rows:
        line = [image.at(left + x, top + y) for x in range(3, width - 3)]
        check(share(line, {GRID}) >= 0.6 and share(line, {GRID} | CURVES) >= 0.9,
              f"horizontal grid line at inner y={y} is {GRID}")
    for x in cols:
        line = [image.at(left + x, top + y) for y in range(3, height - 3)]
        check(share(line, {GRID}) >= 0.6 and share(line, {GRID} | CURVES) >= 0.9,
              f"vertical grid line at inner x={x} is {GRID}")
    # Lines are one pixel wide: the rows and columns between them are black
    # except where a curve crosses.
    others = [image.at(left + x, top + y) for y in range(height) for x in range(width)
              if y not in rows and x not in cols]
    check(share(others, {BLACK}) >= 0.85 and share(others, {BLACK, GRID} | CURVES) >= 0.99,
          f"graph background is black ({share(others, {BLACK}):.0%} of the other pixels)")
    check(share([image.at(left + x, top + 1) for x in range(width)], {BLACK}) == 1.0,
          "the margin above the top grid line is black")
    # The sunken border is not part of the black area.
    box_left, box_top, box_width, box_height = GRAPH_BOX
    border = [image.at(box_left + x, box_top) for x in range(box_width)]
    check(share(border, {BLACK}) == 0.0, "the graph's border frames the black area")


def check_japanese_rendering(display, binary, workdir, with_font):
    """Renders the window again with fontconfig seeing no CJK font: the
    Japanese texts must look different from the run above (boxes instead of
    glyphs), while they carry ink in both runs."""
    fonts = os.path.join(workdir, "fonts-no-cjk.conf")
    cache = os.path.join(workdir, "fontconfig-cache")
    with open(fonts, "w") as out:
        out.write('<?xml version="1.0"?>\n<!DOCTYPE fontconfig SYSTEM "fonts.dtd">\n'
                  f'<fontconfig><dir>/usr/share/fonts/truetype/dejavu</dir>'
                  f'<cachedir>{cache}</cachedir></fontconfig>\n')
    plain = Pelmora(display, binary, {"FONTCONFIG_FILE": fonts})
    try:
        window = plain.window(TITLE)
        time.sleep(0.5)
        without = screenshot(display, window, os.path.join(workdir, "no-cjk-font.png"))
    finally:
        for window in plain.windows():
            display.x("wmctrl", "-i", "-c", window, check_rc=False)
        if plain.wait(5) is None:
            plain.stop()
    for name, rect in JAPANESE_TEXTS.items():
        a, b = with_font.crop(rect), without.crop(rect)
        ink = sum(1 for p in a if max(p) < 100)
        differing = sum(1 for p, q in zip(a, b) if p != q)
        check(ink > 10 and differing > len(a) // 20,
              f"{name} is drawn with a Japanese font ({ink} ink pixels, "
              f"{differing} pixels differ from the rendering without one)")


def atspi_reader(pid):
    """The reader of the accessibility bus: runs as the program's user, in
    its session, and answers each command on stdin with one JSON line about
    the program with process ID pid, as a screen reader meets it:

    rows          the cells of the process list, row by row
    columns       the list's headers; whether each cell of its first row is
                  showing, and whether the last lies beyond the list's width
    status        the status bar's accessible name
    windows       each top-level window: role, name, labels and buttons
    where NAME    the screen rectangle of the accessible NAME
    node NAME     the role, description and value of the accessible NAME
    focus NAME    gives the accessible NAME the keyboard focus
    press NAME    presses the push button NAME (in any of its windows)
    events [S]    what the program told the bus since the last call, after
                  S seconds more: [type, role, name, value] of the focus
                  coming to an object, a value's change, an object showing
    """
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi, GLib

    tables = {Atspi.Role.TABLE, Atspi.Role.TREE, Atspi.Role.TREE_TABLE}

    def application():
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is not None and app.get_process_id() == pid:
                return app
        return None

    def below(node):
        """Every accessible below node, but the cells of a table."""
        for i in range(node.get_child_count()):
            child = node.get_child_at_index(i)
            if child is None:
                continue
            yield child
            if child.get_role() not in tables:
                yield from below(child)

    def named(node, roles, name=None):
        return [n for n in below(node) if n.get_role() in roles
                and (name is None or n.get_name() == name)]

    def read_table(table):
        columns = Atspi.Table.get_n_columns(table)
        return [[Atspi.Table.get_accessible_at(table, row, column).get_name()
                 for column in range(columns)]
                for row in range(Atspi.Table.get_n_rows(table))]

    def rows(app):
        table = named(app, tables, LIST_NAME)[0]
        # A list rebuilt while it is read reads differently twice.
        previous = None
        for _ in range(5):
            try:
                current = read_table(table)
            except GLib.Error:
                current = None
            if current is not None and current == previous:
                return current
            previous = current
        raise RuntimeError("the process list did not hold still")

    def window(node):
        return {"role": node.get_role_name(), "name": node.get_name(),
                "labels": [n.get_name() for n in named(node, {Atspi.Role.LABEL})],
                "buttons": [n.get_name() for n in named(node, {Atspi.Role.PUSH_BUTTON})]}

    events = []

    def heard(event):
        try:
            if event.source.get_process_id() == pid and (
                    event.detail1 or "value" in event.type or "name" in event.type):
                events.append([event.type, event.source.get_role_name(), event.source.get_name(),
                               Atspi.Value.get_current_value(event.source)
                               if "value" in event.type else None])
        except GLib.Error:
            pass

    listener = Atspi.EventListener.new(heard)
    for kind in ("focused", "showing"):
        listener.register("object:state-changed:" + kind)
    listener.register("object:property-change:accessible-value")
    listener.register("object:property-change:accessible-name")

    def pump(seconds):
        deadline = time.monotonic() + seconds
        while GLib.MainContext.default().iteration(False) or time.monotonic() < deadline:
            time.sleep(0.01)

    def columns(app):
        table = named(app, tables, LIST_NAME)[0]
        count = Atspi.Table.get_n_columns(table)
        cells = [Atspi.Table.get_accessible_at(table, 0, c) for c in range(count)]
        right = Atspi.Component.get_extents(table, Atspi.CoordType.SCREEN)
        last = Atspi.Component.get_extents(cells[-1], Atspi.CoordType.SCREEN)
        return {"headers": [Atspi.Table.get_column_header(table, c).get_name()
                            for c in range(count)],
                "showing": [cell.get_state_set().contains(Atspi.StateType.SHOWING)
                            for cell in cells],
                "beyond": last.x >= right.x + right.width}

    Atspi.set_timeout(5000, 15000)
    app = None
    deadline = time.monotonic() + 20
    while app is None and time.monotonic() < deadline:
        app = application()
        if app is None:
            time.sleep(0.1)
    print(json.dumps({"ready": app is not None}), flush=True)
    if app is None:
        return 1
    for line in sys.stdin:
        command, _, argument = line.strip().partition(" ")
        try:
            if command == "rows":
                answer = {"rows": rows(app)}
            elif command == "columns":
                answer = columns(app)
            elif command == "node":
                node = [n for n in below(app) if n.get_name() == argument][0]
                answer = {"role": node.get_role_name(), "description": node.get_description(),
                          "value": (Atspi.Value.get_current_value(node)
                                    if node.get_value_iface() else None),
                          "valuetext": (node.get_attributes() or {}).get("valuetext")}
            elif command == "focus":
                node = [n for n in below(app) if n.get_name() == argument][0]
                answer = {"focused": Atspi.Component.grab_focus(node)}
            elif command == "events":
                pump(float(argument or 0))
                answer = {"events": events[:]}
                events.clear()
            elif command == "status":
                answer = {"status": named(app, {Atspi.Role.STATUS_BAR})[0].get_name()}
            elif command == "windows":
                answer = {"windows": [window(app.get_child_at_index(i))
                                      for i in range(app.get_child_count())]}
            elif command == "where":
                node = [n for n in below(app) if n.get_name() == argument][0]
                box = Atspi.Component.get_extents(node, Atspi.CoordType.SCREEN)
                answer = {"where": [box.x, box.y, box.width, box.height]}
            elif command == "press":
                button = named(app, {Atspi.Role.PUSH_BUTTON}, argument)[0]
                answer = {"pressed": Atspi.Action.do_action(button, 0)}
            else:
                answer = {"error": f"unknown command {command}"}
        except Exception as error:  # told to the test, which fails on it
            answer = {"error": f"{type(error).__name__}: {error}"}
        print(json.dumps(answer), flush=True)
    return 0


class UserSession:
    """The desktop session of an unprivileged user: a home and a runtime
    directory of its own, a session bus and on it the accessibility bus
    (launched without DISPLAY, so it leaves the X root window alone). The
    program and this script are copied where the user may run them."""

    def __init__(self, uid, binary, workdir):
        self.uid = uid
        self.processes = []
        self.home = tempfile.mkdtemp(prefix="pelmora-e2e-user-")
        os.chown(self.home, uid, uid)
        self.runtime = os.path.join(self.home, "runtime")
        os.mkdir(self.runtime, 0o700)
        os.chown(self.runtime, uid, uid)
        programs = os.path.join(self.home, "bin")
        os.mkdir(programs, 0o755)
        self.binary = shutil.copy(binary, os.path.join(programs, "pelmora"))
        self.script = shutil.copy(__file__, os.path.join(programs, "e2e_test.py"))
        self.log = open(os.path.join(workdir, f"user-{uid}.log"), "wb")
        self.env = None

    def start_buses(self, display):
        """The session bus, and the accessibility bus on it."""
        env = dict(display.env, HOME=self.home, XDG_RUNTIME_DIR=self.runtime)
        del env["DISPLAY"]
        bus = self.start(["dbus-daemon", "--session", "--nofork", "--print-address=1"], env,
                         stdout=subprocess.PIPE)
        ready, _, _ = select.select([bus.stdout], [], [], 10)
        address = bus.stdout.readline().decode().strip() if ready else ""
        if not address:
            raise RuntimeError("the user's session bus did not start")
        env["DBUS_SESSION_BUS_ADDRESS"] = address
        self.start(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"], env)
        self.env = dict(env, DISPLAY=display.env["DISPLAY"], QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")

    def start(self, args, env, uid=None, **options):
        """args as this session's user, or as uid; ended with the session."""
        options.setdefault("stdout", self.log)
        process = subprocess.Popen(as_user(self.uid if uid is None else uid, args), env=env,
                                   cwd="/",
                                   preexec_fn=ends_with_us, stdin=subprocess.DEVNULL,
                                   stderr=self.log, start_new_session=True, **options)
        self.processes.append(process)
        return process

    def close(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                try:
                    os.killpg(process.pid, signal.SIGKILL)  # with the buses it started
                except ProcessLookupError:
                    process.kill()
                process.wait()
        self.log.close()
        shutil.rmtree(self.home, ignore_errors=True)


class Reader:
    """The accessibility reader (atspi_reader) for one program, as its user."""

    def __init__(self, session, pid):
        self.process = subprocess.Popen(
            as_user(session.uid, [USER_PYTHON, session.script, "--atspi", str(pid)]),
            env=session.env, cwd="/", preexec_fn=ends_with_us, stdin=subprocess.PIPE,
            stdout=subprocess.PIPE, stderr=session.log)
        session.processes.append(self.process)
        if not self.answer(30).get("ready"):
            raise RuntimeError(f"process {pid} did not show on the accessibility bus")

    def answer(self, seconds=20):
        ready, _, _ = select.select([self.process.stdout], [], [], seconds)
        line = self.process.stdout.readline() if ready else b""
        if not line:
            raise RuntimeError("the accessibility reader gave no answer")
        return json.loads(line)

    def ask(self, command):
        self.process.stdin.write(command.encode() + b"\n")
        self.process.stdin.flush()
        answer = self.answer()
        if "error" in answer:
            raise RuntimeError(f"accessibility reader, {command}: {answer['error']}")
        return answer

    def rows_by_pid(self):
        """The list's rows by their process ID (the hexadecimal third column):
        each cell's text, the name it is read by without the header before it.
        A cell not read with its header is None."""
        def value(header, name):
            if name == header:
                return ""
            return name[len(header) + 1:] if name.startswith(header + " ") else None
        rows = [[value(h, name) for h, name in zip(HEADERS, row)]
                for row in self.ask("rows")["rows"]]
        return {int(row[2] or "-1", 16): row for row in rows}

    def events(self, seconds=1.0):
        return self.ask(f"events {seconds}")["events"]


def start_helper(path, argv0):
    """A root process, sleep under another name: path is its executable."""
    return subprocess.Popen([argv0, "600"], executable=path, preexec_fn=ends_with_us,
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)


def bare_uid():
    """A user ID without an account."""
    uid = 61234
    while True:
        try:
            pwd.getpwuid(uid)
        except KeyError:
            return uid
        uid += 1


def hex_id(number):
    return format(number, "X")


def notifications(reader, seconds=1.0):
    return [name for kind, role, name, _ in reader.events(seconds)
            if kind.endswith(":showing") and role == "notification"]


def check_keys_and_announcements(reader, user_input):
    """Enter on 停止 with no row chosen, the scroll bar's value, the graph,
    and the keypad's Enter on 更新, as a screen reader meets them."""
    reader.ask(f"focus {STOP_NAME}")
    reader.events(0.3)
    user_input.key("Return")
    told = notifications(reader)
    check(told == ["プロセスが選択されていません。"],
          f"Enter on 停止 with no row chosen tells a screen reader that none is ({told})")
    before = reader.ask("node 更新頻度 1.0秒")["value"]
    reader.ask("focus 更新頻度 1.0秒")
    reader.events(0.3)
    user_input.key("Right")
    heard = reader.events()
    values = [round(value, 9) for kind, _, _, value in heard if kind.endswith("value")]
    after = reader.ask("node 更新頻度 1.2秒")
    check(before == 1.0 and values[-1:] == [1.2] and round(after["value"], 9) == 1.2,
          f"the scroll bar's value is the interval in seconds ({before}, then {values})")
    # Where Qt hands it on (6.8 on), the value as the label shows it.
    spoken = "1.2秒" if QT_VERSION >= (6, 8) else None
    check(after["valuetext"] == spoken,
          f"the scroll bar's value text is {spoken!r} with Qt {QT_VERSION} ({after['valuetext']!r})")
    renamed = [name for kind, role, name, _ in heard
               if kind.endswith("accessible-name") and role == "scroll bar"]
    check(renamed[-1:] == ["更新頻度 1.2秒"],
          f"a screen reader that keeps names is told the scroll bar's new one ({renamed})")
    user_input.key("Left")
    graph = reader.ask(f"node {GRAPH_NAME}")
    check(graph["role"] == "chart" and bool(re.match(
        r"CPU負荷率 -?[0-9.]+%（直近\d+回 最小 .*%、最大 .*%）、"
        r"物理メモリ使用率 [0-9.]+%（最小 [0-9.]+%、最大 [0-9.]+%）$", graph["description"])),
          f"the graph is a chart described by its figures ({graph})")
    # A row chosen once the list held still for two ticks, then the rebuild
    # the keypad's Enter on 更新 makes clears the choice.
    none = lambda: reader.ask("status")["status"].startswith("選択中のプロセス: なし、")
    cleared = False
    for _ in range(3):
        time.sleep(2.2)
        left, top, _, _ = reader.ask(f"where {LIST_NAME}")["where"]
        user_input.click(left + LIST_FIRST_ROW[0], top + LIST_FIRST_ROW[1])
        if poll(lambda: not none(), 1, 0.1):
            reader.ask(f"focus {REFRESH_NAME}")
            user_input.key("KP_Enter")
            cleared = poll(none, 1, 0.1)
            break
    check(cleared, "the keypad's Enter on 更新 rebuilds the list, which clears the choice")


def check_between_users(display, binary, workdir, root_first):
    """Pelmora as nobody beside root's: what it lists of other users'
    processes, 停止 on a root process, one instance per user, and an abstract
    name that another user took first. The X server takes no authorization,
    so it admits every local user."""
    missing = sorted({package for tool, package in USER_TOOLS.items()
                      if not shutil.which(tool)})
    if subprocess.run([USER_PYTHON, "-c", "import gi; gi.require_version('Atspi', '2.0')"],
                      capture_output=True).returncode != 0:
        missing.append(USER_PYTHON_PACKAGES)
    if not check(not missing, "the packages for the run as another user are there"
                 + (f" (missing: {' '.join(missing)})" if missing else "")):
        return
    session = UserSession(NOBODY, binary, workdir)
    helpers = []
    runs = []

    def start_pelmora(env):
        run_ = Pelmora(display, session.binary, uid=NOBODY, env=env, log=session.log)
        runs.append(run_)
        return run_

    try:
        # Another user takes nobody's abstract name first, and listens on it.
        squatter_uid = bare_uid()
        squatter = session.start(
            [USER_PYTHON, "-c", "import signal, socket, sys\n"
             "s = socket.socket(socket.AF_UNIX)\n"
             "s.bind('\\0' + sys.argv[1])\n"
             "s.listen()\n"
             "print('bound', flush=True)\n"
             "signal.pause()\n", f"pelmora-{NOBODY}"],
            {"PATH": "/usr/bin:/bin"}, uid=squatter_uid, stdout=subprocess.PIPE)
        ready, _, _ = select.select([squatter.stdout], [], [], 10)
        check(bool(ready) and squatter.stdout.readline() == b"bound\n",
              f"user {squatter_uid} holds the abstract name pelmora-{NOBODY} and listens on it")

        # Without a runtime directory only the abstract name is used; its
        # holder is another user, so it does not count.
        env = dict(display.env, HOME=session.home)
        del env["XDG_RUNTIME_DIR"]
        plain = start_pelmora(env)
        shown = poll(lambda: plain.windows(TITLE) or plain.windows(DOUBLE_START), 15)
        started = bool(shown) and bool(plain.windows(TITLE))
        check(started, "without a runtime directory, nobody's Pelmora starts all the same")
        for window in plain.windows():
            display.x("wmctrl", "-i", "-c", window, check_rc=False)
        status = plain.wait(10)
        check(status == 0, f"closed, it ends with status 0 (status {status})")

        # Nobody's session: its runtime directory, the accessibility bus.
        session.start_buses(display)
        sleep_program = shutil.which("sleep")
        helper_exe = shutil.copy(sleep_program, os.path.join(workdir, HELPER_EXE))
        target = start_helper(helper_exe, TARGET_ARGV0)
        helpers.append(target)
        relative = start_helper(helper_exe, "relative-argv0")
        helpers.append(relative)

        # Two users each run one Pelmora at the same time.
        user = start_pelmora(session.env)
        user_window = user.window(TITLE)
        check(root_first.process.poll() is None and bool(root_first.windows(TITLE)),
              "root's and nobody's Pelmora run at the same time")
        socket_file = os.path.join(session.runtime, f"pelmora-{NOBODY}")
        check(os.path.exists(socket_file) and stat.S_ISSOCK(os.stat(socket_file).st_mode),
              "nobody's Pelmora holds its socket in nobody's runtime directory")
        reader = Reader(session, user.process.pid)

        # The window, as a screen reader meets it: a frame named by its
        # caption, following it while minimized and back.
        def frames():
            return [w["name"] for w in reader.ask("windows")["windows"] if w["role"] == "frame"]
        check(frames() == [TITLE], f'the window is a frame named "{TITLE}" ({frames()})')
        display.x("xdotool", "windowminimize", user_window)
        summary = poll(lambda: (lambda f: f if f and re.match(r"^CPU:-?[0-9.]+% Mem:", f[0])
                                else None)(frames()), 5, 0.3)
        check(bool(summary), f"minimized, the frame's name is the caption's figures ({summary})")
        display.x("wmctrl", "-i", "-a", user_window)
        check(bool(poll(lambda: frames() == [TITLE], 5, 0.3)), "restored, its name again")

        # The list as a screen reader reads it: the headers without their
        # blanks, every cell with its header, and every column of a row on
        # screen showing, the eighth too, which lies beyond the list's width.
        columns = reader.ask("columns")
        check(columns["headers"] == HEADERS, f"the headers are read trimmed ({columns['headers']})")
        check(columns["beyond"] and all(columns["showing"]),
              f"every cell of a row on screen is showing, the eighth beyond the list's width "
              f"too ({columns['showing']})")

        # Other users' processes, read from the accessibility bus.
        rows = reader.rows_by_pid()
        check(bool(rows) and all(None not in row for row in rows.values()),
              "every cell is read with its column's header")
        target_row = rows.get(target.pid)
        root_row = rows.get(root_first.process.pid)
        own_row = rows.get(user.process.pid)
        check(bool(target_row) and target_row[0] == os.path.basename(TARGET_ARGV0)
              and rows.get(relative.pid, [None])[0] == HELPER_COMMAND_NAME
              and bool(root_row) and root_row[0] == "pelmora",
              "nobody's list names root's processes by an absolute argv[0] "
              f"({target_row and target_row[0]}), else by the command name "
              f"({rows.get(relative.pid, [None])[0]})")
        check(all(row and (row[1], row[5], row[6]) == ("0", "0", "0")
                  for row in (target_row, root_row)),
              "of root's processes, the descriptors, the heap and the executable's inode "
              "cannot be read and show 0")
        check(bool(target_row) and target_row[3:5] == ["20", "1"]
              and target_row[7] == hex_id(os.getpid()),
              "their priority, threads and parent show (20, 1, this script)")
        check(bool(own_row) and own_row[0] == "pelmora" and own_row[1] != "0"
              and own_row[5] != "0" and own_row[6] == hex_id(os.stat(session.binary).st_ino),
              "of its own process, every figure shows")

        # 停止 on a root process, confirmed with OK: a click on the list,
        # then the process's name typed, which moves the selection to it. The
        # list is rebuilt when the process set changes (this script's own
        # helper programs change it), which clears the selection: the steps
        # begin once it held still for two ticks, and are tried again.
        key = "選択中のプロセス: " + TARGET_ARGV0 + "、"
        warning = []
        focused = []
        display.x("xdotool", "windowactivate", "--sync", user_window)
        user_input = SyntheticInput(display.env["DISPLAY"])
        try:
            check_keys_and_announcements(reader, user_input)
            for _ in range(4):
                time.sleep(2.2)
                left, top, _, _ = reader.ask(f"where {LIST_NAME}")["where"]
                user_input.click(left + LIST_FIRST_ROW[0], top + LIST_FIRST_ROW[1])
                user_input.type(os.path.basename(TARGET_ARGV0))
                if not poll(lambda: reader.ask("status")["status"].startswith(key), 1.5, 0.2):
                    continue
                # The focus coming back into the list tells the row chosen;
                # Enter presses 停止.
                reader.ask(f"focus {REFRESH_NAME}")
                reader.events(0.3)
                user_input.key("Tab")
                focused = [name for kind, _, name, _ in reader.events() if "focused" in kind]
                reader.ask(f"focus {STOP_NAME}")
                user_input.key("Return")
                warning = poll(lambda: user.windows(WARNING), 3)
                if warning:
                    break
        finally:
            user_input.close()
        check(focused[-1:] == ["ファイル名 " + os.path.basename(TARGET_ARGV0)],
              f"Tab into the list tells the row chosen ({focused})")
        check(bool(warning), "nobody selects root's process in the list; Enter on 停止 asks first")
        if warning:
            boxes = [w for w in reader.ask("windows")["windows"] if w["name"] == WARNING]
            box = boxes[0] if boxes else {"labels": [], "buttons": []}
            check(any(label.endswith(os.path.basename(TARGET_ARGV0) + "を強制終了しますか？")
                      for label in box["labels"]),
                  "the warning asks about that process")
            check(sorted(box["buttons"]) == sorted(["OK", "キャンセル"]),
                  f'its buttons read "OK" and "キャンセル" ({box["buttons"]})')
            reader.events(0.1)
            reader.ask("press OK")
            check(poll(lambda: not user.windows(WARNING), 5), "OK closes the warning")
            others = poll(lambda: [w for w in user.windows() if w != user_window], 1.5)
            check(not others, "after OK nothing more is shown")
            told = notifications(reader)
            check(told == [os.path.basename(TARGET_ARGV0) + "を強制終了できませんでした。"],
                  f"a screen reader is told it could not be ended ({told})")
            late = start_helper(helper_exe, LATE_ARGV0)
            helpers.append(late)
            joined = poll(lambda: reader.rows_by_pid().get(late.pid), 8, 0.3)
            check(bool(joined) and joined[0] == os.path.basename(LATE_ARGV0),
                  "the window goes on ticking: a process started after the answer joins the list")
            check(all(process.poll() is None for process in (target, relative, root_first.process,
                                                             user.process)),
                  "nothing was ended: root's processes and both Pelmoras run on")

        # A second start of nobody's is still refused, by the runtime
        # directory, though another user holds the abstract name.
        second = start_pelmora(session.env)
        box = poll(lambda: second.windows(DOUBLE_START), 15)
        check(bool(box), "a second start of nobody's shows the double-start message")
        if box:
            display.x("xdotool", "windowactivate", "--sync", box[0], check_rc=False)
            display.x("xdotool", "key", "Return")
            status = second.wait(5)
            check(status == 0, f"after OK it ends with status 0 (status {status})")
        check(user.process.poll() is None and root_first.process.poll() is None,
              "both users' first Pelmoras run on")

        display.x("wmctrl", "-i", "-c", user_window)
        status = user.wait(10)
        check(status == 0 and not os.path.exists(socket_file),
              f"closed, nobody's Pelmora ends with status 0 (status {status}) "
              "and removes its socket")
    finally:
        for run_ in runs:
            run_.stop()
        for helper in helpers:
            helper.kill()
            helper.wait()
        session.close()


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--atspi":
        return atspi_reader(int(sys.argv[2]))
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    binary = os.path.abspath(sys.argv[1])
    # The X tools match and print Japanese window names only in a UTF-8
    # locale, whatever the caller's (the program's own start in the POSIX
    # locale is tested in tests/startup).
    os.environ["LC_ALL"] = "C.UTF-8"
    missing = sorted({package for tool, package in TOOLS.items() if not shutil.which(tool)})
    if missing:
        print("e2e: missing packages (bash scripts/setup.sh --test installs them): "
              + " ".join(missing), file=sys.stderr)
        return 1
    # One Pelmora per user: a private network namespace gives this run its
    # own abstract socket names, so a Pelmora the user has open elsewhere
    # does not count as the first instance. A private PID namespace (with
    # its own /proc) keeps the process list to this run's processes, so the
    # rest of the machine does not rebuild it at every tick, and ends every
    # process of the run with it.
    if os.environ.get("PELMORA_E2E_ISOLATED") != "1" and shutil.which("unshare"):
        for isolation in (["--net", "--pid", "--fork", "--mount-proc", "--kill-child"],
                          ["--net"]):
            if subprocess.run(["unshare", *isolation, "true"],
                              capture_output=True).returncode == 0:
                env = dict(os.environ, PELMORA_E2E_ISOLATED="1")
                return subprocess.run(["unshare", *isolation, sys.executable, __file__, binary],
                                      env=env, preexec_fn=ends_with_us).returncode

    workdir = tempfile.mkdtemp(prefix="pelmora-e2e-")
    display = Display(workdir)
    first = second = None
    try:
        first = Pelmora(display, binary)
        window = first.window(TITLE)
        check(first.title(window) == TITLE, f'title is "{TITLE}"')
        check(client_geometry(display, window) == CLIENT_SIZE,
              f"client area is {CLIENT_SIZE[0]}x{CLIENT_SIZE[1]}")
        position = client_position(display, window)
        check(position == CLIENT_POSITION,
              f"the client area opens at {CLIENT_POSITION}, the frame around it ({position})")
        hints = first.prop(window, "WM_NORMAL_HINTS")
        minimum = re.search(r"minimum size: (\d+) by (\d+)", hints)
        maximum = re.search(r"maximum size: (\d+) by (\d+)", hints)
        check(bool(minimum and maximum) and minimum.groups() == maximum.groups() ==
              ("448", "307"), "size hints fix the size (minimum = maximum = 448x307)")
        display.x("xdotool", "windowsize", window, "600", "400", check_rc=False)
        time.sleep(0.5)
        check(client_geometry(display, window) == CLIENT_SIZE, "a resize request is refused")
        actions = first.prop(window, "_NET_WM_ALLOWED_ACTIONS")
        check("_NET_WM_ACTION_MINIMIZE" in actions and "_NET_WM_ACTION_RESIZE" not in actions
              and "_NET_WM_ACTION_MAXIMIZE" not in actions,
              "the window manager offers minimize but neither resize nor maximize")
        check('"pelmora", "Pelmora"' in first.prop(window, "WM_CLASS"),
              'window class is "pelmora", "Pelmora"')

        # The first tick draws the grid; a screenshot taken before the window
        # is painted is taken again.
        shot_path = os.path.join(workdir, "pelmora.png")
        image = poll(lambda: (lambda i: i if i.at(GRAPH_INNER[0] + 3, GRAPH_INNER[1] + 3) == GRID
                              else None)(screenshot(display, window, shot_path)), 10, 0.2)
        check(image is not None, "the graph is painted")
        if image is None:
            image = Image(shot_path)
        check((image.width, image.height) == CLIENT_SIZE, "the screenshot is the client area")
        check_graph(image)
        wanted = os.environ.get("PELMORA_SCREENSHOT")
        if wanted:
            # A few ticks later, so the curves have begun.
            time.sleep(4)
            screenshot(display, window, os.path.abspath(wanted))
            print(f"screenshot saved to {wanted}")

        # Minimized, the title carries the figures; restored, the name again.
        display.x("xdotool", "windowminimize", window)
        caption = re.compile(r"^CPU:-?[0-9.]+% Mem:-?[0-9.]+%$")
        start = time.monotonic()
        shown = poll(lambda: (lambda t: t if t and caption.match(t) else None)(first.title(window)),
                     5)
        check(bool(shown), f'minimized, the title becomes "CPU:…% Mem:…%" ({shown!r} after '
              f"{time.monotonic() - start:.1f} s)")
        check("Iconic" in first.prop(window, "WM_STATE"), "the window manager shows it minimized")
        display.x("wmctrl", "-i", "-a", window)
        back = poll(lambda: first.title(window) == TITLE, 5)
        check(back, f'restored, the title is "{TITLE}" again')

        # A second start shows the message and ends once it is answered.
        second = Pelmora(display, binary)
        box = second.window(DOUBLE_START)
        state = second.prop(box, "_NET_WM_STATE") + second.prop(box, "WM_TRANSIENT_FOR")
        check("_NET_WM_STATE_MODAL" in state, "the double-start message is a modal box")
        screenshot(display, box, os.path.join(workdir, "double-start.png"))
        check(second.process.poll() is None, "the second start waits for the answer")
        display.x("xdotool", "windowactivate", "--sync", box)
        display.x("xdotool", "key", "Return")
        status = second.wait(5)
        check(status == 0, f"after OK the second start ends with status 0 (status {status})")
        check(first.process.poll() is None and first.title(window) == TITLE,
              "the first instance runs on untouched")

        # Another user's Pelmora beside this one: root switches users, and in
        # a PID namespace of this run's own the list holds still enough to
        # click in it.
        if os.geteuid() == 0 and os.getpid() == 1:
            check_between_users(display, binary, workdir, first)
        elif os.environ.get("PELMORA_REQUIRE_PID_NAMESPACE", "0") != "0":
            check(False, "the run as another user needs root and a PID namespace, "
                  "which PELMORA_REQUIRE_PID_NAMESPACE says this machine gives")
        else:
            print("skip the run as another user: it needs root and a PID namespace")

        # The window manager's close request ends the program at once.
        display.x("wmctrl", "-i", "-a", window)
        start = time.monotonic()
        display.x("wmctrl", "-i", "-c", window)
        status = first.wait(10)
        elapsed = time.monotonic() - start
        check(status == 0 and elapsed < 4,
              f"closing through the window manager ends it with status 0 "
              f"(status {status}, {elapsed:.2f} s)")
        errors = first.process.stderr.read().decode(errors="replace")
        check("run-time error" not in errors, "no run-time error was reported")

        # Japanese texts are drawn with a font that has them (a run of its
        # own, now that the first instance has ended).
        check_japanese_rendering(display, binary, workdir, image)
    except Exception as error:  # a step that could not run is a failure too
        check(False, f"{type(error).__name__}: {error}")
    finally:
        if first and first.process.poll() not in (None, 0):
            check(False, f"the program died with status {first.process.returncode}: "
                  + first.process.stderr.read().decode(errors="replace")[-2000:])
        for run_ in (first, second):
            if run_:
                run_.stop()
        display.close()
    if failures:
        print(f"e2e: {len(failures)} check(s) failed; screenshots and logs in {workdir}")
        return 1
    shutil.rmtree(workdir, ignore_errors=True)
    return 0


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    sys.exit(main())
