"""kvat-server-check against the scripted local web server: what it reports and its exit status
for a good server, the usual faults, and files it wrote itself.

    test_server_check.py --program [WRAPPER] PATH [unittest options]

WRAPPER is what runs the program, such as wine for the Windows build.
"""
import argparse
import os
import pathlib
import socket
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "e2e"))
import web_server  # noqa: E402 (found through the path above)
from web_server import Answer, ScriptedServer  # noqa: E402

PROGRAM = []
ACCEPTED, NOT_ACCEPTED, USAGE = 0, 1, 2


def run(*arguments):
    result = subprocess.run([*PROGRAM, *arguments], capture_output=True, text=True, timeout=90)
    return result.returncode, result.stdout, result.stderr


def check(software, usb, *options):
    """Runs the check against a server answering the two files so (None: 404)."""
    with ScriptedServer(0) as server:
        server.script(software, usb)
        return run(*options, f"127.0.0.1:{server.server_address[1]}")


class AgainstServer(unittest.TestCase):
    def test_good_server(self):
        status, out, _ = check(Answer(web_server.software_file("19.6")),
                               Answer(web_server.usb_file("2.12.28")),
                               "--recorded-driver", "2.12.28")
        self.assertEqual(status, ACCEPTED, out)
        self.assertIn("HTTP 200, 26 bytes, 26 characters (26 expected)", out)
        self.assertIn("accepted    yes: version \"19.6\"", out)
        self.assertIn("txtServerVersion      Latest Software Available:  19.6\n"
                      "                        You DO NOT have the latest software. "
                      "Click to update now.\n", out)
        self.assertIn("USB Driver installed and is latest version: 2.12.28", out)
        self.assertIn("cmdDownloadSoftware   shown", out)
        self.assertIn("cmdUpdateUSBdriver    hidden", out)

    def test_software_file_ending_in_cr_lf(self):
        status, out, _ = check(Answer(web_server.software_file("19.5") + b"\r\n"),
                               Answer(web_server.usb_file("2.12.28")))
        self.assertEqual(status, NOT_ACCEPTED, out)
        self.assertIn("HTTP 200, 28 bytes, 28 characters (26 expected)", out)
        self.assertIn("no: 28 characters, 2 too many: the file ends with a line break (CR LF)",
                      out)
        self.assertIn("Latest Software Available:  UNABLE TO VERIFY\n", out)
        self.assertIn("Not accepted: the software version file.", out)

    def test_missing_file_and_oversized_answer(self):
        # No driver recorded: the driver row is "not installed" whatever the server says.
        status, out, _ = check(Answer(b"x" * 5000), None)
        self.assertEqual(status, NOT_ACCEPTED, out)
        self.assertIn("none: more than 4096 bytes", out)
        self.assertIn("HTTP 404, 9 bytes\n", out)
        self.assertIn("accepted    no: HTTP 404", out)
        self.assertIn("USB Driver not installed.  Click to install.", out)

    def test_nothing_listening(self):
        # A bound socket that does not listen refuses every connection.
        with socket.socket() as bound:
            bound.bind(("127.0.0.1", 0))
            status, out, _ = run(f"127.0.0.1:{bound.getsockname()[1]}")
        self.assertEqual(status, NOT_ACCEPTED, out)
        self.assertEqual(out.count("answer      none: connection refused"), 2, out)


class Writer(unittest.TestCase):
    def test_written_files_pass_the_check(self):
        with tempfile.TemporaryDirectory() as folder:
            status, _, err = run("--write", folder, "--software", "19.5", "--driver", "2.12.3")
            self.assertEqual(status, USAGE)
            self.assertIn("--driver 2.12.3: 6 characters, 1 too few", err)
            self.assertEqual(os.listdir(folder), [])

            status, out, err = run("--write", folder, "--software", "19.5", "--driver", "2.12.28")
            self.assertEqual(status, ACCEPTED, err)
            names = sorted(os.listdir(folder))  # nothing but the two files is left behind
            self.assertEqual(names, ["KVAT_Software_Version.txt", "KVAT_USB_Version.txt"])
            software, usb = (pathlib.Path(folder, name).read_bytes() for name in names)

        status, out, _ = check(Answer(software), Answer(usb), "--recorded-driver", "2.12.28")
        self.assertEqual(status, ACCEPTED, out)
        self.assertIn("You have the latest software.", out)


class WriterRefusals(unittest.TestCase):
    """--write leaves a folder as it found it when it cannot finish."""

    def test_read_only_file_is_refused_and_neither_file_touched(self):
        with tempfile.TemporaryDirectory() as folder:
            software = pathlib.Path(folder, "KVAT_Software_Version.txt")
            usb = pathlib.Path(folder, "KVAT_USB_Version.txt")
            software.write_bytes(b"old software")
            usb.write_bytes(b"old usb")
            usb.chmod(0o444)
            status, _, err = run("--write", folder, "--software", "19.6", "--driver", "2.12.30")
            self.assertEqual(status, NOT_ACCEPTED, err)
            self.assertIn("KVAT_USB_Version.txt: the file is read-only", err)
            self.assertEqual((software.read_bytes(), usb.read_bytes()),
                             (b"old software", b"old usb"))
            self.assertEqual(sorted(os.listdir(folder)), [software.name, usb.name])

    def test_missing_folder_is_not_made(self):
        with tempfile.TemporaryDirectory() as parent:
            folder = pathlib.Path(parent, "no such folder")
            status, _, err = run("--write", folder, "--software", "19.6", "--driver", "2.12.30")
            self.assertEqual(status, NOT_ACCEPTED, err)
            self.assertIn("no such folder", err)
            self.assertEqual(os.listdir(parent), [])


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", nargs="+", required=True)
    options, rest = parser.parse_known_args()
    PROGRAM = options.program
    unittest.main(argv=[sys.argv[0], *rest])
