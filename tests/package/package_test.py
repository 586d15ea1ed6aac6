#!/usr/bin/python3
"""The Debian package, built by CPack from a configured and built tree into a
scratch folder (the tree itself is only read): its files and control fields
read back with dpkg-deb, its dependencies present on this machine, lintian's
verdict, and the program unpacked with dpkg -x showing its main window and
closing with Esc.

Run inside scripts/with_display with the build folder and cpack first:
    scripts/with_display -- tests/package/package_test.py build/test /usr/bin/cpack
"""

import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(ROOT, "tests", "gui"))
import outside_test as gui  # noqa: E402

BUILD = None  # set from the command line in main()
CPACK = None

EXPECTED_FILES = {
    "./usr/bin/tarvello": "-rwxr-xr-x",
    "./usr/share/applications/tarvello.desktop": "-rw-r--r--",
    "./usr/share/metainfo/io.github.miskard.Tarvello.metainfo.xml": "-rw-r--r--",
    "./usr/share/icons/hicolor/32x32/apps/tarvello.png": "-rw-r--r--",
    "./usr/share/man/man1/tarvello.1.gz": "-rw-r--r--",
    "./usr/share/doc/tarvello/copyright": "-rw-r--r--",
    "./usr/share/doc/tarvello/changelog.gz": "-rw-r--r--",
}
# The libraries the program is linked with, found by dpkg-shlibdeps, and what
# it needs at run time that no library link shows.
EXPECTED_DEPENDS = ["libwebkit2gtk-4.1-0", "libgtk-3-0", "bubblewrap", "xdg-dbus-proxy",
                    "fonts-noto-cjk"]


def run(*args, timeout=120):
    """Runs a tool; returns (exit status, stdout and stderr together)."""
    done = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                          timeout=timeout)
    return done.returncode, done.stdout


def parse_depends(field):
    """A Depends field as a list of alternatives, each a list of
    (package, relation, version) with relation and version None when the
    package is named without a version."""
    groups = []
    for group in field.split(","):
        alternatives = []
        for item in group.split("|"):
            match = re.fullmatch(r"\s*([a-z0-9][a-z0-9+.-]*)(?::\w+)?\s*"
                                 r"(?:\(\s*(<<|<=|=|>=|>>)\s*([^)\s]+)\s*\))?\s*", item)
            if not match:
                raise ValueError(f"cannot read {item!r} in Depends: {field}")
            alternatives.append(match.groups())
        groups.append(alternatives)
    return groups


def installed_version(package):
    status, out = run("dpkg-query", "-W", "-f=${Status}\t${Version}", package)
    if status != 0 or not out.startswith("install ok installed\t"):
        return None
    return out.split("\t", 1)[1]


def satisfied(package, relation, version):
    have = installed_version(package)
    if have is None:
        return False
    if relation is None:
        return True
    names = {"<<": "lt", "<=": "le", "=": "eq", ">=": "ge", ">>": "gt"}
    return run("dpkg", "--compare-versions", have, names[relation], version)[0] == 0


