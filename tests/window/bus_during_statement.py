#!/usr/bin/env python3
# An outside client's call that arrives while a statement runs (the workbench answers
# its events inside the statement) waits until the statement is over: a call must not
# free or change what the running script uses. It is answered right after Stop.
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(__file__))
from harness import Workbench, check, run  # noqa: E402

LOOP = b'sys.out("looping");\nwhile (true) {}\n'


def count_call(w):
    return subprocess.Popen(
        ["gdbus", "call", "--session", "--dest", "org.orvel.Workbench",
         "--object-path", "/org/orvel/Workbench",
         "--method", "org.orvel.Workbench.Factory.ObjectCount", "--timeout", "60"],
        env=dict(os.environ, DBUS_SESSION_BUS_ADDRESS=w.bus_address),
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def case(w):
    path = w.write("loop.js", LOOP)
    w.start(path)
    # Answered at once while nothing runs.
    idle = count_call(w)
    out, err = idle.communicate(timeout=20)
    check(idle.returncode == 0, f"ObjectCount while idle: {err}")

    w.click_widget("PageControl1", 0.5, 0.9)
    w.key("F9")
    w.wait_log("looping")
    call = count_call(w)
    time.sleep(1.5)
    check(call.poll() is None, "a client's call was answered inside a running statement")
    w.key("ctrl+F2")
    w.wait_log("The script was stopped")
    out, err = call.communicate(timeout=20)
    check(call.returncode == 0, f"the held call failed after the stop: {err}")
    w.check_alive()
    w.close()
    w.wait_exit()


run(case)
