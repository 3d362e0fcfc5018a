"""Whole user sessions with the real KVAT_Launcher.exe under Wine, watched from outside: through
the inspector, the registry, the records of the stand-in programs and the web server's log."""

import re
import shutil
import tempfile
import time
import unittest
from pathlib import Path
from typing import Optional

import harness
from harness import (CONTROL_NAMES, LAUNCHER_EXE, PROPERTIES_KEY, SETTINGS_KEY, SIBLINGS,
                     START_TIMEOUT, STEP_TIMEOUT, Folder, Inspector, Launcher, records,
                     reg_delete_key, reg_delete_value, reg_set, reg_value, reg_values,
                     wait_records, windows_path)
from scripted_server import (SOFTWARE_PATH, USB_PATH, Answer, ScriptedServer, software_file,
                             usb_file)
from this_version import THIS_VERSION as VERSION, neighbour_version

OTHER, OLDER = neighbour_version(1), neighbour_version(-1)  # versions this launcher is not

# What the window says, exactly as the user reads it.
THIS_VERSION = f"This Software Version:  {VERSION}"
SERVER_SAME = f"Latest Software Available on Server:  {VERSION}\r\nYou have the latest software."
UNVERIFIED = "Latest Software Available:  UNABLE TO VERIFY\r\nCheck internet connection."
DRIVER_NOT_FOUND = "USB Driver Version not found."
NOT_INSTALLED = "USB Driver not installed.  Click to install."
OUTDATED = ("USB Driver is not the latest version OR Internet not available to check server "
            "version.  Click to install.")
LATEST = "USB Driver installed and is latest version: "
CALIX_CAPTION = "CALIX\r\n\r\nSETUP AND TUNING\r\n"
LOG_CAPTION = "KVAT LOG\r\n\r\nDIAGNOSING AND TESTING\r\n"
INSTALL_TEXT = ("Unplug the USB from Korvane device. Windows XP users might need to reboot after "
                "installation.\r\n\r\nPlease finish the USB Driver Installation now.")
SELECTION = ("Label1", "Label2", "Label3", "cmdCALIX", "cmdLOG")
PROGRESS_TITLE = "KVAT - Checking for software updates"
WS_EX_APPWINDOW = 0x40000
IDCANCEL = 2  # the progress window's Skip


def server_other(version: str) -> str:
    return (f"Latest Software Available:  {version}\r\n"
            "You DO NOT have the latest software. Click to update now.")


def found(version: str) -> str:
    return f"USB Driver Version found:  {version}"


VK_TAB = 0x09
VK_CONTROL = 0x11
TIMER_SECONDS = 3.0
# Clocks are read in different processes; allow for the timer firing on a slightly early tick.
CLOCK_SLACK = 0.1

INSPECTOR: Optional[Inspector] = None
SUITE_ROOT: Optional[Path] = None
BROWSER: Optional[Path] = None
_saved_http_command: Optional[tuple] = None


def setUpModule():  # noqa: N802
    global INSPECTOR, SUITE_ROOT, BROWSER, _saved_http_command
    SUITE_ROOT = Path(tempfile.mkdtemp(prefix="kvat-e2e-"))
    INSPECTOR = Inspector(harness.config().inspector, SUITE_ROOT / "inspector.log")
    INSPECTOR.kill(LAUNCHER_EXE)
    # The web browser is a stand-in too: http addresses opened through the shell land in its
    # record. Wine reads protocol handlers from the machine's classes only.
    BROWSER = SUITE_ROOT / "browser" / "Browser.exe"
    BROWSER.parent.mkdir()
    shutil.copy2(harness.config().standin, BROWSER)
    _saved_http_command = reg_value(harness.HTTP_COMMAND_KEY, "(Default)")
    reg_set(harness.HTTP_COMMAND_KEY, None, f'"{windows_path(BROWSER)}" "%1"')


def tearDownModule():  # noqa: N802
    if _saved_http_command is not None:
        reg_set(harness.HTTP_COMMAND_KEY, None, _saved_http_command[1])
    if INSPECTOR is not None:
        INSPECTOR.kill(LAUNCHER_EXE)
        INSPECTOR.close()
    if SUITE_ROOT is not None:
        shutil.rmtree(SUITE_ROOT, ignore_errors=True)


class Session(unittest.TestCase):
    """One user session: a fresh settings store, launcher folders under a temporary root, a web
    server if the session wants one, and no launcher left running afterwards."""

    maxDiff = None

    def setUp(self):
        self.root = Path(tempfile.mkdtemp(prefix="session-", dir=SUITE_ROOT))
        reg_delete_key(SETTINGS_KEY)
        self.addCleanup(reg_delete_key, SETTINGS_KEY)
        BROWSER.with_suffix(".record").unlink(missing_ok=True)

    def folder(self, name: str = "KVAT Launcher", siblings=SIBLINGS) -> Folder:
        return Folder(self.root / name, siblings)

    def directory(self, name: str) -> Path:
        path = self.root / name
        path.mkdir()
        return path

    def serve(self, software: Optional[Answer], usb: Optional[Answer]) -> ScriptedServer:
        server = ScriptedServer(harness.config().port)
        server.script(software, usb)
        server.__enter__()
        self.addCleanup(server.__exit__)
        return server

    def launcher(self, folder: Folder) -> Launcher:
        launcher = Launcher(INSPECTOR, folder)
        self.addCleanup(self._end, launcher)
        return launcher

    @staticmethod
    def _end(launcher: Launcher) -> None:
        INSPECTOR.kill(LAUNCHER_EXE)
        launcher.kill()

    def start(self, folder: Folder, args=(), cwd: Optional[Path] = None) -> Launcher:
        """A launcher started and shown."""
        launcher = self.launcher(folder).start(args, cwd)
        launcher.wait_shown()
        launcher.settle()
        return launcher

    def assert_status(self, view, software: str, driver_record: str, driver: str,
                      download: bool, update: bool) -> None:
        self.assertEqual(view.caption("txtThisVersion"), THIS_VERSION)
        self.assertEqual(view.caption("txtServerVersion"), software)
        self.assertEqual(view.caption("txtThisDriverVersion"), driver_record)
        self.assertEqual(view.caption("txtUSBDriverVersion"), driver)
        for name in ("txtThisVersion", "txtServerVersion", "txtThisDriverVersion",
                     "txtUSBDriverVersion"):
            self.assertTrue(view.visible(name), name)
        self.assertEqual(view.visible("cmdDownloadSoftware"), download)
        self.assertEqual(view.visible("cmdUpdateUSBdriver"), update)

    def plant(self, folder: Path, program: str, names) -> None:
        """DLLs that mark their own loading, beside `program` under these names (see
        PlantedDllTest)."""
        key = rf"{harness.WINE_KEY}\AppDefaults\{program}"
        self.addCleanup(reg_delete_key, key)
        for name in names:
            shutil.copy2(harness.config().planted_dll, folder / f"{name}.dll")
            reg_set(key + r"\DllOverrides", name, "native,builtin")

    def assert_exits(self, launcher: Launcher, timeout: float = STEP_TIMEOUT) -> None:
        self.assertEqual(launcher.wait_exit(timeout), 0, "the launcher did not end cleanly")


