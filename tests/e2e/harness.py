"""Running the real launcher under Wine and watching it from outside: Wine processes, the
registry through `wine reg`, the inspector, launcher folders with stand-in programs and their
records, and one launcher process at a time."""

import dataclasses
import json
import os
import queue
import re
import shutil
import subprocess
import threading
import time
from pathlib import Path
from typing import Optional

TITLE = "KVAT Software Selection"
LAUNCHER_EXE = "KVAT_Launcher.exe"
SIBLINGS = ("Calix_KVAT.exe", "KVAT_Log.exe", "CDM21228_Setup.exe")

SETTINGS_KEY = r"HKCU\Software\VB and VBA Program Settings\KVAT_Software"
PROPERTIES_KEY = SETTINGS_KEY + r"\Properties"
HTTP_COMMAND_KEY = r"HKLM\Software\Classes\http\shell\open\command"
WINE_KEY = r"HKCU\Software\Wine"

# Controls in the order the window description lists them; each one's dialog control id is
# 1000 plus its place here.
CONTROL_NAMES = (
    "Label1", "Label2", "Label3", "cmdCALIX", "cmdLOG", "msgLAUNCHING", "Frame1",
    "txtUSBDriverVersion", "txtServerVersion", "txtThisVersion", "cmdDownloadSoftware",
    "cmdUpdateUSBdriver", "txtThisDriverVersion", "cmdEXIT", "cmdWEBSITE",
)
CONTROL_IDS = {name: 1000 + i for i, name in enumerate(CONTROL_NAMES)}
CONTROL_BY_ID = {i: name for name, i in CONTROL_IDS.items()}

# Bounds for waits; generous because a loaded two-core machine can be slow, never reached when
# things work.
START_TIMEOUT = 30.0
STEP_TIMEOUT = 10.0


@dataclasses.dataclass
class Config:
    launcher: Path
    standin: Path
    inspector: Path
    planted_dll: Path
    plain_loader: Path
    port: int


CONFIG: Optional[Config] = None


def config() -> Config:
    assert CONFIG is not None, "run the sessions through run_sessions.py"
    return CONFIG


