#!/usr/bin/env python3
"""Builds Tovane.hlp, a Windows Help 3.1 file, from the readable topic sources in docs/help.

Usage: hlpgen.py PROJECT OUT.hlp

PROJECT names the help title, the contents topic and the topic files, in order (see
docs/help/Tovane.help); every .txt file beside a listed topic must be listed too.
A topic file holds a small header and paragraphs:

    # comment
    Topic: settings          context name, the target of jumps
    Number: 101              context number, the one programs pass to WinHelp
    Title: The settings window

    A paragraph; lines are joined until a blank line. **Bold text** and
    [[a jump to another topic|connecting]].
    == A heading
    * A bulleted paragraph.

The file holds |SYSTEM (title, contents topic, main window caption), |FONT, |TOPIC,
|CONTEXT (topic names by hash: jumps and programs use it), |CTXOMAP (context numbers) and
|TTLBTREE (titles), found through the directory B+ tree.

The topic text is LZ77 compressed in 4 KB topic blocks (no phrase compression). The format
allows uncompressed blocks too, but Wine's viewer places topics past the first block as if
every block expanded to 16 KB, as compressed ones do; with compression both readings agree.
A topic may span several blocks; no topic link is ever split between two blocks, so each link
can be read from the block it starts in.
"""
import os
import re
import struct
import sys
from dataclasses import dataclass, field
from pathlib import Path

# --- Source files -------------------------------------------------------------------------

CONTEXT_NAME = re.compile(r"^[0-9A-Za-z_.]+$")  # the characters a Windows 3.1 viewer accepts
INLINE = re.compile(r"\*\*(.+?)\*\*|\[\[(.+?)\|([^\]]+?)\]\]")


class SourceError(Exception):
    pass


@dataclass
class Run:
    kind: str  # "text", "bold" or "jump"
    text: str
    target: str = ""


@dataclass
class Paragraph:
    kind: str  # "title", "text", "heading" or "bullet"
    runs: list


@dataclass
class Topic:
    name: str
    number: int
    title: str
    paragraphs: list
    source: str = ""


@dataclass
class Project:
    title: str
    contents: str
    topics: list = field(default_factory=list)
    changed: float = 0.0  # newest modification time of the sources, seconds since 1970


def parse_inline(text, where):
    """Splits a paragraph's text into plain, bold and jump runs."""
    runs, pos = [], 0
    for m in INLINE.finditer(text):
        if m.start() > pos:
            runs.append(Run("text", text[pos : m.start()]))
        if m.group(1) is not None:
            runs.append(Run("bold", m.group(1)))
        else:
            runs.append(Run("jump", m.group(2).strip(), m.group(3).strip()))
        pos = m.end()
    if pos < len(text):
        runs.append(Run("text", text[pos:]))
    for run in runs:
        if "[[" in run.text or "]]" in run.text or "**" in run.text:
            raise SourceError(f"{where}: unbalanced markup in {run.text!r}")
    return runs