class FirstRunTest(Session):
    def test_first_run_driver_install_then_exit_while_launching(self):
        server = self.serve(Answer(software_file(VERSION)), Answer(usb_file("2.12.28")))
        # A folder a user in another country might have: blanks and characters outside the
        # ANSI code page; and a working directory of its own, as from a shortcut.
        folder = self.folder("Prüfung 日本")
        work = self.directory("work dir")
        arguments = '/S   "D:\\Drivers  Folder\\FTDI" --lang=de'
        launcher = self.launcher(folder).spawn(arguments, work)
        launcher.wait_shown()
        launcher.settle()

        view = launcher.view()
        self.assert_status(view, SERVER_SAME, DRIVER_NOT_FOUND, NOT_INSTALLED, download=False,
                           update=True)
        self.assertEqual(view.caption("Label1"), "SELECT THE KVAT SOFTWARE TO LAUNCH")
        self.assertEqual(view.caption("Label2"), CALIX_CAPTION)
        self.assertEqual(view.caption("Label3"), LOG_CAPTION)
        self.assertFalse(view.visible("msgLAUNCHING"))
        self.assertEqual(server.paths(), [SOFTWARE_PATH, USB_PATH])
        settings = reg_values(PROPERTIES_KEY)
        self.assertEqual(settings.get("WindowsOS"), ("REG_SZ", "Vista"))
        # Saving WindowsOS made the section, so the probe found it and Version stays unwritten.
        self.assertNotIn("Version", settings)
        self.assertNotIn("USB Version", settings)

        # The driver: first the instruction, and nothing else until the user has read it.
        launcher.click("cmdUpdateUSBdriver")
        box = INSPECTOR.message_box(launcher.pid, "USB Installation", STEP_TIMEOUT)
        self.assertTrue(box["found"], "no instruction message")
        self.assertEqual(box["text"], INSTALL_TEXT)
        self.assertEqual(box["icon"], "none")
        self.assertEqual([b["text"] for b in box["buttons"]], ["OK"])
        self.assertEqual(box["owner"], launcher.hwnd)
        self.assertFalse(launcher.view().visible("cmdUpdateUSBdriver"))
        installer = folder.path / "CDM21228_Setup.exe"
        self.assertEqual(records(installer), [])
        self.assertIsNone(reg_value(PROPERTIES_KEY, "USB Version"))
        self.assertEqual(len(server.requests), 2)

        INSPECTOR.dismiss(box["hwnd"])
        started = wait_records(installer, 1)
        self.assertEqual(len(started), 1, "the installer was not started once")
        self.assertTrue(started[0]["command_line"].startswith(f'"{windows_path(installer)}"'),
                        started[0]["command_line"])
        self.assertEqual(started[0]["arguments"], arguments)
        self.assertEqual(started[0]["cwd"], windows_path(work))

        # The check runs again: two more requests, software first, and the new status.
        self.assertTrue(server.wait_for_count(4, STEP_TIMEOUT))
        self.assertEqual(server.paths(), [SOFTWARE_PATH, USB_PATH] * 2)
        launcher.settle()
        view = launcher.view()
        self.assert_status(view, SERVER_SAME, found("2.12.28"), LATEST + "2.12.28",
                           download=False, update=False)
        self.assertEqual(view.caption("Label2"), CALIX_CAPTION)
        self.assertEqual(view.caption("Label3"), LOG_CAPTION)
        self.assertEqual(reg_value(PROPERTIES_KEY, "USB Version"), ("REG_SZ", "2.12.28"))
        self.assertFalse(INSPECTOR.message_box(launcher.pid, "*", 0)["found"])

        # Start the setup program, change one's mind and leave before the window minimises.
        launcher.count_minimisations()
        launch_clicked = launcher.click("cmdCALIX")
        view = launcher.wait_view(lambda v: v.visible("msgLAUNCHING"))
        self.assertTrue(view.visible("msgLAUNCHING"))
        exit_clicked = launcher.click("cmdEXIT")
        gone = INSPECTOR.wait(launcher.hwnd, "gone", STEP_TIMEOUT)
        self.assertTrue(gone["reached"], "EXIT left the window up")
        self.assertLess(gone["time"] - exit_clicked, 2.0, "EXIT took its time")
        self.assertLess(gone["time"] - launch_clicked, TIMER_SECONDS,
                        "the window went only after the launch timer was due")
        self.assertEqual(launcher.minimisations(), 0)
        self.assert_exits(launcher)
        calix = wait_records(folder.path / "Calix_KVAT.exe", 1)
        self.assertEqual([(r["arguments"], r["cwd"]) for r in calix], [("", windows_path(work))])
        self.assertEqual(len(records(installer)), 1)
        self.assertEqual(reg_value(PROPERTIES_KEY, "USB Version"), ("REG_SZ", "2.12.28"))


