"""Renders the README's pictures from the real program: the main window measuring on the live
micrometer, in the dark and in the light theme, and the first page of the Word report it exports
(through LibreOffice and pdftoppm). Run through tools/screenshots.sh."""

import glob
import os
import subprocess
import sys
import tempfile

import quorix_driver as qd
from quorix_driver import wait_for
from test_acceptance import Session


def report_page(app, s, path):
    """Exports the Word report through the program and renders its first page."""
    folder = tempfile.mkdtemp(prefix="quorix-report-")
    report = os.path.join(folder, "report.docx")
    s.press("导出报告")
    dialog = app.window("导出报告")
    app.key("ctrl+a")
    app.type(report)
    app.key("Return")
    app.gone(dialog)
    done = app.window("导出报告")
    app.click(app.find(role="push button", root=done))
    subprocess.run(["soffice", "--headless", "--convert-to", "pdf", "--outdir", folder, report],
                   check=True, capture_output=True, timeout=300,
                   env=dict(os.environ, HOME=folder))
    subprocess.run(["pdftoppm", "-png", "-r", "70", "-f", "1", "-l", "1",
                    os.path.join(folder, "report.pdf"), os.path.join(folder, "page")], check=True)
    os.replace(glob.glob(os.path.join(folder, "page*.png"))[0], path)


def main_window(theme, path, report=None):
    s = Session("shots", {"Appearance": {"theme": theme}})
    app = s.app
    try:
        app.start()
        wait_for("the live picture", lambda: (s.fps() or 0) > 0)
        s.choose("相机画面的分辨率", "1280 x 720")
        s.size = (1280, 720)
        s.page("测量")
        s.table()  # shows the measurement table
        s.press("直线")
        for a, b in (((180, 470), (680, 470)),):
            app.click_at(*s.at(*a))
            app.move(*s.at(*b))
            app.click_at(*s.at(*b))
        s.press("圆")
        app.click_at(*s.at(900, 250))
        app.move(*s.at(960, 250))
        app.click_at(*s.at(960, 250))
        s.press("3点角")
        for p in ((300, 150), (300, 300), (480, 300)):
            app.click_at(*s.at(*p))
        wait_for("three rows", lambda: len(s.rows()) == 3)
        app.click(s.canvas(), button=3)
        app.move(5, 5)
        app.screenshot(path, app.frame)
        if report:
            report_page(app, s, report)
    finally:
        s.close()


if __name__ == "__main__":
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    main_window(1, os.path.join(out, "main-window-dark.png"), os.path.join(out, "report-page.png"))
    main_window(0, os.path.join(out, "main-window-light.png"))
