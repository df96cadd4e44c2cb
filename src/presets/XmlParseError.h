#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace voriraz {

// A document that cannot be read or is not well-formed XML.
//
// The message is the parser's reason, a line break, "Line: " and the line
// number, a line break, and the first 40 characters of the offending line's
// source text, so the user sees where the file went wrong.
class XmlParseError : public std::runtime_error
{
public:
    XmlParseError(const std::string &reason, std::size_t line, const std::string &lineText);

    const std::string &reason() const { return mReason; }
    std::size_t line() const { return mLine; }

private:
    std::string mReason;
    std::size_t mLine;
};

// The first `count` characters (code points) of UTF-8 text; a broken
// sequence counts as one character per byte.
std::string firstCharacters(const std::string &utf8, std::size_t count);

} // namespace voriraz
