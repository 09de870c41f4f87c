#!/usr/bin/env python3
"""Checks the macOS bundles of `make macos` as macOS would see them:

    scripts/check-macho.py MACOS_DIR

For each NAME.mxo: Contents/MacOS/NAME is a universal file with an x86_64
and an arm64 slice, each a Mach-O MH_BUNDLE (llvm-objdump-16 says so too)
for macOS from 10.13 (x86_64: LC_VERSION_MIN_MACOSX, the command a 10.13
deployment target gets) and from 11.0 (arm64: LC_BUILD_VERSION); it loads no
library (no LC_LOAD_DYLIB and the like: its imports resolve by flat lookup
in the host process) and has no static constructors; every undefined symbol
(llvm-nm-16) is one of the host's C API (the QZ_HOST_API functions of
host/maxapi.h) or of the C library functions host/clib.h declares; the
only exported one is _ext_main; the arm64 slice carries an ad hoc code
signature whose every page hash (SHA-256) matches the bytes; Info.plist has
the keys the host reads, PkgInfo is iLaX????. The lists that the embedded
host's loader admits (host/embedded/macho_symbols.cpp) must be the same two
lists. Exits 1 on any failure.
"""
import hashlib
import plistlib
import re
import struct
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
CPU = {0x01000007: "x86_64", 0x0100000C: "arm64"}
MIN_OS = {"x86_64": (10, 13), "arm64": (11, 0)}
LC_SEGMENT_64, LC_CODE_SIGNATURE = 0x19, 0x1D
LC_VERSION_MIN_MACOSX, LC_BUILD_VERSION = 0x24, 0x32
# Commands that make dyld load another library.
LC_LIBRARIES = {0xC: "LC_LOAD_DYLIB", 0x18 | 0x80000000: "LC_LOAD_WEAK_DYLIB",
                0x1F | 0x80000000: "LC_REEXPORT_DYLIB", 0x23: "LC_LAZY_LOAD_DYLIB",
                0x20 | 0x80000000: "LC_LOAD_UPWARD_DYLIB", 0x1C | 0x80000000: "LC_RPATH"}
failures = []


def fail(msg):
    failures.append(msg)
    print("FAIL: " + msg, file=sys.stderr)


def host_api():
    text = (ROOT / "host/maxapi.h").read_text()
    return set(re.findall(r"^QZ_HOST_API\s[^;(]*?\**\b(\w+)\s*\(", text, re.M))


def c_library():
    text = (ROOT / "host/clib.h").read_text()
    freestanding = text.split("#else", 1)[1]
    return set(re.findall(r"^\w[\w ]*?\**\b(\w+)\([^)]*\);", freestanding, re.M))


def loader_lists():
    text = (ROOT / "host/embedded/macho_symbols.cpp").read_text()
    def names(table):
        body = text.split(table, 1)[1].split("};", 1)[0]
        return set(re.findall(r'\{"(\w+)"', body))
    return names("kHostApi[]"), names("kCLibrary[]")


def slices(data):
    magic, n = struct.unpack_from(">II", data, 0)
    if magic != 0xCAFEBABE:
        return None
    out = {}
    for i in range(n):
        cpu, _, off, size, _ = struct.unpack_from(">iiIII", data, 8 + 20 * i)
        out[CPU.get(cpu & 0xFFFFFFFF, hex(cpu))] = data[off:off + size]
    return out


def commands(macho):
    _, cpu, _, filetype, ncmds, _, _ = struct.unpack_from("<IiiIIII", macho, 0)
    at = 32
    for _ in range(ncmds):
        cmd, size = struct.unpack_from("<II", macho, at)
        yield cmd, macho[at:at + size]
        at += size


def check_signature(name, macho, cmd):
    dataoff, datasize = struct.unpack_from("<II", cmd, 8)
    blob = macho[dataoff:dataoff + datasize]
    magic, _, count = struct.unpack_from(">III", blob, 0)
    if magic != 0xFADE0CC0:
        fail(f"{name}: the code signature is no embedded signature blob")
        return
    for i in range(count):
        kind, off = struct.unpack_from(">II", blob, 12 + 8 * i)
        if kind != 0:  # the code directory
            continue
        cd = blob[off:]
        (cmagic, _, version, flags, hash_off, _, _, n_code, code_limit, hash_size, hash_type, _,
         page_log2) = struct.unpack_from(">IIIIIIIIIBBBB", cd, 0)
        if cmagic != 0xFADE0C02 or hash_type != 2 or hash_size != 32:
            fail(f"{name}: the code directory is not a SHA-256 one")
            return
        if not flags & 0x2:
            fail(f"{name}: the signature is not ad hoc")
        page = 1 << page_log2
        if code_limit != dataoff or n_code != (code_limit + page - 1) // page:
            fail(f"{name}: the signature does not cover every byte before it")
        bad = [p for p in range(n_code)
               if hashlib.sha256(macho[p * page:min((p + 1) * page, code_limit)]).digest()
               != cd[hash_off + 32 * p:hash_off + 32 * (p + 1)]]
        if bad:
            fail(f"{name}: page hashes {bad} do not match the bytes")
        return
    fail(f"{name}: the signature has no code directory")


