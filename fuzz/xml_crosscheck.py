#!/usr/bin/env python3
"""Holds the editor's XML load against Python's expat on mutated documents.

    xml_crosscheck.py --driver XML_VERDICTS --data DATA_DIR --dict XML_DICT
                      [--count N] [--seed S] [--findings DIR]

The documents are the sample data's .xdb files and a few hand-made ones
(document type definitions, other encodings), each changed by one to four
random edits (mostly one): tokens of the XML dictionary or stray characters put in, bytes
changed, ranges cut out or repeated, the end cut off. The same seed gives the
same documents. Each goes to the editor's load (the xml_verdicts program) and
to xml.parsers.expat, which reads the raw bytes itself.

Differences are sorted: the ones the editor means (it refuses entities that
the document type definition declares, undefined entities that expat lets
pass after a parameter entity reference, elements nested too deep, unpaired
UTF-16 surrogates, encodings it does not read; it decodes the whole file, by
the encoding the declaration names, before expat reads any markup; it shows
an unclosed element at its start tag; it keeps the bytes windows-1252 leaves
undefined, which Python's codec refuses; it refuses U+00AA, U+00B5 and U+00BA
in names, which expat takes from Latin-1 and UTF-16 but not from UTF-8) are
counted, every other one is unexpected. Unexpected
documents are written to the findings folder, and the exit status is 1.
"""
import argparse
import pathlib
import random
import re
import struct
import subprocess
import sys
import xml.parsers.expat

BATCH = 5000
LAX_NAME = "a name with U+00AA, U+00B5 or U+00BA, which expat takes in Latin-1 and UTF-16"

# Refusals of the editor's own that expat, which expands entities and has no
# depth limit, does not make.
STRICTER = {"DtdEntity", "UndefinedEntity", "TooDeep"}

STRAY = [b"&", b"&x;", b"&lt;", b"&#0;", b"&#x110000;", b"&#65;", b"]]>", b"--", b"\r", b"\n", b"\r\n",
         b"\x00", b"\x01", b"\xff", b"\xc3", b"\xc3\xa9", b"\xef\xbf\xbe", b"\xef\xbb\xbf", b"<", b">", b"'",
         b'"', b"=", b"/", b" ", b"\t", b"%pe;", b"<!ENTITY e 'v'>", b"<a>", b"</a>", b"<?xml version='1.0'?>",
         b"<!DOCTYPE d [<!ENTITY e 'v'>]>", b"<!DOCTYPE d SYSTEM 'd.dtd'>", b"&e;"]


def read_dictionary(path):
    tokens = []
    for line in pathlib.Path(path).read_text(encoding="utf-8").splitlines():
        match = re.fullmatch(r'"(.*)"', line.strip())
        if match:
            tokens.append(match.group(1).encode("latin-1").decode("unicode_escape").encode("latin-1"))
    return tokens


def seeds(data):
    documents = [path.read_bytes() for path in sorted(data.rglob("*.xdb"))]
    preset = (data / "mod/Maps/DuelMode/Heroes").glob("*.xdb")
    first = sorted(preset)[0].read_text(encoding="utf-8")
    utf16 = first.replace('encoding="UTF-8"', 'encoding="UTF-16"')
    documents += [
        b"\xff\xfe" + utf16.encode("utf-16-le"),
        b"\xfe\xff" + utf16.encode("utf-16-be"),
        utf16.encode("utf-16-le"),
        first.replace('encoding="UTF-8"', 'encoding="ISO-8859-1"').replace("A", "\xc4").encode("latin-1"),
        first.replace('encoding="UTF-8"', 'encoding="windows-1252"').replace("a", "\u20ac").encode("cp1252"),
        first.replace('encoding="UTF-8"', 'encoding="US-ASCII"').encode("ascii"),
        b"\xef\xbb\xbf" + first.encode("utf-8"),
        b"<?xml version='1.0'?>\n<!DOCTYPE p [\n<!ENTITY e 'x'>\n<!ATTLIST p a CDATA 'd'>\n]>\n"
        b"<p a='&amp;'><![CDATA[a]]><!--c--><?pi x?>&#65;</p>",
        b"<!DOCTYPE p [%pe; <!ELEMENT p (#PCDATA)>]>\n<p>\n&lt;</p>\n",
        b"<!DOCTYPE p SYSTEM 'p.dtd'>\r<p>\r<q/>\r</p>\r",
        b"<p>\n<q a='1'\n   b='&amp;'\n   c='x'/>\n</p>\n",
        b"<!DOCTYPE p [<!ENTITY e SYSTEM 'e.txt'><!ENTITY i 'in'><!NOTATION n SYSTEM 'n'>\n"
        b"<!ENTITY u SYSTEM 'u' NDATA n><!ATTLIST p a CDATA #IMPLIED b CDATA '&i;'>]>\n<p a='x'>\n&amp;\n</p>",
    ]
    # The presets again with a document type definition in front.
    documents += [d.replace(b"?>", b"?>\n<!DOCTYPE DuelHeroPreset [<!ENTITY e 'v'>]>", 1)
                  for d in documents if d.startswith(b"<?xml") and b"DuelHeroPreset" in d]
    return documents


