#pragma once

#include "presets/XmlParseError.h"

#include <cstddef>
#include <string_view>
#include <utility>

namespace voriraz {

// What makes a document not well-formed, in the classes the messages tell
// apart. Several of expat's errors fall into one class.
enum class XmlFault {
    InvalidCharacter,          // a character that cannot stand where it does
    Syntax,                    // markup in a place the grammar does not allow it
    Unterminated,              // a tag, comment, section or literal cut off by the end
    NoDocumentElement,         // nothing but a prolog
    UnclosedElement,           // the end comes while an element is open
    MismatchedTag,             // an end tag that does not close the open element
    DuplicateAttribute,
    AfterDocumentElement,      // more than comments, processing instructions and whitespace after it
    UndefinedEntity,
    DtdEntity,                 // a reference to an entity the document type definition declares
    InvalidCharacterReference, // a reference to a character XML does not allow
    MisplacedXmlDeclaration,
    MalformedXmlDeclaration,
    PublicIdentifier,          // a character a public identifier cannot hold
    ParameterEntityReference,  // a parameter entity reference where none may stand
    TooDeep,                   // elements nested deeper than the limit
    Other,
};

// A document that is not well-formed: XmlParseError with its class.
class XmlFaultError : public XmlParseError
{
public:
    XmlFaultError(XmlFault fault, XmlParseError error) : XmlParseError(std::move(error)), mFault(fault) {}

    XmlFault fault() const { return mFault; }

private:
    XmlFault mFault;
};

// Checks with expat that decoded text (UTF-8; the file's own encoding and
// its declaration have been dealt with by decodeXmlSource) is a well-formed
// XML 1.0 document whose elements nest at most maxDepth deep, the document
// element being at depth 1.
//
// Nothing external is ever read and no entity is expanded into the text:
// in content, attribute values and attribute defaults, a reference to any
// entity but the five predefined ones is refused, whether the document type
// definition declares it or not. Character references are checked too.
//
// Throws XmlFaultError for the first fault, with a readable reason, and the
// line (LF, CR LF and a lone CR each end one) and its text, where expat
// found the fault. The end coming inside an open element is reported at
// the innermost open start tag, and a mismatched end tag names both tags.
void checkWellFormed(std::string_view utf8, std::size_t maxDepth);

} // namespace voriraz