def parse_topic(text, where="topic"):
    """Reads one topic file: header lines, a blank line, then paragraphs."""
    header, body, in_header = {}, [], True
    for number, line in enumerate(text.splitlines(), 1):
        line = line.rstrip()
        if line.startswith("#"):
            continue
        if in_header:
            if not line:
                if header:
                    in_header = False
                continue
            key, sep, value = line.partition(":")
            if not sep or key.strip() not in ("Topic", "Number", "Title"):
                raise SourceError(f"{where}:{number}: expected Topic:, Number: or Title:")
            header[key.strip()] = value.strip()
        else:
            body.append((number, line))
    for key in ("Topic", "Number", "Title"):
        if not header.get(key):
            raise SourceError(f"{where}: the header has no {key}:")
    name = header["Topic"]
    if not CONTEXT_NAME.match(name):
        raise SourceError(f"{where}: context name {name!r} may only use 0-9, A-Z, a-z, _ and .")
    try:
        ctx_number = int(header["Number"])
    except ValueError:
        raise SourceError(f"{where}: Number: {header['Number']!r} is not a number") from None
    if not 0 <= ctx_number <= 0x7FFFFFFF:
        raise SourceError(f"{where}: Number: {ctx_number} is out of range")

    paragraphs = [Paragraph("title", [Run("text", header["Title"])])]
    current = None
    for number, line in body + [(0, "")]:
        stripped = line.strip()
        starts = stripped.startswith("== ") or stripped.startswith("* ")
        if current and (not stripped or starts):
            kind, lines = current
            paragraphs.append(Paragraph(kind, parse_inline(" ".join(lines), where)))
            current = None
        if not stripped:
            continue
        if stripped.startswith("== "):
            current = ("heading", [stripped[3:].strip()])
        elif stripped.startswith("* "):
            current = ("bullet", [stripped[2:].strip()])
        elif current:
            current[1].append(stripped)
        else:
            current = ("text", [stripped])
    if len(paragraphs) == 1:
        raise SourceError(f"{where}: the topic has no text")
    return Topic(name, ctx_number, header["Title"], paragraphs, where)


def parse_project(path):
    """Reads the project file and every topic it lists, and checks names and jumps."""
    path = Path(path)
    title = contents = None
    files = []
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        key, sep, value = line.partition(":")
        key, value = key.strip(), value.strip()
        if not sep or not value:
            raise SourceError(f"{path}:{number}: expected Key: value")
        if key == "Title":
            title = value
        elif key == "Contents":
            contents = value
        elif key == "Topic":
            files.append(value)
        else:
            raise SourceError(f"{path}:{number}: unknown key {key!r}")
    if not title or not contents or not files:
        raise SourceError(f"{path}: Title:, Contents: and at least one Topic: are needed")
    listed = {(path.parent / name).resolve() for name in files}
    folders = {source.parent for source in listed}
    unlisted = sorted(str(f) for d in folders for f in d.glob("*.txt") if f.resolve() not in listed)
    if unlisted:
        raise SourceError(f"{path}: topic files not listed: {', '.join(unlisted)}")
    project = Project(title, contents, changed=path.stat().st_mtime)
    for name in files:
        source = path.parent / name
        project.topics.append(parse_topic(source.read_text(encoding="utf-8"), str(source)))
        project.changed = max(project.changed, source.stat().st_mtime)
    check_project(project)
    return project


def check_project(project):
    names, numbers = {}, {}
    for topic in project.topics:
        key = topic.name.lower()  # the viewer's hash ignores case
        if key in names:
            raise SourceError(f"{topic.source}: topic {topic.name!r} is also in {names[key]}")
        if topic.number in numbers:
            other = numbers[topic.number]
            raise SourceError(f"{topic.source}: number {topic.number} is also in {other}")
        names[key] = topic.source
        numbers[topic.number] = topic.source
    hashes = {}
    for topic in project.topics:
        h = context_hash(topic.name)
        if h in hashes:
            raise SourceError(f"{topic.source}: {topic.name!r} hashes like {hashes[h]!r}")
        hashes[h] = topic.name
    if project.contents.lower() not in names:
        raise SourceError(f"Contents: {project.contents!r} is not a topic")
    for topic in project.topics:
        for paragraph in topic.paragraphs:
            for run in paragraph.runs:
                if run.kind == "jump" and run.target.lower() not in names:
                    raise SourceError(f"{topic.source}: jump to unknown topic {run.target!r}")
    for topic in project.topics:
        for paragraph in topic.paragraphs:
            for run in paragraph.runs:
                encode_text(run.text, topic.source)


def encode_text(text, where):
    try:
        return text.encode("cp1252")
    except UnicodeEncodeError as error:
        raise SourceError(f"{where}: {text!r} has a character outside Windows-1252") from error


# --- Context hash ---------------------------------------------------------------------------

