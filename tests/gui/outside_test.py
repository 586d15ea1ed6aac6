#!/usr/bin/python3
"""Out-of-process tests of the real tarvello program, driven from outside
through the X server with xdotool, xprop, xwininfo and ImageMagick's import.

Run inside scripts/with_display (it uses $DISPLAY), with the program's path
first:   scripts/with_display -- tests/gui/outside_test.py build/x/tarvello
If TARVELLO_SCREENSHOT names a file, a PNG of the main window is kept there.
Standard library only.
"""

import ctypes
import ctypes.util
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

CAPTION = "Tarvello  by:Miskard"
CAPTION_REGEX = "^Tarvello  by:Miskard$"
OUTER_WIDTH = 845
OUTER_HEIGHT = 616

WINDOW_TIMEOUT = float(os.environ.get("TARVELLO_WINDOW_TIMEOUT", "30"))
SETTLE_TIMEOUT = 5.0  # for geometry to reach its final value
EXIT_TIMEOUT = 5.0  # for the process to end after a close request
FOCUS_TIMEOUT = 5.0
STAYS_OPEN_FOR = 0.5  # how long a key that must not close is watched
POLL = 0.05

PROGRAM = None  # set from the command line in main()

# What AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer print
# when a sanitized build finds something (scripts/test's asan run).
SANITIZER_REPORT = re.compile(
    rb"ERROR: (?:AddressSanitizer|LeakSanitizer)|: runtime error: "
    rb"|SUMMARY: (?:AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer)")


# --------------------------------------------------------------------------
# Small wrappers around the X tools.

def run(*args, check=True, timeout=10):
    """Runs a tool and returns its stdout as text."""
    done = subprocess.run(args, capture_output=True, text=True, timeout=timeout)
    if check and done.returncode != 0:
        raise RuntimeError(
            f"{' '.join(args)} failed ({done.returncode}): {done.stderr.strip()}")
    return done.stdout


def screen_size():
    out = run("xdpyinfo")
    match = re.search(r"dimensions:\s+(\d+)x(\d+) pixels", out)
    if not match:
        raise RuntimeError("xdpyinfo printed no screen dimensions")
    return int(match.group(1)), int(match.group(2))


def xprop(win, *props):
    """The raw text xprop prints for the given properties ('' if it fails)."""
    done = subprocess.run(("xprop", "-id", str(win)) + props,
                          capture_output=True, text=True, timeout=10)
    return done.stdout if done.returncode == 0 else ""


def prop_string(win, prop):
    """A string property's value, or None if it is not set."""
    match = re.search(r'^' + re.escape(prop) + r'\([^)]*\) = "(.*)"$',
                      xprop(win, prop), re.M)
    if not match:
        return None
    return re.sub(r'\\(.)', r'\1', match.group(1))


def prop_cardinals(win, prop):
    """A CARDINAL property's values as a list of ints (empty if not set)."""
    match = re.search(r'^' + re.escape(prop) + r'\(CARDINAL\) = ([\d, ]+)$',
                      xprop(win, prop), re.M)
    if not match:
        return []
    return [int(v) for v in match.group(1).split(",")]


def prop_atoms(win, prop):
    match = re.search(r'^' + re.escape(prop) + r'\(ATOM\) = (.*)$',
                      xprop(win, prop), re.M)
    if not match:
        return []
    return [a.strip() for a in match.group(1).split(",")]


def size_hints(win):
    """WM_NORMAL_HINTS as a dict such as {'minimum size': (w, h)}."""
    hints = {}
    for line in xprop(win, "WM_NORMAL_HINTS").splitlines():
        match = re.search(r"(minimum|maximum|base) size: (\d+) by (\d+)", line)
        if match:
            hints[match.group(1) + " size"] = (int(match.group(2)),
                                               int(match.group(3)))
    return hints


def client_geometry(win):
    """(x, y, width, height) of the window itself, in root coordinates,
    plus its map state; None if the window is gone."""
    done = subprocess.run(("xwininfo", "-id", str(win)),
                          capture_output=True, text=True, timeout=10)
    if done.returncode != 0:
        return None
    out = done.stdout

    def field(name):
        match = re.search(r"^\s*" + re.escape(name) + r":\s+(-?\d+)", out, re.M)
        if not match:
            raise RuntimeError(f"xwininfo printed no {name!r}:\n{out}")
        return int(match.group(1))

    state = re.search(r"Map State:\s+(\w+)", out)
    return ((field("Absolute upper-left X"), field("Absolute upper-left Y"),
             field("Width"), field("Height")),
            state.group(1) if state else "")


