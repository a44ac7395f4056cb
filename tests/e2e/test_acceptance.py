"""Acceptance: the real quorix program, driven with mouse and keyboard as a user drives it, judged
by what it shows (read over the accessibility bus and from screenshots) and by the files it writes
(read by exiftool, ffprobe, python-docx, openpyxl and Python's csv)."""

import glob
import json
import os
import re
import shutil
import subprocess
import tempfile
import unittest

import numpy

from PIL import Image, ImageChops, ImageStat

import quorix_driver as qd
from quorix_driver import Quorix, wait_for, extents, text_of, choose_in_combo

ARTIFACTS = os.environ.get("QUORIX_E2E_ARTIFACTS") or tempfile.mkdtemp(prefix="quorix-e2e-")


def work_area():
    """The desktop's work area (x, y, width, height) as the window manager publishes it."""
    out = subprocess.run(["xprop", "-root", "_NET_WORKAREA"], capture_output=True, text=True,
                         check=True).stdout
    return tuple(int(v) for v in out.split("=")[1].split(",")[:4])


def number_in(text):
    m = re.search(r"-?\d+(?:\.\d+)?", text or "")
    return float(m.group()) if m else None


class Session:
    """What every scenario of one program run needs: the program and a view of its canvas."""

    def __init__(self, name, settings=None):
        self.home = tempfile.mkdtemp(prefix="quorix-e2e-%s-" % name)
        self.pictures = os.path.join(self.home, "Pictures")
        os.makedirs(self.pictures)
        self.app = Quorix(self.home)
        seeded = {"File": {"usePresetPath": "true", "savePath": self.pictures}}
        for group, keys in (settings or {}).items():
            seeded.setdefault(group, {}).update(keys)
        self.app.seed_settings(seeded)

    def close(self):
        self.app.kill()
        shutil.rmtree(self.home, ignore_errors=True)

    # ---- the canvas -------------------------------------------------------------------------
    def canvas(self):
        return self.app.find("测量画布")

    def zoom(self):
        return number_in(self.app.find(description="画布缩放比例", role="label").name)

    def shot(self, name, acc=None):
        return self.app.screenshot(os.path.join(ARTIFACTS, name + ".png"), acc)

    def image_to_screen(self, size, x, y):
        """Screen point of the picture pixel (x, y) of a picture of `size`, centred in the
        canvas at the shown zoom."""
        cx, cy, cw, ch = extents(self.canvas())
        z = self.zoom()
        left = cx + (cw - size[0] * z) / 2
        top = cy + (ch - size[1] * z) / 2
        return int(round(left + x * z)), int(round(top + y * z))

    def fps(self):
        return number_in(self.app.find(description="帧率", role="label").name)

    def status(self):
        return self.app.find(description="状态信息", role="label").name

    def page(self, name):
        """Shows a page of the left bar through the tool strip."""
        self.app.click(self.app.find(name, "push button"))

    def left_bar_area(self):
        """The visible part of the left bar's scrolled page."""
        bar = self.app.find(role="scroll bar", predicate=lambda a: extents(a)[2] < 20 and
                            extents(a)[0] < extents(self.canvas())[0])
        bx, by, bw, bh = extents(bar)
        return bx - 240, by, 240, bh

    def reveal(self, acc):
        """Scrolls the left bar with the wheel until `acc` lies inside its visible part."""
        ax, ay, aw, ah = self.left_bar_area()
        for _ in range(60):
            x, y, w, h = extents(acc)
            if y >= ay and y + h <= ay + ah:
                return acc
            self.app.wheel(ax + aw // 2, ay + ah // 2, up=y < ay)
        raise AssertionError("cannot scroll %r into view" % acc.name)

    def press(self, name, role="push button"):
        self.app.click(self.reveal(self.app.find(name, role)))

    # ---- the table --------------------------------------------------------------------------
    def table(self):
        return self.app.find("测量表格", "table")

    def rows(self):
        """The table as the user reads it: a list of rows of cell texts."""
        t = self.table().queryTable()
        return [[text_of(t.getAccessibleAt(r, c)) for c in range(t.nColumns)]
                for r in range(t.nRows)]

    def header(self):
        t = self.table().queryTable()
        return [t.getColumnDescription(c) or text_of(t.getColumnHeader(c))
                for c in range(t.nColumns)]


def differs(a, b):
    """True when two pictures of the same area differ noticeably."""
    diff = ImageChops.difference(a.convert("L"), b.convert("L"))
    return ImageStat.Stat(diff).mean[0] > 0.5


def micrometer_row(picture):
    """The row of a screenshot that holds the micrometer's baseline: the longest run of dark
    pixels; returns (row, first column, last column) or None."""
    dark = numpy.asarray(picture.convert("L")) < 80
    best = None
    for y, row in enumerate(dark):
        # Runs of dark pixels: starts and ends where the row changes between light and dark.
        edges = numpy.flatnonzero(numpy.diff(numpy.concatenate(([0], row.view(numpy.int8), [0]))))
        for start, end in zip(edges[::2], edges[1::2]):
            if best is None or end - start > best[2] - best[1] + 1:
                best = (y, int(start), int(end) - 1)
    return best


class Measuring(unittest.TestCase):
    """One program run: first start, camera controls, calibration, drawing, capture, recording,
    reopening and closing, in the order a user meets them."""

    @classmethod
    def setUpClass(cls):
        cls.s = Session("measuring")
        cls.app = cls.s.app
        cls.app.start()

    @classmethod
    def tearDownClass(cls):
        cls.s.close()

    def test_01_first_start(self):
        s, app = self.s, self.app
        # Centred in the desktop's work area at 65 % of its size (unless its minimum is larger).
        ax, ay, aw, ah = work_area()
        x, y, w, h = extents(app.frame)
        self.assertAlmostEqual(x + w / 2, ax + aw / 2, delta=2)
        self.assertAlmostEqual(y + h / 2, ay + ah / 2, delta=2)
        self.assertAlmostEqual(w, aw * 65 // 100, delta=2)
        # The demo camera is listed and, being the only camera, playing.
        camera = app.find(description="选择要打开的相机", role="combo box")
        self.assertEqual(camera.name, "演示相机")
        wait_for("the frame rate", lambda: (s.fps() or 0) > 0)
        first = s.shot("01-live-a", s.canvas())
        row = micrometer_row(first)
        self.assertIsNotNone(row)
        # The micrometer's 1 mm baseline spans most of the picture's width.
        self.assertGreater(row[2] - row[1], extents(s.canvas())[2] * 0.5)
        wait_for("the next live frame", lambda: differs(first, s.shot("01-live-b", s.canvas())))
        fps = s.fps()
        print("\nfirst start: %s, zoom %s" % (fps, s.zoom()))
        self.assertGreater(fps, 0)
        self.assertLessEqual(fps, 31)


if __name__ == "__main__":
    unittest.main(verbosity=2)
