#include "presets/XmlParseError.h"

namespace voriraz {

namespace {

std::string composeMessage(const std::string &reason, std::size_t line, const std::string &lineText)
{
    return reason + "\nLine: " + std::to_string(line) + "\n" + firstCharacters(lineText, 40);
}

} // namespace

XmlParseError::XmlParseError(const std::string &reason, std::size_t line, const std::string &lineText)
    : std::runtime_error(composeMessage(reason, line, lineText))
    , mReason(reason)
    , mLine(line)
{
}

std::string firstCharacters(const std::string &utf8, std::size_t count)
{
    std::size_t pos = 0;
    for (std::size_t taken = 0; taken < count && pos < utf8.size(); ++taken) {
        const auto lead = static_cast<unsigned char>(utf8[pos]);
        std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        // Only step over continuation bytes that are really there.
        std::size_t step = 1;
        while (step < length && pos + step < utf8.size()
               && (static_cast<unsigned char>(utf8[pos + step]) & 0xC0) == 0x80)
            ++step;
        pos += step;
    }
    return utf8.substr(0, pos);
}

} // namespace voriraz
