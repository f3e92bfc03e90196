#!/usr/bin/env python3
"""Reads Tovane.hlp back with a reader of its own and checks it against the topic sources.

Usage: test_hlp.py BUILD_DIR SOURCE_DIR

The reader follows the published description of the Windows Help 3.1 format and shares no
code with tools/hlpgen.py: it expands the LZ77 blocks, walks the topic links by their
positions, looks context hashes up through the B+ tree index pages, and turns every topic
offset into a topic by counting characters as a viewer does. The generator is imported only
to parse the sources (what the file must contain) and for the checks of its own helpers.
"""
import random
import struct
import subprocess
import sys
import tempfile
import unittest
from functools import partialmethod
from pathlib import Path

BUILD = Path(sys.argv[1]) if len(sys.argv) > 1 else Path("build/win64")
SOURCE = Path(sys.argv[2]) if len(sys.argv) > 2 else Path(".")
sys.path.insert(0, str(SOURCE / "tools"))
sys.path.insert(0, str(SOURCE / "tests" / "support"))
import help_layout  # noqa: E402
import hlpgen  # noqa: E402
from help_layout import layout_topics, write_project  # noqa: E402

HELP_FILE = BUILD / "bin" / "Tovane.hlp"
LAYOUT_FILE = BUILD / "bin" / "HelpLayout.hlp"
HELP_PROJECT = SOURCE / "docs" / "help" / "Tovane.help"
GENERATOR = SOURCE / "tools" / "hlpgen.py"

# --- The reader -------------------------------------------------------------------------------


class Cursor:
    """Reads the little-endian and the compressed numbers of topic records."""

    def __init__(self, data, at=0):
        self.data, self.at = data, at

    def take(self, fmt):
        values = struct.unpack_from(fmt, self.data, self.at)
        self.at += struct.calcsize(fmt)
        return values[0] if len(values) == 1 else values

    def compressed(self, unit, one_bias, two_bias):
        """A set low bit: a second unit follows, worth 2**(bits - 1) each; signed forms
        subtract a bias."""
        low = self.take(unit)
        if low & 1:
            return low // 2 + (1 << (8 * struct.calcsize(unit) - 1)) * self.take(unit) - two_bias
        return low // 2 - one_bias

    comp_ushort = partialmethod(compressed, "<B", 0, 0)
    comp_short = partialmethod(compressed, "<B", 64, 16384)
    comp_ulong = partialmethod(compressed, "<H", 0, 0)
    comp_long = partialmethod(compressed, "<H", 16384, 67108864)

    def stringz(self):
        end = self.data.index(b"\0", self.at)
        text, self.at = self.data[self.at : end], end + 1
        return text


def expand(source, limit):
    """LZ77 as help files use it: a flag byte for eight items, lowest bit first; a set bit is
    a 16-bit word of 12 bits distance-1 and 4 bits length-3, else a literal byte."""
    out, i = bytearray(), 0
    while i < len(source) and len(out) < limit:
        flags = source[i]
        i += 1
        for bit in range(8):
            if i >= len(source) or len(out) >= limit:
                break
            if flags & (1 << bit):
                (word,) = struct.unpack_from("<H", source, i)
                i += 2
                start = len(out) - (word & 0xFFF) - 1
                if start < 0:
                    raise AssertionError("a match reaches before the start of its block")
                for k in range((word >> 12) + 3):
                    out.append(out[start + k])
            else:
                out.append(source[i])
                i += 1
    return bytes(out[:limit])


def hash_weight(char):
    """Weights of the characters a context name may use, worked out from the table."""
    if char.isdigit():
        return 10 if char == "0" else int(char)
    if char.isalpha() and char.isascii():
        return 0x11 + ord(char.lower()) - ord("a")
    return {"_": 0x0D, ".": 0x0C}[char]


def reader_hash(name):
    if not name:
        return 1
    value = 0
    for char in name:
        value = (value * 43 + hash_weight(char)) & 0xFFFFFFFF
    return value - (1 << 32) if value & 0x80000000 else value


