#!/usr/bin/env python3
"""Black-box run of `inet` against a server on 127.0.0.1 that misbehaves.

Usage: run_misbehaving_server.py ORVEL

Starts the server on a free port, writes a script that fetches from it into a fresh
folder, runs `ORVEL --run script.js --no-wait` there and compares its output with the
expected lines. Exits 0 when they match.
"""
import hashlib
import os
import socket
import sys

sys.path.insert(0, os.path.dirname(__file__))
from script_road import run_script, start_server  # noqa: E402

BODY = b"whole body\n" * 1000


def answer(path):
    """The bytes to send for a path, and whether to reset the connection after them."""
    if path == "/short":
        return b"HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + b"b" * 800, False
    if path == "/abc":
        return b"HTTP/1.1 abc OK\r\nContent-Length: 2\r\n\r\nhi", False
    if path == "/umlaut":
        return ("HTTP/1.1 200 OK\r\nX-\u00c4-Gr\u00f6\u00dfe: umlaut\r\n"
                "Content-Length: 0\r\n\r\n").encode("utf-8"), False
    return b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % len(BODY) + BODY, False


def serve_one(conn, head):
    line = head.split(b"\r\n", 1)[0].decode("latin-1").split(" ")
    reply, reset = answer(line[1])
    if line[0] == "HEAD":
        reply = reply.split(b"\r\n\r\n", 1)[0] + b"\r\n\r\n"
    conn.sendall(reply)
    if reset:
        conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
    else:
        conn.shutdown(socket.SHUT_WR)
        conn.recv(1)


SCRIPT = r"""
var base = "http://127.0.0.1:@PORT@";
function tryOut(what, f) {
  try { sys.out(what + ": " + f()); } catch (e) { sys.out(what + " failed: " + e.message); }
}
tryOut("short toString", function () { return inet.toString(base + "/short").length; });
tryOut("short toFile", function () { return inet.toFile(base + "/short", "out/short.bin"); });
sys.out("short file md5: " + sys.md5_file("out/short.bin"));
tryOut("abc toString", function () { return inet.toString(base + "/abc"); });
tryOut("abc toFile", function () { return inet.toFile(base + "/abc", "out/abc.bin"); });
tryOut("umlaut header", function () { return inet.header(base + "/umlaut", "x-\u00e4-gr\u00f6\u00dfe"); });
tryOut("pipe toFile", function () { return inet.toFile(base + "/", "out/pipe"); });
tryOut("whole toFile", function () { return inet.toFile(base + "/", "out/whole.bin"); });
sys.out("whole file md5: " + sys.md5_file("out/whole.bin"));
"""

EXPECTED = """short toString failed: Error: InternetReadFile 18
short toFile: -1
short file md5: D41D8CD98F00B204E9800998ECF8427E
abc toString failed: 'abc' is not a valid integer value
abc toFile: -1
umlaut header: umlaut
pipe toFile failed: Cannot create file "out/pipe". No such device or address
whole toFile: 200
whole file md5: @MD5@
"""


def main():
    orvel = sys.argv[1]
    expected = EXPECTED.replace("@MD5@", hashlib.md5(BODY).hexdigest().upper())

    def prepare(folder):
        os.mkdir(os.path.join(folder, "out"))
        os.mkfifo(os.path.join(folder, "out", "pipe"))
    return run_script(orvel, start_server(serve_one), SCRIPT, expected, timeout=100,
                      prepare=prepare)


if __name__ == "__main__":
    sys.exit(main())
