"""A small reader for 64-bit PE images: headers, imports and resources.

Standard library only, so the binary checks run wherever the suite does.
Every read is bounds-checked: a malformed image raises PeFormatError
instead of yielding made-up values.
"""

import struct

IMAGE_FILE_MACHINE_AMD64 = 0x8664
PE32_PLUS_MAGIC = 0x20B

DIRECTORY_IMPORT = 1
DIRECTORY_RESOURCE = 2
DIRECTORY_DELAY_IMPORT = 13

RT_VERSION = 16
RT_MANIFEST = 24

VS_FIXEDFILEINFO_SIGNATURE = 0xFEEF04BD


class PeFormatError(Exception):
    pass


class Section:
    def __init__(self, name, virtual_address, virtual_size, raw_offset, raw_size):
        self.name = name
        self.virtual_address = virtual_address
        self.virtual_size = virtual_size
        self.raw_offset = raw_offset
        self.raw_size = raw_size


class Resource:
    """One leaf of the resource tree: type, name and language, with its data.

    Type and name are ints for numeric IDs and str for named entries.
    """

    def __init__(self, type_id, name, language, data):
        self.type_id = type_id
        self.name = name
        self.language = language
        self.data = data


class PeImage:
    def __init__(self, data):
        self.data = data
        self._parse_headers()

    # --- low-level reads -------------------------------------------------

    def _unpack(self, fmt, offset):
        size = struct.calcsize(fmt)
        if offset < 0 or offset + size > len(self.data):
            raise PeFormatError(f"read of {size} bytes at {offset:#x} is outside the file")
        return struct.unpack_from(fmt, self.data, offset)

    def _bytes_at(self, offset, size):
        if offset < 0 or size < 0 or offset + size > len(self.data):
            raise PeFormatError(f"{size} bytes at {offset:#x} are outside the file")
        return self.data[offset:offset + size]

    def rva_to_offset(self, rva):
        for section in self.sections:
            span = max(section.virtual_size, section.raw_size)
            if section.virtual_address <= rva < section.virtual_address + span:
                delta = rva - section.virtual_address
                if delta >= section.raw_size:
                    raise PeFormatError(f"RVA {rva:#x} lies in uninitialised data")
                return section.raw_offset + delta
        raise PeFormatError(f"RVA {rva:#x} is in no section")

    def bytes_at_rva(self, rva, size):
        return self._bytes_at(self.rva_to_offset(rva), size)

    def ascii_string_at_rva(self, rva):
        start = self.rva_to_offset(rva)
        end = self.data.find(b"\0", start)
        if end < 0:
            raise PeFormatError(f"unterminated string at RVA {rva:#x}")
        return self.data[start:end].decode("ascii")

    # --- headers ---------------------------------------------------------

    def _parse_headers(self):
        if self._bytes_at(0, 2) != b"MZ":
            raise PeFormatError("no MZ signature")
        (pe_offset,) = self._unpack("<I", 0x3C)
        if self._bytes_at(pe_offset, 4) != b"PE\0\0":
            raise PeFormatError("no PE signature")
        coff = pe_offset + 4
        (self.machine, section_count, self.time_date_stamp, _, _,
         optional_size, self.characteristics) = self._unpack("<HHIIIHH", coff)
        optional = coff + 20
        (self.optional_magic,) = self._unpack("<H", optional)
        if self.optional_magic != PE32_PLUS_MAGIC:
            raise PeFormatError(f"optional header magic {self.optional_magic:#x} is not PE32+")
        self.os_version = self._unpack("<HH", optional + 40)
        self.subsystem_version = self._unpack("<HH", optional + 48)
        (self.subsystem,) = self._unpack("<H", optional + 68)
        (directory_count,) = self._unpack("<I", optional + 108)
        self.directories = []
        for index in range(min(directory_count, 16)):
            self.directories.append(self._unpack("<II", optional + 112 + 8 * index))
        self.sections = []
        table = optional + optional_size
        for index in range(section_count):
            entry = table + 40 * index
            raw_name = self._bytes_at(entry, 8)
            virtual_size, virtual_address, raw_size, raw_offset = self._unpack("<IIII", entry + 8)
            self.sections.append(Section(raw_name.rstrip(b"\0").decode("ascii", "replace"),
                                         virtual_address, virtual_size, raw_offset, raw_size))

    def directory(self, index):
        if index >= len(self.directories):
            return (0, 0)
        return self.directories[index]

    # --- imports ---------------------------------------------------------

    def imported_dlls(self):
        """Names of the DLLs in the import and delay-import tables, in order."""
        names = []
        rva, size = self.directory(DIRECTORY_IMPORT)
        if rva and size:
            position = self.rva_to_offset(rva)
            while True:
                descriptor = self._unpack("<IIIII", position)
                if descriptor == (0, 0, 0, 0, 0):
                    break
                names.append(self.ascii_string_at_rva(descriptor[3]))
                position += 20
        rva, size = self.directory(DIRECTORY_DELAY_IMPORT)
        if rva and size:
            position = self.rva_to_offset(rva)
            while True:
                descriptor = self._unpack("<8I", position)
                if descriptor == (0,) * 8:
                    break
                names.append(self.ascii_string_at_rva(descriptor[1]))
                position += 32
        return names

    def imported_functions(self):
        """(DLL in lower case, function name or "#ordinal") of every entry
        of the import and delay-import tables of a 64-bit image."""
        found = []
        tables = [(DIRECTORY_IMPORT, "<5I", 20, 3, (0, 4)),
                  (DIRECTORY_DELAY_IMPORT, "<8I", 32, 1, (4,))]
        for directory, layout, step, name_field, thunk_fields in tables:
            rva, size = self.directory(directory)
            if not (rva and size):
                continue
            position = self.rva_to_offset(rva)
            while True:
                descriptor = self._unpack(layout, position)
                if not any(descriptor):
                    break
                dll = self.ascii_string_at_rva(descriptor[name_field]).lower()
                thunk = next(descriptor[f] for f in thunk_fields if descriptor[f])
                while True:
                    (value,) = self._unpack("<Q", self.rva_to_offset(thunk))
                    if value == 0:
                        break
                    found.append((dll, f"#{value & 0xFFFF}" if value >> 63
                                  else self.ascii_string_at_rva((value & 0x7FFFFFFF) + 2)))
                    thunk += 8
                position += step
        return found

    # --- resources -------------------------------------------------------

    def resources(self):
        """Every leaf of the resource tree, walked type, name, language."""
        rva, size = self.directory(DIRECTORY_RESOURCE)
        if not rva or not size:
            return []
        base = self.rva_to_offset(rva)
        leaves = []

        def entries(directory_offset):
            count_named, count_ids = self._unpack("<HH", base + directory_offset + 12)
            for index in range(count_named + count_ids):
                name_field, target = self._unpack("<II", base + directory_offset + 16 + 8 * index)
                if name_field & 0x80000000:
                    name_offset = base + (name_field & 0x7FFFFFFF)
                    (length,) = self._unpack("<H", name_offset)
                    key = self._bytes_at(name_offset + 2, 2 * length).decode("utf-16-le")
                else:
                    key = name_field
                yield key, target

        for type_id, type_target in entries(0):
            if not type_target & 0x80000000:
                raise PeFormatError("resource type entry is not a directory")
            for name, name_target in entries(type_target & 0x7FFFFFFF):
                if not name_target & 0x80000000:
                    raise PeFormatError("resource name entry is not a directory")
                for language, leaf in entries(name_target & 0x7FFFFFFF):
                    if leaf & 0x80000000:
                        raise PeFormatError("resource tree deeper than three levels")
                    data_rva, data_size, _, _ = self._unpack("<IIII", base + leaf)
                    leaves.append(Resource(type_id, name, language,
                                           self.bytes_at_rva(data_rva, data_size)))
        return leaves


