#include "presets/XmlEncoding.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

using voriraz::decodeXmlSource;
using voriraz::encodeXmlSource;
using voriraz::XmlEncoding;
using voriraz::XmlParseError;

namespace {

// UTF-16 bytes of ASCII text, each character as two bytes.
std::string utf16(std::string_view ascii, bool bigEndian)
{
    std::string out;
    for (char c : ascii) {
        out += bigEndian ? '\0' : c;
        out += bigEndian ? c : '\0';
    }
    return out;
}

struct DecodedFile {
    const char *name;
    std::string bytes;
    XmlEncoding encoding;
    bool byteOrderMark;
    std::string utf8;
};

class DecodedFileTest : public ::testing::TestWithParam<DecodedFile>
{
};

TEST_P(DecodedFileTest, DecodesAndEncodesBackToTheSameBytes)
{
    const DecodedFile &row = GetParam();
    const voriraz::XmlSourceText source = decodeXmlSource(row.bytes);
    EXPECT_EQ(source.utf8, row.utf8);
    EXPECT_EQ(source.encoding, row.encoding);
    EXPECT_EQ(source.byteOrderMark, row.byteOrderMark);
    EXPECT_EQ(encodeXmlSource(source.utf8, source.encoding, source.byteOrderMark), row.bytes);
}

const std::string kDecl16 = "<?xml version='1.0' encoding='UTF-16'?><a/>";

const DecodedFile kDecoded[] = {
    {"Utf8WithoutDeclaration", "<a>\xC3\xA9</a>", XmlEncoding::Utf8, false, "<a>\xC3\xA9</a>"},
    {"Utf8ByteOrderMark", "\xEF\xBB\xBF<a/>", XmlEncoding::Utf8, true, "<a/>"},
    {"Utf8BomAndDeclaration", "\xEF\xBB\xBF<?xml version='1.0' encoding='utf-8'?><a/>", XmlEncoding::Utf8, true,
     "<?xml version='1.0' encoding='utf-8'?><a/>"},
    {"DeclarationWithoutEncoding", "<?xml version='1.0'?><a>\xE2\x82\xAC</a>", XmlEncoding::Utf8, false,
     "<?xml version='1.0'?><a>\xE2\x82\xAC</a>"},
    {"Utf16LittleEndianMark", "\xFF\xFE" + utf16("<a/>", false), XmlEncoding::Utf16LE, true, "<a/>"},
    {"Utf16BigEndianMark", "\xFE\xFF" + utf16("<a/>", true), XmlEncoding::Utf16BE, true, "<a/>"},
    {"Utf16LittleEndianWithoutMark", utf16(kDecl16, false), XmlEncoding::Utf16LE, false, kDecl16},
    {"Utf16BigEndianWithoutMark", utf16(kDecl16, true), XmlEncoding::Utf16BE, false, kDecl16},
    {"Utf16AstralAndAccent", std::string("\xFF\xFE<\0\xE9\0=\xD8\x00\xDE/\0>\0", 14), XmlEncoding::Utf16LE, true,
     "<\xC3\xA9\xF0\x9F\x98\x80/>"},
    {"Latin1", "<?xml version='1.0' encoding='ISO-8859-1'?><a>\xE9\x85</a>", XmlEncoding::Latin1, false,
     "<?xml version='1.0' encoding='ISO-8859-1'?><a>\xC3\xA9\xC2\x85</a>"},
    {"Latin1AliasAnyCase", "<?xml version='1.0' encoding='Latin1'?><a>\xFF</a>", XmlEncoding::Latin1, false,
     "<?xml version='1.0' encoding='Latin1'?><a>\xC3\xBF</a>"},
    {"Latin1ShortAlias", "<?xml version='1.0' encoding='l1'?><a/>", XmlEncoding::Latin1, false,
     "<?xml version='1.0' encoding='l1'?><a/>"},
    // 0x80 is the euro sign; 0x81 is undefined and kept as U+0081.
    {"Windows1252", "<?xml version='1.0' encoding='cp1252'?><a>\x80\x81\x9F\xE9</a>", XmlEncoding::Windows1252, false,
     "<?xml version='1.0' encoding='cp1252'?><a>\xE2\x82\xAC\xC2\x81\xC5\xB8\xC3\xA9</a>"},
    {"Ascii", "<?xml version=\"1.0\" encoding=\"US-ASCII\"?><a/>", XmlEncoding::Ascii, false,
     "<?xml version=\"1.0\" encoding=\"US-ASCII\"?><a/>"},
    {"Empty", "", XmlEncoding::Utf8, false, ""},
};

INSTANTIATE_TEST_SUITE_P(Files, DecodedFileTest, ::testing::ValuesIn(kDecoded),
                         [](const auto &test) { return std::string(test.param.name); });

struct UndecodableFile {
    const char *name;
    std::string bytes;
    std::string reason;
    std::size_t line;
};

class UndecodableFileTest : public ::testing::TestWithParam<UndecodableFile>
{
};

TEST_P(UndecodableFileTest, IsRefusedWithReasonAndLine)
{
    const UndecodableFile &row = GetParam();
    try {
        decodeXmlSource(row.bytes);
        FAIL() << "decoded";
    } catch (const XmlParseError &error) {
        EXPECT_EQ(error.reason(), row.reason);
        EXPECT_EQ(error.line(), row.line);
    }
}

const std::string kUnsupported = "System does not support the specified encoding.";
const std::string kSwitch = "Switch from current encoding to specified encoding not supported.";
const std::string kBadUtf8 = "Invalid UTF-8 byte sequence in the document.";
const std::string kBadUtf16 = "Invalid UTF-16 data in the document.";

const UndecodableFile kUndecodable[] = {
    {"UnknownEncoding", "<?xml version='1.0' encoding='KOI8-R'?><a/>", kUnsupported, 1},
    {"UnknownEncodingOnSecondLine", "<?xml version='1.0'\n  encoding='EBCDIC'?><a/>", kUnsupported, 2},
    {"UnknownEncodingInUtf16", "\xFF\xFE" + utf16("<?xml version='1.0' encoding='X'?><a/>", false), kUnsupported, 1},
    {"Utf16MarkDeclaresUtf8", "\xFF\xFE" + utf16("<?xml version='1.0' encoding='UTF-8'?><a/>", false), kSwitch, 1},
    {"Utf16LittleEndianDeclaresBigEndian",
     "\xFF\xFE" + utf16("<?xml version='1.0' encoding='UTF-16BE'?><a/>", false), kSwitch, 1},
    {"Utf8MarkDeclaresLatin1", "\xEF\xBB\xBF<?xml version='1.0' encoding='ISO-8859-1'?><a/>", kSwitch, 1},
    {"Utf16DeclaredInSingleBytes", "<?xml version='1.0' encoding='UTF-16'?><a/>", kSwitch, 1},
    {"OverlongUtf8", "<a>\n\xC0\xAF</a>", kBadUtf8, 2},
    {"Utf8Surrogate", "<a>\r\n\r\n\xED\xA0\x80</a>", kBadUtf8, 3},
    {"TruncatedUtf8AtEnd", "<a/>\r\xE2\x82", kBadUtf8, 2},
    {"Utf8AboveUnicode", "<a>\xF4\x90\x80\x80</a>", kBadUtf8, 1},
    {"StrayContinuationByte", "<a>\x80</a>", kBadUtf8, 1},
    {"BadUtf8AfterBom", "\xEF\xBB\xBF<a>\n\xFF</a>", kBadUtf8, 2},
    {"UnpairedHighSurrogate", "\xFF\xFE" + utf16("<a>\n", false) + std::string("\x00\xD8", 2) + utf16("</a>", false),
     kBadUtf16, 2},
    {"UnpairedLowSurrogate", "\xFE\xFF" + utf16("<a>", true) + std::string("\xDC\x00", 2) + utf16("</a>", true),
     kBadUtf16, 1},
    {"OddUtf16Length", "\xFF\xFE" + utf16("<a/>\n", false) + "x", kBadUtf16, 2},
    // Only a declaration at the very start names the encoding.
    {"DeclarationAfterSpaceIsNotRead", " <?xml version='1.0' encoding='ISO-8859-1'?>\n<a>\xE9</a>", kBadUtf8, 2},
    {"HighByteInAscii", "<?xml version='1.0' encoding='ascii'?>\n<a>\xE9</a>",
     "Invalid character for the specified encoding.", 2},
};

INSTANTIATE_TEST_SUITE_P(Files, UndecodableFileTest, ::testing::ValuesIn(kUndecodable),
                         [](const auto &test) { return std::string(test.param.name); });

TEST(XmlEncodingTest, BrokenSequenceShowsAsReplacementCharacterInTheMessage)
{
    EXPECT_EQ(voriraz::test::messageOf([] { decodeXmlSource("<a>\n<b>\xC3</b>\n</a>"); }),
              kBadUtf8 + "\nLine: 2\n<b>\xEF\xBF\xBD</b>");
}

TEST(XmlEncodingTest, EncodingRefusesCharactersTheTargetCannotHold)
{
    const auto message = [](std::string_view text, XmlEncoding encoding) {
        return voriraz::test::messageOf([&] { encodeXmlSource(text, encoding, false); });
    };
    EXPECT_EQ(message("<a>\xE2\x82\xAC</a>", XmlEncoding::Latin1),
              "Character U+20AC cannot be written in the ISO-8859-1 encoding.");
    EXPECT_EQ(message("<a>\xC3\xA9</a>", XmlEncoding::Ascii), "Character U+00E9 cannot be written in the US-ASCII encoding.");
    // U+0080 has no byte in windows-1252: 0x80 is the euro sign.
    EXPECT_EQ(message("\xC2\x80", XmlEncoding::Windows1252),
              "Character U+0080 cannot be written in the windows-1252 encoding.");
    EXPECT_EQ(message("\xF0\x9F\x98\x80", XmlEncoding::Windows1252),
              "Character U+1F600 cannot be written in the windows-1252 encoding.");
    EXPECT_THROW(encodeXmlSource("\xC0\xAF", XmlEncoding::Utf16LE, false), std::runtime_error);
}

TEST(XmlEncodingTest, EveryWindows1252ByteRoundTrips)
{
    std::string bytes = "<?xml version='1.0' encoding='windows-1252'?><a>";
    for (int byte = 0x80; byte <= 0xFF; ++byte)
        bytes += static_cast<char>(byte);
    bytes += "</a>";
    const voriraz::XmlSourceText source = decodeXmlSource(bytes);
    EXPECT_EQ(encodeXmlSource(source.utf8, XmlEncoding::Windows1252, false), bytes);
}

TEST(XmlEncodingTest, Utf16EncodingWritesSurrogatePairsAndTheRequestedMark)
{
    EXPECT_EQ(encodeXmlSource("\xF0\x9F\x98\x80", XmlEncoding::Utf16BE, true), std::string("\xFE\xFF\xD8\x3D\xDE\x00", 6));
    EXPECT_EQ(encodeXmlSource("a", XmlEncoding::Utf16LE, false), std::string("a\0", 2));
}

} // namespace