def outer_geometry(win):
    """(x, y, width, height) including the window manager's frame, or None."""
    client = client_geometry(win)
    extents = prop_cardinals(win, "_NET_FRAME_EXTENTS")
    if client is None or len(extents) != 4:
        return None
    (x, y, w, h), _ = client
    left, right, top, bottom = extents
    return (x - left, y - top, w + left + right, h + top + bottom)


def window_exists(win):
    return client_geometry(win) is not None


def active_window():
    done = subprocess.run(("xdotool", "getactivewindow"),
                          capture_output=True, text=True, timeout=10)
    return done.stdout.strip() if done.returncode == 0 else ""


def send_net_close_window(win):
    """Asks the window manager to close the window, as a pager or taskbar
    does: a _NET_CLOSE_WINDOW client message to the root window."""
    xlib = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XDefaultRootWindow.restype = ctypes.c_ulong
    xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    xlib.XInternAtom.restype = ctypes.c_ulong
    xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    xlib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int,
                                ctypes.c_long, ctypes.c_void_p]
    xlib.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                    ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                    ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                    ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]

    class Event(ctypes.Union):
        _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]

    display = xlib.XOpenDisplay(None)
    if not display:
        raise RuntimeError("cannot open the X display")
    try:
        event = Event()
        event.xclient.type = 33  # ClientMessage
        event.xclient.send_event = 1
        event.xclient.window = int(win)
        event.xclient.message_type = xlib.XInternAtom(
            display, b"_NET_CLOSE_WINDOW", 0)
        event.xclient.format = 32
        event.xclient.data[0] = 0  # CurrentTime
        event.xclient.data[1] = 2  # sent on behalf of a pager
        substructure_notify_and_redirect = (1 << 19) | (1 << 20)
        if not xlib.XSendEvent(display, xlib.XDefaultRootWindow(display), 0,
                               substructure_notify_and_redirect,
                               ctypes.byref(event)):
            raise RuntimeError("XSendEvent failed")
        xlib.XSync(display, 0)
    finally:
        xlib.XCloseDisplay(display)


def png_size(path):
    """(width, height) of a PNG file, after checking its signature, every
    chunk's CRC and that it ends with IEND; raises ValueError otherwise."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG signature")
    at, size, seen_end = 8, None, False
    while at < len(data):
        if at + 12 > len(data):
            raise ValueError("PNG chunk cut short")
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        (crc,) = struct.unpack(">I", data[at + 8 + length:at + 12 + length])
        if len(body) != length or zlib.crc32(kind + body) != crc:
            raise ValueError(f"bad PNG chunk {kind!r}")
        if size is None:
            if kind != b"IHDR":
                raise ValueError("PNG does not start with IHDR")
            size = struct.unpack(">II", body[:8])
        at += 12 + length
        if kind == b"IEND":
            seen_end = True
            break
    if not seen_end:
        raise ValueError("PNG has no IEND")
    return size


def poll_until(check, timeout, interval=POLL):
    """Asks check() until it gives something true, which is returned, or
    until timeout seconds have passed (then None)."""
    deadline = time.monotonic() + timeout
    while True:
        got = check()
        if got:
            return got
        if time.monotonic() >= deadline:
            return None
        time.sleep(interval)


def private_user_dirs():
    """Points the engine's data and cache folders (cookies, caches) at a
    scratch folder for this process and the programs it starts, so a run
    leaves the user's own alone; returns the folder, to be cleaned up."""
    scratch = tempfile.TemporaryDirectory(prefix="tarvello-xdg-")
    os.environ["XDG_DATA_HOME"] = os.path.join(scratch.name, "data")
    os.environ["XDG_CACHE_HOME"] = os.path.join(scratch.name, "cache")
    return scratch


def settled_screenshot(crop, path, settle=SETTLE_TIMEOUT):
    """Saves the crop (ImageMagick geometry) of the screen as a PNG at path,
    once two pictures in a row are the same, or after settle seconds."""
    previous = None
    deadline = time.monotonic() + settle
    while True:
        run("import", "-window", "root", "-crop", crop, "+repage", "PNG:" + path, timeout=30)
        with open(path, "rb") as f:
            current = f.read()
        if current == previous or time.monotonic() >= deadline:
            return
        previous = current
        time.sleep(0.2)