# Weight of each byte in a context name's hash; letters count the same in either case.
HASH_TABLE = bytes.fromhex(
    "00D1D2D3D4D5D6D7" "D8D9DADBDCDDDEDF" "E0E1E2E3E4E5E6E7" "E8E9EAEBECEDEEEF"
    "F00BF2F3F4F5F6F7" "F8F9FAFBFCFD0CFF" "0A01020304050607" "08090A0B0C0D0E0F"
    "1011121314151617" "18191A1B1C1D1E1F" "2021222324252627" "28292A0B0C0D0E0D"
    "1011121314151617" "18191A1B1C1D1E1F" "2021222324252627" "28292A2B2C2D2E2F"
    "5051525354555657" "58595A5B5C5D5E5F" "6061626364656667" "68696A6B6C6D6E6F"
    "7071727374757677" "78797A7B7C7D7E7F" "808182830B858687" "88898A8B8C8D8E8F"
    "9091929394959697" "98999A9B9C9D9E9F" "A0A1A2A3A4A5A6A7" "A8A9AAABACADAEAF"
    "B0B1B2B3B4B5B6B7" "B8B9BABBBCBDBEBF" "C0C1C2C3C4C5C6C7" "C8C9CACBCCCDCECF"
)


def to_int32(value):
    value &= 0xFFFFFFFF
    return value - 0x100000000 if value & 0x80000000 else value


def context_hash(name):
    """The 32-bit signed hash under which a context name is filed in |CONTEXT."""
    if not name:
        return 1
    h = 0
    for byte in name.encode("cp1252"):
        weight = HASH_TABLE[byte]
        if weight >= 0x80:  # the table holds signed chars
            weight -= 0x100
        h = to_int32(h * 43 + weight)
    return h


# --- Compressed numbers of topic records ----------------------------------------------------


def comp_ushort(value):
    if not 0 <= value < 0x8000:
        raise ValueError(value)
    return bytes([value * 2]) if value < 0x80 else struct.pack("<H", value * 2 + 1)


def comp_short(value):
    if not -0x4000 <= value < 0x4000:
        raise ValueError(value)
    if -64 <= value < 64:
        return bytes([(value + 64) * 2])
    return struct.pack("<H", (value + 0x4000) * 2 + 1)


def comp_ulong(value):
    if not 0 <= value < 0x80000000:
        raise ValueError(value)
    return struct.pack("<H", value * 2) if value < 0x8000 else struct.pack("<I", value * 2 + 1)


# --- Fonts and paragraph formats ------------------------------------------------------------

FACES = ["Arial"]
FAM_SWISS = 3
BOLD = 0x01
# (attributes, half points, face, foreground RGB)
FONTS = [
    (0, 20, 0, (0, 0, 0)),  # 0: body text, 10 pt
    (BOLD, 28, 0, (0, 0, 128)),  # 1: topic title, 14 pt
    (BOLD, 20, 0, (0, 0, 0)),  # 2: bold words in the text
    (BOLD, 22, 0, (0, 0, 128)),  # 3: headings, 11 pt
]
FONT_FOR = {"title": 1, "text": 0, "heading": 3, "bullet": 0}
BOLD_FONT = 2

# Paragraph metrics are in half points, as the 3.1 font descriptors are.
SPACE_ABOVE = {"title": 0, "text": 12, "heading": 20, "bullet": 6}
MARGIN = 10
BULLET_INDENT = 30
PARA_SPACE_ABOVE = 0x0002
PARA_LEFT_INDENT = 0x0010
PARA_RIGHT_INDENT = 0x0020
PARA_FIRST_INDENT = 0x0040
PARA_TABS = 0x0200
BULLET = "\u2022".encode("cp1252")


