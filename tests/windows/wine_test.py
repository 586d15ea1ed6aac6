#!/usr/bin/python3
"""The real tarvello.exe under Wine, driven from outside through the X server
as the Linux GUI tests drive the Linux program, against the local task hall:
the main window's place and size, its controls' texts and stacking, the
claim rhythm (a second claim, and the program stopped across a tick), the
missing-address window while claiming, an open window waiting without using
the processor, Esc, and the fatal-error box when the system's web browser control cannot
be had.

Debian's Wine has no HTML engine: the control sends its GET to the hall and
then reports the navigation failed, with nothing to render. The ticks reach
the hall because a reload after a failed navigation navigates again.

Run inside scripts/with_display, with WINEPREFIX naming the test prefix
(tests/windows/wine_prefix.sh), the program and the probe first:
    wine_test.py tarvello.exe probe.exe [unittest options]
"""

import os
import shutil
import signal
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "gui"))
import hall_helpers as hall  # noqa: E402
import outside_test as gui  # noqa: E402
import wine_helpers as wine  # noqa: E402
from hall_helpers import CLAIM_PATH, PERIOD  # noqa: E402

EXE = None
MISSING_ADDRESS = (233, 138)
INSTRUCTIONS = (380, 307)
# As the probe prints it: line breaks written out.
FATAL_TEXT = r"运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n"
EXIT_FAILED = 255  # Wine's exit status for ExitProcess(-1)


class wine_case(hall.hall_case):
    def setUp(self):
        super().setUp()
        self.offsets = {}

    def start(self, args=(), cwd=None):
        return super().start((EXE, *args), cwd)

    def wait_window(self, instance):
        """The mapped main window of this copy. Wine draws the frame itself
        (Decorated=N in the test prefix), so the X window is the whole
        Win32 window, and there may be no manager to give it a frame."""
        def found():
            if not instance.alive():
                return None
            for win in self.caption_windows():
                client = gui.client_geometry(win)
                if (gui.prop_cardinals(win, "_NET_WM_PID") == [instance.pid]
                        and client and client[1] == "IsViewable"):
                    return win
            return None

        win = gui.poll_until(found, gui.WINDOW_TIMEOUT)
        if not win:
            self.fail(f"no main window within {gui.WINDOW_TIMEOUT} s; exit status "
                      f"{instance.proc.poll()}; stderr:\n"
                      f"{instance.output('stderr').decode(errors='replace')}")
        instance.window = win
        return win

    def click(self, win, point):
        """Client-area points, as in the Linux tests: here the X window holds
        the frame too, so the client area's offset comes from inside Wine."""
        if win not in self.offsets:
            (x, y, _, _), _ = gui.client_geometry(win)
            self.offsets[win] = wine.client_offset((x, y), gui.CAPTION)
            self.assertIsNotNone(self.offsets[win], "the probe found no main window")
        dx, dy = self.offsets[win]
        super().click(win, (point[0] + dx, point[1] + dy))

    def wait_sized(self, instance, size, what):
        """A viewable window of the program with exactly this outer size."""
        def found():
            for win in gui.run("xdotool", "search", "--pid", str(instance.pid),
                               check=False).split():
                client = gui.client_geometry(win)
                if client and client[1] == "IsViewable" and client[0][2:] == size:
                    return win
            return None

        win = gui.poll_until(found, 10)
        if not win:
            self.fail(f"{what}: no {size[0]}x{size[1]} window opened")
        return win

    def wait_foreground(self, size, what):
        if not gui.poll_until(lambda: (wine.foreground() or ())[:2] == size, gui.FOCUS_TIMEOUT):
            self.fail(f"{what}: the active window is {wine.foreground()}, not of size {size}")

    def assert_place(self, win, place, what):
        seen = gui.poll_until(lambda: gui.client_geometry(win)[0] == place and place,
                              gui.SETTLE_TIMEOUT)
        self.assertEqual(seen, place, f"{what}: geometry {gui.client_geometry(win)}")


