"""pelmar_omni_compare on the utility's own reports: a machine's report as the
baseline, and the reports the same machine gives after its files changed,
saved the ways Windows tools save them."""

import os
import pathlib
import shutil
import unittest

import e2e_support as e2e

COMPARE_EXE = pathlib.Path(os.environ["PELMAR_COMPARE_EXE"])
CURRENT_VERSION = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion"
MOVED_PROGRAM_FILES = "C:\\Programme"
PROGRAM_FILES = 4

# The table's rows in order, each a (file name, location).
ROWS = [(name, location) for name, mask in e2e.MANIFEST
        for location in e2e.LOCATIONS if mask & location]
LOCATION_NAMES = {location: text.removeprefix("<Missing ").removesuffix(">")
                  for location, text in e2e.MISSING.items()}
CORRUPT = "content differs at the same version and size: corrupt or altered"
# Two spaces beyond the longest file name and location name.
FILE_WIDTH = max(len(name) for name, _ in e2e.MANIFEST) + 2
LOCATION_WIDTH = max(len(name) for name in LOCATION_NAMES.values()) + 2


def verdict(name, differences, rows=len(ROWS)):
    """What the program prints for one inventory; differences: (file name,
    location) -> change."""
    if not differences and rows == len(ROWS):
        return f"{name}: identical\r\n"
    return f"{name}: {len(differences)} of {rows} rows differ\r\n" + "".join(
        f"  {file:<{FILE_WIDTH}}{LOCATION_NAMES[location]:<{LOCATION_WIDTH}}"
        f"{differences[file, location]}\r\n"
        for file, location in ROWS if (file, location) in differences)


def fleet_view(inventories):
    """The summary's rows: how many inventories differ per file and location."""
    counts = {row: sum(row in differences for differences in inventories) for row in ROWS}
    differing = sorted((row for row in ROWS if counts[row]), key=lambda row: -counts[row])
    width = len(str(max(counts.values())))
    return "".join(f"  {counts[name, location]:>{width}}  {name:<{FILE_WIDTH}}"
                   f"{LOCATION_NAMES[location]}\r\n" for name, location in differing)


def utf16_copy(report):
    """The report as Windows PowerShell 5.1's `>` saves it: line by line, in
    UTF-16LE with a byte order mark, with CR LF line ends."""
    lines = report.decode("utf-8").splitlines()
    return b"\xff\xfe" + "".join(line + "\r\n" for line in lines).encode("utf-16-le")


