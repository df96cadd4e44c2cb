#include "presets/SourceSpans.h"

namespace voriraz {

namespace {

// A node that is not an element: text, a comment, a processing instruction.
SourceSpan otherSpan(std::size_t begin, std::size_t end)
{
    SourceSpan span;
    span.begin = begin;
    span.end = end;
    return span;
}

// One past the ">" that ends the tag starting at `at`, skipping quoted
// attribute values (which may hold ">").
std::size_t endOfTag(std::string_view text, std::size_t at)
{
    for (std::size_t p = at + 1; p < text.size(); ++p) {
        if (text[p] == '"' || text[p] == '\'') {
            p = text.find(text[p], p + 1);
            if (p == std::string_view::npos)
                break;
        } else if (text[p] == '>') {
            return p + 1;
        }
    }
    return text.size();
}

std::size_t pastMarker(std::string_view text, std::size_t from, std::string_view marker)
{
    const std::size_t at = text.find(marker, from);
    return at == std::string_view::npos ? text.size() : at + marker.size();
}

// One past the end of the comment, CDATA section or processing instruction
// at `at`, or 0 when there is none there.
std::size_t endOfOtherMarkup(std::string_view text, std::size_t at)
{
    const std::string_view rest = text.substr(at);
    if (rest.starts_with("<!--"))
        return pastMarker(text, at + 4, "-->");
    if (rest.starts_with("<![CDATA["))
        return pastMarker(text, at + 9, "]]>");
    if (rest.starts_with("<?"))
        return pastMarker(text, at + 2, "?>");
    return 0;
}

} // namespace

bool isXmlWhitespace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

SourceSpan elementSpanAt(std::string_view text, std::size_t at)
{
    SourceSpan span;
    span.kind = SourceSpan::Kind::Element;
    span.begin = at;
    std::size_t nameEnd = at + 1;
    while (nameEnd < text.size() && !isXmlWhitespace(text[nameEnd]) && text[nameEnd] != '/' && text[nameEnd] != '>')
        ++nameEnd;
    span.name = text.substr(at + 1, nameEnd - at - 1);

    const std::size_t tagEnd = endOfTag(text, at);
    if (tagEnd >= 2 && text[tagEnd - 2] == '/') {
        span.emptyElementTag = true;
        span.contentBegin = span.contentEnd = span.end = tagEnd;
        return span;
    }
    span.contentBegin = tagEnd;
    // Walk to the matching end tag, counting the elements opened on the way.
    std::size_t depth = 1;
    std::size_t p = tagEnd;
    while (p < text.size()) {
        const std::size_t open = text.find('<', p);
        if (open == std::string_view::npos)
            break;
        if (const std::size_t other = endOfOtherMarkup(text, open)) {
            p = other;
        } else if (text.compare(open, 2, "</") == 0) {
            p = endOfTag(text, open);
            if (--depth == 0) {
                span.contentEnd = open;
                span.end = p;
                return span;
            }
        } else {
            p = endOfTag(text, open);
            if (text[p - 2] != '/')
                ++depth;
        }
    }
    span.contentEnd = span.end = text.size();
    return span;
}

std::vector<SourceSpan> childSpans(std::string_view text, const SourceSpan &element)
{
    std::vector<SourceSpan> children;
    std::size_t p = element.contentBegin;
    while (p < element.contentEnd) {
        if (text[p] == '<') {
            if (const std::size_t other = endOfOtherMarkup(text, p)) {
                children.push_back(otherSpan(p, other));
                p = other;
            } else {
                children.push_back(elementSpanAt(text, p));
                p = children.back().end;
            }
            continue;
        }
        std::size_t next = text.find('<', p);
        if (next == std::string_view::npos || next > element.contentEnd)
            next = element.contentEnd;
        for (std::size_t c = p; c < next; ++c) {
            if (!isXmlWhitespace(text[c])) {
                children.push_back(otherSpan(p, next));
                break;
            }
        }
        p = next;
    }
    return children;
}

const SourceSpan *firstChildNamed(const std::vector<SourceSpan> &children, std::string_view name)
{
    for (const SourceSpan &child : children) {
        if (child.isElement(name))
            return &child;
    }
    return nullptr;
}

} // namespace voriraz