def font_file():
    face_size = 32
    faces = b"".join(f.encode("cp1252").ljust(face_size, b"\0") for f in FACES)
    head = struct.pack("<HHHH", len(FACES), len(FONTS), 8, 8 + len(faces))
    descriptors = b"".join(
        struct.pack("<BBBH3B3B", attrs, half, FAM_SWISS, face, *rgb, 255, 255, 255)
        for attrs, half, face, rgb in FONTS
    )
    return head + faces + descriptors


# --- LZ77 ----------------------------------------------------------------------------------

LZ_WINDOW = 4096  # a match reaches back at most this far (12 bits of distance - 1)
LZ_MIN = 3  # shorter repeats stay literals (4 bits of length - 3)
LZ_MAX = 18
LZ_TRIES = 48  # candidates examined per position: enough for text, keeps the build quick


class Lz77Packer:
    """Compresses data as it is appended, so that a topic block can be filled until its
    compressed form would no longer fit. Matches never reach before the start of the data:
    each block is expanded on its own."""

    def __init__(self):
        self.data = bytearray()
        self.tokens = []  # a literal byte (int) or a (distance, length) pair
        self.body_size = 0  # compressed bytes of the tokens, without their flag bytes
        self.heads = {}  # 3-byte string -> positions where it starts, oldest first
        self.indexed = 0  # positions below this are in heads
        self.trial = None  # the last chunk sized, with its parse, to append without parsing again

    def _parse(self, chunk):
        data = self.data + chunk
        end = len(data)
        local, tokens, p, next_index = {}, [], len(self.data), self.indexed

        def candidates(key):
            yield from reversed(local.get(key, ()))
            yield from reversed(self.heads.get(key, ()))

        while p < end:
            while next_index < p and next_index + LZ_MIN <= end:
                key = bytes(data[next_index : next_index + LZ_MIN])
                local.setdefault(key, []).append(next_index)
                next_index += 1
            best_len = best_at = 0
            if p + LZ_MIN <= end:
                for tries, q in enumerate(candidates(bytes(data[p : p + LZ_MIN]))):
                    if p - q > LZ_WINDOW or tries >= LZ_TRIES:
                        break
                    n = LZ_MIN
                    while n < LZ_MAX and p + n < end and data[q + n] == data[p + n]:
                        n += 1
                    if n > best_len:
                        best_len, best_at = n, q
                        if n == LZ_MAX:
                            break
            if best_len >= LZ_MIN:
                tokens.append((p - best_at, best_len))
                p += best_len
            else:
                tokens.append(data[p])
                p += 1
        return tokens, local, next_index

    @staticmethod
    def _body(tokens):
        return sum(1 if isinstance(t, int) else 2 for t in tokens)

    def size_with(self, chunk):
        """Compressed size if chunk were appended."""
        self.trial = (bytes(chunk), self._parse(chunk))
        tokens = self.trial[1][0]
        flag_bytes = (len(self.tokens) + len(tokens) + 7) // 8
        return self.body_size + self._body(tokens) + flag_bytes

    def append(self, chunk):
        if self.trial and self.trial[0] == chunk:
            tokens, local, next_index = self.trial[1]
        else:
            tokens, local, next_index = self._parse(chunk)
        self.trial = None
        self.data += chunk
        self.tokens += tokens
        self.body_size += self._body(tokens)
        for key, places in local.items():
            self.heads.setdefault(key, []).extend(places)
        self.indexed = next_index

    def compressed(self):
        out = bytearray()
        for group in range(0, len(self.tokens), 8):
            flags, body = 0, bytearray()
            for bit, token in enumerate(self.tokens[group : group + 8]):
                if isinstance(token, int):
                    body.append(token)
                else:
                    distance, length = token
                    flags |= 1 << bit
                    body += struct.pack("<H", ((length - LZ_MIN) << 12) | (distance - 1))
            out.append(flags)
            out += body
        return bytes(out)


def lz77_compress(data):
    packer = Lz77Packer()
    packer.append(data)
    return packer.compressed()


# --- Topic records ----------------------------------------------------------------------------