def mutate(document, rng, tokens):
    for _ in range(rng.choice((1, 1, 1, 2, 2, 3, 4))):
        size = len(document)
        at = rng.randint(0, size)
        choice = rng.random()
        if choice < 0.35:
            token = rng.choice(tokens) if rng.random() < 0.5 else rng.choice(STRAY)
            document = document[:at] + token + document[at:]
        elif choice < 0.55 and size:
            end = min(size, at + rng.randint(1, 24))
            document = document[:at] + document[end:]
        elif choice < 0.75 and at < size:
            document = document[:at] + bytes([rng.randrange(256)]) + document[at + 1:]
        elif choice < 0.85 and size:
            end = min(size, at + rng.randint(1, 64))
            document = document[:end] + document[at:end] + document[end:]
        elif choice < 0.97:
            document = document[:at]
        else:
            depth = rng.choice([999, 1000, 1001])
            document = document[:at] + b"<e>" * depth + b"</e>" * depth + document[at:]
    return document


def expat_verdict(document):
    """None when Python's expat accepts the document, else (line, message)."""
    parser = xml.parsers.expat.ParserCreate()
    try:
        parser.Parse(document, True)
    except xml.parsers.expat.ExpatError as error:
        return error.lineno, xml.parsers.expat.ErrorString(error.code)
    except (LookupError, ValueError) as error:
        # An encoding name Python has no codec for, or a multi-byte one that
        # expat cannot take from a codec.
        return parser.CurrentLineNumber, str(error)
    return None


def editor_verdicts(driver, documents):
    stream = b"".join(struct.pack("<I", len(d)) + d for d in documents)
    run = subprocess.run([driver], input=stream, stdout=subprocess.PIPE, check=False)
    if run.returncode != 0:
        sys.exit(f"xml_verdicts failed with status {run.returncode}")
    lines = run.stdout.decode("utf-8", "replace").splitlines()
    if len(lines) != len(documents):
        sys.exit(f"xml_verdicts answered {len(lines)} of {len(documents)} documents")
    verdicts = []
    for line in lines:
        if line == "accepted":
            verdicts.append(None)
        else:
            _, number, kind, reason = line.split(" ", 3)
            verdicts.append((int(number), kind, reason))
    return verdicts


def leaves_cp1252_byte_undefined(document):
    head = document[:200].lower()
    return (b"windows-1252" in head or b"cp1252" in head) and any(b in document for b in b"\x81\x8d\x8f\x90\x9d")


def read_by_expat_as_latin1_or_utf16(document):
    """The codec Python's expat reads the document with, when that is
    Latin-1 (or a single-byte code page) or UTF-16; None for UTF-8."""
    if document[:2] in (b"\xff\xfe", b"\xfe\xff"):
        return "utf-16"
    if document[:2] == b"<\x00":
        return "utf-16-le"
    if document[:2] == b"\x00<":
        return "utf-16-be"
    head = document[:120].lower()
    if head.startswith(b"<?xml") and (b"8859-1" in head or b"1252" in head):
        return "latin-1"
    return None


