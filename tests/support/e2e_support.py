"""What the end-to-end tests share: the tools CMake hands over, private Wine
prefixes, running the utility, and the table it is expected to print."""

import copy
import hashlib
import os
import pathlib
import shutil
import subprocess
import tempfile
import typing

from wine_registrations import WINE_REGISTRATIONS

EXE = pathlib.Path(os.environ["PELMAR_EXE"])
SPOOLER_TOOL = pathlib.Path(os.environ["PELMAR_SPOOLER_TOOL"])
FILE_HOLDER = pathlib.Path(os.environ["PELMAR_FILE_HOLDER"])
WINE_RUN = os.environ["PELMAR_WINE_RUN"]
WINESERVER = os.environ["PELMAR_WINESERVER"]
TEMPLATE_PREFIX = pathlib.Path(os.environ["PELMAR_TEMPLATE_PREFIX"])
WORK_DIR = pathlib.Path(os.environ["PELMAR_E2E_WORK_DIR"])
WINDRES = os.environ["PELMAR_WINDRES"]
MINGW_GCC = os.environ["PELMAR_MINGW_GCC"]

# Generous: a Wine process on a busy machine may take many seconds to start.
RUN_TIMEOUT = 180

TITLE = "Pelmar Omni Print Driver Information Utility"
# Files and pipes get the line ends of the C runtime's text mode: CR LF.
BANNER = f"{TITLE} 1.0.0.1\r\nCopyright (c) Pelmar. All rights reserved.\r\n\r\n"

DRIVER_NAME = "Pelmar Omni Printer"
PROGRAM_FILES_FOLDER = "C:\\Program Files\\Pelmar\\printer"
LOCATIONS = (1, 2, 4, 8, 16)
MISSING = {
    1: "<Missing Printer Driver Directory>",
    2: "<Missing Print Processor Directory>",
    4: '<Missing "Program Files\\Pelmar\\printer" Directory>',
    8: '<Missing "Program Files (x86)\\Pelmar\\printer" Directory>',
    16: "<Missing Printer Driver Package Directory>",
}
_DRIVER_FILES, _PACKAGE_FILES, _PROCESSOR_FILES = 0x1D, 0x1C, 0x1E
MANIFEST = [(name, _DRIVER_FILES) for name in (
    "pomnres_en.dll", "pomnres_de.dll", "pomnres_fr.dll", "pomnres_ja.dll", "pomnres_es.dll",
    "pomnres_zh-CN.dll", "pomnres_zh-TW.dll", "pomnres_ko.dll", "pomnres_ru.dll",
    "pmomndrv.dll", "pmomnui.dll", "pmxpsomnui.dll", "omnprn.dll")] + [
    ("pelmaromn.cat", _PACKAGE_FILES), ("pelmaromn.inf", _PACKAGE_FILES),
    ("pelmaromn.txt", _DRIVER_FILES), ("pelmarxps.txt", _DRIVER_FILES),
    ("pelmarxpsdrv-pipelineconfig.xml", _DRIVER_FILES), ("pmproc.dll", _PROCESSOR_FILES),
    ("basecapabilities.xml", _DRIVER_FILES)]


class file_fixture(typing.NamedTuple):
    """A file a test lays out, and the version text the utility should show."""
    content: bytes
    version: str = "N/A"


def row(digest, size, version, name, directory):
    return f"{digest:<40}\t{size:>10}\t{version:<25}\t{name:<30}\t{directory}\r\n"


HEADER = row("HASH", "SIZE", "VERSION", "FILENAME", "DIRECTORY")


def expected_table(directories, files):
    """directories: location -> directory text; files: (location, name) -> file_fixture."""
    lines = [HEADER]
    for name, mask in MANIFEST:
        for location in LOCATIONS:
            if mask & location:
                fixture = files.get((location, name))
                if fixture is None:
                    lines.append(row("--", "--", "--", name, directories[location]))
                else:
                    lines.append(row(hashlib.sha1(fixture.content).hexdigest(),
                                     len(fixture.content), fixture.version, name,
                                     directories[location]))
    return "".join(lines)


def with_backslash(path):
    return path if path.endswith("\\") else path + "\\"


def windows_path(path):
    """A path of this machine as programs under Wine see it, on drive Z:."""
    return "Z:" + str(pathlib.Path(path).resolve()).replace("/", "\\")