TOPICLINK_SIZE = 21
TOPICHEADER_SIZE = 28
BLOCK_SIZE = 4096
BLOCK_HEADER = 12
BLOCK_ROOM = BLOCK_SIZE - BLOCK_HEADER  # compressed bytes after the block header
DECOMPRESS_SIZE = 0x4000  # a block's data once expanded, the unit of TOPICPOS
# The zeros that fill a block after its data expand too (8 bytes for every 9); the data is
# kept short enough that a reader expanding all of them still stays within DECOMPRESS_SIZE.
PAD_EXPANSION = BLOCK_ROOM * 8 // 9 + 8
TL_TOPICHDR = 2
TL_DISPLAY = 0x20


@dataclass
class Link:
    kind: int
    data1: bytes  # LinkData1 without the link header
    data2: bytes
    topic: int  # index of the topic it belongs to, -1 for the closing link
    where: str = ""  # the source file, for messages
    chars: int = 0  # characters it adds to a topic offset (display records)
    block: int = 0
    offset: int = 0  # in its block's expanded data

    @property
    def size(self):
        return TOPICLINK_SIZE + len(self.data1) + len(self.data2)

    @property
    def pos(self):
        return topic_pos(self.block, self.offset)

    def encode(self, prev_pos, next_pos):
        head = struct.pack(
            "<iiiiiB",
            self.size,
            len(self.data2),
            prev_pos,
            next_pos,
            TOPICLINK_SIZE + len(self.data1),
            self.kind,
        )
        return head + self.data1 + self.data2


def topic_pos(block, offset):
    """TOPICPOS: where a link starts, in the blocks' expanded data."""
    return block * DECOMPRESS_SIZE + offset + BLOCK_HEADER


def topic_offset(block, chars):
    """TOPICOFFSET: a block, and the characters of the text records before the place in it."""
    return block * 0x8000 + chars


def paragraph_format(kind):
    """The paragraph information of a display record: margins, spacing and tab stops."""
    left = MARGIN + (BULLET_INDENT if kind == "bullet" else 0)
    bits = PARA_LEFT_INDENT | PARA_RIGHT_INDENT
    fields = b""
    if SPACE_ABOVE[kind]:
        bits |= PARA_SPACE_ABOVE
        fields += comp_short(SPACE_ABOVE[kind])
    fields += comp_short(left) + comp_short(MARGIN)
    if kind == "bullet":
        # A hanging indent with a tab stop where the text starts, so that wrapped lines line
        # up under the first word and not under the bullet.
        bits |= PARA_FIRST_INDENT | PARA_TABS
        fields += comp_short(-BULLET_INDENT) + comp_short(1) + comp_ushort(left)
    # An unsigned byte and a signed one kept with a bias of 0x80 (both zero here), a paragraph
    # id, then the bits telling which fields follow.
    return struct.pack("<BBHH", 0, 0x80, 0, bits) + fields


def display_record(paragraph, jump_hash):
    """A 0x20 record holding one paragraph: its format, its commands and its strings."""
    kind = paragraph.kind
    strings, commands = [], []
    base_font = FONT_FOR[kind]

    def command(before, code):
        strings.append(before)
        commands.append(code)

    command(b"", b"\x80" + struct.pack("<h", base_font))
    if kind == "bullet":
        command(BULLET, b"\x83")
    pending = b""
    for run in paragraph.runs:
        text = encode_text(run.text, "paragraph")
        if run.kind == "text":
            pending += text
        elif run.kind == "bold":
            command(pending, b"\x80" + struct.pack("<h", BOLD_FONT))
            command(text, b"\x80" + struct.pack("<h", base_font))
            pending = b""
        else:
            command(pending, b"\xE3" + struct.pack("<i", jump_hash(run.target)))
            command(text, b"\x89")
            pending = b""
    command(pending, b"\x82")
    commands.append(b"\xFF")

    data2 = b"".join(s + b"\0" for s in strings)
    data1 = comp_ulong(len(data2)) + comp_ushort(len(data2)) + paragraph_format(kind)
    data1 += b"".join(commands)
    return data1, data2


