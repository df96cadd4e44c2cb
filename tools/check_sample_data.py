#!/usr/bin/env python3
"""Checks a Voriraz data tree: catalogs, creature reference table, creature
descriptions and the duel hero presets; with --icons also the painted icons.

Usage: check_sample_data.py [--icons] [--summary] [DATA_DIR]
  DATA_DIR   defaults to <repo>/data (the source tree, which has no icons)
  --icons    every catalog entry must have a 32 x 32 baseline JPEG icon
  --summary  print each preset's values and its army totals

Exits 1 and lists every problem found when the tree is not right.
"""

import hashlib
import os
import re
import sys
import xml.dom.minidom
import xml.etree.ElementTree as ET

CATALOGS = {
    # name: (minimum size, first entry is the empty one)
    "creatures": (150, True),
    "artifacts": (100, False),
    "spells": (120, False),
    "perks": (150, False),
    "skills": (12, True),
    "primary_mastery": (2, False),
    "mastery": (2, False),
}
ICON_KINDS = ["creatures", "artifacts", "spells", "perks", "skills"]
XPOINTER = "#xpointer(/Creature)"
PRESET_DIR = os.path.join("mod", "Maps", "DuelMode", "Heroes")
VALUES = ["Offence", "Defence", "Spellpower", "Knowledge"]
MACHINES = ["Ballista", "FirstAidTent", "AmmoCart"]
# The one sample whose identifiers are deliberately written in another case.
CASE_VARIANT_PRESET = "hero_tzelmarok.xdb"
IDENT = re.compile(r"^[A-Za-z][A-Za-z0-9_]*$")
INTEGER = re.compile(r"^-?[0-9]+$")


class Report:
    def __init__(self):
        self.problems = []
        self.notes = []
        self.case_variants = 0

    def fail(self, where, what):
        self.problems.append(f"{where}: {what}")

    def note(self, where, what):
        self.notes.append(f"{where}: {what}")


def read_catalog(data, name, report):
    path = os.path.join(data, name + ".txt")
    where = os.path.relpath(path, data)
    try:
        raw = open(path, "rb").read()
    except OSError as e:
        report.fail(where, f"cannot read ({e.strerror})")
        return []
    if not raw.endswith(b"\r\n"):
        report.fail(where, "does not end with CR LF")
    if re.search(rb"(?<!\r)\n|\r(?!\n)", raw):
        report.fail(where, "has a line break other than CR LF")
    entries = raw.decode("ascii", errors="replace").split("\r\n")
    if entries and entries[-1] == "":
        entries.pop()
    minimum, _ = CATALOGS[name]
    if len(entries) < minimum:
        report.fail(where, f"{len(entries)} entries, expected at least {minimum}")
    seen = set()
    for n, e in enumerate(entries, start=1):
        if not IDENT.match(e):
            report.fail(where, f"line {n}: {e!r} is not a plain ASCII identifier")
        if e in seen:
            report.fail(where, f"line {n}: {e} appears twice")
        seen.add(e)
    return entries


def child_text(elem, name):
    c = elem.find(name)
    return None if c is None else (c.text or "")


