"""Drives the test build importobj-trace.exe under Wine on an X display with real key and mouse
events (xdotool), and reads back what the window did from the trace it writes beside itself:
one JSON object per line, "state" lines carrying the focus and every control's text, enabled,
visible, check and caret state."""

import json
import os
import shutil
import subprocess
import tempfile
import time


class DriverError(AssertionError):
    pass


def wine_env(prefix):
    env = dict(os.environ)
    env.update(WINEPREFIX=prefix, WINEARCH="win32", WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=", LC_ALL="C.UTF-8")
    for k in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy",
              "ALL_PROXY", "no_proxy", "NO_PROXY"):
        env.pop(k, None)
    return env


def wine_path(path):
    """The path as the Windows program sees it: drive Z: is the Unix root."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def xdotool(*args):
    subprocess.run(["xdotool", *map(str, args)], check=True, timeout=30)


class Trace:
    def __init__(self, path):
        self.path = path

    def events(self):
        try:
            with open(self.path, encoding="utf-8") as f:
                lines = f.read().split("\n")
        except FileNotFoundError:
            return []
        out = []
        for line in lines:
            if not line:
                continue
            try:
                out.append(json.loads(line))
            except json.JSONDecodeError:
                break  # a line still being written
        return out


class Window:
    """One run of the program in its own program folder."""

    def __init__(self, exe, program_folder, env, timeout=60):
        self.program_folder = program_folder
        os.makedirs(program_folder, exist_ok=True)
        self.exe = os.path.join(program_folder, os.path.basename(exe))
        shutil.copy(exe, self.exe)
        self.trace = Trace(os.path.join(program_folder, "importobj-trace.jsonl"))
        if os.path.exists(self.trace.path):
            os.remove(self.trace.path)
        self.log = open(os.path.join(program_folder, "wine.log"), "ab")
        self.proc = subprocess.Popen(["wine", self.exe], cwd=program_folder, env=env,
                                     stdin=subprocess.DEVNULL, stdout=self.log,
                                     stderr=subprocess.STDOUT)
        self.timeout = timeout
        self._last_click = 0.0
        ready = self.wait_event("ready", timeout=timeout)
        self.window = self.first("window")
        self.rects = self.window["rects"]
        self.start = self.first("start")
        self.ready = ready
        # The dialog takes the focus once it is active; input sent before that can be dropped.
        self.wait_state(lambda s: s["focus"] != "", "the window active", timeout)
        time.sleep(0.3)

    # --- the trace

    def events(self):
        return self.trace.events()

    def first(self, ev):
        for e in self.events():
            if e["ev"] == ev:
                return e
        raise DriverError(f"no {ev} event in the trace")

    def wait_event(self, ev, after=0, timeout=20, where=lambda e: True):
        """The first event ev (at index >= after) for which where holds."""
        end = time.monotonic() + timeout
        while True:
            evs = self.events()
            for e in evs[after:]:
                if e["ev"] == ev and where(e):
                    return e
            if self.proc.poll() is not None and ev not in ("end",):
                raise DriverError(f"the program ended (exit {self.proc.returncode}) "
                                  f"before the event {ev}")
            if time.monotonic() > end:
                raise DriverError(f"no {ev} event within {timeout} s; last events: "
                                  f"{[x['ev'] for x in evs[-8:]]}")
            time.sleep(0.05)

    def mark(self):
        """An index into the trace: wait_event(after=mark) sees only what came later."""
        return len(self.events())

    def state(self):
        for e in reversed(self.events()):
            if e["ev"] in ("state", "ready"):
                return e
        raise DriverError("no state in the trace")

    def wait_state(self, pred, what, timeout=10):
        end = time.monotonic() + timeout
        while True:
            s = self.state()
            if pred(s):
                return s
            if time.monotonic() > end:
                raise DriverError(f"{what}: not reached within {timeout} s; focus "
                                  f"{s['focus']!r}, controls "
                                  f"{ {k: v.get('t') for k, v in s['controls'].items()} }")
            time.sleep(0.05)

    def wait_focus(self, name, timeout=10):
        return self.wait_state(lambda s: s["focus"] == name, f"focus on {name}", timeout)

    def wait_text(self, name, text, timeout=10):
        return self.wait_state(lambda s: s["controls"][name]["t"] == text,
                               f"{name} showing {text!r}", timeout)

    def control(self, name):
        return self.state()["controls"][name]

    # --- input

    def centre(self, name):
        left, top, right, bottom = self.rects[name]
        return (left + right) // 2, (top + bottom) // 2

    def click(self, name, x_fraction=0.5):
        left, top, right, bottom = self.rects[name]
        x = left + int((right - left) * x_fraction)
        x = min(max(x, left + 2), right - 3)
        self.click_at(x, (top + bottom) // 2)

    def click_at(self, x, y):
        # Two clicks in quick succession would be a double click, which selects a word in an
        # edit instead of focusing it.
        wait = self._last_click + 0.7 - time.monotonic()
        if wait > 0:
            time.sleep(wait)
        xdotool("mousemove", x, y)
        xdotool("click", "1")
        self._last_click = time.monotonic()
        # Resting on the control would open its tooltip over the next control clicked.
        xdotool("mousemove", 0, 0)

    def focus(self, name, attempts=3):
        # Under a fresh Xvfb the first click after start-up is now and then lost before the
        # window manager has made the window active; clicking the same field again is harmless.
        for attempt in range(attempts):
            self.click(name)
            try:
                return self.wait_focus(name, timeout=4 if attempt < attempts - 1 else 10)
            except DriverError:
                if attempt == attempts - 1:
                    raise

    def fill(self, name, text):
        """Focus the field, type text into it and wait until it shows all of it."""
        self.focus(name)
        self.type(text)
        self.wait_text(name, text)

    def key(self, *keys):
        xdotool("key", "--delay", "60", *keys)

    def type(self, text):
        xdotool("type", "--delay", "40", text)

    def close_box_point(self):
        """The title bar's close button, near the top right corner of the frame."""
        w = self.window
        return w["right"] - 15, w["top"] + 12

    # --- the end

    def wait_exit(self, timeout=20):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired as e:
            raise DriverError(f"the program did not end within {timeout} s") from e

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(timeout=10)
        self.log.close()


def screenshot(path, rect=None):
    cmd = ["import", "-window", "root"]
    if rect:
        left, top, right, bottom = rect
        cmd += ["-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage"]
    subprocess.run(cmd + [path], check=True, timeout=60)


def scratch(prefix="importobj-gui."):
    # Short: the data folder field takes at most 60 characters.
    return tempfile.mkdtemp(prefix=prefix, dir="/tmp")
