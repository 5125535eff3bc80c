#!/usr/bin/env python3
# Saving onto a full disk (a small tmpfs filled to the brim when this may mount one)
# and past the file-size limit (ulimit -f, SIGXFSZ ignored, as a shell with that limit
# starts it): one "error of saving" naming the page and the workspace file, both files
# whole as they were, and the page still counted as unsaved (closing asks).
import os
import resource
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(__file__))
from harness import Workbench, check, check_equal, run  # noqa: E402

LIMIT = 28 * 1024  # below the 32767 characters a line edit holds


def limit_file_size():
    resource.setrlimit(resource.RLIMIT_FSIZE, (LIMIT, LIMIT))
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)


def fill(folder):
    fd = os.open(os.path.join(folder, "filler"), os.O_WRONLY | os.O_CREAT)
    try:
        while os.write(fd, b"\0" * 1024) > 0:
            pass
    except OSError:
        pass
    finally:
        os.close(fd)


def case(w):
    full = w.path("full")
    os.makedirs(full)
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=128k", "tmpfs", full],
                             capture_output=True).returncode == 0
    try:
        if mounted:
            page = w.write("full/page.js", b"old\r\ntext")
            fill(full)
            old = b"old\r\ntext"
        else:
            old = b"x" * (LIMIT + 4096)  # any rewrite of it passes the limit
            page = w.write("full/page.js", old)
        print("full disk:", "tmpfs" if mounted else "file-size limit only")

        # A main-file name longer than the limit makes the workspace file too large.
        w.write_workspace("m" * 30000, [page])
        old_ini = w.workspace()
        w.start(preexec=limit_file_size)

        w.click_widget("PageControl1")
        w.key("ctrl+Home")
        w.type("new ")
        w.key("ctrl+s")
        w.answer_box("error of saving")
        time.sleep(0.5)
        check_equal(w.boxes(), ["error of saving"], "messages")
        detail = w.box_details()[0]
        check(page in detail and "orvel.ini" in detail,
              f"the page and the workspace file in one message: {detail[:300]!r}")
        check_equal(w.read("full/page.js"), old, "the page's file")
        check(w.workspace() == old_ini, "the workspace file is as it was")
        check_equal(sorted(os.listdir(full)), sorted(["page.js"] + (["filler"] if mounted else [])),
                    "files in the full folder (no temporary left)")

        # Still unsaved: closing tries again and then asks.
        mark = w.mark()
        w.close()
        w.answer_box("error of saving", after=mark)
        w.click_box("Close anyway", "Yes", after=mark)
        w.wait_exit()
        check_equal(w.read("full/page.js"), old, "the page's file after closing")
    finally:
        if mounted:
            subprocess.run(["umount", "-l", full], check=False)


run(case)