class BTree:
    """A B+ tree of the file; leaf_entry and index_key read one entry at a cursor."""

    def __init__(self, data, leaf_entry, index_key):
        c = Cursor(data)
        (self.magic, self.flags, self.page_size, structure, zero, self.splits, self.root,
         minus_one, self.total_pages, self.levels, self.count) = c.take("<HHH16shhhhhhi")
        self.structure = structure.rstrip(b"\0").decode()
        self.header_ok = zero == 0 and minus_one == -1
        self.pages = data[c.at :]
        self.leaf_entry, self.index_key = leaf_entry, index_key
        if len(self.pages) != self.total_pages * self.page_size:
            raise AssertionError("B+ tree size does not match its page count")

    def page(self, number):
        if not 0 <= number < self.total_pages:
            raise AssertionError(f"page {number} out of range")
        return self.pages[number * self.page_size : (number + 1) * self.page_size]

    def index_page(self, number):
        c = Cursor(self.page(number))
        unused, count, first = c.take("<Hhh")
        entries = []
        for _ in range(count):
            key = self.index_key(c)
            entries.append((key, c.take("<h")))
        if unused != self.page_size - c.at:
            raise AssertionError(f"index page {number}: wrong count of unused bytes")
        return first, entries

    def leaf_page(self, number):
        c = Cursor(self.page(number))
        unused, count, previous, following = c.take("<Hhhh")
        entries = [self.leaf_entry(c) for _ in range(count)]
        if unused != self.page_size - c.at:
            raise AssertionError(f"leaf page {number}: wrong count of unused bytes")
        return previous, following, entries

    def leaves(self):
        """All leaf entries in order: down the left edge, then along the leaf chain."""
        page = self.root
        for _ in range(self.levels - 1):
            page, _ = self.index_page(page)
        entries, previous, seen = [], -1, 0
        while page != -1:
            back, following, found = self.leaf_page(page)
            if back != previous:
                raise AssertionError(f"leaf page {page} links back to {back}, not {previous}")
            entries += found
            previous, page = page, following
            seen += 1
            if seen > self.total_pages:
                raise AssertionError("the leaf chain loops")
        return entries

    def lookup(self, key):
        """Finds a key the way a viewer does: through the index pages, then one leaf."""
        page = self.root
        for _ in range(self.levels - 1):
            child, entries = self.index_page(page)
            for index_key, number in entries:
                if key < index_key:
                    break
                child = number
            page = child
        _, _, entries = self.leaf_page(page)
        return [entry for entry in entries if entry[0] == key]


def directory_tree(data):
    return BTree(data, lambda c: (c.stringz(), c.take("<i")), lambda c: c.stringz())


def long_keyed_tree(data, value):
    return BTree(data, lambda c: (c.take("<i"), value(c)), lambda c: c.take("<i"))


class Link:
    def __init__(self, pos, buffer, at):
        self.pos = pos
        c = Cursor(buffer, at)
        (self.block_size, self.data_len2, self.prev, self.next, self.data_len1,
         self.kind) = c.take("<iiiiiB")
        if self.data_len1 < 21 or self.block_size < self.data_len1:
            raise AssertionError(f"link at {pos}: bad sizes")
        if at + self.block_size > len(buffer):
            raise AssertionError(f"link at {pos} runs past the end of its block")
        self.data1 = buffer[at + 21 : at + self.data_len1]
        self.data2 = buffer[at + self.data_len1 : at + self.block_size]
        if len(self.data2) != self.data_len2:
            raise AssertionError(f"link at {pos}: text length differs (phrases are not used)")


