"""Shared pieces for driving tarvello.exe under Wine from outside, used by
the Windows GUI tests (wine_test.py) and the claim-rhythm benchmark: the
prefix's server started afresh on the current display, the probe that looks
at the program's windows from inside Wine, and the offset of the main
window's client area within its X window. No tests of its own.
"""

import os
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
PREFIX_SCRIPT = os.path.join(HERE, "wine_prefix.sh")

PROBE = None  # the probe.exe of the Windows build; set by the caller


def restart_server():
    """Wine's server keeps the screen size of the display it last served:
    start it afresh, with its desktop on this display ($WINEPREFIX, $DISPLAY)."""
    subprocess.run([PREFIX_SCRIPT, "restart", os.environ["WINEPREFIX"]], check=True,
                   timeout=60)


def probe(*args):
    """What the probe prints from inside Wine (None when it finds nothing).
    Its output goes through a file: Wine's background processes may
    inherit it and hold a pipe open."""
    with tempfile.TemporaryFile() as out:
        done = subprocess.run(["wine", PROBE, *args], stdout=out, stderr=subprocess.DEVNULL,
                              timeout=30)
        out.seek(0)
        printed = out.read().decode("utf-8").rstrip("\r\n")
    return printed if done.returncode == 0 else None


def foreground():
    """(width, height, caption) of the window Wine holds active: under a
    manager that keeps the X focus where it was, the keys still go to it."""
    printed = probe("foreground")
    if printed is None:
        return None
    width, height, caption = printed.split(" ", 2)
    return int(width), int(height), caption


def client_offset(window_origin, caption):
    """(dx, dy) from the X window's origin to the client area of the window
    with this caption: Wine draws the frame itself (Decorated=N in the test
    prefix), so the X window holds the whole Win32 window. None if the probe
    finds no such window."""
    origin = probe("client", caption)
    if origin is None:
        return None
    cx, cy = (int(v) for v in origin.split())
    return cx - window_origin[0], cy - window_origin[1]
