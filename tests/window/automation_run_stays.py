#!/usr/bin/env python3
# A workbench that a client showed without holding objects is the user's: a run and
# its Stop (whose objects are the run's own, not a client's) leave it running, and
# the user's close saves as ever.
import os
import sys
import time

sys.path.insert(0, os.path.dirname(__file__))
from harness import check_equal, poll, run  # noqa: E402
import dbus  # noqa: E402

NAME = "org.orvel.Workbench"


def factory(w):
    """The automation server's factory on the case's bus, once the program holds it."""
    bus = dbus.bus.BusConnection(w.bus_address)
    poll(lambda: bus.name_has_owner(NAME), what="the workbench on the bus")
    return bus, dbus.Interface(bus.get_object(NAME, "/org/orvel/Workbench"),
                               "org.orvel.Workbench.Factory")


def case(w):
    w.write("main.js", b"sys.out('ran');")
    w.write_workspace(w.path("main.js"), [w.path("main.js")], active=0)
    w.start("/AUTOMATION", wait=False)
    bus, fac = factory(w)
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
