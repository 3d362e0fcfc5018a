#!/usr/bin/env python3
"""Makes the release ZIP: KVAT_Launcher.exe, README.txt and SHA256SUMS.

The executable is signed with Authenticode (osslsigncode, SHA-256) before it is zipped. The
vendor gives a PKCS#12 certificate through the environment:

    KVAT_SIGN_PKCS12            the certificate and its key (a .p12 / .pfx file)
    KVAT_SIGN_PASSWORD_FILE     a file holding its password (one trailing line break is not
                                part of it); the password itself then enters no environment
    KVAT_SIGN_PASSWORD          or the password itself (may be empty), for CI secret stores
    KVAT_SIGN_TIMESTAMP_URL     optional: an RFC 3161 time-stamp server
    KVAT_SIGN_TIMESTAMP_TIMEOUT optional: seconds the time stamp may take (default 60)
    KVAT_OSSLSIGNCODE           optional: the osslsigncode program to use
    KVAT_ALLOW_UNSIGNED=1       no certificate, on purpose: the ZIP is named ...-UNSIGNED.zip
    KVAT_ALLOW_DIRTY=1          package uncommitted changes, for tests: named ...-DIRTY.zip

Without a certificate and without KVAT_ALLOW_UNSIGNED=1 it stops with an error, unless the build
allows unsigned packages (--unsigned-allowed, the development build); an unsigned package always
carries -UNSIGNED in its name. Likewise uncommitted changes to tracked files stop it, unless
KVAT_ALLOW_DIRTY=1 or --dirty-allowed; such a package carries -DIRTY. Every earlier
KVAT_Launcher*.zip in the output folder is deleted first, and named, so a failure leaves no ZIP
behind and no older one lies beside the new one.

The password never reaches a file or a child's environment: it is taken out of this process's
environment at the start and handed to osslsigncode on its standard input. osslsigncode has no
time-out of its own, so a time-stamp server that never answers is given up here.

The ZIP is the same bit for bit for the same input files: fixed file order, every file time is
SOURCE_DATE_EPOCH (from the environment, else the time of the checkout's last commit), fixed
attributes and compression. Without a time-stamp server the signature's time is SOURCE_DATE_EPOCH
too, so with an RSA key the same commit gives the same signed executable. Standard library only.
"""
import argparse
import hashlib
import os
import pathlib
import re
import signal
import subprocess
import sys
import tempfile
import time
import zipfile

LAUNCHER = "KVAT_Launcher.exe"
NOTE = "README.txt"
SUMS = "SHA256SUMS"
# The ZIP format counts time from 1980 to 2107; an earlier epoch is stored as its first second.
ZIP_EPOCH = 315532800
ZIP_LAST_SECOND = 4354819199
SIGNATURE_DESCRIPTION = "KVAT Launcher"
UNSIGNED_SUFFIX = "-UNSIGNED"
DIRTY_SUFFIX = "-DIRTY"
TIMESTAMP_TIMEOUT = 60  # seconds


class PackageError(Exception):
    pass


def say(line):
    print(f"package: {line}", flush=True)


def source_date_epoch(source_dir):
    """SOURCE_DATE_EPOCH as given, else the commit time of the checkout's last commit."""
    given = os.environ.get("SOURCE_DATE_EPOCH")
    if given:
        if not re.fullmatch("[0-9]+", given) or int(given) > ZIP_LAST_SECOND:
            raise PackageError(f"SOURCE_DATE_EPOCH={given!r} is not a time the package can carry: "
                               f"give whole seconds since 1970, at most {ZIP_LAST_SECOND}")
        return int(given)
    run = subprocess.run(["git", "-C", str(source_dir), "log", "-1", "--format=%ct"],
                         capture_output=True, text=True)
    if run.returncode != 0 or not run.stdout.strip():
        raise PackageError(f"no SOURCE_DATE_EPOCH given and {source_dir} is no git checkout: "
                           "set SOURCE_DATE_EPOCH (seconds since 1970) to the release's date")
    return int(run.stdout.strip())


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def with_suffixes(output, *suffixes):
    return output.with_name(output.stem + "".join(suffixes) + output.suffix)


def remove_earlier_packages(output):
    """Deletes every earlier package in the output folder, whatever its version or suffix."""
    prefix = output.name.split("-")[0].removesuffix(output.suffix)
    for earlier in sorted(output.parent.glob(f"{prefix}*{output.suffix}")):
        earlier.unlink()
        say(f"removed the earlier package {earlier}")


