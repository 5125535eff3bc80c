#!/usr/bin/env python3
# One file in two pages, typed in both with real keys: a save keeps both pages'
# edits (it used to write the second page's stale copy over the first one's). The
# title shows "*" while a page is modified; Ctrl+F finds; Ctrl+Shift+S writes a new
# file through the dialog without saving the other pages.
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from harness import Workbench, check_equal, poll, run  # noqa: E402


def case(w):
    w.write("same.js", b"base")
    w.write_workspace(w.path("same.js"), [w.path("same.js"), w.path("same.js")], active=0)
    w.start()

    w.click_widget("tab0")
    w.click_widget("PageControl1")
    w.key("ctrl+End")
    w.type(" one")
    w.click_widget("tab1")
    w.click_widget("PageControl1")
    w.key("ctrl+End")
    w.type(" two")
    poll(lambda: w.windows(r"^\*Orvel configurator"), what="the modified mark on the title")
    w.key("ctrl+s")
    w.wait_file("same.js", b"base one two")
    poll(lambda: not w.windows(r"^\*Orvel configurator"), what="the title without its mark")

    # Find selects the word; typing replaces it, in the page's text.
    w.key("ctrl+f")
    w.type("one")
    w.key("Return", "Escape")
    w.type("1")
    w.key("ctrl+Home")
    w.type("/")
    before = len(w.windows("."))
    w.key("ctrl+shift+s")
    poll(lambda: len(w.windows(".")) > before, what="the save dialog")
    w.type(w.path("copy.js"))
    w.key("Return")
    w.wait_file("copy.js", b"/base 1 two")
    check_equal(w.read("same.js"), b"base one two", "the other page's file after Save As")


run(case)
