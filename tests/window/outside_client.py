#!/usr/bin/env python3
# Keys after widgets that an outside client owned are gone, and the "COM Server
# Warning" asked twice with Return: once the program read the destroyed widget that
# took the previous key. A D-Bus client on the case's own session bus plays the client.
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from harness import Workbench, run  # noqa: E402

import dbus  # noqa: E402  (python3-dbus)

NAME = "org.orvel.Workbench"
WARNING = "There are still active COM objects"


def case(w):
    w.write("a.js", b"var a = 1;\r\nvar b = 2;")
    w.start(w.path("a.js"))
    bus = dbus.bus.BusConnection(w.bus_address)

    def obj(path, interface):
        return dbus.Interface(bus.get_object(NAME, path), interface)

    factory = obj("/org/orvel/Workbench", "org.orvel.Workbench.Factory")
    main_path = factory.Create("Project1.JObject")
    main = obj(main_path, "org.orvel.Workbench.IJObject")
    form_path = main.nw("TForm", "cForm", "Client form")
    form = obj(form_path, "org.orvel.Workbench.IJObject")
    form.setBounds(40, 40, 240, 100)
    edit_path = form.nw("TEdit", "cEdit", "")
    obj(edit_path, "org.orvel.Workbench.IJObject").setBounds(10, 10, 200, 24)
    form.propSet("Visible", True)

    # The user types in the client's form; the client lets everything go.
    w.poll_window("Client form")
    w.click(40 + 10 + 100, 40 + 10 + 12)
    w.type("abc")
    for path in (edit_path, form_path, main_path):
        obj(path, "org.orvel.Workbench.Object").Release()
    w.wait_window_gone("Client form")
    w.focus_main()
    w.key("Down", "x")
    w.check_alive()

    # A client still holds an object: closing warns; Return keeps the window, twice.
    held = factory.Create("Project1.SupScript")
    for _ in range(2):
        mark = w.mark()
        w.close()
        w.answer_box(WARNING, "Return", after=mark, title="COM Server Warning")
        w.focus_main()
        w.key("Down")
        w.check_alive()

    obj(held, "org.orvel.Workbench.Object").Release()
    w.close()
    w.wait_exit()


run(case)
