#!/usr/bin/env python3
"""Measures what the inventory costs beyond the platform's own hashing.

Run through bench/run.sh, which installs what is missing first. Every figure
printed at the end comes from this one run: the program, the reference loop
and sha1sum take turns on the same files, in the same Wine prefix, with the
same wineserver, so that a busy machine disturbs all three alike.

How each figure is taken (and why):
- Time: wall-clock from starting the process to reaping it, for the whole
  `wine64 <program>` run. The program and the reference loop both pay Wine's
  process start-up; the 0-byte case shows that fixed cost on its own. The
  headline ratio compares the fastest of the interleaved repetitions (the run
  least disturbed by other work on the machine); the medians and the CPU time
  (user + system of the process) are printed beside it.
- Peak working set: the kernel's high-water mark of the Wine process's
  resident memory (VmHWM, which GNU time reads with wait4). Wine's
  GetProcessMemoryInfo reads exactly this value for PeakWorkingSetSize; the
  reference loop prints its own PeakWorkingSetSize from inside and the run
  checks that both agree. It includes every DLL page the process touched, so
  Wine's own libraries count too: the reference loop's figure is the floor
  that any CryptoAPI program has under this Wine.
- Priority: run as root, each run of the three contenders gets a session of
  its own whose scheduling group has nice -10, ahead of other work on a
  shared machine, all alike. The load average before and after is printed
  with the figures.
- Private memory: sampled from /proc/<pid>/status (RssAnon) while the
  program runs, as a rough split of the working set into heap and mapped code.
"""

import argparse
import hashlib
import json
import os
import random
import shutil
import statistics
import subprocess
import sys
import threading
import time
from pathlib import Path

KIB = 1024
MIB = 1024 * KIB
GIB = 1024 * MIB

WINE64 = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
TIME = "/usr/bin/time"
# On a machine shared with other work the contenders run ahead of it, all
# three alike, so that a busy neighbour disturbs the ratios less. Linux
# schedules sessions against each other (autogroups), so a plain nice value
# would only count against this script itself: each measured process gets a
# session of its own whose group runs at nice -10. Only root may do that.
RAISED_PRIORITY = os.geteuid() == 0 and os.path.exists("/proc/self/autogroup")


def raise_priority():
    """Runs in the measured process's child between its setsid and exec."""
    try:
        with open("/proc/self/autogroup", "w") as group:
            group.write("-10")
    except OSError:
        pass

# The benchmark's file sits where the inventory looks for one manifest file;
# the other 77 rows find nothing, so this file's digest is the run's work.
MEASURED_NAME = "pmomndrv.dll"
VENDOR_DIR = Path("drive_c") / "Program Files" / "Pelmar" / "printer"
VENDOR_DIR_WINDOWS = "C:\\Program Files\\Pelmar\\printer"

# A print server's installation: (file name, size in bytes, has a version
# resource). Sizes are typical of a v3 printer driver package.
INSTALLATION = [
    ("pomnres_en.dll", 1_183_744, True),
    ("pomnres_de.dll", 1_296_384, True),
    ("pomnres_fr.dll", 1_288_192, True),
    ("pomnres_ja.dll", 1_015_808, True),
    ("pomnres_es.dll", 1_271_808, True),
    ("pomnres_zh-CN.dll", 897_024, True),
    ("pomnres_zh-TW.dll", 901_120, True),
    ("pomnres_ko.dll", 944_128, True),
    ("pomnres_ru.dll", 1_253_376, True),
    ("pmomndrv.dll", 7_864_832, True),
    ("pmomnui.dll", 3_356_160, True),
    ("pmxpsomnui.dll", 2_187_264, True),
    ("omnprn.dll", 654_336, True),
    ("pelmaromn.cat", 14_213, False),
    ("pelmaromn.inf", 46_871, False),
    ("pelmaromn.txt", 2_318, False),
    ("pelmarxps.txt", 1_804, False),
    ("pelmarxpsdrv-pipelineconfig.xml", 9_127, False),
    ("pmproc.dll", 317_440, True),
    ("basecapabilities.xml", 121_566, False),
]

# The sparse file crosses 4 GiB by more than one chunk and ends in a partial
# chunk, so a size or an offset kept in 32 bits would show.
SPARSE_SIZE = 4 * GIB + 5 * MIB + 7


def log(message):
    print(message, file=sys.stderr, flush=True)


