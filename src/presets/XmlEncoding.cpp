#include "presets/XmlEncoding.h"

#include "text/AsciiCase.h"
#include "text/Utf8.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>

namespace voriraz {

namespace {

// Code points of windows-1252 bytes 0x80-0x9F. The five bytes the code page
// leaves undefined map to the C1 control of the same value.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// What an encoding declaration may name; UTF-16 with a byte order in the
// name must agree with the byte order of the file.
enum class DeclaredName { Utf8, Utf16, Utf16LE, Utf16BE, Latin1, Windows1252, Ascii };

std::optional<DeclaredName> lookUpEncoding(std::string_view name)
{
    struct Alias {
        std::string_view name;
        DeclaredName encoding;
    };
    static constexpr Alias kAliases[] = {
        {"UTF-8", DeclaredName::Utf8},
        {"UTF8", DeclaredName::Utf8},
        {"UTF-16", DeclaredName::Utf16},
        {"UTF16", DeclaredName::Utf16},
        {"UTF-16LE", DeclaredName::Utf16LE},
        {"UTF-16BE", DeclaredName::Utf16BE},
        {"ISO-8859-1", DeclaredName::Latin1},
        {"ISO8859-1", DeclaredName::Latin1},
        {"ISO_8859-1", DeclaredName::Latin1},
        {"ISO-IR-100", DeclaredName::Latin1},
        {"LATIN1", DeclaredName::Latin1},
        {"LATIN-1", DeclaredName::Latin1},
        {"L1", DeclaredName::Latin1},
        {"IBM819", DeclaredName::Latin1},
        {"CP819", DeclaredName::Latin1},
        {"CSISOLATIN1", DeclaredName::Latin1},
        {"WINDOWS-1252", DeclaredName::Windows1252},
        {"CP1252", DeclaredName::Windows1252},
        {"X-CP1252", DeclaredName::Windows1252},
        {"US-ASCII", DeclaredName::Ascii},
        {"ASCII", DeclaredName::Ascii},
        {"ISO646-US", DeclaredName::Ascii},
        {"ANSI_X3.4-1968", DeclaredName::Ascii},
        {"ANSI_X3.4-1986", DeclaredName::Ascii},
        {"ISO-IR-6", DeclaredName::Ascii},
        {"CP367", DeclaredName::Ascii},
        {"IBM367", DeclaredName::Ascii},
        {"US", DeclaredName::Ascii},
        {"CSASCII", DeclaredName::Ascii},
    };
    for (const Alias &alias : kAliases) {
        if (equalsIgnoringAsciiCase(alias.name, name))
            return alias.encoding;
    }
    return std::nullopt;
}

struct DeclaredEncoding {
    std::string_view name;
    std::size_t offset;  // of the name, in the text it was read from
};

bool isDeclarationSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The encoding named by an XML declaration at the start of ASCII-compatible
// text. Only reads; anything that does not look like a declaration yields
// nothing and is left for the well-formedness check to report.
std::optional<DeclaredEncoding> findDeclaredEncoding(std::string_view text)
{
    if (text.size() < 6 || text.substr(0, 5) != "<?xml" || !isDeclarationSpace(text[5]))
        return std::nullopt;
    std::size_t i = 5;
    const auto skipSpace = [&] {
        while (i < text.size() && isDeclarationSpace(text[i]))
            ++i;
    };
    for (;;) {
        skipSpace();
        const std::size_t nameStart = i;
        while (i < text.size() && ((text[i] >= 'a' && text[i] <= 'z') || (text[i] >= 'A' && text[i] <= 'Z')))
            ++i;
        if (i == nameStart)
            return std::nullopt;
        const std::string_view name = text.substr(nameStart, i - nameStart);
        skipSpace();
        if (i >= text.size() || text[i] != '=')
            return std::nullopt;
        ++i;
        skipSpace();
        if (i >= text.size() || (text[i] != '"' && text[i] != '\''))
            return std::nullopt;
        const char quote = text[i++];
        const std::size_t valueStart = i;
        while (i < text.size() && text[i] != quote) {
            // A value never holds markup; stopping here keeps a missing
            // quote from swallowing the document.
            if (text[i] == '<' || text[i] == '>' || text[i] == '?' || static_cast<unsigned char>(text[i]) >= 0x80)
                return std::nullopt;
            ++i;
        }
        if (i >= text.size())
            return std::nullopt;
        if (name == "encoding")
            return DeclaredEncoding{text.substr(valueStart, i - valueStart), valueStart};
        ++i;
    }
}

[[noreturn]] void throwUnsupported(std::string_view lineSource, std::size_t offset)
{
    throw parseErrorAt(lineSource, offset, "System does not support the specified encoding.");
}

[[noreturn]] void throwSwitch(std::string_view lineSource, std::size_t offset)
{
    throw parseErrorAt(lineSource, offset, "Switch from current encoding to specified encoding not supported.");
}

char16_t readUnit(const char *p, bool bigEndian)
{
    const auto b0 = static_cast<unsigned char>(p[0]);
    const auto b1 = static_cast<unsigned char>(p[1]);
    return static_cast<char16_t>(bigEndian ? (b0 << 8) | b1 : (b1 << 8) | b0);
}

std::string decodeUtf16(std::string_view bytes, bool bigEndian)
{
    std::string out;
    out.reserve(bytes.size() / 2 + bytes.size() / 8);
    std::size_t errorAt = std::string::npos;
    const auto noteError = [&] {
        if (errorAt == std::string::npos)
            errorAt = out.size();
        appendUtf8(out, replacementCharacter);
    };
    const std::size_t units = bytes.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        const char16_t unit = readUnit(bytes.data() + 2 * i, bigEndian);
        if (unit < 0xD800 || unit > 0xDFFF) {
            appendUtf8(out, unit);
        } else if (unit <= 0xDBFF && i + 1 < units) {
            const char16_t low = readUnit(bytes.data() + 2 * (i + 1), bigEndian);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (low - 0xDC00));
                ++i;
            } else {
                noteError();
            }
        } else {
            noteError();
        }
    }
    if (bytes.size() % 2 != 0)
        noteError();
    if (errorAt != std::string::npos)
        throw parseErrorAt(out, errorAt, "Invalid UTF-16 data in the document.");
    return out;
}