def build_links(project):
    """Every topic as a header link followed by one display link per paragraph."""
    hashes = {t.name.lower(): context_hash(t.name) for t in project.topics}
    links = []
    for index, topic in enumerate(project.topics):
        title = encode_text(topic.title, topic.source) + b"\0"
        links.append(Link(TL_TOPICHDR, bytes(TOPICHEADER_SIZE), title, index, topic.source))
        for paragraph in topic.paragraphs:
            try:
                data1, data2 = display_record(paragraph, lambda name: hashes[name.lower()])
            except ValueError:  # a length beyond what the record's numbers can hold
                raise SourceError(f"{topic.source}: a paragraph is too long") from None
            links.append(Link(TL_DISPLAY, data1, data2, index, topic.source, len(data2)))
    # The walk ends at a link that holds no text.
    links.append(Link(TL_TOPICHDR, bytes(TOPICHEADER_SIZE), b"", -1))
    return links


def fill_topic_headers(links):
    """Topic headers: size of the topic's links, no browse sequence, where the title
    (non-scrolling) and the body (scrolling) start, and where the next topic starts."""
    headers = [i for i, link in enumerate(links) if link.kind == TL_TOPICHDR]
    for n, i in enumerate(headers[:-1]):
        end = headers[n + 1]
        topic_size = sum(link.size for link in links[i:end])
        scroll = links[i + 2].pos if i + 2 < end else -1
        next_topic = links[end].pos if n + 2 < len(headers) else -1
        links[i].data1 = struct.pack(
            "<iiiiiii", topic_size, -1, -1, links[i].topic, links[i + 1].pos, scroll, next_topic
        )


def encode_links(links, i, j):
    """Links i to j-1 as stored, each pointing at its neighbours."""
    out = b""
    for k in range(i, j):
        previous = links[k - 1].pos if k else -1
        following = links[k + 1].pos if k + 1 < len(links) else -1
        out += links[k].encode(previous, following)
    return out


def place_links(links, reserve):
    """Packs links into blocks while their compressed form fits, keeping reserve bytes free
    for the link fields that are only known once everything is placed. No link is split
    between blocks, and a topic header shares its block with the topic's title paragraph.
    Returns the number of blocks."""
    block, packer = 0, Lz77Packer()
    i = 0
    while i < len(links):
        j = i + (2 if links[i].kind == TL_TOPICHDR and i + 1 < len(links) else 1)
        for attempt in range(2):
            offset = len(packer.data)
            for k in range(i, j):
                links[k].block, links[k].offset = block, offset
                offset += links[k].size
            chunk = encode_links(links, i, j)
            fits = (
                packer.size_with(chunk) + reserve <= BLOCK_ROOM
                and offset + PAD_EXPANSION <= DECOMPRESS_SIZE
            )
            if fits:
                packer.append(chunk)
                break
            if attempt or not packer.data:
                raise SourceError(f"{links[i].where}: a paragraph is too long for one topic block")
            block, packer = block + 1, Lz77Packer()
        i = j
    return block + 1


def topic_offsets(links):
    """The TOPICOFFSET of each topic: its block, and the characters before it in that block."""
    offsets = {}
    chars, block = 0, 0
    for link in links:
        if link.block != block:
            block, chars = link.block, 0
        if link.kind == TL_TOPICHDR and link.topic >= 0:
            offsets[link.topic] = topic_offset(block, chars)
        chars += link.chars
    return offsets


