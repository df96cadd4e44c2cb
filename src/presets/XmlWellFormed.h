#pragma once

#include <string_view>

namespace voriraz {

// Checks that UTF-8 text is a well-formed XML 1.0 document before it is
// handed to the DOM parser, which accepts many broken documents and would
// write them back changed.
//
// Returns normally only when the whole text is well-formed: an optional XML
// declaration at the very start, then comments, processing instructions,
// whitespace and at most one document type declaration, exactly one top
// level element, and after it only comments, processing instructions and
// whitespace. Every character is a valid XML 1.0 character in valid UTF-8.
//
// The document type definition is never expanded and nothing external is
// read. Its internal subset is checked for syntax and skipped; a reference
// to a general entity it declares is refused, in content, attribute values
// and attribute defaults alike, as is a reference to any entity other than
// lt, gt, amp, apos and quot.
//
// Throws XmlParseError for the first error in document order, with the line
// (1-based; LF, CR LF and a lone CR each end a line) and that line's text.
// An element still open at the end is reported at its start tag, the
// innermost one when several are open.
void checkWellFormed(std::string_view utf8);

} // namespace voriraz