def windows_path(path: Path) -> str:
    """The path as Wine's Z: drive shows it."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def wine_environment() -> dict:
    # Wine maps file names through the locale's character set: folders with non-ASCII names
    # need a UTF-8 locale, whatever the caller's is.
    return dict(os.environ, LC_ALL="C.UTF-8")


def wine_program() -> str:
    return shutil.which("wine") or "/usr/bin/wine"


def run_wine(*args: str, timeout: float = 60.0) -> subprocess.CompletedProcess:
    return subprocess.run([wine_program(), *args], env=wine_environment(), capture_output=True,
                          stdin=subprocess.DEVNULL, timeout=timeout)


# ---- registry ---------------------------------------------------------------------------------

_VALUE_LINE = re.compile(r"^ {4}(.*?) {4}(REG_[A-Z_]+)(?: {4}(.*))?$")


def reg_values(key: str) -> Optional[dict]:
    """The values of a key as {name: (type, data)}, or None when the key does not exist."""
    result = run_wine("reg", "query", key)
    if result.returncode != 0:
        return None
    values = {}
    # reg writes in the console's code page; the values read here are ASCII.
    for line in result.stdout.decode("cp437", "replace").splitlines():
        match = _VALUE_LINE.match(line.rstrip("\r"))
        if match:
            values[match.group(1)] = (match.group(2), match.group(3) or "")
    return values


def reg_value(key: str, name: str) -> Optional[tuple]:
    values = reg_values(key)
    return None if values is None else values.get(name)


def reg_set(key: str, name: Optional[str], data: str, kind: str = "REG_SZ") -> None:
    name_args = ["/ve"] if name is None else ["/v", name]
    result = run_wine("reg", "add", key, *name_args, "/t", kind, "/d", data, "/f")
    assert result.returncode == 0, result.stderr


def reg_delete_value(key: str, name: str) -> None:
    run_wine("reg", "delete", key, "/v", name, "/f")


def reg_delete_key(key: str) -> None:
    run_wine("reg", "delete", key, "/f")


# ---- the inspector ----------------------------------------------------------------------------

class InspectorError(AssertionError):
    pass


class Inspector:
    """One inspector process for the whole run; each call is a line out and a line back."""

    def __init__(self, program: Path, log: Path):
        self._program = program
        self._log_path = log
        self._process: Optional[subprocess.Popen] = None
        self._lines: "queue.Queue[Optional[str]]" = queue.Queue()
        self._start()

    def _start(self) -> None:
        self._log = open(self._log_path, "ab")
        self._process = subprocess.Popen([wine_program(), str(self._program), "serve"],
                                         env=wine_environment(), stdin=subprocess.PIPE,
                                         stdout=subprocess.PIPE, stderr=self._log)
        self._lines = queue.Queue()
        threading.Thread(target=self._read, args=(self._process, self._lines),
                         daemon=True).start()

    @staticmethod
    def _read(process: subprocess.Popen, lines: "queue.Queue[Optional[str]]") -> None:
        for line in process.stdout:
            lines.put(line.decode("utf-8"))
        lines.put(None)

    def close(self) -> None:
        if self._process and self._process.poll() is None:
            try:
                self._process.stdin.write(b"quit\n")
                self._process.stdin.close()
                self._process.wait(10)
            except (OSError, subprocess.TimeoutExpired):
                self._process.kill()
                self._process.wait()
        self._log.close()

    def call(self, *fields, wait: float = 0.0) -> dict:
        """Runs one command; `wait` is how long the command itself may take, in seconds."""
        line = "\t".join(str(field) for field in fields) + "\n"
        try:
            self._process.stdin.write(line.encode("utf-8"))
            self._process.stdin.flush()
            answer = self._lines.get(timeout=wait + STEP_TIMEOUT)
        except (OSError, queue.Empty):
            answer = None
        if answer is None:
            # A stuck or dead inspector is replaced, so the next session is not stuck too.
            self._process.kill()
            self._process.wait()
            self._log.close()
            self._start()
            raise InspectorError(f"the inspector gave no answer to {fields!r}")
        result = json.loads(answer)
        if "error" in result:
            raise InspectorError(f"{fields!r}: {result['error']}")
        return result

    # Commands; times are in seconds here and in milliseconds on the wire.
    def find(self, title: str, image: str, timeout: float) -> dict:
        return self.call("find", title, image, int(timeout * 1000), wait=timeout)

    def state(self, hwnd: int, fonts: bool = False) -> dict:
        return self.call("state", hwnd, *(["fonts"] if fonts else []))

    def click(self, hwnd: int, control) -> dict:
        """A control by its name on the launcher window, or by its dialog id on another."""
        return self.call("click", hwnd, CONTROL_IDS.get(control, control))

    def key(self, hwnd: int, vk: int) -> dict:
        return self.call("key", hwnd, vk)

    def syscommand(self, hwnd: int, command: str) -> dict:
        return self.call("syscommand", hwnd, command)

    def wait(self, hwnd: int, condition: str, timeout: float) -> dict:
        return self.call("wait", hwnd, condition, int(timeout * 1000), wait=timeout)

    def idle(self, hwnd: int, timeout: float) -> bool:
        return self.call("idle", hwnd, int(timeout * 1000), wait=timeout)["idle"]

    def ping(self, hwnd: int, timeout: float) -> dict:
        return self.call("ping", hwnd, int(timeout * 1000), wait=timeout)

    def watch(self, hwnd: int) -> bool:
        return self.call("watch", hwnd)["ok"]

    def minimised(self) -> int:
        return self.call("minimised")["count"]

    def message_box(self, pid: int, title: str, timeout: float) -> dict:
        return self.call("msgbox", pid, title, int(timeout * 1000), wait=timeout + 2)

    def dismiss(self, box: int) -> dict:
        return self.call("dismiss", box)

    def spawn(self, cwd: str, command_line: str) -> dict:
        return self.call("spawn", cwd, command_line)

    def wait_exit(self, pid: int, timeout: float) -> dict:
        return self.call("wait-exit", pid, int(timeout * 1000), wait=timeout)

    def kill(self, exe_name: str) -> int:
        return self.call("kill", exe_name, wait=10)["killed"]

    def now(self) -> float:
        return self.call("time")["time"]

    def hover(self, hwnd: int, control: str, timeout: float) -> dict:
        """Rests the mouse on a control: whether a tooltip showed in time, and its text."""
        return self.call("hover", hwnd, CONTROL_IDS[control], int(timeout * 1000), wait=timeout + 4)

    def press(self, hwnd: int, *vks: int) -> dict:
        """Keys pressed together as real input to the window, made the foreground window."""
        return self.call("press", hwnd, *vks)

    def clipboard(self, clear: bool = False) -> dict:
        return self.call("clipboard", *(["clear"] if clear else []), wait=2)

    def accessible(self, hwnd: int, control: str) -> dict:
        """Asks for the window as an accessibility client does; the control's handle."""
        return self.call("accessible", hwnd, CONTROL_IDS[control], wait=10)


