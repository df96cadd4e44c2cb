#include "presets/PresetDocument.h"

#include "catalogs/FileErrors.h"
#include "presets/AtomicFile.h"
#include "presets/XmlCheck.h"
#include "presets/XmlParseError.h"
#include "text/Utf8.h"


namespace voriraz {

namespace {

// How pugixml builds the tree: every kind of node kept, references replaced,
// line ends normalised; whitespace-only text between elements is dropped
// (pugi::parse_ws_pcdata would keep it).
constexpr unsigned treeOptions = pugi::parse_declaration | pugi::parse_doctype | pugi::parse_pi
    | pugi::parse_comments | pugi::parse_cdata | pugi::parse_escapes | pugi::parse_eol
    | pugi::parse_wconv_attribute;

constexpr const char *lineBreak = "\r\n";
constexpr const char *indentUnit = "    ";

bool isText(pugi::xml_node node)
{
    return node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata;
}

// The element's only child when that is a text or CDATA node.
pugi::xml_node singleTextChild(pugi::xml_node element)
{
    pugi::xml_node first = element.first_child();
    if (!isText(first) || first.next_sibling())
        throw DocumentError("Element does not contain a single text node");
    return first;
}

// Depth below the document element (which has depth 0); -1 for the
// document node itself.
int depthOf(pugi::xml_node node)
{
    int depth = -1;
    for (pugi::xml_node n = node; n && n.type() != pugi::node_document; n = n.parent())
        ++depth;
    return depth;
}

std::string indentation(int units)
{
    std::string text(lineBreak);
    for (int i = 0; i < units; ++i)
        text += indentUnit;
    return text;
}

// Text and attribute values in markup. A character the file's encoding
// cannot hold is written as a character reference, which every encoding can.
void appendEscaped(std::string &out, const char *text, bool attribute, XmlEncoding encoding)
{
    const char *end = text + std::char_traits<char>::length(text);
    for (const char *c = text; c < end; ++c) {
        switch (*c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += attribute ? ">" : "&gt;"; break;
        case '"': out += attribute ? "&quot;" : "\""; break;
        // A raw CR would come back as LF at the next load, and raw tabs and
        // line breaks in an attribute would come back as blanks.
        case '\r': out += "&#13;"; break;
        case '\n': out += attribute ? "&#10;" : "\n"; break;
        case '\t': out += attribute ? "&#9;" : "\t"; break;
        default:
            if (static_cast<unsigned char>(*c) < 0x80) {
                out += *c;
                break;
            }
            char32_t codePoint = 0;
            const std::size_t length = decodeUtf8Char(c, end, codePoint);
            if (length == 0) {
                out += *c; // left for the encoder to refuse
                break;
            }
            if (canEncode(codePoint, encoding))
                out.append(c, length);
            else
                out += "&#" + std::to_string(static_cast<unsigned long>(codePoint)) + ";";
            c += length - 1;
        }
    }
}

void appendAttributes(std::string &out, pugi::xml_node node, XmlEncoding encoding)
{
    for (pugi::xml_attribute attribute = node.first_attribute(); attribute; attribute = attribute.next_attribute()) {
        out += ' ';
        out += attribute.name();
        out += "=\"";
        appendEscaped(out, attribute.value(), true, encoding);
        out += '"';
    }
}

} // namespace

// Writes the tree without adding any whitespace: the only line breaks inside
// the document element are those of the text nodes themselves.
void PresetDocument::writeNode(std::string &out, Node node) const
{
    switch (node.type()) {
    case pugi::node_element:
        out += '<';
        out += node.name();
        appendAttributes(out, node, mEncoding);
        if (!node.first_child()) {
            out += "/>";
            break;
        }
        out += '>';
        for (Node child = node.first_child(); child; child = child.next_sibling())
            writeNode(out, child);
        out += "</";
        out += node.name();
        out += '>';
        break;
    case pugi::node_pcdata:
        // Formatting text is the one place where line breaks are written as
        // CR LF themselves.
        if (mFormattingText.count(node.internal_object()))
            out += node.value();
        else
            appendEscaped(out, node.value(), false, mEncoding);
        break;
    case pugi::node_cdata: {
        // A section cannot hold its own end marker; split it across two.
        std::string_view text = node.value();
        out += "<![CDATA[";
        for (std::size_t end; (end = text.find("]]>")) != std::string_view::npos; text.remove_prefix(end + 2)) {
            out += text.substr(0, end + 2);
            out += "]]><![CDATA[";
        }
        out += text;
        out += "]]>";
        break;
    }
    case pugi::node_comment:
        out += "<!--";
        out += node.value();
        out += "-->";
        break;
    case pugi::node_pi:
        out += "<?";
        out += node.name();
        if (*node.value()) {
            out += ' ';
            out += node.value();
        }
        out += "?>";
        break;
    case pugi::node_declaration:
        out += "<?";
        out += node.name();
        appendAttributes(out, node, mEncoding);
        out += "?>";
        break;
    case pugi::node_doctype:
        out += "<!DOCTYPE ";
        out += node.value();
        out += '>';
        break;
    default:
        break;
    }
}

PresetDocument::PresetDocument(Formatting formatting)
    : mFormatting(formatting)
{
}

void PresetDocument::LoadDocument(const std::string &path)
{
    if (path.empty() && mFileName.empty())
        throw DocumentError("FileName cannot be blank");
    if (!path.empty())
        mFileName = path;

    std::string bytes;
    try {
        bytes = ReadDocumentFile(mFileName);
    } catch (...) {
        clear();
        throw;
    }
    LoadFromBytes(bytes);
}

std::string PresetDocument::ReadDocumentFile(const std::string &path)
{
    try {
        return readWholeFile(path);
    } catch (const FileOpenError &e) {
        throw XmlParseError(std::string(e.what()) + ".", 0, std::string());
    }
}

void PresetDocument::clear()
{
    mDocument.reset();
    mActive = false;
    mSourceText.clear();
    mSourceRootOffset = 0;
    mCursorParent = Node();
    mFormattingText.clear();
}

// Decoding, the well-formedness check and building the tree are separate
// steps: the check sees the whole text before pugixml, which accepts many
// broken documents, turns it into a tree.
void PresetDocument::LoadFromBytes(std::string_view bytes)
{
    clear();

    XmlSourceText source = decodeXmlSource(bytes);
    checkWellFormed(source.utf8, maxElementDepth);
    const pugi::xml_parse_result result = mDocument.load_buffer(source.utf8.data(), source.utf8.size(),
                                                                treeOptions, pugi::encoding_utf8);
    if (!result) {
        mDocument.reset();
        throw parseErrorAt(source.utf8, static_cast<std::size_t>(result.offset), std::string(result.description()) + ".");
    }
    mEncoding = source.encoding;
    mByteOrderMark = source.byteOrderMark;
    // The document element's name follows its "<".
    mSourceRootOffset = static_cast<std::size_t>(std::max<std::ptrdiff_t>(mDocument.document_element().offset_debug(), 1)) - 1;
    mSourceText = std::move(source.utf8);
    mActive = true;
}

PresetDocument::Node PresetDocument::DocumentElement() const
{
    if (!mActive)
        throw DocumentError("No active document");
    return mDocument.document_element();
}

PresetDocument::Node PresetDocument::AppendChild(Node element, std::string_view name)
{
    mCursorParent = Node();
    const int depth = depthOf(element);
    const bool format = mFormatting == Formatting::AutoIndent && element.type() == pugi::node_element && depth >= 0;
    auto appendFormatting = [&](const std::string &text) {
        Node formatting = element.append_child(pugi::node_pcdata);
        formatting.set_value(text.c_str());
        mFormattingText.insert(formatting.internal_object());
    };
    if (format) {
        if (!element.first_child())
            appendFormatting(indentation(depth));
        appendFormatting(indentUnit);
    }
    Node child = element.append_child(std::string(name).c_str());
    if (format)
        appendFormatting(indentation(depth));
    return child;
}

PresetDocument::Node PresetDocument::FindOrCreateChild(Node element, std::string_view name)
{
    for (Node child = element.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element && name == child.name())
            return child;
    }
    return AppendChild(element, name);
}