class Paragraphs:
    """A display record read command by command."""

    def __init__(self, link):
        c = Cursor(link.data1)
        self.topic_size = c.comp_ulong()
        self.topic_length = c.comp_ushort()
        c.take("<BBH")
        bits = c.take("<H")
        self.fields = {}
        if bits & 0x0001:
            c.comp_long()
        for bit, name in ((0x02, "above"), (0x04, "below"), (0x08, "lines"), (0x10, "left"),
                          (0x20, "right"), (0x40, "first")):
            if bits & bit:
                self.fields[name] = c.comp_short()
        if bits & 0x0100:
            c.take("<Bh")
        self.tabs = []
        if bits & 0x0200:
            for _ in range(c.comp_short()):
                stop = c.comp_ushort()
                if stop & 0x4000:
                    c.comp_ushort()
                self.tabs.append(stop & 0x3FFF)
        strings = Cursor(link.data2)
        self.texts, self.fonts, self.jumps = [""], [], []
        hotspot = None
        while True:
            text = strings.stringz().decode("cp1252") if strings.at < len(link.data2) else ""
            self.texts[-1] += text
            if hotspot is not None:
                hotspot[1] += text
            command = c.take("<B")
            if command == 0xFF:
                break
            if command == 0x80:
                self.fonts.append(c.take("<h"))
            elif command == 0x82:
                self.texts.append("")
            elif command == 0x83:
                self.texts[-1] += "\t"
            elif command == 0xE3:
                hotspot = [c.take("<i"), ""]
            elif command == 0x89:
                if hotspot is None:
                    raise AssertionError("a hotspot ends that never started")
                self.jumps.append(tuple(hotspot))
                hotspot = None
            else:
                raise AssertionError(f"unexpected formatting command {command:#x}")
        if self.texts[-1] == "":
            self.texts.pop()
        if strings.at != len(link.data2) or c.at != len(link.data1):
            raise AssertionError(f"link at {link.pos}: not every string or command was used")
        if hotspot is not None:
            raise AssertionError("a hotspot is never closed")


class HelpFile:
    BLOCK = 4096
    EXPANDED = 0x4000

    def __init__(self, data):
        self.data = data
        self.magic, self.directory_start, self.free_list, self.size = struct.unpack_from(
            "<Iiii", data
        )
        self.directory = directory_tree(self.internal_at(self.directory_start)[0])
        self.files = dict(self.directory.leaves())
        self.system = self.read_system()
        self.read_topics()

    def internal_at(self, at):
        reserved, used, flags = struct.unpack_from("<iiB", self.data, at)
        if not (used + 9 <= reserved and at + reserved <= len(self.data)):
            raise AssertionError(f"file header at {at} does not fit")
        return self.data[at + 9 : at + 9 + used], reserved, flags

    def internal(self, name):
        return self.internal_at(self.files[name.encode()])[0]

    def read_system(self):
        c = Cursor(self.internal("|SYSTEM"))
        system = dict(zip(("magic", "minor", "major", "date", "flags"), c.take("<HHHIH")))
        system["records"] = []
        while c.at < len(c.data):
            kind, size = c.take("<HH")
            system["records"].append((kind, c.data[c.at : c.at + size]))
            c.at += size
        return system

    def fonts(self):
        c = Cursor(self.internal("|FONT"))
        faces, count, face_at, descriptors_at = c.take("<HHHH")
        width = (descriptors_at - face_at) // faces
        names = [c.data[face_at + i * width : face_at + (i + 1) * width].split(b"\0")[0]
                 for i in range(faces)]
        c.at = descriptors_at
        return names, [c.take("<BBBH3B3B") for _ in range(count)]

    def pos_place(self, pos):
        if pos < 12:
            raise AssertionError(f"topic position {pos} is below the block header")
        return (pos - 12) // self.EXPANDED, (pos - 12) % self.EXPANDED

    def read_topics(self):
        topic = self.internal("|TOPIC")
        self.block_headers, self.buffers = [], []
        for at in range(0, len(topic), self.BLOCK):
            self.block_headers.append(struct.unpack_from("<iii", topic, at))
            self.buffers.append(expand(topic[at + 12 : at + self.BLOCK], self.EXPANDED))
        self.links, pos, previous = [], 12, -1
        while pos not in (0, -1):
            block, offset = self.pos_place(pos)
            link = Link(pos, self.buffers[block], offset)
            if link.prev != previous:
                raise AssertionError(f"link at {pos} names {link.prev} as previous, not {previous}")
            self.links.append(link)
            previous, pos = pos, link.next
            if len(self.links) > 100000:
                raise AssertionError("the link chain loops")

    def link_at(self, pos):
        block, offset = self.pos_place(pos)
        return Link(pos, self.buffers[block], offset)

    def topic_start(self, offset):
        """The topic header of an offset that must point at the very start of a topic: the first
        character of the text record that follows the header."""
        header, into, record = self.locate(offset)
        if into != 0 or self.link_at(header).next != record:
            raise AssertionError(f"topic offset {offset:#x} is not the start of a topic")
        return header

    def locate(self, offset):
        """(governing header, characters into the record, record position) of an offset."""
        block, chars = offset >> 15, offset & 0x7FFF
        _, first, header = self.block_headers[block]
        pos, count = first, 0
        while pos not in (0, -1) and self.pos_place(pos)[0] == block:
            link = self.link_at(pos)
            if link.kind == 2:
                header = pos
            elif link.kind == 0x20:
                length = Paragraphs(link).topic_length
                if count + length > chars:
                    return header, chars - count, pos
                count += length
            pos = link.next
        raise AssertionError(f"topic offset {offset:#x} points past its block")

    def topics(self):
        """Each topic: header position, title, header fields, paragraphs and jumps."""
        found = []
        for link in self.links:
            if link.kind == 2:
                fields = struct.unpack("<iiiiiii", link.data1)
                found.append({"pos": link.pos, "title": link.data2.split(b"\0")[0].decode("cp1252"),
                              "header": fields, "links": [link], "texts": [], "jumps": []})
            else:
                record = Paragraphs(link)
                found[-1]["links"].append(link)
                found[-1]["texts"] += record.texts
                found[-1]["jumps"] += record.jumps
        return found

    def context(self):
        return long_keyed_tree(self.internal("|CONTEXT"), lambda c: c.take("<i"))

    def context_map(self):
        c = Cursor(self.internal("|CTXOMAP"))
        return [c.take("<ii") for _ in range(c.take("<h"))]


