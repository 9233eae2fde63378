"""pelmar_omni_compare on the utility's own reports: a machine's report as the
baseline, and the reports the same machine gives after its files changed,
saved the ways Windows tools save them."""

import csv
import io
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
CUT = "incomplete, 10 of 78 rows: the last line has no line end"
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


def fleet_view(differing, unusable):
    """The closing groups: differing, (name, differences) for each inventory
    compared; unusable, (name, reason) for each one that could not be used."""
    kinds = [{}, {}]
    for name, differences in differing:
        for (file, location), change in differences.items():
            kinds[0].setdefault(f"{file:<{FILE_WIDTH}}{LOCATION_NAMES[location]:<{LOCATION_WIDTH}}"
                                f"{change}", []).append(name)
    for name, reason in unusable:
        kinds[1].setdefault(reason, []).append(name)
    width = len(str(max(len(names) for groups in kinds for names in groups.values())))
    text = ""
    for heading, groups in zip(("Differences from the baseline", "Could not be used"), kinds):
        text += f"{heading}, most frequent first:\r\n" if groups else ""
        for key in sorted(groups, key=lambda key: (-len(groups[key]), key)):
            names = groups[key]
            text += f"  {len(names):>{width}}  {key}\r\n" + "".join(
                f"{'':{width + 6}}{name}\r\n" for name in names[:10])
            text += f"{'':{width + 6}}and {len(names) - 10} more\r\n" if len(names) > 10 else ""
    return text


def table_values(report):
    """Per row of a saved table: (version, size, digest), empty for an absent file."""
    lines = report.decode("utf-8").splitlines()
    start = next(index for index, line in enumerate(lines) if line.startswith("HASH")) + 1
    values = {}
    for row, line in zip(ROWS, lines[start:]):
        if line.count("\t") != 4:
            break
        digest, size, version = (column.strip() for column in line.split("\t")[:3])
        values[row] = ("", "", "") if digest == "--" else (version, size, digest)
    return values


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
                "pc03, corrupt.txt": corrupt.stdout,
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
        cls.values = {name: table_values(content) for name, content in
                      {"base.txt": base.stdout, "pc02.txt": changed.stdout,
                       "pc03, corrupt.txt": corrupt.stdout, "pc04.txt": without_folder.stdout,
                       "pc05.txt": truncated}.items()}

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
        differing = [("reports\\pc02.txt", self.changes),
                     ("reports\\pc03, corrupt.txt", self.corruption),
                     ("reports\\pc04.txt", self.folder_gone), ("reports\\pc05.txt", self.part)]
        self.assert_run(
            result,
            verdict("reports\\pc01 Zoë 日本 😀.txt", {}) +
            verdict("reports\\pc02.txt", self.changes) +
            verdict("reports\\pc03, corrupt.txt", self.corruption) +
            verdict("reports\\pc04.txt", self.folder_gone) +
            verdict("reports\\pc05.txt", self.part, rows=10) +
            verdict("reports\\pc06.txt", {}) +
            verdict("reports\\pc07.txt", {}) +
            "\r\n7 inventories: 3 identical, 3 differ, 1 could not be used\r\n" +
            fleet_view(differing, [("reports\\pc05.txt", CUT)]),
            f"reports\\base.txt: the same file as {self.path('base.txt')}; skipped\r\n"
            f"reports\\pc05.txt: {CUT}\r\n",
            2)

    def test_csv_output_reads_back_with_a_csv_parser(self):
        result = self.compare("--csv", self.path("base.txt"), "reports\\*.txt")
        self.assertEqual(result.returncode, 2)
        self.assertTrue(result.stdout.startswith(b"\xef\xbb\xbf"))
        self.assertEqual(result.stdout.count(b"\n"), result.stdout.count(b"\r\n"))
        records = list(csv.reader(io.StringIO(result.stdout.decode("utf-8-sig"), newline="")))

        def kind(change):
            if change == CORRUPT:
                return "corrupt or altered"
            return "changed" if change.startswith(("version", "size")) else change

        def rows(name, differences):
            base, other = self.values["base.txt"], self.values[name]
            return [[f"reports\\{name}", file, LOCATION_NAMES[location], kind(change),
                     *(value for pair in zip(base[file, location], other[file, location])
                       for value in pair), ""]
                    for (file, location), change in sorted(
                        differences.items(), key=lambda item: ROWS.index(item[0]))]

        def single(name, change, detail=""):
            return [[f"reports\\{name}", "", "", change, "", "", "", "", "", "", detail]]

        self.assertEqual(records, [
            ["inventory", "file", "location", "change", "baseline_version", "version",
             "baseline_size", "size", "baseline_sha1", "sha1", "detail"],
            *single("pc01 Zoë 日本 😀.txt", "identical"),
            *rows("pc02.txt", self.changes),
            *rows("pc03, corrupt.txt", self.corruption),
            *rows("pc04.txt", self.folder_gone),
            *single("pc05.txt", "unusable", CUT),
            *rows("pc05.txt", self.part),
            *single("pc06.txt", "identical"),
            *single("pc07.txt", "identical")])

    def test_without_two_arguments_it_shows_its_usage(self):
        self.assert_run(self.compare(self.path("base.txt")), "",
                        "usage: pelmar_omni_compare [--csv] BASELINE INVENTORY [INVENTORY...]\r\n"
                        "       pelmar_omni_compare --help\r\n", 2)


if __name__ == "__main__":
    unittest.main()
