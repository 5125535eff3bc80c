#!/usr/bin/env python3
"""inet.toString of a 100 MB body from a script, against curl -o /dev/null.

Usage: bench/inet_compare.py [ORVEL] [ROUNDS]   (default: build/orvel, 9 rounds)

One local server on 127.0.0.1 serves the same 100 MB body to both. Each round runs
`orvel --run` on a script that times `inet.toString(url)` (the call as the script pays
for it, until the string is the script's) and `curl -s -o /dev/null -w %{time_total}`
(curl's own transfer time, without its process start); the order alternates from round
to round. Prints each round and the min / median / max of the ratio curl time ÷ orvel
time (1.0: as fast as curl; higher is faster). Installs curl when it is missing.
"""
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import threading

SIZE = 100 * 1024 * 1024
BODY = (b"abcdefghijklmnopqrstuvwxyz0123456789\n" * (SIZE // 37 + 1))[:SIZE]
HEAD = b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % SIZE


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
        while True:
            while b"\r\n\r\n" not in data:
                chunk = conn.recv(65536)
                if not chunk:
                    return
                data += chunk
            data = data.split(b"\r\n\r\n", 1)[1]
            conn.sendall(HEAD)
            conn.sendall(memoryview(BODY))


SCRIPT = """
var url = "@URL@";
var t0 = Date.now();
var s = inet.toString(url);
var t1 = Date.now();
sys.out((t1 - t0) + " " + s.length);
"""


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    orvel = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else os.path.join(root, "build", "orvel")
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 9
    if not shutil.which("curl"):
        subprocess.run(["apt-get", "install", "-y", "-q", "curl"], check=True)
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    url = "http://127.0.0.1:%d/body" % listener.getsockname()[1]
    threading.Thread(target=serve, args=(listener,), daemon=True).start()
    folder = tempfile.mkdtemp(prefix="orvel_inet_bench_")
    with open(os.path.join(folder, "fetch.js"), "w") as f:
        f.write(SCRIPT.replace("@URL@", url))
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    for name in ("http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"):
        env.pop(name, None)

    def run_orvel():
        out = subprocess.run([orvel, "--run", "fetch.js", "--no-wait"], cwd=folder, env=env,
                             capture_output=True, text=True, check=True).stdout.split()
        if int(out[1]) != SIZE:
            sys.exit("orvel: the string holds %s characters, not %d" % (out[1], SIZE))
        return float(out[0]) / 1000

    def run_curl():
        out = subprocess.run(["curl", "-s", "-o", "/dev/null", "-w", "%{time_total} %{size_download}",
                              url], env=env, capture_output=True, text=True, check=True).stdout.split()
        if int(out[1]) != SIZE:
            sys.exit("curl: %s bytes, not %d" % (out[1], SIZE))
        return float(out[0])

    ratios = []
    try:
        run_orvel(), run_curl()  # warm the page cache and the server
        for i in range(rounds):
            if i % 2 == 0:
                o, c = run_orvel(), run_curl()
            else:
                c, o = run_curl(), run_orvel()
            ratios.append(c / o)
            print("round %d: orvel %.3f s, curl %.3f s, ratio %.2f" % (i + 1, o, c, c / o))
    finally:
        listener.close()
        shutil.rmtree(folder, ignore_errors=True)
    print("inet.toString (100 MB) vs curl -o /dev/null: ratio min %.2f, median %.2f, max %.2f"
          % (min(ratios), statistics.median(ratios), max(ratios)))


if __name__ == "__main__":
    main()
