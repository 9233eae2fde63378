"""The signature check on Wine prefixes laid out as a real Windows 11 client
and a Server 2022 print server are: silent but for the driver's own rows on
the healthy machines, and a row for each leftover of the published attacks on
the spooler, laid on top of the client one at a time."""

import collections
import os
import pathlib
import unittest

import e2e_support as e2e
import real_machine as real

SIGNATURES_EXE = pathlib.Path(os.environ["PELMAR_SIGNATURES_EXE"])
STATUS_ORDER = ["signed", "catalog", "unsigned", "altered", "invalid", "unreadable",
                "other signer", "replaced", "unchecked", "missing", "exposed"]
AUTHOR = "Open Source Developer, Benjamin Delpy"
DRIVER_FOLDER = real.DRIVERS + "\\x64\\3\\"
ROOT = real.DRIVERS + "\\"
PROCESSORS = real.SPOOL + "\\prtprocs\\x64\\"
IMAGE = "named by no installed driver; an executable image"
HP_DRIVER = "HP Universal Printing PCL 6"
COMPATIBLE_DRIVER = "Microsoft enhanced Point and Print compatibility driver"
STUDIO = "A Game Studio Co., Ltd."
VENDOR = "Contoso Imaging"
# The README's pair, with the product's publisher for its own files.
SIGNERS = ("--signer", real.PUBLISHER, "--signer", real.MICROSOFT, "--signer", real.WHQL)
SYSTEM32 = real.SYSTEM32 + "\\"
HKLM = "HKEY_LOCAL_MACHINE\\"
CONTROL = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print"
SOFTWARE = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print"
PORTS = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports"
POLICIES = "SOFTWARE\\Policies\\Microsoft\\Windows NT\\Printers"
POINT_AND_PRINT = POLICIES + "\\PointAndPrint"
PRODUCT = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions"
KB = "(KB5005652; Point and Print Restrictions)"
# Keys of Windows' own that a case changes, and their values before it.
RESTORED = {HKLM + PRODUCT: {"ProductType": "WinNT"},
            HKLM + PORTS: {SYSTEM32 + "ualapi.dll": None}}


def row(status, signer, name, detail, directory):
    return f"{status:<12}\t{signer or '--':<30}\t{name:<30}\t{detail or '--':<40}\t{directory}\r\n"


def by(driver, copy=False):
    named = f'named by driver "{driver}" (no printer uses it)'
    return "a copy the spooler keeps of a file " + named if copy else named


def counts(statuses):
    """": 2 unsigned, 1 signed", most frequent first, as the summary has them."""
    tally = collections.Counter(statuses)
    ranked = sorted(tally, key=lambda status: (-tally[status], STATUS_ORDER.index(status)))
    return ": " + ", ".join(f"{tally[status]} {status}" for status in ranked) if ranked else ""


# Each leftover: what it plants below SPOOL (path -> content kind), the drivers
# it installs (name, driver, data, config in x64\3), the rows it must get
# (status, signer, file, detail, folder, kind), the exit code, the
# program's arguments and the registry's keys it sets (key -> values).
leftover = collections.namedtuple("leftover",
                                  "name files drivers rows exit_code arguments registry",
                                  defaults=((), (), 1, (), {}))
LEGACY_FILES = {"drivers\\x64\\3\\ctlegacy.dll": "vendor", "drivers\\x64\\3\\ctlegui.dll": "vendor"}
LEGACY_DRIVER = ("Contoso Legacy Printer", "ctlegacy.dll", "ctlegui.dll", "ctlegui.dll")


def setting(key, name, value, detail):
    """A case of an exposed setting: the value set, its row, exit code 0."""
    return leftover(f"{name} = {value}", {}, (),
                    [("exposed", "", name, detail, "HKLM\\" + key, "setting")], 0,
                    registry={HKLM + key: {name: value}})


def printer(name, values, copy_files=None):
    """A printer's keys as the spooler keeps them under SOFTWARE, with one
    CopyFiles key (name, values)."""
    keys = {real.PRINTERS + name: {"Name": name, "Port": "LPT1:", "Attributes": 0x40} | values}
    if copy_files:
        keys[real.PRINTERS + name + "\\CopyFiles\\" + copy_files[0]] = copy_files[1]
    return keys
