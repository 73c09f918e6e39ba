#!/usr/bin/env python3
"""Gives the optional [in,out] text arguments of a widl-built type library their default "".

widl writes a string default value only for by-value BSTR parameters. The IDL therefore marks
the by-reference ones with the placeholder defaultvalue(0), which widl stores as an inline
VT_BSTR 0, and carries one library custom-data item whose value is the empty text. This script
points every such placeholder at that empty-text item, which is exactly how the type-library
format stores defaultvalue("") for a BSTR* parameter.

usage: tlb_text_defaults.py in.tlb out.tlb
"""
import struct
import sys

MAGIC = 0x5446534D  # "MSFT"
SEG_TYPEINFO, SEG_CUSTDATA = 0, 11
INLINE_BSTR_ZERO = 0x80000000 | (8 << 26)  # inline value, VT_BSTR, 0
HAS_DEFAULTS = 0x1000


def u32(buf, off):
    return struct.unpack_from("<I", buf, off)[0]


def patch(data: bytearray) -> int:
    if u32(data, 0) != MAGIC:
        raise SystemExit("not an MSFT type library")
    varflags = u32(data, 0x14)
    nrtypeinfos = u32(data, 0x20)
    pos = 0x54 + (4 if varflags & 0x100 else 0) + 4 * nrtypeinfos
    segs = [struct.unpack_from("<iiii", data, pos + 16 * i)[:2] for i in range(15)]

    cd_off, cd_len = segs[SEG_CUSTDATA]
    empty = None
    for off in range(0, cd_len, 4):
        if data[cd_off + off:cd_off + off + 8] == b"\x08\x00\x00\x00\x00\x00WW":
            empty = off
            break
    if empty is None:
        raise SystemExit("no empty-text custom data item in the type library")

    ti_off, ti_len = segs[SEG_TYPEINFO]
    patched = 0
    for base in range(ti_off, ti_off + ti_len, 0x64):
        memoffset = u32(data, base + 4)
        nfuncs = u32(data, base + 0x18) & 0xFFFF
        if nfuncs == 0 or memoffset >= len(data):
            continue
        rec = memoffset + 4
        for _ in range(nfuncs):
            size = u32(data, rec) & 0xFFFF
            flags = u32(data, rec + 16)
            nargs = u32(data, rec + 20) & 0xFFFF
            if flags & HAS_DEFAULTS:
                extra = (size - 0x18 - nargs * 16) // 4
                first = rec + 0x18 + 4 * extra
                for i in range(nargs):
                    at = first + 4 * i
                    if u32(data, at) == INLINE_BSTR_ZERO:
                        struct.pack_into("<I", data, at, empty)
                        patched += 1
            rec += size
    return patched


def main():
    src, dst = sys.argv[1], sys.argv[2]
    data = bytearray(open(src, "rb").read())
    n = patch(data)
    if n == 0:
        raise SystemExit("no text default placeholders found")
    open(dst, "wb").write(bytes(data))


if __name__ == "__main__":
    main()
