#!/usr/bin/env python3
"""Measures pelmar_omni_compare over a fleet: 100, 1,000 and 10,000 inventories
against one baseline, each set in a folder of its own and named by one
wildcard, as an administrator would run it.

Run through bench/compare.sh, which installs what is missing first. The
inventories are variations of one real report: the utility runs once in this
benchmark's Wine prefix over a few files (Wine's own DLLs, which carry version
resources, under the product's names), and its table is then varied row by row
the ways machines differ: another drive, another version, another size, other
content, a file gone; a quarter of them are the report unchanged.

How each figure is taken:
- Time: wall-clock from starting `wine64 pelmar_omni_compare.exe` to reaping
  it, with Wine's server already running and the files in the page cache (one
  untimed run first). The fastest of the repetitions counts; the median is
  printed beside it. Inventories per second are given for the whole run, per
  CPU second (user + system of the process and of this prefix's wineserver,
  which opens every file for it; a busy machine disturbs that figure less),
  and from 1,000 to 10,000 inventories, where the process's fixed cost cancels
  out.
- Peak working set: VmHWM of the Wine process, as GNU time reports it from
  wait4 (Wine's GetProcessMemoryInfo returns that very value as
  PeakWorkingSetSize). It includes Wine's own libraries, so the figure to read
  is how it changes from 100 to 10,000 inventories.
- Each run's output is checked against what the variations make: the closing
  summary's counts and exit code 1.
- A yardstick takes turns with the compare in the same run: compare_yardstick.exe
  (bench/compare_yardstick.cpp) lists the same folder and opens, reads whole and
  closes each inventory, and nothing else; with --identity it also asks each
  opened file for its 128-bit id, as the compare does. Under Wine every file
  costs round trips to the wineserver, whose speed changes from minute to
  minute on this machine, so the figure that holds from run to run is the ratio
  compare / yardstick: the median of each repetition's ratio, and the ratio of
  the fastest of each.
"""

import argparse
import os
import random
import shutil
import statistics
import subprocess
import time
from pathlib import Path

# The inventory benchmark's Wine, priority and logging, shared.
from bench import (RAISED_PRIORITY, TIME, VENDOR_DIR, WINE64, WINESERVER, log,
                   raise_priority, run_checked)

SIZES = (100, 1_000, 10_000)
REPETITIONS = 5
# Wine's own DLLs, under the product's names: real files with version resources.
INSTALLATION = {
    "pomnres_en.dll": "version.dll",
    "pmomndrv.dll": "winspool.drv",
    "pmomnui.dll": "comctl32.dll",
    "omnprn.dll": "msvcrt.dll",
}
TEXT_FILES = {
    "pelmaromn.inf": b'[Version]\r\nSignature="$Windows NT$"\r\nClass=Printer\r\n',
    "pelmaromn.txt": b"Pelmar Omni\r\n",
}


def windows_path(path):
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


class Sample:
    def __init__(self, wall, cpu, server_cpu, peak_kib, exit_code, stdout, stderr):
        self.wall, self.cpu, self.server_cpu, self.peak_kib = wall, cpu, server_cpu, peak_kib
        self.exit_code, self.stdout, self.stderr = exit_code, stdout, stderr


def server_cpu_seconds(prefix):
    """User + system seconds so far of the wineserver that serves prefix."""
    marker = b"WINEPREFIX=" + str(prefix).encode() + b"\0"
    ticks = os.sysconf("SC_CLK_TCK")
    for entry in Path("/proc").iterdir():
        try:
            if (entry.name.isdigit() and
                    (entry / "comm").read_text().strip() in ("wineserver", "wineserver64") and
                    marker in (entry / "environ").read_bytes()):
                fields = (entry / "stat").read_text().rpartition(")")[2].split()
                return (int(fields[11]) + int(fields[12])) / ticks
        except OSError:
            continue
    raise SystemExit(f"no wineserver runs for {prefix}")


