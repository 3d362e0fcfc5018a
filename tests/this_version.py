"""This build's version, as CMake hands it to the tests (KVAT_THIS_VERSION, made from
project(VERSION) in the top CMakeLists.txt), and versions beside it, so that the tests follow a
version edit without an edit of their own."""
import os

try:
    THIS_VERSION = os.environ["KVAT_THIS_VERSION"]
except KeyError:
    raise SystemExit("KVAT_THIS_VERSION is not set: run the tests through ctest") from None


def neighbour_version(step: int) -> str:
    """Another version of the same form: "19.6" for step 1 and "19.4" for step -1 beside 19.5."""
    major, minor = THIS_VERSION.split(".")
    return f"{major}.{(int(minor) + step) % 10}"
