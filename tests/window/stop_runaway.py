#!/usr/bin/env python3
# A script that never ends leaves the workbench working: Ctrl+F2, the Stop button and
# the window's close end it; the report names the loop's line; the pages take typing
# during the loop and keep it; Run works again after each stop.
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from harness import Workbench, check, check_equal, run  # noqa: E402

LOOP = b'sys.out("looping");\nvar n = 0;\nwhile (true) { n++; }\n'


def stopped_report(w, path, count):
    w.wait_log("The script was stopped", count=count)
    log = w.log()
    at = [i for i, line in enumerate(log) if line == "err> The script was stopped"][count - 1]
    check_equal(log[at - 2:at], [f"err> unit (3, 8) {path}", "err> while (true) { n++; }"],
                "the report of the stop")


def case(w):
    path = w.write("loop.js", LOOP)
    w.start(path)

    # Ctrl+F2; then F9 runs again, so Run is enabled.
    w.click_widget("PageControl1", 0.5, 0.9)
    w.key("F9")
    w.wait_log("looping")
    w.key("ctrl+F2")
    stopped_report(w, path, 1)
    w.key("F9")
    w.wait_log("looping", count=2)

    # The Stop button.
    w.click_widget("btStop")
    stopped_report(w, path, 2)

    # Typing into the page while the loop runs is kept, and saved by Ctrl+S after.
    w.key("F9")
    w.wait_log("looping", count=3)
    w.click_widget("PageControl1", 0.5, 0.9)
    w.key("ctrl+End")
    w.type("// typed in the loop")
    w.key("ctrl+F2")
    stopped_report(w, path, 3)
    w.key("ctrl+s")
    w.wait_file("loop.js", LOOP.replace(b"\n", b"\r\n") + b"// typed in the loop")
    check(w.log().count("== RUN ==") == 3, "one run per F9 that was not refused")

    # Closing the window during the loop saves the pages and ends the program.
    w.key("F9")
    w.wait_log("looping", count=4)
    w.key("ctrl+End")
    w.type(" and more")
    w.close()
    w.wait_exit()
    check_equal(w.read("loop.js"),
                LOOP.replace(b"\n", b"\r\n") + b"// typed in the loop and more", "loop.js")


run(case)