def run_checked(command, **kwargs):
    log("$ " + " ".join(str(part) for part in command))
    subprocess.run(command, check=True, **kwargs)


class Sample:
    """One measured process: wall and CPU seconds, peak resident KiB, output."""

    def __init__(self, wall, cpu, peak_kib, exit_code, stdout, stderr, rss_anon_kib):
        self.wall = wall
        self.cpu = cpu
        self.peak_kib = peak_kib
        self.exit_code = exit_code
        self.stdout = stdout
        self.stderr = stderr
        self.rss_anon_kib = rss_anon_kib


def sample_rss_anon(parent, stop, result):
    """Follows the measured process, the one child of GNU time."""
    pid = None
    while not stop.is_set():
        try:
            if pid is None:
                with open(f"/proc/{parent}/task/{parent}/children") as children:
                    found = children.read().split()
                pid = int(found[0]) if found else None
            if pid is not None:
                with open(f"/proc/{pid}/status") as status:
                    for line in status:
                        if line.startswith("RssAnon:"):
                            result[0] = max(result[0], int(line.split()[1]))
                            break
        except (OSError, ValueError):
            if pid is not None:
                return
        stop.wait(0.02)


def measure(command, env, scratch):
    """Runs command once under GNU time, which reaps it with wait4 and so
    reports that one process's CPU time and peak resident set. The usage
    cannot be read by this script's own wait4: a child's maximum resident set
    starts from its parent's size at fork, and this interpreter is larger
    than the processes it measures."""
    out_path = scratch / "stdout"
    err_path = scratch / "stderr"
    usage_path = scratch / "usage"
    timed = [TIME, "-f", "%M %U %S %x", "-o", usage_path] + [str(part) for part in command]
    with open(out_path, "wb") as out, open(err_path, "wb") as err:
        start = time.perf_counter()
        process = subprocess.Popen(timed, env=env, stdin=subprocess.DEVNULL,
                                   stdout=out, stderr=err, start_new_session=RAISED_PRIORITY,
                                   preexec_fn=raise_priority if RAISED_PRIORITY else None)
        stop = threading.Event()
        rss_anon = [0]
        sampler = threading.Thread(target=sample_rss_anon, args=(process.pid, stop, rss_anon))
        sampler.start()
        process.wait()
        wall = time.perf_counter() - start
        stop.set()
        sampler.join()
    # The last line: time's own note on a failed command comes before it.
    peak_kib, user, system, exit_code = usage_path.read_text().split("\n")[-2].split()
    return Sample(wall, float(user) + float(system), int(peak_kib), int(exit_code),
                  out_path.read_bytes().decode("utf-8", "replace"),
                  err_path.read_bytes().decode("utf-8", "replace"), rss_anon[0])


def measure_wall(command, env, scratch):
    """Runs command once: wall-clock seconds, exit code and standard error."""
    err_path = scratch / "stderr"
    with open(scratch / "stdout", "wb") as out, open(err_path, "wb") as err:
        start = time.perf_counter()
        exit_code = subprocess.run([str(part) for part in command], env=env,
                                   stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                   start_new_session=RAISED_PRIORITY,
                                   preexec_fn=raise_priority if RAISED_PRIORITY else None
                                   ).returncode
        wall = time.perf_counter() - start
    return wall, exit_code, err_path.read_bytes().decode("utf-8", "replace")