# ---- what the window shows ----------------------------------------------------------------------

class WindowView:
    """One reading of the launcher window, controls by name."""

    def __init__(self, raw: dict):
        self.raw = raw
        self.controls = {CONTROL_BY_ID[c["id"]]: c for c in raw.get("controls", [])
                         if c["id"] in CONTROL_BY_ID}

    def caption(self, name: str) -> str:
        return self.controls[name]["text"]

    def visible(self, name: str) -> bool:
        return self.controls[name]["visible"]

    def shown(self) -> set:
        return {name for name, c in self.controls.items() if c["visible"]}

    @property
    def focus(self) -> Optional[str]:
        return CONTROL_BY_ID.get(self.raw["focus"])

    @property
    def iconic(self) -> bool:
        return self.raw["iconic"]

    def appearance(self) -> dict:
        """Captions and visibility of every control: what a person sees change."""
        return {name: (c["text"], c["visible"], c["enabled"]) for name, c in self.controls.items()}


# ---- launcher folders and stand-ins -------------------------------------------------------------

class Folder:
    """A launcher folder: the launcher and whichever stand-ins the session wants beside it."""

    def __init__(self, path: Path, siblings=SIBLINGS):
        self.path = path
        path.mkdir(parents=True)
        shutil.copy2(config().launcher, path / LAUNCHER_EXE)
        for name in siblings:
            shutil.copy2(config().standin, path / name)

    @property
    def exe(self) -> str:
        return windows_path(self.path / LAUNCHER_EXE)


def arguments_of(command_line: str) -> str:
    """What follows the program name, by the usual rule: a quoted name ends at the next quote,
    an unquoted one at the first blank; the blanks after it separate, they are not part of it."""
    if command_line.startswith('"'):
        end = command_line.find('"', 1)
        rest = "" if end < 0 else command_line[end + 1:]
    else:
        parts = re.split(r"[ \t]", command_line, maxsplit=1)
        rest = parts[1] if len(parts) > 1 else ""
    return rest.lstrip(" \t")


def records(program: Path) -> list:
    """What a stand-in recorded, one entry per start, in order, each with its `arguments`."""
    record = program.with_suffix(".record")
    try:
        text = record.read_text("utf-8")
    except FileNotFoundError:
        return []
    # A line is whole only once its newline is there.
    entries = [json.loads(line) for line in text.split("\n")[:-1]]
    for entry in entries:
        entry["arguments"] = arguments_of(entry["command_line"])
    return entries


def wait_records(program: Path, count: int, timeout: float = STEP_TIMEOUT) -> list:
    deadline = time.monotonic() + timeout
    while True:
        found = records(program)
        if len(found) >= count or time.monotonic() > deadline:
            return found
        time.sleep(0.02)