class compare(e2e.output_assertions, unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.prefix = prefix = e2e.wine_prefix("compare")
        cls.addClassCleanup(prefix.close)
        libraries = prefix.root / "libraries"

        def library(*version):
            return e2e.build_library(libraries, version)

        installed = {
            "pmomnui.dll": library(10, 0, 1, 65535),
            "pomnres_en.dll": library(3, 14, 15, 926),
            "pelmaromn.inf": e2e.file_fixture(b'[Version]\r\nSignature="$Windows NT$"\r\n'),
            "pelmaromn.txt": e2e.file_fixture(b"Pelmar Omni\r\n"),
        }
        updated = {
            "pmomnui.dll": library(10, 0, 2, 0),
            "pelmaromn.txt": e2e.file_fixture(b"Pelmar Omni, revised\r\n"),
            "basecapabilities.xml": e2e.file_fixture(b"<capabilities/>\r\n"),
        }
        # The same length, and the version resource untouched: only the
        # digest can tell.
        altered = installed["pomnres_en.dll"].content.replace(b"DOS mode", b"DOS MODE")
        assert altered.count(b"DOS MODE") == 1

        prefix.lay_out(prefix.processor_folder, {"pmproc.dll": library(4, 3, 2, 1)})
        prefix.lay_out(e2e.PROGRAM_FILES_FOLDER, installed)
        base = cls.inventory()
        folder = prefix.unix_path(e2e.PROGRAM_FILES_FOLDER)
        (folder / "pelmaromn.inf").unlink()
        prefix.lay_out(e2e.PROGRAM_FILES_FOLDER, updated)
        changed = cls.inventory()
        (folder / "basecapabilities.xml").unlink()
        prefix.lay_out(e2e.PROGRAM_FILES_FOLDER,
                       installed | {"pomnres_en.dll": e2e.file_fixture(altered)})
        corrupt = cls.inventory()
        shutil.rmtree(folder.parent)
        without_folder = cls.inventory()
        prefix.import_registry(CURRENT_VERSION, {"ProgramFilesDir": MOVED_PROGRAM_FILES})
        prefix.lay_out(MOVED_PROGRAM_FILES + "\\Pelmar\\printer", installed)
        moved = cls.inventory()
        assert b"\t" + MOVED_PROGRAM_FILES.encode() + b"\\Pelmar\\printer" in moved.stdout

        # A run that failed midway: ten rows and part of the eleventh.
        lines = without_folder.stdout.splitlines(keepends=True)
        truncated = b"".join(lines[:11]) + lines[11][:20]
        cls.reports = prefix.root / "reports"
        cls.reports.mkdir()
        for name, content in {
                "base.txt": base.stdout,
                # A name beyond ASCII, found by the wildcard: printed whole, in UTF-8.
                "pc01 Zoë 日本 😀.txt": moved.stdout,
                "pc02.txt": changed.stdout,
                "pc03.txt": corrupt.stdout,
                "pc04.txt": without_folder.stdout,
                "pc05.txt": truncated,
                "pc06.txt": utf16_copy(base.stdout),
                # cmd's `> file 2>&1`: the banner comes first.
                "pc07.txt": base.stderr + base.stdout}.items():
            (cls.reports / name).write_bytes(content)

        cls.changes = {
            ("pmomnui.dll", PROGRAM_FILES): "version 10.0.1.65535 -> 10.0.2.0",
            ("pelmaromn.inf", PROGRAM_FILES): "file missing",
            ("pelmaromn.txt", PROGRAM_FILES): "size 13 -> 22",
            ("basecapabilities.xml", PROGRAM_FILES): "file added",
        }
        # Built from the same resource script but for its numbers.
        assert len(installed["pmomnui.dll"].content) == len(updated["pmomnui.dll"].content)
        cls.corruption = {("pomnres_en.dll", PROGRAM_FILES): CORRUPT}
        cls.folder_gone = {(name, PROGRAM_FILES): "location missing" for name, _ in e2e.MANIFEST}
        cls.part = {row: change for row, change in cls.folder_gone.items() if row in ROWS[:10]}

        # The tests name reports\*.txt from the current directory, as typed in a console.
        cls.addClassCleanup(os.chdir, os.getcwd())
        os.chdir(prefix.root)

    @classmethod
    def inventory(cls):
        result = cls.prefix.run_utility()
        if result.returncode != 0:
            raise AssertionError(f"the utility failed: {result.stderr!r}")
        return result

    def compare(self, *arguments):
        return self.prefix.run(COMPARE_EXE, *arguments)

    def path(self, name):
        return e2e.windows_path(self.reports / name)

    def test_a_powershell_copy_of_a_report_is_identical_to_it(self):
        result = self.compare(self.path("base.txt"), self.path("pc06.txt"))
        self.assert_run(result, verdict(self.path("pc06.txt"), {}), "", 0)

    def test_changed_files_are_named_with_what_changed(self):
        result = self.compare(self.path("base.txt"), self.path("pc02.txt"))
        self.assert_run(result, verdict(self.path("pc02.txt"), self.changes), "", 1)

    def test_a_folder_of_reports_gives_each_verdict_and_the_fleet_view(self):
        # The baseline is in the folder too, under another name: compared once.
        result = self.compare(self.path("base.txt"), "reports\\*.txt")
        differing = [self.changes, self.corruption, self.folder_gone, self.part]
        self.assert_run(
            result,
            verdict("reports\\pc01 Zoë 日本 😀.txt", {}) +
            verdict("reports\\pc02.txt", self.changes) +
            verdict("reports\\pc03.txt", self.corruption) +
            verdict("reports\\pc04.txt", self.folder_gone) +
            verdict("reports\\pc05.txt", self.part, rows=10) +
            verdict("reports\\pc06.txt", {}) +
            verdict("reports\\pc07.txt", {}) +
            "\r\n7 inventories: 3 identical, 3 differ, 1 could not be used\r\n"
            "Differences from the baseline by file and location, most frequent first:\r\n" +
            fleet_view(differing),
            f"reports\\base.txt: the same file as {self.path('base.txt')}; skipped\r\n"
            "reports\\pc05.txt: incomplete, 10 of 78 rows\r\n",
            2)

    def test_without_two_arguments_it_shows_its_usage(self):
        self.assert_run(self.compare(self.path("base.txt")), "",
                        "usage: pelmar_omni_compare BASELINE INVENTORY [INVENTORY...]\r\n", 2)


if __name__ == "__main__":
    unittest.main()
