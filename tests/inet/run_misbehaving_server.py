#!/usr/bin/env python3
"""Black-box run of `inet` against a server on 127.0.0.1 that misbehaves.

Usage: run_misbehaving_server.py ORVEL

Starts the server on a free port, writes a script that fetches from it into a fresh
folder, runs `ORVEL --run script.js --no-wait` there and compares its output with the
expected lines. Exits 0 when they match.
"""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading

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


def serve(listener):
    while True:
        try:
            conn, _ = listener.accept()
        except OSError:
            return
        threading.Thread(target=serve_one, args=(conn,), daemon=True).start()


def serve_one(conn):
    with conn:
        data = b""
        while b"\r\n\r\n" not in data:
            chunk = conn.recv(4096)
            if not chunk:
                return
            data += chunk
        line = data.split(b"\r\n", 1)[0].decode("latin-1").split(" ")
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
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    port = listener.getsockname()[1]
    threading.Thread(target=serve, args=(listener,), daemon=True).start()
    folder = tempfile.mkdtemp(prefix="orvel_inet_run_")
    try:
        os.mkdir(os.path.join(folder, "out"))
        os.mkfifo(os.path.join(folder, "out", "pipe"))
        with open(os.path.join(folder, "script.js"), "w", encoding="utf-8") as f:
            f.write(SCRIPT.replace("@PORT@", str(port)))
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        for name in ("http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"):
            env.pop(name, None)
        run = subprocess.run([orvel, "--run", "script.js", "--no-wait"], cwd=folder, env=env,
                             capture_output=True, timeout=100)
        import hashlib
        expected = EXPECTED.replace("@MD5@", hashlib.md5(BODY).hexdigest().upper())
        out = run.stdout.decode("utf-8", "replace")
        if out != expected or run.returncode != 0:
            sys.stderr.write("--- expected\n%s--- got (exit %d)\n%s--- stderr\n%s" %
                             (expected, run.returncode, out, run.stderr.decode("utf-8", "replace")))
            return 1
        return 0
    finally:
        listener.close()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
