#include "catalogs/CatalogList.h"

#include "catalogs/FileErrors.h"
#include "platform/Case.h"
#include "text/Utf8.h"


namespace voriraz {

CatalogList splitCatalog(std::string_view text)
{
    const std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos)
        text = text.substr(0, nul);

    CatalogList entries;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) {
            entries.emplace_back(text.substr(pos));
            break;
        }
        entries.emplace_back(text.substr(pos, end - pos));
        pos = end;
        if (text[pos] == '\r')
            ++pos;
        if (pos < text.size() && text[pos] == '\n')
            ++pos;
    }
    return entries;
}

CatalogLineError::CatalogLineError(const std::string &catalogPath, std::size_t line, const std::string &why)
    : std::runtime_error(catalogPath + ", line " + std::to_string(line) + ": " + why)
{
}

namespace {

bool isBlank(std::string_view line)
{
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

// The line, counted from 1, that the byte at offset lies on.
std::size_t lineAt(std::string_view text, std::size_t offset)
{
    const std::string_view before = text.substr(0, offset);
    const std::size_t complete = splitCatalog(before).size();
    const bool startsALine = before.empty() || before.back() == '\r' || before.back() == '\n';
    return startsALine ? complete + 1 : complete;
}

} // namespace

CatalogList parseCatalog(std::string_view text, const std::string &catalogPath)
{
    constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
    if (text.starts_with(byteOrderMark))
        text.remove_prefix(byteOrderMark.size());
    else if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF"))
        throw CatalogLineError(catalogPath, 1, "the file is UTF-16 text; save it as UTF-8");

    if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos)
        throw CatalogLineError(catalogPath, lineAt(text, nul), "NUL byte in the text");

    CatalogList entries = splitCatalog(text);
    while (!entries.empty() && isBlank(entries.back()))
        entries.pop_back();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i].empty() && isBlank(entries[i]))
            throw CatalogLineError(catalogPath, i + 1, "entry of blanks only");
        // The window's controls hold text, not bytes: another encoding would
        // reach them, and from them the saved presets, as replacement marks.
        if (!isUtf8(entries[i]))
            throw CatalogLineError(catalogPath, i + 1, "not UTF-8 text; save the catalog as UTF-8");
    }
    return entries;
}

CatalogList readCatalog(const std::string &path)
{
    return parseCatalog(readWholeFile(path), path);
}

CatalogList readDataCatalog(const std::string &dataFolder, const std::string &relative)
{
    return parseCatalog(readDataFile(dataFolder, relative), dataFolder + relative);
}

void refuseEmptyEntries(const CatalogList &entries, const std::string &catalogPath)
{
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].empty())
            throw CatalogLineError(catalogPath, i + 1, "empty entry");
    }
}

namespace {

// The next character of a text being compared: a byte that starts no valid
// sequence stands for itself, as the lone surrogate U+DC00 + byte, so
// broken text still compares byte for byte.
char32_t nextCharacter(std::string_view s, std::size_t &pos)
{
    char32_t c = 0;
    const std::size_t length = decodeUtf8Char(s.data() + pos, s.data() + s.size(), c);
    if (length == 0)
        c = 0xDC00 + static_cast<unsigned char>(s[pos]);
    pos += length == 0 ? 1 : length;
    return c;
}

char32_t fold(char32_t c)
{
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if (c >= 0xD800 && c <= 0xDFFF)
        return c;
    return platform::lowerCase(c);
}

} // namespace

bool isUtf8(std::string_view text)
{
    return firstInvalidUtf8(text) == std::string_view::npos;
}

bool equalIgnoringCase(std::string_view a, std::string_view b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const char ca = a[i];
        const char cb = b[j];
        if ((static_cast<unsigned char>(ca) | static_cast<unsigned char>(cb)) < 0x80) {
            if (ca != cb && fold(static_cast<unsigned char>(ca)) != fold(static_cast<unsigned char>(cb)))
                return false;
            ++i;
            ++j;
            continue;
        }
        if (fold(nextCharacter(a, i)) != fold(nextCharacter(b, j)))
            return false;
    }
    return i == a.size() && j == b.size();
}

int findEntryIgnoringCase(const CatalogList &entries, std::string_view text)
{
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (equalIgnoringCase(entries[i], text))
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace voriraz
