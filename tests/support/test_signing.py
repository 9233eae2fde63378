"""Real signatures for the tests, made at test time in a folder of the test's
own: a throw-away root CA and code-signing certificates (openssl),
Authenticode-signed PE files (osslsigncode, no timestamp), and driver catalogs
(.cat) written here and signed with a test certificate. No private key is ever
kept outside that folder.

The catalog hash of a file is what the system's API computes for it, and that
differs between Windows and Wine: take it from file_tags(), never from a hash
of one's own."""

import datetime
import hashlib
import os
import pathlib
import secrets
import subprocess
import typing

from asn1crypto import algos, cms, core, x509

_CATALOG_LIST = "1.3.6.1.4.1.311.10.1"
_SIGNED_DATA = "1.2.840.113549.1.7.2"
_CATALOG_LIST_USAGE = "1.3.6.1.4.1.311.12.1.1"
_CATALOG_LIST_MEMBER = "1.3.6.1.4.1.311.12.1.2"
_CAT_NAMEVALUE = "1.3.6.1.4.1.311.12.2.1"
_CAT_MEMBERINFO = "1.3.6.1.4.1.311.12.2.2"
_SPC_INDIRECT_DATA = "1.3.6.1.4.1.311.2.1.4"
_SPC_PE_IMAGE_DATA = "1.3.6.1.4.1.311.2.1.15"
_SPC_CAB_DATA = "1.3.6.1.4.1.311.2.1.25"
# The subject interface packages of PE images and of other files.
_PE_SUBJECT = "{C689AAB8-8E78-11D0-8C47-00C04FC295EE}"
_FLAT_SUBJECT = "{DE351A42-8E59-11D0-8C47-00C04FC295EE}"
_PE_SUFFIXES = (".dll", ".exe", ".sys", ".drv", ".ocx", ".cpl")
# Authenticated, name and value as text: how makecat marks a member's "File".
_NAMEVALUE_FLAGS = 0x10010001


def _run(*command):
    result = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True)
    if result.returncode != 0:
        raise AssertionError(f"{command[0]} failed with exit code {result.returncode}\n"
                             + result.stderr.decode("utf-8", "backslashreplace"))
    return result.stdout


class signer(typing.NamedTuple):
    """A code-signing certificate, its key and the root CA above it (PEM files)."""
    name: str           # the certificate's simple display name (its common name)
    certificate: pathlib.Path
    key: pathlib.Path
    chain: pathlib.Path  # the certificate, then the root CA's
    ca: pathlib.Path


class certificate_authority:
    """A throw-away root CA in `folder` that issues code-signing certificates."""

    def __init__(self, folder, name="Pelmar Test Root CA"):
        self.folder = pathlib.Path(folder)
        self.folder.mkdir(parents=True, exist_ok=True)
        self.certificate = self.folder / "root_ca.pem"
        self.key = self.folder / "root_ca.key"
        _run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256",
             "-days", "3650", "-subj", f"/CN={name}", "-keyout", self.key,
             "-out", self.certificate,
             "-addext", "basicConstraints=critical,CA:TRUE",
             "-addext", "keyUsage=critical,keyCertSign,cRLSign")

    def issue(self, name):
        """A code-signing certificate whose simple display name is `name`."""
        stem = self.folder / hashlib.sha1(name.encode("utf-8")).hexdigest()[:12]
        key, request, certificate = (stem.with_suffix(suffix)
                                     for suffix in (".key", ".csr", ".pem"))
        extensions = stem.with_suffix(".ext")
        extensions.write_text("basicConstraints=CA:FALSE\n"
                              "keyUsage=critical,digitalSignature\n"
                              "extendedKeyUsage=codeSigning\n")
        _run("openssl", "req", "-new", "-newkey", "rsa:2048", "-nodes", "-utf8",
             "-subj", f"/CN={name}", "-keyout", key, "-out", request)
        _run("openssl", "x509", "-req", "-sha256", "-days", "3650", "-in", request,
             "-CA", self.certificate, "-CAkey", self.key,
             "-set_serial", str(secrets.randbits(63)), "-extfile", extensions,
             "-out", certificate)
        chain = stem.with_suffix(".chain.pem")
        chain.write_bytes(certificate.read_bytes() + self.certificate.read_bytes())
        return signer(name, certificate, key, chain, self.certificate)


def sign_pe(by, source, target):
    """Writes `source` with an embedded Authenticode signature (SHA-256, no
    timestamp) by `by` to `target`; returns the signed bytes."""
    pathlib.Path(target).unlink(missing_ok=True)
    _run("osslsigncode", "sign", "-certs", by.chain, "-key", by.key, "-h", "sha256",
         "-in", source, "-out", target)
    return pathlib.Path(target).read_bytes()


