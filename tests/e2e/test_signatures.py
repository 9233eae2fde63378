"""The signature check on a machine with the product's files in three folders,
signed with real signatures of a throw-away CA: embedded Authenticode
signatures made by osslsigncode, the package's own pelmaromn.cat, and a
catalog in the system's catalog store. What the program prints is compared
byte for byte with rows built here from what each file was made to be."""

import collections
import functools
import hashlib
import os
import pathlib
import unittest

import e2e_support as e2e
import test_signing as signing

SIGNATURES_EXE = pathlib.Path(os.environ["PELMAR_SIGNATURES_EXE"])
PUBLISHER = "Pelmar Test Publisher"
STRANGER = "Somebody Else"
# A name that would break its row and read backwards, and how the row shows it.
HOSTILE = "Pelmar\r\n\u202eEvil"
HOSTILE_SHOWN = "Pelmar\\u000D\\u000A\\u202EEvil"
PROGRAM_FILES_X86_FOLDER = "C:\\Program Files (x86)\\Pelmar\\printer"
STATUS_ORDER = ["signed", "catalog", "unsigned", "altered", "invalid", "unreadable",
                "other signer", "replaced", "unchecked"]
BAD_DIGEST = "content differs from what was signed. Error code: 0x80096010."
NOT_A_CATALOG = "not a signed catalog. Error code: 0x800b0003."
HELD = "cannot be read. Error code: 0x00000020."
ANOTHER_HASH = "pelmaromn.cat lists another hash"


verdict = collections.namedtuple("verdict", "status signer detail")


def row(status, signer, name, detail, directory):
    return f"{status:<12}\t{signer or '--':<30}\t{name:<30}\t{detail or '--':<40}\t{directory}\r\n"


HEADER = row("STATUS", "SIGNER", "FILENAME", "DETAIL", "DIRECTORY")


def expected_output(directories, verdicts):
    """directories: location -> text; verdicts: (location, name) -> verdict.
    The rows in the inventory's order, then the summary line."""
    lines = [HEADER]
    counts = collections.Counter()
    for name, mask in e2e.MANIFEST:
        for location in e2e.LOCATIONS:
            found = verdicts.get((location, name))
            if mask & location and found is not None:
                lines.append(row(found.status, found.signer, name, found.detail,
                                 directories[location]))
                counts[found.status] += 1
    total = sum(counts.values())
    summary = f"{total} file{'' if total == 1 else 's'}"
    if total == 0:
        summary += ": no file of the driver was found"
    else:
        ranked = sorted(counts, key=lambda status: (-counts[status], STATUS_ORDER.index(status)))
        summary += ": " + ", ".join(f"{counts[status]} {status}" for status in ranked)
    # Nothing else in the spooler's folders but Wine's colour profile.
    return ("".join(lines) + summary +
            "; 0 unclaimed; 1 claimed; 0 registered; 0 exposed settings\r\n")


@functools.lru_cache(maxsize=None)
def made_files():
    """The libraries and the signers, made once: name -> bytes."""
    work = e2e.WORK_DIR / "signatures_files"
    work.mkdir(parents=True, exist_ok=True)
    ca = signing.certificate_authority(work / "ca")
    publisher, stranger, hostile = ca.issue(PUBLISHER), ca.issue(STRANGER), ca.issue(HOSTILE)
    impostor = signing.certificate_authority(work / "other_ca").issue(PUBLISHER)
    libraries = work / "libraries"

    def library(*version):
        return e2e.build_library(libraries, version).content

    def signed(by, content, name):
        (work / f"{name}.unsigned").write_bytes(content)
        return signing.sign_pe(by, work / f"{name}.unsigned", work / f"{name}.signed")

    driver = signed(publisher, library(1, 2, 0, 7), "driver")
    older_driver = signed(publisher, library(1, 2, 0, 5), "older_driver")
    altered = bytearray(signed(publisher, library(10, 0, 1, 65535), "ui"))
    # In the image, past the headers: the signature no longer covers it.
    altered[0x400] ^= 0x01
    return {
        "publisher": publisher,
        "stranger": stranger,
        "other CA": impostor.ca,
        "pmomndrv.dll": driver,
        "older pmomndrv.dll": older_driver,
        "pmomnui.dll": bytes(altered),
        "pmxpsomnui.dll": signed(stranger, library(3, 0, 0, 1), "xps"),
        "omnprn.dll": library(4, 0, 0, 2),
        "pomnres_en.dll": library(5, 0, 0, 3),
        "pmproc.dll": signed(publisher, library(6, 0, 0, 4), "processor"),
        "pomnres_de.dll": signed(hostile, library(7, 0, 0, 1), "hostile"),
        # The same name from another CA: told apart only by --thumbprint.
        "impostor": signed(impostor, library(8, 0, 0, 1), "impostor"),
    }


