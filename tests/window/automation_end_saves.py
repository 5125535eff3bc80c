#!/usr/bin/env python3
# Automation mode ends by a close: a client shows the workbench, holds an object,
# the user edits a page, and the client's last release saves the page before the
# program ends.
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from harness import BUS_NAME, bus_factory, check_equal, run  # noqa: E402
import dbus  # noqa: E402


def case(w):
    w.write("a.js", b"one")
    w.write_workspace(w.path("a.js"), [w.path("a.js")], active=0)
    w.start("/AUTOMATION", wait=False)
    bus, fac = bus_factory(w)
    sys_ = fac.Create("Project1.SupScript")
    fac.ShowWorkbench()
    w.wait_event("ready")

    w.click_widget("PageControl1")
    w.key("ctrl+End")
    w.type("X")
    w.settle()
    dbus.Interface(bus.get_object(BUS_NAME, sys_), "org.orvel.Workbench.Object").Release()
    w.wait_exit()
    check_equal(w.read("a.js"), b"oneX", "the edited page after the last release")


run(case)
