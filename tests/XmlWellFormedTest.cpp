#include "presets/XmlWellFormed.h"

#include "presets/XmlParseError.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <string>

using voriraz::checkWellFormed;
using voriraz::XmlParseError;

namespace {

struct BrokenDocument {
    const char *name;
    std::string text;
    std::string reason;
    std::size_t line;
};

class BrokenDocumentTest : public ::testing::TestWithParam<BrokenDocument>
{
};

TEST_P(BrokenDocumentTest, IsRefusedWithReasonAndLine)
{
    const BrokenDocument &row = GetParam();
    try {
        checkWellFormed(row.text);
        FAIL() << "accepted";
    } catch (const XmlParseError &error) {
        EXPECT_EQ(error.reason(), row.reason);
        EXPECT_EQ(error.line(), row.line);
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
    {"TextAfterRoot", "<a/>\ntext", "Text is not allowed after the top level element.", 2},
    {"TextBeforeRoot", "hello<a/>", "Text is not allowed before the top level element.", 1},
    {"SecondRoot", "<a/>\n<b/>", "Only one top level element is allowed.", 2},
    {"UnknownEntity", "<a>\n&nbsp;</a>", "Reference to undefined entity 'nbsp'.", 2},
    {"UnknownEntityInAttribute", "<a x='&foo;'/>", "Reference to undefined entity 'foo'.", 1},
    {"EntityFromInternalSubset", "<!DOCTYPE a [<!ENTITY x 'y'>]>\n<a>&x;</a>",
     "Reference to entity 'x', declared in the document type definition, which this editor does not expand.", 2},
    {"ParameterEntityIsNotGeneral", "<!DOCTYPE a [<!ENTITY % x 'y'>]><a>&x;</a>",
     "Reference to undefined entity 'x'.", 1},
    {"LessThanInAttribute", "<a x='<'/>", "Character '<' is not allowed in the value of attribute 'x'.", 1},
    {"DuplicateAttribute", "<a x='1'\n x='2'/>", "Duplicate attribute 'x'.", 2},
    {"DuplicateAmongManyAttributes", manyAttributesThenRepeat(), "Duplicate attribute 'n7'.", 2},
    {"UnclosedElement", "<a>\n<b>\n</b>", "Start tag 'a' has no matching end tag.", 1},
    {"MismatchedEndTag", "<a>\n</b>", "End tag 'b' does not match the start tag 'a'.", 2},
    {"StrayCdataEnd", "<a>x]]>y</a>", "The sequence ']]>' is not allowed in character data.", 1},
    {"NameStartsWithDigit", "<1a/>", "A name cannot begin with the character '1'.", 1},
    {"DoubleHyphenInComment", "<a><!-- a -- b --></a>", "The sequence '--' is not allowed inside a comment.", 1},
    {"CommentEndsInHyphen", "<a><!-- x ---></a>", "The sequence '--' is not allowed inside a comment.", 1},
    {"DoctypeAfterRoot", "<a/>\n<!DOCTYPE a>", "The document type declaration must come before the top level element.", 2},
    {"TwoDoctypes", "<!DOCTYPE a><!DOCTYPE a><a/>", "Only one document type declaration is allowed.", 1},
    {"BareAmpersand", "<a>fish & chips</a>", "Unescaped '&' in the document; write '&amp;' for a literal ampersand.", 1},
    {"BareAmpersandInAttribute", "<a x='a & b'/>", "Unescaped '&' in the document; write '&amp;' for a literal ampersand.", 1},
    {"EntityWithoutSemicolon", "<a>&amp b</a>", "Entity reference 'amp' is not terminated by ';'.", 1},
    {"CdataOutsideRoot", "<![CDATA[x]]><a/>", "A CDATA section is only allowed inside the top level element.", 1},
    {"DeclarationAfterRoot", "<a/><?xml version='1.0'?>", "The XML declaration is only allowed at the very beginning of the document.", 1},

    // Root and document level.
    {"EmptyDocument", "", "XML document must have a top level element.", 1},
    {"PrologOnly", "<?xml version='1.0'?>\n<!-- c -->\n", "XML document must have a top level element.", 3},
    {"EndTagAtTopLevel", "<a/></a>", "End tag 'a' has no matching start tag.", 1},
    {"DoctypeInsideElement", "<a><!DOCTYPE a></a>", "A document type declaration is not allowed inside an element.", 1},
    {"UnknownMarkup", "<a><!foo></a>", "Invalid markup: expected a comment or a CDATA section.", 1},
    {"LowercaseDoctype", "<!doctype a><a/>", "Invalid markup: expected a comment or a document type declaration.", 1},

    // Characters and references.
    {"NulReference", "<a>&#0;</a>", "Character reference '&#0;' is not a valid XML character.", 1},
    {"SurrogateReference", "<a>&#xD800;</a>", "Character reference '&#xD800;' is not a valid XML character.", 1},
    {"ReferenceBeyondUnicode", "<a>&#x110000;</a>", "Character reference '&#x110000;' is not a valid XML character.", 1},
    {"HugeReference", "<a>&#99999999999999999999;</a>",
     "Character reference '&#99999999999999999999;' is not a valid XML character.", 1},
    {"UppercaseHexMarker", "<a>&#X41;</a>", "Malformed character reference.", 1},
    {"EmptyReference", "<a>&#;</a>", "Malformed character reference.", 1},
    {"ControlCharacter", "<a>\x01</a>", "Invalid character U+0001 in the document.", 1},
    {"NulByte", std::string("<a>\0</a>", 8), "Invalid character U+0000 in the document.", 1},
    {"ControlInAttribute", "<a x='\x02'/>", "Invalid character U+0002 in the document.", 1},
    {"ControlInComment", "<a><!--\x1F--></a>", "Invalid character U+001F in the document.", 1},
    {"NonCharacterFFFE", "<a>\xEF\xBF\xBE</a>", "Invalid character U+FFFE in the document.", 1},
    {"OverlongUtf8", "<a>\xC0\xAF</a>", "Invalid UTF-8 byte sequence in the document.", 1},
    {"EncodedSurrogate", "<a>\xED\xA0\x80</a>", "Invalid UTF-8 byte sequence in the document.", 1},
    {"NotANameCharacter", "<a\xC3\x97/>", "Unexpected character U+00D7 in start tag 'a'.", 1},
    {"ControlCharacterStartsName", "<\x01" "a/>", "Invalid character U+0001 in the document.", 1},
    {"BrokenUtf8StartsName", "<\xC3/>", "Invalid UTF-8 byte sequence in the document.", 1},
    {"CombiningMarkStartsName", "<\xCC\x80/>", "A name cannot begin with the character U+0300.", 1},

    // XML declaration and processing instructions.
    {"DeclarationAfterWhitespace", " <?xml version='1.0'?><a/>",
     "The XML declaration is only allowed at the very beginning of the document.", 1},
    {"ReservedTarget", "<a><?XML x?></a>", "Processing instruction target 'XML' is reserved.", 1},
    {"EmptyDeclaration", "<?xml?><a/>", "The XML declaration must give the version.", 1},
    {"VersionMissing", "<?xml encoding='UTF-8'?><a/>", "The XML declaration must begin with the version.", 1},
    {"VersionTwo", "<?xml version='2.0'?><a/>", "Invalid XML version '2.0'.", 1},
    {"DeclarationOrder", "<?xml version='1.0' standalone='yes' encoding='UTF-8'?><a/>",
     "The attributes of the XML declaration must be version, encoding and standalone, in that order.", 1},
    {"StandaloneMaybe", "<?xml version='1.0' standalone='maybe'?><a/>", "The standalone value must be 'yes' or 'no'.", 1},
    {"EncodingNameSyntax", "<?xml version='1.0' encoding='8bit'?><a/>", "Invalid encoding name '8bit'.", 1},
    {"DeclarationUnknownAttribute", "<?xml version='1.0' lang='en'?><a/>",
     "Unexpected attribute 'lang' in the XML declaration.", 1},
    {"DeclarationMixedQuotes", "<?xml version=\"1.0'?><a/>",
     "The value of 'version' in the XML declaration is not terminated.", 1},
    {"DeclarationWithoutSpaces", "<?xml version='1.0'encoding='UTF-8'?><a/>",
     "Whitespace is required between the attributes of the XML declaration.", 1},
    {"PiWithoutSpace", "<a><?foo!x?></a>", "Whitespace is required after the processing instruction target 'foo'.", 1},
    {"UnterminatedPi", "<a><?foo x</a>", "Unterminated processing instruction.", 1},

    // Tags and attributes.
    {"AttributesWithoutSpace", "<a x='1'y='2'/>", "Whitespace is required between attributes.", 1},
    {"UnquotedValue", "<a x=1/>", "The value of attribute 'x' must be in quotes.", 1},
    {"AttributeWithoutValue", "<a x/>", "Missing '=' after attribute 'x'.", 1},
    {"UnterminatedValue", "<a x='1/>", "The value of attribute 'x' is not terminated.", 1},
    {"UnterminatedStartTag", "<a>\n<b", "Start tag 'b' is not terminated.", 2},
    {"SlashWithoutGreater", "<a/ >", "Expected '>' after '/' in tag 'a'.", 1},
    {"SpaceBeforeEndTagName", "<a></ a>", "A name cannot begin with the character U+0020.", 1},
    {"JunkInEndTag", "<a></a b>", "Unexpected character 'b' in end tag 'a'.", 1},
    {"UnterminatedCdata", "<a><![CDATA[x</a>", "Unterminated CDATA section.", 1},
    {"UnterminatedComment", "<a><!-- x </a>", "Unterminated comment.", 1},

    // Document type declaration.
    {"UnterminatedDoctype", "<!DOCTYPE a [\n<!ENTITY x 'y'>", "Unterminated document type declaration.", 1},
    {"JunkInSubset", "<!DOCTYPE a [junk]><a/>", "Invalid markup in the document type definition.", 1},
    {"ConditionalSectionInSubset", "<!DOCTYPE a [<![INCLUDE[]]>]><a/>", "Invalid markup in the document type definition.", 1},
    {"ParameterReferenceInEntityValue", "<!DOCTYPE a [<!ENTITY x '%y;'>]><a/>",
     "A parameter entity reference is not allowed inside a declaration in the internal subset.", 1},
    {"MixedContentWithoutStar", "<!DOCTYPE a [<!ELEMENT a (#PCDATA|b)>]><a/>",
     "A mixed content model with element names must end with ')*'.", 1},
    {"MixedSeparators", "<!DOCTYPE a [<!ELEMENT a (b|c,d)>]><a/>", "A content model group cannot mix '|' and ','.", 1},
    {"UnknownAttributeType", "<!DOCTYPE a [<!ATTLIST a x FOO #IMPLIED>]><a/>", "Malformed attribute list declaration.", 1},
    {"LessThanInDefault", "<!DOCTYPE a [<!ATTLIST a x CDATA '<'>]><a/>",
     "Character '<' is not allowed in the value of attribute 'x'.", 1},
    {"BadPublicIdentifier", "<!DOCTYPE a PUBLIC 'a{b' 'x'><a/>", "Character '{' is not allowed in a public identifier.", 1},
    {"EntityWithoutValue", "<!DOCTYPE a [<!ENTITY x>]><a/>", "Malformed entity declaration.", 1},
    {"DefaultUsesEntityFromSubset", "<!DOCTYPE a [<!ENTITY x 'y'>\n<!ATTLIST a v CDATA '&x;'>]><a/>",
     "Reference to entity 'x', declared in the document type definition, which this editor does not expand.", 2},
    {"UnterminatedDeclaration", "<?xml version='1.0'", "The XML declaration is not terminated.", 1},

    // Lines end at LF, CR LF or a lone CR.
    {"LineAfterCarriageReturns", "<a>\r\r&bad;</a>", "Reference to undefined entity 'bad'.", 3},
    {"LineAfterCrLf", "<a>\r\n\r\n&bad;</a>", "Reference to undefined entity 'bad'.", 3},
    {"LineAfterMixedEnds", "<a>\r\n\n\r&bad;</a>", "Reference to undefined entity 'bad'.", 4},
    {"LineOfAttributeInsideATag", "<a>\n<b\n  x='1'\n  x='2'/></a>", "Duplicate attribute 'x'.", 4},
    {"InnermostUnclosedElement", "<a>\n <b>\n  <c/>\n", "Start tag 'b' has no matching end tag.", 2},
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

// The check must not refuse what it exists to let through, and the DOM
// parser must then accept the same text, or the user would get its less
// helpful message instead.
TEST_P(GoodDocumentTest, PassesAndTheDomAcceptsItToo)
{
    const GoodDocument &row = GetParam();
    EXPECT_NO_THROW(checkWellFormed(row.text));
    pugi::xml_document document;
    const unsigned options = pugi::parse_declaration | pugi::parse_doctype | pugi::parse_pi | pugi::parse_comments
                             | pugi::parse_cdata | pugi::parse_escapes | pugi::parse_eol | pugi::parse_wconv_attribute;
    EXPECT_TRUE(document.load_buffer(row.text.data(), row.text.size(), options, pugi::encoding_utf8));
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
     " <!ENTITY % pe2 'x'>\n <!ENTITY v '<b>&#38;&unknown;</b>'>\n]>\n<a id='i'/>"},
    {"SystemDoctype", "<!DOCTYPE a SYSTEM \"a.dtd\"><a/>"},
    {"CharacterReferences",
     "<a x='&#10;&#x9;&#13;'>&#65;&#x10FFFF;&#xE000;&#x000041;&#13;&#xD;&lt;&gt;&amp;&apos;&quot;</a>"},
    {"PredefinedEntityRedeclared", "<!DOCTYPE a [<!ENTITY lt '&#38;#60;'>]><a>&lt;</a>"},
    {"UnicodeNames", "<\xC3\xA9t\xC3\xA9 \xC3\xB1='1'><\xE6\x97\xA5\xE6\x9C\xAC/><a\xC2\xB7" "b/></\xC3\xA9t\xC3\xA9>"},
    {"DeleteC1AndAstralCharacters", "<a>\x7F\xC2\x85\xF0\x9F\x98\x80\xEF\xBF\xBD</a>"},
    {"SpacesEverywhere",
     "<?xml version = '1.0' encoding = 'UTF-8' standalone = 'no' ?>\n<a\n x = '1'\t>\n</a  >\n<!-- end -->\n"},
    {"Version11", "<?xml version=\"1.1\"?><a/>"},
    {"CarriageReturnsAsLineEnds", "<a>\r<b/>\r</a>\r"},
    {"TwentyDistinctAttributes",
     "<a a0='' a1='' a2='' a3='' a4='' a5='' a6='' a7='' a8='' a9='' b0='' b1='' b2='' b3='' b4='' b5='' b6=''"
     " b7='' b8='' b9=''/>"},
};

INSTANTIATE_TEST_SUITE_P(Accepted, GoodDocumentTest, ::testing::ValuesIn(kGood),
                         [](const auto &test) { return std::string(test.param.name); });

TEST(XmlWellFormedTest, MessageGivesReasonLineAndFortyCharactersOfTheLine)
{
    const std::string text = "<a>\n  <b>0123456789012345678901234567890123456789XYZ</c>\n</a>";
    EXPECT_EQ(voriraz::test::messageOf([&] { checkWellFormed(text); }),
              "End tag 'c' does not match the start tag 'b'.\nLine: 2\n  <b>01234567890123456789012345678901234");
}

TEST(XmlWellFormedTest, LineTextStopsAtALoneCarriageReturn)
{
    EXPECT_EQ(voriraz::test::messageOf([] { checkWellFormed("<a>\r<b>&x;</b>\r</a>"); }),
              "Reference to undefined entity 'x'.\nLine: 2\n<b>&x;</b>");
}

TEST(XmlWellFormedTest, DeepNestingDoesNotExhaustTheStack)
{
    const int depth = 200000;
    std::string text;
    for (int i = 0; i < depth; ++i)
        text += "<e>";
    for (int i = 0; i < depth; ++i)
        text += "</e>";
    EXPECT_NO_THROW(checkWellFormed(text));

    std::string model = "<!DOCTYPE a [<!ELEMENT a ";
    model += std::string(depth, '(') + "b" + std::string(depth, ')') + ">]><a/>";
    EXPECT_NO_THROW(checkWellFormed(model));
}

TEST(XmlWellFormedTest, TruncatingAWellFormedDocumentIsAlwaysRefused)
{
    const std::string text = "<?xml version='1.0'?><!DOCTYPE a [<!ENTITY e 'x'>]><a x='1'><![CDATA[c]]><!--c-->"
                             "<?p d?>&amp;&#65;<b/></a>";
    ASSERT_NO_THROW(checkWellFormed(text));
    for (std::size_t length = 0; length < text.size(); ++length)
        EXPECT_THROW(checkWellFormed(text.substr(0, length)), XmlParseError) << "length " << length;
}

} // namespace
