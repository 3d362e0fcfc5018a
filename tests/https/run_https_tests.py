#!/usr/bin/python3
"""The launcher's fetch over HTTPS and through redirects, under Wine, inside a Wine session:

    scripts/with-wine.sh ctest --test-dir build/windows -R '^https$' --output-on-failure

A throwaway certificate authority is made with openssl in a temporary folder and trusted in this
Wine prefix only; a second one is never trusted. Local servers count the connections they accept,
and kvat_fetch_pass runs one start-up pass's fetches in one process, as the launcher does.
"""

import argparse
import os
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(Path(__file__).resolve().parents[1]))

from scripted_server import (SOFTWARE_PATH, USB_PATH, Answer, Authority,  # noqa: E402
                             ScriptedServer, redirect, software_file, usb_file)

SOFTWARE_FILE = software_file("19.5")  # 26 characters, as the vendor serves it
USB_FILE = usb_file("2.12.28")  # 24 characters

# WinINet's errors for a certificate it will not accept, and for a redirect it refuses.
INVALID_CA = 12045  # ERROR_INTERNET_INVALID_CA
CERTIFICATE_NAME_INVALID = 12038  # ERROR_INTERNET_SEC_CERT_CN_INVALID
HTTPS_TO_HTTP_ON_REDIRECT = 12040

OPTIONS: argparse.Namespace


def windows_path(path: Path) -> str:
    """The path as Wine's Z: drive shows it."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def wine(*args: str, timeout: float = 90.0, check: bool = True) -> subprocess.CompletedProcess:
    return subprocess.run(["wine", *args], capture_output=True, stdin=subprocess.DEVNULL,
                          timeout=timeout, check=check)


def fetch_pass(*urls: str) -> list[dict]:
    """Each address's outcome, error, status and text, fetched one after the other in one
    process."""
    finished = wine(str(OPTIONS.fetch), *urls, check=False)
    assert finished.returncode == 0, finished
    output = finished.stdout.decode("utf-8")
    results = []
    for line in output.splitlines():
        outcome, error, status, text = line.rstrip("\r").split("\t", 3)
        results.append({"outcome": outcome, "error": int(error), "status": int(status),
                        "text": text})
    assert len(results) == len(urls), output
    return results


def serve_version_files(server: ScriptedServer) -> None:
    server.script(Answer(SOFTWARE_FILE), Answer(USB_FILE))


class Https(unittest.TestCase):
    @classmethod
    def setUpClass(cls) -> None:
        cls._folder = tempfile.TemporaryDirectory(prefix="kvat-https-")
        folder = Path(cls._folder.name)
        trusted = Authority(OPTIONS.openssl, folder, "KVAT Test Root")
        untrusted = Authority(OPTIONS.openssl, folder, "KVAT Stranger Root")
        wine(str(OPTIONS.trust_root), windows_path(trusted.certificate))
        cls.contexts = {
            "good": trusted.issue("localhost", "localhost"),
            "stranger": untrusted.issue("stranger", "localhost"),
            "other-name": trusted.issue("other-name", "www.other-name.example"),
        }

    @classmethod
    def tearDownClass(cls) -> None:
        cls._folder.cleanup()

    def assert_version_files(self, results: list[dict]) -> None:
        self.assertEqual([r["text"] for r in results],
                         [SOFTWARE_FILE.decode(), USB_FILE.decode()], results)

    def test_https_host_takes_one_connection_per_pass(self) -> None:
        with ScriptedServer(tls=self.contexts["good"], keep_alive=True) as server:
            serve_version_files(server)
            for _ in range(2):
                server.clear()
                self.assert_version_files(
                    fetch_pass(server.url(SOFTWARE_PATH), server.url(USB_PATH)))
                # Software file first, both on one kept-alive connection.
                self.assertEqual(server.paths(), [SOFTWARE_PATH, USB_PATH])
                self.assertEqual(len({r.connection for r in server.requests}), 1, server.requests)
                self.assertEqual(server.connections, 1)

    def test_server_that_closes_after_every_answer_still_answers_both(self) -> None:
        with ScriptedServer(tls=self.contexts["good"]) as server:
            serve_version_files(server)
            self.assert_version_files(
                fetch_pass(server.url(SOFTWARE_PATH), server.url(USB_PATH)))
            self.assertEqual(server.connections, 2)

    def test_http_launcher_follows_redirects_to_https(self) -> None:
        with ScriptedServer(tls=self.contexts["good"], keep_alive=True) as secure, \
                ScriptedServer(keep_alive=True) as plain:
            serve_version_files(secure)
            codes = (301, 302, 307, 308)
            for code in codes:
                # The software file's path for each, so that every answer can be checked.
                plain.answers[f"/{code}"] = redirect(secure.url(SOFTWARE_PATH), code, b"Moved")
            results = fetch_pass(*(plain.url(f"/{code}") for code in codes))
            self.assertEqual([r["text"] for r in results], [SOFTWARE_FILE.decode()] * 4, results)
            # One connection each side for the whole pass.
            self.assertEqual(plain.connections, 1)
            self.assertEqual(secure.connections, 1)
            self.assertEqual(len(secure.requests), 4)

    def test_certificate_errors_give_no_answer(self) -> None:
        for name, error in (("stranger", INVALID_CA), ("other-name", CERTIFICATE_NAME_INVALID)):
            with self.subTest(name), ScriptedServer(tls=self.contexts[name]) as server:
                serve_version_files(server)
                [result] = fetch_pass(server.url(SOFTWARE_PATH))
                self.assertEqual(result["outcome"], "transport-error", result)
                self.assertEqual(result["error"], error, result)
                self.assertEqual(result["text"], "")
                self.assertEqual(server.requests, [])  # nothing was asked over it

    def test_redirect_from_https_back_to_http_is_refused(self) -> None:
        with ScriptedServer(tls=self.contexts["good"]) as secure, ScriptedServer() as plain:
            serve_version_files(plain)
            secure.answers[SOFTWARE_PATH] = redirect(plain.url(SOFTWARE_PATH), 301)
            [result] = fetch_pass(secure.url(SOFTWARE_PATH))
            self.assertEqual(result["error"], HTTPS_TO_HTTP_ON_REDIRECT, result)
            self.assertEqual(result["text"], "")
            self.assertEqual(plain.connections, 0)


def main() -> int:
    global OPTIONS
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--fetch", type=Path, required=True, help="kvat_fetch_pass.exe")
    parser.add_argument("--trust-root", type=Path, required=True, help="kvat_trust_root.exe")
    parser.add_argument("--openssl", default="openssl", help="the openssl program")
    OPTIONS, unittest_args = parser.parse_known_args()
    if not os.environ.get("WINEPREFIX"):
        print("WINEPREFIX not set: run this inside scripts/with-wine.sh", file=sys.stderr)
        return 2
    program = unittest.main(argv=[sys.argv[0], *unittest_args], verbosity=2, exit=False)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
