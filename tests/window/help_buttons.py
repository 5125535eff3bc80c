#!/usr/bin/env python3
# The description button opens the README that ships beside the program, and every
# picture and guide it links to is there too; the other button opens the download page.
import os
import re
import sys

sys.path.insert(0, os.path.dirname(__file__))
from harness import Workbench, check, poll, run  # noqa: E402


def case(w):
    # The desktop's URL opener, replaced by one that writes down what it was given.
    opened = w.path("opened.txt")
    w.write("bin/xdg-open", f'#!/bin/sh\necho "$@" >> {opened}\n')
    os.chmod(w.path("bin/xdg-open"), 0o755)
    w.extra_env["PATH"] = w.path("bin") + ":" + os.environ.get("PATH", "")
    w.start()

    w.click_widget("Button1")
    w.click_widget("Button2")
    urls = poll(lambda: os.path.exists(opened) and len(open(opened).read().split()) == 2
                and open(opened).read().split(), what="two addresses opened")
    readme = os.path.join(w.app_dir, "README.md")
    check(urls[0] == "file://" + readme, f"description button opened {urls[0]!r}")
    check(urls[1].startswith("http"), f"download button opened {urls[1]!r}")
    text = open(readme, encoding="utf-8").read()
    links = re.findall(r"\]\(((?:docs|examples)/[^)#]+)\)", text)
    check(links, "the README links to docs")
    for link in links:
        check(os.path.exists(os.path.join(w.app_dir, link)), f"{link} is beside the program")

    w.close()
    w.wait_exit()


run(case)