def measure(command, env, scratch):
    """One run under GNU time, which reaps it with wait4 and so reports that
    process's own CPU time and peak resident set; the wineserver's CPU time
    over the run is read from /proc."""
    out_path, err_path, usage_path = scratch / "stdout", scratch / "stderr", scratch / "usage"
    timed = [TIME, "-f", "%M %U %S %x", "-o", usage_path] + [str(part) for part in command]
    # New files each time: ext4 flushes a file that was truncated when it is
    # closed, so overwriting the last run's megabyte of output would put the
    # disk's wait into this run's time.
    out_path.unlink(missing_ok=True)
    err_path.unlink(missing_ok=True)
    server_before = server_cpu_seconds(env["WINEPREFIX"])
    with open(out_path, "wb") as out, open(err_path, "wb") as err:
        start = time.perf_counter()
        subprocess.run(timed, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                       start_new_session=RAISED_PRIORITY,
                       preexec_fn=raise_priority if RAISED_PRIORITY else None)
        wall = time.perf_counter() - start
    server_cpu = server_cpu_seconds(env["WINEPREFIX"]) - server_before
    # The last line: time's own note on a failed command comes before it.
    peak_kib, user, system, exit_code = usage_path.read_text().split("\n")[-2].split()
    return Sample(wall, float(user) + float(system), server_cpu, int(peak_kib), int(exit_code),
                  out_path.read_bytes().decode("utf-8", "replace"),
                  err_path.read_bytes().decode("utf-8", "replace"))


def render(hash_text, size, version, name, directory):
    """One row as the utility writes it (its column widths)."""
    return f"{hash_text:<40}\t{size:>10}\t{version:<25}\t{name:<30}\t{directory}"


class Fleet:
    """Variations of one real inventory."""

    def __init__(self, report):
        text = report.decode("utf-8")
        self.line_end = "\r\n" if "\r\n" in text else "\n"
        lines = text.split(self.line_end)
        header = next(index for index, line in enumerate(lines) if line.startswith("HASH"))
        self.header = lines[header]
        self.rows = [line.split("\t") for line in lines[header + 1:header + 79]]
        if len(self.rows) != 78 or any(len(row) != 5 for row in self.rows):
            raise SystemExit("the utility's report is not a table of 78 rows")
        self.present = [index for index, row in enumerate(self.rows) if row[0].strip() != "--"]
        self.versioned = [index for index in self.present
                          if self.rows[index][2].strip() not in ("N/A", "--")]

    def variation(self, generator):
        """An inventory's text and whether it is identical to the baseline."""
        rows = [[field.strip() for field in row] for row in self.rows]
        kind = generator.choice(("same", "same", "other drive", "other drive", "version",
                                 "size", "content", "absent"))
        if kind == "other drive":
            for row in rows:
                if row[4].startswith("C:"):
                    row[4] = "D:" + row[4][2:]
        elif kind != "same":
            row = rows[generator.choice(self.versioned if kind == "version" else self.present)]
            if kind == "version":
                row[2] = ".".join(str(generator.randrange(65536)) for _ in range(4))
            elif kind == "size":
                row[1] = str(int(row[1]) + generator.randrange(1, 100_000))
            elif kind == "content":
                row[0] = "%040x" % generator.getrandbits(160)
            else:
                row[:3] = ["--", "--", "--"]
        lines = [self.header] + [render(*row) for row in rows]
        return self.line_end.join(lines) + self.line_end, kind in ("same", "other drive")