class geometry_case(wine_case):
    def test_the_main_window_is_centred_at_its_outer_size(self):
        program = self.start()
        win = self.wait_window(program)
        x, y = gui.expected_outer_origin(self.screen_w, self.screen_h)
        self.assert_place(win, (x, y, gui.OUTER_WIDTH, gui.OUTER_HEIGHT),
                          f"the main window on a {self.screen_w}x{self.screen_h} screen")
        self.assertNotIn("_NET_WM_STATE_SKIP_TASKBAR", gui.prop_atoms(win, "_NET_WM_STATE"),
                         "the main window has a taskbar entry")
        shot = os.environ.get("TARVELLO_SCREENSHOT")
        if shot and x >= 0 and y >= 0:
            gui.settled_screenshot(f"{gui.OUTER_WIDTH}x{gui.OUTER_HEIGHT}+{x}+{y}", shot)
            gui.png_size(shot)  # raises ValueError on a broken picture

    def test_controls_hold_their_texts_from_top_to_bottom(self):
        # Read through Win32 as accessibility tools read them: the labels
        # keep their text as the window text, in UTF-16 whatever the code page.
        program = self.start()
        self.wait_window(program)
        children = wine.probe("children", gui.CAPTION)
        self.assertIsNotNone(children, "the probe found no main window")
        want = ["Button|说明", "TarvelloPane|", "Edit|", "TarvelloLabel|任务ID号", "Edit|",
                "TarvelloLabel|论坛网址", "Button|开始刷分", "Button|访问"]
        self.assertEqual(children.splitlines(), want, "child windows, top of the stack first")


class claim_case(wine_case):
    def test_claims_keep_the_grid_of_the_first_click_through_a_second_claim_and_a_stop(self):
        program, win = self.start_with_window()
        path = CLAIM_PATH + "42"
        clicked = self.claim(win, self.hall.address, "42")
        first = self.wait_requests(path, 1, timeout=5)
        self.assertLess(first[0] - clicked, hall.AT_ONCE, "the first claim request came late")

        # A second claim asks at once and leaves the rhythm of the first.
        self.wait_until(clicked + 1.5)
        again = time.monotonic()
        self.click(win, hall.CLAIM_BUTTON)
        claims = self.wait_requests(path, 4, timeout=10)
        self.assertLess(claims[1] - again, 0.45, "the second click asked for the address late")
        self.assert_on_grid(claims[2:], clicked, 1, "after a second claim")

        # Stopped across ticks 3 and 4: one tick when it runs again, then
        # the grid of the first click.
        self.wait_until(clicked + 2 * PERIOD + 0.5)
        os.kill(program.pid, signal.SIGSTOP)
        stopped = time.monotonic()
        self.wait_until(clicked + 4 * PERIOD + 0.7)
        os.kill(program.pid, signal.SIGCONT)
        resumed = time.monotonic()
        after = self.wait_requests(path, 3, timeout=10, since=stopped)
        print("ticks after the stop, from the click: "
              + ", ".join(f"{t - clicked:.3f}" for t in after), file=sys.stderr)
        self.assertLess(after[0] - resumed, 0.5, "no tick came once the program ran again")
        self.assert_on_grid(after[1:], clicked, 5, "after the missed ticks")

        self.key(win, "Escape")
        self.assert_exits_zero(program, "Esc while claiming")
        self.assert_nothing_after_close(time.monotonic())


