"""pelmar_omni_compare on the utility's own reports: a machine's report as the
baseline, and the reports the same machine gives after its files changed,
saved the ways Windows tools save them."""

import csv
import hashlib
import io
import json
import os
import pathlib
import shutil
import unittest

import e2e_support as e2e

COMPARE_EXE = pathlib.Path(os.environ["PELMAR_COMPARE_EXE"])
CURRENT_VERSION = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion"
MOVED_PROGRAM_FILES = "C:\\Programme"

CUT = "incomplete, 10 of 78 rows: the last line has no line end"
PROGRAM_FILES_ROW = '"Program Files\\Pelmar\\printer" Directory'
# The program's own text for the reports below, checked by eye once and kept.
CHANGES = """\
  pmomnui.dll                      "Program Files\\Pelmar\\printer" Directory        version 10.0.1.65535 -> 10.0.2.0
  pelmaromn.inf                    "Program Files\\Pelmar\\printer" Directory        file missing
  pelmaromn.txt                    "Program Files\\Pelmar\\printer" Directory        size 13 -> 22
  basecapabilities.xml             "Program Files\\Pelmar\\printer" Directory        file added
"""
FLEET = """\
reports\\pc01 Zoë 日本 😀.txt: identical
reports\\pc02.txt: 4 of 78 rows differ
{CHANGES}reports\\pc03, corrupt.txt: 1 of 78 rows differ
  pomnres_en.dll                   "Program Files\\Pelmar\\printer" Directory        content differs at the same version and size: corrupt or altered
reports\\pc04.txt: 20 of 78 rows differ
  pomnres_en.dll                   "Program Files\\Pelmar\\printer" Directory        location missing
  pomnres_de.dll                   "Program Files\\Pelmar\\printer" Directory        location missing
  pomnres_fr.dll                   "Program Files\\Pelmar\\printer" Directory        location missing
  pomnres_ja.dll                   "Program Files\\Pelmar\\printer" Directory        location missing
  pomnres_es.dll                   "Program Files\\Pelmar\\printer" Directory        location missing
  pomnres_zh-CN.dll                "Program Files\\Pelmar\\printer" Directory        location missing
  pomnres_zh-TW.dll                "Program Files\\Pelmar\\printer" Directory        location missing
  pomnres_ko.dll                   "Program Files\\Pelmar\\printer" Directory        location missing
  pomnres_ru.dll                   "Program Files\\Pelmar\\printer" Directory        location missing
  pmomndrv.dll                     "Program Files\\Pelmar\\printer" Directory        location missing
  pmomnui.dll                      "Program Files\\Pelmar\\printer" Directory        location missing
  pmxpsomnui.dll                   "Program Files\\Pelmar\\printer" Directory        location missing
  omnprn.dll                       "Program Files\\Pelmar\\printer" Directory        location missing
  pelmaromn.cat                    "Program Files\\Pelmar\\printer" Directory        location missing
  pelmaromn.inf                    "Program Files\\Pelmar\\printer" Directory        location missing
  pelmaromn.txt                    "Program Files\\Pelmar\\printer" Directory        location missing
  pelmarxps.txt                    "Program Files\\Pelmar\\printer" Directory        location missing
  pelmarxpsdrv-pipelineconfig.xml  "Program Files\\Pelmar\\printer" Directory        location missing
  pmproc.dll                       "Program Files\\Pelmar\\printer" Directory        location missing
  basecapabilities.xml             "Program Files\\Pelmar\\printer" Directory        location missing
reports\\pc05.txt: 3 of 10 rows differ
  pomnres_en.dll                   "Program Files\\Pelmar\\printer" Directory        location missing
  pomnres_de.dll                   "Program Files\\Pelmar\\printer" Directory        location missing
  pomnres_fr.dll                   "Program Files\\Pelmar\\printer" Directory        location missing
reports\\pc06.txt: identical
reports\\pc07.txt: identical

19 inventories: 3 identical, 3 differ, 13 could not be used
Differences from the baseline, most frequent first:
   2  pomnres_de.dll                   "Program Files\\Pelmar\\printer" Directory        location missing
        reports\\pc04.txt
        reports\\pc05.txt
   2  pomnres_en.dll                   "Program Files\\Pelmar\\printer" Directory        location missing
        reports\\pc04.txt
        reports\\pc05.txt
   2  pomnres_fr.dll                   "Program Files\\Pelmar\\printer" Directory        location missing
        reports\\pc04.txt
        reports\\pc05.txt
   1  basecapabilities.xml             "Program Files\\Pelmar\\printer" Directory        file added
        reports\\pc02.txt
   1  basecapabilities.xml             "Program Files\\Pelmar\\printer" Directory        location missing
        reports\\pc04.txt
   1  omnprn.dll                       "Program Files\\Pelmar\\printer" Directory        location missing
        reports\\pc04.txt
   1  pelmaromn.cat                    "Program Files\\Pelmar\\printer" Directory        location missing
        reports\\pc04.txt
   1  pelmaromn.inf                    "Program Files\\Pelmar\\printer" Directory        file missing
        reports\\pc02.txt
   1  pelmaromn.inf                    "Program Files\\Pelmar\\printer" Directory        location missing
        reports\\pc04.txt
   1  pelmaromn.txt                    "Program Files\\Pelmar\\printer" Directory        location missing
        reports\\pc04.txt
   1  pelmaromn.txt                    "Program Files\\Pelmar\\printer" Directory        size 13 -> 22
        reports\\pc02.txt
   1  pelmarxps.txt                    "Program Files\\Pelmar\\printer" Directory        location missing
        reports\\pc04.txt
   1  pelmarxpsdrv-pipelineconfig.xml  "Program Files\\Pelmar\\printer" Directory        location missing
        reports\\pc04.txt
   1  pmomndrv.dll                     "Program Files\\Pelmar\\printer" Directory        location missing
        reports\\pc04.txt
   1  pmomnui.dll                      "Program Files\\Pelmar\\printer" Directory        location missing
        reports\\pc04.txt
   1  pmomnui.dll                      "Program Files\\Pelmar\\printer" Directory        version 10.0.1.65535 -> 10.0.2.0
        reports\\pc02.txt
   1  pmproc.dll                       "Program Files\\Pelmar\\printer" Directory        location missing
        reports\\pc04.txt
   1  pmxpsomnui.dll                   "Program Files\\Pelmar\\printer" Directory        location missing
        reports\\pc04.txt
   1  pomnres_en.dll                   "Program Files\\Pelmar\\printer" Directory        content differs at the same version and size: corrupt or altered
        reports\\pc03, corrupt.txt
   1  pomnres_es.dll                   "Program Files\\Pelmar\\printer" Directory        location missing
        reports\\pc04.txt
   1  pomnres_ja.dll                   "Program Files\\Pelmar\\printer" Directory        location missing
        reports\\pc04.txt
   1  pomnres_ko.dll                   "Program Files\\Pelmar\\printer" Directory        location missing
        reports\\pc04.txt
   1  pomnres_ru.dll                   "Program Files\\Pelmar\\printer" Directory        location missing
        reports\\pc04.txt
   1  pomnres_zh-CN.dll                "Program Files\\Pelmar\\printer" Directory        location missing
        reports\\pc04.txt
   1  pomnres_zh-TW.dll                "Program Files\\Pelmar\\printer" Directory        location missing
        reports\\pc04.txt
Could not be used, most frequent first:
  12  line 80: text after the table
        reports\\pc200.txt
        reports\\pc201.txt
        reports\\pc202.txt
        reports\\pc203.txt
        reports\\pc204.txt
        reports\\pc205.txt
        reports\\pc206.txt
        reports\\pc207.txt
        reports\\pc208.txt
        reports\\pc209.txt
        and 2 more
   1  incomplete, 10 of 78 rows: the last line has no line end
        reports\\pc05.txt
"""


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
                "pc07.txt": base.stderr + base.stdout,
                # Text after the table, in more reports than a group names.
                **{f"pc{number}.txt": base.stdout + b"copied by backup job\r\n"
                   for number in range(200, 212)}}.items():
            (cls.reports / name).write_bytes(content)

        cls.installed, cls.updated, cls.altered = installed, updated, altered

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
        self.assert_run(result, f"{self.path('pc06.txt')}: identical\r\n", "", 0)

    def test_changed_files_are_named_with_what_changed(self):
        result = self.compare(self.path("base.txt"), self.path("pc02.txt"))
        self.assert_run(result, f"{self.path('pc02.txt')}: 4 of 78 rows differ\r\n" + CHANGES.replace("\n", "\r\n"), "", 1)

    def test_a_folder_of_reports_gives_each_verdict_and_the_fleet_view(self):
        # The baseline is in the folder too, under another name: compared once.
        result = self.compare(self.path("base.txt"), "reports\\*.txt")
        self.assert_run(
            result, FLEET.format(CHANGES=CHANGES).replace("\n", "\r\n"),
            f"reports\\base.txt: the same file as {self.path('base.txt')}; skipped\r\n"
            f"reports\\pc05.txt: {CUT}\r\n" + "".join(
                f"reports\\pc{number}.txt: line 80: text after the table\r\n"
                for number in range(200, 212)),
            2)

    def test_csv_output_reads_back_with_a_csv_parser(self):
        result = self.compare("--csv", self.path("base.txt"), "reports\\*.txt")
        self.assertEqual(result.returncode, 2)
        self.assertTrue(result.stdout.startswith(b"\xef\xbb\xbf"))
        self.assertEqual(result.stdout.count(b"\n"), result.stdout.count(b"\r\n"))
        records = list(csv.reader(io.StringIO(result.stdout.decode("utf-8-sig"), newline="")))

        def values(fixture):
            return fixture.version, str(len(fixture.content)), hashlib.sha1(fixture.content).hexdigest()

        def record(name, file, change, base=("", "", ""), other=("", "", "")):
            return [f"reports\\{name}", file, PROGRAM_FILES_ROW, change,
                    *(value for pair in zip(base, other) for value in pair), ""]

        installed = {name: values(fixture) for name, fixture in self.installed.items()}
        unusable = [["reports\\pc05.txt", "", "", "unusable", "", "", "", "", "", "", CUT]]
        self.assertEqual(records, [
            ["inventory", "file", "location", "change", "baseline_version", "version",
             "baseline_size", "size", "baseline_sha1", "sha1", "detail"],
            ["reports\\pc01 Zoë 日本 😀.txt", "", "", "identical", "", "", "", "", "", "", ""],
            record("pc02.txt", "pmomnui.dll", "changed", installed["pmomnui.dll"],
                   values(self.updated["pmomnui.dll"])),
            record("pc02.txt", "pelmaromn.inf", "file missing", installed["pelmaromn.inf"]),
            record("pc02.txt", "pelmaromn.txt", "changed", installed["pelmaromn.txt"],
                   values(self.updated["pelmaromn.txt"])),
            record("pc02.txt", "basecapabilities.xml", "file added", other=values(
                self.updated["basecapabilities.xml"])),
            record("pc03, corrupt.txt", "pomnres_en.dll", "corrupt or altered",
                   installed["pomnres_en.dll"],
                   values(self.installed["pomnres_en.dll"]._replace(content=self.altered))),
            *(record("pc04.txt", name, "location missing", installed.get(name, ("", "", "")))
              for name, _ in e2e.MANIFEST),
            *unusable,
            *(record("pc05.txt", name, "location missing", installed.get(name, ("", "", "")))
              for name in ("pomnres_en.dll", "pomnres_de.dll", "pomnres_fr.dll")),
            ["reports\\pc06.txt", "", "", "identical", "", "", "", "", "", "", ""],
            ["reports\\pc07.txt", "", "", "identical", "", "", "", "", "", "", ""],
            *([f"reports\\pc{number}.txt", "", "", "unusable", "", "", "", "", "", "",
               "line 80: text after the table"] for number in range(200, 212))])

    def test_json_lines_carry_the_csv_records_and_close_with_the_counts(self):
        inputs = (self.path("base.txt"), "reports\\*.txt")
        records = list(csv.reader(io.StringIO(
            self.compare("--csv", *inputs).stdout.decode("utf-8-sig"), newline="")))
        result = self.compare("--json", *inputs)
        self.assertEqual(result.returncode, 2)
        self.assertNotIn(b"\r", result.stdout)
        self.assertFalse(result.stdout.startswith(b"\xef\xbb\xbf"))
        *rows, summary = [json.loads(line) for line in result.stdout.decode("utf-8").splitlines()]
        header = records[0]
        self.assertEqual([[("" if row[key] is None else str(row[key])) for key in header]
                          for row in rows], records[1:])
        self.assertEqual([list(row) for row in rows], [header] * len(rows))
        self.assertEqual(summary, {"summary": "19 inventories: 3 identical, 3 differ, "
                                              "13 could not be used",
                                   "identical": 3, "differ": 3, "unusable": 13, "exit_code": 2})

    def test_without_two_arguments_it_shows_its_usage(self):
        self.assert_run(self.compare(self.path("base.txt")), "",
                        "usage: pelmar_omni_compare [--csv | --json] BASELINE INVENTORY [INVENTORY...]\r\n"
                        "       pelmar_omni_compare --help\r\n", 2)


if __name__ == "__main__":
    unittest.main()
