#!/usr/bin/env python3
"""A large help project for the tests: many topics of varied length, with jumps, so that the
help file needs many topic blocks and some topics span several of them.

Usage: help_layout.py OUT_FOLDER    writes Layout.help and its topic files for tools/hlpgen.py

Topic i is "Layout topic i" at context number 1000 + i; its last paragraph is
"End of layout topic i." so that a viewer test can tell that it was shown in full.
"""
import random
import sys
from pathlib import Path

# What the build's HelpLayout.hlp holds; the viewer test relies on these numbers.
LAYOUT = {"count": 40, "paragraphs": 6, "seed": 11, "long_topics": (20,)}
LONG_TOPIC_PARAGRAPHS = 80
FIRST_NUMBER = 1000


def layout_topics(count, paragraphs, seed, long_topics=()):
    """(name, number, title, body) for count topics of 1 to paragraphs paragraphs each; the
    topics in long_topics get more text than one topic block holds."""
    rng = random.Random(seed)
    words = ("modem line dial tray window status connect password entry provider network "
             "\u00e9t\u00e9 caf\u00e9 Stra\u00dfe").split()
    topics = []
    for i in range(count):
        body = []
        for j in range(LONG_TOPIC_PARAGRAPHS if i in long_topics else rng.randint(1, paragraphs)):
            text = " ".join(rng.choice(words) for _ in range(rng.randint(3, 60)))
            if j % 2 == 0:
                k = rng.randrange(count)
                text += f" See [[topic {k}|t{k}]] and **bold {j}**."
            body.append(("* " if j % 5 == 4 else "") + text)
        body.append(f"End of layout topic {i}.")
        topics.append((f"t{i}", FIRST_NUMBER + i, f"Layout topic {i}", "\n\n".join(body)))
    return topics


def write_project(folder, topics, title="Layout Help"):
    """Writes the project and one file per topic; the first topic is the contents."""
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    lines = [f"Title: {title}", f"Contents: {topics[0][0]}"]
    for name, number, topic_title, body in topics:
        (folder / f"{name}.txt").write_text(
            f"Topic: {name}\nNumber: {number}\nTitle: {topic_title}\n\n{body}\n", encoding="utf-8")
        lines.append(f"Topic: {name}.txt")
    (folder / "Layout.help").write_text("\n".join(lines) + "\n", encoding="utf-8")
    return folder / "Layout.help"


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    write_project(sys.argv[1], layout_topics(**LAYOUT))
