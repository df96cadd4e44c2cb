#include "text/Utf8.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace voriraz {

namespace {

// Calls valid(codePoint, bytes) for each valid sequence of the text and
// invalid(byte) for each byte that starts none, in order.
template<typename Valid, typename Invalid>
void forEachSequence(std::string_view text, Valid valid, Invalid invalid)
{
    const char *p = text.data();
    const char *end = p + text.size();
    while (p < end) {
        char32_t codePoint;
        const std::size_t length = decodeUtf8Char(p, end, codePoint);
        if (length == 0) {
            invalid(static_cast<unsigned char>(*p));
            ++p;
        } else {
            valid(codePoint, std::string_view(p, length));
            p += length;
        }
    }
}

} // namespace

std::size_t decodeUtf8Char(const char *at, const char *end, char32_t &codePoint)
{
    const auto lead = static_cast<unsigned char>(at[0]);
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    std::size_t length;
    char32_t smallest;
    char32_t value;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        smallest = 0x80;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        smallest = 0x800;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        smallest = 0x10000;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (static_cast<std::size_t>(end - at) < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(at[i]);
        if ((byte & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (byte & 0x3F);
    }
    if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    codePoint = value;
    return length;
}

// ASCII is skipped eight bytes at a time: it is nearly all of the files the
// editor reads.
std::size_t firstInvalidUtf8(std::string_view text)
{
    const char *begin = text.data();
    const char *end = begin + text.size();
    const char *p = begin;
    while (p < end) {
        if (end - p >= 8) {
            std::uint64_t block;
            std::memcpy(&block, p, 8);
            if ((block & 0x8080808080808080ULL) == 0) {
                p += 8;
                continue;
            }
        }
        char32_t ignored;
        const std::size_t length = decodeUtf8Char(p, end, ignored);
        if (length == 0)
            return static_cast<std::size_t>(p - begin);
        p += length;
    }
    return std::string_view::npos;
}

void appendUtf8(std::string &out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string utf8ForDisplay(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    forEachSequence(
        bytes, [&](char32_t, std::string_view sequence) { out += sequence; },
        [&](unsigned char) { appendUtf8(out, replacementCharacter); });
    return out;
}

std::u32string codePointsForMatching(std::string_view bytes)
{
    std::u32string out;
    out.reserve(bytes.size());
    forEachSequence(
        bytes, [&](char32_t codePoint, std::string_view) { out += codePoint; },
        [&](unsigned char byte) { out += static_cast<char32_t>(0xDC00 + byte); });
    return out;
}

std::string codePointName(char32_t codePoint)
{
    char name[16];
    std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(codePoint));
    return name;
}

std::string_view firstCharacters(std::string_view text, std::size_t count)
{
    const char *p = text.data();
    const char *end = p + text.size();
    for (; count > 0 && p < end; --count) {
        char32_t ignored;
        const std::size_t length = decodeUtf8Char(p, end, ignored);
        p += length == 0 ? 1 : length;
    }
    return text.substr(0, static_cast<std::size_t>(p - text.data()));
}

} // namespace voriraz
