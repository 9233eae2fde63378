"""The utility on a machine whose Program Files folders have names far from
ASCII: accented Latin, CJK, Greek and Cyrillic letters, and characters beyond
the Basic Multilingual Plane, which UTF-16 holds as surrogate pairs."""

import unittest

import e2e_support as e2e

CURRENT_VERSION = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion"
PROGRAM_FILES = "C:\\Prógram Fïles ünd 日本語 😀"
PROGRAM_FILES_X86 = "C:\\Программы (x86) Ωμέγα 𝄞"


class non_ascii_folders(e2e.output_assertions, unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.prefix = prefix = e2e.wine_prefix("non_ascii_folders")
        cls.addClassCleanup(prefix.close)
        # The shell's known folders follow these values.
        prefix.import_registry(CURRENT_VERSION, {"ProgramFilesDir": PROGRAM_FILES,
                                                 "ProgramFilesDir (x86)": PROGRAM_FILES_X86})
        cls.folders = {4: PROGRAM_FILES + "\\Pelmar\\printer",
                       8: PROGRAM_FILES_X86 + "\\Pelmar\\printer"}
        libraries = prefix.root / "libraries"
        cls.files = {
            # The version service reads the resource through the same path.
            (4, "pmomnui.dll"): e2e.build_library(libraries, (7, 8, 9, 10)),
            (4, "pelmaromn.inf"): e2e.file_fixture("[Strings]\r\nName=日本語\r\n".encode("utf-16")),
            (8, "pmomnui.dll"): e2e.build_library(libraries, (1, 0, 0, 0)),
            (8, "pmproc.dll"): e2e.file_fixture(bytes(range(256)) * 300),
        }
        for (location, name), fixture in cls.files.items():
            prefix.lay_out(cls.folders[location], {name: fixture})
        cls.result = prefix.run_utility()

    def test_table_is_utf8_with_every_character_whole(self):
        processor_folder = e2e.with_backslash(self.prefix.processor_folder)
        if not self.prefix.unix_path(processor_folder).is_dir():
            processor_folder = e2e.MISSING[2]
        directories = e2e.MISSING | self.folders | {2: processor_folder}
        self.assert_run(self.result, e2e.expected_table(directories, self.files), e2e.BANNER, 0)
        # A character beyond the BMP is one four-byte sequence, never the two
        # three-byte sequences of its surrogate halves, which begin with 0xED
        # as no other character of these folders does.
        self.assertIn("😀".encode("utf-8"), self.result.stdout)
        self.assertNotIn(b"\xed", self.result.stdout)


if __name__ == "__main__":
    unittest.main()
