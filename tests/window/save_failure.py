#!/usr/bin/env python3
# A save that cannot write some files (read-only here): Ctrl+S tries every modified
# page, shows one "error of saving" naming every file that failed, leaves those files
# whole and their pages modified. Closing then asks whether to close anyway; the
# default keeps the window. Runs as an unprivileged user, so a read-only file really
# refuses (also when the suite runs as root).
import os
import sys
import time

sys.path.insert(0, os.path.dirname(__file__))
from harness import Workbench, check, check_equal, run  # noqa: E402

CLOSE_ANYWAY = "Close anyway"


def type_into_page(w, index, text):
    w.click_widget(f"tab{index}")
    w.click_widget("PageControl1")
    w.key("ctrl+End")
    w.type(text)


def case(w):
    w.write("locked1.js", b"one\r\nold")
    w.write("free.js", b"free")
    w.write("locked2.js", b"two")
    for name in ("locked1.js", "locked2.js"):
        os.chmod(w.path(name), 0o444)
    pages = [w.path("locked1.js"), w.path("free.js"), w.path("locked2.js")]
    w.write_workspace(w.path("free.js"), pages, active=0)
    w.start(user="nobody")

    for i in range(3):
        type_into_page(w, i, "X")
    w.key("ctrl+s")
    w.answer_box("error of saving")
    time.sleep(0.5)  # a second message would follow at once
    check_equal(w.boxes(), ["error of saving"], "messages after one Ctrl+S")
    detail = w.box_details()[0]
    check(w.path("locked1.js") in detail and w.path("locked2.js") in detail,
          f"both failures in one message: {detail!r}")
    w.wait_file("free.js", b"freeX")
    check_equal(w.read("locked1.js"), b"one\r\nold", "read-only file 1")
    check_equal(w.read("locked2.js"), b"two", "read-only file 2")

    # Close: the save fails again; the question's default (Return) keeps the window.
    mark = w.mark()
    w.close()
    w.answer_box("error of saving", after=mark)
    w.answer_box(CLOSE_ANYWAY, "Return", after=mark)
    w.check_alive()

    # The pages stayed modified: once a file may be written, Save writes it.
    os.chmod(w.path("locked1.js"), 0o644)
    w.focus_main()
    mark = w.mark()
    w.click_widget("btSave")
    w.answer_box("error of saving", after=mark)  # locked2.js still refuses
    w.wait_file("locked1.js", b"one\r\noldX")

    # Close anyway: the window goes, the still read-only file is as it was.
    mark = w.mark()
    w.close()
    w.answer_box("error of saving", after=mark)
    w.click_box(CLOSE_ANYWAY, "Yes", after=mark)
    w.wait_exit()
    check_equal(w.read("locked2.js"), b"two", "read-only file 2 after closing")


run(case)
