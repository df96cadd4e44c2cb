#include "presets/XmlWellFormed.h"

#include "presets/XmlEncoding.h"
#include "text/Utf8.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

namespace voriraz {

namespace {

// Each scanning loop runs over bytes that need no attention in its context
// and stops at the rest: one table look-up per byte keeps the check fast.
enum StopBit : std::uint8_t {
    kStopText = 1,         // element content: < & ]
    kStopAttribute = 2,    // attribute value: < & and both quotes
    kStopComment = 4,      // -
    kStopPi = 8,           // ?
    kStopCdata = 16,       // ]
    kStopLiteral = 32,     // both quotes
    kStopEntityValue = 64, // both quotes, % and &
    kStopAll = 127,
};

constexpr std::array<std::uint8_t, 256> makeStopTable()
{
    std::array<std::uint8_t, 256> table{};
    for (int c = 0; c < 256; ++c) {
        const bool plain = c == '\t' || c == '\n' || c == '\r' || (c >= 0x20 && c < 0x80);
        std::uint8_t bits = plain ? 0 : kStopAll;
        if (c == '<' || c == '&' || c == ']')
            bits |= kStopText;
        if (c == '<' || c == '&' || c == '"' || c == '\'')
            bits |= kStopAttribute;
        if (c == '-')
            bits |= kStopComment;
        if (c == '?')
            bits |= kStopPi;
        if (c == ']')
            bits |= kStopCdata;
        if (c == '"' || c == '\'')
            bits |= kStopLiteral | kStopEntityValue;
        if (c == '%' || c == '&')
            bits |= kStopEntityValue;
        table[static_cast<std::size_t>(c)] = bits;
    }
    return table;
}

constexpr std::array<std::uint8_t, 256> kStop = makeStopTable();

enum NameBit : std::uint8_t { kNameStart = 1, kNameChar = 2 };

constexpr std::array<std::uint8_t, 256> makeNameTable()
{
    std::array<std::uint8_t, 256> table{};
    for (int c = 0; c < 128; ++c) {
        const bool start = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':';
        const bool other = (c >= '0' && c <= '9') || c == '-' || c == '.';
        table[static_cast<std::size_t>(c)] = start ? (kNameStart | kNameChar) : other ? kNameChar : 0;
    }
    return table;
}

constexpr std::array<std::uint8_t, 256> kNameTable = makeNameTable();

std::uint8_t byteAt(const char *p)
{
    return static_cast<std::uint8_t>(*p);
}

bool isXmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
           || (c >= 0x10000 && c <= 0x10FFFF);
}

bool isNameStartCodePoint(char32_t c)
{
    if (c < 0x80)
        return kNameTable[c] & kNameStart;
    return (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF)
           || (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D)
           || (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF)
           || (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool isNameCodePoint(char32_t c)
{
    if (c < 0x80)
        return kNameTable[c] & kNameChar;
    return isNameStartCodePoint(c) || c == 0xB7 || (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isPubidChar(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return c == ' ' || c == '\r' || c == '\n' || std::strchr("-'()+,./:=?;!*#@$_%", c) != nullptr;
}

std::string codePointText(char32_t c)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(c));
    return buffer;
}

std::string quoted(std::string_view name)
{
    return "'" + std::string(name) + "'";
}

// Where a reference occurs decides which entities it may name.
enum class ReferenceContext {
    Markup,      // element text, attribute values and attribute defaults
    EntityValue, // replacement text in an entity declaration: not expanded
};

class WellFormedChecker
{
public:
    explicit WellFormedChecker(std::string_view text)
        : mText(text)
        , mBegin(text.data())
        , mEnd(text.data() + text.size())
        , mPos(text.data())
    {
    }

    void run();

private:
    [[noreturn]] void fail(const std::string &reason, const char *at) const
    {
        throw parseErrorAt(mText, static_cast<std::size_t>(at - mBegin), reason);
    }

    bool startsWith(const char *p, std::string_view prefix) const
    {
        return static_cast<std::size_t>(mEnd - p) >= prefix.size()
               && std::memcmp(p, prefix.data(), prefix.size()) == 0;
    }

    bool skipSpace()
    {
        const char *start = mPos;
        while (mPos < mEnd && isSpace(*mPos))
            ++mPos;
        return mPos != start;
    }

    void requireSpace(const char *reason)
    {
        if (!skipSpace())
            fail(reason, mPos);
    }

    void expect(char c, const char *reason)
    {
        if (mPos == mEnd || *mPos != c)
            fail(reason, mPos);
        ++mPos;
    }

    // Steps over one character that the fast loops stopped at because it is
    // not plain ASCII, refusing it when it is not an XML character.
    const char *stepCharacter(const char *p) const;
    std::string describeCharacterAt(const char *p) const;
    bool isNameStartAt(const char *p) const;

    std::string_view parseName();
    std::string_view parseNmtoken();
    std::string_view parseKeyword(const char *reason);

    void parseXmlDeclaration();
    std::string_view parseDeclarationValue(std::string_view name);
    void parseProcessingInstruction();
    void parseComment();
    void parseCdata();
    void parseReference(ReferenceContext context);

    void parseElement();
    bool parseStartTag();
    void parseEndTag();
    void parseAttributeValue(std::string_view name);
    void noteAttribute(std::string_view name, const char *at);

    void parseDoctype();
    void parseExternalId(bool publicIdAlone, const char *reason);
    void parseSystemLiteral(const char *reason);
    void parsePubidLiteral(const char *reason);
    void parseInternalSubset(const char *doctypeStart);
    void parseEntityDeclaration();
    void parseEntityValue();
    void parseElementDeclaration();
    void parseChildrenModel();
    void parseAttlistDeclaration();
    void parseEnumeration(bool names, const char *reason);
    void parseNotationDeclaration();

    std::string_view mText;
    const char *mBegin;
    const char *mEnd;
    const char *mPos;
    std::vector<std::string_view> mOpenElements;
    std::vector<std::string_view> mAttributeNames;
    std::unordered_set<std::string_view> mManyAttributes;
    std::unordered_set<std::string_view> mDeclaredEntities;
    std::vector<char> mModelGroups;
};

// Up to this many attributes a linear search finds duplicates faster than
// a hash set; beyond it the set keeps a tag with thousands of them linear.
constexpr std::size_t kLinearAttributeLimit = 16;

const char *WellFormedChecker::stepCharacter(const char *p) const
{
    const auto byte = byteAt(p);
    if (byte < 0x80) {
        // Only the control characters stop every loop.
        if (kStop[byte] == kStopAll)
            fail("Invalid character " + codePointText(byte) + " in the document.", p);
        return p + 1;
    }
    char32_t c;
    const std::size_t length = decodeUtf8Char(p, mEnd, c);
    if (length == 0)
        fail("Invalid UTF-8 byte sequence in the document.", p);
    if (!isXmlChar(c))
        fail("Invalid character " + codePointText(c) + " in the document.", p);
    return p + length;
}

// How an error message names the unexpected character at p. A character
// that is not allowed at all is reported as such instead.
std::string WellFormedChecker::describeCharacterAt(const char *p) const
{
    stepCharacter(p);
    const auto byte = byteAt(p);
    if (byte > 0x20 && byte < 0x7F)
        return std::string("'") + static_cast<char>(byte) + "'";
    char32_t c = byte;
    decodeUtf8Char(p, mEnd, c);
    return codePointText(c);
}

bool WellFormedChecker::isNameStartAt(const char *p) const
{
    if (p == mEnd)
        return false;
    const auto byte = byteAt(p);
    if (byte < 0x80)
        return kNameTable[byte] & kNameStart;
    char32_t c;
    return decodeUtf8Char(p, mEnd, c) != 0 && isNameStartCodePoint(c);
}

std::string_view WellFormedChecker::parseName()
{
    if (mPos == mEnd)
        fail("Unexpected end of the document where a name was expected.", mPos);
    const char *start = mPos;
    if (!isNameStartAt(mPos))
        fail("A name cannot begin with the character " + describeCharacterAt(mPos) + ".", mPos);
    for (;;) {
        while (mPos < mEnd && (kNameTable[byteAt(mPos)] & kNameChar))
            ++mPos;
        if (mPos == mEnd || byteAt(mPos) < 0x80)
            break;
        char32_t c;
        const std::size_t length = decodeUtf8Char(mPos, mEnd, c);
        if (length == 0)
            fail("Invalid UTF-8 byte sequence in the document.", mPos);
        if (!isNameCodePoint(c))
            break;
        mPos += length;
    }
    return std::string_view(start, static_cast<std::size_t>(mPos - start));
}

std::string_view WellFormedChecker::parseNmtoken()
{
    const char *start = mPos;
    while (mPos < mEnd) {
        char32_t c;
        const std::size_t length = decodeUtf8Char(mPos, mEnd, c);
        if (length == 0 || !isNameCodePoint(c))
            break;
        mPos += length;
    }
    if (mPos == start)
        fail("Name token expected in the attribute list declaration.", mPos);
    return std::string_view(start, static_cast<std::size_t>(mPos - start));
}

std::string_view WellFormedChecker::parseKeyword(const char *reason)
{
    const char *start = mPos;
    while (mPos < mEnd && ((*mPos >= 'A' && *mPos <= 'Z') || *mPos == '#'))
        ++mPos;
    if (mPos == start)
        fail(reason, mPos);
    return std::string_view(start, static_cast<std::size_t>(mPos - start));
}

void WellFormedChecker::run()
{
    // "<?xml-model ..." and the like are processing instructions; only "xml"
    // as a whole name starts the declaration.
    const bool longerTarget = mPos + 5 < mEnd && (byteAt(mPos + 5) >= 0x80 || (kNameTable[byteAt(mPos + 5)] & kNameChar));
    if (startsWith(mPos, "<?xml") && !longerTarget)
        parseXmlDeclaration();

    bool seenDoctype = false;
    bool seenRoot = false;
    for (;;) {
        skipSpace();
        if (mPos == mEnd)
            break;
        if (*mPos != '<') {
            stepCharacter(mPos);
            fail(seenRoot ? "Text is not allowed after the top level element."
                          : "Text is not allowed before the top level element.",
                 mPos);
        }
        if (startsWith(mPos, "<?")) {
            parseProcessingInstruction();
        } else if (startsWith(mPos, "<!--")) {
            parseComment();
        } else if (startsWith(mPos, "<!DOCTYPE")) {
            if (seenRoot)
                fail("The document type declaration must come before the top level element.", mPos);
            if (seenDoctype)
                fail("Only one document type declaration is allowed.", mPos);
            parseDoctype();
            seenDoctype = true;
        } else if (startsWith(mPos, "<![CDATA[")) {
            fail("A CDATA section is only allowed inside the top level element.", mPos);
        } else if (startsWith(mPos, "<!")) {
            fail("Invalid markup: expected a comment or a document type declaration.", mPos);
        } else if (startsWith(mPos, "</")) {
            const char *at = mPos;
            mPos += 2;
            fail("End tag '" + std::string(parseName()) + "' has no matching start tag.", at);
        } else {
            if (seenRoot)
                fail("Only one top level element is allowed.", mPos);
            parseElement();
            seenRoot = true;
        }
    }
    if (!seenRoot)
        fail("XML document must have a top level element.", mEnd);
}

void WellFormedChecker::parseXmlDeclaration()
{
    const char *start = mPos;
    mPos += 5;
    const bool spaced = skipSpace();
    if (mPos == mEnd)
        fail("The XML declaration is not terminated.", start);
    if (startsWith(mPos, "?>"))
        fail("The XML declaration must give the version.", start);
    if (!spaced)
        fail("Unexpected character " + describeCharacterAt(mPos) + " in the XML declaration.", mPos);

    // version, then encoding, then standalone; the later two optional.
    int stage = 0;
    for (;;) {
        const char *nameAt = mPos;
        if (!isNameStartAt(mPos))
            fail("Unexpected character " + describeCharacterAt(mPos) + " in the XML declaration.", mPos);
        const std::string_view name = parseName();
        const int nameStage = name == "version" ? 1 : name == "encoding" ? 2 : name == "standalone" ? 3 : 0;
        if (nameStage == 0)
            fail("Unexpected attribute '" + std::string(name) + "' in the XML declaration.", nameAt);
        if (stage == 0 && nameStage != 1)
            fail("The XML declaration must begin with the version.", nameAt);
        if (nameStage <= stage)
            fail("The attributes of the XML declaration must be version, encoding and standalone, in that order.",
                 nameAt);
        stage = nameStage;

        const char *valueAt = mPos;
        const std::string_view value = parseDeclarationValue(name);
        if (nameStage == 1) {
            const bool valid = value.size() > 2 && value.substr(0, 2) == "1."
                               && std::all_of(value.begin() + 2, value.end(), [](char c) { return c >= '0' && c <= '9'; });
            if (!valid)
                fail("Invalid XML version '" + std::string(value) + "'.", valueAt);
        } else if (nameStage == 2) {
            const auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
            const bool valid = !value.empty() && isLetter(value[0])
                               && std::all_of(value.begin() + 1, value.end(), [&](char c) {
                                      return isLetter(c) || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
                                  });
            if (!valid)
                fail("Invalid encoding name '" + std::string(value) + "'.", valueAt);
        } else if (value != "yes" && value != "no") {
            fail("The standalone value must be 'yes' or 'no'.", valueAt);
        }

        const bool spacedAfter = skipSpace();
        if (startsWith(mPos, "?>")) {
            mPos += 2;
            return;
        }
        if (mPos == mEnd)
            fail("The XML declaration is not terminated.", start);
        if (!spacedAfter && isNameStartAt(mPos))
            fail("Whitespace is required between the attributes of the XML declaration.", mPos);
        if (!spacedAfter)
            fail("Unexpected character " + describeCharacterAt(mPos) + " in the XML declaration.", mPos);
    }
}

std::string_view WellFormedChecker::parseDeclarationValue(std::string_view name)
{
    skipSpace();
    expect('=', ("Missing '=' after '" + std::string(name) + "' in the XML declaration.").c_str());
    skipSpace();
    if (mPos == mEnd || (*mPos != '"' && *mPos != '\''))
        fail("The value of '" + std::string(name) + "' in the XML declaration must be in quotes.", mPos);
    const char quote = *mPos++;
    const char *start = mPos;
    // Values are short words; stopping at anything else keeps a missing
    // quote from running through the whole document.
    while (mPos < mEnd && *mPos != quote && byteAt(mPos) > 0x20 && byteAt(mPos) < 0x7F && *mPos != '?'
           && *mPos != '<' && *mPos != '>')
        ++mPos;
    const std::string_view value(start, static_cast<std::size_t>(mPos - start));
    if (mPos == mEnd || *mPos != quote)
        fail("The value of '" + std::string(name) + "' in the XML declaration is not terminated.", start);
    ++mPos;
    return value;
}

void WellFormedChecker::parseProcessingInstruction()
{
    const char *start = mPos;
    mPos += 2;
    const std::string_view target = parseName();
    if (target.size() == 3 && (target[0] | 0x20) == 'x' && (target[1] | 0x20) == 'm' && (target[2] | 0x20) == 'l') {
        if (target == "xml")
            fail("The XML declaration is only allowed at the very beginning of the document.", start);
        fail("Processing instruction target '" + std::string(target) + "' is reserved.", start);
    }
    if (startsWith(mPos, "?>")) {
        mPos += 2;
        return;
    }
    if (!skipSpace()) {
        if (mPos == mEnd)
            fail("Unterminated processing instruction.", start);
        fail("Whitespace is required after the processing instruction target '" + std::string(target) + "'.", mPos);
    }
    const char *p = mPos;
    for (;;) {
        while (p < mEnd && !(kStop[byteAt(p)] & kStopPi))
            ++p;
        if (p == mEnd)
            fail("Unterminated processing instruction.", start);
        if (*p == '?') {
            if (p + 1 < mEnd && p[1] == '>') {
                mPos = p + 2;
                return;
            }
            ++p;
            continue;
        }
        p = stepCharacter(p);
    }
}

void WellFormedChecker::parseComment()
{
    const char *start = mPos;
    const char *p = mPos + 4;
    for (;;) {
        while (p < mEnd && !(kStop[byteAt(p)] & kStopComment))
            ++p;
        if (p == mEnd)
            fail("Unterminated comment.", start);
        if (*p == '-') {
            if (p + 1 < mEnd && p[1] == '-') {
                if (p + 2 == mEnd)
                    fail("Unterminated comment.", start);
                if (p[2] == '>') {
                    mPos = p + 3;
                    return;
                }
                fail("The sequence '--' is not allowed inside a comment.", p);
            }
            ++p;
            continue;
        }
        p = stepCharacter(p);
    }
}

void WellFormedChecker::parseCdata()
{
    const char *start = mPos;
    const char *p = mPos + 9;
    for (;;) {
        while (p < mEnd && !(kStop[byteAt(p)] & kStopCdata))
            ++p;
        if (p == mEnd)
            fail("Unterminated CDATA section.", start);
        if (*p == ']') {
            if (mEnd - p >= 3 && p[1] == ']' && p[2] == '>') {
                mPos = p + 3;
                return;
            }
            ++p;
            continue;
        }
        p = stepCharacter(p);
    }
}

void WellFormedChecker::parseReference(ReferenceContext context)
{
    const char *start = mPos;
    ++mPos;
    if (mPos < mEnd && *mPos == '#') {
        ++mPos;
        const bool hex = mPos < mEnd && *mPos == 'x';
        if (hex)
            ++mPos;
        const char *digits = mPos;
        char32_t value = 0;
        for (; mPos < mEnd; ++mPos) {
            const char c = *mPos;
            int digit;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (hex && c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (hex && c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            else
                break;
            // Saturate: anything past the Unicode range is refused anyway.
            value = std::min<char32_t>(value * (hex ? 16 : 10) + static_cast<char32_t>(digit), 0x110000);
        }
        if (mPos == digits || mPos == mEnd || *mPos != ';')
            fail("Malformed character reference.", start);
        ++mPos;
        if (!isXmlChar(value))
            fail("Character reference '" + std::string(start, mPos) + "' is not a valid XML character.", start);
        return;
    }
    if (!isNameStartAt(mPos))
        fail("Unescaped '&' in the document; write '&amp;' for a literal ampersand.", start);
    const std::string_view name = parseName();
    if (mPos == mEnd || *mPos != ';')
        fail("Entity reference '" + std::string(name) + "' is not terminated by ';'.", start);
    ++mPos;
    if (context == ReferenceContext::EntityValue)
        return;
    if (name == "lt" || name == "gt" || name == "amp" || name == "apos" || name == "quot")
        return;
    if (mDeclaredEntities.count(name) != 0)
        fail("Reference to entity " + quoted(name)
                 + ", declared in the document type definition, which this editor does not expand.",
             start);
    fail("Reference to undefined entity " + quoted(name) + ".", start);
}

void WellFormedChecker::parseElement()
{
    if (parseStartTag())
        return;
    for (;;) {
        const char *p = mPos;
        for (;;) {
            while (p < mEnd && !(kStop[byteAt(p)] & kStopText))
                ++p;
            if (p == mEnd || *p == '<' || *p == '&')
                break;
            if (*p == ']') {
                if (mEnd - p >= 3 && p[1] == ']' && p[2] == '>')
                    fail("The sequence ']]>' is not allowed in character data.", p);
                ++p;
                continue;
            }
            p = stepCharacter(p);
        }
        mPos = p;
        if (p == mEnd) {
            const std::string_view open = mOpenElements.back();
            fail("Start tag " + quoted(open) + " has no matching end tag.", open.data() - 1);
        }
        if (*p == '&') {
            parseReference(ReferenceContext::Markup);
            continue;
        }
        if (p + 1 == mEnd)
            fail("Unexpected end of the document after '<'.", p);
        switch (p[1]) {
        case '/':
            parseEndTag();
            if (mOpenElements.empty())
                return;
            break;
        case '?':
            parseProcessingInstruction();
            break;
        case '!':
            if (startsWith(p, "<!--"))
                parseComment();
            else if (startsWith(p, "<![CDATA["))
                parseCdata();
            else if (startsWith(p, "<!DOCTYPE"))
                fail("A document type declaration is not allowed inside an element.", p);
            else
                fail("Invalid markup: expected a comment or a CDATA section.", p);
            break;
        default:
            parseStartTag();
            break;
        }
    }
}

// Parses a start tag or empty-element tag at mPos; an opened element is
// pushed on mOpenElements. Returns whether the tag was an empty element.
bool WellFormedChecker::parseStartTag()
{
    const char *start = mPos;
    ++mPos;
    const std::string_view name = parseName();
    mAttributeNames.clear();
    if (!mManyAttributes.empty())
        mManyAttributes.clear();
    for (;;) {
        const bool spaced = skipSpace();
        if (mPos == mEnd)
            fail("Start tag " + quoted(name) + " is not terminated.", start);
        const char c = *mPos;
        if (c == '>') {
            ++mPos;
            mOpenElements.push_back(name);
            return false;
        }
        if (c == '/') {
            if (mPos + 1 < mEnd && mPos[1] == '>') {
                mPos += 2;
                return true;
            }
            fail("Expected '>' after '/' in tag " + quoted(name) + ".", mPos + 1);
        }
        if (!isNameStartAt(mPos))
            fail("Unexpected character " + describeCharacterAt(mPos) + " in start tag " + quoted(name) + ".", mPos);
        if (!spaced)
            fail("Whitespace is required between attributes.", mPos);

        const char *attributeAt = mPos;
        const std::string_view attribute = parseName();
        noteAttribute(attribute, attributeAt);
        skipSpace();
        if (mPos == mEnd || *mPos != '=')
            fail("Missing '=' after attribute " + quoted(attribute) + ".", mPos);
        ++mPos;
        skipSpace();
        if (mPos == mEnd || (*mPos != '"' && *mPos != '\''))
            fail("The value of attribute " + quoted(attribute) + " must be in quotes.", mPos);
        parseAttributeValue(attribute);
    }
}

void WellFormedChecker::noteAttribute(std::string_view name, const char *at)
{
    if (mAttributeNames.size() < kLinearAttributeLimit) {
        if (std::find(mAttributeNames.begin(), mAttributeNames.end(), name) != mAttributeNames.end())
            fail("Duplicate attribute " + quoted(name) + ".", at);
        mAttributeNames.push_back(name);
        return;
    }
    if (mManyAttributes.empty())
        mManyAttributes.insert(mAttributeNames.begin(), mAttributeNames.end());
    if (!mManyAttributes.insert(name).second)
        fail("Duplicate attribute " + quoted(name) + ".", at);
}

// Parses a quoted attribute value at mPos, in a tag or as a default in an
// attribute list declaration.
void WellFormedChecker::parseAttributeValue(std::string_view name)
{
    const char *open = mPos;
    const char quote = *mPos;
    const char *p = mPos + 1;
    for (;;) {
        while (p < mEnd && !(kStop[byteAt(p)] & kStopAttribute))
            ++p;
        if (p == mEnd)
            fail("The value of attribute " + quoted(name) + " is not terminated.", open);
        const char c = *p;
        if (c == quote)
            break;
        if (c == '"' || c == '\'') {
            ++p;
        } else if (c == '<') {
            fail("Character '<' is not allowed in the value of attribute " + quoted(name) + ".", p);
        } else if (c == '&') {
            mPos = p;
            parseReference(ReferenceContext::Markup);
            p = mPos;
        } else {
            p = stepCharacter(p);
        }
    }
    mPos = p + 1;
}

void WellFormedChecker::parseEndTag()
{
    const char *start = mPos;
    mPos += 2;
    const std::string_view name = parseName();
    const std::string_view open = mOpenElements.back();
    if (name != open)
        fail("End tag " + quoted(name) + " does not match the start tag " + quoted(open) + ".", start);
    skipSpace();
    if (mPos == mEnd)
        fail("End tag " + quoted(name) + " is not terminated.", start);
    if (*mPos != '>')
        fail("Unexpected character " + describeCharacterAt(mPos) + " in end tag " + quoted(name) + ".", mPos);
    ++mPos;
    mOpenElements.pop_back();
}

void WellFormedChecker::parseDoctype()
{
    static constexpr const char *kMalformed = "Malformed document type declaration.";
    const char *start = mPos;
    mPos += 9;
    if (mPos == mEnd)
        fail("Unterminated document type declaration.", start);
    requireSpace(kMalformed);
    parseName();
    const bool spaced = skipSpace();
    if (spaced && mPos < mEnd && (*mPos == 'S' || *mPos == 'P')) {
        parseExternalId(false, kMalformed);
        skipSpace();
    }
    if (mPos < mEnd && *mPos == '[') {
        ++mPos;
        parseInternalSubset(start);
        skipSpace();
    }
    if (mPos == mEnd)
        fail("Unterminated document type declaration.", start);
    expect('>', kMalformed);
}

// SYSTEM literal or PUBLIC literal literal; with `publicIdAlone` (notation
// declarations) the system literal after PUBLIC may be left out.
void WellFormedChecker::parseExternalId(bool publicIdAlone, const char *reason)
{
    const std::string_view keyword = parseKeyword(reason);
    if (keyword == "SYSTEM") {
        requireSpace(reason);
        parseSystemLiteral(reason);
    } else if (keyword == "PUBLIC") {
        requireSpace(reason);
        parsePubidLiteral(reason);
        const bool spaced = skipSpace();
        const bool literalFollows = mPos < mEnd && (*mPos == '"' || *mPos == '\'');
        if (publicIdAlone && !literalFollows)
            return;
        if (!spaced)
            fail(reason, mPos);
        parseSystemLiteral(reason);
    } else {
        fail(reason, mPos - keyword.size());
    }
}

void WellFormedChecker::parseSystemLiteral(const char *reason)
{
    if (mPos == mEnd || (*mPos != '"' && *mPos != '\''))
        fail(reason, mPos);
    const char *open = mPos;
    const char quote = *mPos;
    const char *p = mPos + 1;
    for (;;) {
        while (p < mEnd && !(kStop[byteAt(p)] & kStopLiteral))
            ++p;
        if (p == mEnd)
            fail("Unterminated literal in the document type definition.", open);
        if (*p == quote)
            break;
        p = (*p == '"' || *p == '\'') ? p + 1 : stepCharacter(p);
    }
    mPos = p + 1;
}

void WellFormedChecker::parsePubidLiteral(const char *reason)
{
    if (mPos == mEnd || (*mPos != '"' && *mPos != '\''))
        fail(reason, mPos);
    const char *open = mPos;
    const char quote = *mPos++;
    while (mPos < mEnd && *mPos != quote) {
        if (!isPubidChar(*mPos))
            fail("Character " + describeCharacterAt(mPos) + " is not allowed in a public identifier.", mPos);
        ++mPos;
    }
    if (mPos == mEnd)
        fail("Unterminated literal in the document type definition.", open);
    ++mPos;
}

void WellFormedChecker::parseInternalSubset(const char *doctypeStart)
{
    for (;;) {
        skipSpace();
        if (mPos == mEnd)
            fail("Unterminated document type declaration.", doctypeStart);
        if (*mPos == ']') {
            ++mPos;
            return;
        }
        if (*mPos == '%') {
            const char *start = mPos;
            ++mPos;
            const std::string_view name = parseName();
            if (mPos == mEnd || *mPos != ';')
                fail("Parameter entity reference '" + std::string(name) + "' is not terminated by ';'.", start);
            ++mPos;
        } else if (startsWith(mPos, "<!--")) {
            parseComment();
        } else if (startsWith(mPos, "<?")) {
            parseProcessingInstruction();
        } else if (startsWith(mPos, "<!ENTITY")) {
            parseEntityDeclaration();
        } else if (startsWith(mPos, "<!ELEMENT")) {
            parseElementDeclaration();
        } else if (startsWith(mPos, "<!ATTLIST")) {
            parseAttlistDeclaration();
        } else if (startsWith(mPos, "<!NOTATION")) {
            parseNotationDeclaration();
        } else {
            fail("Invalid markup in the document type definition.", mPos);
        }
    }
}

void WellFormedChecker::parseEntityDeclaration()
{
    static constexpr const char *kMalformed = "Malformed entity declaration.";
    mPos += 8;
    requireSpace(kMalformed);
    bool parameter = false;
    if (mPos < mEnd && *mPos == '%') {
        parameter = true;
        ++mPos;
        requireSpace(kMalformed);
    }
    const std::string_view name = parseName();
    requireSpace(kMalformed);
    if (mPos < mEnd && (*mPos == '"' || *mPos == '\'')) {
        parseEntityValue();
    } else {
        parseExternalId(false, kMalformed);
        if (!parameter) {
            const char *before = mPos;
            if (skipSpace() && startsWith(mPos, "NDATA")) {
                mPos += 5;
                requireSpace(kMalformed);
                parseName();
            } else {
                mPos = before;
            }
        }
    }
    skipSpace();
    expect('>', kMalformed);
    if (!parameter)
        mDeclaredEntities.insert(name);
}

void WellFormedChecker::parseEntityValue()
{
    const char *open = mPos;
    const char quote = *mPos;
    const char *p = mPos + 1;
    for (;;) {
        while (p < mEnd && !(kStop[byteAt(p)] & kStopEntityValue))
            ++p;
        if (p == mEnd)
            fail("Unterminated literal in the document type definition.", open);
        const char c = *p;
        if (c == quote)
            break;
        if (c == '"' || c == '\'') {
            ++p;
        } else if (c == '%') {
            fail("A parameter entity reference is not allowed inside a declaration in the internal subset.", p);
        } else if (c == '&') {
            mPos = p;
            parseReference(ReferenceContext::EntityValue);
            p = mPos;
        } else {
            p = stepCharacter(p);
        }
    }
    mPos = p + 1;
}

void WellFormedChecker::parseElementDeclaration()
{
    static constexpr const char *kMalformed = "Malformed element declaration.";
    mPos += 9;
    requireSpace(kMalformed);
    parseName();
    requireSpace(kMalformed);
    if (mPos < mEnd && *mPos == '(') {
        ++mPos;
        skipSpace();
        if (startsWith(mPos, "#PCDATA")) {
            mPos += 7;
            bool names = false;
            for (;;) {
                skipSpace();
                if (mPos < mEnd && *mPos == '|') {
                    ++mPos;
                    skipSpace();
                    parseName();
                    names = true;
                    continue;
                }
                expect(')', kMalformed);
                if (mPos < mEnd && *mPos == '*')
                    ++mPos;
                else if (names)
                    fail("A mixed content model with element names must end with ')*'.", mPos);
                break;
            }
        } else {
            parseChildrenModel();
        }
    } else {
        const std::string_view keyword = parseKeyword(kMalformed);
        if (keyword != "EMPTY" && keyword != "ANY")
            fail(kMalformed, mPos - keyword.size());
    }
    skipSpace();
    expect('>', kMalformed);
}

// An element content model, just after its opening '('. Nested groups are
// kept on a stack rather than by recursion, so that no declaration can
// exhaust the call stack.
void WellFormedChecker::parseChildrenModel()
{
    static constexpr const char *kMalformed = "Malformed element declaration.";
    const auto skipOccurrence = [this] {
        if (mPos < mEnd && (*mPos == '?' || *mPos == '*' || *mPos == '+'))
            ++mPos;
    };
    mModelGroups.assign(1, '\0');
    for (;;) {
        skipSpace();
        if (mPos < mEnd && *mPos == '(') {
            ++mPos;
            mModelGroups.push_back('\0');
            continue;
        }
        if (!isNameStartAt(mPos))
            fail(kMalformed, mPos);
        parseName();
        skipOccurrence();
        for (;;) {
            skipSpace();
            if (mPos == mEnd)
                fail(kMalformed, mPos);
            const char c = *mPos;
            if (c == ')') {
                ++mPos;
                skipOccurrence();
                mModelGroups.pop_back();
                if (mModelGroups.empty())
                    return;
                continue;
            }
            if (c != '|' && c != ',')
                fail(kMalformed, mPos);
            char &separator = mModelGroups.back();
            if (separator != '\0' && separator != c)
                fail("A content model group cannot mix '|' and ','.", mPos);
            separator = c;
            ++mPos;
            break;
        }
    }
}

void WellFormedChecker::parseAttlistDeclaration()
{
    static constexpr const char *kMalformed = "Malformed attribute list declaration.";
    mPos += 9;
    requireSpace(kMalformed);
    parseName();
    for (;;) {
        const bool spaced = skipSpace();
        if (mPos < mEnd && *mPos == '>') {
            ++mPos;
            return;
        }
        if (!spaced)
            fail(kMalformed, mPos);
        const std::string_view attribute = parseName();
        requireSpace(kMalformed);
        if (mPos < mEnd && *mPos == '(') {
            parseEnumeration(false, kMalformed);
        } else {
            const std::string_view type = parseKeyword(kMalformed);
            if (type == "NOTATION") {
                requireSpace(kMalformed);
                parseEnumeration(true, kMalformed);
            } else if (type != "CDATA" && type != "ID" && type != "IDREF" && type != "IDREFS" && type != "ENTITY"
                       && type != "ENTITIES" && type != "NMTOKEN" && type != "NMTOKENS") {
                fail(kMalformed, mPos - type.size());
            }
        }
        requireSpace(kMalformed);
        if (mPos < mEnd && *mPos == '#') {
            const std::string_view keyword = parseKeyword(kMalformed);
            if (keyword == "#FIXED")
                requireSpace(kMalformed);
            else if (keyword == "#REQUIRED" || keyword == "#IMPLIED")
                continue;
            else
                fail(kMalformed, mPos - keyword.size());
        }
        if (mPos == mEnd || (*mPos != '"' && *mPos != '\''))
            fail(kMalformed, mPos);
        parseAttributeValue(attribute);
    }
}

// '(' a | b ')' of names (notation types) or name tokens (enumerations).
void WellFormedChecker::parseEnumeration(bool names, const char *reason)
{
    expect('(', reason);
    for (;;) {
        skipSpace();
        if (names)
            parseName();
        else
            parseNmtoken();
        skipSpace();
        if (mPos < mEnd && *mPos == ')') {
            ++mPos;
            return;
        }
        expect('|', reason);
    }
}

void WellFormedChecker::parseNotationDeclaration()
{
    static constexpr const char *kMalformed = "Malformed notation declaration.";
    mPos += 10;
    requireSpace(kMalformed);
    parseName();
    requireSpace(kMalformed);
    parseExternalId(true, kMalformed);
    skipSpace();
    expect('>', kMalformed);
}

} // namespace

void checkWellFormed(std::string_view utf8)
{
    WellFormedChecker(utf8).run();
}

} // namespace voriraz