class DriverInstallTest(Session):
    def test_other_driver_on_server_installs_without_arguments_and_stays_offered(self):
        reg_set(PROPERTIES_KEY, "USB Version", "2.12.28")
        server = self.serve(Answer(software_file(VERSION)), Answer(usb_file("2.12.30")))
        folder = self.folder()
        launcher = self.start(folder)
        self.assert_status(launcher.view(), SERVER_SAME, found("2.12.28"), OUTDATED,
                           download=False, update=True)

        launcher.click("cmdUpdateUSBdriver")
        box = INSPECTOR.message_box(launcher.pid, "USB Installation", STEP_TIMEOUT)
        self.assertTrue(box["found"])
        INSPECTOR.dismiss(box["hwnd"])
        started = wait_records(folder.path / "CDM21228_Setup.exe", 1)
        self.assertEqual([r["arguments"] for r in started], [""])

        # The re-run check still finds another version on the server, so the button is back.
        self.assertTrue(server.wait_for_count(4, STEP_TIMEOUT))
        launcher.settle()
        view = launcher.view()
        self.assert_status(view, SERVER_SAME, found("2.12.28"), OUTDATED, download=False,
                           update=True)
        self.assertEqual(reg_value(PROPERTIES_KEY, "USB Version"), ("REG_SZ", "2.12.28"))
        launcher.click("cmdEXIT")
        self.assert_exits(launcher)

    def test_missing_installer_is_reported_and_nothing_recorded(self):
        server = self.serve(Answer(software_file(VERSION)), Answer(usb_file("2.12.28")))
        folder = self.folder(siblings=("Calix_KVAT.exe", "KVAT_Log.exe"))
        launcher = self.start(folder, args=["/S"])
        before = launcher.view()

        launcher.click("cmdUpdateUSBdriver")
        box = INSPECTOR.message_box(launcher.pid, "Error", STEP_TIMEOUT)
        self.assertTrue(box["found"], "no error message")
        self.assertEqual(box["text"], "Driver File Not Found.")
        self.assertEqual(box["icon"], "stop")
        self.assertEqual([b["text"] for b in box["buttons"]], ["OK"])
        self.assertFalse(launcher.view().visible("cmdUpdateUSBdriver"))

        INSPECTOR.dismiss(box["hwnd"])
        self.assertTrue(INSPECTOR.wait(box["hwnd"], "gone", STEP_TIMEOUT)["reached"])
        launcher.settle()
        view = launcher.view()
        self.assertEqual(view.appearance(), before.appearance())
        self.assertIsNone(reg_value(PROPERTIES_KEY, "USB Version"))
        self.assertEqual(len(server.requests), 2, "the check ran again")
        self.assertEqual(sorted(p.name for p in folder.path.iterdir()),
                         sorted([LAUNCHER_EXE, "Calix_KVAT.exe", "KVAT_Log.exe"]))
        launcher.click("cmdEXIT")
        self.assert_exits(launcher)


class WebLinksTest(Session):
    def test_other_software_version_opens_download_page_and_website(self):
        port = harness.config().port
        browser = BROWSER.with_suffix(".record")
        # An older version on the server is offered just like a newer one.
        for version in (OTHER, OLDER):
            with self.subTest(server_version=version):
                browser.unlink(missing_ok=True)
                reg_set(PROPERTIES_KEY, "USB Version", "2.12.28")
                server = ScriptedServer(port)
                server.script(Answer(software_file(version)), Answer(usb_file("2.12.28")))
                with server:
                    launcher = self.start(self.folder(f"launcher {version}"))
                    before = launcher.view()
                    self.assert_status(before, server_other(version), found("2.12.28"),
                                       LATEST + "2.12.28", download=True, update=False)

                    # One page per click, in the order clicked.
                    launcher.click("cmdDownloadSoftware")
                    wait_records(BROWSER, 1)
                    launcher.click("cmdWEBSITE")
                    wait_records(BROWSER, 2)
                    launcher.click("cmdWEBSITE")
                    opened = wait_records(BROWSER, 3)
                    self.assertEqual([r["arguments"] for r in opened], [
                        f'"http://127.0.0.1:{port}/download/KVAT_Software_Download.htm"',
                        f'"http://127.0.0.1:{port}"',
                        f'"http://127.0.0.1:{port}"',
                    ])
                    self.assertEqual(launcher.view().appearance(), before.appearance())
                    self.assertEqual(len(server.requests), 2)

                    # The title bar's close box ends the launcher as EXIT does.
                    INSPECTOR.syscommand(launcher.hwnd, "close")
                    self.assert_exits(launcher)


