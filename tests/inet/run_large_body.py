#!/usr/bin/env python3
"""Black-box run: 100 MB bodies reach a script's string whole and byte-exact.

Usage: run_large_body.py ORVEL

Serves three bodies of 100 MB from 127.0.0.1 (ASCII; UTF-8 with characters of two,
three and four bytes; bytes that are not UTF-8, which a script reads as one U+FFFD
each), and the ASCII one once more without a length (it ends at the close, so the
string's block grows as it arrives), and runs a script under `ORVEL --run` that prints
each string's length and MD5.
"""
import hashlib
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from script_road import run_script, start_server  # noqa: E402

SIZE = 100 * 1024 * 1024


def repeat(unit, size):
    return (unit * (size // len(unit) + 1))[:size]


BODIES = {
    "/ascii": repeat(b"The quick brown fox jumps over the lazy dog.\r\n", SIZE),
    "/utf8": repeat("\u00fc\u20ac\U0001d11ex".encode("utf-8"), SIZE),
    # Each byte from 0x80 up stands alone between ASCII letters; the last byte too.
    "/bytes": repeat(b"".join(b"ab" + bytes([b]) for b in range(0x80, 0x100)), SIZE - 1) + b"\xff",
}


def answer(conn, head):
    path = head.split(b" ")[1].decode()
    if path == "/unannounced":
        conn.sendall(b"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n")
        conn.sendall(memoryview(BODIES["/ascii"]))
        return
    body = BODIES[path]
    conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % len(body))
    conn.sendall(memoryview(body))


SCRIPT = """
var base = "http://127.0.0.1:@PORT@";
var names = ["ascii", "utf8", "bytes", "unannounced"];
for (var i = 0; i < names.length; i++) {
  var s = inet.toString(base + "/" + names[i]);
  sys.out(names[i] + " " + s.length + " " + sys.md5(s));
  s = null;
}
"""


def main():
    orvel = sys.argv[1]
    expected = ""
    for name in ("ascii", "utf8", "bytes", "unannounced"):
        text = BODIES["/" + name if name != "unannounced" else "/ascii"].decode("utf-8", "replace")
        units = len(text.encode("utf-16-le")) // 2
        digest = hashlib.md5(text.encode("utf-8")).hexdigest().upper()
        expected += "%s %d %s\n" % (name, units, digest)
    return run_script(orvel, start_server(answer), SCRIPT, expected, timeout=250)


if __name__ == "__main__":
    sys.exit(main())
