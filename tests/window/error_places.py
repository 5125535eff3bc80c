#!/usr/bin/env python3
# Enter on a report's line in the log opens its place: an error in an included file that
# no page holds opens that file with the caret on the error, where typing goes.
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from harness import Workbench, run  # noqa: E402

LIB = b"function libFail() {\n  undefinedThing.x = 1;\n}\n"


def case(w):
    w.write("lib.js", LIB)
    path = w.write("main.js", b'#include "lib.js"\nsys.out("calling");\nlibFail();\n')
    w.start(path)
    w.click_widget("PageControl1", 0.5, 0.9)
    w.key("F9")
    w.wait_log("undefinedThing is not defined")
    line = w.log().index(f"err> unit (2, 3) {w.path('lib.js')}")

    w.click_widget("log", 0.3, 0.15)
    w.key("ctrl+Home", *(["Down"] * line), "Return")
    w.type("Z")
    w.key("ctrl+s")
    w.wait_file("lib.js", LIB.replace(b"\n", b"\r\n").replace(b"  undefined", b"  Zundefined"))
    w.close()
    w.wait_exit()


run(case)