def check_creatures(data, catalogs, report):
    """Returns {creature id: {"exp", "power", "gold"}} from the descriptions."""
    where = "GameMechanics/RefTables/Creatures.xdb"
    stats = {}
    try:
        table = ET.parse(os.path.join(data, *where.split("/"))).getroot()
    except (OSError, ET.ParseError) as e:
        report.fail(where, f"unreadable: {e}")
        return stats
    objects = table.find("objects")
    if objects is None:
        report.fail(where, "no <objects> under the document element")
        return stats
    creature_ids = catalogs["creatures"]
    for item in objects:
        ident = child_text(item, "ID")
        obj = item.find("Obj")
        if not ident or obj is None:
            report.fail(where, "row without <ID> or <Obj>")
            continue
        if ident not in creature_ids[1:]:
            report.fail(where, f"{ident} is not a creature of creatures.txt")
        if ident in stats:
            report.fail(where, f"{ident} has two rows")
        href = obj.get("href", "")
        if not href.startswith("/") or not href.endswith(XPOINTER):
            report.fail(where, f"{ident}: odd href {href!r}")
            continue
        path = os.path.join(data, *href[1:-len(XPOINTER)].split("/"))
        desc_where = href[1:-len(XPOINTER)]
        try:
            desc = ET.parse(path).getroot()
        except (OSError, ET.ParseError) as e:
            report.fail(desc_where, f"unreadable: {e}")
            continue
        values = {"exp": child_text(desc, "Exp"), "power": child_text(desc, "Power"),
                  "gold": child_text(desc.find("Cost") if desc.find("Cost") is not None else desc, "Gold")}
        limits = {"exp": (5, 3000), "power": (50, 40000), "gold": (15, 6000)}
        parsed = {}
        for key, text in values.items():
            if text is None or not INTEGER.match(text):
                report.fail(desc_where, f"{key} is {text!r}, not an integer")
                continue
            parsed[key] = int(text)
            lo, hi = limits[key]
            if not lo <= parsed[key] <= hi:
                report.fail(desc_where, f"{key} {parsed[key]} outside {lo}..{hi}")
        stats[ident] = parsed
    for ident in creature_ids[1:]:
        if ident not in stats:
            report.fail(where, f"no row for {ident}")
    if creature_ids and creature_ids[0] in stats:
        report.fail(where, f"the empty entry {creature_ids[0]} has a row")
    return stats


def check_layout(where, raw, report):
    if not raw.startswith(b'<?xml version="1.0" encoding="UTF-8"?>\r\n'):
        report.fail(where, "does not start with the UTF-8 XML declaration and CR LF")
    if re.search(rb"(?<!\r)\n|\r(?!\n)", raw) or not raw.endswith(b"\r\n"):
        report.fail(where, "line breaks are not all CR LF")
    for n, line in enumerate(raw.split(b"\r\n"), start=1):
        indent = len(line) - len(line.lstrip(b" \t"))
        if b"\t" in line[:indent] or indent % 4:
            report.fail(where, f"line {n}: indentation is not a multiple of four spaces")


def resolve(ident, catalog, where, what, report):
    """Exact catalog match, or a match in another letter case, which only the
    case-variant sample may use."""
    if ident in catalog:
        return ident
    folded = {e.lower(): e for e in catalog}
    if ident.lower() in folded:
        message = f"{what} {ident} matches {folded[ident.lower()]} only ignoring case"
        if where.endswith("/" + CASE_VARIANT_PRESET):
            report.note(where, message)
            report.case_variants += 1
        else:
            report.fail(where, message)
        return folded[ident.lower()]
    report.fail(where, f"{what} {ident!r} is not in the catalog")
    return None


def plain(where, name, text, report):
    if text is None:
        report.fail(where, f"<{name}> missing")
        return None
    if text == "" or text != text.strip():
        report.fail(where, f"<{name}> is {text!r}: empty or padded")
        return None
    return text


LISTS = ("skills", "perkIDs", "spellIDs", "armySlots", "artifactIDs", "isUntransferable")


def check_list_children(where, raw, report):
    """The editor takes the n-th child node of a list as its n-th entry,
    whatever it is, so a comment or text inside a list would become an entry
    (or stop the load): lists hold Item elements and whitespace only."""
    dom = xml.dom.minidom.parseString(raw)
    for tag in LISTS:
        for holder in dom.getElementsByTagName(tag):
            for node in holder.childNodes:
                if node.nodeType == node.TEXT_NODE and not node.data.strip():
                    continue
                if node.nodeType != node.ELEMENT_NODE or node.tagName != "Item":
                    report.fail(where, f"<{tag}> holds something other than <Item> elements")
                    break