# --- What the sources say ------------------------------------------------------------------------


def source_text(paragraph):
    text = "".join(run.text for run in paragraph.runs)
    return "\u2022\t" + text if paragraph.kind == "bullet" else text


def source_jumps(topic):
    return [(run.text, run.target.lower()) for p in topic.paragraphs for run in p.runs
            if run.kind == "jump"]


class HelpChecks:
    """Everything a help file built from a project must satisfy; mixed into test cases."""

    def check_help(self, help_file, project):
        names = {t.name.lower(): t for t in project.topics}
        topics = help_file.topics()
        by_pos = {t["pos"]: t for t in topics}
        self.assertEqual(len(project.topics) + 1, len(topics), "topics and the closing link")
        closing = topics.pop()
        self.assertEqual("", closing["title"])
        self.assertEqual(-1, help_file.links[-1].next)

        # Topics, in source order, with their titles and text.
        for number, (source, read) in enumerate(zip(project.topics, topics)):
            self.assertEqual(source.title, read["title"])
            self.assertEqual([source_text(p) for p in source.paragraphs], read["texts"])
            size, back, forward, topic_num, non_scroll, scroll, next_topic = read["header"]
            self.assertEqual(number, topic_num)
            self.assertEqual(sum(link.block_size for link in read["links"]), size)
            self.assertEqual((-1, -1), (back, forward))
            self.assertEqual(read["links"][1].pos, non_scroll, "the title does not scroll")
            self.assertEqual(read["links"][2].pos, scroll)
            expected_next = topics[number + 1]["pos"] if number + 1 < len(topics) else -1
            self.assertEqual(expected_next, next_topic)

        # Jumps: each hotspot's hash leads through |CONTEXT to the topic the source names.
        context = help_file.context()
        for source, read in zip(project.topics, topics):
            landed = []
            for hash_value, text in read["jumps"]:
                entries = context.lookup(hash_value)
                self.assertEqual(1, len(entries), f"jump {text!r} in {source.name}")
                target = by_pos[help_file.topic_start(entries[0][1])]
                landed.append((text, project.topics[topics.index(target)].name.lower()))
            self.assertEqual(source_jumps(source), landed)

        # |CONTEXT: sorted by signed hash, one entry per topic, each found through the index.
        entries = context.leaves()
        self.assertEqual(context.count, len(entries))
        self.assertEqual(len(project.topics), len(entries))
        self.assertEqual(sorted(entries), entries)
        self.assertEqual(len(entries), len({h for h, _ in entries}))
        for source in project.topics:
            found = context.lookup(reader_hash(source.name))
            self.assertEqual(1, len(found), source.name)
            self.assertEqual(source.title, by_pos[help_file.topic_start(found[0][1])]["title"])

        # |CTXOMAP: every context number opens the topic whose source gives that number.
        mapped = help_file.context_map()
        self.assertEqual(sorted(t.number for t in project.topics), sorted(n for n, _ in mapped))
        for number, offset in mapped:
            source = next(t for t in project.topics if t.number == number)
            self.assertEqual(source.title, by_pos[help_file.topic_start(offset)]["title"], number)

        # |TTLBTREE: every topic's title under its offset, in offset order.
        titles = long_keyed_tree(help_file.internal("|TTLBTREE"), lambda c: c.stringz()).leaves()
        self.assertEqual(sorted(titles), titles)
        self.assertEqual(sorted(t.title for t in project.topics),
                         sorted(title.decode("cp1252") for _, title in titles))
        for offset, title in titles:
            self.assertEqual(title.decode("cp1252"), by_pos[help_file.topic_start(offset)]["title"])

        # |SYSTEM: a 3.1 file with LZ77 4 KB blocks, its title, contents topic and window.
        system = help_file.system
        self.assertEqual((0x036C, 21, 1, 4),
                         (system["magic"], system["minor"], system["major"], system["flags"]))
        records = dict(system["records"])
        self.assertEqual(project.title.encode("cp1252") + b"\0", records[1])
        contents = names[project.contents.lower()]
        (contents_offset,) = struct.unpack("<i", records[3])
        self.assertEqual(contents.title, by_pos[help_file.topic_start(contents_offset)]["title"])
        self.assertEqual(90, len(records[6]))
        self.assertEqual(project.title.encode("cp1252"), records[6][21:72].rstrip(b"\0"))

        # |FONT: the title's font is larger than the text's; every font that a record selects
        # is described, with a known face.
        faces, descriptors = help_file.fonts()
        for read in topics:
            title_font, text_font = (Paragraphs(link).fonts[0] for link in read["links"][1:3])
            self.assertGreater(descriptors[title_font][1], descriptors[text_font][1])
        used = {font for link in help_file.links if link.kind == 0x20
                for font in Paragraphs(link).fonts}
        self.assertTrue(used)
        self.assertLess(max(used), len(descriptors))
        for descriptor in descriptors:
            self.assertLess(descriptor[3], len(faces))
            self.assertGreater(descriptor[1], 0)

        self.check_blocks(help_file)

    def check_blocks(self, help_file):
        """Block headers, and that no link is split between blocks."""
        links = help_file.links
        for block, (last_link, first_link, last_header) in enumerate(help_file.block_headers):
            inside = [link for link in links if help_file.pos_place(link.pos)[0] == block]
            before = [link for link in links if help_file.pos_place(link.pos)[0] < block]
            self.assertTrue(inside, f"block {block} holds no link")
            self.assertEqual(inside[0].pos, first_link)
            self.assertEqual(before[-1].pos if before else -1, last_link)
            headers = [link.pos for link in before if link.kind == 2]
            self.assertEqual(headers[-1] if headers else -1, last_header)
            for link in inside:
                self.assertLessEqual(help_file.pos_place(link.pos)[1] + link.block_size,
                                     len(help_file.buffers[block]))
        for link in links:
            if link.kind == 0x20:
                record = Paragraphs(link)
                self.assertEqual(len(link.data2), record.topic_length)
                self.assertEqual(len(link.data2), record.topic_size)

    def check_file_system(self, help_file):
        data = help_file.data
        self.assertEqual(0x00035F3F, help_file.magic)
        self.assertEqual(len(data), help_file.size)
        self.assertEqual(-1, help_file.free_list)
        directory = help_file.directory
        self.assertEqual((0x293B, 0x0402, 0x400), (directory.magic, directory.flags,
                                                   directory.page_size))
        self.assertTrue(directory.header_ok)
        names = [name for name, _ in directory.leaves()]
        self.assertEqual(sorted(names), names, "the directory is sorted")
        self.assertEqual(len(set(names)), len(names))
        for name in (b"|SYSTEM", b"|FONT", b"|TOPIC", b"|CONTEXT", b"|CTXOMAP", b"|TTLBTREE"):
            self.assertIn(name, names)
            self.assertEqual([(name, help_file.files[name])], directory.lookup(name))
        spans = sorted([(at, at + help_file.internal_at(at)[1]) for at in help_file.files.values()]
                       + [(help_file.directory_start, help_file.directory_start
                           + help_file.internal_at(help_file.directory_start)[1])])
        self.assertEqual(16, spans[0][0])
        for (_, end), (start, _) in zip(spans, spans[1:]):
            self.assertLessEqual(end, start, "internal files overlap")
        for tree_name in ("|CONTEXT", "|TTLBTREE"):
            tree = long_keyed_tree(help_file.internal(tree_name), lambda c: c.take("<i"))
            self.assertEqual((0x293B, 0x0002, 0x800), (tree.magic, tree.flags, tree.page_size))