def expected_outer_origin(screen_w, screen_h):
    # Centred, halves truncated toward zero (also when the window is larger
    # than the screen and the origin is negative).
    return int((screen_w - OUTER_WIDTH) / 2), int((screen_h - OUTER_HEIGHT) / 2)


# --------------------------------------------------------------------------
# A running copy of the program.

class Instance:
    """The program, started directly or through a launcher command that
    ends by exec'ing it (so the pid is the program's)."""

    def __init__(self, args=(), cwd=None, launcher=()):
        self.logs = tempfile.TemporaryDirectory(prefix="tarvello-test-")
        self.stdout_path = os.path.join(self.logs.name, "stdout")
        self.stderr_path = os.path.join(self.logs.name, "stderr")
        with open(self.stdout_path, "wb") as out, \
                open(self.stderr_path, "wb") as err:
            self.proc = subprocess.Popen([*launcher, PROGRAM, *args], cwd=cwd,
                                         stdin=subprocess.DEVNULL,
                                         stdout=out, stderr=err)
        self.pid = self.proc.pid
        self.window = None

    def output(self, which="stdout"):
        with open(self.stdout_path if which == "stdout" else self.stderr_path,
                  "rb") as f:
            return f.read()

    def alive(self):
        return self.proc.poll() is None

    def wait_exit(self, timeout=EXIT_TIMEOUT):
        """The exit code, or None if it is still running after timeout."""
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def kill(self):
        """Ends the program if it still runs; returns a sanitizer's report
        from its standard error, or None."""
        if self.alive():
            self.proc.kill()
            self.proc.wait(timeout=10)
        said = self.output("stderr")
        self.logs.cleanup()
        found = SANITIZER_REPORT.search(said)
        return said[max(0, found.start() - 200):].decode(errors="replace") if found else None


class WindowHelpers(unittest.TestCase):
    """Starting the program, finding its window, keys and exits; no tests
    of its own, so other GUI test files can build on it."""

    def setUp(self):
        self.instances = []
        self.screen_w, self.screen_h = screen_size()

    def tearDown(self):
        # A sanitizer's finding fails the test, whatever else it checked.
        reports = [r for r in (instance.kill() for instance in self.instances) if r]
        if reports:
            self.fail("a sanitizer reported:\n" + "\n".join(reports))

    # -- helpers ------------------------------------------------------------

    def start(self, args=(), cwd=None, launcher=()):
        instance = Instance(args, cwd, launcher)
        self.instances.append(instance)
        return instance

    def wait_window(self, instance):
        """Waits until the program has mapped a framed window with exactly
        the caption and its own _NET_WM_PID; returns its id."""
        deadline = time.monotonic() + WINDOW_TIMEOUT
        while time.monotonic() < deadline:
            if not instance.alive():
                self.fail(f"program exited with {instance.proc.returncode} "
                          f"before showing its window; stderr:\n"
                          f"{instance.output('stderr').decode(errors='replace')}")
            for win in self.caption_windows():
                if prop_cardinals(win, "_NET_WM_PID") != [instance.pid]:
                    continue
                client = client_geometry(win)
                if (client and client[1] == "IsViewable"
                        and len(prop_cardinals(win, "_NET_FRAME_EXTENTS")) == 4):
                    instance.window = win
                    return win
            time.sleep(POLL)
        names = [(w, prop_string(w, "_NET_WM_NAME") or prop_string(w, "WM_NAME"))
                 for w in run("xdotool", "search", "--pid", str(instance.pid),
                              check=False).split()]
        self.fail(f"no mapped, framed window named {CAPTION!r} for pid "
                  f"{instance.pid} within {WINDOW_TIMEOUT} s; windows of that "
                  f"pid: {names}")

    @staticmethod
    def caption_windows():
        """Ids of windows whose name is exactly the caption (xdotool's match
        is a case-insensitive regex, so the name is compared again)."""
        found = run("xdotool", "search", "--name", CAPTION_REGEX,
                    check=False).split()
        exact = []
        for win in found:
            net_name = prop_string(win, "_NET_WM_NAME")
            name = net_name if net_name is not None else prop_string(win, "WM_NAME")
            if name == CAPTION:
                exact.append(win)
        return exact

    def activate(self, win):
        run("xdotool", "windowactivate", win, check=False)
        self.wait_active(win, "after xdotool windowactivate")

    def wait_active(self, win, what):
        if not poll_until(lambda: active_window() == win, FOCUS_TIMEOUT):
            self.fail(f"{what}: window {win} is not the active one; "
                      f"{active_window()!r} is")

    def key(self, win, keys):
        """Sends keys (xdotool syntax) to the window after activating it."""
        self.activate(win)
        run("xdotool", "key", keys)

    def assert_exits_zero(self, instance, what):
        code = instance.wait_exit()
        if code is None:
            self.fail(f"program still running {EXIT_TIMEOUT} s after {what}")
        self.assertEqual(code, 0, f"exit code after {what}; stderr:\n"
                         f"{instance.output('stderr').decode(errors='replace')}")

    def assert_stays_open(self, instance, what):
        """Watches for a short while that the process neither exits nor loses
        its window; a key that must do nothing has no event to wait for."""
        deadline = time.monotonic() + STAYS_OPEN_FOR
        while time.monotonic() < deadline:
            self.assertTrue(instance.alive(),
                            f"program exited ({instance.proc.returncode}) "
                            f"after {what}")
            time.sleep(POLL)
        self.assertTrue(window_exists(instance.window),
                        f"window vanished after {what}")

    def settled_outer_geometry(self, win):
        """Polls until the outer geometry is the expected one; returns the
        last value seen either way."""
        want = (*expected_outer_origin(self.screen_w, self.screen_h),
                OUTER_WIDTH, OUTER_HEIGHT)
        deadline = time.monotonic() + SETTLE_TIMEOUT
        seen = None
        while time.monotonic() < deadline:
            seen = outer_geometry(win)
            if seen == want:
                break
            time.sleep(POLL)
        return want, seen

    def assert_main_geometry(self, win):
        want, seen = self.settled_outer_geometry(win)
        self.assertEqual(
            seen, want,
            f"outer geometry (x, y, width, height) on a {self.screen_w}x"
            f"{self.screen_h} screen, frame extents (l, r, t, b) "
            f"{prop_cardinals(win, '_NET_FRAME_EXTENTS')}, client "
            f"{client_geometry(win)}")



