#!/usr/bin/env python3
"""Black-box run: the HTTP client library is loaded by the first HTTP call, so a run
starts without it, and when it cannot be loaded every inet member fails with a message
that names the file and the reason, sends nothing and leaves the named file alone.

Usage: run_unloadable_library.py ORVEL

The library path starts with a folder that holds an empty file named libcurl.so.4,
which the loader finds before the system's copy.
"""
import hashlib
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from script_road import run_script, start_server  # noqa: E402

requests = []


def answer(conn, head):
    requests.append(head)
    conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")


SCRIPT = """
sys.out("the run started");
var url = "http://127.0.0.1:@PORT@/x";
var calls = {
  toString: function () { return inet.toString(url); },
  toFile: function () { return inet.toFile(url, "kept.txt"); },
  headers: function () { return inet.headers(url); },
  header: function () { return inet.header(url, "Content-Length"); },
  queryInfo: function () { return inet.queryInfo(url, 19); }
};
for (var name in calls) {
  try {
    sys.out(name + " returned " + calls[name]());
  } catch (e) {
    sys.out(name + ": " + e.message);
  }
}
sys.out("kept.txt " + sys.md5_file("kept.txt"));
"""


def prepare(folder):
    os.mkdir(os.path.join(folder, "lib"))
    open(os.path.join(folder, "lib", "libcurl.so.4"), "wb").close()
    with open(os.path.join(folder, "kept.txt"), "wb") as f:
        f.write(b"kept")


def expected(folder):
    reason = "Cannot load the HTTP client library: %s/lib/libcurl.so.4: file too short" % folder
    out = "the run started\n"
    for name in ("toString", "toFile", "headers", "header", "queryInfo"):
        out += "%s: %s\n" % (name, reason)
    return out + "kept.txt %s\n" % hashlib.md5(b"kept").hexdigest().upper()


def main():
    status = run_script(sys.argv[1], start_server(answer), SCRIPT, expected, timeout=60,
                        prepare=prepare,
                        env_of=lambda folder: {"LD_LIBRARY_PATH": os.pathsep.join(
                            [os.path.join(folder, "lib")] +
                            [p for p in os.environ.get("LD_LIBRARY_PATH", "").split(os.pathsep) if p])})
    if requests:
        sys.stderr.write("the server got %d request(s)\n" % len(requests))
        status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
