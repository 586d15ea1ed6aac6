"""tarvello.exe under Wine for the claim-rhythm benchmark (bench/rhythm.py
--windows): the Windows build started with wine in the Wine prefix named by
$WINEPREFIX (tests/windows/wine_prefix.sh makes one) and driven through its
window as the Linux program is. Wine draws the frame itself there, so the
client-area points are shifted by the offset the probe reports.
"""

import os
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "windows"))
import claim_driver as drive  # noqa: E402
import wine_helpers as wine  # noqa: E402

gui = drive.gui


class wine_program(drive.program):
    def __init__(self, exe):
        gui.PROGRAM = shutil.which("wine")
        self.helpers = gui.WindowHelpers()
        try:
            self.helpers.setUp()
            self.instance = self.helpers.start((os.path.abspath(exe),))
            self.window = self.helpers.wait_window(self.instance)
            self.helpers.activate(self.window)
        except AssertionError as error:
            self.helpers.tearDown()
            raise drive.failure(str(error)) from None
        (x, y, _, _), _ = gui.client_geometry(self.window)
        self.offset = wine.client_offset((x, y), gui.CAPTION)
        if self.offset is None:
            self.helpers.tearDown()
            raise drive.failure("the probe found no main window of tarvello.exe")

    def point_at(self, point):
        super().point_at((point[0] + self.offset[0], point[1] + self.offset[1]))


def starter(probe):
    """The program class to measure, once Wine runs on this display."""
    wine.PROBE = os.path.abspath(probe)
    try:
        wine.restart_server()
    except (OSError, subprocess.SubprocessError) as error:
        raise drive.failure(f"Wine could not be started: {error}") from None
    return wine_program
