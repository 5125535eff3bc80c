"""Real-window tests: the built orvel on its own X server, driven by real key and mouse
events (xdotool, through XTEST), the way a person's keys reach it.

Each case is one script `tests/window/<name>.py`, registered with CTest as
`window/<name>`. Write one like this:

    #!/usr/bin/env python3
    from harness import Workbench, run

    def case(w):
        w.write("a.js", b"one\\r\\ntwo")        # files live in w.root
        w.start(w.path("a.js"))                # orvel a.js; returns when the window is up
        w.click_widget("PageControl1")         # click into the editor
        w.key("ctrl+End")
        w.type("X")
        w.key("ctrl+s")
        w.wait_file("a.js", b"one\\r\\ntwoX")   # polls, bounded
        w.close()                              # the window manager's close
        w.wait_exit()                          # exit status 0, no sanitizer report

    run(case)

What the harness gives each case:
- its own Xvfb (1280x1024 by default; a free display number picked by the server
  itself, so cases run in parallel), its own private D-Bus session bus, its own HOME
  and XDG folders, and its own copy of the executable folder (the workspace file
  orvel.ini is written beside the executable, so cases must not share one);
- the workbench's test log (ORVEL_TEST_LOG): "log" lines (the log memo), "box" and
  "boxdone" (a message box shown and answered), "close" (the window was asked to
  close), "geometry <name> x y w h" (where the
  named controls of the main window, and "tab<i>" for its tabs, lie on the screen),
  "ready" (the window is up). `wait_log`, `wait_event`, `geometry` read it;
- `answer_box(text, *keys)`: waits for the message box whose text contains `text`,
  gives it the keyboard and presses the keys (real key events; "Return", "Escape",
  "alt+d" ...); `click_box(text, "Discard")` clicks one of its buttons instead;
- every wait polls with a bound (`timeout`) and fails the case with what it saw.

There is no window manager: a window is where the program puts it, and `focus`
gives a window the keyboard the way a window manager would (SetInputFocus).
On failure the case's folder is kept and its path printed, with a screenshot of
the screen (`screen.png`) when ImageMagick's `import` is there.
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

DEFAULT_TIMEOUT = float(os.environ.get("ORVEL_WINDOW_TIMEOUT", "20"))
TITLE = "Orvel configurator"


class CaseFailed(Exception):
    pass


def check(condition, message):
    if not condition:
        raise CaseFailed(message)


def check_equal(actual, expected, what="value"):
    if actual != expected:
        raise CaseFailed(f"{what}: expected {expected!r}, got {actual!r}")


def poll(condition, timeout=DEFAULT_TIMEOUT, what="condition", interval=0.05):
    """Calls condition() until it returns something true; fails after `timeout` s."""
    end = time.monotonic() + timeout
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() > end:
            raise CaseFailed(f"timed out after {timeout:g} s waiting for {what}")
        time.sleep(interval)


class Workbench:
    def __init__(self, screen="1280x1024x24", env=None):
        self.exe = os.environ.get("ORVEL")
        check(self.exe and os.path.isfile(self.exe), "ORVEL must name the built orvel")
        self.source_dir = os.environ.get("ORVEL_SOURCE_DIR", "")
        self.root = tempfile.mkdtemp(prefix="orvel-window-")
        self.app_dir = os.path.join(self.root, "app")
        self.home = os.path.join(self.root, "home")
        self.test_log = os.path.join(self.root, "test.log")
        self.stderr_path = os.path.join(self.root, "orvel.stderr")
        self.extra_env = dict(env or {})
        self.proc = None
        self.exit_code = None
        self._xvfb = None
        self._dbus = None
        self._stderr = None
        self._copy_program()
        for d in ("home", "home/.config", "home/.cache", "home/.local/share", "runtime"):
            os.makedirs(os.path.join(self.root, d), exist_ok=True)
        os.chmod(os.path.join(self.root, "runtime"), 0o700)
        self._start_display(screen)
        self._start_bus()

    # ---- set-up -------------------------------------------------------------------

    def _copy_program(self):
        build = os.path.dirname(self.exe)
        os.makedirs(self.app_dir)
        target = os.path.join(self.app_dir, "orvel")
        try:
            os.link(self.exe, target)  # cheap; the program sees its own folder
        except OSError:
            shutil.copy2(self.exe, target)
        for name in ("examples", "lib", "docs"):  # what the build puts beside it
            if os.path.isdir(os.path.join(build, name)):
                shutil.copytree(os.path.join(build, name), os.path.join(self.app_dir, name))
        if os.path.isfile(os.path.join(build, "README.md")):
            shutil.copy2(os.path.join(build, "README.md"), self.app_dir)
        self.program = target

    def _start_display(self, screen):
        # -displayfd: the server takes a free display number itself (no race between
        # cases started at once) and writes it to the pipe when it accepts clients.
        r, w = os.pipe()
        self._xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(w), "-screen", "0", screen, "-nolisten", "tcp",
             "-noreset"],
            pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        number = b""
        end = time.monotonic() + DEFAULT_TIMEOUT
        while not number.endswith(b"\n"):
            check(time.monotonic() < end, "Xvfb did not start")
            chunk = os.read(r, 16)
            check(chunk, "Xvfb ended before it took a display")
            number += chunk
        os.close(r)
        self.display = ":" + number.decode().strip()

    def _start_bus(self, user=None):
        cmd = ["dbus-daemon", "--session", "--nofork", "--print-address=1"]
        if user:
            cmd = ["setpriv", f"--reuid={user}", f"--regid={user_group(user)}",
                   "--clear-groups", *cmd]
        self._dbus = subprocess.Popen(
            cmd,
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.bus_address = self._dbus.stdout.readline().strip()
        check(self.bus_address, "dbus-daemon gave no address")

    def env(self):
        e = {k: v for k, v in os.environ.items() if not k.startswith(("QT_", "XDG_"))}
        e.update({
            "DISPLAY": self.display,
            "HOME": self.home,
            "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
            "XDG_CACHE_HOME": os.path.join(self.home, ".cache"),
            "XDG_DATA_HOME": os.path.join(self.home, ".local/share"),
            "XDG_RUNTIME_DIR": os.path.join(self.root, "runtime"),
            "DBUS_SESSION_BUS_ADDRESS": self.bus_address,
            "QT_QPA_PLATFORM": "xcb",
            "ORVEL_TEST_LOG": self.test_log,
        })
        e.update(self.extra_env)
        return e

    # ---- the program --------------------------------------------------------------

    def start(self, *args, wait=True, preexec=None, user=None):
        """Starts orvel with `args`; waits until its window is up unless wait=False.
        user: run as that user (setpriv), for permission cases when we are root."""
        check(self.proc is None, "orvel already started")
        self._stderr = open(self.stderr_path, "wb")
        cmd = [self.program, *args]
        if user and os.geteuid() == 0:
            self.give_to(user)
            # A session bus is the user's own: the program could not talk to ours.
            self._stop(self._dbus)
            self._start_bus(user)
            cmd = ["setpriv", f"--reuid={user}", f"--regid={user_group(user)}",
                   "--clear-groups", *cmd]
        self.proc = subprocess.Popen(cmd, cwd=self.root, env=self.env(),
                                     stdout=subprocess.DEVNULL, stderr=self._stderr,
                                     preexec_fn=preexec)
        if wait:
            self.wait_event("ready")
        return self

    def give_to(self, user):
        """Makes the case's folder the user's (the program itself stays as it is)."""
        import pwd
        pw = pwd.getpwnam(user)
        open(self.test_log, "ab").close()
        os.chmod(self.root, 0o755)
        for top, dirs, files in os.walk(self.root):
            for name in [top] + [os.path.join(top, f) for f in files]:
                if os.path.abspath(name) != os.path.abspath(self.program):
                    os.chown(name, pw.pw_uid, pw.pw_gid)

    def running(self):
        return self.proc is not None and self.proc.poll() is None

    def wait_exit(self, timeout=DEFAULT_TIMEOUT, expect=0):
        """Waits for the program to end; checks its status and that no sanitizer spoke."""
        check(self.proc is not None, "orvel was not started")
        try:
            self.exit_code = self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise CaseFailed(f"orvel did not end within {timeout:g} s")
        self._check_sanitizer()
        check_equal(self.exit_code, expect, "exit status of orvel")
        return self.exit_code

    def check_alive(self):
        """Fails if the program has died (a crash shows up here, not as a timeout)."""
        if self.proc is not None and self.proc.poll() is not None:
            self._check_sanitizer()
            raise CaseFailed(f"orvel ended unexpectedly with status {self.proc.returncode}"
                             f"\n{self.stderr()[-3000:]}")

    def stderr(self):
        try:
            with open(self.stderr_path, "rb") as f:
                return f.read().decode("utf-8", "replace")
        except FileNotFoundError:
            return ""

    def _check_sanitizer(self):
        text = self.stderr()
        if "ERROR: AddressSanitizer" in text or "ERROR: LeakSanitizer" in text:
            raise CaseFailed("sanitizer report:\n" + text[-6000:])

    # ---- the test log ---------------------------------------------------------------

    def events(self, kind=None):
        try:
            with open(self.test_log, "rb") as f:
                lines = f.read().decode("utf-8", "replace").split("\n")[:-1]
        except FileNotFoundError:
            return []
        out = []
        for line in lines:
            k, _, text = line.partition(" ")
            if kind is None or k == kind:
                out.append((k, text))
        return out

    def mark(self):
        """The number of test-log lines so far; pass it as `after` to wait for new ones."""
        return len(self.events())

    def wait_event(self, kind, contains="", after=0, count=1, timeout=DEFAULT_TIMEOUT):
        """Waits until `count` lines of `kind` whose text contains `contains` appeared
        after line `after`; returns their texts."""
        def found():
            alive = self.proc is None or self.proc.poll() is None
            hits = [t for k, t in self.events()[after:] if k == kind and contains in t]
            if len(hits) >= count:
                return hits
            if not alive:
                self.check_alive()
            return None
        return poll(found, timeout, f'{count} x "{kind} {contains}" in the test log'
                    f" (have: {self.events()[after:][-8:]})")

    def log(self):
        """The lines the log memo received so far."""
        return [t for _, t in self.events("log")]

    def wait_log(self, text, count=1, after=0, timeout=DEFAULT_TIMEOUT):
        return self.wait_event("log", text, after=after, count=count, timeout=timeout)

    def boxes(self):
        """Texts of the message boxes shown so far."""
        return [t for _, t in self.events("box")]

    def geometry(self, name):
        """(x, y, w, h) of a named control (or "tab<i>", "Form1") in screen pixels."""
        def latest():
            for k, t in reversed(self.events("geometry")):
                parts = t.split(" ")
                if parts[0] == name:
                    return tuple(int(v) for v in parts[1:5])
            return None
        return poll(latest, what=f"the geometry of {name}")

    # ---- X input --------------------------------------------------------------------

    def xdotool(self, *args, timeout=DEFAULT_TIMEOUT):
        self.check_alive()
        r = subprocess.run(["xdotool", *args], env=self.env(), capture_output=True,
                           text=True, timeout=timeout)
        return r.stdout

    def key(self, *keys, delay_ms=30):
        """Real key presses, e.g. key("ctrl+s"), key("F9"), key("Down", "Down")."""
        self.xdotool("key", "--delay", str(delay_ms), *keys)
        self.settle()

    def type(self, text, delay_ms=12):
        self.xdotool("type", "--delay", str(delay_ms), "--", text)
        self.settle()

    def click(self, x, y, button=1):
        self.xdotool("mousemove", "--sync", str(x), str(y))
        self.xdotool("click", str(button))
        self.settle()

    def click_widget(self, name, fx=0.5, fy=0.5, button=1):
        """Clicks inside a named control at a fraction of its width and height."""
        x, y, w, h = self.geometry(name)
        self.click(x + int(w * fx), y + int(h * fy), button)

    def settle(self):
        """Lets the program take the events just sent: a round trip through its queue
        is not observable from outside, so wait until X has delivered them."""
        time.sleep(0.15)

    def windows(self, title=TITLE):
        out = self.xdotool("search", "--onlyvisible", "--name", title)
        return sorted(int(w) for w in out.split())

    def poll_window(self, title, timeout=DEFAULT_TIMEOUT):
        """Waits for a visible window whose title matches; returns its id."""
        return poll(lambda: self.windows(title), timeout, f'a window titled "{title}"')[-1]

    def wait_window_gone(self, title, timeout=DEFAULT_TIMEOUT):
        poll(lambda: not self.windows(title), timeout, f'the window "{title}" to go')

    def focus(self, window):
        self.xdotool("windowfocus", "--sync", str(window))

    def focus_main(self):
        """Gives the workbench window the keyboard."""
        x, y, w, h = self.geometry("Form1")
        for win in self.windows():
            out = self.xdotool("getwindowgeometry", str(win))
            m = re.search(r"Position: (\d+),(\d+).*?Geometry: (\d+)x(\d+)", out, re.S)
            if m and (int(m.group(3)), int(m.group(4))) == (w, h):
                self.focus(win)
                return win
        raise CaseFailed("no visible workbench window")

    def focus_newest(self, title=TITLE):
        wins = poll(lambda: self.windows(title), what=f'a window titled "{title}"')
        self.focus(wins[-1])
        return wins[-1]

    def answer_box(self, text, *keys, after=0, title=TITLE):
        """Waits for a message box containing `text` (shown after test-log line `after`),
        answers it with real keys (default Return) and waits until it has closed."""
        done_before = len([1 for k, t in self.events()[after:]
                           if k == "boxdone" and text in t])
        self.wait_event("box", text, after=after, count=done_before + 1)
        time.sleep(0.2)  # the box is mapped after it is logged
        self.focus_newest(title)
        self.key(*(keys or ("Return",)))
        self.wait_event("boxdone", text, after=after, count=done_before + 1)

    def click_box(self, text, button, after=0):
        """Waits for the message box containing `text` and clicks its button labelled
        `button` (e.g. "Discard") with the mouse; waits until the box has closed."""
        done_before = len([1 for k, t in self.events()[after:]
                           if k == "boxdone" and text in t])
        self.wait_event("box", text, after=after, count=done_before + 1)
        self.wait_event("geometry", "box:" + button + " ", after=after)
        time.sleep(0.2)
        self.click_widget("box:" + button)
        self.wait_event("boxdone", text, after=after, count=done_before + 1)

    def choose_file(self, path, after=0):
        """Answers the file dialog (opened after test-log line `after`) by typing the
        full path into its file-name box and pressing Return."""
        done_before = len(self.events("dialogdone"))
        self.wait_event("dialog", after=after)
        time.sleep(0.4)  # mapped after it is logged
        self.focus_newest(".")
        self.key("ctrl+a")
        self.type(path)
        self.key("Return")
        poll(lambda: len(self.events("dialogdone")) > done_before, what="the file dialog to close")

    def box_details(self):
        """The detail texts of the message boxes so far, lines joined by "|"."""
        return [t for _, t in self.events("boxdetail")]

    def close(self):
        """Asks the main window to close, as a window manager's close button does.
        On a loaded machine the first request is now and then not seen by the program
        (no close reaches the window); it is sent again, as a person clicks again."""
        before = len(self.events("close"))
        for attempt in range(3):
            self._send_close()
            try:
                self.wait_event("close", count=before + 1, timeout=3)
                break
            except CaseFailed:
                if not self.running():
                    break
                print("close request not seen; sending it again", file=sys.stderr)
        self.settle()

    def _send_close(self):
        from Xlib import X, display, protocol  # python3-xlib
        d = display.Display(self.display)
        try:
            x, y, w, h = self.geometry("Form1")
            target = None
            for win in self.windows():
                g = d.create_resource_object("window", win).get_geometry()
                if (g.width, g.height) == (w, h):
                    target = win
            check(target is not None, "no visible workbench window to close")
            window = d.create_resource_object("window", target)
            protocols = d.intern_atom("WM_PROTOCOLS")
            delete = d.intern_atom("WM_DELETE_WINDOW")
            event = protocol.event.ClientMessage(
                window=window, client_type=protocols,
                data=(32, [delete, X.CurrentTime, 0, 0, 0]))
            window.send_event(event, event_mask=X.NoEventMask)
            d.flush()
        finally:
            d.close()

    # ---- files ----------------------------------------------------------------------

    def path(self, name):
        return os.path.join(self.root, name)

    def write(self, name, data):
        p = self.path(name)
        os.makedirs(os.path.dirname(p), exist_ok=True)
        with open(p, "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode())
        return p

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def wait_file(self, name, expected, timeout=DEFAULT_TIMEOUT):
        """Waits until the file holds exactly `expected` (bytes)."""
        p = self.path(name)

        def same():
            self.check_alive()
            try:
                with open(p, "rb") as f:
                    return f.read() == expected
            except FileNotFoundError:
                return False
        try:
            poll(same, timeout, f"{name} to hold {expected!r}")
        except CaseFailed:
            have = open(p, "rb").read() if os.path.exists(p) else "(no file)"
            raise CaseFailed(f"{name}: expected {expected!r}, have {have!r}")

    def write_workspace(self, main_file, pages, active=0, language="JScript"):
        """Writes orvel.ini beside the program: `pages` are paths (or (first line,
        selection start, path) triples) restored at the next start."""
        lines = [language, str(active), main_file]
        for page in pages:
            first, sel, p = page if isinstance(page, tuple) else (0, 0, page)
            lines.append(f"{first},{sel},{p}")
        with open(os.path.join(self.app_dir, "orvel.ini"), "wb") as f:
            f.write(("\r\n".join(lines) + "\r\n").encode())

    def workspace(self):
        """The workspace file beside the program, or None."""
        p = os.path.join(self.app_dir, "orvel.ini")
        return open(p, "rb").read() if os.path.exists(p) else None

    def screenshot(self, path):
        if shutil.which("import"):
            subprocess.run(["import", "-window", "root", path], env=self.env(),
                           timeout=DEFAULT_TIMEOUT, check=False)

    # ---- teardown -------------------------------------------------------------------

    @staticmethod
    def _stop(p):
        if p and p.poll() is None:
            p.terminate()
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
        if p and p.stdout:
            p.stdout.close()

    def finish(self, ok):
        if self.proc is not None and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        if self._stderr:
            self._stderr.close()
        self._stop(self._dbus)
        self._stop(self._xvfb)
        if ok:
            shutil.rmtree(self.root, ignore_errors=True)
        else:
            print(f"case folder kept: {self.root}", file=sys.stderr)


BUS_NAME = "org.orvel.Workbench"


def bus_factory(w):
    """The automation server's factory on the case's bus, once the program holds its
    name: (bus connection, factory interface). Needs python3-dbus."""
    import dbus
    bus = dbus.bus.BusConnection(w.bus_address)
    poll(lambda: bus.name_has_owner(BUS_NAME), what="the workbench on the bus")
    return bus, dbus.Interface(bus.get_object(BUS_NAME, "/org/orvel/Workbench"),
                               "org.orvel.Workbench.Factory")


def user_group(user):
    import grp
    import pwd
    return grp.getgrgid(pwd.getpwnam(user).pw_gid).gr_name


def run(case, **options):
    """Runs one case on a fresh Workbench; exit status 0 when it passed."""
    w = Workbench(**options)
    ok = False
    try:
        case(w)
        ok = True
    except Exception:
        traceback.print_exc()
        try:
            if w._xvfb and w._xvfb.poll() is None:
                w.screenshot(os.path.join(w.root, "screen.png"))
        except Exception:
            pass
        err = w.stderr()
        if err:
            print("---- orvel stderr (tail) ----\n" + err[-4000:], file=sys.stderr)
        print("---- test log (tail) ----", file=sys.stderr)
        for k, t in w.events()[-30:]:
            print(f"{k} {t}", file=sys.stderr)
    finally:
        w.finish(ok)
    sys.exit(0 if ok else 1)
