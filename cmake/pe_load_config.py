#!/usr/bin/env python3
"""Enters a linked PE32+ image's load configuration in its data directory.

GNU ld 2.40 links a `_load_config_used` structure into the image but leaves
data directory entry 10 (IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG) empty, so Windows
never reads the structure. The structure therefore lives in a section of its
own; this step points entry 10 at that section's start, with the size the
structure gives in its first field, as Microsoft's and LLVM's linkers do.

Usage: pe_load_config.py IMAGE SECTION

Needs only the standard library, works on stripped images, and writes the
same bytes for the same input; running it again changes nothing.
"""

import struct
import sys

LOAD_CONFIG_ENTRY = 10
PE32_PLUS_MAGIC = 0x20B
# The loader reads DependentLoadFlags (the 16-bit field at 0x4E of the 64-bit
# layout) only when the structure's Size reaches past it.
DEPENDENT_LOAD_FLAGS_END = 0x50


def fail(message):
    sys.exit(f"pe_load_config: {message}")


def pe_checksum(image, checksum_offset):
    """The optional header's CheckSum, computed as imagehlp's CheckSumMappedFile does."""
    data = image[:checksum_offset] + b"\0\0\0\0" + image[checksum_offset + 4:]
    if len(data) % 2:
        data += b"\0"
    total = sum(struct.unpack(f"<{len(data) // 2}H", data))
    while total > 0xFFFF:
        total = (total & 0xFFFF) + (total >> 16)
    return total + len(image)


def main(argv):
    if len(argv) != 3:
        fail("usage: pe_load_config.py IMAGE SECTION")
    path, section_name = argv[1], argv[2]
    wanted = section_name.encode("ascii")
    if len(wanted) > 8:
        fail(f"section name {section_name} is longer than a PE section name can be")

    with open(path, "rb") as file:
        image = bytearray(file.read())

    if image[:2] != b"MZ":
        fail(f"{path} is no PE image")
    pe_offset = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe_offset:pe_offset + 4] != b"PE\0\0":
        fail(f"{path} is no PE image")
    section_count, optional_size = struct.unpack_from("<H12xH", image, pe_offset + 6)
    optional = pe_offset + 24
    magic = struct.unpack_from("<H", image, optional)[0]
    if magic != PE32_PLUS_MAGIC:
        fail(f"{path} is no PE32+ image")
    checksum_offset = optional + 64
    directory_count = struct.unpack_from("<I", image, optional + 108)[0]
    if directory_count <= LOAD_CONFIG_ENTRY:
        fail(f"{path} has no load configuration entry in its data directory")
    entry_offset = optional + 112 + 8 * LOAD_CONFIG_ENTRY

    found = []
    for index in range(section_count):
        header = pe_offset + 24 + optional_size + 40 * index
        name = bytes(image[header:header + 8]).rstrip(b"\0")
        if name == wanted:
            found.append(struct.unpack_from("<4I", image, header + 8))
    if len(found) != 1:
        fail(f"{path} has {len(found)} sections named {section_name}, not one")
    virtual_size, rva, raw_size, raw_offset = found[0]

    structure_size = struct.unpack_from("<I", image, raw_offset)[0]
    if not DEPENDENT_LOAD_FLAGS_END <= structure_size <= min(virtual_size, raw_size):
        fail(f"section {section_name} holds no load configuration"
             f" (Size {structure_size:#x}, section {virtual_size:#x} bytes)")

    current = struct.unpack_from("<2I", image, entry_offset)
    if current == (rva, structure_size):
        return 0
    if current != (0, 0):
        fail(f"{path} already names a load configuration at RVA {current[0]:#x}")
    struct.pack_into("<2I", image, entry_offset, rva, structure_size)

    # Windows checks the sum only for drivers and a few system DLLs, but a
    # stale non-zero one would still mislead tools that do check it.
    if struct.unpack_from("<I", image, checksum_offset)[0] != 0:
        struct.pack_into("<I", image, checksum_offset, pe_checksum(image, checksum_offset))

    with open(path, "r+b") as file:
        file.write(image)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
