#!/usr/bin/env python3
# Stop ends a statement that waits (a long sleep, a fetch from a server that never
# answers) as well as one that loops; and a click on the script's own form during a
# long statement runs its text only after that statement, or never once it is stopped.
import os
import socket
import sys

sys.path.insert(0, os.path.dirname(__file__))
from harness import Workbench, check, check_equal, run  # noqa: E402

FORM = b"""main.propSet("Caption", "Busy form");
main.setBounds(40, 40, 240, 100);
var b = main.nw("TButton", "b1", "Press");
b.setBounds(10, 10, 100, 25);
b.propSet("OnClick", "sys.out('clicked')");
main.propSet("Visible", true);
sys.out("built");
var t = Date.now();
while (Date.now() - t < LIMIT) {}
sys.out("loop over");
"""


def run_and_stop(w, name, text, mark, count):
    """Writes the main file anew (its page is unmodified, so Run reads it from disk),
    runs it, waits for `mark`, stops it; returns the stop's report."""
    w.write(name, text)
    w.key("F9")
    w.wait_log(mark)
    w.key("ctrl+F2")
    w.wait_log("The script was stopped", count=count)
    log = w.log()
    at = [i for i, line in enumerate(log) if line == "err> The script was stopped"][-1]
    return log[at - 2:at]


def case(w):
    path = w.write("main.js", b"sys.out('ready');\n")
    w.start(path)
    w.focus_main()

    report = run_and_stop(w, "main.js", b"sys.out('sleeping');\nsys.sleep(60000);\n",
                          "sleeping", 1)
    check_equal(report, [f"err> unit (2, 5) {path}", "err> sys.sleep(60000);"], "sleep's report")

    server = socket.socket()
    server.bind(("127.0.0.1", 0))
    server.listen(4)
    url = f"http://127.0.0.1:{server.getsockname()[1]}/"
    try:
        report = run_and_stop(
            w, "main.js", f'sys.out("fetching");\nvar s = inet.toString("{url}");\n'.encode(),
            "fetching", 2)
    finally:
        server.close()
    check_equal(report[0], f"err> unit (2, 14) {path}", "the fetch's report")

    # A click during a statement that ends by itself: its text runs after it.
    w.write("main.js", FORM.replace(b"LIMIT", b"3000"))
    w.key("F9")
    w.wait_log("built")
    w.poll_window("Busy form")
    w.click(40 + 10 + 50, 40 + 10 + 12)
    w.wait_log("clicked")
    log = w.log()
    check_equal(log[-3:], ["built", "loop over", "clicked"], "the order of the log")
    w.focus_main()
    w.key("ctrl+F2")
    w.wait_window_gone("Busy form")

    # A click during a runaway statement: nothing of it runs, before or after Stop.
    w.write("main.js", FORM.replace(b"LIMIT", b"Infinity"))
    w.key("F9")
    w.wait_log("built", count=2)
    w.poll_window("Busy form")
    # Not the same point again: moving the pointer to where it is waits for nothing.
    w.click(40 + 10 + 40, 40 + 10 + 12)
    w.focus_main()
    w.key("ctrl+F2")
    w.wait_log("The script was stopped", count=3)
    w.wait_window_gone("Busy form")
    w.key("F9")
    w.wait_log("built", count=3)
    check(w.log().count("clicked") == 1, "the click of the stopped run ran no text")

    w.focus_main()
    w.key("ctrl+F2")
    w.wait_log("The script was stopped", count=4)
    w.close()
    w.wait_exit()


run(case)
