#!/usr/bin/python3
"""Builds the signed release twice and checks that both builds are the same bit for bit.

Each build starts from its own clean clone of the checkout's last commit, in its own temporary
folder (of a different length), with the release preset and its package target, signed with one
throwaway RSA certificate and no time stamp. The second build runs in another time zone and,
when Debian's faketime is there, with its clock 13 hours and 17 minutes ahead, so that anything
taken from the clock or the folder would differ. Compares the unsigned KVAT_Launcher.exe, the
signed one and the ZIP by SHA-256, checks that removing the signature gives the unsigned
executable back (the check a rebuilder makes), and looks for the folders in the executable.
"""
import argparse
import hashlib
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from check_package import SIGNING_PASSWORD, commit_time, make_throwaway_signer  # noqa: E402

OPTIONS = None
SIGNER = None
BUILDS = []

CLOCK_SHIFT = "+13h17m"


def run(command, **kwargs):
    done = subprocess.run(command, capture_output=True, text=True, **kwargs)
    if done.returncode != 0:
        raise RuntimeError(f"{' '.join(map(str, command))} failed ({done.returncode}):\n"
                           f"{done.stdout[-4000:]}\n{done.stderr[-4000:]}")
    return done.stdout


class Build:
    """One clean clone of the commit, built with the release preset."""

    def __init__(self, commit, prefix, time_zone, clock_shift):
        self._folder = tempfile.TemporaryDirectory(prefix=prefix)
        self.source = pathlib.Path(self._folder.name) / "KVAT source checkout"
        run(["git", "clone", "--quiet", "--no-checkout", "--no-hardlinks", str(OPTIONS.source),
             str(self.source)])
        run(["git", "-C", str(self.source), "checkout", "--quiet", commit])

        environment = {key: value for key, value in os.environ.items()
                       if not key.startswith(("KVAT_SIGN_", "KVAT_ALLOW_"))}
        environment.update(TZ=time_zone, KVAT_SIGN_PKCS12=str(SIGNER / "signer.p12"),
                           KVAT_SIGN_PASSWORD=SIGNING_PASSWORD)
        environment.pop("SOURCE_DATE_EPOCH", None)  # taken from the commit, as a vendor would
        wrapper = ["faketime", "-f", clock_shift] if clock_shift else []
        started = time.monotonic()
        # The release refuses the placeholder host; this one is never asked.
        run(wrapper + [OPTIONS.cmake, "--preset", "release", "-DKVAT_VENDOR_HOST=www.example.com"],
            cwd=self.source, env=environment)
        self.log = run(wrapper + [OPTIONS.cmake, "--build", "--preset", "release", "--target",
                                  "package", "-j", str(OPTIONS.jobs)],
                       cwd=self.source, env=environment)
        self.seconds = time.monotonic() - started
        binary = self.source / "build" / "release"
        self.launcher = (binary / "KVAT_Launcher.exe").read_bytes()
        zips = list((binary / "package").glob("*.zip"))
        if len(zips) != 1:
            raise RuntimeError(f"the package target made {len(zips)} ZIP files, not one")
        self.zip_path = zips[0]
        self.zip = self.zip_path.read_bytes()
        with zipfile.ZipFile(self.zip_path) as archive:
            self.signed = archive.read("KVAT_Launcher.exe")
        print(f"{self.source}: {self.seconds:.0f} s, TZ={time_zone}, clock {clock_shift or 'real'}"
              f"\n  KVAT_Launcher.exe unsigned {hashlib.sha256(self.launcher).hexdigest()}"
              f"\n  KVAT_Launcher.exe signed   {hashlib.sha256(self.signed).hexdigest()}"
              f"\n  {self.zip_path.name} {hashlib.sha256(self.zip).hexdigest()}", flush=True)

    def close(self):
        self._folder.cleanup()


def setUpModule():
    global SIGNER
    commit = run(["git", "-C", str(OPTIONS.source), "rev-parse", "HEAD"]).strip()
    SIGNER = pathlib.Path(tempfile.mkdtemp(prefix="kvat-signer-"))
    make_throwaway_signer(SIGNER, commit_time(OPTIONS.source))
    if run(["git", "-C", str(OPTIONS.source), "status", "--porcelain", "--untracked-files=no"]):
        print(f"note: the checkout has uncommitted changes; this tests the commit {commit}")
    has_faketime = shutil.which("faketime") is not None
    if not has_faketime:
        print("note: faketime is not installed; the second build differs by time zone only")
    BUILDS.append(Build(commit, "kvat-a-", "UTC", None))
    BUILDS.append(Build(commit, "kvat-reproduce-b-", "Pacific/Kiritimati",
                        CLOCK_SHIFT if has_faketime else None))


def tearDownModule():
    for build in BUILDS:
        build.close()
    shutil.rmtree(SIGNER, ignore_errors=True)


class ReproducibleReleaseTest(unittest.TestCase):
    def test_launcher_is_the_same_bit_for_bit(self):
        first, second = BUILDS
        self.assertEqual(hashlib.sha256(first.launcher).hexdigest(),
                         hashlib.sha256(second.launcher).hexdigest())

    def test_signed_launcher_is_the_same_bit_for_bit(self):
        first, second = BUILDS
        self.assertEqual(hashlib.sha256(first.signed).hexdigest(),
                         hashlib.sha256(second.signed).hexdigest())

    def test_removing_the_signature_gives_the_unsigned_launcher(self):
        build = BUILDS[0]
        signed = build.source.parent / "shipped.exe"
        signed.write_bytes(build.signed)
        removed = build.source.parent / "signature-removed.exe"
        run([OPTIONS.osslsigncode, "remove-signature", "-in", str(signed), "-out", str(removed)])
        self.assertEqual(hashlib.sha256(removed.read_bytes()).hexdigest(),
                         hashlib.sha256(build.launcher).hexdigest())

    def test_zip_is_the_same_bit_for_bit(self):
        first, second = BUILDS
        self.assertFalse(first.zip_path.name.endswith("-UNSIGNED.zip"), first.zip_path.name)
        self.assertEqual(first.zip_path.name, second.zip_path.name)
        self.assertEqual(hashlib.sha256(first.zip).hexdigest(),
                         hashlib.sha256(second.zip).hexdigest())

    def test_no_build_folder_inside_the_launcher(self):
        for build in BUILDS:
            folder = str(build.source.parent)
            for encoding in ("utf-8", "utf-16-le"):
                self.assertNotIn(folder.encode(encoding), build.launcher, encoding)

    def test_zip_times_are_the_commit_time(self):
        commit_time = int(run(["git", "-C", str(BUILDS[0].source), "log", "-1", "--format=%ct"]))
        expected = time.gmtime(commit_time)[:6]
        with zipfile.ZipFile(BUILDS[0].zip_path) as archive:
            for entry in archive.infolist():
                # ZIP times have a resolution of two seconds.
                self.assertEqual(entry.date_time[:5], expected[:5], entry.filename)
                self.assertLessEqual(abs(entry.date_time[5] - expected[5]), 1, entry.filename)


def main():
    global OPTIONS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source", type=pathlib.Path, required=True, help="the git checkout")
    parser.add_argument("--cmake", default="cmake", help="the cmake program")
    parser.add_argument("--jobs", type=int, default=2, help="parallel build jobs")
    parser.add_argument("--osslsigncode", default="osslsigncode")
    OPTIONS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
