"""DLL planting: the shipped program's DLLs that are no KnownDLLs must come
from System32, never from the program's folder or the current directory.

Windows 10 1607 and later do that for an image whose load configuration sets
DependentLoadFlags to LOAD_LIBRARY_SEARCH_SYSTEM32. Wine 8 ignores the field,
so the flag itself is checked in the file, with pefile; under Wine the program
runs beside planted copies of those DLLs under Wine's own load rules."""

import os
import pathlib
import shutil
import subprocess
import tempfile
import unittest

import pefile

import e2e_support as e2e

EXE = pathlib.Path(os.environ["PELMAR_EXE"])
WINE_RUN = os.environ["PELMAR_WINE_RUN"]
MINGW_GCC = os.environ["PELMAR_MINGW_GCC"]
SYSTEM32 = pathlib.Path(os.environ["PELMAR_BASE_PREFIX"], "drive_c", "windows", "system32")
WORK_DIR = pathlib.Path(os.environ["PELMAR_E2E_WORK_DIR"])

# Generous: a Wine process on a busy machine may take many seconds to start.
RUN_TIMEOUT = 180

# HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs of Windows
# 10 and 11: always mapped from System32, whatever the search order says.
KNOWN_DLLS = {name + ".dll" for name in (
    "advapi32", "clbcatq", "combase", "comdlg32", "coml2", "difxapi", "gdi32", "gdiplus",
    "imagehlp", "imm32", "kernel32", "msctf", "msvcrt", "normaliz", "nsi", "ole32", "oleaut32",
    "psapi", "rpcrt4", "sechost", "setupapi", "shcore", "shell32", "shlwapi", "user32",
    "wldap32", "wow64", "wow64win", "ws2_32")}

LOAD_CONFIG_ENTRY = 10
LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x800
# DependentLoadFlags: the 16-bit field at 0x4E of the 64-bit structure.
FLAGS_AT, FLAGS_END = 0x4E, 0x50
PLANTED_EXIT_CODE = 112

# Every export is a stub that is never reached: the planted library, once
# attached, leaves a marker beside itself and ends the process at once.
PLANTED_SOURCE = r"""
#include <windows.h>
int planted_stub(void) { return 0; }
BOOL WINAPI planted_entry(HINSTANCE self, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        WCHAR path[MAX_PATH + 8];
        DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
        lstrcpyW(path + length, L".loaded");
        CloseHandle(CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
        TerminateProcess(GetCurrentProcess(), %d);
    }
    return TRUE;
}
""" % PLANTED_EXIT_CODE


def plantable_imports(pe):
    """The imported DLLs a planted copy could stand in for: name -> import entry."""
    return {entry.dll.decode().lower(): entry for entry in pe.DIRECTORY_ENTRY_IMPORT
            if entry.dll.decode().lower() not in KNOWN_DLLS}


class load_configuration(unittest.TestCase):
    EXE = EXE
    # Imported for certain and no KnownDLLs: proof that the flag matters.
    PLANTABLE = {"version.dll", "winspool.drv"}

    @classmethod
    def setUpClass(cls):
        cls.pe = pefile.PE(str(cls.EXE))

    def test_asks_for_system32_only_and_nothing_else(self):
        directory = self.pe.OPTIONAL_HEADER.DATA_DIRECTORY[LOAD_CONFIG_ENTRY]
        self.assertNotEqual(directory.VirtualAddress, 0, "no load configuration")
        config = self.pe.get_data(directory.VirtualAddress, directory.Size)
        size = int.from_bytes(config[:4], "little")
        # The directory gives the structure's own size, as Microsoft's linker
        # writes it, and the loader reads only the fields that Size covers.
        self.assertEqual(directory.Size, size)
        self.assertGreaterEqual(size, FLAGS_END)
        self.assertEqual(int.from_bytes(config[FLAGS_AT:FLAGS_END], "little"),
                         LOAD_LIBRARY_SEARCH_SYSTEM32)
        # Nothing else: no security cookie for the loader to seed, no lock
        # prefixes, heap flags, SEH or guard tables.
        self.assertEqual(config[4:FLAGS_AT] + config[FLAGS_END:], bytes(size - 6))

        # pefile, reading the structure by its own layout, agrees.
        fields = self.pe.DIRECTORY_ENTRY_LOAD_CONFIG.struct
        flags = getattr(fields, "DependentLoadFlags", None)
        self.assertEqual(fields.Reserved1 if flags is None else flags, LOAD_LIBRARY_SEARCH_SYSTEM32)

    def test_every_import_beyond_the_known_dlls_is_static_and_in_system32(self):
        # The flag governs the static imports only; a delay-loaded DLL would
        # be searched for the ordinary way.
        self.assertFalse(hasattr(self.pe, "DIRECTORY_ENTRY_DELAY_IMPORT"))
        plantable = plantable_imports(self.pe)
        self.assertLessEqual(self.PLANTABLE, set(plantable))
        in_system32 = {path.name.lower() for path in SYSTEM32.iterdir()}
        # Found there, so a search of System32 alone still starts the program.
        self.assertLessEqual(set(plantable), in_system32)


