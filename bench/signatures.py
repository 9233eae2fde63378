#!/usr/bin/env python3
"""Measures pelmar_omni_signatures beside the utility on one realistic,
signed installation.

Run through bench/signatures.sh, which installs what is missing first. The
installation is the inventory benchmark's 20 files (bench.py: 23.5 MiB, the
DLLs real PE images with version resources), laid out as a driver install
leaves them: the driver's files installed through the spooler into the
printer driver folder, the print processor in its folder, the package's .inf
and .cat under Program Files. Every PE file carries an Authenticode signature
(osslsigncode, a throw-away CA made for the run); the package's catalog lists
every file, lies beside the .inf as pelmaromn.cat and is added to the
system's catalog store, which is how the files in the driver folder are
vouched for.

Then the same installation on a print server: a copy of the prefix with
300 more drivers installed through the spooler, whose 5,000 files the spooler
copied into the printer driver folder, 900 of them signed images. The check
claims each by the driver that names it and verifies every image; beside it,
WinVerifyTrust alone over the same images and the installation's signed files
(reference_verify.exe): the check may cost at most 1.3 times that, the goal
is 1.1 times. The same server without those files (a third copy, the files
deleted) and the installation alone run beside them, for what the files and
the 300 drivers cost. The four take turns.

Beside the two programs runs a yardstick, reference_verify.exe: WinVerifyTrust
on each signed file, with the check's settings, and nothing else. It is the
least the check can do for those files, so it shows how much of the check's
time is the platform's verification.

How each figure is taken:
- Time: wall-clock from starting `wine64 <program>` to reaping it, with
  Wine's server and services already running and the files in the page cache
  (one untimed run of each first). The three take turns, in rotating order,
  on the same installation; the fastest and the median of the repetitions are
  printed, and beside them paired ratios (the median of the ratios of two
  runs taken side by side in one repetition), which a load that changes
  during the run moves least, and the CPU time (user + system).
- CPU time of the wineserver over each run, beside the process's own: every
  file opened, every registry read is a round trip to it (as in compare.py).
- Peak working set: VmHWM of the Wine process (GNU time, as in bench.py).
- Each run is checked: the utility's 78 rows, and the signature check's exit
  code 0 with a last line that counts every file the utility found, all of
  them signed or catalogued, no unclaimed file, and every file of the other
  drivers (and Wine's colour profile) claimed, none with a row. The check runs
  with --signer naming the publisher, who signed the server's drivers too.
"""

import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

# The inventory benchmark's Wine, priority, measuring and installation, shared.
from bench import INSTALLATION, RAISED_PRIORITY, WINE64, WINESERVER, Bench, log, run_checked
from compare import measure, windows_path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "support"))
import test_signing as signing  # noqa: E402
from wine_registrations import WINE_REGISTRATIONS  # noqa: E402

REPETITIONS = 11
DRIVER_NAME = "Pelmar Omni Printer"
PUBLISHER = "Pelmar Bench Publisher"
VENDOR_FOLDER = "C:\\Program Files\\Pelmar\\printer"
PACKAGE_FILES = ("pelmaromn.inf", "pelmaromn.cat")
PROCESSOR_FILES = ("pmproc.dll",)
# The spooler's order: main library, data file, configuration library, then
# the dependent files.
DRIVER_FILES = ["pmomndrv.dll", "pelmarxpsdrv-pipelineconfig.xml", "pmomnui.dll"] + [
    name for name, _, _ in INSTALLATION
    if name not in ("pmomndrv.dll", "pelmarxpsdrv-pipelineconfig.xml", "pmomnui.dll")
    + PACKAGE_FILES + PROCESSOR_FILES]
SUMMARY = re.compile(
    r"(\d+) files?: (.*); 0 unclaimed; (\d+) claimed; 0 registered; 0 exposed settings")
