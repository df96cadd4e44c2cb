#!/usr/bin/env python3
"""Writes the seed inputs of one fuzz target, made from the sample data tree.

    make_seeds.py TARGET DATA_DIR OUT_DIR

OUT_DIR is emptied first. The seeds are small files that show each target the
shapes of its real input; libFuzzer mutates them from there.
"""
import pathlib
import shutil
import sys

ARMY_SEPARATOR = b"\n@@@@\n"
FUZZ_CREATURE = b"/GameMechanics/Creature/Creatures/Fuzz.xdb#xpointer(/Creature)"


def catalog_split(data):
    seeds = []
    for path in sorted(data.glob("*.txt")):
        text = path.read_bytes()
        seeds += [text, text.replace(b"\n", b"\r\n"), text.replace(b"\n", b"\r")]
    seeds += [b"", b"\n", b"A\n\rB", b"A\x00B\nC", b" spaced \n\n\xc3\x84rger\n\xc3\xa4RGER\n",
              b"../img/x\nsub/dir\nback\\slash\n..\n"]
    return seeds


def conversions(data):
    seeds = [b"0", b"-12", b"+7", b"  42", b"$FF", b"x1f", b"0X7FFFFFFF", b"-0x80000000", b"2147483648",
             b"-2147483649", b"true", b"FALSE", b"tRuE", b"1.5e3", b"-0.0", b".5", b"1.", b"0e9", b" 3 ", b"",
             b"12a", b"0x", b"$"]
    # Every short leaf value of the sample presets and creature files.
    values = set()
    for path in list((data / "mod").rglob("*.xdb"))[:6] + list((data / "GameMechanics").rglob("*.xdb"))[:6]:
        text = path.read_bytes()
        for part in text.split(b"<"):
            value = part.partition(b">")[2].strip()
            if value and len(value) < 40:
                values.add(value)
    return seeds + sorted(values)


def preset_load(data):
    seeds = [path.read_bytes() for path in sorted((data / "mod").rglob("*.xdb"))]
    first = seeds[0].decode("utf-8")
    seeds.append(b"\xff\xfe" + first.replace('encoding="UTF-8"', 'encoding="UTF-16"').encode("utf-16-le"))
    seeds.append(first.replace('encoding="UTF-8"', 'encoding="ISO-8859-1"').encode("latin-1"))
    seeds.append(b'<?xml version="1.0"?>\n<!DOCTYPE p [<!ENTITY e "x">]>\n<p><![CDATA[a]]><!--c--><?pi x?></p>')
    return seeds


def army_statistics(data):
    table = (data / "GameMechanics/RefTables/Creatures.xdb").read_bytes()
    # The first two entries become CRT_A and CRT_B and point at the fuzzed
    # creature file.
    at = 0
    for name in (b"CRT_A", b"CRT_B"):
        start = table.index(b"<ID>", at) + 4
        end = table.index(b"</ID>", start)
        table = table[:start] + name + table[end:]
        href = table.index(b'href="', start) + 6
        table = table[:href] + FUZZ_CREATURE + table[table.index(b'"', href):]
        at = href
    # Keep the seed small: the two entries and the table's closing tags.
    cut = table.index(b"</Item>", table.index(b"<ID>CRT_B</ID>")) + len(b"</Item>")
    table = table[:cut] + b"\n    </objects>\n</CreatureTable>\n"
    creatures = sorted((data / "GameMechanics/Creature").rglob("*.xdb"))[:8]
    seeds = []
    for count, creature in zip([b"1", b"12", b"0", b"-3", b"$10", b"2147483647", b"7", b" 5"], creatures):
        seeds.append(count + b"\n" + table + ARMY_SEPARATOR + creature.read_bytes())
    return seeds


def file_mask(data):
    return [b"*.*\nfile.txt", b"*.*\nnoextension", b"*.xdb\nHero_Brezzomir.XDB", b"[a-c]?.jpg\nb1.jpg",
            b"[!a]*\nzeta", b"*a*b*c\naXbYc", b"Ma?s/*\nMaps/x", b"\xc3\xa4*\n\xc3\x84rger", b"[z-a]\nm",
            b"*.*.*\na.b", b"[\nx"]


def pack(data):
    # Settings, the count of items, then per item: folder, kind, name pieces,
    # size and fault bytes (fuzz/PackTarget.h reads them in that order).
    return [bytes([0, 3, 0, 0, 0, 2, 5, 0, 0, 0]),
            bytes([1, 6, 0, 3, 0, 23, 1, 0, 2, 5, 1, 2, 3, 0, 40, 0, 0, 1, 6, 1, 14, 1, 5, 80, 6, 9]),
            bytes([3, 8, 0, 0, 1, 5, 3, 7, 255, 255, 1, 7, 0, 4, 1, 1, 2, 0, 1, 5, 0, 0, 5, 1, 1, 9, 1, 2,
                   0, 0, 1, 12, 1, 6, 0, 0, 1, 0, 0, 3, 11, 12, 19]),
            bytes([4, 5, 0, 2, 0, 13, 2, 30, 0, 0, 0, 3, 1, 26, 0, 1, 0, 4, 1, 18, 3, 0, 0, 1, 2, 0, 4, 0]),
            bytes([2, 4, 0, 1, 0, 0, 6, 100, 60, 7, 7, 9, 0, 5, 1, 7, 0, 0, 8, 0, 0, 1, 1, 0, 5, 1, 10, 4, 3,
                   0, 0, 0, 20, 10, 17]),
            b"" + bytes(range(1, 200))]


TARGETS = {f.__name__: f for f in (catalog_split, conversions, preset_load, army_statistics, file_mask, pack)}


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in TARGETS:
        sys.exit(f"usage: {sys.argv[0]} {{{','.join(TARGETS)}}} DATA_DIR OUT_DIR")
    target, data, out = sys.argv[1], pathlib.Path(sys.argv[2]), pathlib.Path(sys.argv[3])
    shutil.rmtree(out, ignore_errors=True)
    out.mkdir(parents=True)
    seeds = TARGETS[target](data)
    for number, seed in enumerate(seeds):
        (out / f"seed-{number:03d}").write_bytes(seed)
    print(f"{len(seeds)} seeds for {target} in {out}")


if __name__ == "__main__":
    main()