class LaunchTest(Session):
    def test_log_program_starts_and_the_window_minimises_once(self):
        reg_set(PROPERTIES_KEY, "USB Version", "2.12.28")
        self.serve(Answer(software_file(VERSION)), Answer(usb_file("2.12.28")))
        folder = self.folder(siblings=("KVAT_Log.exe", "CDM21228_Setup.exe"))
        elsewhere = self.directory("elsewhere")
        launcher = self.start(folder, cwd=elsewhere)
        start_view = launcher.view()
        launcher.count_minimisations()

        clicked = launcher.click("cmdLOG")
        view = launcher.wait_view(lambda v: v.visible("msgLAUNCHING"))
        self.assertEqual(view.caption("msgLAUNCHING"), "LAUNCHING PROGRAM...")
        self.assertEqual(view.shown() & set(SELECTION), set(), "the selection is still shown")
        self.assertTrue(view.visible("cmdEXIT") and view.visible("cmdWEBSITE"))
        self.assertFalse(view.iconic)
        log = wait_records(folder.path / "KVAT_Log.exe", 1)
        # No arguments and no directory of its own: it starts where the launcher was started.
        self.assertEqual([(r["arguments"], r["cwd"]) for r in log],
                         [("", windows_path(elsewhere))])

        minimised = INSPECTOR.wait(launcher.hwnd, "iconic", TIMER_SECONDS + STEP_TIMEOUT)
        self.assertTrue(minimised["reached"], "the window never minimised")
        self.assertGreaterEqual(minimised["time"] - clicked, TIMER_SECONDS - CLOCK_SLACK)
        view = launcher.wait_view(lambda v: not v.visible("msgLAUNCHING"))
        self.assertTrue(view.iconic)
        self.assertEqual(view.appearance(), start_view.appearance())
        self.assertEqual(launcher.minimisations(), 1)

        # Restored from the taskbar, it stays put: the timer fired once.
        INSPECTOR.syscommand(launcher.hwnd, "restore")
        self.assertTrue(INSPECTOR.wait(launcher.hwnd, "restored", STEP_TIMEOUT)["reached"])
        self.assertFalse(INSPECTOR.wait(launcher.hwnd, "iconic", TIMER_SECONDS + 0.5)["reached"],
                         "the window minimised again without a launch")
        self.assertEqual(launcher.minimisations(), 1)

        launcher.click("cmdEXIT")
        self.assert_exits(launcher)


def not_started(file: str, folder, reason: str) -> str:
    """The message for a file of the launcher's folder that the shell could not start."""
    return (f"{file} could not be started.\r\n\r\nLooked for in: {windows_path(folder.path)}"
            f"\r\nWindows says: {reason}")


class NotStartedTest(Session):
    """What the shell could not start is said, and never counted as started."""

    def test_missing_program_damaged_installer_and_no_browser(self):
        server = self.serve(Answer(software_file(VERSION)), Answer(usb_file("2.12.28")))
        # No setup program, and an installer that is no program (a damaged download, say).
        folder = self.folder(siblings=("KVAT_Log.exe",))
        (folder.path / "CDM21228_Setup.exe").write_text("not a program\r\n")
        launcher = self.start(folder)
        start_view = launcher.view()
        launcher.count_minimisations()

        # The selection is back and the launch message gone before the user reads why.
        launcher.click("cmdCALIX")
        box = INSPECTOR.message_box(launcher.pid, "Error", STEP_TIMEOUT)
        self.assertTrue(box["found"], "no message for a missing program")
        self.assertEqual(box["text"], not_started("Calix_KVAT.exe", folder, "File not found."))
        self.assertEqual(box["icon"], "stop")
        self.assertEqual(box["owner"], launcher.hwnd)
        self.assertEqual(launcher.view().appearance(), start_view.appearance())
        INSPECTOR.dismiss(box["hwnd"])
        self.assertFalse(INSPECTOR.wait(launcher.hwnd, "iconic", 4.0)["reached"],
                         "the window minimised after a launch that did not happen")
        self.assertEqual(launcher.minimisations(), 0)

        # The installer the shell cannot start: nothing recorded, the button back, no re-check.
        launcher.click("cmdUpdateUSBdriver")
        box = INSPECTOR.message_box(launcher.pid, "USB Installation", STEP_TIMEOUT)
        self.assertTrue(box["found"])
        INSPECTOR.dismiss(box["hwnd"])
        box = INSPECTOR.message_box(launcher.pid, "Error", STEP_TIMEOUT)
        self.assertTrue(box["found"], "no message for an installer that did not start")
        # Wine's reason for it has an insert (%1), which names the file.
        self.assertEqual(box["text"], not_started("CDM21228_Setup.exe", folder,
                                                  "Bad EXE format for CDM21228_Setup.exe."))
        INSPECTOR.dismiss(box["hwnd"])
        self.assertTrue(INSPECTOR.wait(box["hwnd"], "gone", STEP_TIMEOUT)["reached"])
        launcher.settle()
        self.assertEqual(launcher.view().appearance(), start_view.appearance())
        self.assertIsNone(reg_value(PROPERTIES_KEY, "USB Version"))
        self.assertEqual(len(server.requests), 2, "the check ran again")

        # No browser registered for http: the address to type instead.
        reg_delete_key(harness.HTTP_COMMAND_KEY)
        self.addCleanup(reg_set, harness.HTTP_COMMAND_KEY, None, f'"{windows_path(BROWSER)}" "%1"')
        launcher.click("cmdWEBSITE")
        box = INSPECTOR.message_box(launcher.pid, "Error", STEP_TIMEOUT)
        self.assertTrue(box["found"], "no message for a page that could not be opened")
        self.assertEqual(box["text"],
                         "The web page could not be opened.\r\n\r\n"
                         "Windows says: No associated application.\r\n\r\n"
                         "Type this address into a web browser:\r\n"
                         f"http://127.0.0.1:{harness.config().port}")
        INSPECTOR.dismiss(box["hwnd"])
        self.assertTrue(INSPECTOR.wait(box["hwnd"], "gone", STEP_TIMEOUT)["reached"])
        launcher.click("cmdEXIT")
        self.assert_exits(launcher)