class GuiCase(WindowHelpers):
    # -- the main window --------------------------------------------------

    def test_outer_geometry_is_fixed_and_centred(self):
        instance = self.start()
        self.assert_main_geometry(self.wait_window(instance))

    def test_window_is_not_resizable(self):
        win = self.wait_window(self.start())
        self.settled_outer_geometry(win)
        (_, _, width, height), _ = client_geometry(win)
        hints = size_hints(win)
        self.assertEqual(hints.get("minimum size"), (width, height),
                         f"WM_NORMAL_HINTS {hints}")
        self.assertEqual(hints.get("maximum size"), (width, height),
                         f"WM_NORMAL_HINTS {hints}")
        actions = prop_atoms(win, "_NET_WM_ALLOWED_ACTIONS")
        for absent in ("_NET_WM_ACTION_MAXIMIZE_HORZ",
                       "_NET_WM_ACTION_MAXIMIZE_VERT",
                       "_NET_WM_ACTION_RESIZE"):
            self.assertNotIn(absent, actions)
        for present in ("_NET_WM_ACTION_MINIMIZE", "_NET_WM_ACTION_CLOSE"):
            self.assertIn(present, actions)

    # -- closing ------------------------------------------------------------

    def test_escape_closes_with_exit_code_zero(self):
        instance = self.start()
        self.key(self.wait_window(instance), "Escape")
        self.assert_exits_zero(instance, "Escape")

    def test_escape_with_a_modifier_does_not_close(self):
        for keys in ("shift+Escape", "ctrl+Escape", "alt+Escape"):
            with self.subTest(keys=keys):
                instance = self.start()
                win = self.wait_window(instance)
                self.key(win, keys)
                self.assert_stays_open(instance, keys)
                self.key(win, "Escape")
                self.assert_exits_zero(instance, f"{keys}, then Escape")

    def test_window_manager_close_exits_with_zero(self):
        def alt_f4(case, win):
            case.key(win, "alt+F4")

        def net_close_window(_case, win):
            send_net_close_window(win)

        for name, close in (("Alt+F4", alt_f4),
                            ("_NET_CLOSE_WINDOW", net_close_window)):
            with self.subTest(close=name):
                instance = self.start()
                close(self, self.wait_window(instance))
                self.assert_exits_zero(instance, name)

    # -- how it is started --------------------------------------------------

    def test_arguments_change_nothing(self):
        for args in (["--help"], ["-x"], ["http://example.invalid"],
                     ["--geometry=10x10"],
                     ["--help", "-x", "http://example.invalid", "--version"]):
            with self.subTest(args=args):
                instance = self.start(args)
                win = self.wait_window(instance)
                self.assert_main_geometry(win)
                self.key(win, "Escape")
                self.assert_exits_zero(instance, "Escape")
                self.assertEqual(instance.output("stdout"), b"",
                                 "nothing is printed on stdout")

    def test_current_directory_is_the_program_folder(self):
        with tempfile.TemporaryDirectory(prefix="tarvello-cwd-") as elsewhere:
            instance = self.start(cwd=elsewhere)
            self.wait_window(instance)
            self.assertEqual(os.readlink(f"/proc/{instance.pid}/cwd"),
                             os.path.dirname(os.path.realpath(PROGRAM)))

    def test_two_copies_run_side_by_side(self):
        first = self.start()
        first_win = self.wait_window(first)
        second = self.start()
        second_win = self.wait_window(second)
        self.assertNotEqual(first_win, second_win)
        self.assertNotEqual(first.pid, second.pid)
        ours = ([first.pid], [second.pid])
        self.assertEqual(
            sorted(w for w in self.caption_windows()
                   if prop_cardinals(w, "_NET_WM_PID") in ours),
            sorted([first_win, second_win]), "one captioned window per copy")

        self.key(first_win, "Escape")
        self.assert_exits_zero(first, "Escape to the first copy")
        # The X server drops a client's windows shortly after it exits.
        deadline = time.monotonic() + EXIT_TIMEOUT
        while window_exists(first_win) and time.monotonic() < deadline:
            time.sleep(POLL)
        self.assertFalse(window_exists(first_win), "first window gone")
        self.assertTrue(second.alive(), "second copy still running")
        self.assertTrue(window_exists(second_win), "second window still there")
        self.assertIn(second_win, self.caption_windows())

        self.key(second_win, "Escape")
        self.assert_exits_zero(second, "Escape to the second copy")

    # -- picture ------------------------------------------------------------

    def test_screenshot_of_the_main_window(self):
        """Saves the main window, frame included (clipped to the screen), to
        $TARVELLO_SCREENSHOT, or to a temporary file that is then dropped,
        once the picture stops changing (or after a few seconds)."""
        if not shutil.which("import"):
            self.fail("ImageMagick's import is not installed")
        win = self.wait_window(self.start())
        _, outer = self.settled_outer_geometry(win)
        self.assertIsNotNone(outer, "window gone before the screenshot")
        x, y, width, height = outer
        left, top = max(x, 0), max(y, 0)
        right = min(x + width, self.screen_w)
        bottom = min(y + height, self.screen_h)
        self.assertTrue(right > left and bottom > top,
                        f"window {outer} is off the screen")
        crop = f"{right - left}x{bottom - top}+{left}+{top}"

        target = os.environ.get("TARVELLO_SCREENSHOT")
        with tempfile.TemporaryDirectory(prefix="tarvello-shot-") as work:
            shot = os.path.join(work, "shot.png")
            settled_screenshot(crop, shot)
            try:
                size = png_size(shot)
            except ValueError as error:
                self.fail(f"screenshot is not a valid PNG: {error}")
            self.assertEqual(size, (right - left, bottom - top),
                             f"screenshot size (window crop {crop})")
            if target:
                os.makedirs(os.path.dirname(os.path.abspath(target)),
                            exist_ok=True)
                shutil.copyfile(shot, target)
        if target:
            self.assertEqual(png_size(target), (right - left, bottom - top))


def main():
    global PROGRAM
    if len(sys.argv) < 2 or sys.argv[1].startswith("-"):
        print(f"usage: {sys.argv[0]} /path/to/tarvello [unittest options]",
              file=sys.stderr)
        return 2
    if not os.environ.get("DISPLAY"):
        print("DISPLAY is not set: run inside scripts/with_display",
              file=sys.stderr)
        return 2
    PROGRAM = os.path.abspath(sys.argv[1])
    if not os.access(PROGRAM, os.X_OK):
        print(f"not an executable program: {PROGRAM}", file=sys.stderr)
        return 2
    del sys.argv[1]
    unittest.main(verbosity=2)
    return 0


if __name__ == "__main__":
    sys.exit(main())