def topic_file(project):
    """The |TOPIC file, each topic's TOPICOFFSET, and the number of blocks."""
    links = build_links(project)
    reserve = 8
    while True:
        blocks = place_links(links, reserve)
        fill_topic_headers(links)
        data = bytearray()
        for block in range(blocks):
            members = [k for k, link in enumerate(links) if link.block == block]
            payload = lz77_compress(encode_links(links, members[0], members[-1] + 1))
            if len(payload) > BLOCK_ROOM:
                break
            before = links[: members[0]]
            headers = [link for link in before if link.kind == TL_TOPICHDR]
            data += struct.pack(
                "<iii",
                before[-1].pos if before else -1,
                links[members[0]].pos,
                headers[-1].pos if headers else -1,
            )
            data += payload.ljust(BLOCK_ROOM, b"\0")
        else:
            return bytes(data), topic_offsets(links), blocks
        reserve += 32  # the final fields compressed worse than the provisional ones


# --- B+ trees ---------------------------------------------------------------------------------

BTREE_MAGIC = 0x293B
BTREE_FLAGS = 0x0002
DIRECTORY_FLAG = 0x0400
LEAF_HEADER = 8  # unused bytes, entries, previous page, next page
INDEX_HEADER = 6  # unused bytes, entries, page for keys below the first


def btree(entries, page_size, structure, flags, index_key):
    """A B+ tree from (key, leaf entry) pairs given in key order. Leaves come first, in order
    and linked both ways, then each level of index pages up to the root. An index page
    points first to the page for keys below its first key, then holds (first key of a page,
    page) pairs; index_key(key) is how a key is written in an index page."""
    pages = []
    groups, current, used = [], [], 0
    for key, entry in entries:
        if LEAF_HEADER + len(entry) > page_size:
            raise ValueError("a B+ tree entry is larger than its page")
        if current and LEAF_HEADER + used + len(entry) > page_size:
            groups.append(current)
            current, used = [], 0
        current.append((key, entry))
        used += len(entry)
    groups.append(current)
    level = []  # (first key, page number) of the pages on the level being built
    for n, group in enumerate(groups):
        body = b"".join(entry for _, entry in group)
        head = struct.pack(
            "<Hhhh",
            page_size - LEAF_HEADER - len(body),
            len(group),
            n - 1 if n else -1,
            n + 1 if n + 1 < len(groups) else -1,
        )
        pages.append((head + body).ljust(page_size, b"\0"))
        level.append((group[0][0] if group else b"", n))
    levels = 1
    while len(level) > 1:
        upper, children, used = [], [level[0]], 0
        for child in level[1:]:
            item = len(index_key(child[0])) + 2
            if INDEX_HEADER + used + item > page_size:
                upper.append(children)
                children, used = [child], 0
            else:
                children.append(child)
                used += item
        upper.append(children)
        level = []
        for children in upper:
            body = b"".join(index_key(key) + struct.pack("<h", page) for key, page in children[1:])
            head = struct.pack(
                "<Hhh", page_size - INDEX_HEADER - len(body), len(children) - 1, children[0][1]
            )
            level.append((children[0][0], len(pages)))
            pages.append((head + body).ljust(page_size, b"\0"))
        levels += 1
    header = struct.pack(
        "<HHH16shhhhhhi",
        BTREE_MAGIC,
        flags,
        page_size,
        structure.encode().ljust(16, b"\0"),
        0,  # must be zero
        0,  # page splits
        level[0][1],  # root page
        -1,  # must be -1
        len(pages),
        levels,
        len(entries),
    )
    return header + b"".join(pages)


def directory_tree(places):
    """The internal directory: file names in byte order, each with its file header's offset."""
    entries = [
        (name.encode(), name.encode() + b"\0" + struct.pack("<i", place))
        for name, place in sorted(places.items(), key=lambda item: item[0].encode())
    ]
    return btree(entries, 0x400, "z4", BTREE_FLAGS | DIRECTORY_FLAG, lambda key: key + b"\0")


def context_tree(pairs):
    """|CONTEXT: (hash, TOPICOFFSET) in order of the signed hash."""
    entries = [(struct.pack("<i", h), struct.pack("<ii", h, offset)) for h, offset in sorted(pairs)]
    return btree(entries, 0x800, "L4", BTREE_FLAGS, lambda key: key)


