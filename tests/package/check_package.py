#!/usr/bin/python3
"""Reads the release package back the way a vendor receives it.

Makes the ZIP with packaging/make_package.py into a temporary folder (or takes the one given
with --zip), unpacks it and checks README.txt, SHA256SUMS and the packaged KVAT_Launcher.exe:
version block, icon, manifest, imported DLLs, symbols, no build folder. Without --sign: the
rules for an unsigned package. With --sign the package is signed with a throwaway certificate
authority made here, through a stand-in for osslsigncode that looks for the password on disk
and in its environment; the signature is checked with osslsigncode and, under Wine, with
WinVerifyTrust.
Needs Debian's python3-pefile.
"""
import argparse
import hashlib
import json
import os
import pathlib
import re
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

import pefile

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent))
from this_version import THIS_VERSION  # noqa: E402 (found through the path above)

OPTIONS = None
PACKAGE = None
DIRTY = ""  # "-DIRTY" while the checkout has uncommitted changes

LAUNCHER = "KVAT_Launcher.exe"
NOTE = "README.txt"
SUMS = "SHA256SUMS"

# DLLs that come with every Windows; anything else would have to be shipped beside the launcher.
SYSTEM_DLLS = {
    "advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll",
    "ole32.dll", "oleaut32.dll", "psapi.dll", "shell32.dll", "shlwapi.dll", "ucrtbase.dll",
    "user32.dll", "version.dll", "wininet.dll", "ws2_32.dll",
}
# The mingw-w64 runtime DLLs a non-static link would pull in.
RUNTIME_DLL_PREFIXES = ("libstdc++", "libgcc", "libwinpthread")

RT_ICON = pefile.RESOURCE_TYPE["RT_ICON"]
RT_GROUP_ICON = pefile.RESOURCE_TYPE["RT_GROUP_ICON"]
RT_MANIFEST = pefile.RESOURCE_TYPE["RT_MANIFEST"]
SECURITY_DIRECTORY = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]

ICON_SIZE = 128
ICON_BITS = 24
BITMAPINFOHEADER_SIZE = 40

# WinVerifyTrust's answer for a file whose contents no longer match its signature.
TRUST_E_BAD_DIGEST = "0x80096010"
CERT_TRUST_IS_UNTRUSTED_ROOT = 0x20
SIGNING_PASSWORD = "throwaway pass"
# "19.05" for 19.5: the version block's text form of this build's version.
VERSION_BLOCK_TEXT = "{}.{:02}".format(*(int(part) for part in THIS_VERSION.split(".")))


def run(command, **kwargs):
    done = subprocess.run([str(part) for part in command], capture_output=True, text=True,
                          **kwargs)
    if done.returncode != 0:
        raise RuntimeError(
            f"{command[0]} failed ({done.returncode}):\n{done.stdout}\n{done.stderr}")
    return done.stdout


def commit_time(source):
    """The signing time the packer takes: SOURCE_DATE_EPOCH, else the last commit's time."""
    given = os.environ.get("SOURCE_DATE_EPOCH")
    return int(given or run(["git", "-C", source, "log", "-1", "--format=%ct"]))


def make_throwaway_signer(folder, signing_time):
    """A root authority and a code-signing certificate it issued, as ca.pem and signer.p12.

    Both are made a day before the signing time (faketime) and stay valid until tomorrow, as a
    real certificate is issued well before it signs: Wine finds a certificate not valid at a
    signing time a few seconds after its start.
    """
    issued = signing_time - 86400
    days = str((int(time.time()) - issued) // 86400 + 2)
    at_issue = ["faketime", "-f",
                 time.strftime("@%Y-%m-%d %H:%M:%S", time.localtime(issued))]
    run(at_issue + ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", days,
                     "-subj", "/CN=KVAT throwaway test root", "-keyout", folder / "ca.key",
                     "-out", folder / "ca.pem", "-addext", "basicConstraints=critical,CA:TRUE",
                     "-addext", "keyUsage=critical,keyCertSign,cRLSign"])
    run(at_issue + ["openssl", "req", "-newkey", "rsa:2048", "-nodes",
                     "-subj", "/CN=KVAT test signer",
                     "-keyout", folder / "signer.key", "-out", folder / "signer.csr"])
    (folder / "signer.ext").write_text(
        "basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n"
        "extendedKeyUsage=codeSigning\n")
    run(at_issue + ["openssl", "x509", "-req", "-in", folder / "signer.csr",
                     "-CA", folder / "ca.pem", "-CAkey", folder / "ca.key", "-CAcreateserial",
                     "-days", days, "-extfile", folder / "signer.ext",
                     "-out", folder / "signer.pem"])
    run(["openssl", "pkcs12", "-export", "-inkey", folder / "signer.key",
         "-in", folder / "signer.pem", "-certfile", folder / "ca.pem",
         "-passout", f"pass:{SIGNING_PASSWORD}", "-out", folder / "signer.p12"])


