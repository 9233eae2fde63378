"""collect.cmd, as the release ships it, run by Wine's cmd: the detection file
that tells Configuration Manager and Intune that a round is done appears only
after the utility succeeded and its report, named by machine and round,
reached the share, or where the spooler is disabled.

Wine's cmd runs the whole script, but as this machine's user on a folder for a
share: the share's rights (the machine's account, CREATOR OWNER, a re-joined
machine refused its old file), SYSTEM, a 32-bit cmd, and the retries of
Configuration Manager and Intune are not shown."""

import pathlib
import shutil
import subprocess
import unittest

import e2e_support as e2e

SCRIPT = pathlib.Path(__file__).resolve().parents[2] / "rollout" / "collect.cmd"
PROGRAMS = {name: pathlib.Path(e2e.os.environ[variable]) for name, variable in (
    ("pelmar_omni_info.exe", "PELMAR_EXE"),
    ("pelmar_omni_compare.exe", "PELMAR_COMPARE_EXE"),
    ("pelmar_omni_signatures.exe", "PELMAR_SIGNATURES_EXE"))}
TOOLS = "C:\\Program Files\\Pelmar Omni Info"


class collect(unittest.TestCase):
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        cls.prefix = e2e.wine_prefix("collect")
        cls.addClassCleanup(cls.prefix.close)
        cls.stages = {}
        # A utility that fails: the compare program, which wants arguments,
        # under the utility's name (exit code 2).
        for stage, utility in (("good", "pelmar_omni_info.exe"), ("failing", "pelmar_omni_compare.exe")):
            folder = cls.prefix.root / stage
            folder.mkdir()
            (folder / "collect.cmd").write_bytes(SCRIPT.read_bytes().replace(b"\n", b"\r\n"))
            for name, program in PROGRAMS.items():
                shutil.copy(PROGRAMS[utility] if name == "pelmar_omni_info.exe" else program,
                            folder / name)
            cls.stages[stage] = e2e.windows_path(folder / "collect.cmd")
        cls.share = cls.prefix.root / "share"
        name = e2e.checked(cls.prefix.run("cmd", "/c", "echo %COMPUTERNAME%"), "COMPUTERNAME")
        cls.report_name = name.stdout.decode().strip() + "-2026-12.txt"
        processor_folder = e2e.with_backslash(cls.prefix.processor_folder)
        if not cls.prefix.unix_path(processor_folder).is_dir():
            processor_folder = e2e.MISSING[2]
        cls.inventory = (e2e.BANNER + e2e.expected_table(
            e2e.MISSING | {2: processor_folder}, {})).encode()

    def test_the_detection_file_only_after_a_collected_report(self):
        share = e2e.windows_path(self.share)
        unreachable = e2e.windows_path(self.prefix.root / "no such share")
        # stage, arguments, exit code, report on the share, detection file
        cases = [
            ("good", ["2026-12", share], 0, True, True),
            ("good", ["2026-12"], 0, False, True),
            ("good", ["2026-12", unreachable], 1, False, False),
            ("failing", ["2026-12", share], 2, True, False),
            ("good", [], 2, False, False),
        ]
        tools = self.prefix.unix_path(TOOLS)
        for stage, arguments, exit_code, reported, detected in cases:
            with self.subTest(stage=stage, arguments=arguments):
                shutil.rmtree(tools, ignore_errors=True)
                shutil.rmtree(self.share, ignore_errors=True)
                self.share.mkdir()
                result = self.prefix.run("cmd", "/c", self.stages[stage], *arguments)
                self.assertEqual(result.returncode, exit_code, result.stderr)
                if not arguments:
                    self.assertIn(b"usage: collect.cmd ROUND", result.stderr)
                    self.assertFalse(tools.exists())
                    continue
                inventory = (tools / "inventory.txt").read_bytes()
                if stage == "good":
                    self.assertEqual(inventory.decode(), self.inventory.decode())
                self.assertEqual(sorted(path.name for path in self.share.iterdir()),
                                 [self.report_name] if reported else [])
                if reported:
                    self.assertEqual((self.share / self.report_name).read_bytes(), inventory)
                marker = tools / "collected-2026-12.txt"
                self.assertEqual(marker.exists(), detected)
                if detected:
                    self.assertEqual(marker.read_bytes(), inventory)

    def test_a_disabled_spooler_is_a_round_done_without_a_report(self):
        """As Microsoft advises on domain controllers: no report, exit code 0."""
        key = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Spooler"
        query = e2e.checked(self.prefix.run("reg", "query", key, "/v", "Start"), "reg query")

        def start_type(value):
            self.prefix.run_helper("reg add", "reg", "add", key, "/v", "Start", "/t",
                                   "REG_DWORD", "/d", value, "/f")
        self.addCleanup(start_type, str(int(query.stdout.decode().split()[-1], 16)))
        start_type("4")
        tools = self.prefix.unix_path(TOOLS)
        shutil.rmtree(tools, ignore_errors=True)
        shutil.rmtree(self.share, ignore_errors=True)
        self.share.mkdir()
        result = self.prefix.run("cmd", "/c", self.stages["good"], "2026-12",
                                 e2e.windows_path(self.share))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(list(self.share.iterdir()), [])
        self.assertFalse((tools / "inventory.txt").exists())
        self.assertEqual((tools / "collected-2026-12.txt").read_bytes(),
                         b"The Print Spooler is disabled: nothing to collect.\r\n")


if __name__ == "__main__":
    unittest.main()