def line_of(document, number, codec):
    """Line `number` of the document as text."""
    if codec != "latin-1":
        document = document[:len(document) // 2 * 2]
    lines = document.decode(codec, "replace").replace("\r\n", "\n").replace("\r", "\n").split("\n")
    return lines[number - 1] if 0 < number <= len(lines) else ""


def broken_single_byte_declaration(document):
    """A declaration naming a single-byte encoding but not closed by '?>':
    the decoder applies the encoding, expat then reads the bytes as UTF-8."""
    head = document[:120].lower()
    declared = head.startswith(b"<?xml") and any(name in head for name in (b"8859-1", b"1252", b"ascii"))
    return declared and not document[:document.find(b">")].endswith(b"?")


def classify(document, ours, theirs):
    """'agree...', an expected difference, or None for an unexpected one."""
    if ours is None and theirs is None:
        return "agree: accepted"
    if ours is None:
        return "kept windows-1252 bytes Python's codec refuses" if leaves_cp1252_byte_undefined(document) else None
    line, kind, reason = ours
    unknown_encoding = kind == "decoding" and reason.startswith("System does not support")
    # Expat does not check that UTF-16 surrogates pair up.
    broken_utf16 = kind == "decoding" and reason.startswith("Invalid UTF-16")
    # Expat's readers of Latin-1 and UTF-16 take these for name characters,
    # its UTF-8 reader (and XML) does not; the editor hands it UTF-8 only.
    codec = read_by_expat_as_latin1_or_utf16(document)
    lax_name = kind == "InvalidCharacter" and codec is not None and any(
        c in line_of(document, line, codec) for c in "\u00aa\u00b5\u00ba")
    if theirs is None:
        if kind in STRICTER:
            return f"refused here only: {kind}"
        if unknown_encoding:
            return "refused here only: an encoding the editor does not read"
        if broken_utf16:
            return "refused here only: broken UTF-16 that expat lets pass"
        if lax_name:
            return "refused here only: " + LAX_NAME
        return None
    if line == theirs[0]:
        return "agree: refused on the same line"
    # Each difference the editor means moves the line one way only, but for
    # the encoding, which the decoder takes from the declaration (even a
    # broken one) before expat reads any markup.
    if kind == "UnclosedElement" and line < theirs[0]:
        return "other line: unclosed element shown at its start tag"
    if kind in STRICTER and line < theirs[0]:
        return f"other line: {kind} refused before expat's own error"
    if kind in ("DtdEntity", "UndefinedEntity") and line > theirs[0]:
        return "other line: a reference in an attribute shown where it stands, not at its tag"
    if broken_utf16:
        return "other line: broken UTF-16 that expat lets pass"
    if kind == "decoding" and (line > theirs[0] or unknown_encoding or reason.startswith("Switch from")):
        return "other line: the decoder reads the whole file before expat reads the markup"
    if broken_single_byte_declaration(document):
        return "other line: the declared encoding applied although the declaration is broken"
    if leaves_cp1252_byte_undefined(document):
        return "other line: windows-1252 bytes Python's codec refuses"
    if lax_name:
        return "other line: " + LAX_NAME
    return None


def main():
    arguments = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    arguments.add_argument("--driver", required=True)
    arguments.add_argument("--data", required=True, type=pathlib.Path)
    arguments.add_argument("--dict", required=True)
    arguments.add_argument("--count", type=int, default=250000)
    arguments.add_argument("--seed", type=int, default=1)
    arguments.add_argument("--findings", type=pathlib.Path)
    options = arguments.parse_args()

    rng = random.Random(options.seed)
    tokens = read_dictionary(options.dict)
    originals = seeds(options.data)
    counts = {}
    unexpected = []
    done = 0
    while done < options.count:
        batch = [mutate(rng.choice(originals), rng, tokens) for _ in range(min(BATCH, options.count - done))]
        for document, ours in zip(batch, editor_verdicts(options.driver, batch)):
            theirs = expat_verdict(document)
            kind = classify(document, ours, theirs)
            if kind is None:
                unexpected.append((document, ours, theirs))
                kind = "UNEXPECTED"
            counts[kind] = counts.get(kind, 0) + 1
        done += len(batch)

    print(f"{done} documents (seed {options.seed}), editor's load against Python's expat "
          f"{xml.parsers.expat.EXPAT_VERSION}:")
    for kind in sorted(counts):
        print(f"  {counts[kind]:8}  {kind}")
    if not unexpected:
        return 0
    if options.findings:
        options.findings.mkdir(parents=True, exist_ok=True)
    for number, (document, ours, theirs) in enumerate(unexpected):
        if number < 10:
            print(f"unexpected: editor {ours}, expat {theirs}: {document[:120]!r}")
        if options.findings:
            (options.findings / f"xml-crosscheck-{options.seed}-{number}.xml").write_bytes(document)
    return 1


if __name__ == "__main__":
    sys.exit(main())