LEFTOVERS = [
    leftover("PrintNightmare: a driver whose configuration is the payload, its Old copy, "
             "a copy of a Windows library",
             {"drivers\\x64\\3\\addCube.dll": "unsigned",
              "drivers\\x64\\3\\Old\\1\\addCube.dll": "unsigned",
              "drivers\\x64\\3\\winhttp.dll": "microsoft"},
             [("1234", "UNIDRV.DLL", "addCube.dll", "addCube.dll")],
             [("unsigned", "", "addCube.dll", by("1234"), DRIVER_FOLDER, "claimed"),
              ("signed", real.MICROSOFT, "winhttp.dll", IMAGE, DRIVER_FOLDER, "unclaimed"),
              ("unsigned", "", "Old\\1\\addCube.dll", by("1234", True), DRIVER_FOLDER,
               "claimed")]),
    leftover("PrintNightmare with a payload its author signed, the README's signers named",
             {"drivers\\x64\\3\\mimilib.dll": "author"},
             [("1234", "UNIDRV.DLL", "mimilib.dll", "mimilib.dll")],
             [("other signer", AUTHOR, "mimilib.dll", by("1234"), DRIVER_FOLDER, "claimed")],
             1, SIGNERS),
    leftover("LocalPotato: PrintConfig.dll replaced by a library someone else signed",
             {"drivers\\x64\\3\\PrintConfig.dll": "author"}, (),
             [("other signer", AUTHOR, "PrintConfig.dll", by(COMPATIBLE_DRIVER), DRIVER_FOLDER,
               "claimed")]),
    leftover("a file of another vendor's WHQL package that no driver names",
             {real.STORED_PACKAGE_FILE: "stored package"}, (),
             [("catalog", real.WHQL, "CNP60MA64.DLL", IMAGE + "; cnp60m.cat", DRIVER_FOLDER,
               "unclaimed")], 1, SIGNERS),
    leftover("a legacy driver's files its vendor signed, copied without its catalog",
             LEGACY_FILES, [LEGACY_DRIVER],
             [("other signer", VENDOR, name, by(LEGACY_DRIVER[0]), DRIVER_FOLDER, "claimed")
              for name in ("ctlegacy.dll", "ctlegui.dll")]),
    leftover("a legacy driver's files its vendor signed, the vendor named",
             LEGACY_FILES, [LEGACY_DRIVER], [], 0, SIGNERS + ("--signer", VENDOR)),
    leftover("Invoke-Nightmare: staged in New, then beside the driver",
             {"drivers\\x64\\3\\nightmare.dll": "unsigned",
              "drivers\\x64\\3\\New\\nightmare.dll": "unsigned"},
             [("Totally Not Malicious", "mxdwdrv.dll", "nightmare.dll", "nightmare.dll")],
             [("unsigned", "", "nightmare.dll", by("Totally Not Malicious"), DRIVER_FOLDER,
               "claimed"),
              ("unsigned", "", "New\\nightmare.dll", by("Totally Not Malicious", True),
               DRIVER_FOLDER, "claimed")]),
    leftover("mimikatz run locally: a payload its author signed, the driver deleted",
             {"drivers\\x64\\3\\mimilib.dll": "author"}, (),
             [("signed", AUTHOR, "mimilib.dll", IMAGE, DRIVER_FOLDER, "unclaimed")]),
    leftover("mimispool: both architectures' copies, no driver",
             {"drivers\\x64\\3\\mimispool.dll": "author",
              "drivers\\w32x86\\3\\mimispool.dll": "author x86"}, (),
             [("signed", AUTHOR, "mimispool.dll", IMAGE, DRIVER_FOLDER, "unclaimed"),
              ("signed", AUTHOR, "w32x86\\3\\mimispool.dll", IMAGE, ROOT, "unclaimed")]),
    leftover("SpoolFool's older builds and CVE-2020-1030: a version 4 folder",
             {"drivers\\x64\\4\\AddUser.dll": "unsigned"}, (),
             [("unsigned", "", "x64\\4\\AddUser.dll", IMAGE, ROOT, "unclaimed")]),
    leftover("SpoolFool: a random {GUID} folder",
             {"drivers\\x64\\{6C0A4B5E-93D1-4F2A-8B7C-1D2E3F405A6B}\\AddUser.dll": "unsigned"},
             (),
             [("unsigned", "", "x64\\{6C0A4B5E-93D1-4F2A-8B7C-1D2E3F405A6B}\\AddUser.dll",
               IMAGE, ROOT, "unclaimed")]),
    leftover("Gelsemium: winprint.dll replaced",
             {"prtprocs\\x64\\winprint.dll": "unsigned"}, (),
             [("unsigned", "", "winprint.dll", "a registered print processor", PROCESSORS,
               "claimed")]),
    leftover("a trojaned UNIDRV.DLL",
             {"drivers\\x64\\3\\UNIDRV.DLL": "unsigned"}, (),
             [("unsigned", "", "UNIDRV.DLL", by(HP_DRIVER), DRIVER_FOLDER,
               "claimed")]),
    leftover("a language resource that is a planted image",
             {"drivers\\x64\\3\\en-US\\UNIDRV.DLL.mui": "unsigned"}, (),
             [("unsigned", "", "en-US\\UNIDRV.DLL.mui", "a language resource of UNIDRV.DLL",
               DRIVER_FOLDER, "claimed")]),
    leftover("a tree deeper than any the spooler makes",
             {"drivers\\x64\\3\\" + "d\\" * 33 + "x.dll": "unsigned"}, (),
             [("unreadable", "", "d\\" * 33, "not walked: more than 32 folders deep",
               DRIVER_FOLDER, "unclaimed")], 2),
    leftover("a library five folders down",
             {"drivers\\x64\\3\\Old\\1\\a\\b\\c\\x.dll": "unsigned"}, (),
             [("unsigned", "", "Old\\1\\a\\b\\c\\x.dll", IMAGE, DRIVER_FOLDER, "unclaimed")]),
    leftover("the IA64 folder",
             {"drivers\\ia64\\payload.dll": "unsigned"}, (),
             [("unsigned", "", "ia64\\payload.dll", IMAGE, ROOT, "unclaimed")]),
    leftover("an x64 driver's file name in the x86 folder",
             {"drivers\\w32x86\\3\\FXSAPI.DLL": "unsigned"}, (),
             [("unsigned", "", "w32x86\\3\\FXSAPI.DLL", IMAGE, ROOT, "unclaimed")]),
    leftover("a driver's file name in the print processor folder",
             {"prtprocs\\x64\\UNIDRV.DLL": "unsigned"}, (),
             [("unsigned", "", "UNIDRV.DLL", IMAGE, PROCESSORS, "unclaimed")]),
    leftover("a name that Windows rewrites when it opens a path",
             {"drivers\\x64\\3\\evil.dll.": "unsigned"}, (),
             [("unsigned", "", "evil.dll.", IMAGE, DRIVER_FOLDER, "unclaimed")]),
    leftover("a folder whose name Windows rewrites, beside none",
             {"drivers\\x64\\3\\Old.\\1\\evil.dll": "unsigned"}, (),
             [("unsigned", "", "Old.\\1\\evil.dll", IMAGE, DRIVER_FOLDER, "unclaimed")]),
    leftover("port monitor persistence: an unsigned library in System32",
             {SYSTEM32 + "evilmon.dll": "unsigned"}, (),
             [("unsigned", "", SYSTEM32 + "evilmon.dll", "Monitors\\Evil Monitor\\Driver", CONTROL,
               "registered")],
             registry={real.CONTROL_PRINT + "Monitors\\Evil Monitor": {"Driver": "evilmon.dll"}}),
    leftover("a port monitor by its full path, its library removed", {}, (),
             [("missing", "", "C:\\ProgramData\\mon.dll",
               "Monitors\\Old Monitor\\Driver; registered but missing", CONTROL, "registered")],
             0, registry={real.CONTROL_PRINT + "Monitors\\Old Monitor":
                 {"Driver": "C:\\ProgramData\\mon.dll"}}),
    leftover("a print provider",
             {SYSTEM32 + "evilpp.dll": "unsigned"}, (),
             [("unsigned", "", SYSTEM32 + "evilpp.dll", "Providers\\Evil Provider\\Name", CONTROL,
               "registered")],
             registry={real.CONTROL_PRINT + "Providers\\Evil Provider": {"Name": "evilpp.dll"}}),
    leftover("a print processor's library outside the print processor folder",
             {SYSTEM32 + "spool.dll": "unsigned"}, (),
             [("unsigned", "", SYSTEM32 + "spool.dll",
               "Environments\\Windows x64\\Print Processors\\UDPrint\\Driver", CONTROL,
               "registered")],
             registry={real.PROCESSORS + "UDPrint": {"Driver": "..\\..\\..\\spool.dll"}}),
    leftover("CVE-2020-1030: a printer's CopyFiles module in a version 4 folder",
             {"drivers\\x64\\4\\payload.dll": "unsigned"}, (),
             [("unsigned", "", real.DRIVERS + "\\x64\\4\\payload.dll",
               "Printers\\Payload Printer\\CopyFiles\\Payload\\Module", SOFTWARE, "registered")],
             registry=printer("Payload Printer", {}, (
                 "Payload", {"Module": real.DRIVERS + "\\x64\\4\\payload.dll"}))),
    leftover("SpoolFool: a printer's spool folder in a version 4 folder", {}, (),
             [("unsigned", "", real.DRIVERS + "\\x64\\4",
               "Printers\\Spooled\\SpoolDirectory; a spool folder among the printer drivers'",
               SOFTWARE, "registered")],
             registry=printer("Spooled", {"SpoolDirectory": real.DRIVERS + "\\x64\\4"})),
    leftover("PrintDemon: a port that is a file in System32", {}, (),
             [("unsigned", "", SYSTEM32 + "ualapi.dll",
               "a port that prints into a file in the Windows folder", "HKLM\\" + PORTS,
               "registered")],
             registry={HKLM + PORTS: {SYSTEM32 + "ualapi.dll": ""}}),
    setting(POINT_AND_PRINT, "RestrictDriverInstallationToAdministrators", 0,
            "0: users who are not administrators may install printer drivers through Point "
            "and Print (KB5005652)"),
    setting(POINT_AND_PRINT, "NoWarningNoElevationOnInstall", 1,
            "1: Point and Print installs a printer's driver without a warning or an elevation "
            "prompt " + KB),
    setting(POINT_AND_PRINT, "UpdatePromptSettings", 2,
            "2: Point and Print updates a printer's driver without a warning or an elevation "
            "prompt " + KB),
    setting(POLICIES, "RegisterSpoolerRemoteRpcEndPoint", 1,
            "1: the spooler accepts connections from the network though no printer is shared "
            "(Allow Print Spooler to accept client connections; CVE-2021-34527)"),
    setting(PRODUCT, "ProductType", "LanmanNT",
            "LanmanNT: the spooler runs on a domain controller, which any domain user can then "
            "make authenticate elsewhere (Defender for Identity: domain controllers with Print "
            "spooler service available)"),
    leftover("MZ alone is no executable image",
             {"drivers\\x64\\3\\readme.txt": "mz"}, (),
             [("unsigned", "", "readme.txt", "named by no installed driver", DRIVER_FOLDER,
               "unclaimed")], 0),
    # Payloads their author signed: a registered library is trusted as a
    # claimed image is, not for any valid signature.
    leftover("port monitor persistence: a library its author signed",
             {SYSTEM32 + "signedmon.dll": "author"}, (),
             [("other signer", AUTHOR, SYSTEM32 + "signedmon.dll",
               "Monitors\\Signed Monitor\\Driver", CONTROL, "registered")],
             registry={real.CONTROL_PRINT + "Monitors\\Signed Monitor":
                       {"Driver": "signedmon.dll"}}),
    leftover("mimispool: a printer's CopyFiles module its author signed",
             {SYSTEM32 + "mimispool.dll": "author"}, (),
             [("other signer", AUTHOR, SYSTEM32 + "mimispool.dll",
               "Printers\\Kiwi Legit Printer\\CopyFiles\\Mango\\Module", SOFTWARE,
               "registered")],
             registry=printer("Kiwi Legit Printer", {}, ("Mango", {"Module": "mimispool.dll"}))),
]

