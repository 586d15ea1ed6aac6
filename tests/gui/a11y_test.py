#!/usr/bin/python3
"""What a screen reader or any other accessibility tool reads from the real
program through AT-SPI: the labels as labels with their whole texts, each
edit box labelled by the label in front of it (both ways), the buttons by
their texts, the browser pane by its own name, and the texts of the
instructions window and the missing-address window.

Run inside scripts/with_display (its D-Bus session starts the accessibility
bus on demand) with the program's path first:
    scripts/with_display -- tests/gui/a11y_test.py build/x/tarvello
Needs python3-pyatspi.
"""

import os
import sys

import pyatspi
from gi.repository import Atspi

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import hall_helpers as hall  # noqa: E402
import outside_test as gui  # noqa: E402

# The instructions text byte for byte: ten lines of text with an empty line
# between each two, "\r\n" line breaks, none at the end.
INSTRUCTIONS_TEXT = (
    "本软件为Lumora编写可能会被报病毒\r\n\r\n如果介意请绕行\r\n\r\n使用说明\r\n\r\n"
    "使用时只要输入论坛网址就可以\r\n\r\n任务ID号可以到任务大厅去查看\r\n\r\n"
    "不要接受任务只要ID号\r\n\r\n输入完成后点击开始刷分软件就开始工作\r\n\r\n"
    "不刷了就关了行了\r\n\r\n不保证每个论坛都可以刷分\r\n\r\n出现事故不负责任")
MISSING_ADDRESS_TEXT = "没有网址你刷个毛分"
PANE_NAME = "浏览器"
PANE_PLACE = (8, 64, 816, 512)  # in the main window's client area
A11Y_TIMEOUT = 10.0


# --------------------------------------------------------------------------
# Reading the accessible tree.

def application(pid):
    """The program's accessible application, or None before it registers."""
    desktop = pyatspi.Registry.getDesktop(0)
    desktop.clear_cache()
    for app in desktop:
        if app is not None and app.get_process_id() == pid:
            app.clear_cache()  # windows come and go: ask the program again
            return app
    return None


def descendants(obj):
    for child in obj:
        if child is None:
            continue
        yield child
        yield from descendants(child)


def with_role(root, role):
    return [o for o in descendants(root) if o.getRole() == role]


# Text and places are read through Atspi itself: pyatspi's query
# functions go through getters that Atspi has deprecated.
def text_of(obj):
    """The whole text an object offers through its text interface."""
    return Atspi.Text.get_text(obj, 0, -1)


def related(obj, relation):
    """The objects that one relation of obj points to."""
    targets = []
    for r in obj.getRelationSet():
        if r.getRelationType() == relation:
            targets += [r.getTarget(i) for i in range(r.getNTargets())]
    return targets


def local_extents(obj):
    box = Atspi.Component.get_extents(obj, Atspi.CoordType.WINDOW)
    return (box.x, box.y, box.width, box.height)