class Bench:
    def __init__(self, args):
        self.repo = Path(__file__).resolve().parent.parent
        self.build = Path(args.build_dir).resolve()
        self.quick = args.quick
        self.with_sparse = not args.no_sparse and not args.quick
        self.program_build = self.build / "program"
        self.tools_build = self.build / "tools"
        self.data = self.build / "data"
        self.prefix = self.build / "prefix"
        self.scratch = self.build / "scratch"
        self.env = dict(os.environ, WINEPREFIX=str(self.prefix), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")

    # ----- preparation -------------------------------------------------------

    def build_programs(self, tools):
        run_checked(["cmake", "--preset", "mingw", "-B", self.program_build,
                     "-DPELMAR_BUILD_TESTS=OFF"], cwd=self.repo, stdout=subprocess.DEVNULL)
        run_checked(["cmake", "--build", self.program_build, "--target", "pelmar_omni_info",
                     "-j2"], stdout=subprocess.DEVNULL)
        run_checked(["cmake", "-S", self.repo / "bench", "-B", self.tools_build,
                     "--toolchain", self.repo / "cmake" / "mingw-w64-x86_64.cmake",
                     "-DCMAKE_BUILD_TYPE=Release"], stdout=subprocess.DEVNULL)
        run_checked(["cmake", "--build", self.tools_build, "-j2", "--target"] + tools,
                    stdout=subprocess.DEVNULL)
        self.program = self.program_build / "src" / "app" / "pelmar_omni_info.exe"
        self.reference = self.tools_build / "reference_hash.exe"
        self.version_stub = self.tools_build / "version_stub.dll"
        self.probes = [self.tools_build / f"stage_probe_{stage}.exe" for stage in range(11)]
        self.spooler_resident = self.tools_build / "spooler_resident.exe"

    def make_prefix(self):
        if not (self.prefix / "system.reg").exists():
            log(f"creating the Wine prefix {self.prefix} (once)")
            self.prefix.mkdir(parents=True, exist_ok=True)
            subprocess.run([WINE64, "wineboot", "-i"], env=self.env, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            subprocess.run([WINESERVER, "-w"], env=self.env, check=True)
        # One server for the whole run, so no measurement pays for starting
        # it; it leaves on its own a minute after the last process. (It fails,
        # harmlessly, when this prefix's server is still up from a recent run.)
        subprocess.run([WINESERVER, "-p60"], env=self.env, stderr=subprocess.DEVNULL)
        # The first processes of a server start Wine's own services; none of
        # that belongs in a measurement.
        for program in (self.program, self.reference):
            subprocess.run([WINE64, program, "C:\\windows\\win.ini"], env=self.env,
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        self.vendor = self.prefix / VENDOR_DIR
        self.vendor.mkdir(parents=True, exist_ok=True)
        self.scratch.mkdir(parents=True, exist_ok=True)

    def make_random_file(self, path, size):
        if path.exists() and path.stat().st_size == size:
            return
        log(f"writing {path.name} ({size} bytes, once)")
        path.parent.mkdir(parents=True, exist_ok=True)
        partial = path.with_suffix(".partial")
        with open(partial, "wb") as out, open("/dev/urandom", "rb") as source:
            left = size
            while left > 0:
                block = source.read(min(left, 16 * MIB))
                out.write(block)
                left -= len(block)
        partial.rename(path)

    def make_sparse_file(self, path, size):
        if path.exists() and path.stat().st_size == size:
            return
        log(f"writing {path.name} ({size} bytes, sparse, once)")
        partial = path.with_suffix(".partial")
        generator = random.Random(4242)
        with open(partial, "wb") as out:
            # Data at both ends, a hole between them: the digest is not that
            # of zeros alone, and the disk holds only a few MiB.
            out.write(generator.randbytes(MIB))
            out.seek(size - MIB)
            out.write(generator.randbytes(MIB))
        partial.rename(path)

    def make_installation(self):
        folder = self.data / "installation"
        stamp = folder / ".complete"
        if stamp.exists():
            return folder
        log("writing the realistic installation (once)")
        if folder.exists():
            shutil.rmtree(folder)
        folder.mkdir(parents=True)
        stub = self.version_stub.read_bytes()
        generator = random.Random(20240611)
        for name, size, versioned in INSTALLATION:
            if versioned:
                # A real PE with a version resource, followed by data.
                content = stub + generator.randbytes(size - len(stub))
            else:
                words = [b"Pelmar", b"Omni", b"Printer", b"[Manufacturer]", b"DriverVer",
                         b"<Feature>", b"</Feature>", b"%PELMAR%", b"6.3.9600.17415"]
                content = bytearray()
                while len(content) < size:
                    content += b" ".join(generator.choice(words) for _ in range(8)) + b"\r\n"
                content = bytes(content[:size])
            (folder / name).write_bytes(content)
        stamp.touch()
        return folder

    def place(self, sources):
        """Makes the vendor folder hold exactly the given files, each under its
        manifest name, as hard links (the same inode that sha1sum reads)."""
        for entry in self.vendor.iterdir():
            entry.unlink()
        for name, source in sources.items():
            target = self.vendor / name
            try:
                os.link(source, target)
            except OSError:
                target.symlink_to(source)

    # ----- measuring ---------------------------------------------------------

    def run_program(self):
        return measure([WINE64, self.program], self.env, self.scratch)

    def run_reference(self):
        return measure([WINE64, self.reference, f"{VENDOR_DIR_WINDOWS}\\{MEASURED_NAME}"],
                       self.env, self.scratch)

    def run_sha1sum(self, path):
        return measure(["sha1sum", path], None, self.scratch)

    @staticmethod
    def table_rows(output):
        rows = []
        for line in output.splitlines()[1:]:
            fields = [field.strip() for field in line.split("\t")]
            if len(fields) == 5:
                rows.append(dict(hash=fields[0], size=fields[1], version=fields[2],
                                 name=fields[3], directory=fields[4]))
        return rows

    def program_row(self, sample, name):
        if sample.exit_code != 0:
            raise SystemExit(f"the program failed (exit {sample.exit_code}): {sample.stderr}")
        rows = self.table_rows(sample.stdout)
        if len(rows) != 78:
            raise SystemExit(f"the program printed {len(rows)} rows, not 78")
        for row in rows:
            if row["name"] == name and row["directory"] == VENDOR_DIR_WINDOWS:
                return row
        raise SystemExit(f"no row for {name} in {VENDOR_DIR_WINDOWS}")

    def measure_file(self, label, path, size, repetitions):
        log(f"measuring {label}: {repetitions} interleaved repetitions")
        self.place({MEASURED_NAME: path})
        # Warm the page cache, so that every run reads from memory alike.
        expected = self.run_sha1sum(path).stdout.split()[0]
        runs = {"program": [], "reference": [], "sha1sum": []}
        order = ["program", "reference", "sha1sum"]
        for repetition in range(repetitions):
            # Rotating the order keeps any after-effect of one run on the next
            # from always falling on the same contender.
            for who in order[repetition % 3:] + order[:repetition % 3]:
                if who == "program":
                    sample = self.run_program()
                    row = self.program_row(sample, MEASURED_NAME)
                    if row["hash"] != expected or row["size"] != str(size):
                        raise SystemExit(f"{label}: the program printed {row}, "
                                         f"expected {expected} and {size}")
                elif who == "reference":
                    sample = self.run_reference()
                    if sample.exit_code != 0 or sample.stdout.split() != [expected, str(size)]:
                        raise SystemExit(f"{label}: the reference loop printed "
                                         f"{sample.stdout!r} {sample.stderr!r}")
                    self.check_self_report(sample)
                else:
                    sample = self.run_sha1sum(path)
                    if sample.stdout.split()[0] != expected:
                        raise SystemExit(f"{label}: sha1sum changed its mind")
                runs[who].append(sample)
        return {"label": label, "size": size, "sha1": expected, "runs": runs}

    def check_self_report(self, sample):
        for line in sample.stderr.splitlines():
            if line.startswith("peak_working_set_bytes="):
                inside_kib = int(line.split("=")[1]) // KIB
                # The process may still touch a page or two while it exits.
                if abs(inside_kib - sample.peak_kib) > 512:
                    raise SystemExit(f"PeakWorkingSetSize {inside_kib} KiB from inside, "
                                     f"VmHWM {sample.peak_kib} KiB from GNU time")
                self.self_report_checks.append((inside_kib, sample.peak_kib))
                return
        raise SystemExit("the reference loop did not report its working set")

    def measure_installation(self, folder, repetitions):
        log(f"measuring the realistic installation: {repetitions} repetitions")
        self.place({name: folder / name for name, _, _ in INSTALLATION})
        expected = {}
        listing = subprocess.run(["sha1sum"] + [name for name, _, _ in INSTALLATION],
                                 cwd=folder, check=True, capture_output=True, text=True)
        for line in listing.stdout.splitlines():
            digest, name = line.split(maxsplit=1)
            expected[name] = digest
        samples = []
        self.run_program()  # warm-up: page cache and Wine's own files
        for _ in range(repetitions):
            sample = self.run_program()
            for name, size, versioned in INSTALLATION:
                row = self.program_row(sample, name)
                if row["hash"] != expected[name] or row["size"] != str(size):
                    raise SystemExit(f"installation: {row} does not match the file")
                if versioned != (row["version"] == "6.3.9600.17415"):
                    raise SystemExit(f"installation: unexpected version in {row}")
            samples.append(sample)
        total = sum(size for _, size, _ in INSTALLATION)
        return {"files": len(INSTALLATION), "bytes": total, "runs": samples}

    # ----- the split of the fixed cost ---------------------------------------

    def loaded_modules(self, command):
        """The DLLs that one process loads, from Wine's own loader trace."""
        traced = subprocess.run([WINE64] + [str(part) for part in command],
                                env=dict(self.env, WINEDEBUG="+loaddll"),
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.PIPE, text=True, errors="replace")
        modules = set()
        main_thread = None
        for line in traced.stderr.splitlines():
            if "Loaded L" not in line:
                continue
            thread = line.split(":", 1)[0]
            main_thread = main_thread or thread
            # Processes that this one starts (Wine's desktop) trace to the same stream.
            name = line.split('"')[1].rsplit("\\", 1)[-1].lower()
            if thread == main_thread and not name.endswith(".exe"):
                modules.add(name)
        return modules

    def start_spooler_resident(self):
        process = subprocess.Popen([WINE64, self.spooler_resident], env=self.env,
                                   stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL)
        if not process.stdout.readline().startswith(b"ready"):
            raise SystemExit("the resident spooler client did not start")
        return process

    @staticmethod
    def stop_spooler_resident(process):
        process.stdin.close()
        process.wait()

    def split(self, rounds):
        """Times the program, the reference loop and each stage probe side by
        side on the 0-byte file, in rounds of rotating order. Every other round
        runs with Wine's spooler state held by a resident process."""
        started = time.perf_counter()
        self.build_programs(["reference_hash", "spooler_resident"] +
                            [f"stage_probe_{stage}" for stage in range(11)])
        self.make_prefix()
        empty = self.data / "random-0B.bin"
        self.make_random_file(empty, 0)
        self.place({MEASURED_NAME: empty})
        path = f"{VENDOR_DIR_WINDOWS}\\{MEASURED_NAME}"
        contenders = ([("reference", [self.reference, path])] +
                      [(f"stage {n}", [probe, path]) for n, probe in enumerate(self.probes)] +
                      [("program", [self.program])])
        log("tracing which DLLs each contender loads")
        modules = {name: self.loaded_modules(command) for name, command in contenders}
        for name, command in contenders:  # warm-up: page cache and Wine's own files
            measure_wall([WINE64] + command, self.env, self.scratch)

        log(f"measuring {len(contenders)} contenders in {rounds} rounds")
        conditions = ("plain", "resident")
        runs = {condition: {name: [] for name, _ in contenders} for condition in conditions}
        calls = {}
        load_before = os.getloadavg()[0]
        for round_index in range(rounds):
            condition = conditions[round_index % 2]
            resident = self.start_spooler_resident() if condition == "resident" else None
            shift = round_index % len(contenders)
            for name, command in contenders[shift:] + contenders[:shift]:
                wall, exit_code, stderr = measure_wall([WINE64] + command, self.env,
                                                       self.scratch)
                if exit_code != 0:
                    raise SystemExit(f"{name} failed: {stderr}")
                runs[condition][name].append(wall)
                if name == "stage 10":
                    for line in stderr.splitlines():
                        if line.startswith("stage="):
                            stage, seconds = (part.split("=")[1] for part in line.split())
                            calls.setdefault(stage, []).append(float(seconds))
            if resident:
                self.stop_spooler_resident(resident)
        load_after = os.getloadavg()[0]
        self.report_split(runs, calls, modules, (load_before, load_after),
                          time.perf_counter() - started)

    def report_split(self, runs, calls, modules, load, elapsed):
        stages = [
            ("stage 0", "reference", "reference loop's work in the probe's own build"),
            ("stage 1", "stage 0", "ole32.dll imported"),
            ("stage 2", "stage 1", "CoInitializeEx / CoUninitialize"),
            ("stage 3", "stage 2", "shell32.dll imported"),
            ("stage 4", "stage 3", "2 known folders, _waccess"),
            ("stage 5", "stage 4", "winspool.drv imported"),
            ("stage 6", "stage 5", "EnumPrinterDriversW 2, 8; print processor dir"),
            ("stage 7", "stage 6", "version.dll imported"),
            ("stage 8", "stage 7", "version reads (banner, found file)"),
            ("stage 9", "stage 8", "77 absent files opened"),
            ("stage 10", "stage 9", "79 table lines written"),
            ("program", "stage 10", "the program's own code beyond the calls"),
        ]
        in_process = {"stage 2": ["2"], "stage 4": ["4"], "stage 6": ["6"],
                      "stage 8": ["8a", "8b"], "stage 9": ["9"], "stage 10": ["10"]}

        def fastest(condition, name):
            return min(runs[condition][name])

        def low_quartile(condition, name):
            return statistics.quantiles(runs[condition][name], n=4)[0]

        lines = []
        add = lines.append
        add("")
        add("Fixed cost of one run, split by stage (Wine: %s)" % subprocess.run(
            [WINE64, "--version"], capture_output=True, text=True).stdout.strip())
        add("Machine: %d CPUs; load average %.1f when measuring began, %.1f at the end%s." % (
            os.cpu_count(), load[0], load[1],
            "; measured processes at raised priority" if RAISED_PRIORITY else ""))
        add("%d rounds on the 0-byte file, each contender once per round in rotating order;" %
            (len(runs["plain"]["program"]) + len(runs["resident"]["program"])))
        add("every other round with Wine's spooler state held by a resident winspool client.")
        add("Milliseconds of wall clock per run that a stage adds to the build before it:")
        add("'fastest' compares the fastest runs, 'quartile' the lower quartiles (steadier")
        add("when no run escapes a busy machine's load); 'calls' times the stage's calls from")
        add("inside (median), without loading; 'share' is of the program's fastest run minus")
        add("the reference loop's.")
        add("")
        for condition in ("plain", "resident"):
            total = fastest(condition, "program") - fastest(condition, "reference")
            add("%s: program %.1f ms, reference loop %.1f ms (fastest runs), difference "
                "%.1f ms; lower quartiles %.1f and %.1f ms" % (
                    "Plain rounds" if condition == "plain" else "Rounds with the spooler resident",
                    1000 * fastest(condition, "program"), 1000 * fastest(condition, "reference"),
                    1000 * total, 1000 * low_quartile(condition, "program"),
                    1000 * low_quartile(condition, "reference")))
            add("%-9s %-46s %8s %8s %7s %6s  %s" % (
                "stage", "what it adds", "fastest", "quartile", "calls", "share",
                "DLLs it brings in"))
            for name, before, text in stages:
                call_time = "%7s" % "-"
                if name in in_process:
                    call_time = "%7.1f" % (1000 * statistics.median(
                        sum(values) for values in zip(*(calls[key] for key in in_process[name]))))
                brought = sorted(modules[name] - modules[before])
                cost = fastest(condition, name) - fastest(condition, before)
                add("%-9s %-46s %8.1f %8.1f %s %5.0f%%  %s" % (
                    name, text, 1000 * cost,
                    1000 * (low_quartile(condition, name) - low_quartile(condition, before)),
                    call_time, 100 * cost / total, " ".join(brought) if brought else "-"))
            add("")
        add("Whole split run: %.0f s" % elapsed)
        text = "\n".join(lines)
        print(text, flush=True)
        (self.build / "split.txt").write_text(text + "\n")

    # ----- the run -----------------------------------------------------------

    def run(self):
        started = time.perf_counter()
        self.self_report_checks = []
        self.build_programs(["reference_hash", "version_stub"])
        self.make_prefix()

        # Repetitions: enough for the fastest run of each to be an undisturbed
        # one on a machine shared with other work, within ~10 minutes overall.
        cases = [("0 B", 0, 11), ("1 MiB", MIB, 11), ("64 MiB", 64 * MIB, 11),
                 ("1 GiB", GIB, 11)]
        if self.quick:
            cases = [("0 B", 0, 3), ("1 MiB", MIB, 3), ("64 MiB", 64 * MIB, 3)]
        files = []
        for label, size, repetitions in cases:
            path = self.data / f"random-{label.replace(' ', '')}.bin"
            self.make_random_file(path, size)
            files.append((label, path, size, repetitions))
        if self.with_sparse:
            path = self.data / "sparse-over-4GiB.bin"
            self.make_sparse_file(path, SPARSE_SIZE)
            files.append(("4 GiB+5 MiB sparse", path, SPARSE_SIZE, 2))
        installation = self.make_installation()

        load_before = os.getloadavg()[0]
        measured = [self.measure_file(*case) for case in files]
        realistic = self.measure_installation(installation, 3 if self.quick else 7)
        self.load = (load_before, os.getloadavg()[0])
        elapsed = time.perf_counter() - started
        self.report(measured, realistic, elapsed)

    def report(self, measured, realistic, elapsed):
        def fastest(samples, key="wall"):
            return min(getattr(sample, key) for sample in samples)

        def median(samples, key="wall"):
            return statistics.median(getattr(sample, key) for sample in samples)

        def peak(samples):
            return max(sample.peak_kib for sample in samples)

        baseline = measured[0]
        fixed_program = fastest(baseline["runs"]["program"])
        fixed_reference = fastest(baseline["runs"]["reference"])

        lines = []
        add = lines.append
        add("")
        add("Pelmar Omni inventory benchmark (Wine: %s)" % subprocess.run(
            [WINE64, "--version"], capture_output=True, text=True).stdout.strip())
        add("Machine: %d CPUs; load average %.1f when measuring began, %.1f at the end%s." % (
            os.cpu_count(), self.load[0], self.load[1],
            "; measured processes at raised priority" if RAISED_PRIORITY else
            "; measured without raised priority (needs root)"))
        if max(self.load) > os.cpu_count() * 0.75:
            add("WARNING: other work kept the machine busy; the time ratios below carry its noise.")
        add("Times are seconds of wall clock for the whole process; 'min' is the fastest of")
        add("the interleaved repetitions, 'med' the median; ratios are program / contender;")
        add("'pair' is the median of the ratios of runs taken side by side in one repetition,")
        add("which a load that changes during the run moves least; 'cpu' compares median")
        add("user+system seconds; 'ref spread' (the reference loop's median over its fastest")
        add("run) shows how much this machine's noise moves one contender.")
        add("")
        header = ("file", "reps", "program min/med", "reference min/med", "sha1sum min/med",
                  "vs ref (min)", "vs ref pair", "vs ref (cpu)", "vs sha1sum", "ref spread")
        add("%-20s %4s  %-17s %-17s %-17s %12s %12s %12s %10s %10s" % header)
        summary = []
        for case in measured:
            runs = case["runs"]
            program, reference, sha1 = runs["program"], runs["reference"], runs["sha1sum"]
            row = dict(
                file=case["label"], bytes=case["size"], repetitions=len(program),
                program_min=fastest(program), program_median=median(program),
                reference_min=fastest(reference), reference_median=median(reference),
                sha1sum_min=fastest(sha1), sha1sum_median=median(sha1),
                ratio_reference_min=fastest(program) / fastest(reference),
                ratio_reference_median=median(program) / median(reference),
                ratio_reference_paired=statistics.median(
                    mine.wall / theirs.wall for mine, theirs in zip(program, reference)),
                ratio_reference_cpu=median(program, "cpu") / median(reference, "cpu"),
                reference_spread=median(reference) / fastest(reference) - 1,
                ratio_sha1sum_min=fastest(program) / fastest(sha1),
                program_peak_kib=peak(program), reference_peak_kib=peak(reference),
                program_private_kib=max(sample.rss_anon_kib for sample in program))
            if case["size"] >= 64 * MIB:
                # What hashing the file adds to each process's fixed cost; for
                # smaller files that difference drowns in the noise.
                row["ratio_reference_hashing_only"] = (
                    (row["program_min"] - fixed_program) /
                    (row["reference_min"] - fixed_reference))
            summary.append(row)
            add("%-20s %4d  %7.3f / %7.3f %7.3f / %7.3f %7.3f / %7.3f %12.3f %12.3f %12.3f %10.2f "
                "%+9.1f%%" % (
                row["file"], row["repetitions"], row["program_min"], row["program_median"],
                row["reference_min"], row["reference_median"], row["sha1sum_min"],
                row["sha1sum_median"], row["ratio_reference_min"], row["ratio_reference_paired"],
                row["ratio_reference_cpu"], row["ratio_sha1sum_min"],
                100 * row["reference_spread"]))
        add("")
        add("Fixed cost of one process, measured on the 0-byte file: program %.3f s, "
            "reference %.3f s," % (fixed_program, fixed_reference))
        add("  the inventory's own work (78 rows, five locations, 77 absent files) "
            "is the difference: %.3f s." % (fixed_program - fixed_reference))
        add("  bench/run.sh --split shows where it goes, stage by stage.")
        add("Hashing alone (each time minus its process's fixed cost), program / reference:")
        for row in summary:
            if "ratio_reference_hashing_only" in row:
                add("  %-20s %.3f" % (row["file"], row["ratio_reference_hashing_only"]))

        add("")
        add("Peak working set (VmHWM = Wine's PeakWorkingSetSize), KiB:")
        add("%-20s %12s %12s %16s" % ("file", "program", "reference", "program private"))
        for row in summary:
            add("%-20s %12d %12d %16d" % (row["file"], row["program_peak_kib"],
                                           row["reference_peak_kib"], row["program_private_kib"]))
        smallest = next(row for row in summary if row["bytes"] == MIB)
        largest = max(summary, key=lambda row: row["bytes"])
        peak_ratio = largest["program_peak_kib"] / smallest["program_peak_kib"]
        add("Largest (%s) / smallest (1 MiB) file, program peak: %.4f (%+d KiB)" % (
            largest["file"], peak_ratio,
            largest["program_peak_kib"] - smallest["program_peak_kib"]))
        inside, outside = self.self_report_checks[-1]
        add("Check: the reference loop's own GetProcessMemoryInfo said %d KiB, "
            "GNU time said %d KiB" % (inside, outside))

        runs = realistic["runs"]
        add("")
        add("Realistic installation: %d files, %.1f MiB in %s, %d repetitions:" % (
            realistic["files"], realistic["bytes"] / MIB, VENDOR_DIR_WINDOWS, len(runs)))
        add("  whole run %.3f s fastest, %.3f s median; peak working set %d KiB" % (
            fastest(runs), median(runs), peak(runs)))

        data = self.program.read_bytes()
        add("")
        add("Program: %s, %d bytes, SHA-256 %s" % (self.program, len(data),
                                                   hashlib.sha256(data).hexdigest()))

        big = [row for row in summary if row["bytes"] >= 64 * MIB]
        add("")
        add("Targets:")
        for row in big:
            verdict = "met" if row["ratio_reference_min"] <= 1.05 else "NOT met"
            add("  within 5%% of the reference loop, %-20s whole run %.3f %-7s "
                "(paired %.3f, CPU %.3f, hashing alone %.3f, noise %.0f%%)" % (
                    row["file"], row["ratio_reference_min"], verdict,
                    row["ratio_reference_paired"], row["ratio_reference_cpu"],
                    row["ratio_reference_hashing_only"],
                    100 * row["reference_spread"]))
        flat = largest["program_peak_kib"] - smallest["program_peak_kib"] <= 1024
        add("  peak working set independent of file size: %s (%+d KiB from 1 MiB to %s)" % (
            "met" if flat else "NOT met",
            largest["program_peak_kib"] - smallest["program_peak_kib"], largest["file"]))
        under = largest["program_peak_kib"] < 16 * KIB
        add("  peak working set under 16 MiB: %s (%.1f MiB; this Wine's floor for a "
            "CryptoAPI program, the reference loop, is %.1f MiB)" % (
                "met" if under else "NOT met under Wine", largest["program_peak_kib"] / KIB,
                largest["reference_peak_kib"] / KIB))
        add("")
        add("Whole benchmark run: %.0f s" % elapsed)

        text = "\n".join(lines)
        print(text, flush=True)
        (self.build / "results.txt").write_text(text + "\n")
        with open(self.build / "results.json", "w") as out:
            json.dump(dict(files=summary, realistic=dict(
                files=realistic["files"], bytes=realistic["bytes"],
                wall_min=fastest(runs), wall_median=median(runs), peak_kib=peak(runs)),
                program_bytes=len(data), program_sha256=hashlib.sha256(data).hexdigest(),
                elapsed=elapsed), out, indent=2)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", default=str(Path(__file__).resolve().parent.parent /
                                                   "build" / "bench"),
                        help="where the builds, the Wine prefix and the test files live "
                             "(default: build/bench); files made once are reused")
    parser.add_argument("--no-sparse", action="store_true",
                        help="skip the sparse file over 4 GiB")
    parser.add_argument("--quick", action="store_true",
                        help="small files only, few repetitions: a check that it all works")
    parser.add_argument("--split", action="store_true",
                        help="instead of the comparison, split the program's fixed cost by "
                             "stage with the stage probes (about a minute on a quiet machine)")
    parser.add_argument("--rounds", type=int,
                        help="rounds of --split (default 40, or 12 with --quick)")
    args = parser.parse_args()
    bench = Bench(args)
    if args.split:
        bench.split(args.rounds or (12 if args.quick else 40))
    else:
        bench.run()


if __name__ == "__main__":
    main()