XmlValue PresetDocument::FindChildValue(Node element, std::string_view name)
{
    for (Node child = element.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element && name == child.name())
            return NodeValue(child);
    }
    return std::nullopt;
}

std::size_t PresetDocument::ChildCount(Node node) const
{
    std::size_t count = 0;
    for (Node child = node.first_child(); child; child = child.next_sibling())
        ++count;
    return count;
}

PresetDocument::Node PresetDocument::ChildAt(Node node, std::size_t position) const
{
    Node child;
    std::size_t at = 0;
    if (mCursorParent == node && mCursorNode && mCursorPosition <= position) {
        child = mCursorNode;
        at = mCursorPosition;
    } else {
        child = node.first_child();
    }
    for (; child && at < position; ++at)
        child = child.next_sibling();
    mCursorParent = node;
    mCursorNode = child;
    mCursorPosition = at;
    return child;
}

XmlValue PresetDocument::NodeValue(Node node)
{
    std::string text;
    if (node.type() == pugi::node_element) {
        if (!node.first_child()) {
            mCursorParent = Node();
            node.append_child(pugi::node_pcdata);
        }
        text = singleTextChild(node).value();
    } else {
        text = node.value();
    }
    if (text.empty())
        return std::nullopt;
    return text;
}

void PresetDocument::SetNodeValue(Node node, std::string_view text)
{
    const std::string value(text);
    if (node.type() != pugi::node_element) {
        node.set_value(value.c_str());
        return;
    }
    if (!node.first_child()) {
        mCursorParent = Node();
        node.append_child(pugi::node_pcdata).set_value(value.c_str());
        return;
    }
    singleTextChild(node).set_value(value.c_str());
}

