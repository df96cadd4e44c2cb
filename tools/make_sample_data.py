#!/usr/bin/env python3
"""Writes the editor's default data tree into data/.

Everything is derived from fixed labels through SHA-256, so running the
script twice produces byte-identical files.  Icons are not written here:
the build paints them with voriraz-artgen from the catalogs.

Usage: make_sample_data.py [DATA_DIR]   (default: <repo>/data)
"""

import hashlib
import os
import shutil
import sys

CRLF = "\r\n"
INDENT = "    "

EMPTY_CREATURE = "CRT_NONE"
EMPTY_SKILL = "SKL_NONE"

# Our own syllables; names are glued from two or three of them.
SYLLABLES = [
    "vor", "ix", "qua", "zel", "bru", "mok", "tesh", "ul", "rav", "ny",
    "oss", "pel", "krem", "dau", "sil", "yth", "olm", "fra", "cal", "tup",
    "eb", "zir", "wob", "ken", "isk", "gna", "hul", "orv", "jet", "pra",
    "mib", "sque", "ond", "lir", "tav", "ug", "ferr", "zo", "yov", "quil",
]

FACTIONS = [
    "Ossvane", "Quellmarch", "Tzirrow", "Brumhald",
    "Yvenmoor", "Kaldrisse", "Omberlyn",
]
WANDERERS = "Unbound"

ARTIFACT_NOUNS = [
    "CIRCLET", "GAUNTLET", "MANTLE", "TALISMAN", "GIRDLE", "LANTERN",
    "SIGIL", "BRACER", "SPINDLE", "PENDANT", "GREAVES", "TORC", "CHALICE",
    "HORN", "MASK", "STAFF", "SABATONS", "BUCKLER", "COMPASS", "LOCKET",
]
SPELL_NOUNS = [
    "SURGE", "VEIL", "WARD", "LASH", "BLOOM", "TIDE", "KNELL", "SPARK",
    "SHROUD", "CHORUS", "EMBER", "RIME", "GYRE", "HUSH", "SNARE", "PULSE",
]
PERK_NOUNS = [
    "INSIGHT", "RESOLVE", "CUNNING", "VIGIL", "STRIDE", "TEMPER", "GAMBIT",
    "BULWARK", "FERVOUR", "PATIENCE", "RECKONING", "THRIFT", "TACTICS",
    "ENDURANCE", "CADENCE", "WARDING",
]
SKILL_NOUNS = ["LORE", "CRAFT", "ARTS", "WAY", "DISCIPLINE"]

PRIMARY_MASTERY = [
    "PSM_UNTRIED", "PSM_KINDLED", "PSM_TEMPERED", "PSM_HONED",
    "PSM_GILDED", "PSM_RADIANT", "PSM_ASCENDANT", "PSM_SOVEREIGN",
]
SKILL_MASTERY = ["MST_NONE", "MST_APPRENTICE", "MST_JOURNEYMAN", "MST_PARAGON"]

RESOURCES = ["Timber", "Ore", "Quickglass", "Emberstone", "Mistpearl", "Saltbloom"]

# Per tier: (exp range, power range, gold range, weekly growth, health range)
TIERS = {
    1: ((5, 10), (60, 140), (15, 45), 16, (3, 8)),
    2: ((14, 30), (180, 420), (60, 120), 10, (8, 16)),
    3: ((35, 70), (500, 1100), (140, 260), 7, (18, 35)),
    4: ((80, 160), (1300, 2600), (300, 600), 4, (40, 70)),
    5: ((200, 420), (3200, 6500), (700, 1300), 3, (80, 130)),
    6: ((460, 950), (7500, 15000), (1400, 2600), 2, (150, 240)),
    7: ((1200, 2400), (17000, 32000), (2900, 4600), 1, (280, 420)),
}
VARIANT_FACTOR = [1.0, 1.22, 1.28]


class Rng:
    """Counter-mode SHA-256: the same label always yields the same stream."""

    def __init__(self, label):
        self.label = label
        self.counter = 0

    def next(self):
        self.counter += 1
        digest = hashlib.sha256(f"{self.label}#{self.counter}".encode()).digest()
        return int.from_bytes(digest[:8], "big")

    def below(self, n):
        return self.next() % n

    def between(self, lo, hi):
        return lo + self.below(hi - lo + 1)

    def pick(self, seq):
        return seq[self.below(len(seq))]

    def sample(self, seq, k):
        pool = list(seq)
        out = []
        for _ in range(k):
            out.append(pool.pop(self.below(len(pool))))
        return out


