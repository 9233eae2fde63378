"""The utility on a machine where the product's driver is installed through the
spooler, among drivers whose names almost match its own."""

import functools
import random
import unittest

import e2e_support as e2e

X86, X64, WIN40 = "Windows NT x86", "Windows x64", "Windows 4.0"
PROGRAM_FILES_X86_VENDOR = "C:\\Program Files (x86)\\Pelmar"


def noise(seed, size):
    return e2e.file_fixture(random.Random(seed).randbytes(size))


@functools.lru_cache(maxsize=None)
def fixtures():
    def library(*version):
        return e2e.build_library(e2e.WORK_DIR / "libraries", version)

    # In the spooler's order: main library, data file, configuration library,
    # then the dependent files.
    driver = {
        "pmomndrv.dll": library(1, 2, 0, 7),
        "pelmarxpsdrv-pipelineconfig.xml": e2e.file_fixture(b'<?xml version="1.0"?>\n<config/>\n'),
        "pmomnui.dll": library(10, 0, 1, 65535),
        "pomnres_en.dll": library(3, 14, 15, 926),
        "pomnres_de.dll": e2e.file_fixture(b"MZ, but no version resource\n"),
        "pelmaromn.txt": e2e.file_fixture(b""),
        "basecapabilities.xml": noise(1, 65536),
    }
    # Same names, other contents: a decoy taken for the driver shows up in
    # every column.
    decoy = {
        "pmomndrv.dll": library(6, 6, 6, 6),
        "pelmarxpsdrv-pipelineconfig.xml": e2e.file_fixture(b"<decoy/>\n"),
        "pmomnui.dll": library(6, 6, 6, 7),
        "omnprn.dll": noise(2, 100),
    }
    program_files = {
        "pelmaromn.inf": e2e.file_fixture(b""),
        "pelmaromn.cat": noise(3, 200_001),
        "pomnres_ja.dll": noise(4, 131072),
        "pmproc.dll": library(5, 0, 2195, 1),
        "pelmaromn.txt": e2e.file_fixture("Pelmar Omni \u2014 read me\r\n".encode("utf-8")),
        # A text-mode read would end at the Ctrl-Z and fold the CR LF pairs.
        "pelmarxps.txt": e2e.file_fixture(b"first line\r\nsecond line\r\n\x1a after the end\n"),
    }
    processor = {"pmproc.dll": library(4, 3, 2, 1)}
    return driver, decoy, program_files, processor


def install_commands(prefix, tag, name, environment, files):
    """Stages files in the prefix; returns the spooler tool's command for them."""
    folder = f"C:\\pelmar_setup\\{tag}"
    prefix.lay_out(folder, files)
    paths = [f"{folder}\\{file_name}" for file_name in files]
    return ["add", name, environment, *paths[:3], ",".join(paths[3:]) or "-"]


def driver_records(listing, level):
    return [line.split("\t")[1:] for line in listing.splitlines() if line.startswith(f"{level}\t")]


class installed_driver(e2e.output_assertions, unittest.TestCase):
    DECOYS = [e2e.DRIVER_NAME + " ", e2e.DRIVER_NAME + " XL", e2e.DRIVER_NAME[:-1]]
    PREFIX = "installed_driver"
    # The (location, file name) that another process keeps from being read.
    HELD = None

    @classmethod
    def setUpClass(cls):
        driver, decoy, program_files, processor = fixtures()
        cls.prefix = prefix = e2e.wine_prefix(cls.PREFIX)
        cls.addClassCleanup(prefix.close)
        drivers = [(name, X86, decoy) for name in cls.DECOYS] + [
            (e2e.DRIVER_NAME, X64, driver), (e2e.DRIVER_NAME, WIN40, decoy)]
        commands = []
        for index, (name, environment, files) in enumerate(drivers):
            commands += install_commands(prefix, index, name, environment, files)
        cls.listing = prefix.spooler(*commands, "list")
        prefix.lay_out(e2e.PROGRAM_FILES_FOLDER, program_files)
        prefix.unix_path(PROGRAM_FILES_X86_VENDOR).mkdir()
        prefix.lay_out(prefix.processor_folder, processor)
        cls.result = cls.run_utility(prefix)

    @classmethod
    def run_utility(cls, prefix):
        return prefix.run_utility()

    def test_spooler_lists_the_decoys_before_the_driver(self):
        # Otherwise a lax name comparison could still pick the right driver.
        records = driver_records(self.listing, 2)
        first = [name for _, name, _ in records].index(e2e.DRIVER_NAME)
        self.assertCountEqual([name for _, name, _ in records[:first]], self.DECOYS)
        self.assertEqual([environment for environment, name, _ in records
                          if name == e2e.DRIVER_NAME], [X64, WIN40])
        self.assertEqual({path for _, _, path in driver_records(self.listing, 8)}, {"(null)"})

    def test_table_shows_every_installed_file(self):
        driver, _, program_files, processor = fixtures()
        directories = e2e.MISSING | {
            1: e2e.with_backslash(self.prefix.driver_folder) + "3\\",
            2: e2e.with_backslash(self.prefix.processor_folder),
            4: e2e.PROGRAM_FILES_FOLDER,
        }
        files = {(location, name): fixture
                 for location, laid_out in ((1, driver), (2, processor), (4, program_files))
                 for name, fixture in laid_out.items() if (location, name) != self.HELD}
        self.assert_run(self.result, e2e.expected_table(directories, files), e2e.BANNER, 0)


class case_decoy(e2e.output_assertions, unittest.TestCase):
    """The spooler keys drivers case-insensitively, so this decoy gets a world of
    its own."""

    NAME = e2e.DRIVER_NAME.lower()

    @classmethod
    def setUpClass(cls):
        cls.prefix = prefix = e2e.wine_prefix("case_decoy")
        cls.addClassCleanup(prefix.close)
        cls.listing = prefix.spooler(
            *install_commands(prefix, "case", cls.NAME, X64, fixtures()[0]), "list")
        cls.result = prefix.run_utility()

    def test_a_name_differing_in_letter_case_does_not_match(self):
        folder = e2e.with_backslash(self.prefix.driver_folder) + "3\\"
        self.assertEqual(driver_records(self.listing, 2),
                         [[X64, self.NAME, folder + "pmomndrv.dll"]])
        self.assertTrue(self.prefix.unix_path(folder, "pmomndrv.dll").is_file())
        directories = e2e.MISSING | {2: e2e.with_backslash(self.prefix.processor_folder)}
        self.assert_run(self.result, e2e.expected_table(directories, {}), e2e.BANNER, 0)


if __name__ == "__main__":
    unittest.main()
