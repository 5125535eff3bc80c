#!/usr/bin/env python3
# After Stop (button or Ctrl+F2) the keys work at once: F9 runs again and Ctrl+S saves,
# without a click into an editor first. The key hook once took a new key whose widget
# was a parent of the previous key's widget for that previous key travelling up.
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from harness import Workbench, run  # noqa: E402

SCRIPT = b"""main.propSet("Caption", "Run form");
main.setBounds(40, 40, 240, 100);
var e = main.nw("TEdit", "e1", "");
e.setBounds(10, 10, 200, 24);
main.propSet("Visible", true);
sys.out("built");
"""


def case(w):
    w.write("form.js", SCRIPT)
    w.start(w.path("form.js"))

    # The last key went to the editor; Stop moves the focus to the window, a parent.
    w.click_widget("PageControl1", 0.5, 0.9)
    w.key("F9")
    w.wait_log("built")
    w.poll_window("Run form")
    w.focus_main()
    w.key("ctrl+F2")
    w.wait_window_gone("Run form")
    w.key("F9")
    w.wait_log("built", count=2)

    # Stop from inside the script's form; the window manager gives the workbench the
    # keyboard when that form goes.
    w.poll_window("Run form")
    w.click(40 + 10 + 50, 40 + 10 + 12)
    w.type("abc")
    w.key("ctrl+F2")
    w.wait_window_gone("Run form")
    w.focus_main()
    w.key("F9")
    w.wait_log("built", count=3)

    # Stop by the button, then F9 and Ctrl+F2 again without a click anywhere.
    w.poll_window("Run form")
    w.focus_main()
    w.click_widget("btStop")
    w.wait_window_gone("Run form")
    w.key("F9")
    w.wait_log("built", count=4)
    w.key("ctrl+F2")
    w.wait_window_gone("Run form")

    # Ctrl+S after Stop saves the typing that follows.
    w.click_widget("PageControl1", 0.5, 0.9)
    w.key("ctrl+End")
    w.type("//x")
    w.key("ctrl+F2")
    w.key("ctrl+s")
    w.wait_file("form.js", SCRIPT.replace(b"\n", b"\r\n") + b"//x")

    w.close()
    w.wait_exit()


run(case)
