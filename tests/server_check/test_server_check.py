"""kvat-server-check against scripted local web servers: what it reports and its exit status
for a good server, the usual faults, redirects and logins, https and the connections a pass
opens, and files it wrote itself.

    test_server_check.py --program [WRAPPER] PATH [--trust-root EXE] [unittest options]

WRAPPER is what runs the program, such as wine for the Windows build. The Windows build fetches
with the launcher's own code, so the same table of servers holds the launcher and the Linux
check to one outcome and one reason each. A throwaway certificate authority is made at run
time: the Windows build trusts it in the test's Wine prefix (--trust-root, run under Wine), the
Linux build through --cacert.
"""
import argparse
import os
import pathlib
import socket
import ssl
import subprocess
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True  # keep the source tree clean
TESTS = pathlib.Path(__file__).resolve().parent.parent
sys.path[:0] = [str(TESTS), str(TESTS / "e2e")]
from harness import windows_path  # noqa: E402 (found through the path above)
from scripted_server import (SOFTWARE_PATH, USB_PATH, Answer, Authority,  # noqa: E402
                             ScriptedServer, redirect, software_file, usb_file)
from this_version import THIS_VERSION, neighbour_version  # noqa: E402

OTHER = neighbour_version(1)  # a version this build is not

PROGRAM = []
OPTIONS: argparse.Namespace
ACCEPTED, NOT_ACCEPTED, USAGE = 0, 1, 2


def run(*arguments):
    result = subprocess.run([*PROGRAM, *arguments], capture_output=True, text=True, timeout=90)
    return result.returncode, result.stdout, result.stderr


def check(software, usb, *options):
    """Runs the check against a server answering the two files so (None: 404)."""
    with ScriptedServer() as server:
        server.script(software, usb)
        return run(*options, f"127.0.0.1:{server.port}")


class AgainstServer(unittest.TestCase):
    def test_good_server(self):
        status, out, _ = check(Answer(software_file(OTHER)),
                               Answer(usb_file("2.12.28")),
                               "--recorded-driver", "2.12.28")
        self.assertEqual(status, ACCEPTED, out)
        self.assertIn("HTTP 200, 26 bytes, 26 characters (26 expected)", out)
        self.assertIn(f'accepted    yes: version "{OTHER}"', out)
        self.assertIn(f"txtServerVersion      Latest Software Available:  {OTHER}\n"
                      "                        You DO NOT have the latest software. "
                      "Click to update now.\n", out)
        self.assertIn("USB Driver installed and is latest version: 2.12.28", out)
        self.assertIn("cmdDownloadSoftware   shown", out)
        self.assertIn("cmdUpdateUSBdriver    hidden", out)

    def test_software_file_ending_in_cr_lf(self):
        status, out, _ = check(Answer(software_file(THIS_VERSION) + b"\r\n"),
                               Answer(usb_file("2.12.28")))
        self.assertEqual(status, NOT_ACCEPTED, out)
        self.assertIn("HTTP 200, 28 bytes, 28 characters (26 expected)", out)
        self.assertIn("no: 28 characters, 2 too many: the file ends with a line break (CR LF)",
                      out)
        # What the launcher's window shows over that status, word for word.
        self.assertIn("[tooltip] Reason: 28 characters, 2 too many: the file ends with a line "
                      "break (CR LF)\n", out)
        self.assertIn("Latest Software Available:  UNABLE TO VERIFY\n", out)
        self.assertIn("Not accepted: the software version file.", out)

    def test_missing_file_and_oversized_answer(self):
        # No driver recorded: the driver row is "not installed" whatever the server says.
        status, out, _ = check(Answer(b"x" * 5000), None)
        self.assertEqual(status, NOT_ACCEPTED, out)
        self.assertIn("none: more than 4096 bytes", out)
        self.assertIn("HTTP 404, 9 bytes\n", out)
        self.assertIn("accepted    no: HTTP status 404: the file is not on the server", out)
        self.assertIn("USB Driver not installed.  Click to install.", out)

    def test_nothing_listening(self):
        # A bound socket that does not listen refuses every connection.
        with socket.socket() as bound:
            bound.bind(("127.0.0.1", 0))
            host = f"127.0.0.1:{bound.getsockname()[1]}"
            status, out, _ = run(host)
        self.assertEqual(status, NOT_ACCEPTED, out)
        self.assertEqual(out.count(f"answer      none: could not connect to {host} (refused, "
                                   "unreachable or blocked)\n"), 2, out)


