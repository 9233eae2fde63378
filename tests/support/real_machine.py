"""Wine prefixes whose spooler folders look like a real Windows machine's: a
Windows 11 client and a Server 2022 print server, laid out as public listings
of real machines show them. Each image is a PE of its folder's architecture,
signed as Windows signs it, by test certificates of the real signers' names:
in-box files by "Microsoft Windows" (some embedded, some through a catalog in
the system's store only), a vendor's by its own name and listed in its
package's catalog in the store, as an installation from the package leaves
them, the product's by the test publisher."""

import secrets

import e2e_support as e2e
import test_signing as signing

SPOOL = "C:\\windows\\system32\\spool"
DRIVERS = SPOOL + "\\drivers"
MICROSOFT = "Microsoft Windows"
WHQL = "Microsoft Windows Hardware Compatibility Publisher"
HP = "HP Inc."
PUBLISHER = "Pelmar Test Publisher"
PRODUCT_FILES = ["pmomndrv.dll", "pomnres_en.dll", "pmomnui.dll", "pomnres_de.dll"]

COLOUR_PROFILES = ["D50.camp", "D65.camp", "Graphics.gmmp", "MediaSim.gmmp", "Photo.gmmp",
                   "Proofing.gmmp", "RSWOP.icm", "sRGB Color Space Profile.icm", "wscRGB.cdmp",
                   "wsRGB.cdmp"]
COMPATIBLE = ("mxdwdrv.dll", "unishare.gpd", "PrintConfig.dll", ["unishare-pipelineconfig.xml"])
FAX = ("FXSDRV.DLL", "FXSDRV.DLL", "FXSUI.DLL",
       ["FXSAPI.DLL", "FXSRES.DLL", "FXSTIFF.DLL", "FXSWZRD.DLL"])
UNIDRV_CORE = ["UNIRES.DLL", "PCLXL.DLL", "PJLMON.DLL", "STDNAMES.GPD", "STDDTYPE.GDL",
               "STDSCHEM.GDL", "TTFSUB.GPD", "PCLXL.GPD", "PJL.GPD", "UNIDRV.HLP"]
HP_DRIVER = ("UNIDRV.DLL", "hpcu240u.gpd", "UNIDRVUI.DLL",
             UNIDRV_CORE + ["hpcu240u.ini", "hpmur240.dll", "hpcu240u.cab"])
POSTSCRIPT = ("PSCRIPT5.DLL", "hpc4700.ppd", "PS5UI.DLL", ["PSCRIPT.NTF", "PSCRIPT.HLP"])
EASY_PRINT = ("tsprint.dll", "tsprint-datafile.dat", "tsprint.dll", ["tsprint-PipelineConfig.xml"])
# Files that carry no embedded signature: only their package's catalog in the
# system's store vouches for them, Microsoft's for in-box files and the
# Windows Hardware program's for a vendor's.
CATALOG_ONLY = {"PrintConfig.dll", "UNIRES.DLL", "PJLMON.DLL", "UNIRES.DLL.mui", "FXSTIFF.DLL",
                "hpmur240.dll"}
VENDOR_FILES = {"hpmur240.dll", "hpcpp240.dll", "1_hpcpp240.dll"}
# A vendor's WHQL package in the driver store whose driver is not installed:
# its catalog is in the system's store, its files nowhere.
STORED_PACKAGE_FILE = "drivers\\x64\\3\\CNP60MA64.DLL"
CONTROL_PRINT = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\"
PROCESSORS = CONTROL_PRINT + "Environments\\Windows x64\\Print Processors\\"
PRINTERS = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\"
SYSTEM32 = "C:\\windows\\system32"
# What Windows registers for the spooler to load from System32: the port and
# language monitors (the fax monitor on clients with fax, WSDMon.dll on
# servers, APMon.dll on newer clients) and the print providers.
MONITORS = {"Local Port": "localspl.dll", "Standard TCP/IP Port": "tcpmon.dll",
            "USB Monitor": "usbmon.dll", "Appmon": "AppMon.dll", "IppMon": "IPPMon.dll",
            "PJL Language Monitor": "pjlmon.dll"}
