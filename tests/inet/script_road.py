"""What the black-box HTTP runs share: a server on 127.0.0.1 that hands each request's
head to the case, and a script run under `orvel --run` in a folder of its own whose
output is compared with what the case expects."""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading


def start_server(answer):
    """Listens on a free port of 127.0.0.1; for every connection, reads the request's
    head and calls answer(conn, head) on a thread of its own. Returns the listener."""
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)

    def serve_one(conn):
        with conn:
            head = b""
            while b"\r\n\r\n" not in head:
                chunk = conn.recv(65536)
                if not chunk:
                    return
                head += chunk
            answer(conn, head)

    def serve():
        while True:
            try:
                conn, _ = listener.accept()
            except OSError:
                return
            threading.Thread(target=serve_one, args=(conn,), daemon=True).start()

    threading.Thread(target=serve, daemon=True).start()
    return listener


def run_script(orvel, listener, script, expected, timeout, prepare=None, env_of=None):
    """Runs script (its "@PORT@" replaced by the listener's port) with ORVEL --run in a
    fresh folder (prepare(folder) first, if given; env_of(folder) adds to the
    environment); returns 0 when standard output is `expected` (or expected(folder))
    and the run ended with status 0, else 1 with both written out."""
    folder = tempfile.mkdtemp(prefix="orvel_inet_run_")
    try:
        if prepare:
            prepare(folder)
        if callable(expected):
            expected = expected(folder)
        with open(os.path.join(folder, "script.js"), "w", encoding="utf-8") as f:
            f.write(script.replace("@PORT@", str(listener.getsockname()[1])))
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        if env_of:
            env.update(env_of(folder))
        for name in ("http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"):
            env.pop(name, None)  # the server is local; a proxy must not intercept
        run = subprocess.run([orvel, "--run", "script.js", "--no-wait"], cwd=folder, env=env,
                             capture_output=True, timeout=timeout)
        out = run.stdout.decode("utf-8", "replace")
        if out != expected or run.returncode != 0:
            sys.stderr.write("--- expected\n%s--- got (exit %d)\n%s--- stderr\n%s" %
                             (expected, run.returncode, out, run.stderr.decode("utf-8", "replace")))
            return 1
        return 0
    finally:
        listener.close()
        shutil.rmtree(folder, ignore_errors=True)