class PlantedDllTest(Session):
    """Windows looks for a DLL that is not one of its known DLLs in the program's own folder
    first. Wine does the same for the DLLs named in a program's DllOverrides as "native,builtin",
    which stands in for that search order here."""

    PLANTED = ("wininet", "shell32", "ole32")

    def test_dlls_beside_the_launcher_are_never_loaded(self):
        folder = self.folder()
        self.plant(folder.path, LAUNCHER_EXE, self.PLANTED)

        # The planting works: a program beside the DLLs that loads WinINet by its bare name
        # gets the planted one.
        loader = folder.path / "plain_loader.exe"
        shutil.copy2(harness.config().plain_loader, loader)
        self.plant(folder.path, loader.name, self.PLANTED)
        loaded = harness.run_wine(str(loader), "wininet.dll")
        self.assertEqual(loaded.stdout.decode().strip(), windows_path(folder.path / "wininet.dll"))
        (folder.path / "wininet.dll.loaded").unlink()

        # The launcher: both fetches, a program start (the shell and COM), and the web page.
        reg_set(PROPERTIES_KEY, "USB Version", "2.12.28")
        self.serve(Answer(software_file(OTHER)), Answer(usb_file("2.12.28")))
        launcher = self.start(folder)
        self.assert_status(launcher.view(), server_other(OTHER), found("2.12.28"),
                           LATEST + "2.12.28", download=True, update=False)
        launcher.click("cmdLOG")
        wait_records(folder.path / "KVAT_Log.exe", 1)
        launcher.click("cmdWEBSITE")
        wait_records(BROWSER, 1)
        launcher.click("cmdEXIT")
        self.assert_exits(launcher)
        self.assertEqual({p.name: p.read_text("utf-16-le") for p in folder.path.glob("*.loaded")},
                         {})


class HandlerOrderTest(Session):
    # The launch timer falls due while the driver handler's message box is open: it must wait
    # for the handler to finish, not run inside the box's own message loop.
    def test_launch_timer_waits_for_the_driver_message_box(self):
        self.serve(Answer(software_file(VERSION)), Answer(usb_file("2.12.28")))
        launcher = self.start(self.folder())
        launcher.count_minimisations()

        # Launch, then ask for the driver while "LAUNCHING PROGRAM..." is still up.
        launched = launcher.click("cmdLOG")
        launcher.wait_view(lambda v: v.visible("msgLAUNCHING"))
        launcher.click("cmdUpdateUSBdriver")
        box = INSPECTOR.message_box(launcher.pid, "USB Installation", STEP_TIMEOUT)
        self.assertTrue(box["found"])
        self.assertLess(INSPECTOR.now() - launched, TIMER_SECONDS - 0.5,
                        "too slow to open the box before the timer was due")

        # Handlers run one at a time: while the box is open, the timer's turn has not come.
        self.assertFalse(INSPECTOR.wait(launcher.hwnd, "iconic", TIMER_SECONDS + 1.0)["reached"],
                         "the window minimised while the message box was open")
        INSPECTOR.dismiss(box["hwnd"])
        self.assertTrue(INSPECTOR.wait(launcher.hwnd, "iconic", STEP_TIMEOUT)["reached"])
        # The window turns iconic a moment before its handler has finished the selection.
        self.assertTrue(launcher.wait_view(lambda v: not v.visible("msgLAUNCHING")).iconic)
        self.assertEqual(launcher.minimisations(), 1)


class ServerTroubleTest(Session):
    """Whatever the server does, the window comes up and says it could not verify."""

    def run_check(self, name: str, software: Optional[Answer], usb: Optional[Answer],
                  record: Optional[str], driver: str) -> None:
        with self.subTest(name):
            reg_delete_key(SETTINGS_KEY)
            if record is not None:
                reg_set(PROPERTIES_KEY, "USB Version", record)
            server = None
            if software is not None or usb is not None:
                server = ScriptedServer(harness.config().port)
                server.script(software, usb)
                server.__enter__()
            try:
                launcher = self.start(self.folder(name))
                self.assert_status(launcher.view(), UNVERIFIED,
                                   found(record) if record is not None else DRIVER_NOT_FOUND,
                                   driver, download=False, update=True)
                if server:
                    self.assertEqual(server.paths(), [SOFTWARE_PATH, USB_PATH])
                launcher.click("cmdEXIT")
                self.assert_exits(launcher)
            finally:
                INSPECTOR.kill(LAUNCHER_EXE)
                if server:
                    server.__exit__()

    def test_unusable_answers(self):
        page = b"<html><head><title>Sign in</title></head><body>Wi-Fi login</body></html>"
        cases = {
            "nothing listening": (None, None),
            "not found": (Answer(software_file(OTHER), status=404),
                          Answer(usb_file("2.12.28"), status=404)),
            "server error": (Answer(page, status=503), Answer(page, status=503)),
            "portal page": (Answer(page), Answer(page)),
            "line break at the end": (Answer(software_file(VERSION) + b"\r\n"),
                                      Answer(usb_file("2.12.28") + b"\r\n")),
            "one short": (Answer(software_file(VERSION)[1:]), Answer(usb_file("2.12.28")[1:])),
            "one long": (Answer(b"x" + software_file(VERSION)), Answer(b"x" + usb_file("2.12.28"))),
            "empty": (Answer(b""), Answer(b"")),
            # The connection drops right after what would be a whole version file.
            "cut off": (Answer(software_file(OTHER) + b"\r\n", cut_after=26),
                        Answer(usb_file("2.12.28") + b"\r\n", cut_after=24)),
            "huge": (Answer(software_file(VERSION) * 80000), Answer(usb_file("2.12.28") * 80000)),
        }
        for name, (software, usb) in cases.items():
            self.run_check(name, software, usb, "2.12.28", OUTDATED)
        # With no driver recorded, "not installed" wins whatever the server said.
        self.run_check("down, no record", None, None, None, NOT_INSTALLED)

    def test_recorded_driver_values(self):
        self.serve(Answer(software_file(VERSION)), Answer(usb_file("2.12.28")))
        cases = (
            # (recorded value, its caption, status, driver button shown)
            ("DNE", DRIVER_NOT_FOUND, NOT_INSTALLED, True),  # the marker itself means none
            ("dne", found("dne"), OUTDATED, True),  # the marker is case-sensitive
            ("2.12.28", found("2.12.28"), LATEST + "2.12.28", False),
        )
        for record, record_caption, status, update in cases:
            with self.subTest(record=record):
                reg_delete_key(SETTINGS_KEY)
                reg_set(PROPERTIES_KEY, "USB Version", record)
                launcher = self.start(self.folder(f"record {record}"))
                self.assert_status(launcher.view(), SERVER_SAME, record_caption, status,
                                   download=False, update=update)
                launcher.click("cmdEXIT")
                self.assert_exits(launcher)

    def test_empty_record_is_not_confirmed_by_an_unreachable_server(self):
        # No answer never says "latest", not even for an empty recorded version.
        reg_set(PROPERTIES_KEY, "USB Version", "")
        launcher = self.start(self.folder())
        self.assert_status(launcher.view(), UNVERIFIED, found(""), OUTDATED, download=False,
                           update=True)


