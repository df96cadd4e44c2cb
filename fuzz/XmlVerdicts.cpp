// What the editor's load says of each of a stream of documents, for
// scripts/xml-crosscheck to hold against Python's expat.
//
// Standard input holds the documents one after another, each as its length
// (4 bytes, little-endian) and its bytes. For each, one line goes to
// standard output: "accepted", or "refused LINE CLASS REASON", where CLASS
// is the fault class of a document that is not well-formed, "decoding" for
// bytes the encoding code refused, or "tree" for text that passed the check
// but not pugixml.

#include "presets/PresetDocument.h"
#include "presets/XmlCheck.h"
#include "presets/XmlEncoding.h"

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>

namespace {

const char *className(voriraz::XmlFault fault)
{
    using voriraz::XmlFault;
    switch (fault) {
    case XmlFault::InvalidCharacter: return "InvalidCharacter";
    case XmlFault::Syntax: return "Syntax";
    case XmlFault::Unterminated: return "Unterminated";
    case XmlFault::NoDocumentElement: return "NoDocumentElement";
    case XmlFault::UnclosedElement: return "UnclosedElement";
    case XmlFault::MismatchedTag: return "MismatchedTag";
    case XmlFault::DuplicateAttribute: return "DuplicateAttribute";
    case XmlFault::AfterDocumentElement: return "AfterDocumentElement";
    case XmlFault::UndefinedEntity: return "UndefinedEntity";
    case XmlFault::DtdEntity: return "DtdEntity";
    case XmlFault::InvalidCharacterReference: return "InvalidCharacterReference";
    case XmlFault::MisplacedXmlDeclaration: return "MisplacedXmlDeclaration";
    case XmlFault::MalformedXmlDeclaration: return "MalformedXmlDeclaration";
    case XmlFault::PublicIdentifier: return "PublicIdentifier";
    case XmlFault::ParameterEntityReference: return "ParameterEntityReference";
    case XmlFault::TooDeep: return "TooDeep";
    case XmlFault::Other: return "Other";
    }
    return "Other";
}

void printRefusal(const voriraz::XmlParseError &error, const char *kind)
{
    std::cout << "refused " << error.line() << ' ' << kind << ' ' << error.reason() << '\n';
}

// The steps of PresetDocument::LoadFromBytes one by one, to tell which
// refused the document, then the load itself.
void judge(const std::string &bytes)
{
    voriraz::XmlSourceText source;
    try {
        source = voriraz::decodeXmlSource(bytes);
    } catch (const voriraz::XmlParseError &error) {
        printRefusal(error, "decoding");
        return;
    }
    try {
        voriraz::checkWellFormed(source.utf8, voriraz::maxElementDepth);
    } catch (const voriraz::XmlFaultError &error) {
        printRefusal(error, className(error.fault()));
        return;
    }
    try {
        voriraz::PresetDocument document;
        document.LoadFromBytes(bytes);
    } catch (const voriraz::XmlParseError &error) {
        printRefusal(error, "tree");
        return;
    }
    std::cout << "accepted\n";
}

} // namespace

int main()
{
    std::ios::sync_with_stdio(false);
    std::string bytes;
    for (;;) {
        unsigned char size[4];
        if (std::fread(size, 1, 4, stdin) != 4)
            break;
        bytes.resize(std::uint32_t(size[0]) | std::uint32_t(size[1]) << 8 | std::uint32_t(size[2]) << 16
                     | std::uint32_t(size[3]) << 24);
        if (std::fread(bytes.data(), 1, bytes.size(), stdin) != bytes.size()) {
            std::cerr << "xml_verdicts: the input ends inside a document\n";
            return 2;
        }
        judge(bytes);
    }
    std::cout.flush();
    return 0;
}
