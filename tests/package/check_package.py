#!/usr/bin/python3
"""Reads the release package back the way a vendor receives it.

Makes the ZIP with CPack into a temporary folder (or takes the one given with --zip), unpacks it
and checks the note for the vendor and the packaged KVAT_Launcher.exe: version block, icon,
manifest, imported DLLs and symbols. Needs Debian's python3-pefile.
"""
import argparse
import pathlib
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

import pefile

OPTIONS = None
PACKAGE = None

LAUNCHER = "KVAT_Launcher.exe"
NOTE = "README.txt"

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

ICON_SIZE = 128
ICON_BITS = 24
BITMAPINFOHEADER_SIZE = 40


class Package:
    """The unpacked ZIP and the parsed executable, shared by all the checks."""

    def __init__(self, options):
        self._folder = tempfile.TemporaryDirectory(prefix="kvat-package-")
        work = pathlib.Path(self._folder.name)
        self.zip_path = pathlib.Path(options.zip) if options.zip else self._make(options, work)
        with zipfile.ZipFile(self.zip_path) as archive:
            self.names = sorted(archive.namelist())
            archive.extractall(work / "unpacked")
        self.unpacked = work / "unpacked"
        self.note = (self.unpacked / NOTE).read_bytes() if NOTE in self.names else b""
        self.exe = pefile.PE(str(self.unpacked / LAUNCHER)) if LAUNCHER in self.names else None

    @staticmethod
    def _make(options, work):
        out = work / "out"
        run = subprocess.run([options.cpack, "-G", "ZIP", "--config", options.config, "-B", str(out)],
                             capture_output=True, text=True)
        if run.returncode != 0:
            raise RuntimeError(f"cpack failed:\n{run.stdout}\n{run.stderr}")
        zips = list(out.glob("*.zip"))
        if len(zips) != 1:
            raise RuntimeError(f"cpack made {len(zips)} ZIP files, not one:\n{run.stdout}")
        return zips[0]

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
    def test_holds_the_launcher_and_the_note_at_its_top(self):
        self.assertEqual(PACKAGE.names, sorted([LAUNCHER, NOTE]))

    def test_note_is_plain_text_with_windows_line_ends(self):
        note = PACKAGE.note
        self.assertTrue(note, "the note is empty")
        note.decode("ascii")  # raises on anything but plain ASCII
        self.assertNotIn(b"\t", note)
        self.assertEqual(note.count(b"\n"), note.count(b"\r\n"), "a line ends without CR")
        self.assertEqual(note.count(b"\r"), note.count(b"\r\n"), "a CR without LF")
        self.assertTrue(note.endswith(b"\r\n"))

    def test_note_says_where_the_launcher_goes_and_how_its_host_is_set(self):
        note = PACKAGE.note.decode("ascii")
        for sibling in ("Calix_KVAT.exe", "KVAT_Log.exe", "CDM21228_Setup.exe"):
            self.assertIn(sibling, note)
        self.assertIn("KVAT_VENDOR_HOST", note)
        self.assertIn(f"This copy asks: {OPTIONS.host}\r\n", note)
        self.assertNotIn("@", note, "a placeholder was left unfilled")


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

    def test_numeric_file_and_product_versions_are_19_5_0_0(self):
        high, low = (19 << 16) | 5, 0
        self.assertEqual((self.fixed.FileVersionMS, self.fixed.FileVersionLS), (high, low))
        self.assertEqual((self.fixed.ProductVersionMS, self.fixed.ProductVersionLS), (high, low))

    def test_strings_in_one_us_english_unicode_table(self):
        self.assertEqual(len(self.tables), 1)
        table = self.tables[0]
        self.assertEqual(table.LangID.upper(), b"040904B0")
        strings = {key.decode(): value.decode() for key, value in table.entries.items()}
        self.assertEqual(strings, {
            "FileDescription": "Software Launcher",
            "FileVersion": "19.05",
            "InternalName": "KVAT_Launcher",
            "OriginalFilename": "KVAT_Launcher.exe",
            "ProductName": "KVAT_Launcher",
            "ProductVersion": "19.05",
        })

    def test_translation_is_0409_code_page_1200(self):
        self.assertEqual([t.lower() for t in self.translations], ["0x0409 0x04b0"])


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
    parser.add_argument("--cpack", default="cpack", help="the cpack program")
    parser.add_argument("--config", help="CPackConfig.cmake of the build")
    parser.add_argument("--zip", help="check this ZIP instead of making one")
    parser.add_argument("--host", required=True, help="the KVAT_VENDOR_HOST of the build")
    parser.add_argument("--build-type", default="", help="CMAKE_BUILD_TYPE of the build")
    OPTIONS, rest = parser.parse_known_args()
    if not OPTIONS.zip and not OPTIONS.config:
        parser.error("give --config or --zip")
    OPTIONS.stripped = OPTIONS.build_type in ("Release", "MinSizeRel")
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