class WhyUnverifiedTest(Session):
    """Why the window could not verify, on demand: over each status text, as its accessible
    description, and as a report that Ctrl+C copies for the vendor's support."""

    def test_line_break_and_no_driver_file(self):
        base = f"http://127.0.0.1:{harness.config().port}"
        software = (f"Software version file: {base}{SOFTWARE_PATH}\r\n"
                    "Reason: 28 characters, 2 too many: the file ends with a line break (CR LF)")
        usb = (f"USB driver version file: {base}{USB_PATH}\r\n"
               "Reason: HTTP status 404: the file is not on the server")
        reg_set(PROPERTIES_KEY, "USB Version", "2.12.28")
        # The software file ends with a line break; nothing is there for the USB file.
        self.serve(Answer(software_file(VERSION) + b"\r\n"), None)
        # Wine as Windows 10, which GetVersionEx hides from a program without a manifest.
        reg_set(harness.WINE_KEY, "Version", "win10")
        self.addCleanup(reg_delete_value, harness.WINE_KEY, "Version")
        # The tooltip's and the annotations' DLLs come from the system folder only.
        folder = self.folder()
        self.plant(folder.path, LAUNCHER_EXE, ("comctl32", "oleacc"))
        # Wine's oleacc cannot annotate; it names each annotation it is asked for in this log.
        log = self.root / "launcher.log"
        launcher = self.launcher(folder).start(wine_debug="-all,fixme+oleacc", log=log)
        launcher.wait_shown()
        launcher.settle()
        self.assert_status(launcher.view(), UNVERIFIED, found("2.12.28"), OUTDATED,
                           download=False, update=True)

        for control, text in (("txtServerVersion", software), ("txtUSBDriverVersion", usb)):
            self.assertEqual(INSPECTOR.hover(launcher.hwnd, control, STEP_TIMEOUT),
                             {"shown": True, "text": text}, control)

        # Nothing is annotated until an accessibility client asks the window; then each status
        # gets its explanation as the description of its own accessible object.
        self.assertNotIn("SetHwndPropStr", log.read_text())
        controls = {INSPECTOR.accessible(launcher.hwnd, control)["hwnd"]: text
                    for control, text in (("txtServerVersion", software),
                                          ("txtUSBDriverVersion", usb))}
        annotations = re.findall(r"SetHwndPropStr \(([0-9A-F]+) 4294967292 0 "
                                 r'\{4d48dfe4-bd3f-491f-a648-492d6f20c588\} L"(.*)"\)$',
                                 log.read_text(), re.MULTILINE)
        self.assertEqual({int(hwnd, 16): text for hwnd, text in annotations},
                         {hwnd: text.replace("\r", "\\r").replace("\n", "\\n")
                          for hwnd, text in controls.items()})

        self.assertTrue(INSPECTOR.clipboard(clear=True)["ok"])
        self.assertTrue(INSPECTOR.press(launcher.hwnd, VK_CONTROL, ord("C"))["ok"])
        deadline = time.monotonic() + STEP_TIMEOUT
        while (report := INSPECTOR.clipboard()["text"]) is None and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertIsNotNone(report, "Ctrl+C copied nothing")
        *lines, windows, end = report.split("\r\n")
        self.assertEqual(lines, [
            f"KVAT Launcher {VERSION}: update check",
            f"Vendor host: {base}",
            f"Software version file: {base}{SOFTWARE_PATH}",
            "  Outcome: HTTP 200, not accepted",
            "  Reason: 28 characters, 2 too many: the file ends with a line break (CR LF)",
            f"USB driver version file: {base}{USB_PATH}",
            "  Outcome: HTTP 404, not accepted",
            "  Reason: HTTP status 404: the file is not on the server",
            "Recorded USB driver version: 2.12.28",
        ])
        # Windows' own version: GetVersionEx tells a program without a manifest 6.2.
        self.assertRegex(windows, r"^Windows: 10\.0 build \d+$")
        self.assertEqual(end, "")
        launcher.click("cmdEXIT")
        self.assert_exits(launcher)
        self.assertEqual([p.name for p in folder.path.glob("*.loaded")], [])


