#!/usr/bin/env python3
"""Makes the release ZIP: KVAT_Launcher.exe, README.txt and SHA256SUMS.

The executable is signed with Authenticode (osslsigncode, SHA-256) before it is zipped when
the vendor gives a PKCS#12 certificate through the environment:

    KVAT_SIGN_PKCS12          the certificate and its key (a .p12 / .pfx file)
    KVAT_SIGN_PASSWORD        its password (may be empty, but must be set)
    KVAT_SIGN_TIMESTAMP_URL   optional: an RFC 3161 time-stamp server
    KVAT_OSSLSIGNCODE         optional: the osslsigncode program to use

Without KVAT_SIGN_PKCS12 the package is made unsigned, and one line says so.

The ZIP is the same bit for bit for the same input files: fixed file order, every file time is
SOURCE_DATE_EPOCH (from the environment, else the time of the checkout's last commit), fixed
attributes and compression. Standard library only.
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
import zipfile

LAUNCHER = "KVAT_Launcher.exe"
NOTE = "README.txt"
SUMS = "SHA256SUMS"
# The ZIP format counts time from 1980; an earlier epoch is stored as its first second.
ZIP_EPOCH = 315532800
SIGNATURE_DESCRIPTION = "KVAT Launcher"


class PackageError(Exception):
    pass


def say(line):
    print(f"package: {line}", flush=True)


def source_date_epoch(source_dir):
    """SOURCE_DATE_EPOCH as given, else the commit time of the checkout's last commit."""
    given = os.environ.get("SOURCE_DATE_EPOCH")
    if given:
        return int(given)
    run = subprocess.run(["git", "-C", str(source_dir), "log", "-1", "--format=%ct"],
                         capture_output=True, text=True)
    if run.returncode != 0 or not run.stdout.strip():
        raise PackageError(f"no SOURCE_DATE_EPOCH given and {source_dir} is no git checkout: "
                           "set SOURCE_DATE_EPOCH (seconds since 1970) to the release's date")
    return int(run.stdout.strip())


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def sign(unsigned, signed, scratch):
    """Signs `unsigned` into `signed` when a certificate is given; False when none is."""
    pkcs12 = os.environ.get("KVAT_SIGN_PKCS12")
    if not pkcs12:
        say(f"{LAUNCHER} is NOT signed: no certificate given "
            "(set KVAT_SIGN_PKCS12 and KVAT_SIGN_PASSWORD to sign it)")
        shutil.copyfile(unsigned, signed)
        return False
    password = os.environ.get("KVAT_SIGN_PASSWORD")
    if password is None:
        raise PackageError("KVAT_SIGN_PKCS12 is set but KVAT_SIGN_PASSWORD is not")
    # The password goes through a file only this user can read, not the command line.
    password_file = scratch / "password"
    password_file.touch(mode=0o600)
    password_file.write_text(password)
    command = [os.environ.get("KVAT_OSSLSIGNCODE", "osslsigncode"), "sign",
               "-pkcs12", pkcs12, "-readpass", str(password_file),
               "-h", "sha256", "-n", SIGNATURE_DESCRIPTION]
    timestamp_url = os.environ.get("KVAT_SIGN_TIMESTAMP_URL")
    if timestamp_url:
        command += ["-ts", timestamp_url]
    command += ["-in", str(unsigned), "-out", str(signed)]
    run = subprocess.run(command, capture_output=True, text=True)
    password_file.unlink()
    if run.returncode != 0 or not signed.is_file():
        raise PackageError(f"signing failed (exit code {run.returncode}):\n"
                           f"{run.stdout}{run.stderr}")
    say(f"{LAUNCHER} signed with {pkcs12}"
        + (f", time-stamped by {timestamp_url}" if timestamp_url else ", no time stamp"))
    return True


def write_zip(path, files, epoch):
    """`files`: (name, bytes) in the order they go into the ZIP."""
    date_time = time.gmtime(max(epoch, ZIP_EPOCH))[:6]
    partial = path.with_name(path.name + ".partial")
    with zipfile.ZipFile(partial, "w") as archive:
        for name, data in files:
            entry = zipfile.ZipInfo(name, date_time)
            entry.create_system = 0  # MS-DOS: whoever makes it, no Unix owner or mode
            entry.external_attr = 0
            entry.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(entry, data, compresslevel=9)
    partial.replace(path)


def make_package(options):
    epoch = source_date_epoch(options.source)
    say(f"this KVAT_Launcher.exe asks the vendor host {options.host}")
    unsigned = options.launcher.read_bytes()
    say(f"{LAUNCHER} before signing: SHA-256 {sha256(unsigned)}")

    options.output.parent.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory(prefix="kvat-package-", dir=options.output.parent) as work:
        scratch = pathlib.Path(work)
        signed_path = scratch / LAUNCHER
        sign(options.launcher, signed_path, scratch)
        launcher = signed_path.read_bytes()

    files = {LAUNCHER: launcher, NOTE: options.note.read_bytes()}
    # sha256sum's format: "<hex>  <name>", one file a line.
    sums = "".join(f"{sha256(data)}  {name}\n" for name, data in sorted(files.items()))
    files[SUMS] = sums.encode("ascii")
    write_zip(options.output, sorted(files.items()), epoch)
    say(f"{options.output}: SHA-256 {sha256(options.output.read_bytes())}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--launcher", type=pathlib.Path, required=True, help="the built exe")
    parser.add_argument("--note", type=pathlib.Path, required=True, help="README.txt")
    parser.add_argument("--host", required=True, help="the vendor host the exe was built for")
    parser.add_argument("--source", type=pathlib.Path, required=True, help="the checkout")
    parser.add_argument("--output", type=pathlib.Path, required=True, help="the ZIP to write")
    try:
        make_package(parser.parse_args())
    except (PackageError, OSError) as error:
        print(f"package: error: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
