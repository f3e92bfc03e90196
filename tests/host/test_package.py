#!/usr/bin/env python3
"""Checks the release zips: names, exact contents, PE machine, imports, version resource,
and that the Tovane.exe of this build's zip starts and exits cleanly in an empty folder."""
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

build, source = sys.argv[1], sys.argv[2]
root = os.path.dirname(build)
packages = os.path.join(root, "packages")

version = re.search(r"project\(Tovane VERSION ([0-9.]+)", open(os.path.join(source, "CMakeLists.txt")).read()).group(1)
expected = {"Tovane.exe", "README.txt", "LICENSE.txt"}
if os.path.isdir(os.path.join(source, "docs", "help")):
    expected.add("Tovane.hlp")

SYSTEM_DLLS = re.compile(r"^(kernel32|user32|gdi32|shell32|advapi32|comctl32|comdlg32|msvcrt|ole32|oleaut32|shlwapi|version|api-ms-win-.*)\.dll$")
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def pe_machine(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    check(data[pe:pe + 4] == b"PE\0\0", "no PE signature")
    return struct.unpack_from("<H", data, pe + 4)[0]


def imports(path, arch):
    out = subprocess.run([f"{arch}-w64-mingw32-objdump", "-p", path], capture_output=True, text=True).stdout
    return sorted({m.lower() for m in re.findall(r"DLL Name: (\S+)", out)})


def version_resource(data):
    """The fixed file version from VS_FIXEDFILEINFO and the ProductVersion string."""
    sig = data.find(struct.pack("<I", 0xFEEF04BD))
    check(sig >= 0, "no VS_FIXEDFILEINFO")
    ms, ls = struct.unpack_from("<II", data, sig + 8)
    fixed = f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}"
    key = "ProductVersion".encode("utf-16-le") + b"\0\0"
    at = data.find(key)
    check(at >= 0, "no ProductVersion string")
    start = at + len(key)
    while data[start:start + 2] == b"\0\0":
        start += 2
    end = data.find(b"\0\0", start)
    if (end - start) % 2:
        end += 1
    return fixed, data[start:end].decode("utf-16-le", "replace")


for platform, arch, machine in (("win32", "i686", 0x14C), ("win64", "x86_64", 0x8664)):
    name = os.path.join(packages, f"Tovane-{version}-{platform}.zip")
    check(os.path.isfile(name), f"missing {name}")
    if not os.path.isfile(name):
        continue
    with zipfile.ZipFile(name) as z:
        names = set(z.namelist())
        check(names == expected, f"{platform} zip holds {sorted(names)}, expected {sorted(expected)}")
        exe = z.read("Tovane.exe")
    check(pe_machine(exe) == machine, f"{platform} Tovane.exe has the wrong machine type")
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "Tovane.exe")
        open(path, "wb").write(exe)
        dlls = imports(path, arch)
        check(dlls and all(SYSTEM_DLLS.match(d) for d in dlls), f"{platform} imports {dlls}")
        syms = subprocess.run([f"{arch}-w64-mingw32-objdump", "-t", path], capture_output=True, text=True).stdout
        check("no symbols" in syms or syms.count("\n") < 20, f"{platform} Tovane.exe is not stripped")
    fixed, text = version_resource(exe)
    check(fixed == version, f"{platform} file version {fixed}, expected {version}")
    check(text == version, f"{platform} ProductVersion '{text}', expected '{version}'")

# The program from this build's zip, run by this build's Wine loader in an empty folder: starts,
# closes on WM_CLOSE with exit code 0, leaves a 32-byte Tovane.dat.
own = "win64" if pe_machine(open(os.path.join(build, "bin", "Tovane.exe"), "rb").read()) == 0x8664 else "win32"
own_zip = os.path.join(packages, f"Tovane-{version}-{own}.zip")
if os.path.isfile(own_zip):
    tmp = tempfile.mkdtemp(prefix="tovane-package-")
    try:
        with zipfile.ZipFile(own_zip) as z:
            z.extract("Tovane.exe", tmp)
        wine_folder = "Z:" + tmp.replace("/", "\\")
        run = subprocess.run([os.path.join(build, "wine-run"), os.path.join(build, "bin", "tovdrive.exe"),
                              "run-close", wine_folder], capture_output=True, text=True, timeout=120)
        check(run.returncode == 0, f"{own} run-close failed: {run.returncode} {run.stdout.strip()}")
        dat = os.path.join(tmp, "Tovane.dat")
        check(os.path.isfile(dat), f"no Tovane.dat after the {own} run")
        if os.path.isfile(dat):
            data = open(dat, "rb").read()
            check(len(data) == 32 and data[:4] == b"\1\1\1\1", f"{own} Tovane.dat is {data!r}")
    finally:
        shutil.rmtree(tmp, ignore_errors=True)

for f in failures:
    print("FAIL:", f)
print("package check:", "failed" if failures else "passed")
sys.exit(1 if failures else 0)
