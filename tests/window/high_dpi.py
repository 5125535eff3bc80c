#!/usr/bin/env python3
# At 144 dpi on a 1280x1024 screen (by scale factor, and by font dpi) the first window
# fits the screen and no control of it is cut off at its edges (the caret label was).
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from harness import Workbench, check, run  # noqa: E402

CONTROLS = ["edMainFile", "btSelectMainFile", "edLanguage", "btLoad", "btSave", "btRun",
            "btStop", "lbCaretPos", "btClosePage", "btLogClear", "btLogMinim", "Button1",
            "Button2"]


def check_fits(w, how):
    x, y, width, height = w.geometry("Form1")
    check(x >= 0 and y >= 0 and x + width <= 1280 and y + height <= 1024,
          f"{how}: the window {x},{y} {width}x{height} lies outside the 1280x1024 screen")
    for name in CONTROLS:
        cx, cy, cw, ch = w.geometry(name)
        check(cx >= x and cy >= y and cx + cw <= x + width and cy + ch <= y + height,
              f"{how}: {name} at {cx},{cy} {cw}x{ch} is cut off by the window "
              f"{x},{y} {width}x{height}")


def typed_page(w):
    w.write("a.js", b"var a = 1;\r\n" * 120)
    w.start(w.path("a.js"))
    w.click_widget("PageControl1")
    w.key("ctrl+End")  # a longer caret caption: "120, 11"
    w.wait_event("geometry", "lbCaretPos")


def case(w):
    typed_page(w)
    check_fits(w, "QT_SCALE_FACTOR=1.5")
    w.close()
    w.wait_exit()

    other = Workbench(env={"QT_FONT_DPI": "144"})
    ok = False
    try:
        typed_page(other)
        check_fits(other, "QT_FONT_DPI=144")
        other.close()
        other.wait_exit()
        ok = True
    finally:
        other.finish(ok)


run(case, env={"QT_SCALE_FACTOR": "1.5"})
