"""The signature check's walk through the driver's folders, on a machine with
drivers installed through the spooler, a print processor registered, and
files planted where the published attacks on the spooler put theirs."""

import csv
import hashlib
import io
import json
import os
import pathlib
import unittest

import e2e_support as e2e
import test_signing as signing

SIGNATURES_EXE = pathlib.Path(os.environ["PELMAR_SIGNATURES_EXE"])
PUBLISHER = "Pelmar Test Publisher"
PROCESSORS = ("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\"
              "Windows x64\\Print Processors\\Pelmar Processor")
UNNAMED = "named by no installed driver"
IMAGE = UNNAMED + "; an executable image"
OTHER = 'named by driver "Other Printer" (no printer uses it)'
LEGACY = 'named by driver "Legacy Printer" (no printer uses it)'


def shown(name):
    """A file name as the program shows it: its bidirectional control escaped."""
    return name.replace("\u202e", "\\u202E")


def row(status, signer, name, detail, directory):
    return (f"{status:<12}\t{signer or '--':<30}\t{shown(name):<30}\t{detail or '--':<40}\t"
            f"{directory}\r\n")


class unclaimed_files(e2e.output_assertions, unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.prefix = prefix = e2e.wine_prefix("unclaimed_files")
        cls.addClassCleanup(prefix.close)
        work = prefix.root / "made"
        cls.publisher = publisher = signing.certificate_authority(work / "ca").issue(PUBLISHER)
        unsigned = e2e.build_library(work, (1, 0, 0, 1)).content
        (work / "plain.dll").write_bytes(unsigned)
        cls.signed = signed = signing.sign_pe(publisher, work / "plain.dll", work / "signed.dll")

        # Pelmar's driver, every file signed; another driver; an x86 one.
        drivers = {
            ("Pelmar Omni Printer", "-"): ["pmomndrv.dll", "pomnres_en.dll", "pmomnui.dll",
                                           "pomnres_de.dll"],
            ("Other Printer", "-"): ["other.dll", "other.gpd", "otherui.dll", "otherres.dll"],
            ("Legacy Printer", "Windows NT x86"): ["legacy.dll", "legacy.gpd", "legacyui.dll"]}
        commands = []
        for (name, environment), files in drivers.items():
            staged = f"C:\\pelmar_setup\\{len(commands)}"
            prefix.lay_out(staged, {file: e2e.file_fixture(signed) for file in files})
            paths = [f"{staged}\\{file}" for file in files]
            commands += ["add", name, environment, *paths[:3], ",".join(paths[3:]) or "-"]
        prefix.spooler(*commands)
        prefix.import_registry(PROCESSORS, {"Driver": "pelproc.dll"})

        driver_folder = e2e.with_backslash(prefix.driver_folder) + "3\\"
        prefix.unix_path(driver_folder, "wineps.drv").unlink(missing_ok=True)
        cls.folders = {0: driver_folder.rsplit("\\", 3)[0] + "\\", 1: driver_folder,
                       2: e2e.with_backslash(prefix.processor_folder), 4: e2e.PROGRAM_FILES_FOLDER}
        planted = {
            1: {name: signed for name in drivers[("Pelmar Omni Printer", "-")]} |
               {name: unsigned for name in drivers[("Other Printer", "-")]} |
               {"planted.dll": unsigned, "helper.dll": signed, "=1+1.txt": b"read me\r\n",
                # Shown as "invoice lld.pdf" where bidirectional text is honoured.
                "invoice\u202efdp.dll": unsigned,
                "payload.dat": unsigned, "Old\\1\\planted.dll": unsigned,
                "Old\\1\\pmomndrv.dll": unsigned, "Old\\1\\legacy.dll": unsigned},
            2: {"pelproc.dll": unsigned, "rogue.dll": unsigned},
            4: {"pelmaromn.inf": b"[Version]\r\n", "listed.txt": b"the package's\r\n",
                "uninstall.dll": unsigned},
        }
        for location, files in planted.items():
            for name, content in files.items():
                path = prefix.unix_path(cls.folders[location], *name.split("\\"))
                path.parent.mkdir(parents=True, exist_ok=True)
                path.write_bytes(content)
        package = e2e.PROGRAM_FILES_FOLDER
        members = [signing.member(signing.file_tags(prefix, f"{package}\\{name}")["SHA1"], name)
                   for name in ("pelmaromn.inf", "listed.txt")]
        signing.build_catalog(publisher, members, prefix.unix_path(package, "pelmaromn.cat"))

    def expected_rows(self, exclude=(), named=False):
        """(status, signer, file, detail, location, kind), in the table's order,
        without `exclude`'s files; once any is excluded, Other Printer's files
        are signed. A driver's files signed by the publisher, without a catalog
        of the system's that lists them (the x86 driver's always), get rows
        unless the publisher is `named`."""
        other = ("other signer", PUBLISHER) if exclude else ("unsigned", "")
        rows = [("signed", PUBLISHER, name, "", 1, "driver") for name in (
                    "pomnres_en.dll", "pomnres_de.dll", "pmomndrv.dll", "pmomnui.dll")] + [
                ("signed", PUBLISHER, "pelmaromn.cat", "", 4, "driver"),
                ("catalog", PUBLISHER, "pelmaromn.inf", "pelmaromn.cat", 4, "driver"),
                # Excel would read the name as a formula: in CSV it begins with '.
                ("unsigned", "", "=1+1.txt", UNNAMED, 1, "unclaimed"),
                ("signed", PUBLISHER, "helper.dll", IMAGE, 1, "unclaimed"),
                ("unsigned", "", "invoice\u202efdp.dll", IMAGE, 1, "unclaimed")] + [
                # A name claims, but the content is still verified.
                (*other, name, OTHER, 1, "claimed")
                for name in ("other.dll", "other.gpd", "otherres.dll", "otherui.dll")] + [
                ("unsigned", "", "payload.dat", IMAGE, 1, "unclaimed"),
                ("unsigned", "", "planted.dll", IMAGE, 1, "unclaimed"),
                # An x86 driver names its files in its own folder only.
                ("unsigned", "", "Old\\1\\legacy.dll", IMAGE, 1, "unclaimed"),
                ("unsigned", "", "Old\\1\\planted.dll", IMAGE, 1, "unclaimed"),
                ("unsigned", "", "Old\\1\\pmomndrv.dll", "a copy the spooler keeps of a file "
                 'named by driver "Pelmar Omni Printer" (no printer uses it)', 1, "claimed"),
                ("unsigned", "", "pelproc.dll", "a registered print processor", 2, "claimed"),
                ("unsigned", "", "rogue.dll", IMAGE, 2, "unclaimed"),
                ("unsigned", "", "uninstall.dll", IMAGE, 4, "unclaimed")] + [
                ("other signer", PUBLISHER, f"w32x86\\3\\{name}", LEGACY, 0, "claimed")
                for name in ("legacy.dll", "legacy.gpd", "legacyui.dll")]
        return [found for found in rows
                if found[2] not in exclude and not (named and found[0] == "other signer")]

    def expected_table(self, rows, summary):
        return (row("STATUS", "SIGNER", "FILENAME", "DETAIL", "DIRECTORY") +
                "".join(row(*found[:4], self.folders.get(found[4], found[4])) for found in rows) +
                summary + "\r\n")

    def test_rows_summary_csv_and_exit_codes(self):
        # Claimed: Other Printer's 4 files, Pelmar's earlier build in Old\1, the
        # registered processor, the x86 driver's 3 files, which Wine's spooler
        # copied into its own folder, and Wine's colour profile.
        summary = ("6 files: 5 signed, 1 catalog; 9 unclaimed: 8 unsigned, 1 signed; "
                   "10 claimed, {}; 0 registered; 0 exposed settings")
        table = self.expected_table(self.expected_rows(),
                                    summary.format("9 with a row: 6 unsigned, 3 other signer"))
        self.assert_run(self.prefix.run(SIGNATURES_EXE), table, "", 1)
        table = self.expected_table(self.expected_rows(named=True),
                                    summary.format("6 with a row: 6 unsigned"))
        self.assert_run(self.prefix.run(SIGNATURES_EXE, "--signer", PUBLISHER), table, "", 1)

        result = self.prefix.run(SIGNATURES_EXE, "--csv")
        self.assertTrue(result.stdout.startswith(
            b"\xef\xbb\xbfstatus,signer,file,detail,folder,kind\r\n"))
        self.assertNotIn(b"\n", result.stdout.replace(b"\r\n", b""))
        records = list(csv.reader(io.StringIO(result.stdout.decode("utf-8-sig"), newline="")))
        self.assertEqual(records, [["status", "signer", "file", "detail", "folder", "kind"]] + [
            [status, signer, "'" * name.startswith("=") + shown(name), detail,
             self.folders[location], kind]
            for status, signer, name, detail, location, kind in self.expected_rows()])
        self.assertEqual(result.returncode, 1)

        # JSON carries each name as listed, and the SHA-256 of the bytes judged.
        result = self.prefix.run(SIGNATURES_EXE, "--json")
        self.assertNotIn(b"\r", result.stdout)
        *objects, closing = map(json.loads, result.stdout.decode("utf-8").splitlines())

        def sha256(name, location):
            path = self.prefix.unix_path(self.folders[location], *name.split("\\"))
            return hashlib.sha256(path.read_bytes()).hexdigest()
        self.assertEqual(objects, [
            {"status": status, "signer": signer or None, "file": name, "detail": detail or None,
             "folder": self.folders[location], "kind": kind, "sha256": sha256(name, location),
             "claim": detail if kind == "claimed" else None}
            for status, signer, name, detail, location, kind in self.expected_rows()])
        self.assertEqual(closing, {
            "summary": summary.format("9 with a row: 6 unsigned, 3 other signer"),
            "exit_code": 1})
        self.assertEqual(result.returncode, 1)

        # Left: an image signed by the publisher and a text file.
        gone = {"invoice\u202efdp.dll": 1, "payload.dat": 1, "planted.dll": 1,
                "Old\\1\\planted.dll": 1, "Old\\1\\legacy.dll": 1, "Old\\1\\pmomndrv.dll": 1,
                "rogue.dll": 2, "pelproc.dll": 2, "uninstall.dll": 4}
        for name, location in gone.items():
            self.prefix.unix_path(self.folders[location], *name.split("\\")).unlink()
        for name in ("other.dll", "other.gpd", "otherres.dll", "otherui.dll"):
            self.prefix.unix_path(self.folders[1], name).write_bytes(self.signed)
        # The registered processor's library is gone: a row, but no alarm.
        summary = ("6 files: 5 signed, 1 catalog; 2 unclaimed: 1 signed, 1 unsigned; "
                   "8 claimed{}; 1 registered, 1 with a row: 1 missing; 0 exposed settings")
        missing = ("missing", "", self.folders[2] + "pelproc.dll",
                   "Environments\\Windows x64\\Print Processors\\Pelmar Processor\\Driver; "
                   "registered but missing",
                   "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print", "registered")
        table = self.expected_table(self.expected_rows(exclude=gone, named=True) + [missing],
                                    summary.format(""))
        self.assert_run(self.prefix.run(SIGNATURES_EXE, "--signer", PUBLISHER), table, "", 0)
        thumbprint = signing.thumbprints(self.publisher.certificate)["sha1"]
        self.assert_run(self.prefix.run(SIGNATURES_EXE, "--thumbprint", thumbprint), table, "", 0)
        table = self.expected_table(self.expected_rows(exclude=gone) + [missing],
                                    summary.format(", 7 with a row: 7 other signer"))
        self.assert_run(self.prefix.run(SIGNATURES_EXE), table, "", 1)


if __name__ == "__main__":
    unittest.main()
