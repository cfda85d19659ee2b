#!/usr/bin/env python3
"""Prints what a Windows shortcut (.lnk, the Shell Link format) starts:

    target=C:\\...\\program.exe
    workdir=C:\\...
    arguments=...

The target is the local path of the link's LinkInfo, or else its relative
path; the working folder and the arguments are its StringData, as stored
(environment variables unexpanded).
"""
import struct
import sys

HAS_ID_LIST, HAS_LINK_INFO, HAS_NAME, HAS_RELATIVE_PATH = 0x1, 0x2, 0x4, 0x8
HAS_WORKING_DIR, HAS_ARGUMENTS, HAS_ICON_LOCATION, IS_UNICODE = 0x10, 0x20, 0x40, 0x80
LINK_CLSID = bytes.fromhex("0114020000000000c000000000000046")


def c_string(data, at, wide):
    if wide:
        end = at
        while data[end:end + 2] != b"\0\0":
            end += 2
        return data[at:end].decode("utf-16-le")
    return data[at:data.index(b"\0", at)].decode("cp1252")


def read(data):
    size, clsid, flags = struct.unpack_from("<I16sI", data, 0)
    if size != 0x4C or clsid != LINK_CLSID:
        raise ValueError("not a shell link")
    at = size
    if flags & HAS_ID_LIST:
        at += 2 + struct.unpack_from("<H", data, at)[0]
    fields = {}
    if flags & HAS_LINK_INFO:
        info_size, header_size, info_flags = struct.unpack_from("<III", data, at)
        base, suffix = struct.unpack_from("<I4xI", data, at + 16)
        if info_flags & 1:  # VolumeIDAndLocalBasePath
            if header_size >= 0x24:
                base_w, suffix_w = struct.unpack_from("<II", data, at + 28)
                fields["target"] = c_string(data, at + base_w, True) + c_string(data, at + suffix_w, True)
            else:
                fields["target"] = c_string(data, at + base, False) + c_string(data, at + suffix, False)
        at += info_size
    wide = bool(flags & IS_UNICODE)
    for flag, name in ((HAS_NAME, "name"), (HAS_RELATIVE_PATH, "relative"), (HAS_WORKING_DIR, "workdir"),
                       (HAS_ARGUMENTS, "arguments"), (HAS_ICON_LOCATION, "icon")):
        if flags & flag:
            count = struct.unpack_from("<H", data, at)[0]
            at += 2
            width = 2 if wide else 1
            raw = data[at:at + count * width]
            # Some writers count the terminating NUL as well.
            fields[name] = raw.decode("utf-16-le" if wide else "cp1252").rstrip("\0")
            at += count * width
    if "target" not in fields and "relative" in fields:
        fields["target"] = fields["relative"]
    return fields


if __name__ == "__main__":
    with open(sys.argv[1], "rb") as f:
        fields = read(f.read())
    for key in ("target", "workdir", "arguments"):
        print(f"{key}={fields.get(key, '')}")