def check_slice(name, arch, macho, allowed):
    magic, cpu, _, filetype = struct.unpack_from("<IiiI", macho, 0)
    if magic != 0xFEEDFACF or filetype != 8:
        fail(f"{name}: not a 64-bit MH_BUNDLE")
    version = signed = None
    for cmd, body in commands(macho):
        if cmd in LC_LIBRARIES:
            fail(f"{name}: {LC_LIBRARIES[cmd]}: needs a library outside the host process")
        elif cmd == LC_BUILD_VERSION:
            platform, minos = struct.unpack_from("<II", body, 8)
            version = ("LC_BUILD_VERSION", platform, minos)
        elif cmd == LC_VERSION_MIN_MACOSX:
            version = ("LC_VERSION_MIN_MACOSX", 1, struct.unpack_from("<I", body, 8)[0])
        elif cmd == LC_CODE_SIGNATURE:
            signed = body
        elif cmd == LC_SEGMENT_64:
            nsects = struct.unpack_from("<I", body, 64)[0]
            for k in range(nsects):
                sect = body[72 + 80 * k:152 + 80 * k]
                if struct.unpack_from("<I", sect, 64)[0] & 0xFF in (0x9, 0xA):
                    fail(f"{name}: static constructors or destructors")
    want = MIN_OS[arch]
    want_cmd = "LC_BUILD_VERSION" if arch == "arm64" else "LC_VERSION_MIN_MACOSX"
    if (version is None or version[0] != want_cmd or version[1] != 1
            or (version[2] >> 16, (version[2] >> 8) & 0xFF) != want):
        fail(f"{name}: {want_cmd} for macOS {want[0]}.{want[1]} missing ({version})")
    if arch == "arm64":
        if signed is None:
            fail(f"{name}: the arm64 slice is not signed")
        else:
            check_signature(name, macho, signed)
    nm = subprocess.run(["llvm-nm-16", "-u", f"--arch={arch}", str(name.split(" ")[0])],
                        capture_output=True, text=True, check=True).stdout.split()
    for sym in nm:
        if not sym.startswith("_") or sym[1:] not in allowed:
            fail(f"{name}: imports {sym}, which is neither the host's API nor clib.h's")
    exported = subprocess.run(["llvm-nm-16", "-gU", "--just-symbol-name", f"--arch={arch}",
                               str(name.split(" ")[0])],
                              capture_output=True, text=True, check=True).stdout.split()
    if exported != ["_ext_main"]:
        fail(f"{name}: exports {exported}, not only _ext_main")


def check_bundle(bundle):
    cls = bundle.name[:-len(".mxo")]
    binary = bundle / "Contents/MacOS" / cls
    data = binary.read_bytes()
    dump = subprocess.run(["llvm-objdump-16", "--macho", "--private-header", "--arch=all",
                           str(binary)], capture_output=True, text=True, check=True).stdout
    if dump.count(" BUNDLE ") != 2:
        fail(f"{binary}: llvm-objdump-16 does not read two MH_BUNDLE slices")
    parts = slices(data)
    if parts is None or set(parts) != {"x86_64", "arm64"}:
        fail(f"{binary}: not a universal file of x86_64 and arm64")
        return
    allowed = host_api() | c_library()
    allowed.discard("object_method")  # 64-bit plug-ins call object_method_imp
    for arch, macho in parts.items():
        check_slice(f"{binary} ({arch})", arch, macho, allowed)
    with open(bundle / "Contents/Info.plist", "rb") as f:
        plist = plistlib.load(f)
    expect = {"CFBundleExecutable": cls, "CFBundlePackageType": "iLaX",
              "CFBundleSignature": "max2"}
    for key, value in expect.items():
        if plist.get(key) != value:
            fail(f"{bundle}: Info.plist {key} is {plist.get(key)!r}, not {value!r}")
    for key in ("CFBundleIdentifier", "CFBundleVersion", "CFBundleShortVersionString"):
        if not plist.get(key):
            fail(f"{bundle}: Info.plist has no {key}")
    if (bundle / "Contents/PkgInfo").read_bytes() != b"iLaX????":
        fail(f"{bundle}: PkgInfo is not iLaX????")


def main():
    folder = Path(sys.argv[1])
    host, clib = loader_lists()
    if host != host_api() - {"jit_math_log2", "jit_math_round"}:
        fail(f"the loader's host names differ from maxapi.h: {sorted(host ^ host_api())}")
    if clib != c_library():
        fail(f"the loader's C library names differ from clib.h: {sorted(clib ^ c_library())}")
    bundles = sorted(folder.glob("*.mxo"))
    if [b.name for b in bundles] != ["qz.pitchtally.mxo", "qz.subtone.mxo"]:
        fail(f"{folder}: expected qz.pitchtally.mxo and qz.subtone.mxo, found "
             f"{[b.name for b in bundles]}")
    for b in bundles:
        check_bundle(b)
    print(f"check-macho: {len(bundles)} bundles, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