# ---- one launcher process -----------------------------------------------------------------------

class Launcher:
    """A started launcher: its window handle and process id once its window exists."""

    def __init__(self, inspector: Inspector, folder: Folder):
        self.inspector = inspector
        self.folder = folder
        self.popen: Optional[subprocess.Popen] = None
        self.started = 0.0
        self.hwnd = 0
        self.pid = 0

    def start(self, args=(), cwd: Optional[Path] = None, wine_debug: Optional[str] = None,
              log: Optional[Path] = None) -> "Launcher":
        """Started as `wine <folder>\\KVAT_Launcher.exe args...`, the way a shell would; with
        `wine_debug`, Wine's debug channels so set write to the file `log`."""
        self.started = time.time()
        environment = wine_environment()
        if wine_debug is not None:
            environment["WINEDEBUG"] = wine_debug
        with open(log, "ab") if log else open(os.devnull, "wb") as errors:
            self.popen = subprocess.Popen([wine_program(), self.folder.exe, *args],
                                          cwd=str(cwd or self.folder.path), env=environment,
                                          stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                          stderr=errors)
        return self._found()

    def spawn(self, arguments: str, cwd: Path) -> "Launcher":
        """Started with exactly this command line, the way a shortcut would."""
        self.started = time.time()
        answer = self.inspector.spawn(windows_path(cwd), f'"{self.folder.exe}" {arguments}')
        assert answer["ok"], answer
        self.pid = answer["pid"]
        return self._found()

    def _found(self) -> "Launcher":
        found = self.inspector.find(TITLE, self.folder.exe, START_TIMEOUT)
        assert found["found"], "the launcher made no window"
        self.hwnd, self.pid = found["hwnd"], found["pid"]
        return self

    def wait_shown(self, timeout: float = START_TIMEOUT) -> float:
        """Waits until the window is visible; returns when it first was."""
        answer = self.inspector.wait(self.hwnd, "visible", timeout)
        assert answer["reached"], "the window was never shown"
        return answer["time"]

    def settle(self, timeout: float = STEP_TIMEOUT) -> None:
        """Waits until the launcher has finished what it was doing and waits for input again:
        captions read now are the ones a person sees, not a pass half done."""
        assert self.inspector.idle(self.hwnd, timeout), "the launcher stays busy"

    def count_minimisations(self) -> None:
        """From now on, every minimisation of the window is counted as it happens."""
        assert self.inspector.watch(self.hwnd), "cannot watch the launcher's window"

    def minimisations(self) -> int:
        return self.inspector.minimised()

    def view(self, fonts: bool = False) -> WindowView:
        return WindowView(self.inspector.state(self.hwnd, fonts))

    def click(self, control: str) -> float:
        answer = self.inspector.click(self.hwnd, control)
        assert answer["ok"], f"{control} cannot be clicked: {answer.get('reason')}"
        return answer["time"]

    def wait_view(self, predicate, timeout: float = STEP_TIMEOUT) -> WindowView:
        """Polls the window until `predicate(view)` holds, then reads it again once the handler
        that made it hold has finished (a reading of the controls one by one can straddle a
        handler's steps). Returns the last view either way."""
        deadline = time.monotonic() + timeout
        while True:
            view = self.view()
            if predicate(view):
                self.settle()
                return self.view()
            if time.monotonic() > deadline:
                return view
            time.sleep(0.02)

    def wait_exit(self, timeout: float = STEP_TIMEOUT) -> Optional[int]:
        """The exit code, or None if the process is still running after `timeout`."""
        if self.popen is not None:
            try:
                return self.popen.wait(timeout)
            except subprocess.TimeoutExpired:
                return None
        answer = self.inspector.wait_exit(self.pid, timeout)
        return answer["code"] if answer["exited"] else None

    def kill(self) -> None:
        if self.popen is not None and self.popen.poll() is None:
            self.popen.kill()
            self.popen.wait(10)
