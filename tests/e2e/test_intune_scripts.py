"""detect.ps1, discover.ps1 and remediate.ps1, as the release ships them, run
by PowerShell 7 against the signature check run under Wine at test time, on a
machine with the driver installed and its files signed by a throw-away "Pelmar".
The program folder is a folder of this machine, named by ProgramW6432 as
Windows names the 64-bit Program Files; its pelmar_omni_signatures.exe is a
stand-in that starts the real one in the prefix with the arguments the script
gave, and hands back its output and exit code.

What PowerShell 7 on Linux cannot show of Windows PowerShell 5.1 under Intune:
the .NET Framework beneath 5.1 (the scripts use nothing newer, but this is
another build); the console's code page, which is UTF-8 here, so that the
scripts' own UTF-8 decoding is run but its need is not shown; a 32-bit
process under WOW64, with System32 redirected and sysnative, of which only the
environment variables are set here; the SYSTEM account, the execution policy
(PowerShell on Linux has none), and how Intune's agent reads the exit code and
output and judges the discovery script's values against the rules file.
pnputil, the printer cmdlets and HKEY_USERS do not exist here: the remediation
runs up to its first use of them."""

import json
import os
import pathlib
import shlex
import unittest

import e2e_support as e2e
import test_signing as signing

PWSH = os.environ["PELMAR_PWSH"]
SIGNATURES_EXE = pathlib.Path(os.environ["PELMAR_SIGNATURES_EXE"])
ROLLOUT = pathlib.Path(__file__).resolve().parents[2] / "rollout"
PROCESSORS = ("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\"
              "Windows x64\\Print Processors\\Pelmar Processor")
DRIVER_FILES = ["pmomndrv.dll", "pomnres_en.dll", "pmomnui.dll", "pomnres_de.dll"]
HOST_32 = 'this ran in 32-bit PowerShell: set "Run script in 64-bit PowerShell" to Yes'
REPAIR = ("run the product's repair for Program Files\\Pelmar\\printer, as Pelmar's "
          "installation guide gives it, then check again")
HEALTHY = {"Host64Bit": True, "ExitCode": 0, "DriverFiles": 4, "Altered": 0, "Replaced": 0,
           "Unsigned": 0}


