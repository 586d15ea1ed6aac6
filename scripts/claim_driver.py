"""Driving the real program through a claim run from outside, shared by the
headless demo (scripts/headless_demo) and the rhythm benchmark
(bench/rhythm.py): a local task hall, the program's window found, the hall's
address and a task id typed into the real boxes, "开始刷分" clicked, and the
claim requests read back from the hall's log as they arrive.

Finding the window, keys and the exit check come from the GUI tests' shared
window helpers (tests/gui/outside_test.py), so the demo and the benchmark
drive the window as the tests do, and so does the task hall
(tests/gui/hall_helpers.py). Needs $DISPLAY: run it inside
scripts/with_display.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "gui"))
import hall_helpers  # noqa: E402
import outside_test as gui  # noqa: E402
from hall_helpers import CLAIM_BUTTON, CLAIM_PATH, FORUM_BOX, TASK_BOX  # noqa: E402,F401

POLL = 0.01  # fine enough to print requests as they come, cheap enough not to disturb them


class failure(Exception):
    """The run could not go on; the message says why."""


# A demo or a benchmark leaves the user's cookies alone and starts with no
# cached pages, as the tests do.
private_user_dirs = gui.private_user_dirs


class hall(hall_helpers.task_hall):
    """The GUI tests' local task hall on 127.0.0.1, with a reader of its
    request log that hands out each complete line once."""

    def __init__(self):
        self.read_up_to = 0
        try:
            super().__init__()
        except RuntimeError as error:
            raise failure(str(error)) from None

    def new_requests(self):
        """(monotonic seconds, path) of the requests logged since the last
        call. A line still being written is left for the next call."""
        with open(self.log, "rb") as f:
            f.seek(self.read_up_to)
            chunk = f.read()
        complete = chunk[:chunk.rfind(b"\n") + 1]
        self.read_up_to += len(complete)
        found = []
        for line in complete.decode("utf-8").splitlines():
            when, path = line.split(" ", 2)[:2]
            found.append((float(when), path))
        return found

    def wait_claims(self, path, count, deadline, on_each=None, alive=None):
        """Polls the log until count requests for path have come or the
        monotonic deadline passes; returns their arrival times. on_each is
        called with each one as it is seen; alive, when given, is asked on
        every poll and a False ends the wait early."""
        seen = []
        while True:
            # Asked before the log is read: a client that logged its last
            # request and then ended still has that request counted.
            still_alive = alive is None or alive()
            for when, got in self.new_requests():
                if got == path:
                    seen.append(when)
                    if on_each:
                        on_each(when, got)
            if len(seen) >= count or time.monotonic() >= deadline or not still_alive:
                return seen
            time.sleep(POLL)


class program:
    """A running copy of the real program with its main window found and
    active, driven through xdotool as the GUI tests drive it."""

    def __init__(self, path):
        gui.PROGRAM = os.path.abspath(path)
        # The helpers are a test case's methods; outside a test run their
        # failures arrive as AssertionError, turned into failure here.
        self.helpers = gui.WindowHelpers()
        try:
            self.helpers.setUp()
            self.instance = self.helpers.start()
            self.window = self.helpers.wait_window(self.instance)
            self.helpers.activate(self.window)
        except AssertionError as error:
            self.helpers.tearDown()
            raise failure(str(error)) from None

    def alive(self):
        return self.instance.alive()

    def type_into(self, point, text):
        self.point_at(point)
        gui.run("xdotool", "click", "1")
        gui.run("xdotool", "type", "--delay", "5", text)

    def point_at(self, point):
        gui.run("xdotool", "mousemove", "--sync", "--window", self.window, str(point[0]),
                str(point[1]))

    def start_claiming(self, forum, task):
        """Types the forum address and task id, clicks "开始刷分" and returns
        the click's monotonic time: the moment `xdotool click 1` was started.
        It sends the press and, at once, the release that fires the button
        within a few ms of starting, then idles 100 ms before it exits, so
        the time after it returns would be late by that much. The pointer is
        moved there beforehand so that the timed call is the click alone."""
        self.type_into(FORUM_BOX, forum)
        self.type_into(TASK_BOX, task)
        self.point_at(CLAIM_BUTTON)
        clicked = time.monotonic()
        gui.run("xdotool", "click", "1")
        return clicked

    def screenshot(self, target, settle=5.0):
        """Saves the main window, frame included and clipped to the screen,
        to target once two pictures in a row are the same (or after settle
        seconds), as the GUI tests take theirs."""
        outer = gui.outer_geometry(self.window)
        if outer is None:
            raise failure("the main window has no frame to take a picture of")
        x, y, width, height = outer
        screen_w, screen_h = gui.screen_size()
        left, top = max(x, 0), max(y, 0)
        right, bottom = min(x + width, screen_w), min(y + height, screen_h)
        if right <= left or bottom <= top:
            raise failure(f"the main window {outer} is off the screen")
        crop = f"{right - left}x{bottom - top}+{left}+{top}"
        with tempfile.TemporaryDirectory(prefix="tarvello-shot-") as work:
            shot = os.path.join(work, "shot.png")
            gui.settled_screenshot(crop, shot, settle)
            gui.png_size(shot)  # raises ValueError on a broken picture
            os.makedirs(os.path.dirname(os.path.abspath(target)), exist_ok=True)
            shutil.copyfile(shot, target)

    def close_with_escape(self):
        """Esc to the main window; fails unless the program then exits 0."""
        try:
            self.helpers.key(self.window, "Escape")
            self.helpers.assert_exits_zero(self.instance, "Esc")
        except AssertionError as error:
            raise failure(str(error)) from None

    def stop(self):
        """Ends the program if it is still running and drops its logs."""
        self.helpers.tearDown()


def child_exit_code(proc, timeout):
    """The exit code of a child process, or None if it runs on past timeout."""
    try:
        return proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        return None
