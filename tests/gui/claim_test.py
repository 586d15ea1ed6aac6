#!/usr/bin/python3
"""The whole job against a local task hall: the test types the hall's
address and a task id into the real window, clicks "开始刷分" or "访问" and
watches what reaches the hall, and when.

Run inside scripts/with_display with the program's path first:
    scripts/with_display -- tests/gui/claim_test.py build/x/tarvello
"""

import math
import os
import sqlite3
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import hall_helpers as hall  # noqa: E402
import outside_test as gui  # noqa: E402
from hall_helpers import CLAIM_PATH, PERIOD  # noqa: E402

# The Close button of the alert the engine draws in the middle of the pane.
ALERT_CLOSE_BUTTON = (416, 377)
PANE_ABOVE_ALERT = (416, 150)
GREYED = (127, 127, 127)
WHITE = (255, 255, 255)


class claim_case(hall.hall_case):
    def test_claim_requests_come_at_once_then_every_two_seconds(self):
        program, win = self.start_with_window()
        clicked = self.claim(win, self.hall.address, "42")
        claims = self.wait_requests(CLAIM_PATH + "42", 4, timeout=15)
        print(f"first claim {claims[0] - clicked:.3f} s after the click; offsets from the "
              "click's 2 s grid: "
              + ", ".join(f"{at - clicked - PERIOD * n:+.4f}" for n, at in enumerate(claims)),
              file=sys.stderr)
        self.assertLess(claims[0] - clicked, hall.AT_ONCE, "the first claim request came late")
        self.assert_on_grid(claims[1:], clicked, 1, "claiming")
        self.key(win, "Escape")
        self.assert_exits_zero(program, "Esc while claiming")
        self.assert_nothing_after_close(time.monotonic())

    def test_the_web_process_is_shut_in_while_the_claims_go_on(self):
        program, win = self.start_with_window()
        clicked = self.claim(win, self.hall.address, "42")
        self.wait_requests(CLAIM_PATH + "42", 1, timeout=10)
        web = hall.web_processes_of(program.pid)
        self.assertEqual(len(web), 1, f"web content processes of the program: {web}")
        status = hall.process_status(web[0])
        self.assertEqual(status.get("NoNewPrivs"), "1", "the web process may gain privileges")
        self.assertEqual(status.get("Seccomp"), "2", "the web process has no system call filter")
        ours, its = hall.namespaces(program.pid), hall.namespaces(web[0])
        for kind in ours:
            self.assertNotEqual(its[kind], ours[kind],
                                f"the web process shares the program's {kind} namespace")
        # The user's files are out of its sight: the home folder, a file of
        # the user's beside the program's data folder, and the cookie store.
        data = os.environ["XDG_DATA_HOME"]
        store = os.path.join(data, "tarvello", "cookies.sqlite")
        if not gui.poll_until(lambda: os.path.exists(store), 10):
            self.fail(f"the engine made no cookie store {store}")
        private = [os.path.expanduser("~"), store, os.path.join(data, "notes.txt")]
        with open(private[-1], "w", encoding="utf-8") as f:
            f.write("the user's own\n")
        for path in private:
            self.assertTrue(os.path.exists(path), path)
            self.assertFalse(os.path.exists(f"/proc/{web[0]}/root{path}"),
                             f"the web process sees {path}")
        claims = self.wait_requests(CLAIM_PATH + "42", 4, timeout=15)
        self.assertLess(claims[0] - clicked, hall.AT_ONCE, "the first claim request came late")
        self.assert_on_grid(claims[1:], clicked, 1, "claiming from the sandbox")
        self.key(win, "Escape")
        self.assert_exits_zero(program, "Esc while claiming")

    def test_the_claim_address_is_joined_byte_for_byte(self):
        cases = [
            ("", "42", CLAIM_PATH + "42"),
            ("/", "42", "/" + CLAIM_PATH + "42"),  # no slash is taken out at the seam
            ("", "", CLAIM_PATH),
            ("", "7&x=1", CLAIM_PATH + "7&x=1"),  # the id is taken as it is
        ]
        for tail, task_id, path in cases:
            with self.subTest(forum=self.hall.address + tail, task_id=task_id):
                program, win = self.start_with_window()
                since = time.monotonic()
                self.claim(win, self.hall.address + tail, task_id)
                got = self.wait_requests(path, 1, timeout=10, since=since)
                self.assertEqual([p for t, p in self.hall.requests(since=since) if t <= got[0]],
                                 [path], "the first request after the click")
                self.key(win, "Escape")
                self.assert_exits_zero(program, "Esc")

    def test_a_second_claim_leaves_the_rhythm_of_the_first(self):
        program, win = self.start_with_window()
        clicked = self.claim(win, self.hall.address, "42")
        self.wait_requests(CLAIM_PATH + "42", 1, timeout=5)
        self.wait_until(clicked + 1.5)
        again = time.monotonic()
        self.click(win, hall.CLAIM_BUTTON)
        claims = self.wait_requests(CLAIM_PATH + "42", 4, timeout=10)
        # Before the first tick, which is due half a second after the click.
        self.assertLess(claims[1] - again, 0.45, "the second click asked for the address late")
        self.assertGreater(claims[1] - clicked, 1.0, "the second click asked before it was made")
        # Re-timed by the second click the ticks would come at 3.5 s and 5.5 s.
        self.assert_on_grid(claims[2:], clicked, 1, "after a second claim")
        self.key(win, "Escape")
        self.assert_exits_zero(program, "Esc")

    def test_a_claim_with_both_boxes_empty_starts_the_rhythm(self):
        program, win = self.start_with_window()
        clicked = time.monotonic()
        self.click(win, hall.CLAIM_BUTTON)  # the pane asks for the bare claim path
        self.type_into(win, hall.FORUM_BOX, self.hall.address)
        self.type_into(win, hall.TASK_BOX, "7")
        self.assertTrue(program.alive(), "the program ended after an empty claim")
        # Click again half-way between two ticks, so the grid of the empty
        # claim and a grid the second click might start are a second apart.
        k = math.ceil((time.monotonic() - clicked - 1.0) / PERIOD)
        again = clicked + 1.0 + PERIOD * k
        self.wait_until(again)
        self.click(win, hall.CLAIM_BUTTON)
        claims = self.wait_requests(CLAIM_PATH + "7", 4, timeout=12)
        self.assertLess(claims[0] - again, 0.9, "the claim after the empty one came late")
        # The period was set by the empty claim: the ticks keep its grid. A
        # grid started by the second click would put every tick a second
        # off; the first tick is left out, as the engine may still be
        # starting a web process for the new site then (once seen 0.97 s
        # late, with the next tick back on the grid).
        self.assert_on_grid(claims[2:], clicked, k + 2, "after an empty claim")
        self.key(win, "Escape")
        self.assert_exits_zero(program, "Esc")

    def test_a_visit_after_a_claim_makes_the_ticks_reload_the_forum_page(self):
        program, win = self.start_with_window()
        clicked = self.claim(win, self.hall.address, "42")
        self.wait_requests(CLAIM_PATH + "42", 2, timeout=10)
        self.wait_until(clicked + 2.5)
        visited = time.monotonic()
        self.click(win, hall.VISIT_BUTTON)
        front = self.wait_requests("/", 3, timeout=10, since=visited)
        self.assertLess(front[0] - visited, 1.0, "the visit asked for the forum page late")
        self.assert_on_grid(front[1:], clicked, 2, "ticks after the visit")
        self.assertEqual(self.hall.requests(CLAIM_PATH + "42", since=visited), [],
                         "the claim address was asked for after the visit")
        self.key(win, "Escape")
        self.assert_exits_zero(program, "Esc")

    def test_no_request_comes_without_a_claim(self):
        program, win = self.start_with_window()
        self.type_into(win, hall.FORUM_BOX, self.hall.address)
        visited = time.monotonic()
        self.click(win, hall.VISIT_BUTTON)
        self.wait_requests("/", 1, timeout=10)
        # Two periods and more: a tick would have reloaded the page by now.
        self.wait_until(visited + 2 * PERIOD + hall.GRID_SLACK)
        self.assertEqual([p for _, p in self.hall.requests()], ["/"],
                         "only the visit reaches the hall while nobody has claimed")
        self.key(win, "Escape")
        self.assert_exits_zero(program, "Esc")

    def test_a_claim_page_that_alerts_does_not_hold_up_the_claims(self):
        # The engine shows the page's alert in the pane; a page waiting on its
        # alert takes no load, so the next tick answers it as Close would.
        self.hall.set_mode("alert")
        program, win = self.start_with_window()
        clicked = self.claim(win, self.hall.address, "42")
        claims = self.wait_requests(CLAIM_PATH + "42", 3, timeout=10)
        self.assert_on_grid(claims[1:], clicked, 1, "a page that alerts")
        # The user may answer an alert before the tick does. The engine greys
        # the page behind its alert; the page shows white again once it goes.
        self.wait_until(claims[2] + 0.3)
        self.wait_pixel(win, PANE_ABOVE_ALERT, GREYED, "an alert is open", timeout=1.0)
        self.click(win, ALERT_CLOSE_BUTTON)
        answered = time.monotonic()
        self.wait_pixel(win, PANE_ABOVE_ALERT, WHITE, "the alert was closed", timeout=1.0)
        later = self.wait_requests(CLAIM_PATH + "42", 2, timeout=10, since=answered)
        self.assert_on_grid(later, clicked, round((later[0] - clicked) / PERIOD),
                            "after the user closed an alert")
        self.key(win, "Escape")
        self.assert_exits_zero(program, "Esc with an alert open")

    def wait_stored_cookie(self, name, timeout):
        store = os.path.join(os.environ["XDG_DATA_HOME"], "tarvello", "cookies.sqlite")

        def stored():
            try:
                with sqlite3.connect(f"file:{store}?mode=ro", uri=True) as db:
                    return db.execute("SELECT 1 FROM moz_cookies WHERE name = ?",
                                      (name,)).fetchone() is not None
            except sqlite3.Error:
                return False  # not written yet

        if not gui.poll_until(stored, timeout):
            self.fail(f"the cookie {name} never reached the engine's store {store}")

    def test_a_login_cookie_from_one_run_is_sent_in_the_next(self):
        for run_no, path in enumerate(["/login", "/?second-run"]):
            program, win = self.start_with_window()
            self.type_into(win, hall.FORUM_BOX, self.hall.address + path)
            self.click(win, hall.VISIT_BUTTON)
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
    hall.main()
