"""The build's about-text tool: its encipher, its checks of the texts, the decipher's tables
and the generated files. Arguments: build directory, source directory."""
import os
import re
import sys
import tempfile
import unittest

BUILD, SOURCE = sys.argv[1], sys.argv[2]
sys.path.insert(0, os.path.join(SOURCE, "tools"))
import about_texts as tool  # noqa: E402

GOOD = """key      0123456789-abcdef
name     Tovane
version  {version}
summary  Fast dialer
notice   (c) 2026 Tovane developers
word1    Connected
word2    Anywhere
address  http://tovane.example.org/
"""


def encipher(key_hex, plain_hex):
    return tool.Blowfish(bytes.fromhex(key_hex)).encipher_ecb(bytes.fromhex(plain_hex)).hex().upper()


class Encipher(unittest.TestCase):
    def test_published_codebook_vectors(self):
        for key, plain, cipher in [
            ("0000000000000000", "0000000000000000", "4EF997456198DD78"),
            ("FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"),
            ("3000000000000000", "1000000000000001", "7D856F9A613063F2"),
            ("0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"),
            ("7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"),
            ("E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"),
            ("FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"),
        ]:
            self.assertEqual(cipher, encipher(key, plain), key)

    def test_published_variable_key_vectors_below_eight_bytes_too(self):
        key = "F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677"
        for n, cipher in [(1, "F9AD597C49DB005E"), (4, "BE1E639408640F05"),
                          (7, "8BB77032F960629D"), (8, "E87A244E2CC85E82"),
                          (23, "80C7D7D45A5479AD"), (24, "05044B62FA52D080")]:
            self.assertEqual(cipher, encipher(key[:2 * n], "FEDCBA9876543210"), n)

    def test_blocks_are_zero_filled_and_independent(self):
        bf = tool.Blowfish(b"eightkey")
        one = bf.encipher_ecb(b"ABCDEFGH")
        self.assertEqual(one + one, bf.encipher_ecb(b"ABCDEFGHABCDEFGH"))
        self.assertEqual(bf.encipher_ecb(b"ABC" + bytes(5)), bf.encipher_ecb(b"ABC"))
        self.assertEqual(16, len(bf.encipher_ecb(b"x" * 13)))


class DecipherTables(unittest.TestCase):
    def test_the_programs_initial_tables_are_the_digits_of_pi(self):
        with open(os.path.join(SOURCE, "common", "NBF.cpp"), encoding="ascii") as f:
            text = f.read()
        p = re.search(r"InitialP\[18\] = \{(.*?)\};", text, re.S)
        s = re.search(r"InitialS\[4\]\[256\] = \{(.*?)\};", text, re.S)
        words = [int(w, 16) for w in re.findall(r"0x([0-9A-Fa-f]{8})", p.group(1) + s.group(1))]
        self.assertEqual(18 + 1024, len(words))
        self.assertEqual(tool.pi_fraction_words(18 + 1024), words)


class Texts(unittest.TestCase):
    def layout(self, text, version="1.0.0"):
        return tool.layout_fields(tool.parse_texts(text, version))

    def field(self, plain, index):
        offset = sum(size for _, size, _, _ in tool.FIELDS[:index])
        return plain[offset:offset + tool.FIELDS[index][1]]

    def test_fields_are_padded_to_what_the_window_draws(self):
        plain = self.layout(GOOD)
        self.assertEqual(144, len(plain))
        self.assertEqual(b"Tovane\0\0", self.field(plain, 0))
        # Centred texts keep their middle: the spaces go around them.
        self.assertEqual(b" 1.0.0  " + bytes(8), self.field(plain, 1))
        self.assertEqual(b"Fast dialer" + bytes(5), self.field(plain, 2))
        self.assertEqual(b"http://tovane.example.org/" + bytes(14), self.field(plain, 6))
        # The version comes from the build.
        self.assertEqual(b"  2.10  " + bytes(8), self.field(self.layout(GOOD, "2.10"), 1))

    def test_texts_that_do_not_fit_and_incomplete_or_unknown_entries_are_refused(self):
        with self.assertRaises(tool.TextError):
            self.layout(GOOD, "10.20.300")  # nine characters: the window draws eight
        for bad in [GOOD.replace(old, new) for old, new in [
                ("Fast dialer", "Faster dialer"), ("Tovane", "Tovane2"),
                ("Connected", "Connected!"), ("Anywhere", "Anywhere!"),
                ("tovane.example.org/", "tovane.example.org/0123456789abcd"),
                ("http://", "ftp://"), ("Fast dialer", "Fast dial\u00e9r"),
                ("word2    Anywhere\n", "")]] + [GOOD + "word3 Extra\n", GOOD + "name Again\n"]:
            with self.assertRaises(tool.TextError, msg=bad):
                self.layout(bad)

    def test_keys_outside_eight_to_sixty_five_printable_characters_are_refused(self):
        self.assertEqual(b"k" * 8, tool.check_key("k" * 8))
        self.assertEqual(b"k" * 65, tool.check_key("k" * 65))
        for bad in ["k" * 7, "k" * 66, "key with space", "k\u00e9yyyyyyy"]:
            with self.assertRaises(tool.TextError, msg=bad):
                tool.check_key(bad)

    def test_c_literals_keep_every_byte(self):
        self.assertEqual('"a\\"b\\\\c\\x09""d"', tool.c_string(b'a"b\\c\td'))


class Generated(unittest.TestCase):
    def test_the_build_output_is_what_about_txt_gives_now(self):
        with open(os.path.join(BUILD, "generated", "Version.h"), encoding="ascii") as f:
            version = re.search(r'TOVANE_VERSION_TEXT "([^"]*)"', f.read()).group(1)
        with tempfile.TemporaryDirectory() as out:
            tool.main(["about_texts.py", os.path.join(SOURCE, "resources", "about.txt"), version,
                       out])
            for name in ["ProgramKey.inc", "AboutTexts.inc", "AboutTextsCheck.inc"]:
                with open(os.path.join(out, name), encoding="ascii") as fresh, \
                        open(os.path.join(BUILD, "generated", name), encoding="ascii") as built:
                    self.assertEqual(fresh.read(), built.read(), name)

    def test_the_stored_bytes_are_not_the_plain_texts(self):
        with open(os.path.join(BUILD, "generated", "AboutTexts.inc"), encoding="ascii") as f:
            stored = bytes(int(b, 16) for b in re.findall(r"0x([0-9a-f]{2})", f.read()))
        self.assertEqual(144, len(stored))
        self.assertNotIn(b"Tovane", stored)
        self.assertNotIn(b"http", stored)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=1)