class SlowServerTest(Session):
    def test_window_appears_only_after_both_answers(self):
        software = Answer(software_file(VERSION), delay=2.0)
        usb = Answer(usb_file("2.12.28")).held()
        server = self.serve(software, usb)
        launcher = self.launcher(self.folder()).start()

        # The window exists from the start, hidden, while the check waits on the server.
        self.assertTrue(server.wait_for_count(1, START_TIMEOUT))
        self.assertFalse(INSPECTOR.state(launcher.hwnd)["visible"],
                         "the window was shown before the first answer")
        self.assertTrue(server.wait_for_count(2, START_TIMEOUT))
        first, second = server.requests
        self.assertEqual((first.path, second.path), (SOFTWARE_PATH, USB_PATH))
        self.assertTrue(first.answered is not None and second.received >= first.answered,
                        "the second file was asked for before the first came")
        self.assertFalse(INSPECTOR.wait(launcher.hwnd, "visible", 1.0)["reached"],
                         "the window was shown before the second answer")
        usb.gate.set()
        shown = launcher.wait_shown()
        launcher.settle()
        self.assertGreaterEqual(shown, second.answered)
        # Slow is not broken: both answers count.
        self.assert_status(launcher.view(), SERVER_SAME, DRIVER_NOT_FOUND, NOT_INSTALLED,
                           download=False, update=True)


    def test_silent_server_shows_progress_and_skip_lets_go_of_it(self):
        # A server that takes the connection and stays silent, as behind a firewall that drops
        # the traffic, then answers the software file with a redirect 3 s later.
        server = self.serve(Answer(b"moved", 302, ["Location: /moved.txt"], delay=3.0),
                            Answer(usb_file("2.12.28")))
        server.answers["/moved.txt"] = Answer(software_file(OTHER))
        folder = self.folder()
        began = INSPECTOR.now()
        launcher = self.launcher(folder).start()
        window = INSPECTOR.find(PROGRESS_TITLE, folder.exe, START_TIMEOUT)
        self.assertTrue(window["found"], "no progress window")
        progress = window["hwnd"]
        shown = INSPECTOR.wait(progress, "visible", START_TIMEOUT)["time"]
        self.assertLessEqual(shown - began, 1.5, "the progress window came late")
        self.assertFalse(INSPECTOR.state(launcher.hwnd)["visible"])

        # Alone on the screen, it stands for the launcher: a taskbar button, centred.
        view = INSPECTOR.state(progress)
        self.assertEqual(view["owner"], 0)
        self.assertTrue(view["ex_style"] & WS_EX_APPWINDOW)
        left, top, width, height = view["window"]
        area_left, area_top, area_width, area_height = view["work_area"]
        self.assertLessEqual(abs(2 * left + width - 2 * area_left - area_width), 1)
        self.assertLessEqual(abs(2 * top + height - 2 * area_top - area_height), 1)
        texts = [control["text"] for control in view["controls"]]
        self.assertIn(f"Checking for updates at 127.0.0.1:{harness.config().port}", texts)
        self.assertIn("Waiting for the software version file (1 of 2)...", texts)

        skipped = INSPECTOR.click(progress, IDCANCEL)["time"]
        appeared = INSPECTOR.wait(launcher.hwnd, "visible", STEP_TIMEOUT)
        self.assertTrue(appeared["reached"])
        self.assertLessEqual(appeared["time"] - skipped, 1.0, "the window came late after Skip")
        self.assertTrue(INSPECTOR.wait(progress, "gone", STEP_TIMEOUT)["reached"])
        launcher.settle()
        # No answer for either file; the one not yet asked for is never asked for.
        self.assert_status(launcher.view(), UNVERIFIED, DRIVER_NOT_FOUND, NOT_INSTALLED,
                           download=False, update=True)

        # The fetch left behind starts nothing once its answer comes: the redirect's target is
        # never asked, and neither is the USB file.
        self.assertTrue(server.wait_for(lambda requests: requests[0].answered, 5.0))
        time.sleep(1.5)
        self.assertEqual(server.paths(), [SOFTWARE_PATH])
        INSPECTOR.click(launcher.hwnd, "cmdEXIT")
        self.assertEqual(launcher.wait_exit(3.0), 0, "the launcher did not end within 3 s")

    def test_slow_check_after_driver_install_keeps_the_window_answering(self):
        server = self.serve(Answer(software_file(VERSION)), Answer(usb_file("2.12.28")))
        launcher = self.start(self.folder())
        server.script(Answer(software_file(VERSION), delay=6.0), Answer(usb_file("2.12.28")))
        launcher.click("cmdUpdateUSBdriver")
        box = INSPECTOR.message_box(launcher.pid, "USB Installation", STEP_TIMEOUT)
        INSPECTOR.dismiss(box["hwnd"])

        # Until the check is over the window answers the system within a second, and it takes no
        # input, as under a modal dialog; its progress window shows over it.
        answers, progress = [], None
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            ping = INSPECTOR.ping(launcher.hwnd, 1.0)
            answers.append(ping["seconds"] if ping["answered"] and not ping["hung"] else None)
            if progress is None:
                window = INSPECTOR.find(PROGRESS_TITLE, launcher.folder.exe, 0)
                progress = window["hwnd"] if window["found"] else None
                if progress is not None:
                    view = INSPECTOR.state(progress)
                    self.assertEqual(view["owner"], launcher.hwnd)
                    self.assertFalse(view["ex_style"] & WS_EX_APPWINDOW)
                    self.assertFalse(INSPECTOR.state(launcher.hwnd)["enabled"])
            if len(server.requests) == 4 and INSPECTOR.state(launcher.hwnd)["enabled"]:
                break
            time.sleep(0.1)
        self.assertGreater(len(answers), 30)
        self.assertNotIn(None, answers, "the window was hung or did not answer within a second")
        self.assertIsNotNone(progress, "no progress window during the slow check")
        self.assertTrue(INSPECTOR.wait(progress, "gone", STEP_TIMEOUT)["reached"])
        launcher.settle()
        self.assert_status(launcher.view(), SERVER_SAME, found("2.12.28"), LATEST + "2.12.28",
                           download=False, update=False)
        self.assertTrue(launcher.view().focus in SELECTION + ("cmdEXIT", "cmdWEBSITE"))


class WindowsGenerationTest(Session):
    def test_generation_is_recorded_on_every_start(self):
        folder = self.folder()
        try:
            # Wine reports major version 5 when told to be Windows XP.
            reg_set(harness.WINE_KEY, "Version", "winxp64")
            launcher = self.start(folder)
            self.assertEqual(reg_value(PROPERTIES_KEY, "WindowsOS"), ("REG_SZ", "XP"))
            launcher.click("cmdEXIT")
            self.assert_exits(launcher)
        finally:
            reg_delete_value(harness.WINE_KEY, "Version")
        launcher = self.start(folder)
        self.assertEqual(reg_value(PROPERTIES_KEY, "WindowsOS"), ("REG_SZ", "Vista"))
        self.assertNotIn("Version", reg_values(PROPERTIES_KEY))