class package_case(gui.WindowHelpers):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.TemporaryDirectory(prefix="tarvello-package-")
        out = os.path.join(cls.scratch.name, "out")
        status, log = run(CPACK, "--config", os.path.join(BUILD, "CPackConfig.cmake"), "-B",
                          out, timeout=300)
        debs = glob.glob(os.path.join(out, "*.deb"))
        if status != 0 or len(debs) != 1:
            cls.scratch.cleanup()
            raise AssertionError(f"cpack ended with {status} and made {debs}:\n{log}")
        cls.deb = debs[0]
        cls.root = os.path.join(cls.scratch.name, "root")
        status, log = run("dpkg", "-x", cls.deb, cls.root)
        if status != 0:
            cls.scratch.cleanup()
            raise AssertionError(f"dpkg -x ended with {status}:\n{log}")
        cls.program = os.path.join(cls.root, "usr", "bin", "tarvello")
        cls.fields = {}
        for field in ("Package", "Version", "Architecture", "Maintainer", "Description",
                      "Depends", "Section", "Priority"):
            cls.fields[field] = run("dpkg-deb", "-f", cls.deb, field)[1].rstrip("\n")

    @classmethod
    def tearDownClass(cls):
        cls.scratch.cleanup()

    def test_file_name_and_control_fields(self):
        arch = run("dpkg", "--print-architecture")[1].strip()
        self.assertEqual(os.path.basename(self.deb), f"tarvello_1.0.0.0_{arch}.deb")
        self.assertEqual(self.fields["Package"], "tarvello")
        self.assertEqual(self.fields["Version"], "1.0.0.0")
        self.assertEqual(self.fields["Architecture"], arch)
        self.assertRegex(self.fields["Maintainer"], r"^Miskard <[^<>\s]+@[^<>\s]+>$")
        self.assertEqual(self.fields["Section"], "net")
        self.assertEqual(self.fields["Priority"], "optional")
        # The one-line description is the program's own, with a space where
        # Latin meets Chinese; an extended description follows it.
        synopsis, _, extended = self.fields["Description"].partition("\n")
        with open(os.path.join(ROOT, "resources", "description.txt"), encoding="utf-8") as f:
            own = f.readline().strip()
        self.assertEqual(synopsis.replace(" ", ""), own.replace(" ", ""))
        self.assertIn(" ", synopsis)
        self.assertIn("every two seconds", extended)

    def test_depends_names_what_the_program_needs(self):
        groups = parse_depends(self.fields["Depends"])
        named = {package for group in groups for package, _, _ in group}
        for package in EXPECTED_DEPENDS:
            self.assertIn(package, named, f"Depends: {self.fields['Depends']}")
        # Every group can be met here, where the program runs: no misspelt or
        # unknown package, no version newer than the one it was built with.
        for group in groups:
            self.assertTrue(any(satisfied(*alternative) for alternative in group),
                            f"nothing installed meets {group}")

    def test_contents(self):
        status, listing = run("dpkg-deb", "-c", self.deb)
        self.assertEqual(status, 0, listing)
        entries = {}
        for line in listing.splitlines():
            fields = line.split(None, 5)
            entries[fields[5]] = (fields[0], fields[1])
        for path, mode in EXPECTED_FILES.items():
            self.assertIn(path, entries, f"contents:\n{listing}")
            self.assertEqual(entries[path], (mode, "root/root"), path)
        files = {path for path, (mode, _) in entries.items() if not mode.startswith("d")}
        self.assertEqual(files, set(EXPECTED_FILES), "no other files")
        self.assertTrue(all(path.startswith("./usr/") for path in entries if path != "./"),
                        f"contents:\n{listing}")

    def test_lintian_reports_no_errors(self):
        status, report = run("lintian", "--tag-display-limit", "0", self.deb, timeout=300)
        print(f"lintian (exit {status}):\n{report}", file=sys.stderr)
        errors = [line for line in report.splitlines() if line.startswith("E:")]
        self.assertEqual(errors, [], report)
        self.assertEqual(status, 0, report)

    def test_unpacked_program_is_stripped(self):
        described = run("file", "-b", self.program)[1]
        self.assertIn("ELF", described)
        self.assertRegex(described, r"(?<!not) stripped")

    def test_unpacked_program_shows_its_window_and_closes_with_esc(self):
        # Cookies and caches go to a scratch folder, not the user's own.
        user_dirs = gui.private_user_dirs()
        self.addCleanup(user_dirs.cleanup)
        gui.PROGRAM = self.program
        instance = self.start()
        win = self.wait_window(instance)
        self.assertEqual(os.path.realpath(f"/proc/{instance.pid}/exe"),
                         os.path.realpath(self.program))
        self.key(win, "Escape")
        self.assert_exits_zero(instance, "Esc")


def main():
    global BUILD, CPACK
    if len(sys.argv) < 3 or sys.argv[1].startswith("-"):
        print(f"usage: {sys.argv[0]} BUILD_FOLDER CPACK [unittest options]", file=sys.stderr)
        return 2
    if not os.environ.get("DISPLAY"):
        print("DISPLAY is not set: run inside scripts/with_display", file=sys.stderr)
        return 2
    BUILD = os.path.abspath(sys.argv[1])
    CPACK = sys.argv[2]
    for tool in ("dpkg-deb", "dpkg-shlibdeps", "lintian", "file", "xdotool", "xprop"):
        if not shutil.which(tool):
            print(f"{tool} is not installed (run scripts/install_deps)", file=sys.stderr)
            return 2
    del sys.argv[1:3]
    unittest.main(verbosity=2)
    return 0


if __name__ == "__main__":
    sys.exit(main())