class signatures(e2e.output_assertions, unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        files = made_files()
        publisher = files["publisher"]
        cls.prefix = prefix = e2e.wine_prefix("signatures")
        cls.addClassCleanup(prefix.close)
        cls.directories = e2e.MISSING | {
            2: e2e.with_backslash(prefix.processor_folder),
            4: e2e.PROGRAM_FILES_FOLDER,
            8: PROGRAM_FILES_X86_FOLDER,
        }
        text = {
            "pelmaromn.inf": b"[Version]\r\nSignature=\"$Windows NT$\"\r\n",
            "pelmaromn.txt": "Pelmar Omni \u2014 read me\r\n".encode("utf-8"),
            "pelmarxps.txt": b"as catalogued\r\n",
            "basecapabilities.xml": b"<capabilities/>\r\n",
        }
        # Program Files: the package with its own catalog.
        package = {name: files[name] for name in (
            "pmomndrv.dll", "pmomnui.dll", "pmxpsomnui.dll", "omnprn.dll", "pomnres_en.dll")}
        package |= {name: text[name] for name in ("pelmaromn.inf", "pelmaromn.txt",
                                                  "pelmarxps.txt")}
        prefix.lay_out(e2e.PROGRAM_FILES_FOLDER,
                       {name: e2e.file_fixture(content) for name, content in package.items()})
        catalogued = ["pomnres_en.dll", "pelmaromn.inf", "pelmaromn.txt", "pelmarxps.txt"]
        cls.tags = {name: cls.tag(e2e.PROGRAM_FILES_FOLDER, name) for name in catalogued}
        members = [signing.member(cls.tags[name], name) for name in catalogued]
        # The package lists an older build of the driver than the one in place.
        prefix.lay_out(e2e.PROGRAM_FILES_FOLDER,
                       {"pmomndrv.dll": e2e.file_fixture(files["older pmomndrv.dll"])})
        members.append(signing.member(cls.tag(e2e.PROGRAM_FILES_FOLDER, "pmomndrv.dll"),
                                      "PMOMNDRV.DLL"))
        cls.catalog = signing.build_catalog(
            publisher, members, prefix.unix_path(e2e.PROGRAM_FILES_FOLDER, "pelmaromn.cat"))
        # Changed after the catalog was made: the catalog names them with
        # another hash, pelmaromn.inf with the bytes of another file it lists.
        prefix.lay_out(e2e.PROGRAM_FILES_FOLDER, {
            "pmomndrv.dll": e2e.file_fixture(files["pmomndrv.dll"]),
            "pelmarxps.txt": e2e.file_fixture(b"changed since\r\n"),
            "pelmaromn.inf": e2e.file_fixture(text["pelmaromn.txt"])})

        # Program Files (x86): a cut-off copy of that catalog, and a file that
        # only a catalog of the system's store vouches for. Under Wine 8 only
        # a catalog signed with SHA-1 can be in that store.
        x86 = {"pelmaromn.cat": cls.catalog[:1500], "pelmaromn.inf": text["pelmaromn.inf"],
               "basecapabilities.xml": text["basecapabilities.xml"],
               "pmproc.dll": files["pmproc.dll"], "pomnres_de.dll": files["pomnres_de.dll"]}
        prefix.lay_out(PROGRAM_FILES_X86_FOLDER,
                       {name: e2e.file_fixture(content) for name, content in x86.items()})
        store_member = signing.member(cls.tag(PROGRAM_FILES_X86_FOLDER, "basecapabilities.xml"),
                                      "basecapabilities.xml")
        staged = "C:\\pelmar_setup\\oem42.cat"
        prefix.unix_path("C:\\pelmar_setup").mkdir(exist_ok=True)
        signing.build_catalog(publisher, [store_member], prefix.unix_path(staged), digest="sha1")
        signing.add_catalog(prefix, staged)

        # The print processor folder: a signed file that is held open without
        # read sharing during the first run.
        prefix.lay_out(prefix.processor_folder, {"pmproc.dll": e2e.file_fixture(files["pmproc.dll"])})

        held = e2e.with_backslash(prefix.processor_folder) + "pmproc.dll"
        cls.held_run = prefix.run(e2e.FILE_HOLDER, held, e2e.windows_path(SIGNATURES_EXE))
        cls.signer_run = prefix.run(SIGNATURES_EXE, "--signer", "Nobody", "--signer", PUBLISHER)

    @classmethod
    def tag(cls, folder, name):
        return signing.file_tags(cls.prefix, f"{folder}\\{name}")["SHA1"]

    def verdicts(self, expected_signer=None):
        def signed_by(who):
            ok = expected_signer is None or who == expected_signer
            return verdict("signed" if ok else "other signer", who, "")
        return {
            (4, "pmomndrv.dll"): verdict("replaced", PUBLISHER, "not the file pelmaromn.cat lists"),
            (4, "pmomnui.dll"): verdict("altered", "", BAD_DIGEST),
            (4, "pmxpsomnui.dll"): signed_by(STRANGER),
            (4, "omnprn.dll"): verdict("unsigned", "", ""),
            (4, "pomnres_en.dll"): verdict("catalog", PUBLISHER, "pelmaromn.cat"),
            (4, "pelmaromn.inf"): verdict("altered", PUBLISHER, ANOTHER_HASH),
            (4, "pelmaromn.txt"): verdict("catalog", PUBLISHER, "pelmaromn.cat"),
            (4, "pelmarxps.txt"): verdict("altered", PUBLISHER, ANOTHER_HASH),
            (4, "pelmaromn.cat"): signed_by(PUBLISHER),
            # Beside a damaged catalog, each file stands on what else vouches for it.
            (8, "pelmaromn.cat"): verdict("invalid", "", NOT_A_CATALOG),
            (8, "pelmaromn.inf"): verdict("unsigned", "", ""),
            (8, "basecapabilities.xml"): verdict("catalog", PUBLISHER, "oem42.cat"),
            (8, "pmproc.dll"): signed_by(PUBLISHER),
            (8, "pomnres_de.dll"): signed_by(HOSTILE_SHOWN),
            (2, "pmproc.dll"): signed_by(PUBLISHER),
        }

    @staticmethod
    def rows_of(result):
        """(name, directory) -> verdict of each row a run printed."""
        rows = {}
        for line in result.stdout.decode("utf-8").splitlines()[1:-1]:
            status, signer, name, detail, directory = (cell.strip() for cell in line.split("\t"))
            rows[name, directory] = verdict(status, "" if signer == "--" else signer,
                                            "" if detail == "--" else detail)
        return rows

    def test_a_catalog_unlike_the_signing_tools_vouches_for_nothing(self):
        """Signed catalogs in Program Files (x86), beside pelmaromn.inf, which
        the valid one lists."""
        folder = PROGRAM_FILES_X86_FOLDER
        target = self.prefix.unix_path(folder, "pelmaromn.cat")
        self.addCleanup(target.write_bytes, target.read_bytes())
        tag = self.tag(folder, "pelmaromn.inf")
        listed = signing.member(tag, "pelmaromn.inf")
        text = "pelmaromn.inf\0".encode("utf-16-le")
        malformed = "invalid", PUBLISHER, "malformed catalog: "
        cases = [
            # What Wine cannot compute is said so, and checks nothing.
            ([signing.member(bytes(32), "pelmaromn.inf")], {}, ("signed", PUBLISHER, ""),
             verdict("unchecked", "", "pelmaromn.cat lists a SHA-256 hash, which this Windows "
                     "cannot compute"), 2),
            ([listed._replace(digest=b"", algorithm="sha1", tag=tag.hex().upper().encode(
                "utf-16-le"))], {},
             verdict(*malformed[:2], malformed[2] + "an entry without a digest"), None, 1),
            ([listed, listed._replace(file_name="pelmaromn.txt")], {},
             verdict(*malformed[:2], malformed[2] + "a tag listed twice"), None, 1),
            # A package of two architectures' copies: one name with two hashes.
            ([listed._replace(digest=bytes(20)), listed], {}, ("signed", PUBLISHER, ""),
             verdict("catalog", PUBLISHER, "pelmaromn.cat"), 1),
            ([listed._replace(tag="AB\0CD".encode("utf-16-le"))], {},
             verdict(*malformed[:2], malformed[2] + "a tag that is not text"), None, 1),
            ([listed._replace(name=text[:-1])], {},
             verdict(*malformed[:2], malformed[2] + "a file name that is not text"), None, 1),
            # Wine's verification already refuses it as no catalog.
            ([listed], {"content_type": "1.2.840.113549.1.7.1"},
             verdict("invalid", "", "signature not valid. Error code: 0x8009310b."), None, 1),
            ([listed], {"usage": "1.3.6.1.5.5.7.3.3"},
             verdict("invalid", PUBLISHER, "not a catalog: a trust list of another kind"), None,
             1),
        ]
        for members, options, own, beside, exit_code in cases:
            with self.subTest(own=own):
                signing.build_catalog(made_files()["publisher"], members, target, **options)
                result = self.prefix.run(SIGNATURES_EXE)
                rows = self.rows_of(result)
                self.assertEqual(rows["pelmaromn.cat", folder], verdict(*own))
                self.assertEqual(rows["pelmaromn.inf", folder],
                                 beside or verdict("unsigned", "", ""))
                self.assertEqual(result.returncode, exit_code)

    def test_a_system_catalog_vouches_for_a_driver_file_only_under_its_name(self):
        """Another vendor's file, catalogued by the same signer, in a driver
        file's place."""
        folder = PROGRAM_FILES_X86_FOLDER
        target = self.prefix.unix_path(folder, "omnprn.dll")
        target.write_bytes(made_files()["omnprn.dll"])
        self.addCleanup(target.unlink)
        staged = "C:\\pelmar_setup\\oem43.cat"
        signing.build_catalog(made_files()["publisher"],
                              [signing.member(self.tag(folder, "omnprn.dll"), "vendorprn.dll")],
                              self.prefix.unix_path(staged), digest="sha1")
        self.addCleanup(self.prefix.unix_path(signing.add_catalog(self.prefix, staged)).unlink)
        result = self.prefix.run(SIGNATURES_EXE)
        self.assertEqual(self.rows_of(result)["omnprn.dll", folder],
                         verdict("replaced", PUBLISHER, "oem43.cat lists it as vendorprn.dll"))
        self.assertEqual(result.returncode, 1)

    def test_a_folder_in_a_files_place_is_said_so(self):
        folder = self.prefix.unix_path(PROGRAM_FILES_X86_FOLDER, "omnprn.dll")
        folder.mkdir()
        self.addCleanup(folder.rmdir)
        result = self.prefix.run(SIGNATURES_EXE)
        self.assertEqual(self.rows_of(result)["omnprn.dll", PROGRAM_FILES_X86_FOLDER],
                         verdict("unreadable", "", "a folder, not a file"))
        self.assertEqual(result.returncode, 2)

    def test_thumbprint_tells_two_cas_signers_of_one_name_apart(self):
        folder = PROGRAM_FILES_X86_FOLDER
        for name, content in (("omnprn.dll", made_files()["impostor"]),
                              ("pmproc.dll", made_files()["pmproc.dll"])):
            path = self.prefix.unix_path(folder, name)
            if not path.exists():
                self.addCleanup(path.unlink)
            path.write_bytes(content)
        ours, theirs = (signing.thumbprints(made_files()["publisher"].ca),
                        signing.thumbprints(made_files()["other CA"]))
        for pinned, publisher, other in ((ours["sha1"], "signed", "other signer"),
                                          (theirs["sha256"], "other signer", "signed")):
            # As the Certificates console shows it: in pairs, in lower case.
            shown = " ".join(pinned[index:index + 2] for index in range(0, len(pinned), 2))
            result = self.prefix.run(SIGNATURES_EXE, "--signer", PUBLISHER,
                                     "--thumbprint", shown.lower())
            rows = self.rows_of(result)
            self.assertEqual(rows["pmproc.dll", folder], verdict(publisher, PUBLISHER, ""))
            self.assertEqual(rows["omnprn.dll", folder], verdict(other, PUBLISHER, ""))

    def test_catalog_tags_are_the_whole_files_sha1_under_wine(self):
        # What the members carry: under Wine 8 the API's hash of a PE file too.
        self.assertEqual(self.tags["pomnres_en.dll"],
                         hashlib.sha1(made_files()["pomnres_en.dll"]).digest())

    def test_held_file_is_unreadable_and_wins_the_exit_code(self):
        expected = self.verdicts() | {(2, "pmproc.dll"): verdict("unreadable", "", HELD)}
        self.assert_run(self.held_run, expected_output(self.directories, expected), "", 2)

    def test_expected_signers_make_others_other_signers(self):
        expected = self.verdicts(expected_signer=PUBLISHER)
        self.assert_run(self.signer_run, expected_output(self.directories, expected), "", 1)

    def test_exit_code_0_only_when_every_file_found_is_vouched_for_and_1_when_none_is_found(self):
        # The same machine, after the files that fail have gone: then all of them.
        vouched = {key: found for key, found in self.verdicts().items()
                   if found.status in ("signed", "catalog")}
        for location, name in set(self.verdicts()) - set(vouched):
            folder = self.directories[location]
            self.prefix.unix_path(folder, name).unlink()
        result = self.prefix.run(SIGNATURES_EXE)
        self.assert_run(result, expected_output(self.directories, vouched), "", 0)

        for location, name in vouched:
            self.prefix.unix_path(self.directories[location], name).unlink()
        result = self.prefix.run(SIGNATURES_EXE)
        self.assert_run(result, expected_output(self.directories, {}), "", 1)


class native_environment(unittest.TestCase):
    def test_the_x64_records_folder_is_judged_though_the_x86_one_comes_first(self):
        prefix = e2e.wine_prefix("signatures_native")
        self.addCleanup(prefix.close)
        driver = {"pmomndrv.dll": e2e.file_fixture(made_files()["pmomndrv.dll"])}
        prefix.lay_out("C:\\pelmar_setup", driver)
        staged = ["C:\\pelmar_setup\\pmomndrv.dll"] * 3
        listing = prefix.spooler("add", e2e.DRIVER_NAME, "Windows NT x86", *staged, "-",
                                 "add", e2e.DRIVER_NAME, "Windows x64", *staged, "-", "list")
        folders = [line.split("\t")[3].removesuffix("pmomndrv.dll")
                   for line in listing.splitlines() if line.startswith("2\t")]
        for folder in folders:
            prefix.lay_out(folder, driver)
        self.assertEqual([folder.lower().split("\\")[-3] for folder in folders], ["w32x86", "x64"])
        rows = signatures.rows_of(prefix.run(SIGNATURES_EXE))
        self.assertEqual([key for key in rows if key[0] == "pmomndrv.dll"],
                         [("pmomndrv.dll", folders[1])])
        self.assertEqual(rows["pmomndrv.dll", folders[1]], verdict("signed", PUBLISHER, ""))


if __name__ == "__main__":
    unittest.main()