# --- VS_VERSIONINFO ----------------------------------------------------------

class VersionNode:
    """One block of a version resource: key, type, raw value and children."""

    def __init__(self, key, value_type, value_length, value, children):
        self.key = key
        self.value_type = value_type      # 1 text, 0 binary
        self.value_length = value_length  # wValueLength as stored
        self.value = value                # the raw value bytes
        self.children = children

    def child(self, key):
        found = [node for node in self.children if node.key == key]
        if len(found) != 1:
            raise PeFormatError(f"{len(found)} blocks named {key!r} under {self.key!r}")
        return found[0]

    def text(self):
        """The value of a text block, up to its terminator."""
        if self.value_type != 1:
            raise PeFormatError(f"block {self.key!r} holds binary data, not text")
        decoded = self.value.decode("utf-16-le")
        end = decoded.find("\0")
        if end < 0:
            raise PeFormatError(f"text of {self.key!r} has no terminator")
        return decoded[:end]


def _align4(offset):
    return (offset + 3) & ~3


def parse_version_block(data, offset=0, end=None):
    """Parses the block at `offset` (relative to the start of the resource)."""
    if end is None:
        end = len(data)
    if offset + 6 > end:
        raise PeFormatError(f"version block header at {offset} runs past its parent")
    length, value_length, value_type = struct.unpack_from("<HHH", data, offset)
    block_end = offset + length
    if length < 6 or block_end > end:
        raise PeFormatError(f"version block at {offset} has length {length}, past its parent")
    key_start = offset + 6
    key_end = key_start
    while True:
        if key_end + 2 > block_end:
            raise PeFormatError(f"unterminated key in the version block at {offset}")
        if data[key_end:key_end + 2] == b"\0\0":
            break
        key_end += 2
    key = data[key_start:key_end].decode("utf-16-le")
    value_start = _align4(key_end + 2)
    value_size = value_length * 2 if value_type == 1 else value_length
    if value_start + value_size > block_end:
        raise PeFormatError(f"value of {key!r} runs past its block")
    value = data[value_start:value_start + value_size]
    children = []
    child = _align4(value_start + value_size)
    while child < block_end:
        node, child_end = parse_version_block(data, child, block_end)
        children.append(node)
        child = _align4(child_end)
    return VersionNode(key, value_type, value_length, value, children), block_end


FIXED_FILE_INFO_FIELDS = (
    "signature", "struc_version", "file_version_ms", "file_version_ls",
    "product_version_ms", "product_version_ls", "file_flags_mask", "file_flags",
    "file_os", "file_type", "file_subtype", "file_date_ms", "file_date_ls",
)


def parse_fixed_file_info(value):
    if len(value) != 52:
        raise PeFormatError(f"VS_FIXEDFILEINFO is {len(value)} bytes, not 52")
    return dict(zip(FIXED_FILE_INFO_FIELDS, struct.unpack("<13I", value)))
