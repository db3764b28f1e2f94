#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Pelmora driven as a user drives it, on a real X server.

Starts Xvfb and a small window manager (openbox), starts the built program
with nothing but DISPLAY set, and checks through X what a user would see:
the window's title, size, fixed border and class, the graph's grid on a
screenshot, the Japanese texts rendered with a real font, the caption while
minimized, the double-start message, and that the window manager's close
request ends the program at once with status 0.

    e2e_test.py PATH/TO/pelmora

PELMORA_SCREENSHOT=FILE also saves the window's screenshot to FILE.
"""

import ctypes
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

TITLE = "Pelmora Ver.2.0"
CLIENT_SIZE = (448, 307)
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


class Pelmora:
    """One run of the program, started as a user starts it."""

    def __init__(self, display, binary, extra_env=None):
        self.display = display
        env = dict(display.env)
        env.update(extra_env or {})
        self.process = subprocess.Popen([binary], env=env, preexec_fn=ends_with_us,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    def windows(self, name=None):
        args = ["xdotool", "search", "--onlyvisible", "--pid", str(self.process.pid)]
        if name:
            args += ["--name", "^" + re.escape(name) + "$"]
        return self.display.x(*args, check_rc=False).split()

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


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    binary = os.path.abspath(sys.argv[1])
    missing = sorted({package for tool, package in TOOLS.items() if not shutil.which(tool)})
    if missing:
        print("e2e: missing packages (bash scripts/setup.sh --test installs them): "
              + " ".join(missing), file=sys.stderr)
        return 1
    # One Pelmora per user: a private network namespace gives this run its
    # own abstract socket names, so a Pelmora the user has open elsewhere
    # does not count as the first instance.
    if os.environ.get("PELMORA_E2E_ISOLATED") != "1" and shutil.which("unshare") and \
            subprocess.run(["unshare", "--net", "true"], capture_output=True).returncode == 0:
        env = dict(os.environ, PELMORA_E2E_ISOLATED="1")
        return subprocess.run(["unshare", "--net", sys.executable, __file__, binary],
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
        box = second.window("Pelmora 二重起動エラー")
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
