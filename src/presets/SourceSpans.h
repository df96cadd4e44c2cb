#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace voriraz {

// Where a node of a well-formed XML text lies, for edits that change the
// text in place instead of writing a tree out anew.
struct SourceSpan
{
    enum class Kind { Element, Other };

    Kind kind = Kind::Other;
    std::size_t begin = 0;        // the node's first character
    std::size_t end = 0;          // one past its last
    // Elements only: the content between the start and the end tag. An
    // empty-element tag ("<a/>") has none; both are then at its end.
    std::size_t contentBegin = 0;
    std::size_t contentEnd = 0;
    bool emptyElementTag = false;
    std::string_view name;        // elements only

    bool isElement() const { return kind == Kind::Element; }
    bool isElement(std::string_view elementName) const { return kind == Kind::Element && name == elementName; }
};

// The element whose start tag's "<" is at `at` in text, which must be
// well-formed XML (as every loaded document is).
SourceSpan elementSpanAt(std::string_view text, std::size_t at);

// The child nodes of an element in document order, as the document's parser
// keeps them: elements, comments, processing instructions, CDATA sections
// and text, but no text that is only whitespace.
std::vector<SourceSpan> childSpans(std::string_view text, const SourceSpan &element);

// The first child element named name; nullptr when there is none.
const SourceSpan *firstChildNamed(const std::vector<SourceSpan> &children, std::string_view name);

bool isXmlWhitespace(char c);

} // namespace voriraz