void PresetDocument::SetNodeValue(Node node, bool value)
{
    SetNodeValue(node, std::string_view(booleanText(value)));
}

void PresetDocument::SetNodeValue(Node node, int value)
{
    SetNodeValue(node, std::string_view(std::to_string(value)));
}

void PresetDocument::RemoveChildNamed(Node element, std::string_view name)
{
    for (Node child = element.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element && name == child.name()) {
            mCursorParent = Node();
            forgetFormattingIn(child);
            element.remove_child(child);
            return;
        }
    }
}

void PresetDocument::RemoveItems(Node element, std::string_view name)
{
    mCursorParent = Node();
    for (Node child = element.first_child(); child;) {
        const Node next = child.next_sibling();
        const bool item = child.type() == pugi::node_element && name == child.name();
        if (item || mFormattingText.count(child.internal_object())) {
            forgetFormattingIn(child);
            element.remove_child(child);
        }
        child = next;
    }
}

void PresetDocument::RemoveChildren(Node element, bool elementsOnly)
{
    mCursorParent = Node();
    for (Node child = element.first_child(); child;) {
        const Node next = child.next_sibling();
        if (!elementsOnly || child.type() == pugi::node_element || mFormattingText.count(child.internal_object())) {
            forgetFormattingIn(child);
            element.remove_child(child);
        }
        child = next;
    }
}

void PresetDocument::forgetFormattingIn(Node node)
{
    mFormattingText.erase(node.internal_object());
    for (Node child = node.first_child(); child; child = child.next_sibling())
        forgetFormattingIn(child);
}

std::string PresetDocument::saveToText(std::size_t *rootOffset) const
{
    if (!mActive)
        throw DocumentError("No active document");
    // Each node outside the document element goes on a line of its own;
    // inside it the tree is written exactly as it stands.
    std::string text;
    for (Node child = mDocument.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element && rootOffset)
            *rootOffset = text.size();
        writeNode(text, child);
        text += lineBreak;
    }
    return text;
}

std::string PresetDocument::SaveToBytes() const
{
    return EncodedText(saveToText(nullptr));
}

void PresetDocument::SaveDocument(const std::string &path)
{
    std::size_t rootOffset = 0;
    std::string text = saveToText(&rootOffset);
    writeFileAtomically(path.empty() ? mFileName : path, EncodedText(text));
    mSourceText = std::move(text);
    mSourceRootOffset = rootOffset;
}

std::size_t PresetDocument::SourceLine(Node node) const
{
    const std::ptrdiff_t offset = node.offset_debug();
    return offset < 0 ? 0 : lineNumberAt(mSourceText, static_cast<std::size_t>(offset));
}

std::string PresetDocument::EscapedText(std::string_view text) const
{
    std::string out;
    appendEscaped(out, std::string(text).c_str(), false, mEncoding);
    return out;
}

std::string PresetDocument::EncodedText(std::string_view utf8) const
{
    return encodeXmlSource(utf8, mEncoding, mByteOrderMark);
}

} // namespace voriraz