class RedirectsAndLogins(unittest.TestCase):
    """One table of servers; the launcher's fetch (Windows build) and libcurl (Linux build) must
    report each the same way."""

    @classmethod
    def setUpClass(cls):
        cls._folder = tempfile.TemporaryDirectory(prefix="kvat-check-")
        folder = pathlib.Path(cls._folder.name)
        cls.authority = Authority(OPTIONS.openssl, folder, "KVAT Check Root")
        cls.tls = cls.authority.issue("localhost", "localhost")
        cls.certificate_faults = {
            "comes from an authority this computer does not trust":
                Authority(OPTIONS.openssl, folder, "KVAT Stranger Root").issue("stranger",
                                                                               "localhost"),
            "is for another name": cls.authority.issue("other-name", "www.other-name.example"),
        }
        cls.trust = []
        if OPTIONS.trust_root:
            subprocess.run(["wine", OPTIONS.trust_root, windows_path(cls.authority.certificate)],
                           check=True, capture_output=True, stdin=subprocess.DEVNULL, timeout=90)
        else:
            cls.trust = ["--cacert", str(cls.authority.certificate)]

    @classmethod
    def tearDownClass(cls):
        cls._folder.cleanup()

    def test_table(self):
        doc = software_file(OTHER)
        login = ["WWW-Authenticate: NTLM", "WWW-Authenticate: Negotiate"]
        bad_location = "answer      none: a redirect whose Location is not a web address\n"
        # name: (software file's answer, what else the plain server serves, what the secure
        # one serves, the report's lines, paths never to be asked)
        table = {
            "302 with a 10 KB body": ((302, ["Location: /doc"], b"m" * 10240), {}, {},
                                      ["redirected  {plain}/doc",
                                       f'accepted    yes: version "{OTHER}"'],
                                      []),
            "300 with a Location": ((300, ["Location: /doc"], b""), {}, {},
                                    ["answer      HTTP 300, 0 bytes",
                                     "accepted    no: HTTP status 300\n"],
                                    ["/doc"]),
            "http to https to http": ((302, ["Location: {secure}/up"], b""), {},
                                      {"/up": (302, ["Location: {plain}/doc"], b"")},
                                      ["redirected  {secure}/up", "answer      none: a redirect "
                                       "from https back to plain http, which the launcher "
                                       "refuses", "refused     a redirect to {plain}/doc\n"],
                                      ["/doc"]),
            "fragment": ((302, ["Location: /doc#part"], b""), {}, {},
                         ["redirected  {plain}/doc\n", f'accepted    yes: version "{OTHER}"'], []),
            "login asked": ((401, login, b"Login"), {}, {},
                            ["answer      HTTP 401, 5 bytes", "accepted    no: HTTP status 401: a "
                             "login is asked for, and the launcher never sends one"], []),
            "loop": ((302, [f"Location: {SOFTWARE_PATH}"], b""), {}, {},
                     ["answer      none: more than 5 redirects"], []),
            "bad Location": ((302, ["Location: http://[::1/doc"], b""), {}, {},
                             ["answer      none: a redirect whose Location is not a web "
                              "address"], []),
            "other scheme": ((302, ["Location: ftp://127.0.0.1/doc"], b""), {}, {},
                             ["answer      none: a redirect to an address that is neither http "
                              "nor https"], []),
            # Whatever a library would make of these, both fetchers refuse them alike.
            "user and password": ((302, ["Location: {plain_user}/doc"], b""), {}, {},
                                  [bad_location], ["/doc"]),
            "backslash": ((302, ["Location: /\\127.0.0.1/doc"], b""), {}, {}, [bad_location],
                          ["/doc", "/127.0.0.1/doc", "/%5C127.0.0.1/doc"]),
            "scheme without //": ((302, ["Location: https:doc"], b""), {}, {}, [bad_location],
                                  ["/doc", "/download/KVAT_Software/doc"]),
            "raw non-ASCII byte": ((302, ["Location: /doc\xe9"], b""), {}, {}, [bad_location],
                                   ["/doc\xe9", "/doc%E9", "/doc%C3%A9", "/doc"]),
            # Accepted by the launcher, but no launcher of this build would match it.
            "moved blank": ((200, [], b"KVAT Software Version" + THIS_VERSION.encode() + b" "),
                            {}, {}, [f'accepted    yes: version "{THIS_VERSION[1:]} "',
                                     f'[vendor] software version  "{THIS_VERSION[1:]} " is not a '
                                     "version: this build's versions are two digits"], []),
            "driver other than this build's": (
                (200, [], doc), {USB_PATH: (200, [], usb_file("2.12.30"))}, {},
                ["Both version files are accepted.\n", '[vendor] driver version    "2.12.30" is '
                 "not 2.12.28, the driver version this build installs and records: every "
                 "launcher of this build would offer its driver at every start"], []),
            "UTF-16": ((200, [], "\ufeff".encode("utf-16-le") + doc.decode().encode("utf-16-le")),
                       {}, {}, ["the file is UTF-16, two bytes a character, and starts with its "
                                "byte order mark; save it as plain ASCII\n"], []),
        }
        for name, (software, plain_routes, secure_routes, lines, unasked) in table.items():
            with self.subTest(name), ScriptedServer(keep_alive=True) as plain, \
                    ScriptedServer(tls=self.tls, keep_alive=True) as secure:
                urls = {"plain": plain.url("", "127.0.0.1"), "secure": secure.url(""),
                        "plain_user": plain.url("", "kvatuser:s3cretPW42@127.0.0.1")}
                fill = lambda route: Answer(route[2], route[0], [h.format(**urls) for h in route[1]])
                plain.answers = {SOFTWARE_PATH: fill(software), "/doc": Answer(doc),
                                 **{p: fill(r) for p, r in plain_routes.items()}}
                secure.answers = {p: fill(r) for p, r in secure_routes.items()}
                status, out, _ = run(*self.trust, f"127.0.0.1:{plain.port}")
                # The USB file is missing, or a vendor's check finds a fault.
                self.assertEqual(status, NOT_ACCEPTED, out)
                for line in lines:
                    self.assertIn(line.format(**urls), out)
                self.assertNotIn("s3cret", out)  # no report shows a password
                if not any(line.startswith("redirected") for line in lines):
                    self.assertNotIn("redirected", out)
                asked = plain.requests + secure.requests
                paths = [request.path for request in asked]
                self.assertFalse(set(unasked) & set(paths), paths)
                self.assertEqual(paths.count(SOFTWARE_PATH), 1 if name != "loop" else 6, paths)
                self.assertFalse([path for path in paths if "#" in path], paths)
                self.assertEqual([r for r in asked if "Authorization" in r.headers], [])

    def test_https_host_and_scheme_hints(self):
        with ScriptedServer(tls=self.tls, keep_alive=True) as secure, \
                ScriptedServer(keep_alive=True) as plain:
            for server in (secure, plain):
                server.answers[SOFTWARE_PATH] = Answer(software_file(OTHER))
            # The launcher's scheme given for the other one's port. A TLS server fed plain
            # http may close before or after its alert reaches the client: either reason holds.
            for host, other, reasons in (
                    (f"localhost:{secure.port}", f"https://localhost:{secure.port}",
                     ("the connection ended before the whole answer arrived",
                      "the server closed the connection without answering")),
                    (f"https://localhost:{plain.port}", f"http://localhost:{plain.port}",
                     ("no secure (TLS) connection could be set up",))):
                with self.subTest(host):
                    status, out, _ = run(*self.trust, host)
                    self.assertEqual(status, NOT_ACCEPTED, out)
                    self.assertTrue(any(f"answer      none: {reason}\n" in out
                                        for reason in reasons), out)
                    self.assertIn(f"Hint: port {other.rsplit(':', 1)[1]} answers ", out)
                    self.assertIn(f": try HOST {other}\n", out)
            status, out, _ = run(*self.trust, f"https://localhost:{secure.port}")
            self.assertIn(f'accepted    yes: version "{OTHER}"', out)
            self.assertNotIn("Hint", out)

        # A server that answers plain http on its https port with a 400 of its own.
        with ScriptedServer(tls=self.tls, keep_alive=True, plain_http_400=True) as secure:
            secure.answers[SOFTWARE_PATH] = Answer(software_file(OTHER))
            status, out, _ = run(*self.trust, f"localhost:{secure.port}")
            self.assertEqual(status, NOT_ACCEPTED, out)
            self.assertIn("answer      HTTP 400, 0 bytes\n", out)
            self.assertIn(f"Hint: port {secure.port} answers https, not plain http: try HOST "
                          f"https://localhost:{secure.port}\n", out)

        for fault, context in self.certificate_faults.items():
            with self.subTest(fault), ScriptedServer(tls=context, keep_alive=True) as server:
                status, out, _ = run(*self.trust, f"https://localhost:{server.port}")
                self.assertIn(f"answer      none: the server's certificate {fault}\n", out)
                self.assertNotIn("Hint", out)
                self.assertEqual(server.requests, [])  # nothing was asked over it

    def test_tls_cut_is_a_reset(self):
        """The scripted server's reset is one over TLS too, not a clean close: read below TLS."""
        incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
        tls = ssl.create_default_context(cafile=str(self.authority.certificate)).wrap_bio(
            incoming, outgoing, server_hostname="localhost")
        with ScriptedServer(tls=self.tls) as server, \
                socket.create_connection(("127.0.0.1", server.port)) as raw:
            server.answers["/cut"] = Answer(b"x" * 100, cut_after=10)
            while True:
                try:
                    tls.do_handshake()
                    break
                except ssl.SSLWantReadError:
                    raw.sendall(outgoing.read())
                    incoming.write(raw.recv(65536))
            tls.write(b"GET /cut HTTP/1.1\r\nHost: localhost\r\n\r\n")
            raw.sendall(outgoing.read())
            with self.assertRaises(ConnectionResetError):
                while raw.recv(65536):
                    pass

    def test_https_passes_and_their_connections(self):
        # The launcher's fetch (the Windows build) asks one server over one kept connection.
        launcher_fetch = bool(OPTIONS.trust_root)
        good = (Answer(software_file(OTHER)), Answer(usb_file("2.12.28")))
        for keep_alive in (True, False):
            with self.subTest(keep_alive=keep_alive), \
                    ScriptedServer(tls=self.tls, keep_alive=keep_alive) as server:
                server.script(*good)
                status, out, _ = run(*self.trust, "--recorded-driver", "2.12.28",
                                     f"https://localhost:{server.port}")
                self.assertEqual(status, ACCEPTED, out)
                self.assertEqual(server.paths(), [SOFTWARE_PATH, USB_PATH])
                if launcher_fetch or not keep_alive:
                    self.assertEqual(server.connections, 1 if keep_alive else 2)

        # Every followed redirect status, from http to https.
        with ScriptedServer(keep_alive=True) as plain, \
                ScriptedServer(tls=self.tls, keep_alive=True) as secure:
            plain.answers = {SOFTWARE_PATH: redirect(secure.url("/307"), 301),
                             USB_PATH: redirect(secure.url(USB_PATH), 302)}
            secure.script(*good)
            secure.answers.update({"/307": redirect("/308", 307),
                                   "/308": redirect(SOFTWARE_PATH, 308)})
            status, out, _ = run(*self.trust, "--recorded-driver", "2.12.28",
                                 f"127.0.0.1:{plain.port}")
            self.assertEqual(status, ACCEPTED, out)
            for path in (SOFTWARE_PATH, USB_PATH):
                self.assertIn(f"redirected  {secure.url(path)}\n", out)
            if launcher_fetch:
                self.assertEqual((plain.connections, secure.connections), (1, 1))


