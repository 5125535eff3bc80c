#!/usr/bin/env python3
# Automation mode ends by a close: a client shows the workbench, holds an object,
# the user edits a page, and the client's last release saves the page before the
# program ends.
import os
import sys

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
    w.write("a.js", b"one")
    w.write_workspace(w.path("a.js"), [w.path("a.js")], active=0)
    w.start("/AUTOMATION", wait=False)
    bus, fac = factory(w)
    sys_ = fac.Create("Project1.SupScript")
    fac.ShowWorkbench()
    w.wait_event("ready")

    w.click_widget("PageControl1")
    w.key("ctrl+End")
    w.type("X")
    w.settle()
    dbus.Interface(bus.get_object(NAME, sys_), "org.orvel.Workbench.Object").Release()
    w.wait_exit()
    check_equal(w.read("a.js"), b"oneX", "the edited page after the last release")


run(case)