def check_preset(data, name, catalogs, stats, report):
    where = f"{PRESET_DIR}/{name}".replace(os.sep, "/")
    path = os.path.join(data, PRESET_DIR, name)
    raw = open(path, "rb").read()
    check_layout(where, raw, report)
    try:
        root = ET.fromstring(raw)
    except ET.ParseError as e:
        report.fail(where, f"not well-formed: {e}")
        return None
    check_list_children(where, raw, report)
    summary = {"file": name, "odd_markup": all(
        marker in raw for marker in (b"<![CDATA[", b"<!--", b"\r\n<?"))}
    editable = root.find("Editable")
    if editable is None:
        report.fail(where, "no <Editable>")
        return None
    for key in VALUES:
        text = plain(where, key, child_text(editable, key), report)
        if text is not None and not INTEGER.match(text):
            report.note(where, f"<{key}> {text!r} is not an integer")
        summary[key] = text
    for key in MACHINES:
        text = plain(where, key, child_text(editable, key), report)
        if text is not None and text not in ("true", "false"):
            report.fail(where, f"<{key}> is {text!r}, not true/false")
        summary[key] = text
    primary = plain(where, "PrimarySkillMastery", child_text(root, "PrimarySkillMastery"), report)
    if primary is not None and primary not in catalogs["primary_mastery"]:
        report.fail(where, f"PrimarySkillMastery {primary!r} is not an exact entry")
    summary["PrimarySkillMastery"] = primary

    skills = []
    for item in (editable.find("skills") if editable.find("skills") is not None else []):
        mastery = plain(where, "Mastery", child_text(item, "Mastery"), report)
        skill = plain(where, "SkillID", child_text(item, "SkillID"), report)
        if mastery is not None:
            resolve(mastery, catalogs["mastery"], where, "mastery", report)
        if skill is not None:
            resolve(skill, catalogs["skills"], where, "skill", report)
        skills.append((mastery, skill))
    if len(skills) > 5:
        report.fail(where, f"{len(skills)} skills, at most 5 allowed")
    summary["skills"] = skills

    def id_list(parent, tag, catalog, what):
        holder = parent.find(tag)
        if holder is None:
            report.fail(where, f"<{tag}> missing")
            return []
        out = []
        for item in holder:
            text = plain(where, "Item", item.text, report)
            if text is not None and catalog is not None:
                resolve(text, catalog, where, what, report)
            out.append(text)
        return out

    summary["perks"] = id_list(editable, "perkIDs", catalogs["perks"], "perk")
    summary["spells"] = id_list(editable, "spellIDs", catalogs["spells"], "spell")
    summary["artifacts"] = id_list(root, "artifactIDs", catalogs["artifacts"], "artifact")
    summary["untransferable"] = id_list(root, "isUntransferable", None, "")
    if len(summary["untransferable"]) != len(summary["artifacts"]):
        report.fail(where, "isUntransferable does not have one item per artifact")

    army = []
    totals = {"exp": 0, "gold": 0, "power": 0}
    slots = root.find("armySlots")
    for item in (slots if slots is not None else []):
        creature = plain(where, "Creature", child_text(item, "Creature"), report)
        count = plain(where, "Count", child_text(item, "Count"), report)
        if count is not None and not re.match(r"^[0-9]+$", count):
            report.fail(where, f"Count {count!r} is not a decimal integer")
            count = None
        known = resolve(creature, catalogs["creatures"], where, "creature", report) if creature else None
        if known and known != catalogs["creatures"][0]:
            if known not in stats:
                report.fail(where, f"creature {known} has no reference table row")
            elif count is not None:
                for key in totals:
                    totals[key] += int(count) * stats[known].get(key, 0)
        army.append((creature, count))
    if len(army) > 8:
        report.fail(where, f"{len(army)} army stacks, at most 8 allowed")
    summary["army"] = army
    summary["totals"] = totals
    return summary


