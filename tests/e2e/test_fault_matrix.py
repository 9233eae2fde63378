"""Every failure the utility reports, brought about for real in Wine prefixes:
services switched off through DLL overrides, a cryptographic provider of the
tests' own registered in the provider's place, a module that puts the main
thread into another COM apartment before the program does. Each run must keep
the rows written before the failure, add exactly one failure line after the
banner and end with exit code 1."""

import random
import shutil
import unittest

import e2e_support as e2e

RPC_S_SERVER_UNAVAILABLE = 0x6BA
NTE_PROVIDER_DLL_FAIL = 0x8009001D
RPC_E_CHANGED_MODE = 0x80010106
PROVIDER_KEY = ("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Cryptography\\Defaults\\Provider\\"
                "Microsoft Enhanced RSA and AES Cryptographic Provider")

# Program Files copies of the first two manifest files, so that rows 2 and 6
# of the table are hashed; the second takes two reads of 64 KiB at most.
FILES = {"pomnres_en.dll": e2e.file_fixture(b"first\n"),
         "pomnres_de.dll": e2e.file_fixture(random.Random(7).randbytes(70000))}

# Calls rsaenh for everything, but fails the call named in PELMAR_CSP_FAILURE
# ("<function> <call number> <error code>") with that code.
PROVIDER_SOURCE = r"""
#include <windows.h>
#include <stdlib.h>
#include <string.h>
static char failing[32];
static unsigned long failing_call, failing_code, calls;
static FARPROC rsaenh(const char *name) { return GetProcAddress(LoadLibraryA("rsaenh.dll"), name); }
static BOOL fails(const char *name) {
    if (strcmp(name, failing) != 0 || ++calls != failing_call) return FALSE;
    SetLastError(failing_code);
    return TRUE;
}
BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    char setting[64];
    DWORD length = GetEnvironmentVariableA("PELMAR_CSP_FAILURE", setting, sizeof setting);
    (void)self; (void)reserved;
    if (reason == DLL_PROCESS_ATTACH && length > 0 && length < sizeof setting) {
        strncpy(failing, strtok(setting, " "), sizeof failing - 1);
        failing_call = strtoul(strtok(NULL, " "), NULL, 0);
        failing_code = strtoul(strtok(NULL, " "), NULL, 0);
    }
    return TRUE;
}
BOOL WINAPI CPCreateHash(HCRYPTPROV p, ALG_ID a, HCRYPTKEY k, DWORD f, HCRYPTHASH *h) {
    return !fails("CPCreateHash") && ((BOOL (WINAPI *)(HCRYPTPROV, ALG_ID, HCRYPTKEY, DWORD,
        HCRYPTHASH *))rsaenh("CPCreateHash"))(p, a, k, f, h);
}
BOOL WINAPI CPHashData(HCRYPTPROV p, HCRYPTHASH h, const BYTE *d, DWORD n, DWORD f) {
    return !fails("CPHashData") && ((BOOL (WINAPI *)(HCRYPTPROV, HCRYPTHASH, const BYTE *, DWORD,
        DWORD))rsaenh("CPHashData"))(p, h, d, n, f);
}
BOOL WINAPI CPGetHashParam(HCRYPTPROV p, HCRYPTHASH h, DWORD w, BYTE *d, DWORD *n, DWORD f) {
    return !fails("CPGetHashParam") && ((BOOL (WINAPI *)(HCRYPTPROV, HCRYPTHASH, DWORD, BYTE *,
        DWORD *, DWORD))rsaenh("CPGetHashParam"))(p, h, w, d, n, f);
}
"""
PROVIDER_EXPORTS = ["CPCreateHash", "CPHashData", "CPGetHashParam"] + [
    f"CP{name}=rsaenh.CP{name}" for name in (
        "AcquireContext", "Decrypt", "DeriveKey", "DestroyHash", "DestroyKey", "DuplicateHash",
        "DuplicateKey", "Encrypt", "ExportKey", "GenKey", "GenRandom", "GetKeyParam",
        "GetProvParam", "GetUserKey", "HashSessionKey", "ImportKey", "ReleaseContext",
        "SetHashParam", "SetKeyParam", "SetProvParam", "SignHash", "VerifySignature")]

# A version.dll beside the program that, once loaded, makes the main thread a
# single-threaded apartment and leaves a marker; its exports are the system's.
APARTMENT_SOURCE = r"""
#include <windows.h>
#include <objbase.h>
BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        WCHAR path[MAX_PATH + 8];
        DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
        lstrcpyW(path + length, L".loaded");
        CloseHandle(CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
        CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    }
    return TRUE;
}
"""
APARTMENT_EXPORTS = [f"{name}=kernelbase.{name}" for name in (
    "GetFileVersionInfoSizeW", "GetFileVersionInfoW", "VerQueryValueW")]


def build_module(folder, name, source, exports, *libraries):
    folder.mkdir(parents=True, exist_ok=True)
    stem = folder / name.removesuffix(".dll")
    stem.with_suffix(".c").write_text(source)
    stem.with_suffix(".def").write_text(f'LIBRARY "{name}"\nEXPORTS\n' +
                                        "".join(f"  {export}\n" for export in exports))
    e2e.checked(e2e.run_captured([e2e.MINGW_GCC, "-shared", "-s", "-o", folder / name,
                                  stem.with_suffix(".c"), stem.with_suffix(".def"), *libraries]),
                f"gcc {name}")
    return folder / name


def leading_rows(table, count):
    """The header line and the first `count` rows of a table."""
    return "".join(table.splitlines(keepends=True)[:count + 1])


