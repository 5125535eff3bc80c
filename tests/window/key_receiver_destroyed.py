#!/usr/bin/env python3
# A key arriving after the widget that took the previous key was destroyed must be
# handled like any other: the program once kept that widget in a plain pointer and
# read freed memory (the AddressSanitizer build turns that into a failure here).
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from harness import Workbench, check, run  # noqa: E402

SCRIPT = b"""main.propSet("Caption", "Form of the run");
main.setBounds(40, 40, 300, 120);
var b = main.nw("TButton", "b1", "Press");
b.setBounds(20, 20, 120, 28);
b.propSet("OnClick", "sys.out('pressed ' + '%1')");
main.propSet("Visible", true);
"""


def case(w):
    w.write("form.js", SCRIPT)
    w.write("other.js", b"var other = 1;")
    w.write_workspace(w.path("form.js"), [w.path("form.js"), w.path("other.js")])
    w.start()

    # A form's button took the last key (Space), then Stop destroys the form.
    w.key("F9")
    w.wait_log("== RUN ==")
    w.poll_window("Form of the run")
    w.click(40 + 20 + 60, 40 + 20 + 14)
    w.wait_log("pressed b1")
    w.key("space")
    w.wait_log("pressed b1", count=2)
    w.key("ctrl+F2")
    w.wait_window_gone("Form of the run")
    w.click_widget("PageControl1")
    w.key("Down", "Down")
    w.check_alive()

    # A page's editor took the last key, then Close Page destroys it.
    w.key("ctrl+End")
    w.type("typed")
    w.click_widget("btClosePage")
    w.click_box("Save changes to", "Discard")
    w.key("Down")
    w.key("x")
    w.check_alive()

    w.close()
    w.wait_exit()
    check(True, "")


run(case)
