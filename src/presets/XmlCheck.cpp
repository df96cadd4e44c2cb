#include "presets/XmlCheck.h"

#include "text/Utf8.h"

#include <expat.h>

#include <algorithm>
#include <climits>
#include <new>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace voriraz {

namespace {

// Expat's name of an error, with a capital and a full stop, for the errors
// that a decoded document can only meet in odd corners.
std::string expatReason(XML_Error code)
{
    std::string text = XML_ErrorString(code) ? XML_ErrorString(code) : "unknown error";
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z')
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text + ".";
}

XmlFault faultOf(XML_Error code)
{
    switch (code) {
    case XML_ERROR_INVALID_TOKEN:
    case XML_ERROR_PARTIAL_CHAR:
        return XmlFault::InvalidCharacter;
    case XML_ERROR_SYNTAX:
        return XmlFault::Syntax;
    case XML_ERROR_UNCLOSED_TOKEN:
    case XML_ERROR_UNCLOSED_CDATA_SECTION:
        return XmlFault::Unterminated;
    case XML_ERROR_NO_ELEMENTS:
        return XmlFault::NoDocumentElement;
    case XML_ERROR_TAG_MISMATCH:
        return XmlFault::MismatchedTag;
    case XML_ERROR_DUPLICATE_ATTRIBUTE:
        return XmlFault::DuplicateAttribute;
    case XML_ERROR_JUNK_AFTER_DOC_ELEMENT:
        return XmlFault::AfterDocumentElement;
    case XML_ERROR_UNDEFINED_ENTITY:
        return XmlFault::UndefinedEntity;
    // Entities declared in the document type definition that expat itself
    // refuses: external ones (the handler does not read them), unparsed
    // ones, and internal ones expanding far in an attribute value.
    case XML_ERROR_EXTERNAL_ENTITY_HANDLING:
    case XML_ERROR_ATTRIBUTE_EXTERNAL_ENTITY_REF:
    case XML_ERROR_BINARY_ENTITY_REF:
    case XML_ERROR_RECURSIVE_ENTITY_REF:
    case XML_ERROR_AMPLIFICATION_LIMIT_BREACH:
        return XmlFault::DtdEntity;
    case XML_ERROR_BAD_CHAR_REF:
        return XmlFault::InvalidCharacterReference;
    case XML_ERROR_MISPLACED_XML_PI:
        return XmlFault::MisplacedXmlDeclaration;
    case XML_ERROR_XML_DECL:
        return XmlFault::MalformedXmlDeclaration;
    case XML_ERROR_PUBLICID:
        return XmlFault::PublicIdentifier;
    case XML_ERROR_PARAM_ENTITY_REF:
        return XmlFault::ParameterEntityReference;
    default:
        return XmlFault::Other;
    }
}

// The name that starts at `offset`: expat has checked it, so it ends at the
// first character that no name holds.
std::string nameAt(std::string_view text, std::size_t offset)
{
    const std::string_view rest = text.substr(std::min(offset, text.size()));
    return std::string(rest.substr(0, rest.find_first_of(" \t\r\n/>=;&<'\"[%")));
}

bool isXmlCharacter(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
           || c >= 0x10000;
}

bool isPredefinedEntity(std::string_view name)
{
    return name == "lt" || name == "gt" || name == "amp" || name == "apos" || name == "quot";
}

// The first reference at or after `from` to an entity other than the five
// predefined ones; npos when there is none.
std::size_t firstEntityReference(std::string_view text, std::size_t from)
{
    for (std::size_t at = text.find('&', from); at != std::string_view::npos; at = text.find('&', at + 1)) {
        if (at + 1 < text.size() && text[at + 1] == '#')
            continue;
        if (!isPredefinedEntity(nameAt(text, at + 1)))
            return at;
    }
    return std::string_view::npos;
}

class ExpatCheck
{
public:
    ExpatCheck(std::string_view text, std::size_t maxDepth)
        : mText(text)
        , mMaxDepth(maxDepth)
        , mParser(XML_ParserCreate("UTF-8"))
    {
        if (!mParser)
            throw std::bad_alloc();
        XML_SetUserData(mParser, this);
        XML_SetElementHandler(mParser, onStart, onEnd);
        XML_SetStartDoctypeDeclHandler(mParser, onDoctype);
        XML_SetEntityDeclHandler(mParser, onEntityDeclaration);
        XML_SetAttlistDeclHandler(mParser, onAttributeDeclaration);
        // A default handler, even none, keeps expat from expanding internal
        // entities in content: it reports each reference as skipped instead.
        XML_SetDefaultHandler(mParser, nullptr);
        XML_SetSkippedEntityHandler(mParser, onSkippedEntity);
        XML_SetExternalEntityRefHandler(mParser, refuseExternalEntity);
    }
    ~ExpatCheck() { XML_ParserFree(mParser); }
    ExpatCheck(const ExpatCheck &) = delete;
    ExpatCheck &operator=(const ExpatCheck &) = delete;

