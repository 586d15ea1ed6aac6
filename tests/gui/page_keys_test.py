#!/usr/bin/python3
"""Keys inside a page in the browser pane, with real keys against the local
task hall's sign-in form: Tab and Shift+Tab move through the page's own
fields, and past the last one (or before the first) the focus goes on to the
window's next (or previous) control, once. Where the focus is, is read from
where typed text lands.

Run inside scripts/with_display with the program's path first:
    scripts/with_display -- tests/gui/page_keys_test.py build/x/tarvello
"""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import hall_helpers as hall  # noqa: E402
import outside_test as gui  # noqa: E402
from hall_helpers import CLAIM_PATH  # noqa: E402

FORM_BACKGROUND = (0xc8, 0xe6, 0xff)


class page_keys_case(hall.hall_case):
    def keys(self, *keys):
        for k in keys:
            gui.run("xdotool", "key", "--delay", "50", k)

    def show_form(self, win, since):
        self.wait_requests("/form", 1, timeout=5, since=since)
        self.wait_pixel(win, hall.PANE, FORM_BACKGROUND, "the form page")

    def test_tab_runs_through_the_page_and_on_through_the_window(self):
        program, win = self.start_with_window()
        forum = self.hall.address + "/form"
        self.type_into(win, hall.FORUM_BOX, forum)
        visited = time.monotonic()
        self.click(win, hall.VISIT_BUTTON)  # the focus is on "访问" now
        self.show_form(win, visited)

        # 访问 → 开始刷分 → both boxes → the pane, then the page's two fields.
        self.keys("Tab", "Tab", "Tab", "Tab", "Tab")
        gui.run("xdotool", "type", "--delay", "20", "alice")
        self.keys("Tab")
        gui.run("xdotool", "type", "--delay", "20", "secret")
        sent = time.monotonic()
        self.keys("Return")
        self.wait_requests("/form?user=alice&pass=secret", 1, timeout=5, since=sent)
        self.wait_pixel(win, hall.PANE, FORM_BACKGROUND, "the form page sent back")

        # Both fields and the button, then out of the page: to "说明", the
        # next control of the window, and not one further.
        self.keys("Tab", "Tab", "Tab", "Tab", "space")
        dialog = self.wait_secondary(program, "说明")
        self.key(dialog, "Escape")
        self.wait_gone(dialog, "Esc")
        self.wait_active(win, "after the instructions window closed")

        # Back from "说明": the pane, the page's button and two fields, then
        # out of the page backwards, to the task id box.
        self.keys("shift+Tab", "shift+Tab", "shift+Tab", "shift+Tab", "shift+Tab")
        gui.run("xdotool", "type", "--delay", "20", "42")
        claimed = time.monotonic()
        self.click(win, hall.CLAIM_BUTTON)
        self.wait_requests("/form" + CLAIM_PATH + "42", 1, timeout=5, since=claimed)
        self.assertEqual([p for _, p in self.hall.requests(since=sent)
                          if "user=" in p], ["/form?user=alice&pass=secret"],
                         "the form was sent again: the keys stayed in the page")
        self.key(win, "Escape")
        self.assert_exits_zero(program, "Esc")


if __name__ == "__main__":
    hall.main()