def run_captured(command, *, stdout=None, **options):
    """Runs a host or Wine program with its output in files, not pipes: a
    wineserver or a Wine service that the program starts outlives it and would
    keep a pipe open. The result holds the bytes written (stdout only when the
    caller passed none of its own)."""
    with tempfile.TemporaryFile() as output, tempfile.TemporaryFile() as errors:
        result = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=stdout or output,
                                stderr=errors, timeout=RUN_TIMEOUT, **options)
        output.seek(0)
        errors.seek(0)
        return subprocess.CompletedProcess(result.args, result.returncode,
                                           result.stdout if stdout else output.read(),
                                           errors.read())


def checked(result, what):
    """The result of a helper the tests rely on, or an error that says how it
    failed: Wine writes a crashed program's backtrace to its standard output,
    and a program that could not start may leave standard error empty."""
    if result.returncode != 0:
        def text(data):
            return (data or b"").decode("utf-8", "backslashreplace").rstrip("\n") or "(empty)"
        raise AssertionError(f"{what} failed with exit code {result.returncode}\n"
                             f"--- standard error ---\n{text(result.stderr)}\n"
                             f"--- standard output ---\n{text(result.stdout)}")
    return result


def build_library(directory, version, x86=False):
    """A resource-only DLL whose fixed file version is `version` (four words),
    an x64 image, or an x86 one where `x86`.

    Its string table names a different version, which the utility must not show."""
    directory.mkdir(parents=True, exist_ok=True)
    stem = directory / ("v" + "_".join(map(str, version)) + ("_x86" if x86 else ""))
    windres, gcc = ((tool.replace("x86_64-", "i686-") for tool in (WINDRES, MINGW_GCC)) if x86
                    else (WINDRES, MINGW_GCC))
    numbers = ",".join(map(str, version))
    stem.with_suffix(".rc").write_text(
        f"1 VERSIONINFO\n FILEVERSION {numbers}\n PRODUCTVERSION 9,9,9,9\n"
        " FILEFLAGSMASK 0x3f\n FILEOS 0x40004\n FILETYPE 0x2\nBEGIN\n"
        ' BLOCK "StringFileInfo"\n BEGIN\n  BLOCK "040904b0"\n  BEGIN\n'
        '   VALUE "FileVersion", "9.9.9.9"\n  END\n END\n'
        ' BLOCK "VarFileInfo"\n BEGIN\n  VALUE "Translation", 0x409, 1200\n END\nEND\n')
    checked(run_captured([windres, stem.with_suffix(".rc"), "-O", "coff", "-o",
                          stem.with_suffix(".o")]), "windres")
    checked(run_captured([gcc, "-shared", "-nostdlib", "-Wl,-e,0", "-s", "-o",
                          stem.with_suffix(".dll"), stem.with_suffix(".o")]), "gcc")
    return file_fixture(stem.with_suffix(".dll").read_bytes(), ".".join(map(str, version)))


def _forget_keys(registry, keys):
    """Drops keys below HKLM and their subkeys from a prefix's saved registry,
    before any server of the prefix reads it. The file names each key in
    brackets, its backslashes doubled, before its values."""
    names = tuple("[" + key.lower().replace("\\", "\\\\") for key in keys)
    blocks = registry.read_bytes().decode("latin-1").split("\n\n")
    kept = [block for block in blocks
            if not any(block.lower().startswith((name + "]", name + "\\\\")) for name in names)]
    registry.write_bytes("\n\n".join(kept).encode("latin-1"))


def _link_or_copy(system32, spool):
    # The libraries under system32 are only ever read: linking them instead of
    # copying makes a new prefix cost a fraction of a second, not several.
    def copy(source, target):
        if source.startswith(system32) and not source.startswith(spool):
            os.link(source, target)
        else:
            shutil.copy2(source, target)
    return copy