class signatures_load_configuration(load_configuration):
    EXE = pathlib.Path(os.environ["PELMAR_SIGNATURES_EXE"])
    PLANTABLE = {"winspool.drv", "wintrust.dll", "crypt32.dll"}


class planted_dlls(unittest.TestCase):
    """The program copied into a folder together with a planted twin of every
    DLL it imports that is no KnownDLL, and run with that folder as its
    current directory."""

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory(dir=WORK_DIR, prefix="dll_planting-")
        cls.root = pathlib.Path(cls.work.name)
        cls.planted = cls.root / "planted"
        cls.planted.mkdir()
        source = cls.root / "planted.c"
        source.write_text(PLANTED_SOURCE)
        cls.names = sorted(plantable_imports(pefile.PE(str(EXE))).items())
        for name, entry in cls.names:
            definition = cls.root / (name + ".def")
            lines = [f'LIBRARY "{name}"', "EXPORTS"]
            for symbol in entry.imports:
                lines.append(f"  {symbol.name.decode()}=planted_stub" if symbol.name else
                             f"  ordinal{symbol.ordinal}=planted_stub @{symbol.ordinal} NONAME")
            definition.write_text("\n".join(lines) + "\n")
            e2e.checked(e2e.run_captured([MINGW_GCC, "-shared", "-nostdlib", "-Wl,-e,planted_entry",
                                          "-s", "-o", cls.planted / name, source, definition,
                                          "-lkernel32"]), f"gcc {name}")

        clean = cls.root / "clean"
        clean.mkdir()
        cls.reference = e2e.checked(cls.run_program(EXE, clean), "reference run")

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    @staticmethod
    def run_program(program, folder, overrides=None):
        """Runs `program` in the build tree's prefix with `folder` as its
        current directory; stdout and stderr hold the bytes it wrote."""
        env = {key: value for key, value in os.environ.items()
               if key not in ("WINEPREFIX", "WINEDLLOVERRIDES")}
        if overrides:
            env["WINEDLLOVERRIDES"] = overrides
        # Files, not pipes: Wine's service processes, started by the first
        # program that needs them, inherit its output handles and outlive it
        # under the persistent wineserver, so a pipe would never see its end.
        with open(folder / "stdout.bin", "w+b") as stdout, \
                open(folder / "stderr.bin", "w+b") as stderr:
            result = subprocess.run([WINE_RUN, program], cwd=folder, env=env,
                                    stdin=subprocess.DEVNULL, stdout=stdout, stderr=stderr,
                                    timeout=RUN_TIMEOUT)
            stdout.seek(0)
            stderr.seek(0)
            result.stdout, result.stderr = stdout.read(), stderr.read()
        return result

    def run_beside_planted(self, name, image, overrides=None):
        """Runs `image` (the program's bytes) from a folder holding the planted
        DLLs; returns the result and the names of the planted DLLs that ran."""
        folder = self.root / name
        shutil.copytree(self.planted, folder)
        program = folder / EXE.name
        program.write_bytes(image)
        result = self.run_program(program, folder, overrides)
        ran = sorted(marker.name.removesuffix(".loaded") for marker in folder.glob("*.loaded"))
        return result, ran

    def assert_unaffected(self, result, ran):
        self.assertEqual(ran, [])
        self.assertEqual(result.stdout, self.reference.stdout)
        self.assertEqual(result.stderr, self.reference.stderr)
        self.assertEqual(result.returncode, 0)

    def test_runs_as_usual_under_wines_default_load_order(self):
        # Wine finds the planted files first (its trace names them by their
        # path in the program's folder) but maps its own builtin DLL of that
        # name in their place: this shows the program unharmed, not the flag.
        self.assert_unaffected(*self.run_beside_planted("default_order", EXE.read_bytes()))

    def test_native_first_load_order_keeps_planted_dlls_out(self):
        # Native before builtin makes Wine take the first file its search
        # finds, as Windows does; this is where the flag would show.
        overrides = ",".join(name.removesuffix(".dll") for name, _ in self.names) + "=n,b"

        # Without the load configuration a planted DLL is loaded: the planted
        # files and the markers are sound.
        pe = pefile.PE(str(EXE))
        directory = pe.OPTIONAL_HEADER.DATA_DIRECTORY[LOAD_CONFIG_ENTRY]
        directory.VirtualAddress = directory.Size = 0
        result, ran = self.run_beside_planted("without_flag", pe.write(), overrides)
        self.assertEqual(result.returncode, PLANTED_EXIT_CODE)
        self.assertNotEqual(ran, [])

        result, ran = self.run_beside_planted("with_flag", EXE.read_bytes(), overrides)
        if ran:
            self.skipTest(f"this Wine ignores DependentLoadFlags: it loaded the planted {ran[0]}"
                          " from the program's folder")
        self.assert_unaffected(result, ran)


if __name__ == "__main__":
    unittest.main()
