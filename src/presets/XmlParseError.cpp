#include "presets/XmlParseError.h"

#include "text/Utf8.h"

#include <algorithm>

namespace voriraz {

namespace {

std::string composeMessage(const std::string &reason, std::size_t line, std::string_view lineText)
{
    return reason + "\nLine: " + std::to_string(line) + "\n" + std::string(firstCharacters(lineText, 40));
}

} // namespace

XmlParseError::XmlParseError(const std::string &reason, std::size_t line, std::string_view lineText)
    : std::runtime_error(composeMessage(reason, line, lineText))
    , mReason(reason)
    , mLine(line)
{
}

XmlParseError parseErrorAt(std::string_view text, std::size_t offset, const std::string &reason)
{
    offset = std::min(offset, text.size());
    std::size_t line = 1;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < offset; ++i) {
        const char c = text[i];
        // The CR of a CR LF pair is not a line end of its own; its LF is.
        if (c == '\n' || (c == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) {
            ++line;
            lineStart = i + 1;
        }
    }
    const std::size_t lineEnd = std::min(text.find_first_of("\r\n", lineStart), text.size());
    return XmlParseError(reason, line, text.substr(lineStart, lineEnd - lineStart));
}

std::size_t lineNumberAt(std::string_view text, std::size_t offset)
{
    return parseErrorAt(text, offset, std::string()).line();
}

} // namespace voriraz
