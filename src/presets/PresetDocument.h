#pragma once

#include "presets/Conversions.h"
#include "presets/XmlEncoding.h"

#include <pugixml.hpp>

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_set>

namespace voriraz {

// An operation that the document cannot perform: "No active document",
// "FileName cannot be blank", "Element does not contain a single text node".
class DocumentError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The deepest nesting of elements a document may have: the document element
// is at depth 1. Presets nest a handful of levels; the limit keeps every walk
// of the tree, recursive ones included, far from the end of the stack.
inline constexpr std::size_t maxElementDepth = 1000;

// One XML document held in memory for reading and editing in place.
//
// Everything of a loaded file survives a save except whitespace-only text
// between elements, which parsing drops: the declaration, comments,
// processing instructions, a DOCTYPE, CDATA sections and every attribute stay
// where they were, and the file is written back in its own encoding. Only
// well-formed XML loads; entities are never expanded from a DTD and nothing
// external is read.
//
// With automatic indentation on (the document the user edits), every element
// that an operation adds gets formatting text around it: a new element of a
// parent at depth p starts on its own line indented by p + 1 units of four
// spaces, and the parent's closing tag follows on a line indented by p
// units, lines ending in CR LF. Without it (scratch documents that are only
// read), nothing is added but the element itself.
class PresetDocument
{
public:
    using Node = pugi::xml_node;

    enum class Formatting { AutoIndent, None };

    explicit PresetDocument(Formatting formatting = Formatting::AutoIndent);

    // Parses the file at path and replaces the whole tree by it. An empty
    // path loads the path of the previous load again. Throws DocumentError
    // "FileName cannot be blank" when the path is empty and nothing was
    // loaded before, and XmlParseError (reason, line, source text) when the
    // file cannot be read, is not well-formed (XmlFaultError) or nests
    // elements deeper than maxElementDepth; the document is then empty.
    void LoadDocument(const std::string &path);

    // The document element. Throws DocumentError "No active document" when
    // no document is loaded.
    Node DocumentElement() const;

    // The first child element named name (case-sensitive); when there is
    // none, a new empty one is appended, formatted, and returned.
    Node FindOrCreateChild(Node element, std::string_view name);

    // NodeValue of the first child element named name; absent when there is
    // none. Creates no element.
    XmlValue FindChildValue(Node element, std::string_view name);

    // The number of child nodes of every kind, and the child at a position
    // counted from 0 in document order (a null node past the end).
    std::size_t ChildCount(Node node) const;
    Node ChildAt(Node node, std::size_t position) const;

    // The text of an element: an element without any child first gets an
    // empty text node; an empty text reads as absent. Throws DocumentError
    // "Element does not contain a single text node" when the element holds
    // anything but one text or CDATA node. For other nodes, their own value.
    XmlValue NodeValue(Node node);

    // Replaces the text of an element (a text node is created in an empty
    // element; the same error as NodeValue otherwise), or the value of
    // another node. Never adds formatting. A Boolean is written as "true" or
    // "false", an integer as its decimal digits.
    void SetNodeValue(Node node, std::string_view text);
    void SetNodeValue(Node node, bool value);
    void SetNodeValue(Node node, int value);
    void SetNodeValue(Node node, const char *text) { SetNodeValue(node, std::string_view(text)); }

    // SetNodeValue on FindOrCreateChild(element, name).
    template<typename T>
    void SetChildValue(Node element, std::string_view name, T value)
    {
        SetNodeValue(FindOrCreateChild(element, name), value);
    }

    // Appends a new empty element named name as the last child, formatted.
    Node AppendChild(Node element, std::string_view name);

    // Removes the first child element named name, if any; the text nodes
    // around it stay.
    void RemoveChildNamed(Node element, std::string_view name);

    // Removes every child element named name, and with them the formatting
    // text this document added among the element's children, so items
    // appended afterwards are laid out exactly as in a list that never had
    // any. Other children stay.
    void RemoveItems(Node element, std::string_view name);

    // Removes every child node, or with elementsOnly every child element and
    // the formatting text this document added, whatever their names: what
    // a load reads as a list's items, whatever their kind, goes before the
    // list is written anew.
    void RemoveChildren(Node element, bool elementsOnly = false);

    // Writes the whole tree to path (the path of the last load when empty),
    // replacing the file atomically. Throws DocumentError "No active
    // document", FileWriteError, or std::runtime_error when a character
    // cannot be written in the file's encoding. The text written becomes
    // the document's source text.
    void SaveDocument(const std::string &path);

    // The serialised document as it would be written, in its encoding.
    std::string SaveToBytes() const;

    // The text of the file this document was last loaded from or saved to,
    // decoded to UTF-8 (what SaveToBytes encodes, for a save), and the
    // offset of the document element's "<" in it.
    const std::string &SourceText() const { return mSourceText; }
    // The 1-based line of the source text where a node of the tree as
    // parsed begins (a node added since has none: 0).
    std::size_t SourceLine(Node node) const;
    std::size_t SourceRootOffset() const { return mSourceRootOffset; }

    // Text as a text node of this document is written: markup characters
    // escaped, characters the file's encoding lacks as character references.
    std::string EscapedText(std::string_view text) const;
    // UTF-8 text encoded as this document's file is (its encoding and
    // byte order mark).
    std::string EncodedText(std::string_view utf8) const;

    bool IsActive() const { return mActive; }
    const std::string &FileName() const { return mFileName; }
    // The file a load or save with an empty path uses from now on.
    void SetFileName(std::string path) { mFileName = std::move(path); }

    // Loads from bytes in memory, with the same rules and errors as
    // LoadDocument; the file name is left unchanged.
    void LoadFromBytes(std::string_view bytes);

    // The bytes of a document file, read as LoadDocument reads them: a file
    // that cannot be read is an XmlParseError at line 0.
    static std::string ReadDocumentFile(const std::string &path);

private:
    void clear();
    std::string saveToText(std::size_t *rootOffset) const;
    void writeNode(std::string &out, Node node) const;
    void forgetFormattingIn(Node node);

    pugi::xml_document mDocument;
    Formatting mFormatting;
    bool mActive = false;
    std::string mFileName;
    XmlEncoding mEncoding = XmlEncoding::Utf8;
    bool mByteOrderMark = false;
    std::string mSourceText;
    std::size_t mSourceRootOffset = 0;

    // The text nodes this document added as formatting; only they are
    // written with raw carriage returns.
    std::unordered_set<const void *> mFormattingText;

    // ChildAt is usually called with rising positions on one parent; the
    // last answer lets the next call step on instead of starting over.
    mutable Node mCursorParent;
    mutable Node mCursorNode;
    mutable std::size_t mCursorPosition = 0;
};

} // namespace voriraz