class Writer(unittest.TestCase):
    def test_written_files_pass_the_check(self):
        with tempfile.TemporaryDirectory() as folder:
            status, _, err = run("--write", folder, "--software", THIS_VERSION,
                                 "--driver", "2.12.3")
            self.assertEqual(status, USAGE)
            self.assertIn("--driver 2.12.3: 6 characters, 1 too few", err)
            self.assertEqual(os.listdir(folder), [])

            status, out, err = run("--write", folder, "--software", THIS_VERSION,
                                   "--driver", "2.12.28")
            self.assertEqual(status, ACCEPTED, err)
            names = sorted(os.listdir(folder))  # nothing but the two files is left behind
            self.assertEqual(names, ["KVAT_Software_Version.txt", "KVAT_USB_Version.txt"])
            software, usb = (pathlib.Path(folder, name).read_bytes() for name in names)

        status, out, _ = check(Answer(software), Answer(usb), "--recorded-driver", "2.12.28")
        self.assertEqual(status, ACCEPTED, out)
        self.assertIn("You have the latest software.", out)


    def test_rewrite_keeps_the_old_files_mode(self):
        if OPTIONS.trust_root:
            self.skipTest("Unix modes are the Linux check's; the Windows one keeps the DACL")
        with tempfile.TemporaryDirectory() as folder:
            software = pathlib.Path(folder, "KVAT_Software_Version.txt")
            usb = pathlib.Path(folder, "KVAT_USB_Version.txt")
            for old, mode in ((software, 0o640), (usb, 0o604)):
                old.write_bytes(b"old")
                old.chmod(mode)
            status, _, err = run("--write", folder, "--software", OTHER, "--driver", "2.12.28")
            self.assertEqual(status, ACCEPTED, err)
            self.assertEqual([oct(path.stat().st_mode & 0o7777) for path in (software, usb)],
                             [oct(0o640), oct(0o604)])
            self.assertTrue(software.read_bytes().endswith(OTHER.encode()))

            # What another user may not take over is said, not passed over.
            if os.geteuid() == 0:
                os.chmod(folder, 0o777)
                for path in (software, usb):
                    path.chmod(0o666)
                result = subprocess.run([*PROGRAM, "--write", folder, "--software", OTHER,
                                         "--driver", "2.12.28"], user=65534, capture_output=True,
                                        text=True, timeout=90)
                self.assertEqual(result.returncode, ACCEPTED, result.stderr)
                self.assertIn("but the old file's owner (uid 0) could not be kept", result.stdout)

            # A link is refused, not replaced by a file: the web server may serve its target.
            usb.unlink()
            usb.symlink_to(software)
            status, _, err = run("--write", folder, "--software", OTHER, "--driver", "2.12.28")
            self.assertEqual(status, NOT_ACCEPTED, err)
            self.assertIn("KVAT_USB_Version.txt: it is a symbolic link", err)
            self.assertTrue(usb.is_symlink())