def uncommitted_changes(source_dir):
    """The tracked files of the checkout that differ from its last commit, as git names them."""
    run = subprocess.run(["git", "-C", str(source_dir), "status", "--porcelain",
                          "--untracked-files=no"], capture_output=True, text=True)
    if run.returncode != 0:
        raise PackageError(f"cannot tell whether {source_dir} holds uncommitted changes (git "
                           f"status failed): package a git checkout, or set KVAT_ALLOW_DIRTY=1")
    return [line[3:] for line in run.stdout.splitlines()]


def dirty_suffix(source_dir, dirty_allowed):
    """"-DIRTY" for a package of uncommitted changes that is allowed, "" for a clean checkout."""
    changed = uncommitted_changes(source_dir)
    if not changed:
        return ""
    if os.environ.get("KVAT_ALLOW_DIRTY") == "1" or dirty_allowed:
        say(f"the package holds uncommitted changes ({', '.join(changed[:3])}"
            f"{', ...' if len(changed) > 3 else ''}): it is named {DIRTY_SUFFIX}")
        return DIRTY_SUFFIX
    raise PackageError(f"{source_dir} has uncommitted changes to tracked files "
                       f"({len(changed)}, such as {changed[0]}): commit them before a release, "
                       f"or set KVAT_ALLOW_DIRTY=1 for a test package named ...-DIRTY.zip")


def signing_password():
    """The password, from KVAT_SIGN_PASSWORD_FILE or KVAT_SIGN_PASSWORD, taken out of this
    process's environment either way; None when neither is set."""
    password = os.environ.pop("KVAT_SIGN_PASSWORD", None)
    path = os.environ.get("KVAT_SIGN_PASSWORD_FILE")
    if not path:
        return password
    if password is not None:
        raise PackageError("both KVAT_SIGN_PASSWORD_FILE and KVAT_SIGN_PASSWORD are set: "
                           "keep one")
    try:
        # Bytes first: reading as text would turn a CR inside the password into a line break.
        text = pathlib.Path(path).read_bytes().decode("utf-8")
    except (OSError, UnicodeDecodeError) as error:
        raise PackageError(f"KVAT_SIGN_PASSWORD_FILE {path}: cannot read it ({error})") from None
    # An editor's or echo's line break at the end is not part of the password.
    return text.removesuffix("\n").removesuffix("\r") if text.endswith("\n") else text


def timestamp_timeout():
    given = os.environ.get("KVAT_SIGN_TIMESTAMP_TIMEOUT")
    if not given:
        return TIMESTAMP_TIMEOUT
    if not re.fullmatch("[0-9]+", given) or int(given) == 0:
        raise PackageError(f"KVAT_SIGN_TIMESTAMP_TIMEOUT={given!r}: give whole seconds, at least 1")
    return int(given)


def signing_policy(unsigned_allowed):
    """The certificate to sign with, or None for an unsigned package that is allowed."""
    pkcs12 = os.environ.get("KVAT_SIGN_PKCS12")
    if pkcs12:
        return pkcs12
    if os.environ.get("KVAT_ALLOW_UNSIGNED") == "1":
        say(f"{LAUNCHER} is NOT signed: KVAT_ALLOW_UNSIGNED=1 and no certificate given")
        return None
    if unsigned_allowed:
        say(f"{LAUNCHER} is NOT signed: no certificate given, and this build allows that "
            "(set KVAT_SIGN_PKCS12 and KVAT_SIGN_PASSWORD to sign it)")
        return None
    raise PackageError("no certificate to sign KVAT_Launcher.exe: set KVAT_SIGN_PKCS12 (the .p12 "
                       "file) and KVAT_SIGN_PASSWORD_FILE, or KVAT_ALLOW_UNSIGNED=1 for a package "
                       "named ...-UNSIGNED.zip")