def check_coverage(summaries, catalogs, report):
    """The samples together must show every shape of preset the editor meets."""
    empty_creature = catalogs["creatures"][0] if catalogs["creatures"] else None
    wanted = {
        "a full army of 8 with 5 skills": lambda s: len(s["army"]) == 8 and len(s["skills"]) == 5,
        "a partial army with an empty slot": lambda s: len(s["army"]) < 8
        and any(c == empty_creature for c, _ in s["army"]),
        "perks, spells and artifacts each 8+": lambda s: min(
            len(s["perks"]), len(s["spells"]), len(s["artifacts"])) >= 8,
        "no skills, perks, spells or artifacts": lambda s: not (
            s["skills"] or s["perks"] or s["spells"] or s["artifacts"]),
        "comments, CDATA and a processing instruction": lambda s: s["odd_markup"],
    }
    for label, test in wanted.items():
        if not any(test(s) for s in summaries):
            report.fail(PRESET_DIR, f"no sample preset has {label}")
    if not report.case_variants:
        report.fail(CASE_VARIANT_PRESET, "has no identifier in another letter case")


def jpeg_frame(raw):
    """Returns (SOF marker, width, height) of a JPEG, or None."""
    if raw[:2] != b"\xff\xd8":
        return None
    i = 2
    while i + 4 <= len(raw):
        if raw[i] != 0xFF:
            return None
        marker = raw[i + 1]
        length = int.from_bytes(raw[i + 2:i + 4], "big")
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            h = int.from_bytes(raw[i + 5:i + 7], "big")
            w = int.from_bytes(raw[i + 7:i + 9], "big")
            return marker, w, h
        i += 2 + length
    return None


def check_icons(data, catalogs, report):
    for kind in ICON_KINDS:
        digests = {}
        for entry in catalogs[kind]:
            where = f"img/{kind}/{entry}.jpg"
            try:
                raw = open(os.path.join(data, "img", kind, entry + ".jpg"), "rb").read()
            except OSError:
                report.fail(where, "missing")
                continue
            frame = jpeg_frame(raw)
            if frame is None:
                report.fail(where, "not a JPEG")
            elif frame != (0xC0, 32, 32):
                report.fail(where, f"frame {frame}, expected baseline 32 x 32")
            digest = hashlib.sha1(raw).hexdigest()
            if digest in digests:
                report.fail(where, f"same picture as {digests[digest]}")
            digests[digest] = entry


def main(argv):
    icons = "--icons" in argv
    summary = "--summary" in argv
    rest = [a for a in argv if not a.startswith("--")]
    here = os.path.dirname(os.path.abspath(__file__))
    data = os.path.abspath(rest[0] if rest else os.path.join(here, "..", "data"))

    report = Report()
    catalogs = {name: read_catalog(data, name, report) for name in CATALOGS}
    stats = check_creatures(data, catalogs, report)

    preset_dir = os.path.join(data, PRESET_DIR)
    names = sorted((n for n in os.listdir(preset_dir) if n.lower().endswith(".xdb")), key=str.lower) \
        if os.path.isdir(preset_dir) else []
    if len(names) < 6:
        report.fail(PRESET_DIR, f"{len(names)} presets, expected at least 6")
    summaries = [s for s in (check_preset(data, n, catalogs, stats, report) for n in names) if s]
    if summaries:
        first = summaries[0]
        if len(first["army"]) != 8 or len(first["skills"]) != 5:
            report.fail(first["file"], "the first preset is not a full one (8 stacks, 5 skills)")
    check_coverage(summaries, catalogs, report)
    if icons:
        check_icons(data, catalogs, report)

    if summary:
        for s in summaries:
            print(s["file"])
            print("  values:", ", ".join(f"{k}={s[k]}" for k in VALUES + MACHINES + ["PrimarySkillMastery"]))
            print("  skills:", s["skills"])
            print("  army:", s["army"])
            print(f"  lists: perks={len(s['perks'])} spells={len(s['spells'])} "
                  f"artifacts={len(s['artifacts'])} untransferable={s['untransferable']}")
            t = s["totals"]
            print(f"  army totals: exp={t['exp']} gold={t['gold']} power={t['power']}")
    for n in report.notes:
        print("note:", n)
    for p in report.problems:
        print("PROBLEM:", p, file=sys.stderr)
    sizes = ", ".join(f"{k}={len(v)}" for k, v in catalogs.items())
    print(f"{data}: {sizes}; {len(names)} presets; {len(report.problems)} problems")
    return 1 if report.problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
