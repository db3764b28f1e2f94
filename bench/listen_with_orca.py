#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Listens to Pelmora with the Orca screen reader, headless.

Starts Xvfb with openbox, a session bus with the accessibility bus on it,
Orca with its debug log, and the built program, all in a PID namespace of
their own so that the process list holds still; then presses keys as a
keyboard user does and prints, step by step, every line Orca spoke
("SPEECH OUTPUT" in its debug log).

    bench/listen_with_orca.py PATH/TO/pelmora [STEP ...]

A step is "key NAME..." (X key names, modifiers joined by "+": Tab,
shift+Tab, Down, space, Return, KP_Enter...), "type TEXT", "wait SECONDS"
or "say LABEL" (a heading in the output). Without steps it walks the
window: into the list, down the rows, where-am-I, the scroll bar, the graph
and flat review, 停止 without and with a row, and Enter on the buttons. The
keypad's Enter is Orca's where-am-I key: while Orca runs it never reaches
the program. Orca (Debian's orca, speech-dispatcher and espeak-ng) is not
needed by the test suite; this is for checking by ear.
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

# The end-to-end test's key presses, from this process.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from e2e_test import SyntheticInput  # noqa: E402

DEFAULT_STEPS = [
    "say the window opens", "wait 6",
    "say Tab into the list, no row chosen", "key Tab", "wait 2",
    "say Down", "key Down", "wait 1.5",
    "say Down", "key Down", "wait 1.5",
    "say Up", "key Up", "wait 1.5",
    "say where am I (KP_Enter)", "key KP_Enter", "wait 2",
    "say Tab to the scroll bar", "key Tab", "wait 1.5",
    "say Right", "key Right", "wait 1.5",
    "say Right", "key Right", "wait 1.5",
    "say Left", "key Left", "wait 1.5",
    "say where am I (KP_Enter)", "key KP_Enter", "wait 2",
    "say Shift+Tab back into the list, a row chosen", "key shift+Tab", "wait 2",
    "say Tab Tab to 停止", "key Tab Tab", "wait 1.5",
    "say Tab to the graph", "key Tab", "wait 1.5",
    "say where am I (KP_Enter)", "key KP_Enter", "wait 2",
    "say flat review: current line (KP_Up), next line (KP_Page_Up) twice",
    "key KP_Up", "wait 1.5", "key KP_Page_Up", "wait 1.5", "key KP_Page_Up", "wait 1.5",
    "say Tab to 更新", "key Tab", "wait 1.5",
    "say Enter on 更新 (the rebuild clears the choice)", "key Return", "wait 2",
    "say Shift+Tab twice to 停止", "key shift+Tab shift+Tab", "wait 1.5",
    "say Enter on 停止 with no row chosen", "key Return", "wait 2",
    "say Shift+Tab twice into the list", "key shift+Tab shift+Tab", "wait 2",
    "say type the helper's name", "type pelmora-listen", "wait 2",
    "say Tab twice to 停止", "key Tab Tab", "wait 1.5",
    "say Enter on 停止", "key Return", "wait 3",
    "say Return answers OK", "key Return", "wait 4",
]


def wait_for(probe, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = probe()
        if value:
            return value
        time.sleep(0.1)
    return None


def speech_lines(log_path):
    """Orca's speech so far, as (seconds since midnight, text)."""
    lines = []
    try:
        with open(log_path, encoding="utf-8", errors="replace") as log:
            for line in log:
                match = re.match(r"(\d\d):(\d\d):(\d\d\.\d+) - SPEECH OUTPUT: (.*)", line)
                if match:
                    hours, minutes, seconds, text = match.groups()
                    lines.append((int(hours) * 3600 + int(minutes) * 60 + float(seconds),
                                  text.rstrip("\n")))
    except FileNotFoundError:
        pass
    return lines


def clock():
    """Seconds since midnight, as Orca's log stamps its lines."""
    stamp = time.time()
    now = time.localtime(stamp)
    return now.tm_hour * 3600 + now.tm_min * 60 + now.tm_sec + stamp % 1


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    binary = os.path.abspath(sys.argv[1])
    steps = sys.argv[2:] or DEFAULT_STEPS
    missing = [tool for tool in ("Xvfb", "openbox", "dbus-daemon", "speech-dispatcher", "orca")
               if not shutil.which(tool)]
    if missing:
        print("listen: missing " + " ".join(missing)
              + " (apt-get install orca speech-dispatcher espeak-ng xvfb openbox)",
              file=sys.stderr)
        return 1
    if os.environ.get("PELMORA_LISTEN_ISOLATED") != "1" and shutil.which("unshare"):
        if subprocess.run(["unshare", "--pid", "--fork", "--mount-proc", "true"],
                          capture_output=True).returncode == 0:
            env = dict(os.environ, PELMORA_LISTEN_ISOLATED="1")
            return subprocess.run(["unshare", "--pid", "--fork", "--mount-proc", "--kill-child",
                                   sys.executable, __file__, binary, *steps],
                                  env=env).returncode

    workdir = tempfile.mkdtemp(prefix="pelmora-listen-")
    env = {key: value for key, value in os.environ.items()
           if not key.startswith(("QT_", "DBUS_", "WAYLAND", "XDG_", "DISPLAY"))}
    runtime = os.path.join(workdir, "runtime")
    os.mkdir(runtime, 0o700)
    # Orca and the program read the locale: a UTF-8 one, whatever the caller's.
    env.update(HOME=workdir, XDG_RUNTIME_DIR=runtime, LANG="C.UTF-8", LC_ALL="C.UTF-8")
    processes = []

    def start(args, **options):
        options.setdefault("stdout", subprocess.DEVNULL)
        options.setdefault("stderr", open(os.path.join(workdir, os.path.basename(args[0])
                                                       + ".log"), "ab"))
        process = subprocess.Popen(args, env=env, **options)
        processes.append(process)
        return process

    try:
        read_end, write_end = os.pipe()
        start(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
               "-nolisten", "tcp"], pass_fds=(write_end,))
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            env["DISPLAY"] = ":" + pipe.readline().strip()
        start(["openbox", "--sm-disable"])
        bus = start(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                    stdout=subprocess.PIPE)
        env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().decode().strip()
        start(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        # Orca's speech server, speaking into ALSA's null device: there is no
        # sound card, and Orca's log records what it hands the server.
        speechd = os.path.join(workdir, "speechd")
        shutil.copytree("/etc/speech-dispatcher", speechd)
        with open(os.path.join(speechd, "speechd.conf"), "a") as conf:
            conf.write('\nAudioOutputMethod "alsa"\nAudioALSADevice "null"\n')
        start(["speech-dispatcher", "--run-single", "--timeout", "0", "--config-dir", speechd])
        wait_for(lambda: os.path.exists(os.path.join(runtime, "speech-dispatcher",
                                                     "speechd.sock")), 10)
        log_path = os.path.join(workdir, "orca-debug.log")
        prefs = os.path.join(workdir, "orca")
        os.mkdir(prefs)
        start(["orca", "--replace", "-u", prefs, "--debug-file", log_path])
        if not wait_for(lambda: speech_lines(log_path), 30):
            print("listen: Orca did not speak; see " + workdir, file=sys.stderr)
            return 1
        # A process to end with 停止, named so that typing finds it.
        helper = shutil.copy(shutil.which("sleep"), os.path.join(workdir, "pelmora-listen"))
        start([helper, "100000"])
        env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        env["QT_ACCESSIBILITY"] = "1"
        start([binary])
        keyboard = SyntheticInput(env["DISPLAY"])
        # Each heading with the time it began; Orca's lines go under the
        # heading they were spoken in.
        headings = [(clock(), "start")]
        for step in steps:
            verb, _, argument = step.partition(" ")
            if verb == "say":
                headings.append((clock(), argument))
            elif verb == "wait":
                time.sleep(float(argument))
            elif verb == "key":
                for combination in argument.split():
                    keyboard.key(combination)
            elif verb == "type":
                keyboard.type(argument)
            else:
                print(f"listen: unknown step {step!r}", file=sys.stderr)
                return 2
        time.sleep(1)
        spoken = speech_lines(log_path)
        for number, (begun, heading) in enumerate(headings):
            ends = headings[number + 1][0] if number + 1 < len(headings) else float("inf")
            print(f"== {heading}")
            for stamp, text in spoken:
                if begun <= stamp < ends:
                    print("   " + text)
        print(f"(Orca's debug log: {log_path})")
        return 0
    finally:
        for process in reversed(processes):
            if process.poll() is None:
                process.send_signal(signal.SIGTERM)
                try:
                    process.wait(3)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()


if __name__ == "__main__":
    sys.exit(main())
