#!/usr/bin/env python3
# A save that cannot write a file, by Ctrl+S, the Save button or Run: one message,
# the old file whole, the page still modified; the next save tries again. Runs as an
# unprivileged user, so a read-only file really refuses (also when the suite runs as
# root).
import os
import sys
import time

sys.path.insert(0, os.path.dirname(__file__))
from harness import Workbench, check_equal, run  # noqa: E402


def case(w):
    w.write("locked.js", b"old\r\ntext")
    w.write("free.js", b"free")
    os.chmod(w.path("locked.js"), 0o444)
    w.write_workspace(w.path("free.js"), [w.path("locked.js"), w.path("free.js")], active=0)
    w.start(user="nobody")

    w.click_widget("PageControl1")
    w.key("ctrl+End")
    w.type("X")
    w.key("ctrl+s")
    w.answer_box("error of saving")
    time.sleep(0.5)  # a second message would follow at once
    check_equal(w.boxes(), ["error of saving"], "messages after one Ctrl+S")
    check_equal(w.read("locked.js"), b"old\r\ntext", "the read-only file")

    # Once the file may be written, the same page is saved: it stayed modified.
    os.chmod(w.path("locked.js"), 0o644)
    w.click_widget("btSave")
    w.wait_file("locked.js", b"old\r\ntextX")

    w.close()
    w.wait_exit()


run(case)
