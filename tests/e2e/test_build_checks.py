"""What the shipped executables carry, read from their files without running them."""

import os
import pathlib
import unittest
import xml.etree.ElementTree as ElementTree

import pefile

import e2e_support as e2e

# DLLs that every Windows installation has; a compiler runtime DLL would not be.
SYSTEM_DLLS = {"kernel32.dll", "advapi32.dll", "msvcrt.dll", "ntdll.dll", "ole32.dll",
               "oleaut32.dll", "shell32.dll", "user32.dll", "version.dll", "winspool.drv"}
RT_VERSION, RT_MANIFEST = 16, 24
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
WINDOWS_SETTINGS_2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"


class build_checks(unittest.TestCase):
    EXE = e2e.EXE
    DESCRIPTION = e2e.TITLE
    # Imported for certain: proof that the import table was read at all.
    IMPORTS = {"winspool.drv"}
    ALLOWED_IMPORTS = SYSTEM_DLLS

    @classmethod
    def setUpClass(cls):
        cls.pe = pefile.PE(str(cls.EXE))

    def test_is_a_64_bit_console_program(self):
        self.assertEqual(self.pe.FILE_HEADER.Machine,
                         pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"])
        self.assertEqual(self.pe.OPTIONAL_HEADER.Subsystem,
                         pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_CUI"])

    def test_imports_only_dlls_of_windows(self):
        imported = {entry.dll.decode().lower()
                    for attribute in ("DIRECTORY_ENTRY_IMPORT", "DIRECTORY_ENTRY_DELAY_IMPORT")
                    for entry in getattr(self.pe, attribute, [])}
        self.assertLessEqual(self.IMPORTS, imported)
        self.assertLessEqual(imported, self.ALLOWED_IMPORTS)
        for runtime in ("libstdc++", "libgcc", "libwinpthread"):
            self.assertFalse([name for name in imported if name.startswith(runtime)])

    def resource(self, type_id):
        (kind,) = [entry for entry in self.pe.DIRECTORY_ENTRY_RESOURCE.entries
                   if entry.id == type_id]
        (name,) = kind.directory.entries
        (language,) = name.directory.entries
        data = language.data.struct
        return name.id, self.pe.get_data(data.OffsetToData, data.Size)

    def test_manifest_requests_as_invoker_without_ui_access(self):
        resource_id, data = self.resource(RT_MANIFEST)
        self.assertEqual(resource_id, 1)  # read by the loader when the process is created
        levels = ElementTree.fromstring(data).findall(
            f"./{ASM_V3}trustInfo/{ASM_V3}security/{ASM_V3}requestedPrivileges/"
            f"{ASM_V3}requestedExecutionLevel")
        self.assertEqual([level.attrib for level in levels],
                         [{"level": "asInvoker", "uiAccess": "false"}])

    def test_manifest_declares_long_path_awareness(self):
        # Paths beyond MAX_PATH then work where LongPathsEnabled is set
        # (Windows 10 1607 and later).
        settings = ElementTree.fromstring(self.resource(RT_MANIFEST)[1]).findall(
            f"./{ASM_V3}application/{ASM_V3}windowsSettings/"
            f"{WINDOWS_SETTINGS_2016}longPathAware")
        self.assertEqual([setting.text for setting in settings], ["true"])

    def test_version_resource_describes_the_program(self):
        self.assertEqual(self.resource(RT_VERSION)[0], 1)
        (fixed,) = self.pe.VS_FIXEDFILEINFO
        self.assertEqual((fixed.Signature, fixed.FileVersionMS, fixed.FileVersionLS,
                          fixed.ProductVersionMS, fixed.ProductVersionLS),
                         (0xFEEF04BD, 0x00010000, 0x00000001, 0x00010000, 0x00000001))
        self.assertEqual((fixed.FileFlagsMask, fixed.FileFlags, fixed.FileOS, fixed.FileType,
                          fixed.FileSubtype), (0x17, 0, 0x4, 0x1, 0))

        info = {entry.Key: entry for entry in self.pe.FileInfo[0]}
        (table,) = info[b"StringFileInfo"].StringTable
        self.assertEqual(table.LangID, b"040904b0")
        strings = {key.decode(): value.decode() for key, value in table.entries.items()}
        self.assertEqual(set(strings), {"CompanyName", "FileDescription", "FileVersion",
                                        "InternalName", "LegalCopyright", "OriginalFilename",
                                        "ProductName", "ProductVersion"})
        self.assertEqual(strings["FileDescription"], self.DESCRIPTION)
        self.assertEqual(strings["ProductName"], e2e.TITLE)
        for key in ("FileVersion", "ProductVersion"):
            self.assertEqual(strings[key], "1, 0, 0, 1")
        for key in ("CompanyName", "LegalCopyright"):
            self.assertIn("Pelmar", strings[key])
        self.assertIn(self.EXE.stem.lower(), strings["InternalName"].lower())
        self.assertEqual(strings["OriginalFilename"].lower(), self.EXE.name.lower())
        (translation,) = info[b"VarFileInfo"].Var
        self.assertEqual(translation.entry, {b"Translation": "0x0409 0x04b0"})


class compare_build_checks(build_checks):
    EXE = pathlib.Path(os.environ["PELMAR_COMPARE_EXE"])
    DESCRIPTION = "Pelmar Omni Inventory Compare"
    IMPORTS = {"kernel32.dll"}
    # KnownDLLs alone, which Windows maps from System32 whatever the search
    # order, and ntdll, which every process has from its start: no planted DLL
    # can stand in for them, so the program needs no DependentLoadFlags.
    # Importing more would need them.
    ALLOWED_IMPORTS = {"kernel32.dll", "advapi32.dll", "msvcrt.dll", "ntdll.dll", "shell32.dll",
                       "user32.dll"}


class signatures_build_checks(build_checks):
    EXE = pathlib.Path(os.environ["PELMAR_SIGNATURES_EXE"])
    DESCRIPTION = "Pelmar Omni Signature Check"
    IMPORTS = {"wintrust.dll", "crypt32.dll"}
    # The signature services are Windows's own too; they are no KnownDLLs,
    # so the program carries DependentLoadFlags (test_dll_planting).
    ALLOWED_IMPORTS = SYSTEM_DLLS | IMPORTS


if __name__ == "__main__":
    unittest.main()