class CompareBench:
    def __init__(self, args):
        self.repo = Path(__file__).resolve().parent.parent
        self.build = Path(args.build_dir).resolve()
        self.program_build = self.build / "program"
        self.tools_build = self.build / "tools"
        self.prefix = self.build / "compare-prefix"
        self.data = self.build / "compare-data"
        self.scratch = self.build / "compare-scratch"
        self.env = dict(os.environ, WINEPREFIX=str(self.prefix), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")

    def build_programs(self):
        run_checked(["cmake", "--preset", "mingw", "-B", self.program_build,
                     "-DPELMAR_BUILD_TESTS=OFF"], cwd=self.repo, stdout=subprocess.DEVNULL)
        run_checked(["cmake", "--build", self.program_build, "--target", "pelmar_omni_info",
                     "pelmar_omni_compare", "-j2"], stdout=subprocess.DEVNULL)
        run_checked(["cmake", "-S", self.repo / "bench", "-B", self.tools_build,
                     "--toolchain", self.repo / "cmake" / "mingw-w64-x86_64.cmake",
                     "-DCMAKE_BUILD_TYPE=Release"], stdout=subprocess.DEVNULL)
        run_checked(["cmake", "--build", self.tools_build, "-j2", "--target", "compare_yardstick"],
                    stdout=subprocess.DEVNULL)
        self.yardstick = self.tools_build / "compare_yardstick.exe"
        self.utility = self.program_build / "src" / "app" / "pelmar_omni_info.exe"
        self.compare = self.program_build / "src" / "compare" / "pelmar_omni_compare.exe"

    def make_prefix(self):
        if not (self.prefix / "system.reg").exists():
            log(f"creating the Wine prefix {self.prefix} (once)")
            self.prefix.mkdir(parents=True, exist_ok=True)
            subprocess.run([WINE64, "wineboot", "-i"], env=self.env, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            subprocess.run([WINESERVER, "-w"], env=self.env, check=True)
        self.scratch.mkdir(parents=True, exist_ok=True)

    def keep_server(self):
        # One server for the measurements, so that none pays for starting it
        # or Wine's services. It leaves a minute after its last process, so it
        # starts only once the inventories are written, which takes longer.
        subprocess.run([WINESERVER, "-p60"], env=self.env, stderr=subprocess.DEVNULL)

    def real_inventory(self):
        vendor = self.prefix / VENDOR_DIR
        shutil.rmtree(vendor, ignore_errors=True)
        vendor.mkdir(parents=True)
        system32 = self.prefix / "drive_c" / "windows" / "system32"
        for name, source in INSTALLATION.items():
            shutil.copyfile(system32 / source, vendor / name)
        for name, content in TEXT_FILES.items():
            (vendor / name).write_bytes(content)
        result = subprocess.run([WINE64, self.utility], env=self.env, stdin=subprocess.DEVNULL,
                                capture_output=True)
        if result.returncode != 0:
            raise SystemExit(f"the utility failed: {result.stderr!r}")
        return result.stdout

    def make_inventories(self, report):
        """The baseline and one folder per set size; the smaller sets are hard
        links to the first inventories of the largest."""
        log(f"writing {max(SIZES)} inventories")
        shutil.rmtree(self.data, ignore_errors=True)
        self.data.mkdir(parents=True)
        (self.data / "baseline.txt").write_bytes(report)
        fleet = Fleet(report)
        generator = random.Random(20261208)
        largest = self.data / str(max(SIZES))
        largest.mkdir()
        identical = []
        for index in range(max(SIZES)):
            text, same = fleet.variation(generator)
            (largest / f"pc{index:05d}.txt").write_bytes(text.encode("utf-8"))
            identical.append(same)
        expected = {}
        for size in SIZES:
            folder = self.data / str(size)
            if size != max(SIZES):
                folder.mkdir()
                for index in range(size):
                    name = f"pc{index:05d}.txt"
                    os.link(largest / name, folder / name)
            same = sum(identical[:size])
            expected[size] = f"{size} inventories: {same} identical, {size - same} differ, " \
                             "0 could not be used"
        return expected

    def run_compare(self, size, expected):
        sample = measure([WINE64, self.compare, windows_path(self.data / "baseline.txt"),
                          windows_path(self.data / str(size)) + "\\*.txt"],
                         self.env, self.scratch)
        if sample.exit_code != 1 or expected not in sample.stdout.splitlines():
            raise SystemExit(f"{size} inventories: exit {sample.exit_code}, expected 1 and "
                             f"'{expected}'; stderr: {sample.stderr[:2000]}")
        return sample

    def run_yardstick(self, size, *options):
        sample = measure([WINE64, self.yardstick, *options, windows_path(self.data / str(size))],
                         self.env, self.scratch)
        if sample.exit_code != 0 or not sample.stdout.startswith(f"{size} files"):
            raise SystemExit(f"yardstick over {size}: exit {sample.exit_code}, "
                             f"{sample.stdout!r} {sample.stderr[:2000]}")
        return sample

    def run(self):
        self.build_programs()
        self.make_prefix()
        expected = self.make_inventories(self.real_inventory())
        self.keep_server()
        programs = {
            "compare": lambda size: self.run_compare(size, expected[size]),
            "yardstick": lambda size: self.run_yardstick(size),
            "yardstick+id": lambda size: self.run_yardstick(size, "--identity"),
        }
        for size in SIZES:  # untimed: the page cache and Wine's own files
            for program in programs.values():
                program(size)
        load_before = os.getloadavg()[0]
        runs = {name: {size: [] for size in SIZES} for name in programs}
        for repetition in range(REPETITIONS):
            rotated = SIZES[repetition % len(SIZES):] + SIZES[:repetition % len(SIZES)]
            names = list(programs)
            names = names[repetition % len(names):] + names[:repetition % len(names)]
            for size in rotated:
                for name in names:  # in turns, in a rotating order
                    runs[name][size].append(programs[name](size))
        samples = runs["compare"]
        self.report(samples, (load_before, os.getloadavg()[0]))
        self.report_yardstick(runs)

    def report(self, samples, load):
        def fastest(size):
            return min(sample.wall for sample in samples[size])

        lines = [
            "",
            "pelmar_omni_compare: N inventories against one baseline, one wildcard "
            "(Wine: %s)" % subprocess.run([WINE64, "--version"], capture_output=True,
                                          text=True).stdout.strip(),
            "Machine: %d CPUs; load average %.1f when measuring began, %.1f at the end; %s." % (
                os.cpu_count(), *load, "measured at raised priority" if RAISED_PRIORITY else
                "measured without raised priority (needs root)"),
            "Seconds of wall clock for the whole process, fastest and median of %d;" % REPETITIONS,
            "cpu, server cpu: median user+system seconds of the process and of the wineserver;",
            "per cpu second: inventories per second of both together; peak working set: VmHWM.",
            "",
            "%12s %9s %9s %9s %12s %14s %15s %10s" % (
                "inventories", "min s", "median s", "cpu s", "server cpu s", "inventories/s",
                "per cpu second", "peak KiB"),
        ]
        peaks = {}
        for size in SIZES:
            cpu = statistics.median(sample.cpu for sample in samples[size])
            server = statistics.median(sample.server_cpu for sample in samples[size])
            peaks[size] = max(sample.peak_kib for sample in samples[size])
            lines.append("%12d %9.3f %9.3f %9.3f %12.3f %14.0f %15.0f %10d" % (
                size, fastest(size), statistics.median(sample.wall for sample in samples[size]),
                cpu, server, size / fastest(size), size / max(cpu + server, 0.01), peaks[size]))
        small, large = SIZES[-2], SIZES[-1]
        lines += [
            "",
            "From %d to %d inventories (the fixed cost cancels out): %.0f inventories/s." % (
                small, large, (large - small) / max(fastest(large) - fastest(small), 1e-3)),
            "Peak working set, %d over %d inventories: %+d KiB." % (
                large, SIZES[0], peaks[large] - peaks[SIZES[0]]),
            "Target: at least 5,000 inventories/s for %d inventories, whole run: %.0f/s." % (
                large, large / fastest(large)),
        ]
        print("\n".join(lines), flush=True)

    def report_yardstick(self, runs):
        print("\n".join(report_yardstick_lines(runs)), flush=True)


def report_yardstick_lines(runs):
    def fastest(name, size):
        return min(sample.wall for sample in runs[name][size])

    lines = [
        "",
        "Beside the yardstick in turns (list the folder, open, read whole and close each file):",
        "%12s %12s %15s %15s %15s %18s" % (
            "inventories", "compare s", "yardstick s", "yardstick+id s", "ratio (median)",
            "ratio (fastest)"),
    ]
    for size in SIZES:
        paired = statistics.median(
            compare.wall / yardstick.wall
            for compare, yardstick in zip(runs["compare"][size], runs["yardstick"][size]))
        lines.append("%12d %12.3f %15.3f %15.3f %15.2f %18.2f" % (
            size, fastest("compare", size), fastest("yardstick", size),
            fastest("yardstick+id", size), paired,
            fastest("compare", size) / fastest("yardstick", size)))
    large = SIZES[-1]
    lines += [
        "",
        "For %d inventories: compare / yardstick %.2f (at most 2, goal 1.3); asking each file "
        "its id costs %+.1f us per file in the yardstick." % (
            large, fastest("compare", large) / fastest("yardstick", large),
            (fastest("yardstick+id", large) - fastest("yardstick", large)) / large * 1e6),
    ]
    return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", default=str(Path(__file__).resolve().parent.parent /
                                                   "build" / "bench"),
                        help="where the build, the Wine prefix and the inventories live "
                             "(default: build/bench, shared with bench/run.sh's build)")
    CompareBench(parser.parse_args()).run()


if __name__ == "__main__":
    main()