CLIENT_MONITORS = {"WSD Port": "APMon.dll", "Microsoft Shared Fax Monitor": "FXSMON.DLL"}
SERVER_MONITORS = {"WSD Port": "WSDMon.dll"}
PROVIDERS = {"Internet Print Provider": "inetpp.dll", "LanMan Print Services": "win32spl.dll"}
# A printer as Windows keeps it, with the one module Point and Print loads
# by default.
PRINTER = "HP Color LaserJet MFP"
ICM = {"Directory": "COLOR", "Files": "", "Module": "mscms.dll"}
ENVIRONMENTS = {"x64": "Windows x64", "w32x86": "Windows NT x86"}


def pe_suffix(name):
    return name.lower().endswith((".dll", ".mui", ".drv", ".exe"))


class machine:
    """A prefix laid out as a real client (`server` False) or print server."""

    def __init__(self, name, server):
        self.prefix = prefix = e2e.wine_prefix(name)
        try:
            self._build(server)
        except BaseException:
            prefix.close()
            raise

    def _build(self, server):
        prefix = self.prefix
        self.work = work = prefix.root / "made"
        authority = signing.certificate_authority(work / "ca")
        self.signers = {name: authority.issue(name) for name in (MICROSOFT, WHQL, HP, PUBLISHER)}
        self.authority = authority
        self.bases = {arch: e2e.build_library(work / arch, (10, 0, 22621, 1), x86=arch == "w32x86")
                      .content for arch in ENVIRONMENTS}
        self.files = {}  # path below SPOOL -> bytes
        catalogued = {MICROSOFT: [], WHQL: []}  # signer -> [(Windows path, name listed)]

        def lay(path, signer=MICROSOFT, arch="x64"):
            """A file below SPOOL; an image of `arch`, signed by `signer` (or
            unsigned where None); a data file for other names."""
            name = path.rsplit("\\", 1)[-1]
            if not pe_suffix(name):
                self.files[path] = b"" if name.lower().endswith(".tmp") else (
                    f"data of {path}\r\n".encode())
                return
            content = self.image(path, arch)
            if name in VENDOR_FILES:
                # WHQL: the program's catalog, beside the vendor's own
                # signature where the file has one; an upgrade's renamed
                # library under the name it was installed by.
                catalogued[WHQL].append((f"{SPOOL}\\{path}", name.removeprefix("1_")))
            elif name in CATALOG_ONLY:
                catalogued[MICROSOFT].append((f"{SPOOL}\\{path}", name))
            if signer is not None and name not in CATALOG_ONLY:
                content = self.sign(content, signer)
            self.files[path] = content

        def driver_files(arch, files, signer=MICROSOFT):
            driver, data, config, dependents = files
            for name in dict.fromkeys([driver, data, config, *dependents]):
                lay(f"drivers\\{arch}\\3\\{name}",
                    HP if name in VENDOR_FILES else signer, arch)

        self.records = []
        for arch in ENVIRONMENTS:
            driver_files(arch, COMPATIBLE)
            self.records.append(("Microsoft enhanced Point and Print compatibility driver",
                                 arch, COMPATIBLE))
        for name in COLOUR_PROFILES:
            lay(f"drivers\\color\\{name}")
        driver_files("x64", HP_DRIVER)
        self.records.append(("HP Universal Printing PCL 6", "x64", HP_DRIVER))
        for name in ("UNIDRVUI.DLL", "UNIRES.DLL", "PCLXL.DLL", "PrintConfig.dll"):
            lay(f"drivers\\x64\\3\\en-US\\{name}.mui")
        lay("drivers\\x64\\3\\mui\\0409\\UNIDRV.HLP")
        lay("drivers\\x64\\3\\hpcu240u.BUD")
        lay("drivers\\x64\\3\\BUD1A2F.tmp")
        for cabinet in ("ntprint.inf_amd64_9543832f82bb474f", "prnms003.inf_amd64_2a4e6b1c9d0f3e5a",
                        "hpcu240u.inf_amd64_7f3c2d1e0b9a8c6d"):
            lay(f"drivers\\x64\\PCC\\{cabinet}.cab")
        lay("drivers\\w32x86\\PCC\\ntprint.inf_x86_0c8f3e2d1b4a5968.cab")
        lay("prtprocs\\x64\\winprint.dll")
        lay("prtprocs\\x64\\en-US\\winprint.dll.mui")
        lay("prtprocs\\x64\\hpcpp240.dll", HP)
        if server:
            driver_files("w32x86", HP_DRIVER)
            self.records.append(("HP Universal Printing PCL 6", "w32x86", HP_DRIVER))
            self.records.append(("Remote Desktop Easy Print", "x64", EASY_PRINT))
            lay("drivers\\x64\\3\\en-US\\tsprint.dll.mui")
            for arch, count in (("x64", 2), ("w32x86", 1)):
                for _ in range(count):
                    guid = "{" + "-".join(secrets.token_hex(size).upper()
                                          for size in (4, 2, 2, 2, 6)) + "}"
                    lay(f"drivers\\{arch}\\{guid}\\PrintConfig.dll", arch=arch)
            prefix.unix_path(DRIVERS, "ia64").mkdir(parents=True, exist_ok=True)
            # A reboot pending after servicing: the in-box files' new builds.
            lay("drivers\\x64\\3\\New\\PrintConfig.dll")
            lay("drivers\\x64\\3\\Old\\1\\UNIDRV.DLL")
            # An upgrade of the vendor's print processor, the old one renamed.
            lay("prtprocs\\x64\\1_hpcpp240.dll", HP)
            driver_files("x64", POSTSCRIPT)
            self.records.append(("HP Color LaserJet PS", "x64", POSTSCRIPT))
            lay("drivers\\x64\\3\\hpc4700.BPD")
        else:
            driver_files("x64", FAX)
            self.records.append(("Microsoft Shared Fax Driver", "x64", FAX))
        self.records.append(("Pelmar Omni Printer", "x64",
                             (PRODUCT_FILES[0], PRODUCT_FILES[1], PRODUCT_FILES[2],
                              PRODUCT_FILES[3:])))
        for name in PRODUCT_FILES:
            lay(f"drivers\\x64\\3\\{name}", PUBLISHER)

        # Wine's own colour profile, in its own letter case, goes: the real
        # one takes its place.
        for stale in prefix.unix_path(DRIVERS, "color").iterdir():
            stale.unlink()
        for path, content in self.files.items():
            target = prefix.unix_path(SPOOL, *path.split("\\"))
            target.parent.mkdir(parents=True, exist_ok=True)
            target.write_bytes(content)
        self._register(server)
        stored = work / "stored_package" / STORED_PACKAGE_FILE.rsplit("\\", 1)[-1]
        stored.parent.mkdir()
        stored.write_bytes(self.image(STORED_PACKAGE_FILE))
        catalogs = ((MICROSOFT, "ntprint.cat", catalogued[MICROSOFT]),
                    (WHQL, "hpcu240u.cat", catalogued[WHQL]),
                    (WHQL, "cnp60m.cat", [(e2e.windows_path(stored), stored.name)]))
        for signer, catalog_name, listed in catalogs:
            tags = signing.files_tags(prefix, [path for path, _ in listed])
            members = [signing.member(tag["SHA1"], name.lower())
                       for (_, name), tag in zip(listed, tags)]
            catalog = work / catalog_name
            signing.build_catalog(self.signers[signer], members, catalog, digest="sha1")
            signing.add_catalog(prefix, e2e.windows_path(catalog))

    def _register(self, server):
        self.add_drivers(self.records)
        monitors = MONITORS | (SERVER_MONITORS if server else CLIENT_MONITORS)
        libraries = [*monitors.values(), *PROVIDERS.values(), ICM["Module"]]
        # Signed as Windows signs them: Wine's own stand-ins, which its
        # spooler loads, signed where they are, and test images where Wine
        # has none.
        for name in libraries:
            target = self.prefix.unix_path(SYSTEM32, name)
            content = (target.read_bytes() if target.exists() else
                       self.image(f"{SYSTEM32}\\{name}"))
            target.unlink(missing_ok=True)  # a link to the template's
            target.write_bytes(self.sign(content, MICROSOFT))
        self.registered = len(libraries)
        keys = {PROCESSORS + "HP Print Processor": {"Driver": "hpcpp240.dll"},
                PROCESSORS + "winprint": {"Driver": "winprint.dll"},
                PRINTERS + PRINTER: {"Name": PRINTER, "Port": "WSD-7d1c2a9e", "Attributes": 0x240},
                PRINTERS + PRINTER + "\\CopyFiles\\ICM": ICM}
        keys |= {CONTROL_PRINT + f"Monitors\\{name}": {"Driver": library}
                 for name, library in monitors.items()}
        keys |= {CONTROL_PRINT + f"Providers\\{name}": {"Name": library}
                 for name, library in PROVIDERS.items()}
        self.prefix.import_keys(keys)

    def add_drivers(self, records):
        """Installs drivers (name, folder "x64" or "w32x86", (driver, data,
        config, [dependents])) through the spooler, from a staging folder that
        holds the laid-out files' bytes: Wine's spooler copies some of them
        into the driver folder, which then holds the same."""
        commands = []
        for name, arch, files in records:
            driver, data, config, dependents = files
            staged = f"C:\\pelmar_setup\\{secrets.token_hex(4)}"
            for file in dict.fromkeys([driver, data, config, *dependents]):
                laid = self.prefix.unix_path(DRIVERS, arch, "3", file)
                if laid.exists():
                    self.prefix.lay_out(staged, {file: e2e.file_fixture(laid.read_bytes())})
            paths = [f"{staged}\\{file}" for file in (driver, data, config)]
            deps = ",".join(f"{staged}\\{file}" for file in dependents) or "-"
            commands += ["add", name, ENVIRONMENTS[arch], *paths, deps]
        self.prefix.spooler(*commands)

    def image(self, path, arch="x64"):
        """An unsigned image of `arch`, unique to `path`: its bytes past the
        last section are the path's, which the Authenticode hash covers."""
        return self.bases[arch] + path.encode("utf-16-le")

    def sign(self, content, signer):
        source = self.work / f"unsigned_{secrets.token_hex(6)}.dll"
        source.write_bytes(content)
        by = signer if isinstance(signer, signing.signer) else self.signers[signer]
        return signing.sign_pe(by, source, source.with_suffix(".signed.dll"))

    def spooler_files(self):
        """Every file in the spooler's driver and print processor folders now,
        but the product's own in its driver folder: paths below SPOOL."""
        spool = self.prefix.unix_path(SPOOL)
        product = {f"drivers\\x64\\3\\{name}".lower() for name in PRODUCT_FILES}
        found = []
        for top in ("drivers", "prtprocs"):
            for file in (spool / top).rglob("*"):
                path = "\\".join(file.relative_to(spool).parts)
                if file.is_file() and path.lower() not in product:
                    found.append(path)
        return found

    def plant(self, path, content):
        """Writes a file below SPOOL, or at a full path; returns a function that
        takes it away."""
        target = (self.prefix.unix_path(path) if path[1:3] == ":\\" else
                  self.prefix.unix_path(SPOOL, *path.split("\\")))
        created = [parent for parent in reversed(target.parents) if not parent.exists()]
        target.parent.mkdir(parents=True, exist_ok=True)
        before = target.read_bytes() if target.exists() else None
        # Unlinked first: a file of System32 may be a link to the template's.
        target.unlink(missing_ok=True)
        target.write_bytes(content)

        def undo():
            target.unlink()
            if before is None:
                for folder in reversed(created):
                    folder.rmdir()
            else:
                target.write_bytes(before)
        return undo