# --- Tests ------------------------------------------------------------------------------------


class BuiltHelpFile(HelpChecks, unittest.TestCase):
    """The Tovane.hlp that the build put beside Tovane.exe."""

    @classmethod
    def setUpClass(cls):
        cls.project = hlpgen.parse_project(HELP_PROJECT)
        cls.help = HelpFile(HELP_FILE.read_bytes())

    def test_topics_contexts_and_jumps(self):
        """Read back completely, with every other topic a jump from the contents."""
        self.check_file_system(self.help)
        self.check_help(self.help, self.project)
        contents = next(t for t in self.project.topics if t.number == 100)
        targets = {target for _, target in source_jumps(contents)}
        self.assertEqual({t.name.lower() for t in self.project.topics} - {"contents"}, targets)

    def test_the_build_is_up_to_date_and_repeatable(self):
        with tempfile.TemporaryDirectory() as folder:
            out = Path(folder) / "Tovane.hlp"
            subprocess.run([sys.executable, str(GENERATOR), str(HELP_PROJECT), str(out)],
                           check=True, capture_output=True)
            self.assertEqual(HELP_FILE.read_bytes(), out.read_bytes())


class MultiBlockLayout(HelpChecks, unittest.TestCase):
    """A large project, so that topics start in later blocks and span block boundaries, and
    |CONTEXT and |TTLBTREE need index pages."""

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        topics = layout_topics(300, 4, seed=9, long_topics=(150,))
        cls.project = hlpgen.parse_project(write_project(cls.folder.name, topics))
        data, cls.facts = hlpgen.build_help(cls.project)
        cls.help = HelpFile(data)

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def test_layout_is_read_back_completely(self):
        self.check_file_system(self.help)
        self.check_help(self.help, self.project)

    def test_topics_start_in_later_blocks_and_span_compressed_blocks_indexed_by_trees(self):
        self.assertGreater(len(self.help.block_headers), 10)
        self.assertEqual(self.facts["blocks"], len(self.help.block_headers))
        spans, starts = 0, set()
        for topic in self.help.topics()[:-1]:
            blocks = {self.help.pos_place(link.pos)[0] for link in topic["links"]}
            starts.add(min(blocks))
            spans += len(blocks) > 1
            # A topic starts with its header and title in one block.
            self.assertEqual(self.help.pos_place(topic["links"][0].pos)[0],
                             self.help.pos_place(topic["links"][1].pos)[0])
        self.assertGreater(spans, 3)
        self.assertGreater(len(starts), 10)
        long_topic = self.help.topics()[150]
        blocks = {self.help.pos_place(link.pos)[0] for link in long_topic["links"]}
        self.assertGreaterEqual(len(blocks), 3)
        # The blocks are whole, and compressed.
        topic = self.help.internal("|TOPIC")
        self.assertEqual(0, len(topic) % HelpFile.BLOCK)
        expanded = sum(len(b.rstrip(b"\0")) for b in self.help.buffers)
        self.assertGreater(expanded, 1.5 * len(topic), "LZ77 saves space on text")
        # |CONTEXT and |TTLBTREE need index pages.
        context = self.help.context()
        self.assertEqual(2, context.levels)
        self.assertGreater(context.total_pages, 2)
        titles = long_keyed_tree(self.help.internal("|TTLBTREE"), lambda c: c.stringz())
        self.assertGreaterEqual(titles.levels, 2)


