#!/usr/bin/python3
"""The instructions window and the missing-address window, opened from the
real main window while it claims from the local task hall: where they open,
that the main window takes nothing meanwhile while its ticks go on, and how
they close.

Run inside scripts/with_display with the program's path first:
    scripts/with_display -- tests/gui/modal_test.py build/x/tarvello
"""

import os
import re
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import hall_helpers as hall  # noqa: E402
import outside_test as gui  # noqa: E402
from hall_helpers import CLAIM_PATH  # noqa: E402

INSTRUCTIONS = ("说明", 380, 307)
MISSING_ADDRESS = ("", 233, 138)


class modal_case(hall.hall_case):
    def open_secondary(self, program, win, button, which):
        caption, width, height = which
        self.click(win, button)
        dialog = self.wait_secondary(program, caption)
        self.assert_centred(dialog, which)
        self.assertIn("_NET_WM_STATE_SKIP_TASKBAR", gui.prop_atoms(dialog, "_NET_WM_STATE"))
        # Moved and closed, never resized, minimised or maximised.
        actions = gui.prop_atoms(dialog, "_NET_WM_ALLOWED_ACTIONS")
        for present in ("_NET_WM_ACTION_MOVE", "_NET_WM_ACTION_CLOSE"):
            self.assertIn(present, actions)
        for absent in ("_NET_WM_ACTION_RESIZE", "_NET_WM_ACTION_MAXIMIZE_HORZ",
                       "_NET_WM_ACTION_MAXIMIZE_VERT"):
            self.assertNotIn(absent, actions)
        # The manager offers to minimise it all the same; it comes back, or
        # the user would face a disabled main window and nothing to restore.
        gui.run("xdotool", "windowminimize", dialog)
        self.wait_viewable(dialog, "minimised")
        # Owned by the hidden window, never by the main one: transient for
        # the group that the hidden window leads, the main window a member.
        owner = re.search(r"window id # (0x[0-9a-f]+)", gui.xprop(dialog, "WM_TRANSIENT_FOR"))
        self.assertTrue(owner, "the window has no owner")
        self.assertEqual(int(owner.group(1), 16), root_window(), "not transient for its group")
        leader = group_leader(dialog)
        self.assertNotIn(leader, (None, int(win), int(dialog)), "the group's leader")
        self.assertEqual(group_leader(win), leader, "the main window is not of the group")
        self.assertIn("_NET_WM_STATE_MODAL", gui.prop_atoms(dialog, "_NET_WM_STATE"))
        self.wait_active(dialog, f"the window captioned {caption!r} just opened")
        return dialog

    def centred(self, which):
        _, width, height = which
        return (int((self.screen_w - width) / 2), int((self.screen_h - height) / 2), width, height)

    def assert_centred(self, dialog, which):
        want = self.centred(which)
        gui.poll_until(lambda: gui.outer_geometry(dialog) == want, gui.SETTLE_TIMEOUT)
        self.assertEqual(gui.outer_geometry(dialog), want,
                         f"outer geometry of the window captioned {which[0]!r}")

    def wait_viewable(self, win, what):
        seen = []

        def back():
            client = gui.client_geometry(win)
            state = gui.prop_atoms(win, "_NET_WM_STATE")
            seen.append((client and client[1], state))
            shown = client and client[1] == "IsViewable" and "_NET_WM_STATE_HIDDEN" not in state
            return shown and len(seen) > 1  # it was gone for a moment, and is back

        if not gui.poll_until(back, gui.SETTLE_TIMEOUT):
            self.fail(f"{what}: window {win} did not come back; map states {seen[-3:]}")

    def assert_in_front(self, dialog, win, what):
        """The open window is the active one and stacked above the main one."""
        def in_front():
            order = stacking()
            return (gui.active_window() == dialog and int(dialog) in order and int(win) in order
                    and order.index(int(dialog)) > order.index(int(win)))

        if not gui.poll_until(in_front, gui.SETTLE_TIMEOUT):
            self.fail(f"{what}: {gui.active_window()!r} is active, not {dialog}; stacking "
                      f"bottom to top {[hex(w) for w in stacking()]}, main window {win}")

    def try_the_main_window(self, program, win, dialog):
        """Clicks and keys that would each do something to an enabled main
        window: claim, visit, instructions, a click on its client area and
        on its title bar, the manager's activation, Space on the focused
        button, Esc and the manager's two ways of closing it. The open
        window stays in front and active through all of them."""
        for button in (hall.CLAIM_BUTTON, hall.VISIT_BUTTON, hall.INSTRUCTIONS_BUTTON, hall.PANE):
            self.click(win, button)
            self.assert_in_front(dialog, win, f"a click at {button} on the main window")
        left, top, width, _ = gui.outer_geometry(win)
        (_, client_top, _, _), _ = gui.client_geometry(win)
        gui.run("xdotool", "mousemove", str(left + width // 3), str((top + client_top) // 2),
                "click", "1")
        self.assert_in_front(dialog, win, "a click on the main window's title bar")
        gui.run("xdotool", "windowactivate", win, check=False)
        self.assert_in_front(dialog, win, "the manager asked to activate the main window")
        # The keyboard focus given to the main window behind the manager's back.
        gui.run("xdotool", "windowfocus", win, check=False)
        self.assert_in_front(dialog, win, "the focus given to the main window")
        for keys in ("space", "Return", "Escape", "alt+F4"):
            gui.run("xdotool", "key", "--window", win, keys)
        gui.send_net_close_window(win)
        program.window = win
        self.assert_stays_open(program, "input to the main window while a window is open")
        self.assert_in_front(dialog, win, "keys sent to the main window")

    def assert_only_grid_claims(self, since, clicked, path, what):
        seen = self.hall.requests(since=since)
        self.assertEqual({p for _, p in seen}, {path} if seen else set(),
                         f"{what}: something other than the ticks reached the hall")
        times = hall.ticks([t for t, _ in seen], self.merge)
        if times:
            first_n = round((times[0] - clicked) / hall.PERIOD)
            self.assert_on_grid(times, clicked, first_n, what)

    def test_the_instructions_window_holds_the_main_window_while_its_ticks_go_on(self):
        program, win = self.start_with_window()
        path = CLAIM_PATH + "9"
        clicked = self.claim(win, self.hall.address, "9")
        self.wait_requests(path, 1, timeout=5)
        dialog = self.open_secondary(program, win, hall.INSTRUCTIONS_BUTTON, INSTRUCTIONS)
        opened = time.monotonic()
        self.try_the_main_window(program, win, dialog)
        self.assertEqual(len(self.windows_of(program, "说明")), 1, "a second window opened")
        claims = self.wait_requests(path, 2, timeout=10, since=opened)
        self.assertTrue(gui.window_exists(dialog), "the window closed by itself")
        self.assert_only_grid_claims(opened, clicked, path, "while the window is open")
        self.assertGreaterEqual(len(claims), 2)

        for keys in ("shift+Escape", "ctrl+Escape", "Return", "Tab"):
            self.key(dialog, keys)
        self.assert_stays_open(program, "modified Esc, Enter and Tab")
        self.assertEqual(gui.client_geometry(dialog)[1], "IsViewable",
                         "modified Esc, Enter or Tab closed the window")
        # Dragged aside, then closed: the next one opens in the middle again.
        gui.run("xdotool", "windowmove", dialog, "10", "10")
        moved = gui.poll_until(lambda: gui.outer_geometry(dialog) != self.centred(INSTRUCTIONS),
                               gui.SETTLE_TIMEOUT)
        self.assertTrue(moved, "the window cannot be moved")
        # A click on the main window leaves the focus where it was: Esc,
        # sent to whatever window is active, closes the open one.
        self.click(win, hall.PANE)
        self.assert_in_front(dialog, win, "a click on the main window")
        gui.run("xdotool", "key", "Escape")
        self.wait_gone(dialog, "Esc")
        self.wait_active(win, "after Esc closed the instructions window")

        # The focus is back on "说明": Space presses it.
        gui.run("xdotool", "key", "space")
        again = self.wait_secondary(program, "说明")
        self.assertNotEqual(again, dialog, "the closed window was shown again")
        self.assert_centred(again, INSTRUCTIONS)
        gui.send_net_close_window(again)  # as the close box does
        self.wait_gone(again, "the close box")
        self.wait_active(win, "after the close box")
        visited = time.monotonic()
        self.click(win, hall.VISIT_BUTTON)
        self.wait_requests("/", 1, timeout=5, since=visited)
        self.key(win, "Escape")
        self.assert_exits_zero(program, "Esc once the main window is enabled again")

    def test_the_missing_address_window_leaves_the_pane_and_its_rhythm(self):
        program, win = self.start_with_window()
        path = CLAIM_PATH + "9"
        clicked = self.claim(win, self.hall.address, "9")
        self.wait_requests(path, 1, timeout=5)
        self.click(win, hall.FORUM_BOX)
        gui.run("xdotool", "key", "ctrl+a", "BackSpace")
        dialog = self.open_secondary(program, win, hall.VISIT_BUTTON, MISSING_ADDRESS)
        opened = time.monotonic()
        self.try_the_main_window(program, win, dialog)
        self.wait_requests(path, 2, timeout=10, since=opened)
        self.assertTrue(gui.window_exists(dialog), "the window closed by itself")
        self.assert_only_grid_claims(opened, clicked, path, "while the window is open")
        self.key(dialog, "alt+F4")
        self.wait_gone(dialog, "Alt+F4")
        self.wait_active(win, "after Alt+F4 closed the missing-address window")

        # The pane still shows the claim page, and the ticks reload it.
        closed = time.monotonic()
        self.wait_requests(path, 1, timeout=5, since=closed)
        self.assert_only_grid_claims(opened, clicked, path, "after the window closed")

        # Blanks are an address: no window, and the pane goes there.
        self.type_into(win, hall.FORUM_BOX, "   ")
        visited = time.monotonic()
        self.click(win, hall.VISIT_BUTTON)
        self.wait_until(visited + hall.PERIOD + hall.GRID_SLACK)
        self.assertEqual(self.windows_of(program, ""), [], "blanks opened the missing-address window")
        self.assertEqual(self.hall.requests(since=visited + 0.5), [],
                         "the ticks still reload the claim page after a visit to blanks")
        self.key(win, "Escape")
        self.assert_exits_zero(program, "Esc")


def root_window():
    return int(re.search(r"Window id: (0x[0-9a-f]+)", gui.run("xwininfo", "-root")).group(1), 16)


def group_leader(win):
    found = re.search(r"group leader: (0x[0-9a-f]+)", gui.xprop(win, "WM_HINTS"))
    return int(found.group(1), 16) if found else None


def stacking():
    """The managed windows, bottom to top."""
    out = gui.run("xprop", "-root", "_NET_CLIENT_LIST_STACKING")
    return [int(w, 16) for w in re.findall(r"0x[0-9a-f]+", out)]


class idle_case(hall.hall_case):
    def test_an_open_window_waits_without_using_the_processor(self):
        # Nothing is claimed, so no tick comes: a loop that waited by
        # polling would use the processor all the same.
        program, win = self.start_with_window()
        self.click(win, hall.INSTRUCTIONS_BUTTON)
        dialog = self.wait_secondary(program, "说明")
        self.wait_active(dialog, "the instructions window just opened")
        self.assert_waits_idle(program.pid)
        self.key(dialog, "Escape")
        self.wait_gone(dialog, "Esc")
        self.key(win, "Escape")
        self.assert_exits_zero(program, "Esc")


if __name__ == "__main__":
    hall.main()
