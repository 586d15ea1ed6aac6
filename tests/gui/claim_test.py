#!/usr/bin/python3
"""The whole job against a local task hall: the real program types nothing
itself, so the test types the hall's address and a task id into the real
window, clicks "开始刷分" and watches the claim requests arrive at the hall.

Run inside scripts/with_display with the program's path first:
    scripts/with_display -- tests/gui/claim_test.py build/x/tarvello
"""

import atexit
import os
import shutil
import sqlite3
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
# Client-area points inside the controls, from the main window's layout.
FORUM_BOX = (100, 44)
TASK_BOX = (460, 43)
CLAIM_BUTTON = (687, 40)


class task_hall:
    def __init__(self):
        self.dir = tempfile.TemporaryDirectory(prefix="tarvello-hall-")
        self.log = os.path.join(self.dir.name, "requests.log")
        port_file = os.path.join(self.dir.name, "port")
        open(self.log, "w").close()
        self.proc = subprocess.Popen(["/usr/bin/python3", HALL, self.log, port_file])
        deadline = time.monotonic() + 10
        while not os.path.exists(port_file):
            if time.monotonic() > deadline or self.proc.poll() is not None:
                raise RuntimeError("the task hall did not start")
            time.sleep(0.02)
        with open(port_file, encoding="utf-8") as f:
            self.address = f"http://127.0.0.1:{f.read().strip()}"

    def requests(self):
        seen = []
        with open(self.log, encoding="utf-8") as f:
            for line in f:
                when, path = line.split(" ", 2)[:2]
                seen.append((float(when), path))
        return seen

    def stop(self):
        self.proc.kill()
        self.proc.wait(timeout=10)
        self.dir.cleanup()


class claim_case(gui.WindowHelpers):
    def setUp(self):
        super().setUp()
        self.hall = task_hall()

    def tearDown(self):
        super().tearDown()
        self.hall.stop()

    def click(self, win, point):
        gui.run("xdotool", "mousemove", "--window", win, str(point[0]), str(point[1]),
                "click", "1")

    def type_into(self, win, point, text):
        self.click(win, point)
        if text:
            gui.run("xdotool", "type", "--delay", "5", text)

    def wait_requests(self, path, count, timeout):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = [t for t, p in self.hall.requests() if p == path]
            if len(found) >= count:
                return found
            time.sleep(0.05)
        self.fail(f"{count} requests for {path} expected within {timeout} s; "
                  f"the hall saw {self.hall.requests()}")

    def test_claim_requests_come_at_once_then_every_two_seconds(self):
        program = self.start()
        win = self.wait_window(program)
        self.activate(win)
        self.type_into(win, FORUM_BOX, self.hall.address)
        self.type_into(win, TASK_BOX, "42")
        clicked = time.monotonic()
        self.click(win, CLAIM_BUTTON)
        claims = self.wait_requests(CLAIM_PATH + "42", 4, timeout=15)
        print(f"first claim {claims[0] - clicked:.3f} s after the click; offsets from the 2 s grid: "
              + ", ".join(f"{at - claims[0] - 2.0 * n:+.4f}" for n, at in enumerate(claims[:4])),
              file=sys.stderr)
        self.assertLess(claims[0] - clicked, 1.5, "the first claim request came late")
        for n, at in enumerate(claims[1:4], start=1):
            offset = at - (claims[0] + 2.0 * n)
            self.assertLess(abs(offset), 0.3, f"claim {n} is {offset:+.3f} s off its 2 s grid")
        self.key(win, "Escape")
        self.assert_exits_zero(program, "Esc while claiming")

    def wait_stored_cookie(self, name, timeout):
        store = os.path.join(os.environ["XDG_DATA_HOME"], "tarvello", "cookies.sqlite")
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            try:
                with sqlite3.connect(f"file:{store}?mode=ro", uri=True) as db:
                    if db.execute("SELECT 1 FROM moz_cookies WHERE name = ?", (name,)).fetchone():
                        return
            except sqlite3.Error:
                pass  # not written yet
            time.sleep(0.05)
        self.fail(f"the cookie {name} never reached the engine's store {store}")

    def test_a_login_cookie_from_one_run_is_sent_in_the_next(self):
        visit_button = (587, 40)
        for run_no, path in enumerate(["/login", "/?second-run"]):
            program = self.start()
            win = self.wait_window(program)
            self.activate(win)
            self.type_into(win, FORUM_BOX, self.hall.address + path)
            self.click(win, visit_button)
            self.wait_requests(path, 1, timeout=15)
            if run_no == 0:
                # The page being answered is not yet the cookie being kept:
                # wait until the engine's store holds it.
                self.wait_stored_cookie("hall_login", timeout=10)
            self.key(win, "Escape")
            self.assert_exits_zero(program, "Esc")
        with open(self.hall.log, encoding="utf-8") as f:
            second = [line for line in f if " /?second-run " in line]
        self.assertTrue(second and "hall_login=yes" in second[0],
                        f"the second run sent no login cookie: {second}")


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit("usage: claim_test.py /path/to/tarvello")
    gui.PROGRAM = os.path.abspath(sys.argv.pop(1))
    # The engine keeps cookies under the user's data folder: keep the test's
    # own away from the user's.
    scratch = tempfile.mkdtemp(prefix="tarvello-xdg-")
    atexit.register(shutil.rmtree, scratch, True)
    os.environ["XDG_DATA_HOME"] = os.path.join(scratch, "data")
    os.environ["XDG_CACHE_HOME"] = os.path.join(scratch, "cache")
    unittest.main(verbosity=2)
