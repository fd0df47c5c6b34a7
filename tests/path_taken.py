#!/usr/bin/env python3
"""Runs a test program on an emulated processor and checks which vector path each
module in a folder took there, from the instructions qemu translated in the module's
code: qemu-user runs VEX-encoded instructions on any model, so a wrong choice would
pass unnoticed in the results alone.

  path_taken.py QEMU MODEL DIR NAME=WANT... -- PROGRAM ARG...

WANT is "sse2" (no VEX-encoded instruction at all, so no AVX: what a baseline x86-64
processor runs; qemu itself faults on a legacy-encoded instruction the model lacks,
such as SSE4.1's on qemu64) or "avx2" (ymm registers, no zmm). The log (qemu's -strace
and -d in_asm, in the order they happen) maps each module file's executable mappings,
so that an address is the module's only while it is mapped there. A macOS bundle is
copied by our own loader into anonymous memory, which it then makes executable with
mprotect while the bundle's file is still open: that range is the bundle's. A program
that exits 77 (its builds are not built) is skipped.
"""
import os
import re
import subprocess
import sys
import tempfile

OPEN = re.compile(r'^\d+ openat\([^,]*,"([^"]+)",[^)]*\) = (\d+)$')
MMAP = re.compile(r"^\d+ mmap\([^,]*,(\d+),PROT_EXEC[^,]*,[^,]*,(\d+),[^)]*\) = (0x[0-9a-f]+)$")
PROTECT = re.compile(r"^\d+ mprotect\((0x[0-9a-f]+),(\d+),([^)]*)\) = 0$")
CLOSE = re.compile(r"^\d+ close\((\d+)\) = 0$")
INSN = re.compile(r"^0x([0-9a-f]+):\s+(?:[0-9a-f]{2} )+\s*(\S+)\s*(.*)$")


def main():
    qemu, model, folder = sys.argv[1:4]
    at = sys.argv.index("--")
    want = dict(a.split("=", 1) for a in sys.argv[4:at])
    program = sys.argv[at + 1:]
    folder = os.path.realpath(folder)
    with tempfile.NamedTemporaryFile(suffix=".log") as log:
        run = subprocess.run([qemu, "-cpu", model, "-strace", "-d", "in_asm", "-D", log.name]
                             + program, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                             text=True)
        print(run.stdout[-3000:])
        if run.returncode == 77:        # the program's builds are not built: skipped
            return 77
        if run.returncode != 0:
            print(f"FAIL: {' '.join(program)} failed on {model}")
            return 1
        files, ranges = {}, []          # fd -> module; (start, end, module)
        seen = {name: set() for name in want}
        for line in open(log.name, errors="replace"):
            m = OPEN.match(line)
            if m:
                path = os.path.realpath(m[1])
                name = os.path.splitext(os.path.basename(path))[0]
                files[m[2]] = name if os.path.dirname(path) == folder and name in want else None
                continue
            m = MMAP.match(line)
            if m:
                start, end = int(m[3], 16), int(m[3], 16) + int(m[1])
                ranges = [r for r in ranges if r[1] <= start or r[0] >= end]
                if files.get(m[2]):
                    ranges.append((start, end, files[m[2]]))
                continue
            m = PROTECT.match(line)
            if m and "PROT_EXEC" in m[3]:
                start, end = int(m[1], 16), int(m[1], 16) + int(m[2])
                ranges = [r for r in ranges if r[1] <= start or r[0] >= end]
                open_now = {name for name in files.values() if name}
                if len(open_now) == 1:
                    ranges.append((start, end, open_now.pop()))
                continue
            m = CLOSE.match(line)
            if m:
                files.pop(m[1], None)
                continue
            m = INSN.match(line)
            if m and ranges:
                address = int(m[1], 16)
                for start, end, name in ranges:
                    if start <= address < end:
                        text = m[2] + " " + m[3]
                        seen[name].add("zmm" if "%zmm" in text else "ymm" if "%ymm" in text
                                       else "vex" if m[2].startswith("v") else "sse")
    failed = 0
    for name, kind in sorted(want.items()):
        got = seen[name]
        ok = got == {"sse"} if kind == "sse2" else "ymm" in got and "zmm" not in got
        print(f"{'ok' if ok else 'FAIL'} {name} on {model}: want {kind}, ran "
              + (", ".join(sorted(got)) or "none of its code"))
        failed += not ok
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