class a11y_case(hall.hall_case):
    def wait_toplevel(self, program, name, holding):
        """The program's top-level accessible named `name` that holds a
        descendant of role `holding`."""
        def found():
            app = application(program.pid)
            if app is None:
                return None
            for top in app:
                if top is not None and top.name == name and with_role(top, holding):
                    return top
            return None

        top = gui.poll_until(found, A11Y_TIMEOUT, interval=0.2)
        if not top:
            app = application(program.pid)
            seen = [(t.getRoleName(), t.name) for t in app] if app else "no application"
            self.fail(f"no accessible window named {name!r} with a {holding} in it "
                      f"within {A11Y_TIMEOUT} s; the program shows {seen}")
        return top

    def only_label(self, top, what):
        labels = with_role(top, pyatspi.ROLE_LABEL)
        self.assertEqual(len(labels), 1, f"{what}: labels {[l.name for l in labels]}")
        return labels[0]

    def assert_paragraphs(self, label, whole):
        """A reader going paragraph by paragraph gets each line with its
        line break; an empty line is a paragraph too."""
        self.assertEqual(Atspi.Text.get_character_count(label), len(whole))
        lines = [line + "\r\n" for line in whole.split("\r\n")]
        lines[-1] = lines[-1][:-2]  # no line break at the end
        offset = 0
        for line in lines:
            got = Atspi.Text.get_string_at_offset(label, offset,
                                                  Atspi.TextGranularity.PARAGRAPH)
            self.assertEqual((got.content, got.start_offset, got.end_offset),
                             (line, offset, offset + len(line)),
                             f"paragraph at {offset}")
            offset += len(line)

    def test_the_main_window_reads_as_it_shows(self):
        program, win = self.start_with_window()
        top = self.wait_toplevel(program, gui.CAPTION, pyatspi.ROLE_LABEL)
        # Typed through the real window, once it is up to the last control:
        # the box the user types the forum into must be the one its label
        # names.
        self.type_into(win, hall.FORUM_BOX, self.hall.address)
        self.type_into(win, hall.TASK_BOX, "42")

        labels = with_role(top, pyatspi.ROLE_LABEL)
        self.assertEqual(sorted(l.name for l in labels), sorted(["论坛网址", "任务ID号"]),
                         "the labels of the main window by their accessible names")
        for label in labels:
            self.assertEqual(text_of(label), label.name, "a label's text")

        buttons = with_role(top, pyatspi.ROLE_PUSH_BUTTON)
        self.assertEqual(sorted(b.name for b in buttons), sorted(["访问", "开始刷分", "说明"]))

        boxes = with_role(top, pyatspi.ROLE_TEXT)
        self.assertEqual(len(boxes), 2, "edit boxes")
        typed = sorted([self.hall.address, "42"])
        if not gui.poll_until(lambda: sorted(text_of(b) for b in boxes) == typed,
                              gui.SETTLE_TIMEOUT):
            self.fail(f"the boxes read {[text_of(b) for b in boxes]}, not {typed}")
        labelled = {}
        for box in boxes:
            by = related(box, pyatspi.RELATION_LABELLED_BY)
            self.assertEqual(len(by), 1, f"box holding {text_of(box)!r} labelled by "
                             f"{[o.name for o in by]}")
            label = by[0]
            self.assertEqual(label.getRole(), pyatspi.ROLE_LABEL)
            self.assertEqual(related(label, pyatspi.RELATION_LABEL_FOR), [box],
                             f"{label.name!r} is not the label for the box it labels")
            self.assertEqual(box.name, label.name, "a box is named by its label")
            labelled[text_of(box)] = label.name
        self.assertEqual(labelled, {self.hall.address: "论坛网址", "42": "任务ID号"})

        panes = [o for o in descendants(top) if o.name == PANE_NAME]
        self.assertEqual(len(panes), 1, f"objects named {PANE_NAME!r}")
        self.assertEqual(local_extents(panes[0]), PANE_PLACE,
                         f"{PANE_NAME!r} is not where the browser pane is")
        # With a page in it the pane keeps its name and holds the page.
        self.click(win, hall.VISIT_BUTTON)
        self.wait_requests("/", 1, timeout=5)

        def page_in_pane():
            top = self.wait_toplevel(program, gui.CAPTION, pyatspi.ROLE_LABEL)
            panes = [o for o in descendants(top) if o.name == PANE_NAME]
            return len(panes) == 1 and with_role(panes[0], pyatspi.ROLE_DOCUMENT_WEB)

        self.assertTrue(gui.poll_until(page_in_pane, A11Y_TIMEOUT, interval=0.2),
                        f"no page inside the pane named {PANE_NAME!r} after a visit")

        self.key(win, "Escape")
        self.assert_exits_zero(program, "Esc")

    def test_the_secondary_windows_read_their_texts_whole(self):
        program, win = self.start_with_window()
        cases = (
            ("说明", hall.INSTRUCTIONS_BUTTON, INSTRUCTIONS_TEXT),
            # Visit with the forum address still empty.
            ("", hall.VISIT_BUTTON, MISSING_ADDRESS_TEXT),
        )
        for caption, button, text in cases:
            with self.subTest(caption=caption):
                self.click(win, button)
                dialog = self.wait_secondary(program, caption)
                try:
                    top = self.wait_toplevel(program, caption, pyatspi.ROLE_LABEL)
                    label = self.only_label(top, f"window {caption!r}")
                    self.assertEqual(label.name, text, "the label's accessible name")
                    self.assertEqual(text_of(label), text, "the label's text")
                    self.assert_paragraphs(label, text)
                finally:  # so the next case finds the main window enabled
                    self.key(dialog, "Escape")
                    self.wait_gone(dialog, "Esc")
                    self.wait_active(win, f"after the window {caption!r} closed")
        self.assertEqual(len(INSTRUCTIONS_TEXT.split("\r\n")), 19)

        self.key(win, "Escape")
        self.assert_exits_zero(program, "Esc")


if __name__ == "__main__":
    # The program must load GTK's accessibility bridge to be read at all.
    os.environ.pop("NO_AT_BRIDGE", None)
    hall.main()