class member(typing.NamedTuple):
    """One file a catalog vouches for: its catalog hash (20 bytes SHA-1 or 32
    bytes SHA-256, as file_tags() gives it) and the file's name. A hostile
    catalog's entry may instead hold its own tag and name bytes, and name its
    digest's algorithm ("sha1", "sha256")."""
    digest: bytes
    file_name: str
    tag: bytes = None
    name: bytes = None
    algorithm: str = None


class _spc_string(core.Choice):
    _alternatives = [("unicode", core.BMPString, {"implicit": 0}),
                     ("ascii", core.IA5String, {"implicit": 1})]


class _spc_link(core.Choice):
    _alternatives = [("url", core.IA5String, {"implicit": 0}),
                     ("moniker", core.Any, {"implicit": 1}),
                     ("file", _spc_string, {"explicit": 2})]


class _spc_pe_image_data(core.Sequence):
    _fields = [("flags", core.BitString), ("file", _spc_link, {"explicit": 0})]


class _type_and_value(core.Sequence):
    _fields = [("type", core.ObjectIdentifier), ("value", core.Any, {"optional": True})]


class _indirect_data(core.Sequence):
    _fields = [("data", _type_and_value), ("message_digest", algos.DigestInfo)]


class _member_info(core.Sequence):
    _fields = [("subject_guid", core.BMPString), ("cert_version", core.Integer)]


class _name_value(core.Sequence):
    _fields = [("tag", core.BMPString), ("flags", core.Integer), ("value", core.OctetString)]


class _any_values(core.SetOf):
    _child_spec = core.Any


class _attribute(core.Sequence):
    _fields = [("type", core.ObjectIdentifier), ("values", _any_values)]


class _attributes(core.SetOf):
    _child_spec = _attribute


class _trusted_subject(core.Sequence):
    _fields = [("identifier", core.OctetString), ("attributes", _attributes, {"optional": True})]


class _trusted_subjects(core.SequenceOf):
    _child_spec = _trusted_subject


class _object_identifiers(core.SequenceOf):
    _child_spec = core.ObjectIdentifier


class _trust_list(core.Sequence):
    _fields = [("subject_usage", _object_identifiers),
               ("list_identifier", core.OctetString),
               ("this_update", core.UTCTime),
               ("subject_algorithm", algos.DigestAlgorithm),
               ("subjects", _trusted_subjects)]


class _catalog_content(core.Sequence):
    # PKCS #7 form: the content itself, not wrapped in an octet string.
    _fields = [("content_type", core.ObjectIdentifier),
               ("content", _trust_list, {"explicit": 0})]


class _signed_data(core.Sequence):
    _fields = [("version", cms.CMSVersion),
               ("digest_algorithms", cms.DigestAlgorithms),
               ("content_info", _catalog_content),
               ("certificates", cms.CertificateSet, {"implicit": 0}),
               ("signer_infos", cms.SignerInfos)]


class _content_info(core.Sequence):
    _fields = [("content_type", core.ObjectIdentifier),
               ("content", _signed_data, {"explicit": 0})]


def _attribute_of(oid, value):
    return _attribute({"type": oid, "values": [core.Any.load(value.dump())]})


def _subject(entry):
    pe = entry.file_name.lower().endswith(_PE_SUFFIXES)
    if pe:
        data = {"type": _SPC_PE_IMAGE_DATA, "value": core.Any.load(_spc_pe_image_data({
            "flags": core.BitString(()),
            "file": _spc_link({"file": _spc_string({"unicode": "<<<Obsolete>>>"})}),
        }).dump())}
    else:
        data = {"type": _SPC_CAB_DATA}
    algorithm = entry.algorithm or {20: "sha1", 32: "sha256"}[len(entry.digest)]
    indirect = _indirect_data({"data": data, "message_digest": {
        "digest_algorithm": {"algorithm": algorithm, "parameters": core.Null()},
        "digest": entry.digest}})
    info = _member_info({"subject_guid": _PE_SUBJECT if pe else _FLAT_SUBJECT,
                         "cert_version": 512})
    name = _name_value({"tag": "File", "flags": _NAMEVALUE_FLAGS,
                        "value": entry.name or (entry.file_name + "\0").encode("utf-16-le")})
    return {"identifier": entry.tag or entry.digest.hex().upper().encode("utf-16-le"),
            "attributes": [_attribute_of(_CAT_NAMEVALUE, name),
                           _attribute_of(_CAT_MEMBERINFO, info),
                           _attribute_of(_SPC_INDIRECT_DATA, indirect)]}


