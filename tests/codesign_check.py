#!/usr/bin/env python3
"""Checks a Mach-O file's code signature as the kernel does before running its pages:
the SHA-256 hash of every page of the file up to the signature must equal the
code directory's hash of that page.
    codesign_check.py FILE"""
import hashlib
import struct
import sys

LC_CODE_SIGNATURE = 0x1D
CSMAGIC_EMBEDDED_SIGNATURE = 0xFADE0CC0
CSMAGIC_CODEDIRECTORY = 0xFADE0C02
CS_HASHTYPE_SHA256 = 2


def fail(path, why):
    print(f"FAIL {path}: {why}")
    sys.exit(1)


def main(path):
    data = open(path, "rb").read()
    magic, _, _, _, ncmds = struct.unpack_from("<IiiII", data, 0)
    if magic != 0xFEEDFACF:
        fail(path, "not a 64-bit Mach-O file")
    at, signature = 32, None
    for _ in range(ncmds):
        cmd, size = struct.unpack_from("<II", data, at)
        if cmd == LC_CODE_SIGNATURE:
            signature = struct.unpack_from("<II", data, at + 8)
        at += size
    if signature is None:
        fail(path, "no code signature")
    offset, size = signature
    if offset + size > len(data):
        fail(path, "signature runs past the file")

    # The signature is a big-endian super blob of indexed blobs.
    magic, _, count = struct.unpack_from(">III", data, offset)
    if magic != CSMAGIC_EMBEDDED_SIGNATURE:
        fail(path, "signature is not an embedded signature")
    directories = []
    for i in range(count):
        _, blob = struct.unpack_from(">II", data, offset + 12 + 8 * i)
        if struct.unpack_from(">I", data, offset + blob)[0] == CSMAGIC_CODEDIRECTORY:
            directories.append(offset + blob)
    if not directories:
        fail(path, "no code directory")
    for cd in directories:
        (_, _, _, flags, hash_offset, _, _, code_slots, code_limit, hash_size, hash_type,
         _, page_shift) = struct.unpack_from(">IIIIIIIIIBBBB", data, cd)
        if hash_type != CS_HASHTYPE_SHA256 or hash_size != 32:
            fail(path, f"hash type {hash_type}, want SHA-256")
        if code_limit != offset:
            fail(path, f"signature covers {code_limit} bytes, want the {offset} before it")
        page = 1 << page_shift
        if code_slots != (code_limit + page - 1) // page:
            fail(path, f"{code_slots} page hashes for {code_limit} bytes")
        for i in range(code_slots):
            want = data[cd + hash_offset + 32 * i:cd + hash_offset + 32 * (i + 1)]
            got = hashlib.sha256(data[i * page:min((i + 1) * page, code_limit)]).digest()
            if got != want:
                fail(path, f"page {i} has been changed since signing")
        if not flags & 0x2:
            fail(path, "not an ad hoc signature")


if __name__ == "__main__":
    main(sys.argv[1])
