"""The driver-installed machine of test_installed_driver, unchanged but for one
file: the print processor library, which another process holds open without
sharing it for reading during the whole run. Its row is the placeholder row,
while the Program Files copy of the same name is read as usual."""

import unittest

import e2e_support as e2e
import test_installed_driver as installed


class held_file(installed.installed_driver):
    PREFIX = "held_file"
    HELD = (2, "pmproc.dll")

    @classmethod
    def run_utility(cls, prefix):
        # The holder checks that the sharing is really refused before it
        # starts the utility, and keeps the file until the utility has ended.
        held = e2e.with_backslash(prefix.processor_folder) + cls.HELD[1]
        return prefix.run(e2e.FILE_HOLDER, held, e2e.windows_path(e2e.EXE))

    def test_held_file_has_a_copy_in_program_files(self):
        _, _, program_files, _ = installed.fixtures()
        self.assertIn(self.HELD[1], program_files)


if __name__ == "__main__":
    unittest.main()