# Stands in for osslsigncode: fails when the password is in its environment, on its command line
# or in a file under the watched folder, or is not exactly the password on its standard input
# (osslsigncode itself drops a line break there), then runs the real one with the same input.
PASSWORD_WATCH = """#!/usr/bin/python3
import os, pathlib, sys
secret = bytes.fromhex("{secret}")
if "/dev/stdin" in sys.argv:
    given = sys.stdin.buffer.read()
    if given != secret:
        sys.exit(f"standard input holds {{len(given)}} bytes, not the {{len(secret)}} of the password")
    feed, into = os.pipe()
    os.write(into, given)
    os.close(into)
    os.dup2(feed, 0)
places = [f"environment variable {{key}}" for key, value in os.environ.items()
          if secret in value.encode()]
places += ["command line"] if any(secret in a.encode() for a in sys.argv) else []
places += [str(path) for path in pathlib.Path("{watched}").rglob("*")
           if path.is_file() and secret in path.read_bytes()]
if places:
    sys.exit("the signing password is in " + ", ".join(places))
pathlib.Path("{marker}").touch()
os.execv("{real}", ["{real}", *sys.argv[1:]])
"""


def run_packer(folder, environment, *options, wrapper=(), source=None):
    """Packs into `folder` (the signed name KVAT_Launcher.zip); the finished process."""
    return subprocess.run(
        [*wrapper, sys.executable, OPTIONS.packer, "--launcher", OPTIONS.launcher,
         "--note", OPTIONS.note, f"--host={OPTIONS.host}", "--source", source or OPTIONS.source,
         "--output", folder / "KVAT_Launcher.zip", *options],
        capture_output=True, text=True, env=environment, timeout=120)


def dirty_suffix(source):
    """"-DIRTY" when the checkout has uncommitted changes to tracked files, as the packer names
    such a package (the tests package with KVAT_ALLOW_DIRTY=1), else ""."""
    changed = run(["git", "-C", source, "status", "--porcelain", "--untracked-files=no"])
    return "-DIRTY" if changed.strip() else ""


def zips_in(folder):
    return sorted(path.name for path in folder.glob("*.zip")) if folder.is_dir() else []


class Package:
    """The unpacked ZIP and the parsed executable, shared by all the checks."""

    def __init__(self, options):
        self._folder = tempfile.TemporaryDirectory(prefix="kvat-package-")
        self.work = pathlib.Path(self._folder.name)
        self.packer_output = ""
        if options.zip:
            self.zip_path = pathlib.Path(options.zip)
        else:
            self.environment = self.signing_environment(options)
            out = self.work / "out"
            made = run_packer(out, self.environment)
            if made.returncode != 0 or len(zips_in(out)) != 1:
                raise RuntimeError(f"the packer made {zips_in(out)}:\n{made.stdout}{made.stderr}")
            self.packer_output = made.stdout + made.stderr
            self.zip_path = out / zips_in(out)[0]
        with zipfile.ZipFile(self.zip_path) as archive:
            self.names = [entry.filename for entry in archive.infolist()]
            archive.extractall(self.work / "unpacked")
        self.unpacked = self.work / "unpacked"
        self.note = (self.unpacked / NOTE).read_bytes() if NOTE in self.names else b""
        self.sums = (self.unpacked / SUMS).read_bytes() if SUMS in self.names else b""
        self.launcher_path = self.unpacked / LAUNCHER
        self.launcher = self.launcher_path.read_bytes() if LAUNCHER in self.names else b""
        self.exe = pefile.PE(data=self.launcher) if self.launcher else None

    def signing_environment(self, options):
        """Unsigned: the vendor's explicit opt-out. Signed: the throwaway certificate, given to
        osslsigncode through the password watch."""
        environment = {key: value for key, value in os.environ.items()
                       if not key.startswith(("KVAT_SIGN_", "KVAT_ALLOW_"))}
        # A test may run on uncommitted changes; the name then says so (DIRTY).
        environment["KVAT_ALLOW_DIRTY"] = "1"
        self.watch_marker = self.work / "password-watch-ran"
        if not options.sign:
            return dict(environment, KVAT_ALLOW_UNSIGNED="1")
        make_throwaway_signer(self.work, commit_time(options.source))
        watch = self.work / "osslsigncode-watch"
        watch.write_text(PASSWORD_WATCH.format(
            secret=SIGNING_PASSWORD.encode().hex(), watched=self.work / "out",
            marker=self.watch_marker, real=shutil.which(options.osslsigncode)))
        watch.chmod(0o755)
        return dict(environment, KVAT_SIGN_PKCS12=str(self.work / "signer.p12"),
                    KVAT_SIGN_PASSWORD=SIGNING_PASSWORD, KVAT_OSSLSIGNCODE=str(watch))

    def close(self):
        if self.exe:
            self.exe.close()
        self._folder.cleanup()

    def resources(self, type_id):
        """(id, language, bytes) of every resource of one type."""
        found = []
        directory = getattr(self.exe, "DIRECTORY_ENTRY_RESOURCE", None)
        for type_entry in directory.entries if directory else []:
            if type_entry.id != type_id:
                continue
            for name_entry in type_entry.directory.entries:
                for language_entry in name_entry.directory.entries:
                    data = language_entry.data.struct
                    found.append((name_entry.id, language_entry.id,
                                  self.exe.get_data(data.OffsetToData, data.Size)))
        return found


