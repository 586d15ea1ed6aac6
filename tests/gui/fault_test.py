#!/usr/bin/python3
"""Claiming when things go wrong: a hall slower than the period, a hall that
fails, answers nothing or is down and comes back, and a web content process that
dies. In each the claims must go on every 2 s on the grid of the click.

Run inside scripts/with_display with the program's path first:
    scripts/with_display -- tests/gui/fault_test.py build/x/tarvello
"""

import os
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import hall_helpers as hall  # noqa: E402
from hall_helpers import CLAIM_PATH, PERIOD  # noqa: E402


class fault_case(hall.hall_case):
    path = CLAIM_PATH + "5"
    merge = 0.5  # a dropped connection may be asked again at once

    def test_a_hall_slower_than_the_period_still_gets_every_claim(self):
        self.hall.set_mode("slow")  # every claim is answered after 3 s
        program, win = self.start_with_window()
        clicked = self.claim(win, self.hall.address, "5")
        claims = self.wait_requests(self.path, 4, timeout=15)
        self.assertLess(claims[0] - clicked, hall.AT_ONCE, "the first claim request came late")
        self.assert_on_grid(claims[1:], clicked, 1, "a slow hall")
        self.key(win, "Escape")
        self.assert_exits_zero(program, "Esc while a load is under way")

    def test_claims_go_on_while_the_hall_is_down_and_resume_when_it_is_back(self):
        program, win = self.start_with_window()
        clicked = self.claim(win, self.hall.address, "5")
        self.wait_requests(self.path, 2, timeout=10)

        # A hall that fails with status 500, then one that takes the request
        # and answers nothing: the engine shows its error page, and each tick
        # asks for the claim address again.
        for mode in ("error", "silent"):
            self.hall.set_mode(mode)
            since = time.monotonic()
            failed = self.wait_requests(self.path, 2, timeout=10, since=since)
            self.assert_on_grid(failed, clicked, round((failed[0] - clicked) / PERIOD),
                                f"a hall in {mode} mode")

        # A hall that is not there at all: connections are refused.
        self.hall.go_down()
        self.wait_until(time.monotonic() + 2 * PERIOD)
        self.assertTrue(program.alive(), "the program ended while the hall was down")
        self.hall.set_mode("normal")
        self.hall.come_back()
        self.assert_claims_resume(self.path, time.monotonic(), clicked, "after the hall came back")
        self.key(win, "Escape")
        self.assert_exits_zero(program, "Esc")

    def test_a_killed_web_process_is_replaced_and_the_claims_resume(self):
        # Once a claim page has come, the engine could reload that page by
        # itself; before the first answer (a slow hall) there is no page to
        # reload, only the address being loaded.
        for mode, settled in (("normal", 2), ("slow", 1)):
            with self.subTest(hall=mode):
                self.hall.set_mode(mode)
                program, win = self.start_with_window()
                clicked = self.claim(win, self.hall.address, "5")
                self.wait_requests(self.path, settled, timeout=10, since=clicked)
                before = hall.web_processes_of(program.pid)
                self.assertEqual(len(before), 1, f"web content processes of the program: {before}")
                os.kill(before[0], signal.SIGKILL)
                self.assert_claims_resume(self.path, time.monotonic(), clicked,
                                          "after the web process died")
                after = hall.web_processes_of(program.pid)
                self.assertEqual(len(after), 1, f"web content processes of the program: {after}")
                self.assertNotEqual(after, before, "the dead web process is still listed")
                self.assertTrue(program.alive(), "the program ended with its web process")
                self.key(win, "Escape")
                self.assert_exits_zero(program, "Esc")


if __name__ == "__main__":
    hall.main()
