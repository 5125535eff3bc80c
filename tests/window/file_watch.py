#!/usr/bin/env python3
# Files changed or deleted behind the workbench: an unmodified page shows the new text
# where the user was (caret and first visible line kept); a modified page is marked
# and Save asks before overwriting the outside change; a deleted file is marked and
# the next save writes it again.
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from harness import Workbench, check_equal, poll, run  # noqa: E402


def lines(prefix, n):
    return "\r\n".join(f"{prefix} {i}" for i in range(n)).encode()


def replace_by_rename(w, name, data):
    """As many editors save: a new file renamed over the old one."""
    tmp = w.write(name + ".tmp", data)
    os.rename(tmp, w.path(name))


def case(w):
    a_old = lines("old", 200)
    w.write("a.js", a_old)
    w.write("b.js", b"bbb")
    w.write("c.js", b"ccc")
    sel = a_old.index(b"old 60")
    w.write_workspace(w.path("a.js"), [(50, sel, w.path("a.js")), w.path("b.js"),
                                       w.path("c.js")], active=0)
    w.start()

    # Unmodified page: reloaded where the user was.
    a_new = lines("new", 200)
    replace_by_rename(w, "a.js", a_new)
    w.wait_event("file", "reloaded " + w.path("a.js"))
    os.remove(w.path("c.js"))
    w.wait_event("file", "deleted " + w.path("c.js"))

    # Modified page changed outside: marked; Save asks, No keeps the outside text.
    w.click_widget("tab1")
    w.click_widget("PageControl1")
    w.key("ctrl+End")
    w.type("B")
    with open(w.path("b.js"), "wb") as f:
        f.write(b"outside")
    w.wait_event("file", "changed " + w.path("b.js"))
    w.key("ctrl+s")
    w.answer_box("was changed on disk", "Escape")
    w.wait_file("c.js", b"ccc")  # the deleted file is written again
    check_equal(w.read("b.js"), b"outside", "b.js after declining to overwrite")
    ini = poll(lambda: w.workspace() and w.workspace().split(b"\r\n"), what="workspace")
    check_equal(ini[3], f"50,{sel},{w.path('a.js')}".encode(), "a.js first line and caret")

    # The page kept its typing; Yes overwrites.
    w.key("ctrl+s")
    w.click_box("was changed on disk", "Yes")
    w.wait_file("b.js", b"bbbB")

    # The reloaded page holds the new text: typing at the kept caret and saving shows it.
    w.click_widget("tab0")
    w.focus_main()
    w.type("*")
    w.key("ctrl+s")
    w.wait_file("a.js", a_new[:sel] + b"*" + a_new[sel:])

    w.close()
    w.wait_exit()


run(case)