class real_machines(e2e.output_assertions, unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.machines = {}
        for name, server in (("client", False), ("server", True)):
            machine = real.machine(f"real_{name}", server)
            cls.addClassCleanup(machine.prefix.close)
            cls.machines[name] = machine
        client = cls.machines["client"]
        author = client.authority.issue(AUTHOR)
        vendor = client.authority.issue(VENDOR)
        cls.studio = client.authority.issue(STUDIO)
        cls.contents = {
            "unsigned": lambda path: client.image(path),
            "microsoft": lambda path: client.sign(client.image(path), real.MICROSOFT),
            "author": lambda path: client.sign(client.image(path), author),
            "author x86": lambda path: client.sign(client.image(path, "w32x86"), author),
            "vendor": lambda path: client.sign(client.image(path), vendor),
            "stored package": lambda path: client.image(path),
            "mz": lambda path: b"MZ, the start of this note, makes no image\r\n"}

    def expected(self, machine, rows, product=True):
        """The table: the product's files in its driver folder, `rows`, and the
        summary, whose claimed count is every other file in the spooler's
        folders but the unclaimed rows'."""
        lines = [row("STATUS", "SIGNER", "FILENAME", "DETAIL", "DIRECTORY")]
        if product:
            lines += [row("signed", real.PUBLISHER, name, "", DRIVER_FOLDER) for name in (
                "pomnres_en.dll", "pomnres_de.dll", "pmomndrv.dll", "pmomnui.dll")]
        lines += [row(*found[:5]) for found in rows]
        unclaimed = [found[0] for found in rows if found[5] == "unclaimed"]
        claimed_rows = [found[0] for found in rows if found[5] == "claimed"]
        registered_rows = [found[0] for found in rows if found[5] == "registered"]
        settings = [found for found in rows if found[5] == "setting"]
        # Without its driver, the product's files are rows like any other; a
        # registered library in the spooler's folders is judged as registered.
        files = machine.spooler_files()
        others = len(files) + (0 if product else len(real.PRODUCT_FILES))
        paths = {f"{real.SPOOL}\\{path}".lower() for path in files}
        claimed = others - len(unclaimed) - sum(found[5] == "registered" and
                                                found[2].lower() in paths for found in rows)

        def with_rows(statuses):
            return f", {len(statuses)} with a row{counts(statuses)}" if statuses else ""
        driver = ("4 files: 4 signed" if product else "0 files: no file of the driver was found")
        summary = (f"{driver}; {len(unclaimed)} unclaimed{counts(unclaimed)}; "
                   f"{claimed} claimed{with_rows(claimed_rows)}; "
                   f"{machine.registered + len(registered_rows)} registered"
                   f"{with_rows(registered_rows)}; {len(settings)} exposed setting"
                   f"{'' if len(settings) == 1 else 's'}")
        return "".join(lines) + summary + "\r\n"

    def test_healthy_machines_show_the_driver_rows_alone(self):
        for name, machine in self.machines.items():
            with self.subTest(machine=name):
                table = self.expected(machine, [])
                self.assert_run(machine.prefix.run(SIGNATURES_EXE), table, "", 0)
                self.assert_run(machine.prefix.run(SIGNATURES_EXE, *SIGNERS), table, "", 0)

    def test_each_leftover_of_the_attacks_gets_its_row(self):
        client = self.machines["client"]
        for case in LEFTOVERS:
            with self.subTest(case.name):
                undo = [client.plant(path, self.contents[kind](path))
                        for path, kind in case.files.items()]
                client.add_drivers([(name, "x64", (driver, data, config, []))
                                    for name, driver, data, config in case.drivers])
                if case.registry:
                    client.prefix.import_keys(case.registry)
                try:
                    self.assert_run(client.prefix.run(SIGNATURES_EXE, *case.arguments),
                                    self.expected(client, case.rows), "", case.exit_code)
                finally:
                    if case.registry:
                        client.prefix.import_keys(
                            {key: RESTORED[key] for key in case.registry if key in RESTORED},
                            [key for key in case.registry if key not in RESTORED])
                    for name, *_ in case.drivers:
                        client.prefix.spooler("remove", name, "Windows x64")
                    for step in undo:
                        step()

    def test_a_registered_print_processor_is_still_verified(self):
        client = self.machines["client"]
        key = real.PROCESSORS + "Persistence"
        client.prefix.import_registry(key, {"Driver": "persist.dll"})
        path = "prtprocs\\x64\\persist.dll"
        try:
            # PipeMon's was signed with a game studio's stolen certificate.
            for status, signer, content in (
                    ("unsigned", "", client.image(path)),
                    ("other signer", STUDIO, client.sign(client.image(path), self.studio))):
                with self.subTest(status):
                    undo = client.plant(path, content)
                    try:
                        rows = [(status, signer, "persist.dll", "a registered print processor",
                                 PROCESSORS, "claimed")]
                        self.assert_run(client.prefix.run(SIGNATURES_EXE, *SIGNERS),
                                        self.expected(client, rows), "", 1)
                    finally:
                        undo()
        finally:
            client.prefix.run_helper("reg delete", "reg", "delete", key, "/f")

    def test_without_the_products_driver_its_folder_is_still_walked(self):
        client = self.machines["client"]
        client.prefix.spooler("remove", "Pelmar Omni Printer", "Windows x64")
        undo = client.plant("drivers\\x64\\3\\planted.dll", client.image("planted"))
        try:
            rows = [("unsigned", "", "x64\\3\\planted.dll", IMAGE, ROOT, "unclaimed")] + [
                    ("signed", real.PUBLISHER, f"x64\\3\\{name}", IMAGE, ROOT, "unclaimed")
                    for name in ("pmomndrv.dll", "pmomnui.dll", "pomnres_de.dll",
                                 "pomnres_en.dll")]
            table = self.expected(client, rows, product=False)
            self.assert_run(client.prefix.run(SIGNATURES_EXE), table, "", 1)
        finally:
            undo()
            client.add_drivers([record for record in client.records
                                if record[0] == "Pelmar Omni Printer"])


if __name__ == "__main__":
    unittest.main()