class WordMill:
    """Hands out invented words, never the same one twice."""

    def __init__(self, label):
        self.rng = Rng(label)
        self.used = set()

    def word(self, syllables=2):
        while True:
            parts = [self.rng.pick(SYLLABLES) for _ in range(syllables)]
            if any(a == b for a, b in zip(parts, parts[1:])):
                continue
            w = "".join(parts)
            if 4 <= len(w) <= 10 and w not in self.used:
                self.used.add(w)
                return w


def camel(word):
    return word[:1].upper() + word[1:]


def write_text(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(text)


def write_lines(path, lines):
    write_text(path, CRLF.join(lines) + CRLF)


# ---------------------------------------------------------------- creatures

def make_creatures():
    """Returns the creature records, in catalog order (without CRT_NONE)."""
    mill = WordMill("creature-names")
    creatures = []
    for faction in FACTIONS:
        epithets = [mill.word(2), mill.word(2)]
        for tier in range(1, 8):
            base = mill.word(2 if tier < 6 else 3 if tier == 7 else 2)
            names = [base, epithets[0] + base, epithets[1] + base]
            ids = [f"CRT_{base.upper()}",
                   f"CRT_{epithets[0].upper()}_{base.upper()}",
                   f"CRT_{epithets[1].upper()}_{base.upper()}"]
            for variant in range(3):
                creatures.append(dict(
                    id=ids[variant], group=faction, file=camel(names[variant]) if variant == 0
                    else camel(epithets[variant - 1]) + camel(base),
                    display=(camel(epithets[variant - 1]) + " " if variant else "") + camel(base),
                    tier=tier, variant=variant))
    wander_tiers = [1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 7]
    for tier in wander_tiers:
        base = mill.word(2)
        creatures.append(dict(id=f"CRT_{base.upper()}", group=WANDERERS, file=camel(base),
                              display=camel(base), tier=tier, variant=0))
    for c in creatures:
        fill_stats(c)
    return creatures


def scaled(rng, span, factor):
    lo, hi = span
    return int(round(rng.between(lo, hi) * factor))


def fill_stats(c):
    rng = Rng("stats:" + c["id"])
    exp_span, power_span, gold_span, growth, hp_span = TIERS[c["tier"]]
    f = VARIANT_FACTOR[c["variant"]]
    t = c["tier"]
    c["exp"] = min(3000, max(5, scaled(rng, exp_span, f)))
    c["power"] = min(40000, max(50, scaled(rng, power_span, f)))
    c["gold"] = min(6000, max(15, scaled(rng, gold_span, f)))
    c["attack"] = rng.between(t * 2, t * 3 + 2) + c["variant"]
    c["defence"] = rng.between(t * 2, t * 3 + 1) + c["variant"]
    c["health"] = scaled(rng, hp_span, f)
    c["min_damage"] = max(1, rng.between(t, t * 3) // 2 + t)
    c["max_damage"] = c["min_damage"] + rng.between(1, t * 3)
    c["speed"] = rng.between(3, 5) + (t // 3) + (1 if c["variant"] else 0)
    c["initiative"] = rng.between(7, 12)
    c["growth"] = growth + rng.between(0, 3 if t < 4 else 1)
    c["flying"] = rng.below(5) == 0 and t >= 3
    c["shots"] = rng.pick([0, 0, 0, 6, 10, 12]) if t <= 5 else 0
    c["upkeep"] = {}
    if t >= 5:
        c["upkeep"][rng.pick(RESOURCES[2:])] = 1 if t == 5 else (2 if t == 6 else 3)
    if t >= 3 and rng.below(3) == 0:
        c["upkeep"][rng.pick(RESOURCES[:2])] = rng.between(1, 4)


def creature_file(c, abilities):
    href_group = c["group"]
    lines = [
        '<?xml version="1.0" encoding="UTF-8"?>',
        "<Creature>",
        f"{INDENT}<DisplayName>{c['display']}</DisplayName>",
        f"{INDENT}<Faction>{href_group}</Faction>",
        f"{INDENT}<Tier>{c['tier']}</Tier>",
        f"{INDENT}<Upgrade>{'true' if c['variant'] else 'false'}</Upgrade>",
        f"{INDENT}<Attack>{c['attack']}</Attack>",
        f"{INDENT}<Defence>{c['defence']}</Defence>",
        f"{INDENT}<MinDamage>{c['min_damage']}</MinDamage>",
        f"{INDENT}<MaxDamage>{c['max_damage']}</MaxDamage>",
        f"{INDENT}<Speed>{c['speed']}</Speed>",
        f"{INDENT}<Initiative>{c['initiative']}</Initiative>",
        f"{INDENT}<Shots>{c['shots']}</Shots>",
        f"{INDENT}<Health>{c['health']}</Health>",
        f"{INDENT}<Flying>{'true' if c['flying'] else 'false'}</Flying>",
        f"{INDENT}<WeeklyGrowth>{c['growth']}</WeeklyGrowth>",
        f"{INDENT}<Exp>{c['exp']}</Exp>",
        f"{INDENT}<Power>{c['power']}</Power>",
        f"{INDENT}<Cost>",
    ]
    for res in RESOURCES:
        lines.append(f"{INDENT * 2}<{res}>{c['upkeep'].get(res, 0)}</{res}>")
    lines.append(f"{INDENT * 2}<Gold>{c['gold']}</Gold>")
    lines.append(f"{INDENT}</Cost>")
    if abilities:
        lines.append(f"{INDENT}<Abilities>")
        lines += [f"{INDENT * 2}<Item>{a}</Item>" for a in abilities]
        lines.append(f"{INDENT}</Abilities>")
    else:
        lines.append(f"{INDENT}<Abilities/>")
    lines.append("</Creature>")
    return CRLF.join(lines) + CRLF


def creature_href(c):
    return f"/GameMechanics/Creature/Creatures/{c['group']}/{c['file']}.xdb"


def ref_table(creatures):
    lines = [
        '<?xml version="1.0" encoding="UTF-8"?>',
        '<CreatureTable revision="14" kind="creatures">',
        f"{INDENT}<!-- One row per creature; the empty army slot has no row. -->",
        f"{INDENT}<DefaultFaction>{WANDERERS}</DefaultFaction>",
        f"{INDENT}<objects>",
    ]
    for order, c in enumerate(creatures, start=1):
        lines += [
            f"{INDENT * 2}<Item>",
            f"{INDENT * 3}<ID>{c['id']}</ID>",
            f'{INDENT * 3}<Obj href="{creature_href(c)}#xpointer(/Creature)"/>',
            f"{INDENT * 3}<SortOrder>{order}</SortOrder>",
            f"{INDENT * 2}</Item>",
        ]
    lines += [f"{INDENT}</objects>", "</CreatureTable>"]
    return CRLF.join(lines) + CRLF


# ---------------------------------------------------------------- other catalogs

def two_part_ids(prefix, label, nouns, count, syllables=2):
    mill = WordMill(label)
    rng = Rng(label + ":nouns")
    ids, seen = [], set()
    while len(ids) < count:
        ident = f"{prefix}_{mill.word(syllables).upper()}_{rng.pick(nouns)}"
        if ident not in seen:
            seen.add(ident)
            ids.append(ident)
    return ids


def make_catalogs():
    artifacts = two_part_ids("ART", "artifacts", ARTIFACT_NOUNS, 112)
    spells = two_part_ids("SPL", "spells", SPELL_NOUNS, 128)
    perks = two_part_ids("PRK", "perks", PERK_NOUNS, 160)
    skills = [EMPTY_SKILL] + two_part_ids("SKL", "skills", SKILL_NOUNS, 14)
    return artifacts, spells, perks, skills


# ---------------------------------------------------------------- presets

class Preset:
    """A hero preset assembled line by line, so comments and odd markup can be
    placed exactly where a hand-edited file would have them."""

    def __init__(self, root, root_attrs):
        self.lines = ['<?xml version="1.0" encoding="UTF-8"?>']
        self.root = root
        self.root_attrs = root_attrs
        self.body = []

    def add(self, depth, text):
        self.body.append(INDENT * depth + text)

    def value(self, depth, name, text):
        self.add(depth, f"<{name}>{text}</{name}>")

    def render(self, prolog=()):
        attrs = "".join(f' {k}="{v}"' for k, v in self.root_attrs)
        out = self.lines + list(prolog) + [f"<{self.root}{attrs}>"] + self.body + [f"</{self.root}>"]
        return CRLF.join(out) + CRLF


def id_list(p, depth, name, items, empty_form="short", note=None):
    # Every child node of a list is an entry to the editor, comments
    # included, so a note goes before the list, never inside it.
    if note:
        p.add(depth, f"<!-- {note} -->")
    if not items:
        if empty_form == "short":
            p.add(depth, f"<{name}/>")
        else:
            p.add(depth, f"<{name}></{name}>")
        return
    p.add(depth, f"<{name}>")
    for item in items:
        p.value(depth + 1, "Item", item)
    p.add(depth, f"</{name}>")


def standard_preset(h, flavour=None):
    """Writes a preset from the dictionary h.  flavour selects the extra markup
    of the odd sample that exercises everything the editor must skip over."""
    odd = flavour == "odd"
    p = Preset("DuelHeroPreset", h.get("root_attrs", [("revision", "3")]))
    p.value(1, "InternalName", h["name"])
    p.add(1, f'<Portrait href="/Textures/Portraits/{h["portrait"]}.xdb#xpointer(/Texture)"/>')
    p.value(1, "Faction", h["faction"])
    if odd:
        p.add(1, "<!-- Biography is kept verbatim; markup inside is not parsed. -->")
        p.add(1, "<Biography><![CDATA[Raised among the <tide-wardens> of Kaldrisse, "
                 "she counts stacks & banners twice before every duel.]]></Biography>")
    else:
        p.value(1, "Biography", h["bio"])
    p.value(1, "AllowedInDuel", "true")
    editable_attrs = ' locked="false" layout="classic"' if odd else ""
    p.add(1, f"<Editable{editable_attrs}>")
    if odd:
        p.add(2, "<!-- primary attributes -->")
    for key in ("Offence", "Defence", "Spellpower", "Knowledge"):
        p.value(2, key, h[key])
    if odd:
        p.value(2, "Notes", "Tuned for the autumn ladder")
    for key in ("Ballista", "FirstAidTent", "AmmoCart"):
        p.value(2, key, "true" if h[key] else "false")
    if h["skills"]:
        p.add(2, "<skills>")
        for n, (mastery, skill) in enumerate(h["skills"]):
            p.add(3, "<Item>")
            if odd and n == 1:
                p.add(4, "<!-- second row was swapped in the last patch -->")
            p.value(4, "Mastery", mastery)
            p.value(4, "SkillID", skill)
            if odd and n == 0:
                p.value(4, "Slot", "0")
            p.add(3, "</Item>")
        p.add(2, "</skills>")
    else:
        p.add(2, "<skills/>")
    id_list(p, 2, "perkIDs", h["perks"], "short", "rest picked at level six" if odd else None)
    id_list(p, 2, "spellIDs", h["spells"], "long", "scrolls from the ladder reward" if odd else None)
    if odd:
        p.add(2, '<Talents count="0"/>')
    p.add(1, "</Editable>")
    p.value(1, "PrimarySkillMastery", h["primary"])
    if odd:
        p.add(1, "<!-- army: strongest stack last -->")
    p.add(1, "<armySlots>")
    for n, (creature, count) in enumerate(h["army"]):
        p.add(2, '<Item reserve="false">' if odd and n == 2 else "<Item>")
        if odd and n == 1:
            p.add(3, "<!-- veterans -->")
        p.value(3, "Creature", creature)
        p.value(3, "Count", str(count))
        if odd and n == 0:
            p.value(3, "Banner", "ochre")
        p.add(2, "</Item>")
    p.add(1, "</armySlots>")
    id_list(p, 1, "artifactIDs", h["artifacts"], "short", "worn, not carried" if odd else None)
    id_list(p, 1, "isUntransferable", [str(x) for x in h["untransferable"]], "long")
    if odd:
        p.add(1, '<Flags hidden="false" ai="passive"/>')
    prolog = h.get("prolog", [])
    return p.render(prolog)


def make_presets(creatures, artifacts, spells, perks, skills):
    by_faction = {}
    for c in creatures:
        by_faction.setdefault(c["group"], {}).setdefault(c["tier"], []).append(c["id"])
    wander = [c["id"] for c in creatures if c["group"] == WANDERERS]
    real_skills = skills[1:]

    def pick_distinct(label, seq, k):
        return Rng("preset-pick:" + label).sample(seq, k)

    def untransferable(label, n):
        rng = Rng("untransferable:" + label)
        return [1 if rng.below(5) == 0 else 0 for _ in range(n)]

    presets = {}

    # A full, typical duel hero: eight stacks, five skills, long lists.
    f0 = by_faction[FACTIONS[0]]
    skills_a = pick_distinct("aunvelka-skills", real_skills, 5)
    arts_a = pick_distinct("aunvelka-artifacts", artifacts, 9)
    presets["hero_aunvelka.xdb"] = standard_preset(dict(
        name="Aunvelka", portrait="Aunvelka_128", faction=FACTIONS[0],
        bio="A quartermaster of the Ossvane reaches who wins by patience.",
        Offence="4", Defence="3", Spellpower="2", Knowledge="3",
        Ballista=True, FirstAidTent=True, AmmoCart=False,
        skills=[("MST_PARAGON", skills_a[0]), ("MST_JOURNEYMAN", skills_a[1]),
                ("MST_JOURNEYMAN", skills_a[2]), ("MST_APPRENTICE", skills_a[3]),
                ("MST_APPRENTICE", skills_a[4])],
        perks=pick_distinct("aunvelka-perks", perks, 10),
        spells=pick_distinct("aunvelka-spells", spells, 12),
        primary="PSM_HONED",
        army=[(f0[1][0], 46), (f0[2][1], 28), (f0[3][2], 17), (f0[4][1], 11),
              (f0[5][0], 6), (f0[6][1], 3), (f0[7][2], 2), (wander[4], 14)],
        artifacts=arts_a, untransferable=untransferable("aunvelka", len(arts_a))))

    # Partial army with a gap in the middle; one empty skill row.  The capital
    # H makes this file sort first when names are compared case-sensitively.
    f1 = by_faction[FACTIONS[1]]
    skills_b = pick_distinct("brezzomir-skills", real_skills, 2)
    arts_b = pick_distinct("brezzomir-artifacts", artifacts, 3)
    presets["Hero_Brezzomir.xdb"] = standard_preset(dict(
        name="Brezzomir", portrait="Brezzomir_128", faction=FACTIONS[1],
        bio="Rides light, fights with a thin line and a lot of nerve.",
        Offence="2", Defence="1", Spellpower="5", Knowledge="6",
        Ballista=False, FirstAidTent=True, AmmoCart=True,
        skills=[("MST_JOURNEYMAN", skills_b[0]), (SKILL_MASTERY[0], EMPTY_SKILL),
                ("MST_APPRENTICE", skills_b[1])],
        perks=pick_distinct("brezzomir-perks", perks, 4),
        spells=pick_distinct("brezzomir-spells", spells, 6),
        primary="PSM_KINDLED",
        army=[(f1[2][0], 24), (EMPTY_CREATURE, 0), (f1[5][1], 4)],
        artifacts=arts_b, untransferable=untransferable("brezzomir", len(arts_b))))

    # Every list well filled.
    f2 = by_faction[FACTIONS[2]]
    arts_c = pick_distinct("quillitrand-artifacts", artifacts, 14)
    presets["hero_quillitrand.xdb"] = standard_preset(dict(
        name="Quillitrand", portrait="Quillitrand_128", faction=FACTIONS[2],
        bio="Collector of trinkets, scrolls and favours owed.",
        Offence="1", Defence="2", Spellpower="7", Knowledge="8",
        Ballista=True, FirstAidTent=False, AmmoCart=True,
        skills=[(m, s) for m, s in zip(
            ["MST_PARAGON", "MST_PARAGON", "MST_JOURNEYMAN", "MST_APPRENTICE"],
            pick_distinct("quillitrand-skills", real_skills, 4))],
        perks=pick_distinct("quillitrand-perks", perks, 18),
        spells=pick_distinct("quillitrand-spells", spells, 24),
        primary="PSM_RADIANT",
        army=[(f2[1][1], 60), (f2[3][0], 21), (f2[4][2], 9), (f2[6][0], 2), (f2[7][1], 1)],
        artifacts=arts_c, untransferable=untransferable("quillitrand", len(arts_c))))

    # Nothing in any list.
    f3 = by_faction[FACTIONS[3]]
    presets["hero_ossiwend.xdb"] = standard_preset(dict(
        name="Ossiwend", portrait="Ossiwend_128", faction=FACTIONS[3],
        bio="A recruit with one banner and no books.",
        Offence="0", Defence="0", Spellpower="0", Knowledge="0",
        Ballista=False, FirstAidTent=False, AmmoCart=False,
        skills=[], perks=[], spells=[], primary="PSM_UNTRIED",
        army=[(f3[1][0], 12)], artifacts=[], untransferable=[]))

    # Identifiers written in another letter case than their catalogs.
    f4 = by_faction[FACTIONS[4]]
    arts_e = pick_distinct("tzelmarok-artifacts", artifacts, 4)
    arts_e[1] = arts_e[1].lower()
    presets["hero_tzelmarok.xdb"] = standard_preset(dict(
        name="Tzelmarok", portrait="Tzelmarok_128", faction=FACTIONS[4],
        bio="Copies his orders by hand and never minds the capitals.",
        Offence="5", Defence="4", Spellpower="1", Knowledge="1",
        Ballista=True, FirstAidTent=False, AmmoCart=False,
        skills=[(m, s) for m, s in zip(
            ["MST_JOURNEYMAN", "MST_APPRENTICE"],
            pick_distinct("tzelmarok-skills", real_skills, 2))],
        perks=pick_distinct("tzelmarok-perks", perks, 3),
        spells=pick_distinct("tzelmarok-spells", spells, 2),
        primary="PSM_TEMPERED",
        army=[(f4[1][1], 38), (f4[3][0].lower(), 15), (f4[5][2], 5), (f4[7][0], 1)],
        artifacts=arts_e, untransferable=untransferable("tzelmarok", len(arts_e))))

    # Everything the editor has to skip: attributes, comments, extra children,
    # CDATA, a processing instruction.
    f5 = by_faction[FACTIONS[5]]
    arts_f = pick_distinct("yvvarith-artifacts", artifacts, 5)
    presets["hero_yvvarith.xdb"] = standard_preset(dict(
        name="Yvvarith", portrait="Yvvarith_128", faction=FACTIONS[5],
        root_attrs=[("revision", "5"), ("author", "duel-team"), ("locale", "en")],
        prolog=["<?voriraz-layout columns=\"2\" compact=\"yes\"?>",
                "<!-- Duel preset, hand-maintained. -->"],
        Offence="3", Defence="5", Spellpower="3", Knowledge="2",
        Ballista=False, FirstAidTent=True, AmmoCart=True,
        skills=[(m, s) for m, s in zip(
            ["MST_PARAGON", "MST_JOURNEYMAN", "MST_APPRENTICE"],
            pick_distinct("yvvarith-skills", real_skills, 3))],
        perks=pick_distinct("yvvarith-perks", perks, 5),
        spells=pick_distinct("yvvarith-spells", spells, 7),
        primary="PSM_GILDED",
        army=[(f5[2][2], 30), (f5[4][0], 12), (f5[6][2], 3), (wander[11], 1)],
        artifacts=arts_f, untransferable=untransferable("yvvarith", len(arts_f))),
        flavour="odd")
    return presets


# ---------------------------------------------------------------- main

def main():
    here = os.path.dirname(os.path.abspath(__file__))
    data = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "data"))

    creatures = make_creatures()
    artifacts, spells, perks, skills = make_catalogs()
    creature_ids = [c["id"] for c in creatures]
    for catalog in (creature_ids, artifacts, spells, perks, skills):
        assert len(set(catalog)) == len(catalog)

    # Start from a clean slate for the generated parts.
    for sub in ("GameMechanics", os.path.join("mod", "Maps", "DuelMode", "Heroes")):
        shutil.rmtree(os.path.join(data, sub), ignore_errors=True)

    write_lines(os.path.join(data, "creatures.txt"), [EMPTY_CREATURE] + creature_ids)
    write_lines(os.path.join(data, "artifacts.txt"), artifacts)
    write_lines(os.path.join(data, "spells.txt"), spells)
    write_lines(os.path.join(data, "perks.txt"), perks)
    write_lines(os.path.join(data, "skills.txt"), skills)
    write_lines(os.path.join(data, "primary_mastery.txt"), PRIMARY_MASTERY)
    write_lines(os.path.join(data, "mastery.txt"), SKILL_MASTERY)

    write_text(os.path.join(data, "GameMechanics", "RefTables", "Creatures.xdb"), ref_table(creatures))
    ability_rng = Rng("abilities")
    ability_words = WordMill("abilities")
    abilities = ["ABL_" + ability_words.word(2).upper() for _ in range(24)]
    for c in creatures:
        chosen = ability_rng.sample(abilities, ability_rng.below(3))
        path = os.path.join(data, *creature_href(c).strip("/").split("/"))
        write_text(path, creature_file(c, chosen))

    heroes = os.path.join(data, "mod", "Maps", "DuelMode", "Heroes")
    for name, text in make_presets(creatures, artifacts, spells, perks, skills).items():
        write_text(os.path.join(heroes, name), text)


if __name__ == "__main__":
    main()