std::string decodeSingleByte(std::string_view bytes, XmlEncoding encoding)
{
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte < 0x80) {
            out += static_cast<char>(byte);
        } else if (encoding == XmlEncoding::Ascii) {
            // The text before the byte is plain ASCII, so offsets match.
            throw parseErrorAt(utf8ForDisplay(bytes), i, "Invalid character for the specified encoding.");
        } else if (encoding == XmlEncoding::Windows1252 && byte < 0xA0) {
            appendUtf8(out, kWindows1252High[byte - 0x80]);
        } else {
            appendUtf8(out, byte);
        }
    }
    return out;
}

XmlSourceText decodeUtf8Body(std::string_view body, bool byteOrderMark)
{
    const std::size_t invalid = firstInvalidUtf8(body);
    if (invalid != std::string_view::npos)
        throw parseErrorAt(utf8ForDisplay(body), invalid, "Invalid UTF-8 byte sequence in the document.");
    return XmlSourceText{std::string(body), XmlEncoding::Utf8, byteOrderMark};
}

XmlSourceText decodeUtf16Body(std::string_view body, bool bigEndian, bool byteOrderMark)
{
    XmlSourceText source{decodeUtf16(body, bigEndian), bigEndian ? XmlEncoding::Utf16BE : XmlEncoding::Utf16LE,
                         byteOrderMark};
    if (const auto declared = findDeclaredEncoding(source.utf8)) {
        const auto name = lookUpEncoding(declared->name);
        if (!name)
            throwUnsupported(source.utf8, declared->offset);
        const bool agrees = *name == DeclaredName::Utf16 || *name == (bigEndian ? DeclaredName::Utf16BE : DeclaredName::Utf16LE);
        if (!agrees)
            throwSwitch(source.utf8, declared->offset);
    }
    return source;
}

[[noreturn]] void throwUnrepresentable(char32_t c, XmlEncoding encoding)
{
    throw std::runtime_error("Character " + codePointName(c) + " cannot be written in the " + encodingName(encoding)
                             + " encoding.");
}

// The byte of c in a single-byte encoding, or -1 when it has none.
int singleByteOrNone(char32_t c, XmlEncoding encoding)
{
    if (c < 0x80)
        return static_cast<int>(c);
    if (encoding == XmlEncoding::Latin1 && c <= 0xFF)
        return static_cast<int>(c);
    if (encoding == XmlEncoding::Windows1252) {
        if (c >= 0xA0 && c <= 0xFF)
            return static_cast<int>(c);
        const auto found = std::find(kWindows1252High.begin(), kWindows1252High.end(), c);
        if (found != kWindows1252High.end())
            return static_cast<int>(0x80 + (found - kWindows1252High.begin()));
    }
    return -1;
}

std::uint8_t singleByteFor(char32_t c, XmlEncoding encoding)
{
    const int byte = singleByteOrNone(c, encoding);
    if (byte < 0)
        throwUnrepresentable(c, encoding);
    return static_cast<std::uint8_t>(byte);
}

void appendUtf16Unit(std::string &out, char16_t unit, bool bigEndian)
{
    const auto high = static_cast<char>(unit >> 8);
    const auto low = static_cast<char>(unit & 0xFF);
    if (bigEndian) {
        out += high;
        out += low;
    } else {
        out += low;
        out += high;
    }
}

} // namespace