class wine_prefix:
    """A private copy of the template prefix, which the test fixture froze from
    the build tree's prefix (see wine_prefix.sh), with a wineserver of its own,
    cleared of whatever printer drivers and product files that prefix had
    gained before."""

    def __init__(self, name):
        self.root = WORK_DIR / name
        self.path = self.root / "prefix"
        self.close()
        self.root.mkdir(parents=True)
        system32 = str(TEMPLATE_PREFIX / "drive_c" / "windows" / "system32") + os.sep
        shutil.copytree(TEMPLATE_PREFIX, self.path, symlinks=True,
                        copy_function=_link_or_copy(system32, system32 + "spool" + os.sep))
        self.env = dict(os.environ, WINEPREFIX=str(self.path))
        try:
            _forget_keys(self.path / "system.reg", WINE_REGISTRATIONS)
            checked(run_captured([WINESERVER, "-p"], env=self.env), "wineserver -p")
            self.driver_folder, self.processor_folder = self.spooler("reset", "dirs").splitlines()
            for leftover in (self.unix_path("C:\\Program Files\\Pelmar"),
                             self.unix_path("C:\\Program Files (x86)\\Pelmar")):
                shutil.rmtree(leftover, ignore_errors=True)
            self.unix_path(self.processor_folder, "pmproc.dll").unlink(missing_ok=True)
            # Wine's own unsigned stand-ins, which a real machine has signed or
            # not at all: x64\3\wineps.drv, which no driver names, and the
            # print processors' libraries (their registrations are gone too).
            for folder, name in ((self.driver_folder + "\\3", "wineps.drv"),
                                 (self.processor_folder, "wineps.drv"),
                                 (self.processor_folder, "winprint.dll")):
                self.unix_path(folder, name).unlink(missing_ok=True)
        except BaseException:
            self.close()
            raise

    def close(self):
        if self.path.exists():
            env = dict(os.environ, WINEPREFIX=str(self.path))
            subprocess.run([WINESERVER, "-k"], env=env, stderr=subprocess.DEVNULL)
            subprocess.run([WINESERVER, "-w"], env=env)
        shutil.rmtree(self.root, ignore_errors=True)

    def unix_path(self, windows_path, *names):
        drive, _, rest = windows_path.partition(":\\")
        assert drive.upper() == "C", windows_path
        return self.path.joinpath("drive_c", *[part for part in rest.split("\\") if part], *names)

    def run(self, program, *arguments, stdout=None):
        """Runs a program in the prefix (see run_captured)."""
        return run_captured([WINE_RUN, program, *arguments], env=self.env, stdout=stdout)

    def run_utility(self, *arguments, stdout=None):
        return self.run(EXE, *arguments, stdout=stdout)

    def with_environment(self, **variables):
        """This prefix, for programs run with more environment variables
        (WINEDLLOVERRIDES, say). Closing the prefix is left to the original."""
        view = copy.copy(self)
        view.env = dict(self.env, **variables)
        return view

    def import_registry(self, key, values):
        """Sets values (name -> text, a number for a REG_DWORD, or None to
        delete the value) under a key of the prefix's registry."""
        self.import_keys({key: values})

    def import_keys(self, keys, deleted=()):
        """Sets the values of several keys (key -> values, as import_registry
        takes them) and deletes the keys `deleted`, in one import. Through a
        UTF-16 file: Wine reads a command line in the host's locale, which
        need not be UTF-8."""
        def quoted(text):
            return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'

        def value(data):
            if data is None:
                return "-"  # the value deleted
            return f"dword:{data:08x}" if isinstance(data, int) else quoted(data)
        lines = ["Windows Registry Editor Version 5.00", ""]
        lines += [f"[-{key}]" for key in deleted]
        for key, values in keys.items():
            lines += [f"[{key}]"] + [f"{quoted(name)}={value(data)}"
                                     for name, data in values.items()]
        script = self.root / "import.reg"
        script.write_bytes("\r\n".join(lines + [""]).encode("utf-16"))
        self.run_helper(f"reg import {list(keys) + list(deleted)}", "reg", "import",
                        windows_path(script))

    def spooler(self, *commands):
        return self.run_helper(f"spooler tool {commands}", SPOOLER_TOOL,
                               *commands).stdout.decode("utf-8")

    def run_helper(self, what, program, *arguments):
        """Runs a program that prepares or inspects the prefix and must succeed.
        With Wine's error messages: without them, a program whose libraries
        fail to load ends with exit code 53 and nothing on standard error."""
        helper = self.with_environment(PELMAR_WINEDEBUG="-all,err+all")
        return checked(helper.run(program, *arguments), what)

    def lay_out(self, windows_folder, files):
        """Writes files (name -> file_fixture) into a folder of the prefix."""
        folder = self.unix_path(windows_folder)
        folder.mkdir(parents=True, exist_ok=True)
        for name, fixture in files.items():
            (folder / name).write_bytes(fixture.content)


class output_assertions:
    """Mixin for unittest.TestCase: byte-exact checks of one run's outcome."""

    maxDiff = None

    def assert_run(self, result, stdout, stderr, exit_code):
        # Decoded first for a readable difference, then compared byte for byte.
        # A program that failed to run (the file holder, say) shows why.
        context = f"exit code {result.returncode}, standard error: {result.stderr!r}"
        if stdout is not None:
            self.assertEqual(result.stdout.decode("utf-8", "backslashreplace"), stdout, context)
            self.assertEqual(result.stdout, stdout.encode("utf-8"))
        self.assertEqual(result.stderr.decode("utf-8", "backslashreplace"), stderr, context)
        self.assertEqual(result.stderr, stderr.encode("utf-8"))
        self.assertEqual(result.returncode, exit_code)