def failure(message, code):
    return f"{e2e.BANNER}{message} Error code: 0x{code:08x}.\r\n"


class fault_prefix(e2e.output_assertions, unittest.TestCase):
    """A prefix with FILES in Program Files and the table it should give."""

    NAME = None

    @classmethod
    def setUpClass(cls):
        cls.prefix = prefix = e2e.wine_prefix(cls.NAME)
        cls.addClassCleanup(prefix.close)
        prefix.lay_out(e2e.PROGRAM_FILES_FOLDER, FILES)
        processor_folder = e2e.with_backslash(prefix.processor_folder)
        if not prefix.unix_path(processor_folder).is_dir():
            processor_folder = e2e.MISSING[2]
        directories = e2e.MISSING | {2: processor_folder, 4: e2e.PROGRAM_FILES_FOLDER}
        cls.table = e2e.expected_table(directories, {(4, name): file
                                                     for name, file in FILES.items()})


class unavailable_services(fault_prefix):
    NAME = "faults_services"

    def test_print_processor_folder_unavailable(self):
        # Wine's spooler functions load the local print provider on demand;
        # without it they fail with RPC_S_SERVER_UNAVAILABLE. The driver
        # enumeration reads the registry itself and, with no driver
        # installed, never needs the provider: the failure comes with the
        # first print processor row, after the 70 rows of entries 1 to 18.
        result = self.prefix.with_environment(WINEDLLOVERRIDES="localspl=d").run_utility()
        self.assert_run(result, leading_rows(self.table, 70),
                        failure("Failed to get print processor directory.",
                                RPC_S_SERVER_UNAVAILABLE), 1)

    def test_cryptographic_provider_unavailable(self):
        result = self.prefix.with_environment(WINEDLLOVERRIDES="rsaenh=d").run_utility()
        self.assert_run(result, "", failure("Cryptographic operation failed.",
                                            NTE_PROVIDER_DLL_FAIL), 1)

    def test_com_refused_when_the_thread_has_another_apartment(self):
        folder = self.prefix.root / "apartment"
        build_module(folder, "version.dll", APARTMENT_SOURCE, APARTMENT_EXPORTS, "-lole32")
        program = shutil.copy(e2e.EXE, folder)
        # Native before builtin, so that Wine takes the copy beside the program.
        result = self.prefix.with_environment(WINEDLLOVERRIDES="version=n,b").run(program)
        if not (folder / "version.dll.loaded").exists():
            self.skipTest("the module beside the program was not loaded: this system honours"
                          " the program's DependentLoadFlags")
        self.assert_run(result, "", failure("Failed to initialize COM.", RPC_E_CHANGED_MODE), 1)

    def test_own_version_unreadable_leaves_the_title_alone(self):
        # GetModuleFileNameW cuts a path of more than 260 characters, so the
        # version resource is looked for in a file that does not exist.
        folder = self.prefix.root.joinpath("p" * 120, "q" * 120)
        folder.mkdir(parents=True)
        program = shutil.copy(e2e.EXE, folder)
        self.assertGreater(len(e2e.windows_path(program)), 260)
        result = self.prefix.run(program)
        self.assert_run(result, self.table, e2e.BANNER.replace(" 1.0.0.1\r\n", "\r\n"), 0)


class unavailable_driver_enumeration(fault_prefix):
    NAME = "faults_driver"

    def test_driver_enumeration_unavailable(self):
        # With a driver installed, Wine's enumeration asks the print provider
        # for the driver folder, at the very first row.
        setup = "C:\\pelmar_setup"
        self.prefix.lay_out(setup, {name: FILES["pomnres_en.dll"] for name in ("a", "b", "c")})
        self.prefix.spooler("add", e2e.DRIVER_NAME, "-", *[f"{setup}\\{name}" for name in "abc"],
                            "-")
        result = self.prefix.with_environment(WINEDLLOVERRIDES="localspl=d").run_utility()
        self.assert_run(result, e2e.HEADER, failure("An unexpected Windows exception occurred.",
                                                    RPC_S_SERVER_UNAVAILABLE), 1)


class failing_provider(fault_prefix):
    """The provider's registration points at a module that passes every call
    on to Wine's rsaenh, except the one a test names, which fails."""

    NAME = "faults_provider"

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        module = build_module(cls.prefix.root / "provider", "pelmar_csp.dll", PROVIDER_SOURCE,
                              PROVIDER_EXPORTS)
        cls.prefix.import_registry(PROVIDER_KEY, {"Image Path": e2e.windows_path(module)})

    def run_failing(self, setting):
        return self.prefix.with_environment(PELMAR_CSP_FAILURE=setting).run_utility()

    def test_provider_passing_every_call_on_changes_nothing(self):
        self.assert_run(self.run_failing("none 0 0"), self.table, e2e.BANNER, 0)

    def test_failing_hash_call_ends_the_run_after_the_rows_before(self):
        cases = [
            # The second file's hash object: rows 1 to 5 stay.
            ("CPCreateHash 2 0x8009000e", 5, 0x8009000E),
            # The second read of the second file, midway through it.
            ("CPHashData 3 0x80090020", 5, 0x80090020),
            # The first file's hash value (its size is the first query).
            ("CPGetHashParam 2 0x80090002", 1, 0x80090002),
        ]
        for setting, rows, code in cases:
            with self.subTest(setting):
                self.assert_run(self.run_failing(setting), leading_rows(self.table, rows),
                                failure("Cryptographic operation failed.", code), 1)


if __name__ == "__main__":
    unittest.main()