class intune_scripts(unittest.TestCase):
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        cls.prefix = prefix = e2e.wine_prefix("intune_scripts")
        cls.addClassCleanup(prefix.close)
        work = prefix.root / "made"
        publisher = signing.certificate_authority(work / "ca").issue("Pelmar")
        (work / "plain.dll").write_bytes(e2e.build_library(work, (1, 2, 0, 7)).content)
        cls.unsigned = (work / "plain.dll").read_bytes()
        cls.signed = signing.sign_pe(publisher, work / "plain.dll", work / "signed.dll")
        staged = "C:\\pelmar_setup"
        prefix.lay_out(staged, {name: e2e.file_fixture(cls.signed) for name in DRIVER_FILES})
        paths = [f"{staged}\\{name}" for name in DRIVER_FILES]
        prefix.spooler("add", e2e.DRIVER_NAME, "-", *paths[:3], ",".join(paths[3:]))
        cls.driver_folder = e2e.with_backslash(prefix.driver_folder) + "3\\"
        cls.processor_folder = e2e.with_backslash(prefix.processor_folder)
        prefix.lay_out(cls.driver_folder,
                       {name: e2e.file_fixture(cls.signed) for name in DRIVER_FILES})
        prefix.unix_path(cls.driver_folder, "wineps.drv").unlink(missing_ok=True)
        prefix.import_registry(PROCESSORS, {"Driver": "pelproc.dll"})
        cls.program_files = prefix.root / "Program Files"
        cls.stand_in()

    @classmethod
    def stand_in(cls, held=None):
        """The check's stand-in in the program folder; with `held`, the real
        check runs while that file of the prefix is held open without sharing.
        Its output goes through files: a Wine process that outlives the check
        would keep a pipe to PowerShell open."""
        tools = cls.program_files / "Pelmar Omni Info"
        tools.mkdir(parents=True, exist_ok=True)
        command = ([e2e.WINE_RUN, str(e2e.FILE_HOLDER), held, e2e.windows_path(SIGNATURES_EXE)]
                   if held else [e2e.WINE_RUN, str(SIGNATURES_EXE)])
        script = tools / "pelmar_omni_signatures.exe"
        script.write_text(
            "#!/bin/sh\n"
            f"export WINEPREFIX={shlex.quote(str(cls.prefix.path))}\n"
            'output=$(mktemp) errors=$(mktemp)\n'
            f'{shlex.join(command)} "$@" >"$output" 2>"$errors" </dev/null\n'
            'code=$?\n'
            'cat "$output"; cat "$errors" >&2; rm -f "$output" "$errors"\n'
            'exit $code\n')
        script.chmod(0o755)

    def run_script(self, name, program_files=None, wow64=False):
        """A script run as Intune runs it, in a 64-bit host or, with `wow64`,
        with the environment that a 32-bit PowerShell gets on 64-bit Windows."""
        native = str(program_files or self.program_files)
        env = {key: value for key, value in os.environ.items()
               if not key.startswith("PROCESSOR_ARCHITE")}
        env |= {"ProgramW6432": native, "ProgramFiles": native,
                "PROCESSOR_ARCHITECTURE": "AMD64", "POWERSHELL_TELEMETRY_OPTOUT": "1",
                "POWERSHELL_UPDATECHECK": "Off"}
        if wow64:
            env |= {"ProgramFiles": native + " (x86)", "PROCESSOR_ARCHITECTURE": "x86",
                    "PROCESSOR_ARCHITEW6432": "AMD64"}
        result = e2e.run_captured([PWSH, "-NoProfile", "-NonInteractive", "-File",
                                   str(ROLLOUT / name)], env=env, cwd=self.prefix.root)
        self.assertEqual(result.stderr.decode(), "")
        return result.stdout.decode().splitlines(), result.returncode

    def assert_scripts(self, detect, remediate, discover, **options):
        """Each script's lines and exit code; discover: its values."""
        with self.subTest(script="detect.ps1"):
            self.assertEqual(self.run_script("detect.ps1", **options), detect)
        with self.subTest(script="remediate.ps1"):
            self.assertEqual(self.run_script("remediate.ps1", **options), remediate)
        with self.subTest(script="discover.ps1"):
            lines, code = self.run_script("discover.ps1", **options)
            self.assertEqual((json.loads("".join(lines)), code), (discover, 0))

    def change(self, folder, name, content):
        """Writes a file of the prefix until the test ends."""
        path = self.prefix.unix_path(folder, name)
        before = path.read_bytes() if path.exists() else None
        if before is None:
            self.addCleanup(path.unlink)
        else:
            self.addCleanup(path.write_bytes, before)
        path.write_bytes(content)

    def test_a_healthy_machine_is_left_alone(self):
        """Not shown: Intune taking exit code 0 as "without issues"."""
        self.assert_scripts(
            (["no finding: 4 files of the driver, each signed or catalogued"], 0),
            (["nothing to mend"], 0), HEALTHY)

    def test_an_altered_driver_file_is_to_mend_and_the_remediation_goes_as_far_as_pnputil(self):
        """Not shown: pnputil, the printer cmdlets and the spooler writing its
        copy anew; nor the console's code page that the UTF-8 decoding is for."""
        altered = bytearray(self.signed)
        altered[0x400] ^= 0x01
        self.change(self.driver_folder, "pmomnui.dll", bytes(altered))
        mend = (f"to mend: {self.driver_folder}pmomnui.dll (altered: content differs from what "
                "was signed. Error code: 0x80096010.)")
        lines, code = self.run_script("remediate.ps1")
        # On Windows, pnputil would put the package into the driver store here.
        self.assertEqual(code, 1)
        self.assertTrue(lines[0].startswith(
            f"{mend}; reinstalling {e2e.DRIVER_NAME} failed: The term '\\System32\\pnputil.exe' "
            "is not recognized"), lines)
        self.assertTrue(lines[-1].endswith(f"; needs a person: {REPAIR}"), lines)
        self.assertEqual(self.run_script("detect.ps1"), ([mend], 1))
        lines, code = self.run_script("discover.ps1")
        self.assertEqual(json.loads("".join(lines)), HEALTHY | {"ExitCode": 1, "Altered": 1})

    def test_a_compromise_is_never_to_mend(self):
        """A registered print processor's unsigned library (claimed); an
        unsigned image that nothing names (unclaimed) beside an altered driver
        file. The rules judge tampering of the driver's files only. Not shown:
        how Intune shows the lines, of which it keeps 2,048 characters."""
        altered = bytearray(self.signed)
        altered[0x400] ^= 0x01
        cases = [
            ("claimed", [(self.processor_folder, "pelproc.dll", self.unsigned)],
             f"{self.processor_folder}pelproc.dll (unsigned: a registered print processor)", [],
             {}),
            ("unclaimed", [(self.driver_folder, "payload.dll", self.unsigned),
                           (self.driver_folder, "pmomndrv.dll", bytes(altered))],
             f"{self.driver_folder}payload.dll (unsigned: named by no installed driver; an "
             "executable image)",
             [f"to mend: {self.driver_folder}pmomndrv.dll (altered: content differs from what "
              "was signed. Error code: 0x80096010.)"], {"Altered": 1}),
        ]
        for kind, files, row, mend, counts in cases:
            with self.subTest(kind=kind):
                for folder, name, content in files:
                    self.change(folder, name, content)
                self.assert_scripts(
                    ([f"possible compromise: treat the machine as compromised, repair "
                      f"nothing: {row}"] + mend, 1),
                    ([f"possible compromise: nothing repaired; treat the machine as "
                      f"compromised: {row}"], 1),
                    HEALTHY | {"ExitCode": 1} | counts)
                self.doCleanups()

    def test_an_unreadable_file_needs_a_person(self):
        """Held open without sharing under Wine, as a virus scanner may hold it.
        Not shown: Windows' own sharing rules, and SYSTEM's rights."""
        held = self.driver_folder + "pmomnui.dll"
        self.stand_in(held=held)
        self.addCleanup(self.stand_in)
        person = f"needs a person: {held} (unreadable: cannot be read. Error code: 0x00000020.)"
        self.assert_scripts(([person], 1),
                            ([f"nothing to mend, nothing repaired; {person}"], 1),
                            HEALTHY | {"ExitCode": 2})

    def test_a_missing_program_needs_a_person_and_leaves_a_device_without_it_compliant(self):
        """Not shown: the policy's assignment, which keeps devices without the
        product out."""
        empty = self.prefix.root / "empty"
        empty.mkdir(exist_ok=True)
        person = f"needs a person: {empty}\\Pelmar Omni Info\\pelmar_omni_signatures.exe is missing"
        self.assert_scripts(([person], 1), ([f"nothing to mend, nothing repaired; {person}"], 1),
                            HEALTHY | {"ExitCode": -1, "DriverFiles": 0}, program_files=empty)

    def test_a_32_bit_host_finds_the_program_and_is_never_compliant(self):
        """ProgramFiles names an empty Program Files (x86), as under WOW64.
        Not shown: a 32-bit process; here [Environment]::Is64BitProcess is
        true, System32 is not redirected and there is no sysnative."""
        person = f"needs a person: {HOST_32}"
        self.assert_scripts(([person], 1), ([f"nothing to mend, nothing repaired; {person}"], 1),
                            HEALTHY | {"Host64Bit": False}, wow64=True)


class powershell_scripts(unittest.TestCase):
    def test_every_script_parses(self):
        """collect-remote.ps1 too, which needs WinRM and is not run here."""
        names = sorted(path.name for path in ROLLOUT.glob("*.ps1"))
        self.assertIn("collect-remote.ps1", names)
        files = ", ".join(f"'{ROLLOUT / name}'" for name in names)
        check = (f"foreach ($file in {files}) {{ $errors = $null; $null = [Management.Automation."
                 "Language.Parser]::ParseFile($file, [ref]$null, [ref]$errors); "
                 "$errors | ForEach-Object { \"${file}: $_\" } }")
        result = e2e.run_captured([PWSH, "-NoProfile", "-NonInteractive", "-Command", check])
        self.assertEqual((result.stdout.decode(), result.stderr.decode(), result.returncode),
                         ("", "", 0))


if __name__ == "__main__":
    unittest.main()
