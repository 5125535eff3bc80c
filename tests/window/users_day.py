#!/usr/bin/env python3
# A user's day, as first tried: open a file, type, run a script that builds a form,
# click in that form, stop, type again, save, close. Every file checked byte for byte.
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from harness import Workbench, check_equal, run  # noqa: E402

SCRIPT = b"""// builds a small form
main.propSet("Caption", "Day form");
main.setBounds(60, 60, 260, 110);
var e = main.nw("TEdit", "e1", "");
e.setBounds(10, 10, 150, 24);
var b = main.nw("TButton", "b1", "Show");
b.setBounds(10, 45, 100, 28);
b.propSet("OnClick", "sys.out('edit holds ' + e.propGet('Text'))");
main.propSet("Visible", true);
sys.out("form built");
"""


def case(w):
    w.write("day.js", SCRIPT)
    w.write("notes.txt", b"first line\nsecond line\n")
    w.start(w.path("day.js"))

    # Open notes.txt with Load and type at its end.
    mark = w.mark()
    w.click_widget("btLoad")
    w.choose_file(w.path("notes.txt"), after=mark)
    w.wait_event("geometry", "tab1", after=mark)
    w.click_widget("PageControl1")
    w.key("ctrl+End")
    w.type("typed before the run")

    # F9 saves and runs day.js; type in its form and press its button.
    w.key("F9")
    w.wait_log("form built")
    w.wait_file("notes.txt", b"first line\r\nsecond line\r\ntyped before the run")
    w.poll_window("Day form")
    w.click(60 + 10 + 40, 60 + 10 + 12)
    w.type("hello")
    w.click(60 + 10 + 50, 60 + 45 + 14)
    w.wait_log("edit holds e1hello")  # a new edit box holds its name

    # Ctrl+F2 from the form; the form goes; the workbench takes typing again.
    w.key("ctrl+F2")
    w.wait_window_gone("Day form")
    w.focus_main()
    w.click_widget("PageControl1")
    w.key("ctrl+End", "Return")
    w.type("typed after the stop")
    w.key("ctrl+s")
    w.wait_file("notes.txt",
                b"first line\r\nsecond line\r\ntyped before the run\r\ntyped after the stop")

    w.close()
    w.wait_exit()
    check_equal(w.read("day.js"), SCRIPT, "the script, never modified")
    check_equal(w.log(), ["== RUN ==", "form built", "edit holds e1hello"], "the log")
    notes = w.path("notes.txt").encode()
    end = len(b"first line\r\nsecond line\r\ntyped before the run\r\ntyped after the stop")
    check_equal(w.workspace(),
                b"JScript\r\n1\r\n" + w.path("day.js").encode() + b"\r\n0,0," +
                w.path("day.js").encode() + b"\r\n0," + str(end).encode() + b"," + notes +
                b"\r\n", "the workspace file")


run(case)
