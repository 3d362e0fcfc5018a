#!/usr/bin/python3
"""Runs the end-to-end sessions against a built launcher, inside a Wine session:

    scripts/with-wine.sh ctest --preset windows -R e2e

or directly, with unittest's own options after the paths (-k PATTERN, -v, -f):

    scripts/with-wine.sh /usr/bin/python3 tests/e2e/run_sessions.py --launcher ... -k Launch
"""

import argparse
import os
import sys
import unittest
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
HERE = Path(__file__).resolve().parent
sys.path[:0] = [str(HERE), str(HERE.parent), str(HERE.parents[1] / "scripts")]

import harness  # noqa: E402
import port_lock  # noqa: E402


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--launcher", type=Path, required=True, help="KVAT_Launcher.exe to test")
    parser.add_argument("--standin", type=Path, required=True, help="the stand-in program")
    parser.add_argument("--inspector", type=Path, required=True, help="the inspector program")
    parser.add_argument("--planted-dll", type=Path, required=True,
                        help="a DLL that marks its own loading")
    parser.add_argument("--plain-loader", type=Path, required=True,
                        help="a program that loads a DLL by its bare name")
    parser.add_argument("--port", type=int, required=True,
                        help="loopback port the launcher was built to ask")
    options, unittest_args = parser.parse_known_args()

    missing = [name for name in ("WINEPREFIX", "DISPLAY") if not os.environ.get(name)]
    if missing:
        print(f"{', '.join(missing)} not set: run this inside scripts/with-wine.sh",
              file=sys.stderr)
        return 2
    harness.CONFIG = harness.Config(options.launcher.resolve(), options.standin.resolve(),
                                    options.inspector.resolve(), options.planted_dll.resolve(),
                                    options.plain_loader.resolve(), options.port)
    # The launcher asks the port it was built with, so no other run may serve it meanwhile.
    try:
        with port_lock.exclusive_port(options.port, "KVAT_E2E_PORT"):
            program = unittest.main(module="test_sessions", argv=[sys.argv[0], *unittest_args],
                                    verbosity=2, exit=False)
    except port_lock.PortUnavailable as error:
        print(error, file=sys.stderr)
        return 2
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
