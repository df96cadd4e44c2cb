#!/usr/bin/env python3
"""Writes src/packaging/NameFoldTables.inc from Python's Unicode database.

    tools/make_name_fold_tables.py > src/packaging/NameFoldTables.inc

The archive writer warns about stored names that differ only in letter case
or in Unicode normalisation. It compares names by a key: every character
decomposed canonically (NFD), combining marks in canonical order, then each
character folded to one simple lower-case character. The tables are the
three parts of that key the code does not compute itself (Hangul syllables
are decomposed by their formula): canonical decompositions, fully expanded;
canonical combining classes; simple case folds.
"""
import sys
import unicodedata


def full_decomposition(cp):
    text = unicodedata.normalize("NFD", chr(cp))
    return [ord(c) for c in text]


def main():
    decompositions = []
    classes = []
    folds = []
    for cp in range(0x110000):
        if 0xD800 <= cp <= 0xDFFF:
            continue
        ch = chr(cp)
        if 0xAC00 <= cp <= 0xD7A3:
            pass  # Hangul syllables: by formula
        else:
            parts = full_decomposition(cp)
            if parts != [cp]:
                decompositions.append((cp, parts))
        ccc = unicodedata.combining(ch)
        if ccc:
            classes.append((cp, ccc))
        folded = ch.casefold()
        if len(folded) != 1:
            folded = ch.lower() if len(ch.lower()) == 1 else ch
        if folded != ch:
            folds.append((cp, ord(folded)))

    out = sys.stdout
    out.write("// Written by tools/make_name_fold_tables.py from Unicode %s; do not edit.\n" % unicodedata.unidata_version)
    out.write("// Canonical decompositions (fully expanded), canonical combining classes\n")
    out.write("// and simple case folds, each sorted by code point.\n\n")
    pool = []
    out.write("constexpr Decomposition decompositions[] = {\n")
    rows = []
    for cp, parts in decompositions:
        rows.append("{0x%X, %d, %d}" % (cp, len(pool), len(parts)))
        pool.extend(parts)
    for i in range(0, len(rows), 5):
        out.write("    " + ", ".join(rows[i:i + 5]) + ",\n")
    out.write("};\n\n")
    out.write("constexpr char32_t decompositionParts[] = {\n")
    for i in range(0, len(pool), 10):
        out.write("    " + ", ".join("0x%X" % p for p in pool[i:i + 10]) + ",\n")
    out.write("};\n\n")
    out.write("constexpr CombiningClass combiningClasses[] = {\n")
    for i in range(0, len(classes), 6):
        out.write("    " + ", ".join("{0x%X, %d}" % c for c in classes[i:i + 6]) + ",\n")
    out.write("};\n\n")
    out.write("constexpr CaseFold caseFolds[] = {\n")
    for i in range(0, len(folds), 6):
        out.write("    " + ", ".join("{0x%X, 0x%X}" % f for f in folds[i:i + 6]) + ",\n")
    out.write("};\n")


main()
