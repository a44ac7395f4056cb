"""Drives the real quorix program as a user does: finds its controls on the accessibility bus
(AT-SPI, by accessible name and role), moves the mouse and types with xdotool, and reads back what
the program shows. Runs inside an X display with a window manager and a private D-Bus session
(see run_e2e.sh)."""

import os
import shutil
import signal
import subprocess
import tempfile
import time
import warnings

warnings.filterwarnings("ignore", category=DeprecationWarning)
import pyatspi  # noqa: E402
from PIL import ImageGrab

# Upper bound for any wait: only stops a hang on a loaded machine; nothing asserts a duration.
PATIENCE = float(os.environ.get("QUORIX_E2E_PATIENCE", "60"))


class Timeout(AssertionError):
    pass


# Programs started and not yet ended: ended too when the suite itself is stopped.
_running = set()


def _stop_all(signum, _frame):
    for process in list(_running):
        process.kill()
    raise SystemExit(128 + signum)


signal.signal(signal.SIGTERM, _stop_all)


def wait_for(what, condition, timeout=PATIENCE, step=0.1):
    """Polls `condition` until it returns a true value, which is returned."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            value = condition()
            if value:
                return value
        except Exception as error:  # the tree changes under us while widgets come and go
            last_error = error
        if time.monotonic() > deadline:
            _keep_screen("timeout")
            raise Timeout("waited %.0f s for %s%s" % (
                timeout, what, " (last error: %r)" % last_error if last_error else ""))
        time.sleep(step)


def _keep_screen(what):
    """Keeps the whole screen among the artifacts, for a person to see what went wrong."""
    folder = os.environ.get("QUORIX_E2E_ARTIFACTS")
    if folder:
        try:
            ImageGrab.grab(xdisplay=os.environ.get("DISPLAY")).save(
                os.path.join(folder, "%s-%d.png" % (what, int(time.time() * 1000))))
        except Exception:
            pass


def xdo(*args):
    subprocess.run(["xdotool", *[str(a) for a in args]], check=True, timeout=PATIENCE)


def _showing(acc):
    try:
        return acc.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False


def extents(acc):
    e = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return e.x, e.y, e.width, e.height


def text_of(acc):
    try:
        return acc.queryText().getText(0, -1)
    except NotImplementedError:
        return acc.name


def name_of(acc):
    """The current name: the bus library may hold an old one for a control whose text changed."""
    try:
        acc.clearCache()
    except Exception:
        pass
    return acc.name


def value_of(acc):
    return acc.queryValue().currentValue


class Quorix:
    """One run of the program with its own home folder."""

    def __init__(self, home, extra_env=None):
        self.home = home
        self.exe = os.path.join(os.environ["QUORIX_BIN_DIR"], "quorix")
        self.extra_env = extra_env or {}
        self.process = None
        self.log = None
        self._found = {}

    # ---- settings the user made earlier (written before the start) --------------------------
    @property
    def ini(self):
        return os.path.join(self.home, ".local/share/Quorix/QUORIX.ini")

    def seed_settings(self, groups):
        """Writes `groups` ({"File": {"usePresetPath": "true"}}) into the settings file."""
        os.makedirs(os.path.dirname(self.ini), exist_ok=True)
        with open(self.ini, "w", encoding="utf-8") as f:
            for group, keys in groups.items():
                f.write("[%s]\n" % group)
                for k, v in keys.items():
                    f.write("%s=%s\n" % (k, v))
                f.write("\n")

    # ---- life ---------------------------------------------------------------------------------
    def start(self):
        env = dict(os.environ)
        env.update({
            "HOME": self.home,
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "QT_QPA_PLATFORM": "xcb",
            "QUORIX_DEMO_CAMERA": "1",
            "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
            "XDG_DATA_HOME": os.path.join(self.home, ".local/share"),
        })
        env.update(self.extra_env)
        self._found = {}
        self.log = open(os.path.join(self.home, "quorix-%d.log" % int(time.time() * 1000)), "w")
        self.process = subprocess.Popen([self.exe], env=env, stdout=self.log,
                                        stderr=subprocess.STDOUT)
        _running.add(self.process)
        self.app = wait_for("the program on the accessibility bus", self._find_app)
        self.frame = wait_for("the main window", lambda: self._main_frame())
        return self

    def _find_app(self):
        if self.process.poll() is not None:
            raise AssertionError("quorix exited with %s" % self.process.returncode)
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.get_process_id() == self.process.pid:
                return app
        return None

    def _main_frame(self):
        for i in range(self.app.childCount):
            w = self.app.getChildAtIndex(i)
            if w.name.startswith("QUORIX") and _showing(w):
                return w
        return None

    def running(self):
        return self.process is not None and self.process.poll() is None

    def wait_exit(self):
        wait_for("the program to end", lambda: self.process.poll() is not None)
        _running.discard(self.process)
        self.log.close()
        return self.process.returncode

    def kill(self):
        if self.running():
            self.process.terminate()
            try:
                self.process.wait(20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        if self.process is not None:
            _running.discard(self.process)
        if self.log and not self.log.closed:
            self.log.close()

    # ---- windows ------------------------------------------------------------------------------
    def title(self):
        return name_of(self.frame)

    def windows(self):
        """The program's shown top-level windows (main window, dialogs, menus)."""
        out = []
        for i in range(self.app.childCount):
            w = self.app.getChildAtIndex(i)
            if w is not None and _showing(w):
                out.append(w)
        return out

    def window(self, name, timeout=PATIENCE):
        """Waits for a shown top-level window (a dialog) whose name is `name`."""
        return wait_for("window %r" % name, lambda: next(
            (w for w in self.windows() if w.name == name), None), timeout)

    def window_offset(self, window):
        """How far the window really is from where the program reports it on the accessibility
        bus. The program's frameless dialogs are placed by the window manager without the
        program learning where (their menus open at the screen's corner too), so their
        reported positions are off by this much."""
        out = subprocess.run(["xdotool", "search", "--pid", str(self.process.pid), "--name",
                              "^%s$" % window.name], capture_output=True, text=True,
                             timeout=PATIENCE).stdout.split()
        x, y, w, h = extents(window)
        for xid in out:
            geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", xid],
                                      capture_output=True, text=True,
                                      timeout=PATIENCE).stdout
            values = dict(line.split("=", 1) for line in geometry.split())
            if (int(values["WIDTH"]), int(values["HEIGHT"])) == (w, h):
                return int(values["X"]) - x, int(values["Y"]) - y
        return 0, 0

    def click_in(self, offset, acc, button=1):
        x, y = self.centre(acc)
        self.click_at(x + offset[0], y + offset[1], button=button)

    def gone(self, acc):
        wait_for("%r to close" % acc.name, lambda: not _showing(acc) or
                 acc not in self.windows(), step=0.1)

    # ---- finding ------------------------------------------------------------------------------
    def find_all(self, root=None, name=None, role=None, description=None, showing=True,
                 predicate=None):
        root = root or self.frame
        found = []

        def visit(acc, depth):
            if acc is None:
                return
            if showing and depth > 0 and not _showing(acc):
                return
            if ((name is None or acc.name == name) and
                    (role is None or acc.getRoleName() == role) and
                    (description is None or acc.description == description) and
                    (predicate is None or predicate(acc))):
                found.append(acc)
            for i in range(acc.childCount):
                visit(acc.getChildAtIndex(i), depth + 1)

        visit(root, 0)
        return found

    def find(self, name=None, role=None, root=None, description=None, timeout=PATIENCE,
             predicate=None):
        """Waits until exactly one shown control matches and returns it. A control found once is
        remembered while it stays shown and matching: walking the tree over the bus is slow."""
        key = (id(root) if root is not None else None, name, role, description, predicate)
        known = self._found.get(key)
        if known is not None:
            try:
                if (_showing(known) and (name is None or known.name == name) and
                        (description is None or known.description == description)):
                    return known
            except Exception:
                pass
            del self._found[key]

        def one():
            hits = self.find_all(root, name, role, description, predicate=predicate)
            if len(hits) > 1:
                raise AssertionError("%d controls named %r (%s)" % (len(hits), name, role))
            return hits[0] if hits else None
        acc = wait_for("control %r (%s)" % (name or description, role), one, timeout)
        self._found[key] = acc
        return acc

    # ---- the user's hands ---------------------------------------------------------------------
    def centre(self, acc):
        x, y, w, h = extents(acc)
        return x + w // 2, y + h // 2

    def move(self, x, y):
        # Not --sync: it never returns when the pointer is already there.
        xdo("mousemove", int(x), int(y))

    def click_at(self, x, y, button=1, count=1):
        self.move(x, y)
        xdo("click", "--repeat", count, "--delay", 80, button)

    def click(self, acc, button=1, count=1):
        self.click_at(*self.centre(acc), button=button, count=count)

    def drag(self, start, end, steps=8):
        self.move(*start)
        xdo("mousedown", 1)
        for i in range(1, steps + 1):
            self.move(start[0] + (end[0] - start[0]) * i / steps,
                      start[1] + (end[1] - start[1]) * i / steps)
        xdo("mouseup", 1)

    def wheel(self, x, y, up=True, count=1):
        self.move(x, y)
        xdo("click", "--repeat", count, "--delay", 60, 4 if up else 5)

    def key(self, *keys):
        for k in keys:
            xdo("key", "--clearmodifiers", k)

    def type(self, text):
        xdo("type", "--delay", 20, text)

    def screenshot(self, path=None, acc=None, box=None):
        """The screen (or the area of `acc`, or `box` = (x, y, w, h)) as the user sees it; also
        written to `path` when one is given."""
        if acc is not None:
            box = extents(acc)
        bbox = None if box is None else (box[0], box[1], box[0] + box[2], box[1] + box[3])
        picture = ImageGrab.grab(bbox=bbox, xdisplay=os.environ.get("DISPLAY"))
        if path:
            picture.save(path)
        return picture


def choose_in_combo(app, combo, item_text):
    """Opens a combo box with the mouse and clicks the entry `item_text` in its list."""
    app.click(combo)
    entry = app.find(item_text, "list item", root=combo,
                     predicate=lambda a: extents(a)[2] > 0 and extents(a)[1] > 0)
    app.click(entry)
    wait_for("%r chosen" % item_text, lambda: name_of(combo) == item_text or
             text_of(combo) == item_text)


def private_home(prefix):
    home = tempfile.mkdtemp(prefix=prefix)
    return home


def remove_home(home):
    shutil.rmtree(home, ignore_errors=True)
