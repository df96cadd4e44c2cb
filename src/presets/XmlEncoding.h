#pragma once

#include "presets/XmlParseError.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace voriraz {

// The character encodings a preset file may be written in.
enum class XmlEncoding { Utf8, Utf16LE, Utf16BE, Latin1, Windows1252, Ascii };

struct XmlSourceText {
    std::string utf8;            // the document decoded to UTF-8 (BOM removed)
    XmlEncoding encoding;        // what the file was written in
    bool byteOrderMark = false;  // whether the file began with a BOM
};

// Decodes the bytes of an XML file to UTF-8.
//
// The encoding is taken from a byte order mark (UTF-8, UTF-16 LE or BE) if
// there is one; otherwise "<?" in UTF-16 LE or BE means UTF-16 without a
// mark; otherwise from the encoding named in an XML declaration at the very
// start (names compared case-insensitively, common aliases accepted);
// otherwise UTF-8. Bytes 0x80-0x9F of windows-1252 that the code page
// leaves undefined (81, 8D, 8F, 90, 9D) decode to U+0081 and so on, as
// Windows itself does, so such files still round-trip.
//
// Throws XmlParseError, with the line and line text in the decoded text
// (invalid sequences shown as U+FFFD):
// - "System does not support the specified encoding." for an unknown name;
// - "Switch from current encoding to specified encoding not supported." when
//   the declared encoding contradicts the byte order mark or the UTF-16
//   signature, or names UTF-16 for a file that is not UTF-16;
// - "Invalid UTF-8 byte sequence in the document." (overlong forms,
//   surrogates, truncated sequences, values above U+10FFFF);
// - "Invalid UTF-16 data in the document." (unpaired surrogates, odd length);
// - "Invalid character for the specified encoding." for a byte of 0x80 or
//   more in a US-ASCII file.
// The declaration itself is only read here, not checked: checkWellFormed
// refuses a malformed one.
XmlSourceText decodeXmlSource(std::string_view bytes);

// Encodes UTF-8 text back into `encoding`, preceded by the byte order mark
// when `byteOrderMark` is set (UTF-8 and UTF-16 only; the single-byte
// encodings have none and ignore the flag). For any file that
// decodeXmlSource accepted, encoding its result again gives the original
// bytes exactly.
//
// Throws std::runtime_error when a character cannot be represented, e.g.
// "Character U+20AC cannot be written in the ISO-8859-1 encoding.", or when
// the text is not valid UTF-8.
std::string encodeXmlSource(std::string_view utf8, XmlEncoding encoding, bool byteOrderMark);

// Whether the encoding can represent the character.
bool canEncode(char32_t codePoint, XmlEncoding encoding);

// The name to write in an XML declaration: "UTF-8", "UTF-16", "ISO-8859-1",
// "windows-1252" or "US-ASCII".
std::string encodingName(XmlEncoding encoding);

} // namespace voriraz
