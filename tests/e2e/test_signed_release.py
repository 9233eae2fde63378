"""A release signed with a certificate of the test's own making: each program
in the zip carries a signature that checks out against the test's CA,
SHA256SUMS and the zip's digest cover the signed files, and each program with
its signature removed is the unsigned build, byte for byte."""

import os
import pathlib
import shutil
import subprocess
import unittest
import zipfile

import e2e_support as e2e

SOURCE_DIR = pathlib.Path(__file__).resolve().parents[2]
# Every program the release ships, by name, in the unsigned build of the same
# sources that the tests run.
BUILT_PROGRAMS = {path.name: path for path in (
    pathlib.Path(os.environ[name])
    for name in ("PELMAR_EXE", "PELMAR_COMPARE_EXE", "PELMAR_SIGNATURES_EXE"))}
PASSWORD = "test password"
RELEASE_TIMEOUT = 800


def tool(*command, cwd, **options):
    result = subprocess.run(command, cwd=cwd, capture_output=True, stdin=subprocess.DEVNULL,
                            timeout=RELEASE_TIMEOUT, **options)
    return e2e.checked(result, command[0] + " " + command[1])


def make_signing_certificate(folder):
    """A throw-away CA and a code-signing certificate it issued, with the key
    in a password-protected .pfx; returns the .pfx and the CA's certificate."""
    tool("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
         "-subj", "/CN=Pelmar Release Test CA", "-keyout", "ca.key", "-out", "ca.pem",
         "-addext", "basicConstraints=critical,CA:TRUE",
         "-addext", "keyUsage=critical,keyCertSign", cwd=folder)
    tool("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=Pelmar Release Test",
         "-keyout", "signer.key", "-out", "signer.csr", cwd=folder)
    (folder / "signer.ext").write_text("basicConstraints=CA:FALSE\n"
                                       "keyUsage=critical,digitalSignature\n"
                                       "extendedKeyUsage=codeSigning\n")
    tool("openssl", "x509", "-req", "-in", "signer.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
         "-CAcreateserial", "-days", "2", "-extfile", "signer.ext", "-out", "signer.pem",
         cwd=folder)
    tool("openssl", "pkcs12", "-export", "-inkey", "signer.key", "-in", "signer.pem",
         "-certfile", "ca.pem", "-passout", "pass:" + PASSWORD, "-out", "signer.pfx", cwd=folder)
    return folder / "signer.pfx", folder / "ca.pem"


class signed_release(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = e2e.WORK_DIR / "signed_release"
        shutil.rmtree(cls.work, ignore_errors=True)
        cls.addClassCleanup(shutil.rmtree, cls.work, ignore_errors=True)
        keys = cls.work / "keys"
        keys.mkdir(parents=True)
        pfx, cls.ca = make_signing_certificate(keys)

        out = cls.work / "out"
        environment = {name: value for name, value in os.environ.items()
                       if not name.startswith("PELMAR_SIGN_")}
        environment.update(PELMAR_SIGN_PKCS12=str(pfx), PELMAR_SIGN_PASSWORD=PASSWORD)
        tool(str(SOURCE_DIR / "scripts" / "release.sh"), str(out), str(SOURCE_DIR),
             cwd=cls.work, env=environment)
        (cls.zip,) = out.glob("*.zip")
        cls.unpacked = cls.work / "unpacked"
        with zipfile.ZipFile(cls.zip) as archive:
            archive.extractall(cls.unpacked)
        cls.programs = sorted(cls.unpacked.glob("*.exe"))

    def test_each_program_is_signed_and_is_the_unsigned_build_without_its_signature(self):
        self.assertEqual({program.name for program in self.programs}, set(BUILT_PROGRAMS))
        for program in self.programs:
            with self.subTest(program=program.name):
                # Against the test's CA alone, with no time-stamp: no network.
                verified = tool("osslsigncode", "verify", "-CAfile", str(self.ca),
                                "-in", str(program), cwd=self.work)
                self.assertIn(b"Subject: /CN=Pelmar Release Test\n", verified.stdout)
                unsigned = self.work / ("unsigned_" + program.name)
                tool("osslsigncode", "remove-signature", "-in", str(program),
                     "-out", str(unsigned), cwd=self.work)
                built = BUILT_PROGRAMS[program.name]
                self.assertEqual(unsigned.read_bytes(), built.read_bytes(),
                                 f"{program.name}, its signature removed, is not {built}"
                                 " (is the build up to date with the sources?)")

    def test_digests_cover_the_signed_files(self):
        tool("sha256sum", "--strict", "-c", "SHA256SUMS", cwd=self.unpacked)
        listed = (self.unpacked / "SHA256SUMS").read_text()
        for program in self.programs:
            self.assertIn("  " + program.name + "\n", listed)
        tool("sha256sum", "--strict", "-c", self.zip.name + ".sha256", cwd=self.zip.parent)

    def test_the_rollout_scripts_ship_beside_the_programs_with_windows_line_ends(self):
        listed = (self.unpacked / "SHA256SUMS").read_text()
        for script in sorted((SOURCE_DIR / "rollout").iterdir()):
            with self.subTest(script=script.name):
                self.assertEqual((self.unpacked / script.name).read_bytes(),
                                 script.read_bytes().replace(b"\n", b"\r\n"))
                self.assertIn("  " + script.name + "\n", listed)


if __name__ == "__main__":
    unittest.main()