class BuiltLayoutFile(HelpChecks, unittest.TestCase):
    """HelpLayout.hlp, the large file that the viewer test opens: it must really need many
    blocks, with a topic spanning several, or that test proves less than it claims."""

    def test_layout_file(self):
        with tempfile.TemporaryDirectory() as folder:
            project = hlpgen.parse_project(
                write_project(folder, layout_topics(**help_layout.LAYOUT)))
        help_file = HelpFile(LAYOUT_FILE.read_bytes())
        self.check_file_system(help_file)
        self.check_help(help_file, project)
        self.assertGreaterEqual(len(help_file.block_headers), 5)
        for number in help_layout.LAYOUT["long_topics"]:
            links = help_file.topics()[number]["links"]
            self.assertGreaterEqual(len({help_file.pos_place(l.pos)[0] for l in links}), 3)


class GeneratorParts(unittest.TestCase):
    """The generator's helpers against the reader and against values worked out by hand."""

    def test_context_hash(self):
        self.assertEqual(1, hlpgen.context_hash(""))
        self.assertEqual(0x11, hlpgen.context_hash("a"))
        self.assertEqual(0x11, hlpgen.context_hash("A"))
        self.assertEqual(0x11 * 43 + 0x12, hlpgen.context_hash("ab"))
        self.assertEqual(10 * 43 + 1, hlpgen.context_hash("01"))
        self.assertEqual(0x0D * 43 + 0x0C, hlpgen.context_hash("_."))
        rng = random.Random(3)
        alphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_."
        for length in list(range(1, 30)) * 20:
            name = "".join(rng.choice(alphabet) for _ in range(length))
            self.assertEqual(reader_hash(name), hlpgen.context_hash(name), name)
            self.assertEqual(hlpgen.context_hash(name), hlpgen.context_hash(name.upper()))

    def test_compressed_numbers(self):
        for value in (0, 1, 63, 64, 127, 128, 1000, 16383, 32767):
            self.assertEqual(value, Cursor(hlpgen.comp_ushort(value)).comp_ushort())
        for value in (-16384, -1000, -65, -64, -1, 0, 1, 63, 64, 16383):
            self.assertEqual(value, Cursor(hlpgen.comp_short(value)).comp_short())
        for value in (0, 1, 32767, 32768, 70000, 2**31 - 1):
            self.assertEqual(value, Cursor(hlpgen.comp_ulong(value)).comp_ulong())
        self.assertEqual(1, len(hlpgen.comp_short(-64)))
        self.assertEqual(2, len(hlpgen.comp_short(64)))
        for bad in ((hlpgen.comp_ushort, 32768), (hlpgen.comp_ushort, -1),
                    (hlpgen.comp_short, 16384), (hlpgen.comp_short, -16385),
                    (hlpgen.comp_ulong, -1)):
            with self.assertRaises(ValueError):
                bad[0](bad[1])

    def test_lz77_round_trip(self):
        rng = random.Random(5)
        text = HELP_PROJECT.parent.joinpath("topics", "contents.txt").read_bytes()
        noise = bytes(rng.randrange(256) for _ in range(3000))
        samples = [b"", b"a", b"ab" * 3, b"a" * 5000, noise, text, text * 3,
                   b"0123456789abcdef" + bytes(4080) + b"0123456789abcdef",  # at distance 4096
                   b"0123456789abcdef" + bytes(4081) + b"0123456789abcdef"]  # one too far
        for sample in samples:
            packed = hlpgen.lz77_compress(sample)
            self.assertEqual(sample, expand(packed, 1 << 20), sample[:20])
        self.assertLess(len(hlpgen.lz77_compress(text)), len(text) * 0.7)
        self.assertLess(len(hlpgen.lz77_compress(b"a" * 5000)), 700)
        # The packer sizes what it appends.
        packer = hlpgen.Lz77Packer()
        text = HELP_PROJECT.parent.joinpath("topics", "settings.txt").read_bytes()
        for start in range(0, len(text), 97):
            chunk = text[start : start + 97]
            predicted = packer.size_with(chunk)
            packer.append(chunk)
            self.assertEqual(predicted, len(packer.compressed()))
        self.assertEqual(text, expand(packer.compressed(), 1 << 20))

    def test_trees_with_many_levels(self):
        keys = sorted(random.Random(7).sample(range(-2**31, 2**31), 700))
        entries = [(struct.pack("<i", k), struct.pack("<ii", k, i)) for i, k in enumerate(keys)]
        tree = long_keyed_tree(hlpgen.btree(entries, 64, "L4", 2, lambda key: key),
                               lambda c: c.take("<i"))
        self.assertGreaterEqual(tree.levels, 3)
        self.assertEqual([(k, i) for i, k in enumerate(keys)], tree.leaves())
        for i, k in enumerate(keys):
            self.assertEqual([(k, i)], tree.lookup(k))
        self.assertEqual([], tree.lookup(keys[0] - 1))
        self.assertEqual([], tree.lookup(keys[-1] + 1))
        # A directory of many files.
        places = {f"|F{i:04}": 1000 + i for i in range(150)}
        tree = directory_tree(hlpgen.directory_tree(places))
        self.assertGreaterEqual(tree.levels, 2)
        self.assertEqual(sorted((k.encode(), v) for k, v in places.items()), tree.leaves())
        self.assertEqual([(b"|F0077", 1077)], tree.lookup(b"|F0077"))

    def test_markup(self):
        topic = hlpgen.parse_topic(
            "# note\nTopic: a.b_1\nNumber: 7\nTitle: T\n\nOne **two** [[three|x]]\nfour.\n\n"
            "== Head\n* item\ncontinued\n* next\nplain\n", "t")
        kinds = [p.kind for p in topic.paragraphs]
        self.assertEqual(["title", "text", "heading", "bullet", "bullet"], kinds)
        runs = [(r.kind, r.text, r.target) for r in topic.paragraphs[1].runs]
        self.assertEqual([("text", "One ", ""), ("bold", "two", ""), ("text", " ", ""),
                          ("jump", "three", "x"), ("text", " four.", "")], runs)
        self.assertEqual("next plain", topic.paragraphs[4].runs[0].text)
        self.assertEqual("item continued", topic.paragraphs[3].runs[0].text)

    def test_bad_sources_are_refused(self):
        bad_topics = {
            "no header": "Hello\n",
            "missing title": "Topic: a\nNumber: 1\n\nText\n",
            "bad name": "Topic: a-b\nNumber: 1\nTitle: T\n\nText\n",
            "bad number": "Topic: a\nNumber: one\nTitle: T\n\nText\n",
            "no text": "Topic: a\nNumber: 1\nTitle: T\n\n",
            "open jump": "Topic: a\nNumber: 1\nTitle: T\n\nSee [[this|b\n",
            "open bold": "Topic: a\nNumber: 1\nTitle: T\n\nSee **this\n",
        }
        for why, text in bad_topics.items():
            with self.assertRaises(hlpgen.SourceError, msg=why):
                hlpgen.parse_topic(text, why)

    def test_bad_projects_are_refused_with_a_message(self):
        good = ("a", 1, "A", "See [[b|b]].")
        cases = {
            "unknown jump": [good, ("b", 2, "B", "See [[c|c]].")],
            "same number": [good, ("b", 1, "B", "Text.")],
            "same name in another case": [good, ("b", 2, "B", "x"), ("A", 3, "C", "x")],
            "outside Windows-1252": [good, ("b", 2, "B", "\u20ac fine but \u0101 not")],
            "paragraph too long for a block": [good, ("b", 2, "B", " ".join(
                f"{random.Random(k).getrandbits(64):x}" for k in range(700)))],
            "paragraph too long for a record": [good, ("b", 2, "B", "x" * 40000)],
            "a topic file not listed": [good, ("b", 2, "B", "x")],
        }
        for why, topics in cases.items():
            with tempfile.TemporaryDirectory() as folder:
                project = write_project(folder, topics)
                if why == "a topic file not listed":
                    (Path(folder) / "f.txt").write_text("Topic: f\nNumber: 3\nTitle: F\n\nx\n")
                result = subprocess.run([sys.executable, str(GENERATOR), str(project),
                                         str(Path(folder) / "out.hlp")], capture_output=True,
                                        text=True)
                self.assertEqual(1, result.returncode, why)
                self.assertIn("hlpgen:", result.stderr, why)
                self.assertFalse((Path(folder) / "out.hlp").exists(), why)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"], verbosity=2)
