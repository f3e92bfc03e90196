#!/usr/bin/env python3
"""Enciphers the about window's texts for the build.

Reads the readable texts (resources/about.txt), lays them out in the seven fixed fields the
about window deciphers at start-up, enciphers every field with Blowfish in ECB mode under the
key given there, and writes three C++ fragments:

  ProgramKey.inc        the key as a string literal (the program's decipher key)
  AboutTexts.inc        the 144 enciphered bytes as an initializer list
  AboutTextsCheck.inc   for the tests only: the plain fields, the key, and texts enciphered by
                        this tool under other keys, so the program's decipher can be checked
                        against an independent encipher.

The program itself only ever deciphers; the enciphering direction lives here.

usage: about_texts.py TEXTS VERSION OUTDIR
"""
import os
import sys

# ---- Blowfish ----------------------------------------------------------------------------


def _arctan_inverse(x, one):
    total = term = one // x
    x2 = x * x
    n, sign = 1, -1
    while term:
        term //= x2
        n += 2
        total += sign * (term // n)
        sign = -sign
    return total


def pi_fraction_words(count):
    """The first count 32-bit words of the fractional part of pi: Blowfish's initial tables."""
    bits = 32 * count + 64
    one = 1 << bits
    pi = 4 * (4 * _arctan_inverse(5, one) - _arctan_inverse(239, one))
    fraction = (pi - (3 << bits)) >> 64
    return [(fraction >> (32 * (count - 1 - i))) & 0xFFFFFFFF for i in range(count)]


_INITIAL = pi_fraction_words(18 + 4 * 256)
INITIAL_P = _INITIAL[:18]
INITIAL_S = [_INITIAL[18 + 256 * b:18 + 256 * (b + 1)] for b in range(4)]
_MASK = 0xFFFFFFFF


class Blowfish:
    def __init__(self, key):
        if not 1 <= len(key) <= 72:
            raise ValueError("a Blowfish key has 1 to 72 bytes")
        self.p = list(INITIAL_P)
        self.s = [list(box) for box in INITIAL_S]
        j = 0
        for i in range(18):
            word = 0
            for k in range(4):
                word = (word << 8) | key[(j + k) % len(key)]
            self.p[i] ^= word
            j = (j + 4) % len(key)
        left = right = 0
        for i in range(0, 18, 2):
            left, right = self._encipher(left, right)
            self.p[i], self.p[i + 1] = left, right
        for box in self.s:
            for k in range(0, 256, 2):
                left, right = self._encipher(left, right)
                box[k], box[k + 1] = left, right

    def _f(self, x):
        s = self.s
        return ((((s[0][x >> 24] + s[1][(x >> 16) & 255]) & _MASK) ^ s[2][(x >> 8) & 255])
                + s[3][x & 255]) & _MASK

    def _encipher(self, left, right):
        for r in range(16):
            left ^= self.p[r]
            right ^= self._f(left)
            left, right = right, left
        left, right = right, left
        right ^= self.p[16]
        left ^= self.p[17]
        return left, right

    def encipher_ecb(self, data):
        """Zero-fills data to whole 8-byte blocks and enciphers each block on its own."""
        data = bytes(data) + bytes(-len(data) % 8)
        out = bytearray()
        for o in range(0, len(data), 8):
            left, right = self._encipher(int.from_bytes(data[o:o + 4], "big"),
                                         int.from_bytes(data[o + 4:o + 8], "big"))
            out += left.to_bytes(4, "big") + right.to_bytes(4, "big")
        return bytes(out)


# Published vectors: refuse to write anything if this encipher is broken.
_SELF_CHECK = [
    ("0000000000000000", "0000000000000000", "4EF997456198DD78"),
    ("FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"),
    ("F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677", "FEDCBA9876543210", "05044B62FA52D080"),
]


def self_check():
    for key, plain, cipher in _SELF_CHECK:
        got = Blowfish(bytes.fromhex(key)).encipher_ecb(bytes.fromhex(plain))
        if got != bytes.fromhex(cipher):
            raise SystemExit("about_texts.py: the Blowfish encipher fails a published vector")


# ---- The about texts ----------------------------------------------------------------------

# name, stored bytes, shown characters (None: zero-terminated), centred on its point
FIELDS = [
    ("name", 8, 6, False),
    ("version", 16, 8, True),
    ("summary", 16, 11, True),
    ("notice", 32, 26, True),
    ("word1", 16, 9, True),
    ("word2", 16, 8, True),
    ("address", 40, None, False),
]
KEY_MIN, KEY_MAX = 8, 65


class TextError(ValueError):
    pass


def parse_texts(text, version):
    entries = {}
    for number, line in enumerate(text.splitlines(), 1):
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        parts = line.strip().split(None, 1)
        if len(parts) != 2:
            raise TextError(f"line {number}: a name and a text are needed")
        name, value = parts
        if name in entries:
            raise TextError(f"line {number}: {name} is given twice")
        entries[name] = value.replace("{version}", version)
    known = {"key"} | {f[0] for f in FIELDS}
    for name in entries:
        if name not in known:
            raise TextError(f"unknown entry {name}")
    for name in sorted(known):
        if name not in entries:
            raise TextError(f"entry {name} is missing")
    return entries


def _printable(text):
    return all(32 <= ord(c) < 127 for c in text)


def layout_fields(entries):
    """The 144 plain bytes: every field padded to what the window draws, then zero-filled."""
    out = bytearray()
    for name, size, shown, centred in FIELDS:
        text = entries[name]
        if not _printable(text):
            raise TextError(f"{name}: only printable ASCII characters are allowed")
        if shown is None:
            if len(text) > size - 1:
                raise TextError(f"{name}: at most {size - 1} characters")
            if not (text.startswith("http://") or text.startswith("https://")):
                raise TextError(f"{name}: a web address starting with http:// or https://")
        else:
            if not text or len(text) > shown:
                raise TextError(f"{name}: 1 to {shown} characters")
            # The window draws exactly `shown` characters: pad with spaces, around a centred
            # text so that its middle stays on the point.
            pad = shown - len(text)
            before = pad // 2 if centred else 0
            text = " " * before + text + " " * (pad - before)
        out += text.encode("ascii") + bytes(size - len(text))
    return bytes(out)


def check_key(key):
    if not KEY_MIN <= len(key) <= KEY_MAX or not _printable(key) or " " in key:
        raise TextError(f"key: {KEY_MIN} to {KEY_MAX} printable characters without spaces")
    return key.encode("ascii")


def encipher_fields(key, plain):
    cipher = Blowfish(key)
    out, offset = bytearray(), 0
    for _, size, _, _ in FIELDS:
        out += cipher.encipher_ecb(plain[offset:offset + size])
        offset += size
    return bytes(out)


# ---- C++ fragments ------------------------------------------------------------------------

HEADER = "// Generated by tools/about_texts.py from resources/about.txt: do not edit.\n"


def c_string(data):
    out = '"'
    for b in data:
        ch = chr(b)
        if ch in '"\\?':
            out += "\\" + ch
        elif 32 <= b < 127:
            out += ch
        else:
            out += f'\\x{b:02x}""'
    return out + '"'


def c_bytes(data, indent="    "):
    rows = [", ".join(f"0x{b:02x}" for b in data[i:i + 12]) for i in range(0, len(data), 12)]
    return "{\n" + ",\n".join(indent + r for r in rows) + "}"


# Texts enciphered under other keys for the tests: (key, plain bytes)
TEST_VECTORS = [
    (b"Eight!ch", b"Thirteen byte"),
    (b"k" * 8, b"A"),
    (b"0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ+-*", bytes(range(1, 49))),
    (b"Tab\tand \x7f bytes \xff\x80 as key", b"Sixteen bytes!!!" + b"and eight"),
]


def render(key, plain):
    cipher = encipher_fields(key, plain)
    program_key = HEADER + c_string(key) + "\n"
    texts = HEADER + c_bytes(cipher) + "\n"
    check = [HEADER, "#pragma once\n#include <cstdint>\n\n"]
    check.append(f"constexpr char CheckProgramKey[] = {c_string(key)};\n")
    check.append(f"constexpr uint8_t CheckPlainFields[{len(plain)}] = {c_bytes(plain)};\n")
    check.append(f"constexpr uint8_t CheckCipherFields[{len(cipher)}] = {c_bytes(cipher)};\n\n")
    check.append("struct ToolVector {\n    const char* Key;\n    uint16_t KeyLength;\n"
                 "    uint16_t Length;\n    uint8_t Plain[64];\n    uint8_t Cipher[64];\n};\n")
    check.append("constexpr ToolVector ToolVectors[] = {\n")
    for vkey, vplain in TEST_VECTORS:
        padded = vplain + bytes(-len(vplain) % 8)
        vcipher = Blowfish(vkey).encipher_ecb(vplain)
        check.append(f"    {{{c_string(vkey)}, {len(vkey)}, {len(vplain)},\n"
                     f"     {c_bytes(padded, '     ')},\n     {c_bytes(vcipher, '     ')}}},\n")
    check.append("};\n")
    return {"ProgramKey.inc": program_key, "AboutTexts.inc": texts,
            "AboutTextsCheck.inc": "".join(check)}


def write_if_changed(path, text):
    try:
        with open(path, encoding="ascii") as f:
            if f.read() == text:
                return
    except OSError:
        pass
    with open(path, "w", encoding="ascii", newline="\n") as f:
        f.write(text)


def main(argv):
    if len(argv) != 4:
        raise SystemExit(__doc__.strip().splitlines()[-1])
    texts_path, version, out_dir = argv[1:]
    self_check()
    with open(texts_path, encoding="ascii") as f:
        try:
            entries = parse_texts(f.read(), version)
            key = check_key(entries["key"])
            plain = layout_fields(entries)
        except TextError as e:
            raise SystemExit(f"{texts_path}: {e}")
    os.makedirs(out_dir, exist_ok=True)
    for name, text in render(key, plain).items():
        write_if_changed(os.path.join(out_dir, name), text)


if __name__ == "__main__":
    main(sys.argv)