# The window as designed, in twips: (left, top, width, height), the container the position is
# measured from, the font (points x 100, bold) and the window class.
FRAME = (480, 6240)
LAYOUT = {
    "Label1": ((0, 240, 12855, 495), None, (1425, False), "Static"),
    "Label2": ((480, 720, 5775, 735), None, (975, False), "Static"),
    "Label3": ((6840, 720, 5775, 735), None, (975, False), "Static"),
    "cmdCALIX": ((480, 1560, 5775, 4335), None, None, "Button"),
    "cmdLOG": ((6840, 1560, 5775, 4335), None, None, "Button"),
    "msgLAUNCHING": ((0, 1680, 13095, 1455), None, (2400, True), "Static"),
    "Frame1": ((480, 6240, 10815, 2895), None, (975, False), "Button"),
    "txtUSBDriverVersion": ((720, 1800, 5535, 495), FRAME, (975, False), "Static"),
    "txtServerVersion": ((720, 720, 5655, 495), FRAME, (975, False), "Static"),
    "txtThisVersion": ((720, 360, 4935, 375), FRAME, (975, False), "Static"),
    "cmdDownloadSoftware": ((6720, 480, 3735, 495), FRAME, (975, False), "Button"),
    "cmdUpdateUSBdriver": ((6720, 1560, 3735, 495), FRAME, (975, False), "Button"),
    "txtThisDriverVersion": ((720, 1440, 5535, 375), FRAME, (975, False), "Static"),
    "cmdEXIT": ((11520, 8160, 1455, 975), None, (1425, True), "Button"),
    "cmdWEBSITE": ((11520, 6360, 1455, 1095), None, (1200, False), "Button"),
}
CENTRED = {"Label1", "Label2", "Label3", "msgLAUNCHING"}
WS_THICKFRAME, WS_MINIMIZEBOX, WS_MAXIMIZEBOX = 0x00040000, 0x00020000, 0x00010000
WS_CAPTION, WS_SYSMENU = 0x00C00000, 0x00080000
SS_TYPEMASK, SS_CENTER = 0x1F, 0x01
BS_TYPEMASK, BS_GROUPBOX, BS_BITMAP = 0x0F, 0x07, 0x80


def pixels(twips: int, dpi: int) -> int:
    return (twips * dpi + 720) // 1440


class LayoutTest(Session):
    def test_window_controls_and_fonts_as_designed(self):
        self.serve(Answer(software_file(OTHER)), Answer(usb_file("2.12.28")))
        launcher = self.start(self.folder())
        view = launcher.view(fonts=True)
        window = view.raw
        dpi = window["dpi"]
        self.assertEqual(dpi, 96, "the layout below is checked at 96 dots per inch")
        self.assertEqual(window["client"], [873, 617])
        self.assertEqual(window["style"] & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0)
        self.assertEqual(window["style"] & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU)
        self.assertFalse(window["iconic"] or window["zoomed"])
        left, top, width, height = window["window"]
        area_left, area_top, area_width, area_height = window["work_area"]
        self.assertLessEqual(abs(2 * (left - area_left) + width - area_width), 1, "not centred")
        self.assertLessEqual(abs(2 * (top - area_top) + height - area_height), 1, "not centred")
        self.assertEqual(view.focus, "cmdCALIX")
        self.assertEqual(sorted(view.controls), sorted(CONTROL_NAMES))

        for name, (rect, container, font, window_class) in LAYOUT.items():
            with self.subTest(control=name):
                control = view.controls[name]
                x, y, w, h = rect
                if container:
                    x, y = x + container[0], y + container[1]
                self.assertEqual(control["rect"], [pixels(v, dpi) for v in (x, y, w, h)])
                self.assertEqual(control["class"], window_class)
                self.assertTrue(control["enabled"])
                self.assertTrue(control["probed"])
                if font is None:
                    # A picture button: its picture, no caption drawn, no font of its own.
                    self.assertEqual(control["picture"], [400, 287])
                    self.assertTrue(control["style"] & BS_BITMAP)
                    self.assertIsNone(control["font"])
                else:
                    centipoints, bold = font
                    self.assertEqual(control["font"], {
                        "face": "Arial", "height": -((centipoints * dpi + 3600) // 7200),
                        "weight": 700 if bold else 400, "italic": False, "underline": False,
                        "strikeout": False, "charset": 0})
                if window_class == "Static":
                    self.assertEqual(control["style"] & SS_TYPEMASK == SS_CENTER,
                                     name in CENTRED)
                if name == "Frame1":
                    self.assertEqual(control["style"] & BS_TYPEMASK, BS_GROUPBOX)
                    self.assertEqual(control["text"], "CHECKING SOFTWARE UPDATES:")

    def tab_order(self, launcher: Launcher, presses: int) -> list:
        order = [launcher.view().focus]
        for _ in range(presses):
            INSPECTOR.key(launcher.hwnd, VK_TAB)
            view = launcher.wait_view(lambda v: v.focus != order[-1], STEP_TIMEOUT)
            order.append(view.focus)
        return order

    def test_tab_order_follows_the_shown_buttons(self):
        # Both update buttons offered: no record, another software version.
        server = self.serve(Answer(software_file(OTHER)), Answer(usb_file("2.12.28")))
        launcher = self.start(self.folder("both"))
        self.assertEqual(self.tab_order(launcher, 6), [
            "cmdCALIX", "cmdLOG", "cmdDownloadSoftware", "cmdUpdateUSBdriver", "cmdEXIT",
            "cmdWEBSITE", "cmdCALIX"])
        launcher.click("cmdEXIT")
        self.assert_exits(launcher)

        # Nothing to update: hidden buttons are skipped.
        reg_set(PROPERTIES_KEY, "USB Version", "2.12.28")
        server.script(Answer(software_file(VERSION)), Answer(usb_file("2.12.28")))
        launcher = self.start(self.folder("none"))
        self.assertEqual(self.tab_order(launcher, 4),
                         ["cmdCALIX", "cmdLOG", "cmdEXIT", "cmdWEBSITE", "cmdCALIX"])