def title_tree(pairs):
    """|TTLBTREE: (TOPICOFFSET, title) in order of the offset; the viewer lists titles from it."""
    entries = [
        (struct.pack("<i", offset), struct.pack("<i", offset) + title + b"\0")
        for offset, title in sorted(pairs)
    ]
    return btree(entries, 0x800, "Lz", BTREE_FLAGS, lambda key: key)


# --- The whole file ---------------------------------------------------------------------------


SYSTEM_LZ77_4K = 4  # |TOPIC is LZ77 compressed in 4 KB blocks


def system_file(project, contents_offset, gen_date):
    data = struct.pack("<HHHIH", 0x036C, 21, 1, gen_date, SYSTEM_LZ77_4K)
    title = encode_text(project.title, "Title") + b"\0"
    data += struct.pack("<HH", 1, len(title)) + title
    data += struct.pack("<HH", 3, 4) + struct.pack("<i", contents_offset)
    # The main window's definition, so that the viewer's caption names this help file.
    caption = encode_text(project.title, "Title")[:50]
    valid = 0x0007  # type, name and caption given; position, size and colours left to the viewer
    window = struct.pack("<H10s9s51shhhhhII", valid, b"main", b"main", caption, 0, 0, 0, 0, 0, 0, 0)
    data += struct.pack("<HH", 6, len(window)) + window
    return data


def ctxomap_file(project, offsets):
    pairs = sorted((t.number, offsets[i]) for i, t in enumerate(project.topics))
    return struct.pack("<h", len(pairs)) + b"".join(struct.pack("<ii", n, o) for n, o in pairs)


SECONDS_1970_TO_1980 = 315532800


HELP_MAGIC = 0x00035F3F
FILE_HEADER = 9  # reserved space, used space, flags
FILE_FLAGS = 4
NO_FREE_LIST = -1


def internal_file(body):
    return struct.pack("<iiB", FILE_HEADER + len(body), len(body), FILE_FLAGS) + body


def build_help(project):
    """The bytes of the help file, and facts about its layout for callers that report. The
    file's date is that of its newest source (or SOURCE_DATE_EPOCH), so a build is repeatable."""
    changed = int(os.environ.get("SOURCE_DATE_EPOCH", project.changed))
    gen_date = max(0, changed - SECONDS_1970_TO_1980)
    topic_data, offsets, blocks = topic_file(project)
    topics = list(enumerate(project.topics))
    contents = next(i for i, t in topics if t.name.lower() == project.contents.lower())
    files = {
        "|SYSTEM": system_file(project, offsets[contents], gen_date),
        "|FONT": font_file(),
        "|TOPIC": topic_data,
        "|CONTEXT": context_tree([(context_hash(t.name), offsets[i]) for i, t in topics]),
        "|CTXOMAP": ctxomap_file(project, offsets),
        "|TTLBTREE": title_tree([(offsets[i], encode_text(t.title, t.source)) for i, t in topics]),
    }
    # The internal files one after another behind the header, then the directory.
    out = bytearray(16)
    places = {}
    for name, body in files.items():
        places[name] = len(out)
        out += internal_file(body)
    directory_start = len(out)
    out += internal_file(directory_tree(places))
    struct.pack_into("<Iiii", out, 0, HELP_MAGIC, directory_start, NO_FREE_LIST, len(out))
    return bytes(out), {"blocks": blocks, "offsets": offsets}


def main(argv):
    if len(argv) != 3:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    try:
        project = parse_project(argv[1])
        data, facts = build_help(project)
    except (SourceError, OSError) as error:
        print(f"hlpgen: {error}", file=sys.stderr)
        return 1
    Path(argv[2]).write_bytes(data)
    topics, blocks = len(project.topics), facts["blocks"]
    print(f"hlpgen: {argv[2]}: {topics} topics, {blocks} topic blocks, {len(data)} bytes")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
