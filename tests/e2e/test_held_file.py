"""The driver-installed machine of test_installed_driver, unchanged but for one
file: the print processor library, which another process holds open without
sharing it for reading during the whole run."""

import unittest

import e2e_support as e2e
import test_installed_driver as installed

HELD = "pmproc.dll"


class held_file(installed.installed_driver):
    @classmethod
    def setUpClass(cls):
        driver, decoy, program_files, processor = installed.fixtures()
        cls.prefix = prefix = e2e.wine_prefix("held_file")
        cls.addClassCleanup(prefix.close)
        drivers = [(name, installed.X86, decoy) for name in cls.DECOYS] + [
            (e2e.DRIVER_NAME, installed.X64, driver), (e2e.DRIVER_NAME, installed.WIN40, decoy)]
        commands = []
        for index, (name, environment, files) in enumerate(drivers):
            commands += installed.install_commands(prefix, index, name, environment, files)
        cls.listing = prefix.spooler(*commands, "list")
        prefix.lay_out(e2e.PROGRAM_FILES_FOLDER, program_files)
        prefix.unix_path(installed.PROGRAM_FILES_X86_VENDOR).mkdir()
        prefix.lay_out(prefix.processor_folder, processor)
        # The holder checks that the sharing is really refused before it
        # starts the utility, and keeps the file until the utility has ended.
        held = e2e.with_backslash(prefix.processor_folder) + HELD
        cls.result = prefix.run(e2e.FILE_HOLDER, held, e2e.windows_path(e2e.EXE))

    def test_table_shows_every_installed_file(self):
        driver, _, program_files, processor = installed.fixtures()
        directories = e2e.MISSING | {
            1: e2e.with_backslash(self.prefix.driver_folder) + "3\\",
            2: e2e.with_backslash(self.prefix.processor_folder),
            4: e2e.PROGRAM_FILES_FOLDER,
        }
        # The held copy gets the placeholder row; the Program Files copy of
        # the same name is read as usual.
        files = {(location, name): fixture
                 for location, laid_out in ((1, driver), (2, processor), (4, program_files))
                 for name, fixture in laid_out.items() if (location, name) != (2, HELD)}
        self.assertIn((4, HELD), files)
        self.assert_run(self.result, e2e.expected_table(directories, files), e2e.BANNER, 0)


if __name__ == "__main__":
    unittest.main()
