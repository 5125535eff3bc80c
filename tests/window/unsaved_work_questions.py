#!/usr/bin/env python3
# Every road that would drop a page with typed text asks Save / Discard / Cancel first:
# Close Page and choosing another main file. Cancel changes nothing; Discard drops the
# typing and leaves the file as it was; Save writes it.
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from harness import Workbench, check, check_equal, run  # noqa: E402


def tabs(w):
    """Captions are not logged; the tab rectangles tell how many pages there are."""
    last = [t for _, t in w.events("geometry")]
    count = 0
    for t in reversed(last):
        name = t.split(" ")[0]
        if name == "Form1":
            break
        if name.startswith("tab"):
            count += 1
    return count


def case(w):
    w.write("a.js", b"aaa")
    w.write("b.js", b"bbb")
    w.write("c.js", b"ccc")
    w.write_workspace(w.path("a.js"), [w.path("a.js"), w.path("b.js")], active=0)
    w.start()

    # Close Page on the typed-in page: Cancel, then Discard.
    w.click_widget("PageControl1")
    w.key("ctrl+End")
    w.type("1")
    w.click_widget("btClosePage")
    w.answer_box('Save changes to "' + w.path("a.js") + '"?', "Escape")
    check_equal(tabs(w), 2, "pages after Cancel")
    w.click_widget("btClosePage")
    mark = w.mark()
    w.click_box("Save changes to", "Discard")
    w.wait_event("geometry", "Form1", after=mark)
    check_equal(tabs(w), 1, "pages after Discard")
    check_equal(w.read("a.js"), b"aaa", "a.js after Discard")

    # Another main file by the "..." dialog while b.js holds typing: Cancel keeps all,
    # the main-file box included; Save writes b.js and then opens the new main file.
    w.click_widget("PageControl1")
    w.key("ctrl+End")
    w.type("2")
    mark = w.mark()
    w.click_widget("btSelectMainFile")
    w.choose_file(w.path("c.js"), after=mark)
    w.answer_box("Save changes to", "Escape")
    check_equal(tabs(w), 1, "pages after a cancelled main file")
    check_equal(w.read("b.js"), b"bbb", "b.js after Cancel")
    w.click_widget("btSave")
    w.wait_file("b.js", b"bbb2")
    ini = w.workspace().split(b"\r\n")
    check_equal(ini[2], w.path("a.js").encode(), "main file after Cancel")

    w.click_widget("PageControl1")
    w.type("3")
    mark = w.mark()
    w.click_widget("btSelectMainFile")
    w.choose_file(w.path("c.js"), after=mark)
    w.answer_box("Save changes to", "Return")
    w.wait_file("b.js", b"bbb23")
    w.key("ctrl+s")
    w.wait_event("geometry", "tab0")
    poll_ini = lambda: (w.workspace() or b"").split(b"\r\n")[2:4] == [  # noqa: E731
        w.path("c.js").encode(), b"0,0," + w.path("c.js").encode()]
    from harness import poll
    poll(poll_ini, what="the workspace to name c.js alone")
    check(tabs(w) == 1, "one page after the new main file")

    w.close()
    w.wait_exit()


run(case)
