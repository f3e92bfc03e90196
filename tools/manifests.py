#!/usr/bin/env python3
"""Writes the package-manager manifests beside the release zips: a Scoop manifest (tovane.json)
and a winget manifest set (winget/Tovane.Tovane*.yaml), each with the zips' SHA-256 hashes.

usage: manifests.py PACKAGES VERSION DESCRIPTION URL_BASE

URL_BASE is where the zips will be downloaded from; the zip's file name is appended to it."""
import hashlib
import json
import os
import struct
import sys

IDENTIFIER = "Tovane.Tovane"
MANIFEST_VERSION = "1.6.0"
PUBLISHER = "The Tovane developers"
LICENSE = "MIT"
# Scoop's architecture names and winget's, for each zip.
TARGETS = (("win32", "32bit", "x86"), ("win64", "64bit", "x64"))


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 16), b""):
            digest.update(block)
    return digest.hexdigest()


def default_settings():
    """Tovane.dat as the program's defaults would write it: the four options on, the window's
    default box at the top left, and no entry, user name or password (three empty strings)."""
    return bytes([1, 1, 1, 1]) + struct.pack("<4i", 0, 0, 282, 165) + struct.pack("<3i", 0, 0, 0)


def quoted(text):
    """A YAML double-quoted scalar (JSON's string syntax is a subset of YAML's)."""
    return json.dumps(text)


def main():
    packages, version, description, base = sys.argv[1:5]
    base = base.rstrip("/")
    zips = {}
    for platform, _, _ in TARGETS:
        name = f"Tovane-{version}-{platform}.zip"
        path = os.path.join(packages, name)
        if not os.path.isfile(path):
            sys.exit(f"manifests: {path} is missing")
        zips[platform] = (f"{base}/{name}", sha256(path))

    scoop = {
        "version": version,
        "description": description,
        "homepage": base,
        "license": LICENSE,
        "architecture": {
            arch: {"url": zips[platform][0], "hash": zips[platform][1]} for platform, arch, _ in TARGETS
        },
        "bin": "Tovane.exe",
        # Scoop persists an item missing from both places as a folder, which Tovane could never
        # save into: a first install gets the default settings file first.
        "pre_install": [
            'if (!(Test-Path "$persist_dir\\Tovane.dat")) {',
            '    [IO.File]::WriteAllBytes("$dir\\Tovane.dat", [byte[]]('
            + ",".join(str(b) for b in default_settings())
            + "))",
            "}",
        ],
        # The settings file beside the program survives an update.
        "persist": "Tovane.dat",
    }
    with open(os.path.join(packages, "tovane.json"), "w", newline="\n") as f:
        json.dump(scoop, f, indent=4)
        f.write("\n")

    winget = os.path.join(packages, "winget")
    os.makedirs(winget, exist_ok=True)
    head = f"PackageIdentifier: {IDENTIFIER}\nPackageVersion: {quoted(version)}\n"
    tail = f"ManifestVersion: {MANIFEST_VERSION}\n"
    files = {
        f"{IDENTIFIER}.yaml": head + "DefaultLocale: en-US\nManifestType: version\n" + tail,
        f"{IDENTIFIER}.installer.yaml": head
        + "InstallerType: zip\n"
        + "NestedInstallerType: portable\n"
        + "NestedInstallerFiles:\n"
        + "- RelativeFilePath: Tovane.exe\n"
        + "  PortableCommandAlias: tovane\n"
        + "Installers:\n"
        + "".join(
            f"- Architecture: {arch}\n"
            f"  InstallerUrl: {quoted(zips[platform][0])}\n"
            f"  InstallerSha256: {zips[platform][1].upper()}\n"
            for platform, _, arch in TARGETS
        )
        + "ManifestType: installer\n"
        + tail,
        f"{IDENTIFIER}.locale.en-US.yaml": head
        + "PackageLocale: en-US\n"
        + f"Publisher: {quoted(PUBLISHER)}\n"
        + "PackageName: Tovane\n"
        + f"PackageUrl: {quoted(base)}\n"
        + f"License: {LICENSE}\n"
        + f"ShortDescription: {quoted(description)}\n"
        + "ManifestType: defaultLocale\n"
        + tail,
    }
    for name, text in files.items():
        with open(os.path.join(winget, name), "w", newline="\n") as f:
            f.write("# Written by tools/manifests.py from the release zips.\n" + text)


if __name__ == "__main__":
    main()