class modal_case(wine_case):
    def test_the_missing_address_window_opens_centred_and_the_claims_go_on(self):
        program, win = self.start_with_window()
        path = CLAIM_PATH + "9"
        clicked = self.claim(win, self.hall.address, "9")
        self.wait_requests(path, 1, timeout=5)
        self.click(win, hall.FORUM_BOX)
        gui.run("xdotool", "key", "End", "shift+Home", "Delete")
        self.click(win, hall.VISIT_BUTTON)
        dialog = self.wait_sized(program, MISSING_ADDRESS, "a visit with no address")
        opened = time.monotonic()
        width, height = MISSING_ADDRESS
        self.assert_place(dialog, (int((self.screen_w - width) / 2),
                                   int((self.screen_h - height) / 2), width, height),
                          "the missing-address window")
        self.wait_foreground(MISSING_ADDRESS, "the missing-address window just opened")
        # Owned by the hidden window: no taskbar entry of its own.
        self.assertIn("_NET_WM_STATE_SKIP_TASKBAR", gui.prop_atoms(dialog, "_NET_WM_STATE"))

        # The main window is held: a claim click between two ticks does
        # nothing, while the ticks go on.
        n = int((time.monotonic() - clicked) / PERIOD) + 1
        self.wait_until(clicked + PERIOD * n + 1.0)
        self.click(win, hall.CLAIM_BUTTON)
        ticks = self.wait_requests(path, 2, timeout=10, since=opened)
        self.assert_on_grid(ticks, clicked, round((ticks[0] - clicked) / PERIOD),
                            "while the missing-address window is open")

        gui.run("xdotool", "key", "Escape")
        self.wait_gone(dialog, "Esc")
        self.wait_foreground((gui.OUTER_WIDTH, gui.OUTER_HEIGHT),
                             "after Esc closed the missing-address window")
        closed = time.monotonic()
        resumed = self.wait_requests(path, 1, timeout=5, since=closed)
        self.assert_on_grid(resumed, clicked, round((resumed[0] - clicked) / PERIOD),
                            "after the window closed")
        self.key(win, "Escape")
        self.assert_exits_zero(program, "Esc")


    def test_an_open_window_waits_without_using_the_processor(self):
        # Nothing is claimed, so no tick comes: a nested loop that polled
        # would use the processor all the same.
        program, win = self.start_with_window()
        self.click(win, hall.INSTRUCTIONS_BUTTON)
        dialog = self.wait_sized(program, INSTRUCTIONS, "the instructions button")
        self.wait_foreground(INSTRUCTIONS, "the instructions window just opened")
        self.assert_waits_idle(program.pid)
        gui.run("xdotool", "key", "Escape")
        self.wait_gone(dialog, "Esc")
        self.key(win, "Escape")
        self.assert_exits_zero(program, "Esc")


class fault_case(wine_case):
    def test_without_the_browser_control_the_error_box_shows_and_ok_ends_with_255(self):
        os.environ["WINEDLLOVERRIDES"] = "ieframe="  # its creation then fails
        try:
            program = self.start()
        finally:
            del os.environ["WINEDLLOVERRIDES"]
        self.assertEqual(wine.probe("text", "错误"), FATAL_TEXT, "the text of the error box")
        self.assertEqual(self.caption_windows(), [], "a main window was shown")
        boxes = [w for w in gui.run("xdotool", "search", "--pid", str(program.pid)).split()
                 if hall.window_name(w) == "错误"
                 and gui.client_geometry(w)[1] == "IsViewable"]
        self.assertEqual(len(boxes), 1, "one error box")
        self.assertTrue(program.alive(), "the program ended before OK")
        self.key(boxes[0], "Return")  # OK has the focus
        code = program.wait_exit(timeout=10)
        self.assertEqual(code, EXIT_FAILED, "exit status after OK")


def main():
    global EXE
    if len(sys.argv) < 3:
        sys.exit(f"usage: {sys.argv[0]} tarvello.exe probe.exe [unittest options]")
    EXE = os.path.abspath(sys.argv.pop(1))
    wine.PROBE = os.path.abspath(sys.argv.pop(1))
    gui.PROGRAM = shutil.which("wine")
    wine.restart_server()
    unittest.main(module="__main__", verbosity=2)


if __name__ == "__main__":
    main()