def setUpModule():
    global PACKAGE
    PACKAGE = Package(OPTIONS)


def tearDownModule():
    PACKAGE.close()


class PackageContentsTest(unittest.TestCase):
    def test_holds_the_launcher_the_note_and_their_sums_at_its_top(self):
        self.assertEqual(PACKAGE.names, [LAUNCHER, NOTE, SUMS])

    def test_sums_are_those_of_the_packaged_files(self):
        expected = "".join(f"{hashlib.sha256(data).hexdigest()}  {name}\n"
                           for name, data in [(LAUNCHER, PACKAGE.launcher), (NOTE, PACKAGE.note)])
        self.assertEqual(PACKAGE.sums.decode("ascii"), expected)

    def test_note_is_plain_text_with_windows_line_ends(self):
        note = PACKAGE.note
        self.assertTrue(note, "the note is empty")
        note.decode("ascii")  # raises on anything but plain ASCII
        self.assertNotIn(b"\t", note)
        self.assertEqual(note.count(b"\n"), note.count(b"\r\n"), "a line ends without CR")
        self.assertEqual(note.count(b"\r"), note.count(b"\r\n"), "a CR without LF")
        self.assertTrue(note.endswith(b"\r\n"))

    def test_note_is_for_the_customer_and_names_this_builds_addresses(self):
        note = PACKAGE.note.decode("ascii")
        for sibling in ("Calix_KVAT.exe", "KVAT_Log.exe", "CDM21228_Setup.exe"):
            self.assertIn(sibling, note)
        self.assertNotIn("@", note, "a placeholder was left unfilled")
        # The vendor's instructions stay in the repository's README.
        self.assertNotIn("cmake", note.lower())
        scheme, _, authority = OPTIONS.host.rpartition("://")
        scheme = scheme or "http"
        host, _, port = authority.partition(":")
        self.assertIn(f"    host      {host}\r\n", note)
        self.assertIn(f"    scheme    {scheme}\r\n", note)
        self.assertIn(f"    port      TCP {port or {'http': 80, 'https': 443}[scheme]}\r\n", note)
        for path in ("/download/KVAT_Software/KVAT_Software_Version.txt",
                     "/download/KVAT_Software/KVAT_USB_Version.txt"):
            self.assertIn(f"    {scheme}://{authority}{path}\r\n", note)

    def test_note_shows_the_version_files_as_the_writer_writes_them(self):
        if not OPTIONS.server_check:
            self.skipTest("no kvat-server-check in this build")
        constants = pathlib.Path(OPTIONS.source, "launcher", "constants.h").read_text()
        software = THIS_VERSION
        driver = re.search(' kDriverVersion = "([^"]+)"', constants)[1]
        folder = PACKAGE.work / "written"
        folder.mkdir()
        run([OPTIONS.wine, OPTIONS.server_check, "--write", folder, "--software", software,
             "--driver", driver])
        lines = [line.strip() for line in PACKAGE.note.decode("ascii").splitlines()]
        for written in sorted(folder.iterdir()):
            self.assertIn(written.read_text(), lines, written.name)


