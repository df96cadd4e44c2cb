#include "presets/XmlCheck.h"

#include "presets/PresetDocument.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using voriraz::checkWellFormed;
using voriraz::XmlFault;
using voriraz::XmlFaultError;
using voriraz::XmlParseError;

namespace {

constexpr std::size_t kDepth = voriraz::maxElementDepth;

struct BrokenDocument {
    const char *name;
    std::string text;
    XmlFault fault;
    std::size_t line;
};

class BrokenDocumentTest : public ::testing::TestWithParam<BrokenDocument>
{
};

TEST_P(BrokenDocumentTest, IsRefusedWithItsClassAndLine)
{
    const BrokenDocument &row = GetParam();
    try {
        checkWellFormed(row.text, kDepth);
        FAIL() << "accepted";
    } catch (const XmlFaultError &error) {
        EXPECT_EQ(static_cast<int>(error.fault()), static_cast<int>(row.fault)) << error.what();
        EXPECT_EQ(error.line(), row.line) << error.what();
    }
}

std::string manyAttributesThenRepeat()
{
    std::string text = "<a";
    for (int i = 0; i < 20; ++i)
        text += " n" + std::to_string(i) + "='v'";
    return text + "\n n7='again'/>";
}

const BrokenDocument kBroken[] = {
    // What the DOM parser itself lets through.
    {"TextAfterRoot", "<a/>\ntext", XmlFault::AfterDocumentElement, 2},
    {"TextBeforeRoot", "hello<a/>", XmlFault::InvalidCharacter, 1},
    {"SecondRoot", "<a/>\n<b/>", XmlFault::AfterDocumentElement, 2},
    {"UnknownEntity", "<a>\n&nbsp;</a>", XmlFault::UndefinedEntity, 2},
    {"UnknownEntityInAttribute", "<a x='&foo;'/>", XmlFault::UndefinedEntity, 1},
    {"UnknownEntityInAttributeOnALineOfItsOwn", "<a>\n<b x='1'\n y='&lt;&foo;'/></a>", XmlFault::UndefinedEntity, 3},
    {"LessThanInAttribute", "<a x='<'/>", XmlFault::InvalidCharacter, 1},
    {"DuplicateAttribute", "<a x='1'\n x='2'/>", XmlFault::DuplicateAttribute, 2},
    {"DuplicateAmongManyAttributes", manyAttributesThenRepeat(), XmlFault::DuplicateAttribute, 2},
    {"UnclosedElement", "<a>\n<b>\n</b>", XmlFault::UnclosedElement, 1},
    {"InnermostUnclosedElement", "<a>\n <b>\n  <c/>\n", XmlFault::UnclosedElement, 2},
    {"MismatchedEndTag", "<a>\n</b>", XmlFault::MismatchedTag, 2},
    {"StrayCdataEnd", "<a>x]]>y</a>", XmlFault::InvalidCharacter, 1},
    {"DoctypeAfterRoot", "<a/>\n<!DOCTYPE a>", XmlFault::AfterDocumentElement, 2},
    {"DeclarationAfterRoot", "<a/><?xml version='1.0'?>", XmlFault::AfterDocumentElement, 1},
    {"CdataOutsideRoot", "<![CDATA[x]]><a/>", XmlFault::Syntax, 1},
    {"SecondByteOrderMark", "\xEF\xBB\xBF<a/>", XmlFault::InvalidCharacter, 1},

    // Entities: none is expanded, nothing external is read.
    {"EntityFromInternalSubset", "<!DOCTYPE a [<!ENTITY x 'y'>]>\n<a>&x;</a>", XmlFault::DtdEntity, 2},
    {"EntityFromInternalSubsetInAttribute", "<!DOCTYPE a [<!ENTITY x 'y'>]>\n<a\n v='&x;'/>", XmlFault::DtdEntity, 3},
    {"DefaultUsesEntityFromSubset", "<!DOCTYPE a [<!ENTITY x 'y'>\n<!ATTLIST a v CDATA '&x;'>]><a/>",
     XmlFault::DtdEntity, 2},
    {"ExternalEntity", "<!DOCTYPE a [<!ENTITY e SYSTEM 'e.txt'>]>\n<a>\n&e;</a>", XmlFault::DtdEntity, 3},
    {"ExternalEntityInAttribute", "<!DOCTYPE a [<!ENTITY e SYSTEM 'e.txt'>]>\n<a v='&e;'/>", XmlFault::DtdEntity, 2},
    {"UnparsedEntity", "<!DOCTYPE a [<!NOTATION n SYSTEM 'n'><!ENTITY e SYSTEM 'e' NDATA n>]>\n<a>&e;</a>",
     XmlFault::DtdEntity, 2},
    {"UndefinedEntityInDefault", "<!DOCTYPE a [<!ATTLIST a v CDATA\n '&u;'>]><a/>", XmlFault::UndefinedEntity, 2},
    {"ParameterEntityIsNotGeneral", "<!DOCTYPE a [<!ENTITY % x 'y'>]><a>&x;</a>", XmlFault::UndefinedEntity, 1},
    // After a parameter entity reference expat leaves undefined entities to
    // the application instead of refusing them.
    {"UndefinedAfterParameterReference", "<!DOCTYPE a [%pe;]>\n<a>\n&x;</a>", XmlFault::UndefinedEntity, 3},
    {"UndefinedInAttributeAfterParameterReference", "<!DOCTYPE a [%pe;]>\n<a v='&lt;&x;'/>",
     XmlFault::UndefinedEntity, 2},
    {"UndefinedAfterExternalSubset", "<!DOCTYPE a SYSTEM 'a.dtd'>\n<a>&x;</a>", XmlFault::UndefinedEntity, 2},
    {"ParameterReferenceInEntityValue", "<!DOCTYPE a [<!ENTITY x '%y;'>]><a/>", XmlFault::ParameterEntityReference, 1},

    // Root and document level.
    {"EmptyDocument", "", XmlFault::NoDocumentElement, 1},
    {"PrologOnly", "<?xml version='1.0'?>\n<!-- c -->\n", XmlFault::NoDocumentElement, 3},
    {"EndTagAtTopLevel", "<a/></a>", XmlFault::InvalidCharacter, 1},
    {"DoctypeInsideElement", "<a><!DOCTYPE a></a>", XmlFault::InvalidCharacter, 1},
    {"TwoDoctypes", "<!DOCTYPE a><!DOCTYPE a><a/>", XmlFault::Syntax, 1},
    {"LowercaseDoctype", "<!doctype a><a/>", XmlFault::Syntax, 1},

    // Characters and references.
    {"NulReference", "<a>&#0;</a>", XmlFault::InvalidCharacterReference, 1},
    {"SurrogateReference", "<a>&#xD800;</a>", XmlFault::InvalidCharacterReference, 1},
    {"ReferenceBeyondUnicode", "<a>\n&#x110000;</a>", XmlFault::InvalidCharacterReference, 2},
    {"HugeReference", "<a>&#99999999999999999999;</a>", XmlFault::InvalidCharacterReference, 1},
    {"UppercaseHexMarker", "<a>&#X41;</a>", XmlFault::InvalidCharacter, 1},
    {"BareAmpersand", "<a>fish & chips</a>", XmlFault::InvalidCharacter, 1},
    {"EntityWithoutSemicolon", "<a>&amp b</a>", XmlFault::InvalidCharacter, 1},
    {"ControlCharacter", "<a>\x01</a>", XmlFault::InvalidCharacter, 1},
    {"NulByte", std::string("<a>\n\0</a>", 9), XmlFault::InvalidCharacter, 2},
    {"ControlInAttribute", "<a x='\x02'/>", XmlFault::InvalidCharacter, 1},
    {"ControlInComment", "<a><!--\x1F--></a>", XmlFault::InvalidCharacter, 1},
    {"NonCharacterFFFE", "<a>\xEF\xBF\xBE</a>", XmlFault::InvalidCharacter, 1},
    {"NameStartsWithDigit", "<1a/>", XmlFault::InvalidCharacter, 1},
    {"NotANameCharacter", "<a\xC3\x97/>", XmlFault::InvalidCharacter, 1},
    {"CombiningMarkStartsName", "<\xCC\x80/>", XmlFault::InvalidCharacter, 1},

    // XML declaration, processing instructions, comments.
    {"DeclarationAfterWhitespace", " <?xml version='1.0'?><a/>", XmlFault::MisplacedXmlDeclaration, 1},
    {"EmptyDeclaration", "<?xml?><a/>", XmlFault::MalformedXmlDeclaration, 1},
    {"VersionMissing", "<?xml encoding='UTF-8'?><a/>", XmlFault::MalformedXmlDeclaration, 1},
    {"DeclarationOrder", "<?xml version='1.0' standalone='yes' encoding='UTF-8'?><a/>",
     XmlFault::MalformedXmlDeclaration, 1},
    {"StandaloneMaybe", "<?xml version='1.0' standalone='maybe'?><a/>", XmlFault::MalformedXmlDeclaration, 1},
    {"DeclarationUnknownAttribute", "<?xml version='1.0' lang='en'?><a/>", XmlFault::MalformedXmlDeclaration, 1},
    {"DeclarationWithoutSpaces", "<?xml version='1.0'encoding='UTF-8'?><a/>", XmlFault::MalformedXmlDeclaration, 1},
    {"UnterminatedDeclaration", "<?xml version='1.0'", XmlFault::Unterminated, 1},
    {"ReservedTarget", "<a><?XML x?></a>", XmlFault::InvalidCharacter, 1},
    {"PiWithoutSpace", "<a><?foo!x?></a>", XmlFault::InvalidCharacter, 1},
    {"UnterminatedPi", "<a>\n<?foo x</a>", XmlFault::Unterminated, 2},
    {"DoubleHyphenInComment", "<a><!-- a -- b --></a>", XmlFault::InvalidCharacter, 1},
    {"UnterminatedComment", "<a>\n<!-- x </a>", XmlFault::Unterminated, 2},

    // Tags and attributes.
    {"AttributesWithoutSpace", "<a x='1'y='2'/>", XmlFault::InvalidCharacter, 1},
    {"UnquotedValue", "<a x=1/>", XmlFault::InvalidCharacter, 1},
    {"AttributeWithoutValue", "<a x/>", XmlFault::InvalidCharacter, 1},
    {"UnterminatedValue", "<a>\n<b x='1/>", XmlFault::Unterminated, 2},
    {"UnterminatedStartTag", "<a>\n<b", XmlFault::Unterminated, 2},
    {"SpaceBeforeEndTagName", "<a></ a>", XmlFault::InvalidCharacter, 1},
    {"JunkInEndTag", "<a></a b>", XmlFault::InvalidCharacter, 1},
    {"UnterminatedCdata", "<a><![CDATA[x</a>", XmlFault::Unterminated, 1},

    // Document type declaration.
    {"JunkInSubset", "<!DOCTYPE a [junk]><a/>", XmlFault::InvalidCharacter, 1},
    {"ConditionalSectionInSubset", "<!DOCTYPE a [<![INCLUDE[]]>]><a/>", XmlFault::Syntax, 1},
    {"MixedContentWithoutStar", "<!DOCTYPE a [<!ELEMENT a (#PCDATA|b)>]><a/>", XmlFault::Syntax, 1},
    {"UnknownAttributeType", "<!DOCTYPE a [<!ATTLIST a x FOO #IMPLIED>]><a/>", XmlFault::Syntax, 1},
    {"BadPublicIdentifier", "<!DOCTYPE a PUBLIC 'a{b' 'x'><a/>", XmlFault::PublicIdentifier, 1},
    {"EntityWithoutValue", "<!DOCTYPE a [<!ENTITY x>]><a/>", XmlFault::Syntax, 1},

    // Lines end at LF, CR LF or a lone CR.
    {"LineAfterCarriageReturns", "<a>\r\r&bad;</a>", XmlFault::UndefinedEntity, 3},
    {"LineAfterCrLf", "<a>\r\n\r\n&bad;</a>", XmlFault::UndefinedEntity, 3},
    {"LineAfterMixedEnds", "<a>\r\n\n\r&bad;</a>", XmlFault::UndefinedEntity, 4},
    {"LineOfAttributeInsideATag", "<a>\n<b\n  x='1'\n  x='2'/></a>", XmlFault::DuplicateAttribute, 4},
};

INSTANTIATE_TEST_SUITE_P(Refusals, BrokenDocumentTest, ::testing::ValuesIn(kBroken),
                         [](const auto &test) { return std::string(test.param.name); });

struct GoodDocument {
    const char *name;
    std::string text;
};

class GoodDocumentTest : public ::testing::TestWithParam<GoodDocument>
{
};

// What the check lets through, the tree must take too, or the user would
// get pugixml's less helpful message instead.
TEST_P(GoodDocumentTest, LoadsIntoTheTree)
{
    voriraz::PresetDocument document;
    EXPECT_NO_THROW(document.LoadFromBytes(GetParam().text));
    EXPECT_TRUE(document.IsActive());
}

const GoodDocument kGood[] = {
    {"EmptyElement", "<a/>"},
    {"CdataWithMarkupAndBrackets", "<a><![CDATA[ <b> & &nbsp; ]] ]> ]]]></a>"},
    {"BracketsInText", "<a>]] ]> ] ]]</a>"},
    {"GreaterThanAndQuotesInAttributes", "<a x='>' y=\"'\" z='\"'/>"},
    {"SingleHyphensInComments", "<!-- a - b --><a><!----><!---x--></a><!-- -a- -->"},
    {"ProcessingInstructions", "<?xml version='1.0'?><?pi data?" "?><a><?x?><?y ?>?></a><?post?>"},
    {"PiTargetStartingWithXml", "<?xml-model href='x'?><a/>"},
    {"SubsetWithBracketsInLiteralsCommentsAndPis",
     "<!DOCTYPE a [<!ENTITY x \"]>\"><!-- ]> --><?pi ]> ?><!ATTLIST a b CDATA '>]'>]><a b='c'/>"},
    {"FullDoctype",
     "<!DOCTYPE a PUBLIC '-//X//DTD a//EN' 'a.dtd' [\n %pe;\n <!ELEMENT a (b|c)*>\n <!ELEMENT b EMPTY>\n"
     " <!ELEMENT c (#PCDATA|b)*>\n <!ELEMENT d ((b,c)?,(c|b)+)>\n <!ELEMENT e (#PCDATA)>\n <!ELEMENT f ANY>\n"
     " <!ATTLIST a id ID #REQUIRED t (x|y) 'x' n NOTATION (gif) #IMPLIED f CDATA #FIXED 'v&amp;'>\n"
     " <!NOTATION gif PUBLIC 'gif'>\n <!NOTATION png SYSTEM 'png'>\n <!ENTITY e SYSTEM 'e.bin' NDATA gif>\n"
     " <!ENTITY % pe2 'x'>\n <!ENTITY v '<b>&#38;&unknown;</b>'>\n]>\n<a id='i' t='&lt;'/>"},
    {"DeclaredEntitiesLeftUnused", "<!DOCTYPE a [<!ENTITY x 'y'><!ENTITY e SYSTEM 'e.txt'>]><a v='&amp;'>&gt;</a>"},
    {"CharacterReferences",
     "<a x='&#10;&#x9;&#13;'>&#65;&#x10FFFF;&#xE000;&#x000041;&#13;&#xD;&lt;&gt;&amp;&apos;&quot;</a>"},
    {"PredefinedEntityRedeclared", "<!DOCTYPE a [<!ENTITY lt '&#38;#60;'>]><a>&lt;</a>"},
    {"UnicodeNames", "<\xC3\xA9t\xC3\xA9 \xC3\xB1='1'><\xE6\x97\xA5\xE6\x9C\xAC/><a\xC2\xB7" "b/></\xC3\xA9t\xC3\xA9>"},
    {"DeleteC1AndAstralCharacters", "<a>\x7F\xC2\x85\xF0\x9F\x98\x80\xEF\xBF\xBD</a>"},
    {"SpacesEverywhere",
     "<?xml version = '1.0' encoding = 'UTF-8' standalone = 'no' ?>\n<a\n x = '1'\t>\n</a  >\n<!-- end -->\n"},
    {"Version11", "<?xml version=\"1.1\"?><a/>"},
    {"CarriageReturnsAsLineEnds", "<a>\r<b/>\r</a>\r"},
};

INSTANTIATE_TEST_SUITE_P(Accepted, GoodDocumentTest, ::testing::ValuesIn(kGood),
                         [](const auto &test) { return std::string(test.param.name); });

std::string messageOf(const std::string &text)
{
    return voriraz::test::messageOf([&] { checkWellFormed(text, kDepth); });
}

// The reasons that name what they found, and the shape of the message.
TEST(XmlCheckTest, MessageGivesReasonLineAndFortyCharactersOfTheLine)
{
    EXPECT_EQ(messageOf("<a>\n  <b>0123456789012345678901234567890123456789XYZ</c>\n</a>"),
              "End tag 'c' does not match the start tag 'b'.\nLine: 2\n  <b>01234567890123456789012345678901234");
    EXPECT_EQ(messageOf("<a>\r<b>&x;</b>\r</a>"), "Reference to undefined entity 'x'.\nLine: 2\n<b>&x;</b>");
    EXPECT_EQ(messageOf("<Hero>\n  <Editable>\n    <Lore/>\n"),
              "Start tag 'Editable' has no matching end tag.\nLine: 2\n  <Editable>");
    EXPECT_EQ(messageOf("<Hero>\n  <Editable>\n    <Lore x='1'\n"),
              "Start tag 'Lore' is not terminated.\nLine: 3\n    <Lore x='1'");
    EXPECT_EQ(messageOf("<a>\n\x01</a>"), "Invalid character U+0001 in the document.\nLine: 2\n\x01</a>");
    EXPECT_EQ(messageOf("<a b='1' b='2'/>"), "Duplicate attribute 'b'.\nLine: 1\n<a b='1' b='2'/>");
    EXPECT_EQ(messageOf("<!DOCTYPE a [<!ENTITY lore 'x'>]>\n<a>&lore;</a>"),
              "Reference to entity 'lore', declared in the document type definition, which this editor does not "
              "expand.\nLine: 2\n<a>&lore;</a>");
    EXPECT_EQ(messageOf("<a\n b='&#38;&lt;&lore;'/>"), "Reference to undefined entity 'lore'.\nLine: 2\n b='&#38;&lt;&lore;'/>");
    EXPECT_EQ(messageOf("<!DOCTYPE a [<!ATTLIST a v CDATA\n '&u;'>]><a/>"),
              "Reference to undefined entity 'u'.\nLine: 2\n '&u;'>]><a/>");
    EXPECT_EQ(messageOf("<a>&#1;</a>"), "Character reference '&#1;' is not a valid XML character.\nLine: 1\n<a>&#1;</a>");
}

// The limit counts the document element as depth 1 and is reported at the
// first start tag beyond it.
TEST(XmlCheckTest, NestingIsLimitedAtTheStartTagThatGoesTooDeep)
{
    const std::string text = "<e>\n<e><e><e><f/></e></e></e></e>";
    EXPECT_NO_THROW(checkWellFormed(text, 5));
    try {
        checkWellFormed(text, 4);
        FAIL() << "accepted";
    } catch (const XmlFaultError &error) {
        EXPECT_EQ(error.fault(), XmlFault::TooDeep);
        EXPECT_EQ(std::string(error.what()),
                  "Element 'f' is nested more than 4 levels deep.\nLine: 2\n<e><e><e><f/></e></e></e></e>");
    }
}

TEST(XmlCheckTest, DeepContentModelsDoNotExhaustTheStack)
{
    const std::size_t depth = 200000;
    std::string model = "<!DOCTYPE a [<!ELEMENT a ";
    model += std::string(depth, '(') + "b" + std::string(depth, ')') + ">]><a/>";
    EXPECT_NO_THROW(checkWellFormed(model, kDepth));
}

TEST(XmlCheckTest, TruncatingAWellFormedDocumentIsAlwaysRefused)
{
    const std::string text = "<?xml version='1.0'?><!DOCTYPE a [<!ENTITY e 'x'>]><a x='1'><![CDATA[c]]><!--c-->"
                             "<?p d?>&amp;&#65;<b/></a>";
    ASSERT_NO_THROW(checkWellFormed(text, kDepth));
    for (std::size_t length = 0; length < text.size(); ++length)
        EXPECT_THROW(checkWellFormed(text.substr(0, length), kDepth), XmlFaultError) << "length " << length;
}

// An entity or a document type definition outside the document is never
// read, even when the file is there and would define what is referred to.
TEST(XmlCheckTest, NothingExternalIsRead)
{
    voriraz::test::TempDir dir;
    const std::string dtd = (dir / "lore.dtd").string();
    voriraz::test::writeFile(dir / "lore.dtd", "<!ENTITY lore 'from outside'>");
    voriraz::test::writeFile(dir / "lore.txt", "from outside");
    const auto faultOf = [](const std::string &text) {
        try {
            checkWellFormed(text, kDepth);
        } catch (const XmlFaultError &error) {
            return error.fault();
        }
        return XmlFault::Other;
    };
    EXPECT_EQ(faultOf("<!DOCTYPE a SYSTEM '" + dtd + "'><a>&lore;</a>"), XmlFault::UndefinedEntity);
    EXPECT_EQ(faultOf("<!DOCTYPE a SYSTEM 'file://" + dtd + "'><a>&lore;</a>"), XmlFault::UndefinedEntity);
    EXPECT_EQ(faultOf("<!DOCTYPE a [<!ENTITY lore SYSTEM '" + (dir / "lore.txt").string() + "'>]><a>&lore;</a>"),
              XmlFault::DtdEntity);
    EXPECT_EQ(faultOf("<!DOCTYPE a [<!ENTITY % ext SYSTEM '" + dtd + "'>%ext;]><a>&lore;</a>"),
              XmlFault::UndefinedEntity);
}

} // namespace
