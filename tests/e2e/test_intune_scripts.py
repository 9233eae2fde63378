"""detect.ps1, discover.ps1 and remediate.ps1, as the release ships them, run
by PowerShell 7 under Pester (intune_scripts.Tests.ps1) against the signature
check run under Wine at test time, on a machine made here: the driver
installed, its files signed by a throw-away "Pelmar". The program folder is a
folder of this machine, named by ProgramW6432 as Windows names the 64-bit
Program Files; its pelmar_omni_signatures.exe is a stand-in that starts the
real one in the prefix with the arguments the script gave, and hands back its
output and exit code.

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

import os
import pathlib
import shlex
import subprocess
import unittest

import e2e_support as e2e
import test_signing as signing

PWSH = os.environ["PELMAR_PWSH"]
PESTER = os.environ["PELMAR_PESTER"]
SIGNATURES_EXE = pathlib.Path(os.environ["PELMAR_SIGNATURES_EXE"])
TESTS = pathlib.Path(__file__).resolve().with_name("intune_scripts.Tests.ps1")
PROCESSORS = ("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\"
              "Windows x64\\Print Processors\\Pelmar Processor")
DRIVER_FILES = ["pmomndrv.dll", "pomnres_en.dll", "pmomnui.dll", "pomnres_de.dll"]
# Some 20 runs of the check under Wine, each started by a PowerShell of its own.
PESTER_TIMEOUT = 540


class intune_scripts(unittest.TestCase):
    def test_the_scripts_under_pester(self):
        prefix = e2e.wine_prefix("intune_scripts")
        self.addCleanup(prefix.close)
        work = prefix.root / "made"
        publisher = signing.certificate_authority(work / "ca").issue("Pelmar")
        unsigned = work / "plain.dll"
        unsigned.write_bytes(e2e.build_library(work, (1, 2, 0, 7)).content)
        signed = signing.sign_pe(publisher, unsigned, work / "signed.dll")
        staged = "C:\\pelmar_setup"
        prefix.lay_out(staged, {name: e2e.file_fixture(signed) for name in DRIVER_FILES})
        paths = [f"{staged}\\{name}" for name in DRIVER_FILES]
        prefix.spooler("add", e2e.DRIVER_NAME, "-", *paths[:3], ",".join(paths[3:]))
        driver_folder = e2e.with_backslash(prefix.driver_folder) + "3\\"
        processor_folder = e2e.with_backslash(prefix.processor_folder)
        prefix.lay_out(driver_folder, {name: e2e.file_fixture(signed) for name in DRIVER_FILES})
        prefix.unix_path(driver_folder, "wineps.drv").unlink(missing_ok=True)
        prefix.import_registry(PROCESSORS, {"Driver": "pelproc.dll"})
        held = driver_folder + "pmomnui.dll"
        program_files = {"plain": [e2e.WINE_RUN, str(SIGNATURES_EXE)],
                         "held": [e2e.WINE_RUN, str(e2e.FILE_HOLDER), held,
                                  e2e.windows_path(SIGNATURES_EXE)]}
        for name, command in program_files.items():
            program_files[name] = self.stand_in(prefix, prefix.root / name / "Program Files",
                                                command)
        env = {key: value for key, value in os.environ.items()
               if not key.startswith("PROCESSOR_ARCHITE")} | {
            "POWERSHELL_TELEMETRY_OPTOUT": "1", "POWERSHELL_UPDATECHECK": "Off",
            "PELMAR_PROGRAM_FILES": program_files["plain"],
            "PELMAR_HELD_PROGRAM_FILES": program_files["held"], "PELMAR_HELD": held,
            "PELMAR_DRIVER_FOLDER": driver_folder,
            "PELMAR_DRIVER_FOLDER_PATH": str(prefix.unix_path(driver_folder)),
            "PELMAR_PROCESSOR_FOLDER": processor_folder,
            "PELMAR_PROCESSOR_FOLDER_PATH": str(prefix.unix_path(processor_folder)),
            "PELMAR_UNSIGNED": str(unsigned)}
        run = (f"Import-Module {quoted(PESTER)}; $configuration = New-PesterConfiguration; "
               f"$configuration.Run.Path = {quoted(str(TESTS))}; $configuration.Run.PassThru = "
               "$true; $configuration.Output.Verbosity = 'Detailed'; "
               "$configuration.Output.RenderMode = 'Plaintext'; "
               "$result = Invoke-Pester -Configuration $configuration; "
               "exit ($result.FailedCount + $result.FailedBlocksCount + $result.FailedContainersCount)")
        result = subprocess.run([PWSH, "-NoProfile", "-NonInteractive", "-Command", run], env=env,
                                cwd=prefix.root, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, timeout=PESTER_TIMEOUT)
        output = result.stdout.decode("utf-8", "backslashreplace")
        print(output)
        self.assertEqual(result.returncode, 0, output)
        self.assertRegex(output, r"Tests Passed: [1-9]\d*, Failed: 0")

    @staticmethod
    def stand_in(prefix, program_files, command):
        """A program folder whose check is a stand-in that runs `command` in
        the prefix, its output through files: a Wine process that outlives the
        check would keep a pipe to PowerShell open."""
        tools = program_files / "Pelmar Omni Info"
        tools.mkdir(parents=True)
        script = tools / "pelmar_omni_signatures.exe"
        script.write_text(
            "#!/bin/sh\n"
            f"export WINEPREFIX={shlex.quote(str(prefix.path))}\n"
            'output=$(mktemp) errors=$(mktemp)\n'
            f'{shlex.join(command)} "$@" >"$output" 2>"$errors" </dev/null\n'
            'code=$?\n'
            'cat "$output"; cat "$errors" >&2; rm -f "$output" "$errors"\n'
            'exit $code\n')
        script.chmod(0o755)
        return str(program_files)


def quoted(text):
    """A PowerShell string literal."""
    return "'" + text.replace("'", "''") + "'"


if __name__ == "__main__":
    unittest.main()