class ExecutableTest(unittest.TestCase):
    def test_is_a_64_bit_windows_program_with_a_window(self):
        self.assertEqual(PACKAGE.exe.FILE_HEADER.Machine,
                         pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"])
        self.assertEqual(PACKAGE.exe.OPTIONAL_HEADER.Subsystem,
                         pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"])

    def test_imports_only_dlls_every_windows_has(self):
        exe = PACKAGE.exe
        imported = [entry.dll.decode("ascii").lower()
                    for directory in ("DIRECTORY_ENTRY_IMPORT", "DIRECTORY_ENTRY_DELAY_IMPORT")
                    for entry in getattr(exe, directory, [])]
        self.assertIn("kernel32.dll", imported)
        runtime = [dll for dll in imported if dll.startswith(RUNTIME_DLL_PREFIXES)]
        self.assertEqual(runtime, [], "the compiler's runtime must be linked in statically")
        others = [dll for dll in imported
                  if dll not in SYSTEM_DLLS and not dll.startswith("api-ms-win-crt-")]
        self.assertEqual(others, [])

    def test_has_no_manifest(self):
        self.assertEqual(PACKAGE.resources(RT_MANIFEST), [])

    def test_release_build_carries_no_symbols(self):
        if not OPTIONS.stripped:
            self.skipTest("only Release and MinSizeRel builds are stripped")
        sections = [s.Name.rstrip(b"\0").decode("ascii", "replace") for s in PACKAGE.exe.sections]
        self.assertEqual([name for name in sections if name.startswith((".debug", "/"))], [])
        self.assertEqual(PACKAGE.exe.FILE_HEADER.NumberOfSymbols, 0)


    def test_carries_no_build_folder_and_no_build_time(self):
        for folder in OPTIONS.build_folders:
            for encoding in ("utf-8", "utf-16-le"):
                self.assertNotIn(str(folder).encode(encoding), PACKAGE.launcher, encoding)
        self.assertEqual(PACKAGE.exe.FILE_HEADER.TimeDateStamp, 0)


STALE_NAMES = ("KVAT_Launcher.zip", "KVAT_Launcher-UNSIGNED.zip",
               "KVAT_Launcher-19.4.0-win64-UNSIGNED-DIRTY.zip")


def stale_zips(folder):
    """Earlier packages, of this version and another, left in `folder` as neither a failed step
    nor a new package may leave them."""
    folder.mkdir(parents=True)
    for name in STALE_NAMES:
        (folder / name).write_bytes(b"an earlier package")
    return folder


def printed_sha256(output, label):
    """The hash the packer printed after `label`."""
    found = re.search(re.escape(label) + ": SHA-256 ([0-9a-f]{64})$", output, re.MULTILINE)
    return found[1] if found else None


class UnsignedPackageTest(unittest.TestCase):
    """A package without a signature is never mistaken for a signed one."""

    def setUp(self):
        if OPTIONS.zip or OPTIONS.sign:
            self.skipTest("only for an unsigned package made here")

    def test_opt_out_makes_an_unsigned_package_named_and_said_so(self):
        self.assertEqual(PACKAGE.zip_path.name, f"KVAT_Launcher-UNSIGNED{DIRTY}.zip")
        said = [line for line in PACKAGE.packer_output.splitlines() if "NOT signed" in line]
        self.assertEqual(len(said), 1, PACKAGE.packer_output)
        self.assertEqual(PACKAGE.exe.OPTIONAL_HEADER.DATA_DIRECTORY[SECURITY_DIRECTORY].Size, 0)

    def test_release_without_certificate_or_opt_out_fails_and_leaves_no_zip(self):
        environment = dict(PACKAGE.environment)
        del environment["KVAT_ALLOW_UNSIGNED"]
        folder = stale_zips(PACKAGE.work / "refused")
        made = run_packer(folder, environment)
        self.assertEqual(made.returncode, 1, made.stdout)
        self.assertIn("KVAT_SIGN_PKCS12", made.stderr)
        self.assertIn("KVAT_ALLOW_UNSIGNED=1", made.stderr)
        self.assertEqual(zips_in(folder), [])

        # The development build may package unsigned, but never under the signed name.
        made = run_packer(folder, environment, "--unsigned-allowed")
        self.assertEqual(made.returncode, 0, made.stderr)
        self.assertEqual(zips_in(folder), [f"KVAT_Launcher-UNSIGNED{DIRTY}.zip"])

    def test_earlier_packages_are_removed_and_named(self):
        folder = stale_zips(PACKAGE.work / "stale")
        (folder / "notes.zip").write_bytes(b"not a package")
        made = run_packer(folder, PACKAGE.environment)
        self.assertEqual(made.returncode, 0, made.stderr)
        self.assertEqual(zips_in(folder), ["KVAT_Launcher-UNSIGNED" + DIRTY + ".zip", "notes.zip"])
        for name in STALE_NAMES:
            self.assertIn(f"package: removed the earlier package {folder / name}\n", made.stdout)

    def test_uncommitted_changes_stop_a_release_unless_allowed(self):
        checkout = PACKAGE.work / "checkout"
        checkout.mkdir()
        tracked = checkout / "tracked.txt"
        tracked.write_text("committed\n")
        git = ["git", "-C", checkout, "-c", "user.name=t", "-c", "user.email=t@t"]
        run(git + ["init", "--quiet"])
        run(git + ["add", "tracked.txt"])
        run(git + ["commit", "--quiet", "-m", "one"])
        (checkout / "untracked.txt").write_text("not in the package's concern\n")
        allowed = PACKAGE.environment
        refused = {key: value for key, value in allowed.items() if key != "KVAT_ALLOW_DIRTY"}
        folder = PACKAGE.work / "dirty"
        # Untracked files do not count, KVAT_ALLOW_DIRTY=1 or not.
        for environment in (refused, allowed):
            made = run_packer(folder, environment, source=checkout)
            self.assertEqual(made.returncode, 0, made.stderr)
            self.assertEqual(zips_in(folder), ["KVAT_Launcher-UNSIGNED.zip"])

        tracked.write_text("changed\n")
        made = run_packer(folder, refused, source=checkout)
        self.assertEqual(made.returncode, 1, made.stdout)
        self.assertEqual(made.stderr, f"package: error: {checkout} has uncommitted changes to "
                         "tracked files (1, such as tracked.txt): commit them before a release, "
                         "or set KVAT_ALLOW_DIRTY=1 for a test package named ...-DIRTY.zip\n")
        self.assertEqual(zips_in(folder), [])
        made = run_packer(folder, allowed, source=checkout)
        self.assertEqual(made.returncode, 0, made.stderr)
        self.assertEqual(zips_in(folder), ["KVAT_Launcher-UNSIGNED-DIRTY.zip"])

    def test_bad_source_date_epoch_is_a_one_line_error(self):
        folder = stale_zips(PACKAGE.work / "bad-epoch")
        made = run_packer(folder, dict(PACKAGE.environment, SOURCE_DATE_EPOCH="2026-12-08"))
        self.assertEqual(made.returncode, 1)
        self.assertEqual(len(made.stderr.splitlines()), 1, made.stderr)
        self.assertIn("SOURCE_DATE_EPOCH", made.stderr)
        self.assertEqual(zips_in(folder), [])


class SignedPackageTest(unittest.TestCase):
    """The signature holds, the same commit signs the same, the password stays in memory."""

    def setUp(self):
        if OPTIONS.zip or not OPTIONS.sign:
            self.skipTest("only for a signed package made here")

    def test_signed_package_has_the_plain_name_and_its_printed_hashes(self):
        self.assertEqual(zips_in(PACKAGE.zip_path.parent), [f"KVAT_Launcher{DIRTY}.zip"])
        output = PACKAGE.packer_output
        self.assertEqual(printed_sha256(output, f"{LAUNCHER} signed"),
                         hashlib.sha256(PACKAGE.launcher).hexdigest(), output)
        self.assertEqual(printed_sha256(output, str(PACKAGE.zip_path)),
                         hashlib.sha256(PACKAGE.zip_path.read_bytes()).hexdigest(), output)

    def test_password_is_not_on_disk_in_a_childs_environment_or_in_the_output(self):
        # The watch fails the signing when it finds the password; here it also ran.
        self.assertTrue(PACKAGE.watch_marker.exists())
        self.assertNotIn(SIGNING_PASSWORD, PACKAGE.packer_output)

    def test_signing_again_hours_later_gives_the_same_package(self):
        folder = PACKAGE.work / "later"
        made = run_packer(folder, PACKAGE.environment, wrapper=["faketime", "-f", "+5h"])
        self.assertEqual(made.returncode, 0, made.stderr)
        self.assertEqual((folder / f"KVAT_Launcher{DIRTY}.zip").read_bytes(),
                         PACKAGE.zip_path.read_bytes())

    def test_osslsigncode_verifies_the_signature_against_the_authority(self):
        self.assertGreater(PACKAGE.exe.OPTIONAL_HEADER.DATA_DIRECTORY[SECURITY_DIRECTORY].Size, 0)
        said = run([OPTIONS.osslsigncode, "verify", "-CAfile", PACKAGE.work / "ca.pem",
                    "-in", PACKAGE.launcher_path])
        self.assertIn("Signature verification: ok", said)

    def test_windows_trusts_the_signature_until_one_byte_changes(self):
        untrusted = self.win_verify_trust(PACKAGE.launcher_path)
        self.assertTrue(int(untrusted["chain"], 16) & CERT_TRUST_IS_UNTRUSTED_ROOT, untrusted)
        run([OPTIONS.wine, OPTIONS.trust_root, PACKAGE.work / "ca.pem"])
        self.assertEqual(self.win_verify_trust(PACKAGE.launcher_path),
                         {"trust": "0x00000000", "chain": "0x00000000"})

        changed = PACKAGE.work / "changed" / LAUNCHER
        changed.parent.mkdir()
        data = bytearray(PACKAGE.launcher)
        # One byte of the code: signed content, well away from the headers and the signature.
        code = next(section for section in PACKAGE.exe.sections
                    if section.Name.startswith(b".text"))
        data[code.PointerToRawData + code.SizeOfRawData // 2] ^= 0x01
        changed.write_bytes(data)
        self.assertEqual(self.win_verify_trust(changed)["trust"], TRUST_E_BAD_DIGEST)

    def test_password_file_signs_without_its_last_line_break(self):
        environment = {key: value for key, value in PACKAGE.environment.items()
                       if key != "KVAT_SIGN_PASSWORD"}
        secret = PACKAGE.work / "password"
        # As a Windows editor saves it: the CR is no more part of the password than the LF.
        secret.write_bytes(SIGNING_PASSWORD.encode() + b"\r\n")
        environment["KVAT_SIGN_PASSWORD_FILE"] = str(secret)
        folder = PACKAGE.work / "password-file"
        made = run_packer(folder, environment)
        self.assertEqual(made.returncode, 0, made.stdout + made.stderr)
        self.assertEqual(zips_in(folder), [f"KVAT_Launcher{DIRTY}.zip"])

        # Both ways at once is one too many: which one would sign?
        made = run_packer(folder, dict(environment, KVAT_SIGN_PASSWORD=SIGNING_PASSWORD))
        self.assertEqual(made.returncode, 1, made.stdout)
        self.assertEqual(made.stderr, "package: error: both KVAT_SIGN_PASSWORD_FILE and "
                         "KVAT_SIGN_PASSWORD are set: keep one\n")
        self.assertEqual(zips_in(folder), [])

    def test_time_stamp_server_that_never_answers_is_given_up(self):
        folder = stale_zips(PACKAGE.work / "time-stamp")
        with socket.create_server(("127.0.0.1", 0)) as silent:
            url = f"http://127.0.0.1:{silent.getsockname()[1]}"
            started = time.monotonic()
            made = run_packer(folder, dict(PACKAGE.environment, KVAT_SIGN_TIMESTAMP_URL=url,
                                           KVAT_SIGN_TIMESTAMP_TIMEOUT="2"))
            took = time.monotonic() - started
        self.assertEqual(made.returncode, 1, made.stdout)
        self.assertEqual(made.stderr, f"package: error: the time-stamp server {url} did not "
                         "answer within 2 s: nothing signed, no package made\n")
        self.assertLess(took, 30)
        self.assertEqual(zips_in(folder), [])

    def test_failed_signing_leaves_no_package(self):
        folder = stale_zips(PACKAGE.work / "wrong")
        made = run_packer(folder, dict(PACKAGE.environment, KVAT_SIGN_PASSWORD="not the password"))
        self.assertEqual(made.returncode, 1, made.stdout)
        self.assertIn("signing failed", made.stderr)
        self.assertEqual(zips_in(folder), [])

    def test_screenshot_of_a_window_that_never_shows_fails_within_its_bound(self):
        if not OPTIONS.run_package:
            self.skipTest("no scripts/run-package.sh given")
        shot = PACKAGE.work / "never.png"
        # A proxy (Wine's WinINet takes http_proxy) that accepts and never answers: the launcher
        # waits out its whole check before it shows its window.
        with socket.create_server(("127.0.0.1", 0)) as silent:
            environment = dict(os.environ, KVAT_TRUST_ROOT_TOOL=OPTIONS.trust_root,
                               http_proxy=f"http://127.0.0.1:{silent.getsockname()[1]}")
            done = subprocess.run(
                [OPTIONS.run_package, "--trust-root", PACKAGE.work / "ca.pem", "--wait", "5",
                 "--screenshot", shot, PACKAGE.zip_path],
                capture_output=True, text=True, env=environment, timeout=120)
        said = done.stdout + done.stderr
        self.assertEqual(done.returncode, 1, said)
        self.assertIn("kvat_trust_root: trusted", said)
        self.assertIn('the window "KVAT Software Selection" was not visible within 5 s', said)
        self.assertFalse(shot.exists())

    @staticmethod
    def win_verify_trust(path):
        done = subprocess.run([OPTIONS.wine, OPTIONS.verify_signature, str(path)],
                              capture_output=True, text=True)
        # "trust 0x...", "chain 0x..." (see tests/tools/verify_signature.cpp)
        return dict(line.split() for line in done.stdout.splitlines() if line.strip())


class VersionBlockTest(unittest.TestCase):
    def setUp(self):
        exe = PACKAGE.exe
        self.assertTrue(hasattr(exe, "VS_FIXEDFILEINFO") and hasattr(exe, "FileInfo"),
                        "the executable has no version block")
        self.fixed = exe.VS_FIXEDFILEINFO[0]
        blocks = [info for group in exe.FileInfo for info in group]
        self.tables = [table for info in blocks if info.Key == b"StringFileInfo"
                       for table in info.StringTable]
        self.translations = [var.entry.get(b"Translation") for info in blocks
                             if info.Key == b"VarFileInfo" for var in info.Var]

    def test_numeric_file_and_product_versions_are_this_builds_x_y_0_0(self):
        major, minor = (int(part) for part in THIS_VERSION.split("."))
        high, low = (major << 16) | minor, 0
        self.assertEqual((self.fixed.FileVersionMS, self.fixed.FileVersionLS), (high, low))
        self.assertEqual((self.fixed.ProductVersionMS, self.fixed.ProductVersionLS), (high, low))

    def test_strings_in_one_us_english_unicode_table(self):
        self.assertEqual(len(self.tables), 1)
        table = self.tables[0]
        self.assertEqual(table.LangID.upper(), b"040904B0")
        strings = {key.decode(): value.decode() for key, value in table.entries.items()}
        self.assertEqual(strings, {
            "FileDescription": "Software Launcher",
            "FileVersion": VERSION_BLOCK_TEXT,
            "InternalName": "KVAT_Launcher",
            "OriginalFilename": "KVAT_Launcher.exe",
            "ProductName": "KVAT_Launcher",
            "ProductVersion": VERSION_BLOCK_TEXT,
        })

    def test_translation_is_0409_code_page_1200(self):
        self.assertEqual([t.lower() for t in self.translations], ["0x0409 0x04b0"])


class VersionPlacesTest(unittest.TestCase):
    """The version is written once, in project(VERSION); every other place takes it from there."""

    def test_project_line_is_the_only_place_that_spells_the_version(self):
        major, minor = THIS_VERSION.split(".")
        # git grep ends with 1 when nothing matches.
        found = subprocess.run(
            ["git", "-C", OPTIONS.source, "grep", "-n", "-F", "-e", THIS_VERSION, "-e",
             VERSION_BLOCK_TEXT, "-e", f"{major},{minor},0,0", "--", "CMakeLists.txt", "cmake",
             "launcher", "platform", "resources", "packaging", "tools"],
            capture_output=True, text=True)
        self.assertIn(found.returncode, (0, 1), found.stderr)
        self.assertEqual(found.stdout.splitlines(),
                         [f"CMakeLists.txt:{self.project_line()}:project(KVAT_Launcher VERSION "
                          f"{THIS_VERSION}.0.0 LANGUAGES CXX)"])

    def test_note_and_executable_carry_this_builds_version(self):
        self.assertIn(f"Version {THIS_VERSION}\r\n", PACKAGE.note.decode("ascii"))
        self.assertIn(THIS_VERSION.encode("ascii"), PACKAGE.launcher)

    @staticmethod
    def project_line():
        lines = pathlib.Path(OPTIONS.source, "CMakeLists.txt").read_text().splitlines()
        return next(number for number, line in enumerate(lines, 1)
                    if line.startswith("project("))


class ReleaseConfigureTest(unittest.TestCase):
    def test_release_preset_refuses_the_placeholder_host_before_building(self):
        if not (OPTIONS.cmake and OPTIONS.source):
            self.skipTest("no cmake given")
        presets = json.loads(pathlib.Path(OPTIONS.source, "CMakePresets.json").read_text())
        release = next(preset for preset in presets["configurePresets"]
                       if preset["name"] == "release")
        self.assertEqual(release["cacheVariables"].get("KVAT_VENDOR_HOST_REQUIRED"), "ON")
        with tempfile.TemporaryDirectory(prefix="kvat-release-configure-") as build:
            done = subprocess.run([OPTIONS.cmake, "-S", OPTIONS.source, "-B", build,
                                   "-DKVAT_VENDOR_HOST_REQUIRED=ON", "-DBUILD_TESTING=OFF",
                                   "-DKVAT_BUILD_SERVER_CHECK=OFF"],
                                  capture_output=True, text=True)
            # Nothing to build with: the configure step never wrote a build system.
            built = [name for name in ("build.ninja", "Makefile")
                     if pathlib.Path(build, name).exists()]
        self.assertNotEqual(done.returncode, 0, done.stdout)
        self.assertIn("\n   KVAT_VENDOR_HOST is the placeholder www.korvane.example, which never "
                      "resolves: configure the release with -DKVAT_VENDOR_HOST=<your host>\n",
                      done.stderr)
        self.assertEqual(built, [])


class IconTest(unittest.TestCase):
    def test_one_icon_of_128_pixels_at_24_bits(self):
        groups = PACKAGE.resources(RT_GROUP_ICON)
        self.assertEqual(len(groups), 1, "icon groups")
        group = groups[0][2]
        reserved, kind, count = struct.unpack_from("<HHH", group)
        self.assertEqual((reserved, kind, count), (0, 1, 1))
        width, height, colours, _, planes, bits, size, icon_id = struct.unpack_from(
            "<BBBBHHIH", group, 6)
        self.assertEqual((width, height, colours, planes, bits), (ICON_SIZE, ICON_SIZE, 0, 1, ICON_BITS))

        icons = PACKAGE.resources(RT_ICON)
        self.assertEqual([entry[0] for entry in icons], [icon_id], "the group names the one icon")
        image = icons[0][2]
        self.assertEqual(len(image), size, "the group's size of the image")

        header = struct.unpack_from("<IiiHHI", image)
        # The height counts the colour image and the transparency mask: twice the icon's.
        self.assertEqual(header, (BITMAPINFOHEADER_SIZE, ICON_SIZE, 2 * ICON_SIZE, 1, ICON_BITS, 0))
        colour_bytes = ICON_SIZE * ICON_SIZE * ICON_BITS // 8
        mask_bytes = ICON_SIZE * ((ICON_SIZE + 31) // 32 * 4)
        self.assertEqual(len(image), BITMAPINFOHEADER_SIZE + colour_bytes + mask_bytes)


def main():
    global OPTIONS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--zip", help="check this ZIP instead of making one")
    parser.add_argument("--packer", help="packaging/make_package.py")
    parser.add_argument("--launcher", help="the built KVAT_Launcher.exe to package")
    parser.add_argument("--note", help="the configured README.txt to package")
    parser.add_argument("--source", help="the checkout (for the date of its last commit)")
    parser.add_argument("--host", required=True, help="the KVAT_VENDOR_HOST of the build")
    parser.add_argument("--build-type", default="", help="CMAKE_BUILD_TYPE of the build")
    parser.add_argument("--build-folder", dest="build_folders", action="append", default=[],
                        help="a folder whose path must not appear in the executable")
    parser.add_argument("--sign", action="store_true",
                        help="sign with a throwaway authority and check the signature")
    parser.add_argument("--osslsigncode", default="osslsigncode")
    parser.add_argument("--wine", default="wine")
    parser.add_argument("--server-check", help="kvat-server-check.exe, the version files' writer")
    parser.add_argument("--trust-root", help="kvat_trust_root.exe")
    parser.add_argument("--verify-signature", help="kvat_verify_signature.exe")
    parser.add_argument("--run-package", help="scripts/run-package.sh")
    parser.add_argument("--cmake", help="cmake, to configure the release in a scratch folder")
    OPTIONS, rest = parser.parse_known_args()
    if not OPTIONS.zip and not (OPTIONS.packer and OPTIONS.launcher and OPTIONS.note
                                and OPTIONS.source):
        parser.error("give --zip, or --packer, --launcher, --note and --source")
    if OPTIONS.sign and not (OPTIONS.trust_root and OPTIONS.verify_signature):
        parser.error("--sign needs --trust-root and --verify-signature")
    OPTIONS.stripped = OPTIONS.build_type in ("Release", "MinSizeRel")
    global DIRTY
    DIRTY = dirty_suffix(OPTIONS.source) if OPTIONS.source else ""
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