# The print server: drivers installed through the spooler, and their files.
SERVER_DRIVERS = 300
SERVER_FILES = 5000
# Of each driver's files, these are images: its driver, configuration and
# first dependent library.
SERVER_IMAGE_FILES = (0, 2, 3)
# Wine's own colour profile, which the check claims.
WINE_OTHERS = 1


class wine_prefix:
    """This benchmark's prefix, as test_signing's helpers want one."""

    def __init__(self, path, scratch):
        self.path = path
        self.scratch = scratch
        self.env = dict(os.environ, WINEPREFIX=str(path), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")

    def run_helper(self, what, program, *arguments):
        # Output through files: a Wine service started by the program would
        # keep a pipe open after it ends.
        with open(self.scratch / "helper.out", "w+b") as out, \
                open(self.scratch / "helper.err", "w+b") as err:
            result = subprocess.run([WINE64, program, *arguments], env=self.env,
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=err)
            out.seek(0)
            err.seek(0)
            result.stdout, result.stderr = out.read(), err.read()
        if result.returncode != 0:
            raise SystemExit(f"{what} failed (exit {result.returncode}): {result.stderr!r}")
        return result

    def unix_path(self, windows_folder, *names):
        drive, _, rest = windows_folder.partition(":\\")
        assert drive.upper() == "C", windows_folder
        return self.path.joinpath("drive_c", *[part for part in rest.split("\\") if part], *names)


class SignaturesBench:
    def __init__(self, args):
        self.repetitions = 3 if args.quick else REPETITIONS
        self.inventory = Bench(argparse.Namespace(build_dir=args.build_dir, quick=False,
                                                  no_sparse=True))
        self.build = self.inventory.build
        self.data = self.build / "signatures-data"
        self.scratch = self.build / "signatures-scratch"
        self.prefix = wine_prefix(self.build / "signatures-prefix", self.scratch)

    def build_programs(self):
        self.inventory.build_programs(["version_stub", "signature_tool", "spooler_tool",
                                       "reference_verify"])
        run_checked(["cmake", "--build", self.inventory.program_build, "--target",
                     "pelmar_omni_signatures", "-j2"], stdout=subprocess.DEVNULL)
        self.utility = self.inventory.program
        self.signatures = (self.inventory.program_build / "src" / "signatures" /
                           "pelmar_omni_signatures.exe")
        tools = self.inventory.tools_build
        self.spooler_tool = tools / "spooler_tool.exe"
        self.reference = tools / "reference_verify.exe"
        os.environ["PELMAR_SIGNATURE_TOOL"] = str(tools / "signature_tool.exe")

    def make_prefix(self):
        env = self.prefix.env
        if not (self.prefix.path / "system.reg").exists():
            log(f"creating the Wine prefix {self.prefix.path} (once)")
            self.prefix.path.mkdir(parents=True, exist_ok=True)
            subprocess.run([WINE64, "wineboot", "-i"], env=env, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            subprocess.run([WINESERVER, "-w"], env=env, check=True)
        # One server for the whole run; it leaves a minute after the last process.
        subprocess.run([WINESERVER, "-p60"], env=env, stderr=subprocess.DEVNULL)
        self.scratch.mkdir(parents=True, exist_ok=True)

    def install(self, installation):
        """Lays the installation out as a driver install does, each file
        signed or catalogued; returns how many files the programs will find."""
        prefix = self.prefix
        driver_folder, processor_folder = prefix.run_helper(
            "spooler reset", self.spooler_tool, "reset", "dirs").stdout.decode().split()
        # Wine's own driver's file, left behind by the reset, and its unsigned
        # stand-ins for the print processors, which a real machine has
        # signed or not at all: no file should be unclaimed or in doubt.
        prefix.unix_path(driver_folder, "3", "wineps.drv").unlink(missing_ok=True)
        for name in ("winprint.dll", "wineps.drv"):
            prefix.unix_path(processor_folder, name).unlink(missing_ok=True)
        # And their registrations, which the check would verify: as the tests'
        # prefixes have them (absent already from the second run on).
        for key in WINE_REGISTRATIONS:
            subprocess.run([WINE64, "reg", "delete", "HKEY_LOCAL_MACHINE\\" + key, "/f"],
                           env=prefix.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shutil.rmtree(prefix.unix_path("C:\\Program Files\\Pelmar"), ignore_errors=True)
        prefix.unix_path(processor_folder, "pmproc.dll").unlink(missing_ok=True)
        for stale in prefix.unix_path("C:\\windows\\system32\\catroot").glob("*/*.cat"):
            stale.unlink()

        shutil.rmtree(self.data, ignore_errors=True)
        staging = self.data / "staging"
        staging.mkdir(parents=True)
        log("signing the installation's PE files")
        # The CA's keys live only as long as this run needs them.
        with tempfile.TemporaryDirectory(dir=self.build) as keys:
            publisher = signing.certificate_authority(keys).issue(PUBLISHER)
            for name, _, versioned in INSTALLATION:
                if name == "pelmaromn.cat":
                    continue
                if versioned:
                    signing.sign_pe(publisher, installation / name, staging / name)
                else:
                    shutil.copyfile(installation / name, staging / name)
            log("computing the files' catalog hashes and writing the catalog")
            tags = {name: signing.file_tags(prefix, windows_path(staging / name))["SHA1"]
                    for name in sorted(os.listdir(staging))}
            members = [signing.member(tag, name) for name, tag in tags.items()]
            vendor = prefix.unix_path(VENDOR_FOLDER)
            vendor.mkdir(parents=True)
            # SHA-1: Wine 8 crashes looking up a hash while a catalog signed
            # with SHA-256 is in its store.
            signing.build_catalog(publisher, members, vendor / "pelmaromn.cat", digest="sha1")
        signing.add_catalog(prefix, f"{VENDOR_FOLDER}\\pelmaromn.cat")

        paths = [windows_path(staging / name) for name in DRIVER_FILES]
        prefix.run_helper("spooler add", self.spooler_tool, "add", DRIVER_NAME, "-", *paths[:3],
                          ",".join(paths[3:]))
        shutil.copyfile(staging / "pelmaromn.inf", vendor / "pelmaromn.inf")
        shutil.copyfile(staging / "pmproc.dll", prefix.unix_path(processor_folder, "pmproc.dll"))
        return len(DRIVER_FILES) + len(PACKAGE_FILES) + len(PROCESSOR_FILES)

    def run_utility(self, found):
        sample = measure([WINE64, self.utility], self.prefix.env, self.scratch)
        rows = Bench.table_rows(sample.stdout)
        present = [row for row in rows if row["hash"] != "--"]
        if sample.exit_code != 0 or len(rows) != 78 or len(present) != found:
            raise SystemExit(f"the utility: exit {sample.exit_code}, {len(rows)} rows, "
                             f"{len(present)} files found, {found} expected: {sample.stderr}")
        return sample

    def copy_prefix(self, source, name):
        """A copy of a prefix, made while no server runs in it; afterwards
        both have one."""
        for command in ("-k", "-w"):
            subprocess.run([WINESERVER, command], env=source.env, stderr=subprocess.DEVNULL)
        copy = wine_prefix(self.build / name, self.scratch)
        shutil.rmtree(copy.path, ignore_errors=True)
        shutil.copytree(source.path, copy.path, symlinks=True)
        for prefix in (source, copy):
            subprocess.run([WINESERVER, "-p60"], env=prefix.env, stderr=subprocess.DEVNULL)
        return copy

    def make_print_servers(self):
        """Two copies of the prefix with SERVER_DRIVERS more drivers installed
        through the spooler, which copies their SERVER_FILES files into the
        printer driver folder; in the second, those files are deleted."""
        server = self.copy_prefix(self.prefix, "signatures-server-prefix")
        log(f"installing {SERVER_DRIVERS} drivers with {SERVER_FILES} files through the spooler")
        staging = self.data / "server"
        staging.mkdir()
        # One signed image, the inventory's 73 KiB pmomnui.dll, for every
        # image: each is verified in full whatever its bytes.
        image = (self.data / "staging" / "pmomnui.dll").read_bytes()
        commands = []
        self.server_images = []
        for driver in range(SERVER_DRIVERS):
            count = SERVER_FILES // SERVER_DRIVERS + (driver < SERVER_FILES % SERVER_DRIVERS)
            paths = []
            for file in range(count):
                name = f"srv{driver:03}_{file:02}.{'gpd' if file == 1 else 'dll'}"
                (staging / name).write_bytes(image if file in SERVER_IMAGE_FILES
                                             else name.encode() * 64)
                if file in SERVER_IMAGE_FILES:
                    self.server_images.append(name)
                paths.append(windows_path(staging / name))
            commands.append(["add", f"Server Printer {driver:03}", "-", *paths[:3],
                             ",".join(paths[3:])])
        # Within the 32,767 characters of a command line.
        for first in range(0, len(commands), 20):
            server.run_helper("spooler add", self.spooler_tool,
                              *[part for command in commands[first:first + 20] for part in command])
        bare = self.copy_prefix(server, "signatures-bare-server-prefix")
        driver_folder = server.run_helper("spooler dirs", self.spooler_tool,
                                          "dirs").stdout.decode().split()[0]
        self.server_folder = driver_folder
        files = list(bare.unix_path(driver_folder, "3").glob("srv*"))
        if len(files) != SERVER_FILES:
            raise SystemExit(f"{len(files)} of the server's {SERVER_FILES} files in its "
                             "driver folder")
        for file in files:
            file.unlink()
        return server, bare

    @staticmethod
    def keep_server(prefix):
        """A wineserver for the prefix, whose CPU time each run reads: one
        left idle for its minute of grace has ended."""
        subprocess.run([WINESERVER, "-p60"], env=prefix.env, stderr=subprocess.DEVNULL)

    def run_signatures(self, found, prefix=None, other_files=WINE_OTHERS):
        self.keep_server(prefix or self.prefix)
        # The server's drivers are signed by the bench's publisher and listed
        # in no catalog of the system's, as a legacy driver copied without its
        # package: their publisher named, as the README says for those.
        sample = measure([WINE64, self.signatures, "--signer", PUBLISHER],
                         (prefix or self.prefix).env, self.scratch)
        lines = sample.stdout.rstrip().splitlines()
        summary = SUMMARY.fullmatch(lines[-1].strip()) if lines else None
        counted = summary and int(summary.group(1)) == found and all(
            re.fullmatch(r"\d+ (signed|catalog)", part) for part in summary.group(2).split(", ")
        ) and int(summary.group(3)) == other_files
        if sample.exit_code != 0 or not counted:
            raise SystemExit(f"the signature check: exit {sample.exit_code}, last line "
                             f"{lines[-1] if lines else '(none)'!r}, {found} files expected: "
                             f"{sample.stderr}\n{sample.stdout}")
        self.summary_line = lines[-1].strip()
        return sample

    def count_hashes(self, name, prefix):
        """One untimed run of the check with Wine's wintrust tracing on: how
        many catalog hashes it computed (Wine 8 computes SHA-1 only) and how
        many verifications it asked for, beside the files its summary counts
        (the driver's and the claimed ones)."""
        self.keep_server(prefix)
        env = dict(prefix.env, WINEDEBUG="trace+wintrust")
        completed = subprocess.run([WINE64, self.signatures, "--signer", PUBLISHER], env=env,
                                   stdin=subprocess.DEVNULL, capture_output=True)
        trace = completed.stderr.decode("utf-8", "replace")
        lines = completed.stdout.decode("utf-8", "replace").rstrip().splitlines()
        summary = SUMMARY.fullmatch(lines[-1].strip()) if lines else None
        files = int(summary.group(1)) + int(summary.group(3)) if summary else "?"
        hashes = len(re.findall(r":CryptCATAdminCalcHashFromFileHandle2? ", trace))
        # Wine traces each call's arguments, then what it returns; each
        # verification's state is closed by a call of its own.
        verifications = len(re.findall(r":WinVerifyTrust \(", trace)) // 2
        print(f"{name}: {hashes} catalog hashes computed and {verifications} verifications by "
              f"WinVerifyTrust for {files} files", flush=True)

    def run_reference(self, signed, prefix=None):
        self.keep_server(prefix or self.prefix)
        sample = measure([WINE64, self.reference, *signed], (prefix or self.prefix).env,
                         self.scratch)
        if sample.exit_code != 0:
            raise SystemExit(f"reference_verify: exit {sample.exit_code}: {sample.stderr}")
        return sample

    def run(self):
        started = time.perf_counter()
        self.build_programs()
        self.make_prefix()
        installation = self.inventory.make_installation()
        found = self.install(installation)
        # Untimed: the page cache and Wine's own start-up. The utility's table
        # says where each signed file lies.
        rows = Bench.table_rows(self.run_utility(found).stdout)
        signed = [row["directory"].rstrip("\\") + "\\" + row["name"] for row in rows
                  if row["hash"] != "--" and row["name"].endswith((".dll", ".cat"))]
        contenders = [("utility", lambda: self.run_utility(found)),
                      ("signatures", lambda: self.run_signatures(found)),
                      ("reference", lambda: self.run_reference(signed))]
        for _, run in contenders[1:]:
            run()
        load_before = os.getloadavg()[0]
        samples = {name: [] for name, _ in contenders}
        for repetition in range(self.repetitions):
            turn = repetition % len(contenders)
            for name, run in contenders[turn:] + contenders[:turn]:
                samples[name].append(run())
        self.signed_files = len(signed)
        self.report(found, samples, (load_before, os.getloadavg()[0]),
                    time.perf_counter() - started)
        self.count_hashes("installation", self.prefix)

        started = time.perf_counter()
        server, bare = self.make_print_servers()
        images = self.scratch / "server-images.txt"
        images.write_text("".join(path + "\n" for path in signed + [
            f"{self.server_folder}\\3\\{name}" for name in self.server_images]))
        contenders = [("installation", lambda: self.run_signatures(found)),
                      ("print server", lambda: self.run_signatures(
                          found, server, SERVER_FILES + WINE_OTHERS)),
                      ("bare server", lambda: self.run_signatures(found, bare)),
                      ("reference", lambda: self.run_reference(
                          ["@" + windows_path(images)], server))]
        for _, run in contenders:
            run()
        samples = {name: [] for name, _ in contenders}
        for repetition in range(self.repetitions):
            turn = repetition % len(contenders)
            for name, run in contenders[turn:] + contenders[:turn]:
                samples[name].append(run())
        self.report_print_server(samples, time.perf_counter() - started)
        self.count_hashes("print server", server)
        self.measure_client()

    def measure_client(self):
        """The tests' healthy Windows 11 client (tests/support/real_machine.py),
        built from a frozen copy of this prefix: the signature check's whole
        run beside the utility's, in turns."""
        template = self.build / "signatures-template-prefix"
        for command in ("-k", "-w"):
            subprocess.run([WINESERVER, command], env=self.prefix.env, stderr=subprocess.DEVNULL)
        shutil.rmtree(template, ignore_errors=True)
        shutil.copytree(self.prefix.path, template, symlinks=True)
        tools = self.inventory.tools_build
        os.environ.update(
            PELMAR_EXE=str(self.utility), PELMAR_SPOOLER_TOOL=str(self.spooler_tool),
            PELMAR_FILE_HOLDER="", PELMAR_WINE_RUN=WINE64, PELMAR_WINESERVER=WINESERVER,
            PELMAR_TEMPLATE_PREFIX=str(template),
            PELMAR_E2E_WORK_DIR=str(self.build / "signatures-machines"),
            PELMAR_WINDRES=shutil.which("x86_64-w64-mingw32-windres"),
            PELMAR_MINGW_GCC=shutil.which("x86_64-w64-mingw32-gcc"),
            PELMAR_SIGNATURE_TOOL=str(tools / "signature_tool.exe"),
            WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        import real_machine  # noqa: E402: reads the tools' names from the environment
        log("laying out the healthy client")
        client = real_machine.machine("client", server=False)
        try:
            prefix = wine_prefix(client.prefix.path, self.scratch)
            contenders = [("utility", lambda: measure([WINE64, self.utility], prefix.env,
                                                      self.scratch)),
                          ("signatures", lambda: measure([WINE64, self.signatures], prefix.env,
                                                         self.scratch))]
            samples = {name: [] for name, _ in contenders}
            for repetition in range(self.repetitions + 1):
                turn = repetition % len(contenders)
                for name, run in contenders[turn:] + contenders[:turn]:
                    sample = run()
                    if repetition > 0:  # the first: page cache and Wine's start-up
                        samples[name].append(sample)
            check = samples["signatures"][-1]
            last = check.stdout.rstrip().splitlines()[-1].strip()
            if check.exit_code != 0 or " 0 unclaimed; " not in last or "with a row" in last:
                raise SystemExit(f"the check on the healthy client: exit {check.exit_code}, "
                                 f"{last!r}")
            walls = {name: [sample.wall for sample in runs] for name, runs in samples.items()}
            print("\n".join([
                "",
                "The healthy client (the tests' real-machine fixture, %d files in the spooler's "
                "folders):" % len(client.spooler_files()),
                "  last line: " + last,
                "  utility:   %.3f / %.3f s (fastest / median)" % (
                    min(walls["utility"]), statistics.median(walls["utility"])),
                "  check:     %.3f / %.3f s" % (min(walls["signatures"]),
                                                statistics.median(walls["signatures"])),
                "  check / utility, paired / fastest: %.2f  %.2f" % (
                    statistics.median(one / other for one, other in
                                      zip(walls["signatures"], walls["utility"])),
                    min(walls["signatures"]) / min(walls["utility"])),
            ]), flush=True)
        finally:
            client.prefix.close()
            shutil.rmtree(template, ignore_errors=True)
            subprocess.run([WINESERVER, "-p60"], env=self.prefix.env, stderr=subprocess.DEVNULL)

    def report(self, found, samples, load, elapsed):
        utility, checker, reference = (samples["utility"], samples["signatures"],
                                       samples["reference"])

        def row(name, runs):
            walls = [sample.wall for sample in runs]
            return "%-22s %9.3f %9.3f %9.3f %12.3f %10d" % (
                name, min(walls), statistics.median(walls),
                statistics.median(sample.cpu for sample in runs),
                statistics.median(sample.server_cpu for sample in runs),
                max(sample.peak_kib for sample in runs))

        def ratios(mine, theirs):
            """Paired, fastest runs, median CPU."""
            return (statistics.median(one.wall / other.wall for one, other in zip(mine, theirs)),
                    min(one.wall for one in mine) / min(other.wall for other in theirs),
                    statistics.median(one.cpu for one in mine) /
                    statistics.median(other.cpu for other in theirs))

        lines = [
            "",
            "pelmar_omni_signatures beside pelmar_omni_info on one installation (Wine: %s)" %
            subprocess.run([WINE64, "--version"], capture_output=True, text=True).stdout.strip(),
            "Machine: %d CPUs; load average %.1f when measuring began, %.1f at the end; %s." % (
                os.cpu_count(), *load, "measured at raised priority" if RAISED_PRIORITY else
                "measured without raised priority (needs root)"),
            "Installation: %d files found, %.1f MiB, every PE file signed, all listed in "
            "pelmaromn.cat" % (found, sum(size for _, size, _ in INSTALLATION) / 2**20),
            "(beside the .inf and in the system's catalog store). Signature check's last line:",
            "  " + self.summary_line,
            "reference_verify: WinVerifyTrust alone on the %d signed files (PE files and the "
            "catalog)." % self.signed_files,
            "Seconds of wall clock for the whole process, %d repetitions side by side, in "
            "rotating order;" % len(checker),
            "cpu, server cpu: median user+system seconds of the process and of the wineserver;",
            "peak: VmHWM in KiB.",
            "",
            "%-22s %9s %9s %9s %12s %10s" % ("program", "min s", "median s", "cpu s",
                                             "server cpu s", "peak KiB"),
            row("pelmar_omni_info", utility),
            row("pelmar_omni_signatures", checker),
            row("reference_verify", reference),
            "",
            "Ratios: paired (median of side-by-side ratios), fastest runs, median CPU:",
            "  signature check / utility:          %.2f  %.2f  %.2f" % ratios(checker, utility),
            "  signature check / reference_verify: %.2f  %.2f  %.2f" % ratios(checker, reference),
            "  reference_verify / utility:         %.2f  %.2f  %.2f" % ratios(reference, utility),
            "Target: no more than 3x the utility's time (paired and fastest runs): %s." % (
                "met" if max(ratios(checker, utility)[:2]) <= 3 else "NOT met"),
            "Whole benchmark run: %.0f s" % elapsed,
        ]
        print("\n".join(lines), flush=True)


    def report_print_server(self, samples, elapsed):
        alone, server, bare, reference = (samples["installation"], samples["print server"],
                                          samples["bare server"], samples["reference"])

        def ratios(mine, theirs):
            return (statistics.median(one.wall / other.wall for one, other in zip(mine, theirs)),
                    min(one.wall for one in mine) / min(other.wall for other in theirs))

        def row(name, runs):
            return "%-22s %9.3f %9.3f %9.3f %12.3f" % (
                name, min(sample.wall for sample in runs),
                statistics.median(sample.wall for sample in runs),
                statistics.median(sample.cpu for sample in runs),
                statistics.median(sample.server_cpu for sample in runs))

        print("\n".join([
            "",
            "pelmar_omni_signatures on a print server: the same installation with %d more "
            "drivers" % SERVER_DRIVERS,
            "installed through the spooler and their %d files in the printer driver folder, the "
            "same" % SERVER_FILES,
            "without those files, the installation alone and WinVerifyTrust alone, in turns, %d "
            "repetitions." % len(server),
            "Last line on the server:",
            "  " + server[-1].stdout.rstrip().splitlines()[-1].strip(),
            "",
            "%-22s %9s %9s %9s %12s" % ("prefix", "min s", "median s", "cpu s", "server cpu s"),
            row("print server", server),
            row("without its files", bare),
            row("installation only", alone),
            row("reference_verify", reference),
            "",
            "reference_verify: WinVerifyTrust alone on the server's %d images and the "
            "installation's" % len(self.server_images),
            "signed files, one after another.",
            "Ratios: paired, fastest runs:",
            "  print server / reference_verify:   %.2f  %.2f" % ratios(server, reference),
            "  print server / without its files:  %.2f  %.2f" % ratios(server, bare),
            "  print server / installation only:  %.2f  %.2f" % ratios(server, alone),
            "Target: at most 1.3x WinVerifyTrust alone, goal 1.1x (paired and fastest runs): "
            "%s." % ("goal met" if max(ratios(server, reference)) <= 1.1 else
                     "met" if max(ratios(server, reference)) <= 1.3 else "NOT met"),
            "Print server part: %.0f s" % elapsed,
        ]), flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", default=str(Path(__file__).resolve().parent.parent /
                                                   "build" / "bench"),
                        help="where the builds, the Wine prefix and the files live "
                             "(default: build/bench, shared with bench/run.sh's build)")
    parser.add_argument("--quick", action="store_true",
                        help="few repetitions: a check that it all works")
    SignaturesBench(parser.parse_args()).run()


if __name__ == "__main__":
    main()