class WriterRefusals(unittest.TestCase):
    """--write leaves a folder as it found it when it cannot finish."""

    def test_read_only_file_is_refused_and_neither_file_touched(self):
        with tempfile.TemporaryDirectory() as folder:
            software = pathlib.Path(folder, "KVAT_Software_Version.txt")
            usb = pathlib.Path(folder, "KVAT_USB_Version.txt")
            software.write_bytes(b"old software")
            usb.write_bytes(b"old usb")
            usb.chmod(0o444)
            status, _, err = run("--write", folder, "--software", OTHER, "--driver", "2.12.30")
            self.assertEqual(status, NOT_ACCEPTED, err)
            self.assertIn("KVAT_USB_Version.txt: the file is read-only", err)
            self.assertEqual((software.read_bytes(), usb.read_bytes()),
                             (b"old software", b"old usb"))
            self.assertEqual(sorted(os.listdir(folder)), [software.name, usb.name])

    def test_missing_folder_is_not_made(self):
        with tempfile.TemporaryDirectory() as parent:
            folder = pathlib.Path(parent, "no such folder")
            status, _, err = run("--write", folder, "--software", OTHER, "--driver", "2.12.30")
            self.assertEqual(status, NOT_ACCEPTED, err)
            self.assertIn("no such folder", err)
            self.assertEqual(os.listdir(parent), [])


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", nargs="+", required=True)
    parser.add_argument("--openssl", default="openssl")
    parser.add_argument("--trust-root", help="kvat_trust_root.exe, for the Windows build")
    OPTIONS, rest = parser.parse_known_args()
    PROGRAM = OPTIONS.program
    unittest.main(argv=[sys.argv[0], *rest])
