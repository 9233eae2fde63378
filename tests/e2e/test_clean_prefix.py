"""The utility on a machine where nothing of the product is installed."""

import subprocess
import unittest

import e2e_support as e2e


class clean_prefix(e2e.output_assertions, unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.prefix = e2e.wine_prefix("clean_prefix")
        cls.addClassCleanup(cls.prefix.close)
        processor_folder = e2e.with_backslash(cls.prefix.processor_folder)
        if not cls.prefix.unix_path(processor_folder).is_dir():
            processor_folder = e2e.MISSING[2]
        cls.table = e2e.expected_table(e2e.MISSING | {2: processor_folder}, {})

    def test_every_manifest_file_gets_a_placeholder_row(self):
        self.assertEqual(self.table.count("\r\n"), 79)
        self.assert_run(self.prefix.run_utility(stdout=subprocess.PIPE), self.table, e2e.BANNER, 0)

    def test_arguments_change_nothing(self):
        result = self.prefix.run_utility("/?", "--help", "-v", "two words", "\u00fc\u20ac", "")
        self.assert_run(result, self.table, e2e.BANNER, 0)

    def test_a_full_standard_output_fails_the_run(self):
        with open("/dev/full", "wb") as stdout:
            result = self.prefix.run_utility(stdout=stdout)
        # Wine reports the write to /dev/full as ERROR_DISK_FULL (112).
        self.assert_run(result, None, e2e.BANNER + "Failed to write the report to standard output. "
                        "Error code: 0x00000070.\r\n", 1)


if __name__ == "__main__":
    unittest.main()
