"""Reads a little-endian ELF executable as the kernel loads it: symbols and bytes at addresses."""

import struct
import subprocess
from pathlib import Path


def symbol_address(path, name, nm="nm"):
    """The value of a symbol in an unstripped executable (mangled names match too); nm may be a
    cross tool for other formats."""
    table = subprocess.run([nm, str(path)], capture_output=True, text=True, check=True).stdout
    for line in table.splitlines():
        parts = line.split()
        if len(parts) == 3 and parts[2] == name:
            return int(parts[0], 16)
    raise KeyError(f"{name} not in {path}")


def bytes_at(path, address, length):
    """The bytes the loaded image holds at [address, address + length), from its load segments;
    zero where a segment's memory runs past its file content."""
    data = Path(path).read_bytes()
    assert data[:4] == b"\x7fELF" and data[4] in (1, 2), "not an ELF file"
    wide = data[4] == 2
    phoff, = struct.unpack_from("<Q" if wide else "<I", data, 0x20 if wide else 0x1c)
    phentsize, phnum = struct.unpack_from("<HH", data, 0x36 if wide else 0x2a)
    for index in range(phnum):
        fields = struct.unpack_from("<IIQQQQQQ" if wide else "<IIIIIIII", data,
                                    phoff + index * phentsize)
        # The 64-bit header has the flags beside the kind, the 32-bit one after the sizes.
        kind, offset, vaddr, _paddr, filesz, memsz = ((fields[0], *fields[2:7]) if wide else
                                                      fields[:6])
        if kind == 1 and vaddr <= address < vaddr + memsz:
            start = address - vaddr
            stored = data[offset + start:offset + min(filesz, start + length)]
            return stored + bytes(length - len(stored))
    raise ValueError(f"address {address:#x} is in no load segment of {path}")


def machine(data):
    """The processor an ELF file's bytes are code for (its e_machine), or None for other files."""
    return struct.unpack_from("<H", data, 18)[0] if data[:4] == b"\x7fELF" else None


def is_arm32(path):
    """Whether the file is 32-bit ARM code, whose Thumb functions' addresses are their code's plus
    one."""
    data = Path(path).read_bytes()[:20]
    return data[4] == 1 and machine(data) == 40
