#!/usr/bin/env python3
"""Checks the package-manager manifests that scripts/package writes beside the zips: the Scoop
manifest and the winget set parse, carry the CMake version, name each zip under one download
base, and hold the zips' real SHA-256 hashes. The settings file Scoop's first install writes is
one the zipped program takes as its own and saves back unchanged."""
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

import yaml

build, source = sys.argv[1], sys.argv[2]
packages = os.path.join(os.path.dirname(build), "packages")
cache = open(os.path.join(build, "CMakeCache.txt")).read()
version = re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.*)$", cache, re.M).group(1)
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def zip_path(platform):
    return os.path.join(packages, f"Tovane-{version}-{platform}.zip")


def sha256(path):
    return hashlib.sha256(open(path, "rb").read()).hexdigest()


def base_of(url, platform):
    name = os.path.basename(zip_path(platform))
    check(url.endswith("/" + name), f"{url} does not name {name}")
    return url[: -len(name) - 1]


# Scoop
scoop = json.load(open(os.path.join(packages, "tovane.json")))
check(scoop.get("version") == version, f"scoop version {scoop.get('version')} != {version}")
for key in ("description", "homepage", "license"):
    check(isinstance(scoop.get(key), str) and scoop[key], f"scoop: no {key}")
check(scoop.get("bin") == "Tovane.exe", "scoop: bin is not Tovane.exe")
check(scoop.get("persist") == "Tovane.dat", "scoop: Tovane.dat is not persisted")
bases = set()
for platform, arch in (("win32", "32bit"), ("win64", "64bit")):
    entry = scoop.get("architecture", {}).get(arch, {})
    bases.add(base_of(entry.get("url", ""), platform))
    check(entry.get("hash") == sha256(zip_path(platform)), f"scoop {arch}: hash does not match the zip")
    names = zipfile.ZipFile(zip_path(platform)).namelist()
    check(scoop.get("bin") in names, f"{platform} zip has no {scoop.get('bin')}")

# Scoop persists a missing Tovane.dat as a folder: the first install must write the file.
script = "\n".join(scoop.get("pre_install", []))
written = re.search(r'WriteAllBytes\("\$dir\\Tovane\.dat", \[byte\[\]\]\(([0-9,]+)\)\)', script)
check("$persist_dir\\Tovane.dat" in script and written, f"scoop: no first settings file in {script!r}")
if written:
    settings = bytes(int(b) for b in written.group(1).split(","))
    tmp = tempfile.mkdtemp(prefix="tovane-scoop-")
    try:
        with zipfile.ZipFile(zip_path("win64")) as z:
            z.extract("Tovane.exe", tmp)
        open(os.path.join(tmp, "Tovane.dat"), "wb").write(settings)
        run = subprocess.run([os.path.join(build, "wine-run"), os.path.join(build, "bin", "tovdrive.exe"),
                              "run-close", "Z:" + tmp.replace("/", "\\")], capture_output=True, text=True,
                             timeout=120)
        check(run.returncode == 0, f"the first settings file: run-close {run.returncode} {run.stdout.strip()}")
        saved = open(os.path.join(tmp, "Tovane.dat"), "rb").read()
        check(saved == settings, f"the first settings file came back as {saved!r}, written {settings!r}")
    finally:
        shutil.rmtree(tmp, ignore_errors=True)

# winget: one file per manifest type, all for the same package and version
winget = os.path.join(packages, "winget")
manifests = {}
for name in sorted(os.listdir(winget)):
    document = yaml.safe_load(open(os.path.join(winget, name)))
    check(name.startswith(document.get("PackageIdentifier", "?") + "."), f"{name}: identifier")
    check(document.get("PackageVersion") == version, f"{name}: version {document.get('PackageVersion')}")
    check(re.fullmatch(r"1\.\d+\.\d+", str(document.get("ManifestVersion"))), f"{name}: manifest version")
    manifests[document.get("ManifestType")] = document
check(sorted(manifests) == ["defaultLocale", "installer", "version"], f"winget types: {sorted(manifests)}")
if len(manifests) == 3:
    check(manifests["version"]["DefaultLocale"] == manifests["defaultLocale"]["PackageLocale"], "locale")
    for key in ("Publisher", "PackageName", "License", "ShortDescription"):
        check(manifests["defaultLocale"].get(key), f"winget locale: no {key}")
    installer = manifests["installer"]
    check(installer.get("InstallerType") == "zip", "winget: not a zip")
    check(installer.get("NestedInstallerType") == "portable", "winget: not portable")
    nested = [f["RelativeFilePath"] for f in installer.get("NestedInstallerFiles", [])]
    check(nested == ["Tovane.exe"], f"winget nested files {nested}")
    found = {i.get("Architecture"): i for i in installer.get("Installers", [])}
    check(sorted(found) == ["x64", "x86"], f"winget architectures {sorted(found)}")
    for platform, arch in (("win32", "x86"), ("win64", "x64")):
        entry = found.get(arch, {})
        bases.add(base_of(entry.get("InstallerUrl", ""), platform))
        check(entry.get("InstallerSha256") == sha256(zip_path(platform)).upper(), f"winget {arch}: hash")
check(len(bases) == 1, f"more than one download base: {sorted(bases)}")

for f in failures:
    print("FAIL:", f)
print("manifests:", "ok" if not failures else f"{len(failures)} failures")
sys.exit(1 if failures else 0)
