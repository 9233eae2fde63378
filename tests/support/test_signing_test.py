"""Wine 8 never compares a catalog's signed message digest with its content, so
the end-to-end tests would pass with catalogs that Windows rejects. osslsigncode
checks them the way Windows does."""

import subprocess
import tempfile
import unittest

import test_signing as signing


class catalog(unittest.TestCase):
    def test_windows_accepts_the_catalog_and_notices_a_changed_member(self):
        with tempfile.TemporaryDirectory() as folder:
            publisher = signing.certificate_authority(folder).issue("Pelmar Test Publisher")
            for digest in ("sha256", "sha1"):
                with self.subTest(digest=digest):
                    path = f"{folder}/{digest}.cat"
                    content = signing.build_catalog(publisher, [
                        signing.member(bytes(range(20)), "pmomndrv.dll"),
                        signing.member(bytes(range(32)), "pelmaromn.inf")], path, digest)
                    self.assertEqual(self.verify(path, publisher), 0)
                    tampered = content.replace(bytes(range(20)), bytes(range(1, 21)))
                    self.assertNotEqual(tampered, content)
                    with open(path, "wb") as file:
                        file.write(tampered)
                    self.assertNotEqual(self.verify(path, publisher), 0)

    @staticmethod
    def verify(path, publisher):
        return subprocess.run(["osslsigncode", "verify", "-in", path, "-CAfile", publisher.ca],
                              stdin=subprocess.DEVNULL, capture_output=True).returncode


if __name__ == "__main__":
    unittest.main()
