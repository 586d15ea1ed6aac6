#!/usr/bin/python3
"""tarvello.exe read back as a file: its version block and icon group (with
pefile), that it is a GUI-subsystem program with no manifest, and that it
imports only DLLs every Windows has (with mingw-w64's objdump), so the one
file runs on its own.

Usage: resources_test.py tarvello.exe resources/ [unittest options]
"""

import os
import re
import struct
import subprocess
import sys
import unittest

import pefile

EXE = None
RESOURCES = None

# The system's own DLLs; anything else (the compiler's runtime, say) would
# have to be shipped beside the program.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "ole32.dll", "oleaut32.dll",
               "msvcrt.dll", "advapi32.dll", "shell32.dll", "comctl32.dll", "uuid.dll"}


def description():
    with open(os.path.join(RESOURCES, "description.txt"), encoding="utf-8") as f:
        return f.readline().rstrip("\n")


class resources_case(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = pefile.PE(EXE)

    def resource_types(self):
        return {entry.id: entry for entry in self.pe.DIRECTORY_ENTRY_RESOURCE.entries}

    def test_version_block(self):
        fixed = self.pe.VS_FIXEDFILEINFO[0]
        for name in ("FileVersion", "ProductVersion"):
            self.assertEqual((getattr(fixed, name + "MS"), getattr(fixed, name + "LS")),
                             (0x00010000, 0x00000000), name)
        self.assertEqual(fixed.FileFlags, 0, "flags")
        self.assertEqual(fixed.FileOS, 0x4, "file OS: 32-bit Windows")
        self.assertEqual(fixed.FileType, 0x1, "file type: application")
        self.assertEqual((fixed.FileDateMS, fixed.FileDateLS), (0, 0), "file date")

        tables = [table for info in self.pe.FileInfo[0] if info.Key == b"StringFileInfo"
                  for table in info.StringTable]
        self.assertEqual([t.LangID for t in tables], [b"080404B0"], "string tables")
        line = description()
        want = [("FileVersion", "1.0.0.0"), ("FileDescription", line),
                ("ProductName", "Tarvello"), ("ProductVersion", "1.0.0.0"),
                ("CompanyName", "Miskard"), ("Comments", line)]
        got = [(k.decode("utf-8"), v.decode("utf-8")) for k, v in tables[0].entries.items()]
        self.assertEqual(got, want, "the strings, in order")

        translations = [var.entry for info in self.pe.FileInfo[0] if info.Key == b"VarFileInfo"
                        for var in info.Var]
        self.assertEqual(translations, [{b"Translation": "0x0804 0x04b0"}])

    def test_icon_group_default_icon_is_the_committed_icon(self):
        types = self.resource_types()
        groups = types[pefile.RESOURCE_TYPE["RT_GROUP_ICON"]].directory.entries
        self.assertEqual([str(g.name) for g in groups], ["DEFAULT_ICON"], "the icon groups")
        languages = groups[0].directory.entries
        self.assertEqual([lang.id for lang in languages], [0], "language neutral")
        data = languages[0].data.struct
        group = self.pe.get_data(data.OffsetToData, data.Size)
        _, kind, count = struct.unpack_from("<HHH", group)
        self.assertEqual((kind, count), (1, 1), "one icon image")
        width, height, _, _, _, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", group, 6)
        self.assertEqual((width, height, bits), (32, 32, 32), "32 x 32, 32 bits per pixel")

        icons = {e.id: e for e in types[pefile.RESOURCE_TYPE["RT_ICON"]].directory.entries}
        image = icons[icon_id].directory.entries[0].data.struct
        with open(os.path.join(RESOURCES, "tarvello.ico"), "rb") as f:
            ico = f.read()
        ico_size, ico_offset = struct.unpack_from("<II", ico, 6 + 8)
        self.assertEqual(self.pe.get_data(image.OffsetToData, image.Size),
                         ico[ico_offset:ico_offset + ico_size], "the image of tarvello.ico")
        self.assertEqual(size, ico_size)

    def test_a_gui_program_without_a_manifest(self):
        self.assertEqual(self.pe.OPTIONAL_HEADER.Subsystem,
                         pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"], "no console window")
        self.assertNotIn(pefile.RESOURCE_TYPE["RT_MANIFEST"], self.resource_types())

    def test_only_system_dlls_are_imported(self):
        dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", EXE], check=True,
                              capture_output=True, text=True).stdout
        imported = {name.lower() for name in re.findall(r"DLL Name: (\S+)", dump)}
        self.assertIn("kernel32.dll", imported, "objdump listed the imports")
        self.assertEqual(sorted(imported - SYSTEM_DLLS), [], "DLLs that are not the system's")


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(f"usage: {sys.argv[0]} tarvello.exe resources/ [unittest options]")
    EXE = sys.argv.pop(1)
    RESOURCES = sys.argv.pop(1)
    unittest.main(verbosity=2)