def build_catalog(by, members, target, digest="sha256", content_type=_CATALOG_LIST,
                  usage=_CATALOG_LIST_USAGE):
    """Writes a driver catalog to `target`: a certificate trust list of
    `members` (member tuples), each with its hash, subject and "File" name,
    signed by `by` with the certificate chain included. Returns its bytes.

    `digest` is the signature's hash algorithm. Wine 8 opens the catalogs of
    its catalog store with a provider that has no SHA-256, and a lookup by
    hash then crashes: a catalog meant for the store there needs "sha1".
    `content_type` and `usage` say what the signed content is and what its
    trust list is for: other values than a catalog's make a signed file that
    is no catalog.
    """
    target = pathlib.Path(target)
    trust_list = _trust_list({
        "subject_usage": [usage],
        "list_identifier": secrets.token_bytes(16),
        "this_update": datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0),
        "subject_algorithm": {"algorithm": _CATALOG_LIST_MEMBER, "parameters": core.Null()},
        "subjects": [_subject(entry) for entry in members]})
    # As in Authenticode, the digest covers the content without its own tag
    # and length.
    signed_attributes = cms.CMSAttributes([
        {"type": "content_type", "values": [content_type]},
        {"type": "signing_time",
         "values": [cms.Time({"utc_time": trust_list["this_update"].native})]},
        {"type": "message_digest", "values": [hashlib.new(digest, trust_list.contents).digest()]},
    ])
    to_sign = target.with_suffix(".attributes")
    to_sign.write_bytes(signed_attributes.dump())
    signature = _run("openssl", "dgst", "-" + digest, "-sign", by.key, to_sign)
    to_sign.unlink()
    certificate = x509.Certificate.load(_der(by.certificate))
    root = x509.Certificate.load(_der(by.ca))
    signed = _signed_data({
        "version": "v1",
        "digest_algorithms": [{"algorithm": digest, "parameters": core.Null()}],
        "content_info": {"content_type": content_type, "content": trust_list},
        "certificates": [certificate, root],
        "signer_infos": [{
            "version": "v1",
            "sid": cms.SignerIdentifier({"issuer_and_serial_number": {
                "issuer": certificate.issuer, "serial_number": certificate.serial_number}}),
            "digest_algorithm": {"algorithm": digest, "parameters": core.Null()},
            "signed_attrs": signed_attributes,
            "signature_algorithm": {"algorithm": "rsassa_pkcs1v15", "parameters": core.Null()},
            "signature": signature,
        }],
    })
    catalog = _content_info({"content_type": _SIGNED_DATA, "content": signed})
    target.write_bytes(catalog.dump())
    return target.read_bytes()


def thumbprints(pem_file):
    """A certificate's thumbprints as upper-case hex: {"sha1": ..., "sha256": ...}."""
    return {digest: hashlib.new(digest, _der(pem_file)).hexdigest().upper()
            for digest in ("sha1", "sha256")}


def _der(pem_file):
    return _run("openssl", "x509", "-in", pem_file, "-outform", "DER")


def _signature_tool():
    return pathlib.Path(os.environ["PELMAR_SIGNATURE_TOOL"])


def file_tags(prefix, windows_file):
    """The catalog hashes the system's API computes for a file in a Wine
    prefix (an e2e_support.wine_prefix): {"SHA1": bytes} and, where the
    system has CryptCATAdminCalcHashFromFileHandle2, also "SHA256"."""
    output = prefix.run_helper(f"tag {windows_file}", _signature_tool(), "tag", windows_file)
    return {algorithm: bytes.fromhex(digest) for algorithm, digest in
            (line.split() for line in output.stdout.decode("utf-8").splitlines())}


def files_tags(prefix, windows_files):
    """file_tags() of several files, in one run of the tool: a list in their
    order."""
    output = prefix.run_helper("tag", _signature_tool(), "tag", *windows_files)
    tags = []
    for algorithm, digest in (line.split() for line in output.stdout.decode("utf-8").splitlines()):
        if algorithm == "SHA1":
            tags.append({})
        tags[-1][algorithm] = bytes.fromhex(digest)
    return tags


def add_catalog(prefix, windows_catalog):
    """Adds a catalog to the prefix's catalog store (the default subsystem)
    after WinVerifyTrust has accepted it; returns where the store keeps it (a
    Windows path). Under Wine 8 only a catalog signed with SHA-1 may go in
    (see build_catalog)."""
    output = prefix.run_helper(f"add {windows_catalog}", _signature_tool(), "add", windows_catalog)
    return output.stdout.decode("utf-8").strip()
