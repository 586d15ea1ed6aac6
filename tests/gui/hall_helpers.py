#!/usr/bin/python3
"""Shared pieces of the GUI tests that drive the real program against the
local task hall: the hall itself (start, switch its mode, take it down and
bring it back on the same port), typing and clicking in the real window,
waiting for requests to reach the hall, and finding the program's other
windows and its engine's web content processes. No tests of its own.
"""

import atexit
import os
import re
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import outside_test as gui  # noqa: E402

HALL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "task_hall",
                    "task_hall.py")
CLAIM_PATH = "/home.php?mod=task&do=draw&id="
PERIOD = 2.0
# How far a request may land from its point on the 2 s grid: the load's own
# latency plus the driver's, on a loaded machine.
GRID_SLACK = 0.3
# How soon a click's own request must come: well before the tick 2 s later.
AT_ONCE = 1.5

# Client-area points inside the main window's controls, from its layout.
FORUM_BOX = (100, 44)
TASK_BOX = (460, 43)
VISIT_BUTTON = (587, 40)
CLAIM_BUTTON = (687, 40)
INSTRUCTIONS_BUTTON = (784, 40)
PANE = (416, 320)


class task_hall:
    """The hall as a child process; its log outlives restarts."""

    def __init__(self):
        self.dir = tempfile.TemporaryDirectory(prefix="tarvello-hall-")
        self.log = os.path.join(self.dir.name, "requests.log")
        self.port_file = os.path.join(self.dir.name, "port")
        self.mode_file = os.path.join(self.dir.name, "mode")
        open(self.log, "w").close()
        self.set_mode("normal")
        self.port = 0
        self.proc = None
        self.come_back()

    def come_back(self):
        """Starts the hall, on its old port if it had one."""
        if os.path.exists(self.port_file):
            os.remove(self.port_file)
        self.proc = subprocess.Popen(["/usr/bin/python3", HALL, self.log, self.port_file,
                                      self.mode_file, str(self.port)],
                                     stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while not os.path.exists(self.port_file):
            if time.monotonic() > deadline or self.proc.poll() is not None:
                raise RuntimeError("the task hall did not start")
            time.sleep(0.02)
        with open(self.port_file, encoding="utf-8") as f:
            self.port = int(f.read().strip())
        self.address = f"http://127.0.0.1:{self.port}"

    def go_down(self):
        """Stops the hall: connections to its port are refused."""
        self.proc.kill()
        self.proc.wait(timeout=10)

    def set_mode(self, mode):
        scratch = self.mode_file + ".tmp"
        with open(scratch, "w", encoding="utf-8") as f:
            f.write(mode)
        os.replace(scratch, self.mode_file)

    def requests(self, path=None, since=0.0):
        """(monotonic time, path) of every request logged, oldest first."""
        seen = []
        with open(self.log, encoding="utf-8") as f:
            for line in f:
                when, got = line.split(" ", 2)[:2]
                if float(when) >= since and (path is None or got == path):
                    seen.append((float(when), got))
        return seen

    def stop(self):
        self.go_down()
        self.dir.cleanup()


def window_name(win):
    """_NET_WM_NAME, else WM_NAME; an empty caption is "" (xprop prints it
    with no quotes at all), an absent one None."""
    for prop in ("_NET_WM_NAME", "WM_NAME"):
        match = re.search(r'^' + prop + r'\([^)]*\) = (?:"(.*)")?$', gui.xprop(win, prop), re.M)
        if match:
            return re.sub(r'\\(.)', r'\1', match.group(1) or "")
    return None


def ticks(times, merge):
    """Request times with retries folded in: the engine may ask twice for one
    load when the hall drops a connection, and that is still one tick.
    Requests closer than `merge` seconds count as one."""
    folded = []
    for t in times:
        if not folded or t - folded[-1] > merge:
            folded.append(t)
    return folded


def parent_of(pid):
    try:
        with open(f"/proc/{pid}/stat", encoding="utf-8") as f:
            # The name, in parentheses, may itself hold blanks.
            return int(f.read().rsplit(")", 1)[1].split()[1])
    except (OSError, IndexError, ValueError):
        return 0


def web_processes_of(program_pid):
    """Pids of the engine's web content processes started by the program,
    directly or through the sandbox's bubblewrap processes in between."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                command = f.read().split(b"\0")[0]
        except OSError:
            continue
        if not command.endswith(b"WebKitWebProcess"):
            continue
        pid = int(entry)
        up = parent_of(pid)
        while up > 1 and up != program_pid:
            up = parent_of(up)
        if up == program_pid:
            found.append(pid)
    return found


def process_status(pid):
    """/proc/PID/status as a dict of its fields."""
    with open(f"/proc/{pid}/status", encoding="utf-8") as f:
        return dict(line.split(":\t", 1) for line in f.read().splitlines() if ":\t" in line)


def namespaces(pid):
    """The mount, pid and network namespaces a process lives in."""
    return {kind: os.readlink(f"/proc/{pid}/ns/{kind}") for kind in ("mnt", "pid", "net")}


def cpu_seconds(pid):
    """User and system time the process has used so far."""
    with open(f"/proc/{pid}/stat", encoding="utf-8") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class hall_case(gui.WindowHelpers):
    merge = 0.0  # every request counts; cases with a hall that drops connections set more

    def setUp(self):
        super().setUp()
        self.hall = task_hall()

    def tearDown(self):
        try:
            super().tearDown()
        finally:
            self.hall.stop()

    # -- driving the real window -------------------------------------------

    def click(self, win, point):
        gui.run("xdotool", "mousemove", "--window", win, str(point[0]), str(point[1]),
                "click", "1")

    def type_into(self, win, point, text):
        self.click(win, point)
        if text:
            gui.run("xdotool", "type", "--delay", "5", text)

    def start_with_window(self):
        program = self.start()
        win = self.wait_window(program)
        self.activate(win)
        return program, win

    def claim(self, win, forum, task_id):
        """Types both boxes and clicks "开始刷分"; returns the click's time."""
        self.type_into(win, FORUM_BOX, forum)
        self.type_into(win, TASK_BOX, task_id)
        clicked = time.monotonic()
        self.click(win, CLAIM_BUTTON)
        return clicked

    def pixel(self, win, point):
        """(red, green, blue) on screen at a client-area point of the window."""
        (left, top, _, _), _ = gui.client_geometry(win)
        out = gui.run("import", "-window", "root", "-crop",
                      f"1x1+{left + point[0]}+{top + point[1]}", "-depth", "8", "txt:-")
        match = re.search(r"\((\d+),(\d+),(\d+)", out.splitlines()[-1])
        return tuple(int(v) for v in match.groups())

    def wait_pixel(self, win, point, colour, what, timeout=gui.SETTLE_TIMEOUT):
        if not gui.poll_until(lambda: self.pixel(win, point) == colour, timeout):
            self.fail(f"{what}: {self.pixel(win, point)} at {point}, not {colour}")

    # -- what the hall saw -------------------------------------------------

    def wait_requests(self, path, count, timeout, since=0.0):
        """The times of the first `count` ticks asking for `path`."""
        def enough():
            found = ticks([t for t, _ in self.hall.requests(path, since)], self.merge)
            return found[:count] if len(found) >= count else None

        found = gui.poll_until(enough, timeout)
        if found:
            return found
        self.fail(f"{count} requests for {path} expected within {timeout} s; "
                  f"the hall saw {self.hall.requests(since=since)}")

    def wait_until(self, when):
        """Waits for a moment on the program's clock, as a user who clicks
        at a chosen time does."""
        time.sleep(max(0.0, when - time.monotonic()))

    def assert_on_grid(self, times, origin, first_n, what):
        """times[k] is the tick at origin + PERIOD * (first_n + k)."""
        for k, at in enumerate(times):
            n = first_n + k
            offset = at - (origin + PERIOD * n)
            self.assertLess(abs(offset), GRID_SLACK,
                            f"{what}: tick {n} is {offset:+.3f} s off the 2 s grid of "
                            f"the first click; ticks at "
                            f"{[round(t - origin, 3) for t in times]} s after it")

    def assert_nothing_after_close(self, closed):
        """No request reaches the hall once the window closed: the next tick
        was due within one period; that and a little more is waited out."""
        self.wait_until(closed + PERIOD + GRID_SLACK)
        self.assertEqual(self.hall.requests(since=closed), [],
                         "a request came after the main window was closed")

    def assert_waits_idle(self, pid):
        """With nothing claimed no tick comes, so a loop that waited by
        polling would still use the processor: over 3 s it uses next to none."""
        self.wait_until(time.monotonic() + 1.0)  # let the first drawing finish
        used = cpu_seconds(pid)
        began = time.monotonic()
        self.wait_until(began + 3.0)
        used = cpu_seconds(pid) - used
        self.assertLess(used, 0.1 * (time.monotonic() - began),
                        f"the program used {used:.2f} s of processor time while it waited")

    def assert_claims_resume(self, path, since, clicked, what):
        """The claims come again at the first tick after `since`, and on the
        grid of the first click."""
        resumed = self.wait_requests(path, 2, timeout=10, since=since)
        self.assertLess(resumed[0] - since, PERIOD + GRID_SLACK,
                        f"{what}: no claim at the first tick")
        self.assert_on_grid(resumed, clicked, round((resumed[0] - clicked) / PERIOD), what)

    # -- the program's other windows ---------------------------------------

    def windows_of(self, instance, caption):
        """Mapped windows of the program with exactly this caption."""
        found = []
        for win in gui.run("xdotool", "search", "--pid", str(instance.pid),
                           check=False).split():
            name = window_name(win)
            client = gui.client_geometry(win)
            if name == caption and client and client[1] == "IsViewable":
                found.append(win)
        return found

    def wait_secondary(self, instance, caption, timeout=10.0):
        def framed():
            found = [w for w in self.windows_of(instance, caption)
                     if w != instance.window
                     and len(gui.prop_cardinals(w, "_NET_FRAME_EXTENTS")) == 4]
            return found[0] if found else None

        dialog = gui.poll_until(framed, timeout)
        if not dialog:
            self.fail(f"no window captioned {caption!r} opened within {timeout} s")
        return dialog

    def wait_gone(self, win, what, timeout=gui.EXIT_TIMEOUT):
        def gone():
            client = gui.client_geometry(win)
            return client is None or client[1] != "IsViewable"

        if not gui.poll_until(gone, timeout):
            self.fail(f"{what}: window {win} is still open")


def main():
    if len(sys.argv) < 2:
        sys.exit(f"usage: {sys.argv[0]} /path/to/tarvello [unittest options]")
    gui.PROGRAM = os.path.abspath(sys.argv.pop(1))
    # The engine keeps cookies under the user's data folder: keep the test's
    # own away from the user's.
    scratch = gui.private_user_dirs()
    atexit.register(scratch.cleanup)
    unittest.main(module="__main__", verbosity=2)