    void run();

private:
    struct Finding {
        XmlFault fault;
        std::size_t offset;
        std::string reason;
    };

    static ExpatCheck &self(void *userData) { return *static_cast<ExpatCheck *>(userData); }
    static void XMLCALL onStart(void *userData, const XML_Char *, const XML_Char **);
    static void XMLCALL onEnd(void *userData, const XML_Char *);
    static void XMLCALL onDoctype(void *userData, const XML_Char *, const XML_Char *, const XML_Char *, int);
    static void XMLCALL onEntityDeclaration(void *userData, const XML_Char *name, int isParameter, const XML_Char *,
                                            int, const XML_Char *, const XML_Char *, const XML_Char *, const XML_Char *);
    static void XMLCALL onAttributeDeclaration(void *userData, const XML_Char *, const XML_Char *, const XML_Char *,
                                               const XML_Char *defaultValue, int);
    static void XMLCALL onSkippedEntity(void *userData, const XML_Char *, int isParameter);
    static int XMLCALL refuseExternalEntity(XML_Parser, const XML_Char *, const XML_Char *, const XML_Char *,
                                            const XML_Char *)
    {
        return XML_STATUS_ERROR;
    }

    std::size_t position() const
    {
        return static_cast<std::size_t>(std::max<XML_Index>(XML_GetCurrentByteIndex(mParser), 0));
    }
    void stop(XmlFault fault, std::size_t offset);
    void refuseEntityReferences(std::size_t from, std::size_t to);
    XmlFault entityFault(std::size_t reference) const;
    Finding findingOf(XML_Error code) const;
    std::string reasonFor(XmlFault fault, std::size_t offset) const;
    std::string unterminatedReason(std::size_t offset) const;