def sign(pkcs12, password, unsigned, signed, epoch):
    """Signs `unsigned` into `signed` with the certificate `pkcs12`."""
    if password is None:
        raise PackageError("KVAT_SIGN_PKCS12 is set but neither KVAT_SIGN_PASSWORD_FILE nor "
                           "KVAT_SIGN_PASSWORD is")
    command = [os.environ.get("KVAT_OSSLSIGNCODE", "osslsigncode"), "sign", "-pkcs12", pkcs12]
    if password:
        # On a pipe: never on the command line, in a file or in a child's environment.
        command += ["-readpass", "/dev/stdin"]
    command += ["-h", "sha256", "-n", SIGNATURE_DESCRIPTION]
    timestamp_url = os.environ.get("KVAT_SIGN_TIMESTAMP_URL")
    timeout = None
    if timestamp_url:
        command += ["-ts", timestamp_url]
        timeout = timestamp_timeout()
    else:
        # The signature's own time, else the clock's: the same commit signs the same.
        command += ["-time", str(epoch)]
    command += ["-in", str(unsigned), "-out", str(signed)]
    try:
        # On time-out the child is killed: it never signs late into a package already refused.
        run = subprocess.run(command, input=password, capture_output=True, text=True,
                             timeout=timeout)
    except subprocess.TimeoutExpired:
        raise PackageError(f"the time-stamp server {timestamp_url} did not answer within "
                           f"{timeout} s: nothing signed, no package made") from None
    if run.returncode != 0 or not signed.is_file():
        for line in (run.stdout + run.stderr).splitlines():
            say(f"osslsigncode: {line}")
        server = f" (time-stamp server {timestamp_url})" if timestamp_url else ""
        raise PackageError(f"signing failed (exit code {run.returncode}){server}: osslsigncode's "
                           "words are above, no package made")
    when = f"time-stamped by {timestamp_url}" if timestamp_url else (
        "no time stamp, signing time "
        + time.strftime("%Y-%m-%d %H:%M:%S UTC", time.gmtime(epoch)) + " (SOURCE_DATE_EPOCH)")
    say(f"{LAUNCHER} signed with {pkcs12}, {when}")


def write_zip(path, files, epoch):
    """`files`: (name, bytes) in the order they go into the ZIP."""
    date_time = time.gmtime(max(epoch, ZIP_EPOCH))[:6]
    partial = path.with_name(path.name + ".partial")
    try:
        with zipfile.ZipFile(partial, "w") as archive:
            for name, data in files:
                entry = zipfile.ZipInfo(name, date_time)
                entry.create_system = 0  # MS-DOS: whoever makes it, no Unix owner or mode
                entry.external_attr = 0
                entry.compress_type = zipfile.ZIP_DEFLATED
                archive.writestr(entry, data, compresslevel=9)
        partial.replace(path)
    finally:
        partial.unlink(missing_ok=True)


def make_package(options):
    # A failure below must not leave an older package, and a new one must not lie beside one.
    remove_earlier_packages(options.output)
    # Out of the environment before any child is started.
    password = signing_password()
    epoch = source_date_epoch(options.source)
    dirty = dirty_suffix(options.source, options.dirty_allowed)
    say(f"this KVAT_Launcher.exe asks the vendor host {options.host}")
    unsigned = options.launcher.read_bytes()
    say(f"{LAUNCHER} before signing: SHA-256 {sha256(unsigned)}")
    pkcs12 = signing_policy(options.unsigned_allowed)

    options.output.parent.mkdir(parents=True, exist_ok=True)
    if pkcs12:
        with tempfile.TemporaryDirectory(prefix="kvat-package-",
                                         dir=options.output.parent) as work:
            signed_path = pathlib.Path(work) / LAUNCHER
            sign(pkcs12, password, options.launcher, signed_path, epoch)
            launcher = signed_path.read_bytes()
        say(f"{LAUNCHER} signed: SHA-256 {sha256(launcher)}")
        output = with_suffixes(options.output, dirty)
    else:
        launcher = unsigned
        output = with_suffixes(options.output, UNSIGNED_SUFFIX, dirty)

    files = {LAUNCHER: launcher, NOTE: options.note.read_bytes()}
    # sha256sum's format: "<hex>  <name>", one file a line.
    sums = "".join(f"{sha256(data)}  {name}\n" for name, data in sorted(files.items()))
    files[SUMS] = sums.encode("ascii")
    write_zip(output, sorted(files.items()), epoch)
    say(f"{output}: SHA-256 {sha256(output.read_bytes())}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--launcher", type=pathlib.Path, required=True, help="the built exe")
    parser.add_argument("--note", type=pathlib.Path, required=True, help="README.txt")
    parser.add_argument("--host", required=True, help="the vendor host the exe was built for")
    parser.add_argument("--source", type=pathlib.Path, required=True, help="the checkout")
    parser.add_argument("--output", type=pathlib.Path, required=True,
                        help="the signed ZIP to write; an unsigned one gets -UNSIGNED before .zip")
    parser.add_argument("--unsigned-allowed", action="store_true",
                        help="make an unsigned package when no certificate is given")
    parser.add_argument("--dirty-allowed", action="store_true",
                        help="package uncommitted changes (named -DIRTY) without being asked")
    options = parser.parse_args()
    # A stop from outside (a CI time-out) still removes the scratch folder and a partial ZIP.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(128 + signal.SIGTERM))
    try:
        make_package(options)
    except (PackageError, OSError) as error:
        print(f"package: error: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