XmlSourceText decodeXmlSource(std::string_view bytes)
{
    const auto startsWith = [&](std::initializer_list<unsigned char> prefix) {
        return bytes.size() >= prefix.size()
               && std::equal(prefix.begin(), prefix.end(), bytes.begin(),
                             [](unsigned char a, char b) { return a == static_cast<unsigned char>(b); });
    };

    if (startsWith({0xEF, 0xBB, 0xBF})) {
        const std::string_view body = bytes.substr(3);
        if (const auto declared = findDeclaredEncoding(body)) {
            const auto name = lookUpEncoding(declared->name);
            if (!name)
                throwUnsupported(utf8ForDisplay(body), declared->offset);
            if (*name != DeclaredName::Utf8)
                throwSwitch(utf8ForDisplay(body), declared->offset);
        }
        return decodeUtf8Body(body, true);
    }
    if (startsWith({0xFF, 0xFE}))
        return decodeUtf16Body(bytes.substr(2), false, true);
    if (startsWith({0xFE, 0xFF}))
        return decodeUtf16Body(bytes.substr(2), true, true);
    if (startsWith({0x3C, 0x00, 0x3F, 0x00}))
        return decodeUtf16Body(bytes, false, false);
    if (startsWith({0x00, 0x3C, 0x00, 0x3F}))
        return decodeUtf16Body(bytes, true, false);

    const auto declared = findDeclaredEncoding(bytes);
    if (!declared)
        return decodeUtf8Body(bytes, false);
    const auto name = lookUpEncoding(declared->name);
    if (!name)
        throwUnsupported(utf8ForDisplay(bytes), declared->offset);
    switch (*name) {
    case DeclaredName::Utf8:
        return decodeUtf8Body(bytes, false);
    case DeclaredName::Utf16:
    case DeclaredName::Utf16LE:
    case DeclaredName::Utf16BE:
        // The declaration was readable as single bytes, so the file is not UTF-16.
        throwSwitch(utf8ForDisplay(bytes), declared->offset);
    case DeclaredName::Latin1:
        return XmlSourceText{decodeSingleByte(bytes, XmlEncoding::Latin1), XmlEncoding::Latin1, false};
    case DeclaredName::Windows1252:
        return XmlSourceText{decodeSingleByte(bytes, XmlEncoding::Windows1252), XmlEncoding::Windows1252, false};
    case DeclaredName::Ascii:
        return XmlSourceText{decodeSingleByte(bytes, XmlEncoding::Ascii), XmlEncoding::Ascii, false};
    }
    return decodeUtf8Body(bytes, false);
}

std::string encodeXmlSource(std::string_view utf8, XmlEncoding encoding, bool byteOrderMark)
{
    if (firstInvalidUtf8(utf8) != std::string_view::npos)
        throw std::runtime_error("The text to save is not valid UTF-8.");

    std::string out;
    if (encoding == XmlEncoding::Utf8) {
        out.reserve(utf8.size() + 3);
        if (byteOrderMark)
            out += "\xEF\xBB\xBF";
        out += utf8;
        return out;
    }

    const bool utf16 = encoding == XmlEncoding::Utf16LE || encoding == XmlEncoding::Utf16BE;
    const bool bigEndian = encoding == XmlEncoding::Utf16BE;
    out.reserve(utf16 ? 2 * utf8.size() + 2 : utf8.size());
    if (utf16 && byteOrderMark)
        appendUtf16Unit(out, 0xFEFF, bigEndian);

    const char *p = utf8.data();
    const char *end = p + utf8.size();
    while (p < end) {
        char32_t c;
        p += decodeUtf8Char(p, end, c);
        if (!utf16) {
            out += static_cast<char>(singleByteFor(c, encoding));
        } else if (c < 0x10000) {
            appendUtf16Unit(out, static_cast<char16_t>(c), bigEndian);
        } else {
            const char32_t v = c - 0x10000;
            appendUtf16Unit(out, static_cast<char16_t>(0xD800 + (v >> 10)), bigEndian);
            appendUtf16Unit(out, static_cast<char16_t>(0xDC00 + (v & 0x3FF)), bigEndian);
        }
    }
    return out;
}

bool canEncode(char32_t codePoint, XmlEncoding encoding)
{
    switch (encoding) {
    case XmlEncoding::Utf8:
    case XmlEncoding::Utf16LE:
    case XmlEncoding::Utf16BE:
        return true;
    default:
        return singleByteOrNone(codePoint, encoding) >= 0;
    }
}

std::string encodingName(XmlEncoding encoding)
{
    switch (encoding) {
    case XmlEncoding::Utf8:
        return "UTF-8";
    case XmlEncoding::Utf16LE:
    case XmlEncoding::Utf16BE:
        return "UTF-16";
    case XmlEncoding::Latin1:
        return "ISO-8859-1";
    case XmlEncoding::Windows1252:
        return "windows-1252";
    case XmlEncoding::Ascii:
        return "US-ASCII";
    }
    return "UTF-8";
}

} // namespace voriraz