    std::string_view mText;
    std::size_t mMaxDepth;
    XML_Parser mParser;
    std::vector<std::size_t> mOpenTags; // where the start tags of the open elements are
    std::unordered_set<std::string> mDeclaredEntities;
    bool mHasDoctype = false;
    std::optional<Finding> mFinding;
};

void ExpatCheck::run()
{
    // Expat takes a BOM at the very start as one; the decoder has removed
    // the file's own, so another U+FEFF there is text before the element.
    if (mText.substr(0, 3) == "\xEF\xBB\xBF")
        throw XmlFaultError(XmlFault::InvalidCharacter,
                            parseErrorAt(mText, 0, reasonFor(XmlFault::InvalidCharacter, 0)));

    std::string_view rest = mText;
    XML_Status status = XML_STATUS_OK;
    while (status == XML_STATUS_OK) {
        const std::size_t chunk = std::min<std::size_t>(rest.size(), INT_MAX / 2);
        const bool last = chunk == rest.size();
        status = XML_Parse(mParser, rest.data(), static_cast<int>(chunk), last);
        rest.remove_prefix(chunk);
        if (last)
            break;
    }
    if (status == XML_STATUS_OK && !mFinding)
        return;
    const Finding finding = mFinding ? *mFinding : findingOf(XML_GetErrorCode(mParser));
    throw XmlFaultError(finding.fault, parseErrorAt(mText, finding.offset, finding.reason));
}

ExpatCheck::Finding ExpatCheck::findingOf(XML_Error code) const
{
    XmlFault fault = faultOf(code);
    std::size_t offset = position();
    if (fault == XmlFault::NoDocumentElement && !mOpenTags.empty()) {
        fault = XmlFault::UnclosedElement;
        offset = mOpenTags.back();
    }
    // A reference in an attribute value or default is reported at its tag
    // or literal; the first one there is where the reader should look.
    const bool entity = fault == XmlFault::UndefinedEntity || fault == XmlFault::DtdEntity;
    if (entity && offset < mText.size() && mText[offset] != '&') {
        if (const std::size_t at = firstEntityReference(mText, offset); at != std::string_view::npos) {
            offset = at;
            fault = entityFault(at);
        }
    }
    std::string reason = fault == XmlFault::Other ? expatReason(code) : reasonFor(fault, offset);
    return Finding{fault, offset, std::move(reason)};
}

std::string ExpatCheck::reasonFor(XmlFault fault, std::size_t offset) const
{
    const auto quoted = [](const std::string &name) { return "'" + name + "'"; };
    switch (fault) {
    case XmlFault::InvalidCharacter: {
        char32_t c = 0;
        if (offset < mText.size() && decodeUtf8Char(mText.data() + offset, mText.data() + mText.size(), c) != 0
            && !isXmlCharacter(c))
            return "Invalid character " + codePointName(c) + " in the document.";
        return "Not well-formed: a character that XML does not allow here.";
    }
    case XmlFault::Syntax:
        return "Syntax error: text or markup that XML does not allow here.";
    case XmlFault::Unterminated:
        return unterminatedReason(offset);
    case XmlFault::NoDocumentElement:
        return "XML document must have a top level element.";
    case XmlFault::UnclosedElement:
        return "Start tag " + quoted(nameAt(mText, offset + 1)) + " has no matching end tag.";
    case XmlFault::MismatchedTag:
        return "End tag " + quoted(nameAt(mText, offset)) + " does not match the start tag "
               + quoted(nameAt(mText, mOpenTags.empty() ? offset : mOpenTags.back() + 1)) + ".";
    case XmlFault::DuplicateAttribute:
        return "Duplicate attribute " + quoted(nameAt(mText, offset)) + ".";
    case XmlFault::AfterDocumentElement:
        return "Only comments, processing instructions and whitespace may follow the top level element.";
    case XmlFault::UndefinedEntity:
        return "Reference to undefined entity " + quoted(nameAt(mText, offset + 1)) + ".";
    case XmlFault::DtdEntity: {
        // Expat may stop an expansion that went too far away from its reference.
        const bool atReference = offset < mText.size() && mText[offset] == '&';
        return (atReference ? "Reference to entity " + quoted(nameAt(mText, offset + 1)) + ","
                            : std::string("Reference to an entity"))
               + " declared in the document type definition, which this editor does not expand.";
    }
    case XmlFault::InvalidCharacterReference: {
        const std::string_view reference = mText.substr(offset, mText.find(';', offset) + 1 - offset);
        return "Character reference '" + std::string(reference) + "' is not a valid XML character.";
    }
    case XmlFault::MisplacedXmlDeclaration:
        return "The XML declaration is only allowed at the very beginning of the document.";
    case XmlFault::MalformedXmlDeclaration:
        return "Malformed XML declaration.";
    case XmlFault::PublicIdentifier:
        return "A character that a public identifier cannot hold.";
    case XmlFault::ParameterEntityReference:
        return "A parameter entity reference is not allowed here.";
    case XmlFault::TooDeep:
        return "Element " + quoted(nameAt(mText, offset + 1)) + " is nested more than " + std::to_string(mMaxDepth)
               + " levels deep.";
    case XmlFault::Other:
        break;
    }
    return "The document is not well-formed XML.";
}

// Expat reports a tag, comment or other markup that the end cuts off at
// its start.
std::string ExpatCheck::unterminatedReason(std::size_t offset) const
{
    const std::string_view markup = mText.substr(std::min(offset, mText.size()));
    const auto startsWith = [&](std::string_view prefix) { return markup.substr(0, prefix.size()) == prefix; };
    if (startsWith("<!--"))
        return "Unterminated comment.";
    if (startsWith("<![CDATA["))
        return "Unterminated CDATA section.";
    if (startsWith("<?"))
        return "Unterminated processing instruction or XML declaration.";
    if (startsWith("<!"))
        return "Unterminated declaration.";
    if (startsWith("</"))
        return "End tag '" + nameAt(mText, offset + 2) + "' is not terminated.";
    if (startsWith("<"))
        return "Start tag '" + nameAt(mText, offset + 1) + "' is not terminated.";
    return "The document ends inside markup that is not closed.";
}

// The first finding is the one reported; expat may call a handler or two
// more before it stops.
void ExpatCheck::stop(XmlFault fault, std::size_t offset)
{
    if (mFinding)
        return;
    mFinding = Finding{fault, offset, reasonFor(fault, offset)};
    XML_StopParser(mParser, XML_FALSE);
}

// Expat expands references to internal entities in attribute values, and
// with a document type definition that refers to parameter entities it
// drops references to undefined ones; the raw markup still holds them.
void ExpatCheck::refuseEntityReferences(std::size_t from, std::size_t to)
{
    const std::size_t at = firstEntityReference(mText.substr(0, to), from);
    if (at != std::string_view::npos)
        stop(entityFault(at), at);
}

XmlFault ExpatCheck::entityFault(std::size_t reference) const
{
    return mDeclaredEntities.count(nameAt(mText, reference + 1)) ? XmlFault::DtdEntity : XmlFault::UndefinedEntity;
}

void XMLCALL ExpatCheck::onStart(void *userData, const XML_Char *, const XML_Char **)
{
    ExpatCheck &check = self(userData);
    const std::size_t at = check.position();
    check.mOpenTags.push_back(at);
    if (check.mOpenTags.size() > check.mMaxDepth)
        check.stop(XmlFault::TooDeep, at);
    else if (check.mHasDoctype)
        check.refuseEntityReferences(at, at + static_cast<std::size_t>(XML_GetCurrentByteCount(check.mParser)));
}

void XMLCALL ExpatCheck::onEnd(void *userData, const XML_Char *)
{
    ExpatCheck &check = self(userData);
    if (!check.mOpenTags.empty())
        check.mOpenTags.pop_back();
}

void XMLCALL ExpatCheck::onDoctype(void *userData, const XML_Char *, const XML_Char *, const XML_Char *, int)
{
    self(userData).mHasDoctype = true;
}

void XMLCALL ExpatCheck::onEntityDeclaration(void *userData, const XML_Char *name, int isParameter, const XML_Char *,
                                             int, const XML_Char *, const XML_Char *, const XML_Char *,
                                             const XML_Char *)
{
    if (!isParameter)
        self(userData).mDeclaredEntities.insert(name);
}

// Called at the default's literal, quote included.
void XMLCALL ExpatCheck::onAttributeDeclaration(void *userData, const XML_Char *, const XML_Char *, const XML_Char *,
                                                const XML_Char *defaultValue, int)
{
    ExpatCheck &check = self(userData);
    const std::size_t at = check.position();
    if (!defaultValue || at >= check.mText.size())
        return;
    const std::size_t close = check.mText.find(check.mText[at], at + 1);
    check.refuseEntityReferences(at, close == std::string_view::npos ? check.mText.size() : close);
}

void XMLCALL ExpatCheck::onSkippedEntity(void *userData, const XML_Char *, int isParameter)
{
    ExpatCheck &check = self(userData);
    const std::size_t at = check.position();
    if (!isParameter)
        check.stop(check.entityFault(at), at);
}

} // namespace

void checkWellFormed(std::string_view utf8, std::size_t maxDepth)
{
    ExpatCheck(utf8, maxDepth).run();
}

} // namespace voriraz
