#!/usr/bin/env python3
# A workbench that a client showed without holding objects is the user's: a run and
# its Stop (whose objects are the run's own, not a client's) leave it running, and
# the user's close saves as ever.
import os
import sys
import time

sys.path.insert(0, os.path.dirname(__file__))
from harness import bus_factory, check_equal, run  # noqa: E402


def case(w):
    w.write("main.js", b"sys.out('ran');")
    w.write_workspace(w.path("main.js"), [w.path("main.js")], active=0)
    w.start("/AUTOMATION", wait=False)
    bus, fac = bus_factory(w)
    fac.ShowWorkbench()
    w.wait_event("ready")

    w.focus_main()
    w.key("F9")
    w.wait_log("ran")
    w.key("ctrl+F2")
    time.sleep(3)  # longer than the server waits before it ends when idle
    w.check_alive()

    w.click_widget("PageControl1")
    w.key("ctrl+End")
    w.type(" //")
    w.close()
    w.wait_exit()
    check_equal(w.read("main.js"), b"sys.out('ran'); //", "the page after the user's close")


run(case)
