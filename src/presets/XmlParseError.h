#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace voriraz {

// A document that cannot be read or is not well-formed XML.
//
// The message is the parser's reason, a line break, "Line: " and the line
// number, a line break, and the first 40 characters of the offending line's
// source text, so the user sees where the file went wrong.
class XmlParseError : public std::runtime_error
{
public:
    XmlParseError(const std::string &reason, std::size_t line, std::string_view lineText);

    const std::string &reason() const { return mReason; }
    std::size_t line() const { return mLine; }

private:
    std::string mReason;
    std::size_t mLine;
};

// The error for a position in decoded text: the reason with the 1-based
// number and the full text of the line that holds byte `offset` (clamped to
// the end of the text). LF, CR LF and a lone CR each end one line, as XML
// counts them.
XmlParseError parseErrorAt(std::string_view text, std::size_t offset, const std::string &reason);

// The 1-based number of the line of text that holds byte offset (clamped
// to the end of the text), lines counted as parseErrorAt counts them.
std::size_t lineNumberAt(std::string_view text, std::size_t offset);

} // namespace voriraz
