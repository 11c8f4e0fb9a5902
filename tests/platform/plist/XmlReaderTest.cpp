#include <gtest/gtest.h>

#include <cmath>

#include "PlistTestSupport.h"
#include "platform/plist/XmlReader.h"

using namespace plist;
using namespace plist::test;

namespace {

std::string inPlist(std::string_view element) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + std::string(element) +
           "\n</plist>\n";
}

std::string nestedArrayText(int depth) {
    std::string open, close;
    for (int i = 0; i < depth; ++i) {
        open += "<array>";
        close += "</array>";
    }
    return open + close;
}

struct BadXml {
    std::string name, text;
    Error::Kind kind = Error::Kind::Xml;
};

std::vector<BadXml> badXml() {
    return {
        {"NotXml", "hello world"},
        {"UnclosedElement", inPlist("<array>")},
        {"JunkAfterTheDocument", inPlist("<true/>") + "junk"},
        {"KeyOutsideADictionary", inPlist("<array><key>a</key></array>")},
        {"MissingValueAfterKey", inPlist("<dict><key>a</key></dict>")},
        {"TwoKeysInARow", inPlist("<dict><key>a</key><key>b</key><true/></dict>")},
        {"ValueWithoutKey", inPlist("<dict><string>a</string></dict>")},
        {"TextInsideADictionary", inPlist("<dict>oops<key>a</key><true/></dict>")},
        {"TextInsideAnArray", inPlist("<array><true/>oops</array>")},
        {"TextInsidePlist", inPlist("oops<true/>")},
        {"ElementInsideAString", inPlist("<string>a<true/></string>")},
        {"ElementInsideAKey", inPlist("<dict><key><string>a</string></key><true/></dict>")},
        {"IntegerThatIsNotANumber", inPlist("<integer>12a</integer>")},
        {"EmptyInteger", inPlist("<integer/>")},
        {"RealThatIsNotANumber", inPlist("<real>abc</real>")},
        {"DataThatIsNotBase64", inPlist("<data>@@@@</data>")},
        {"DataWithIncompletePadding", inPlist("<data>QQ=</data>")},
        {"DataWithTextAfterPadding", inPlist("<data>QQ==QQ==</data>")},
        {"DataOfALoneSymbol", inPlist("<data>QUJDR</data>")},
        {"DateYesterday", inPlist("<date>yesterday</date>")},
        {"TwoTopLevelValues", inPlist("<true/><false/>")},
        {"TwoPlistElements", "<plist><plist><true/></plist></plist>"},
        {"PlistInsideAnArray", "<array><plist><true/></plist></array>"},
        {"EmptyPlist", "<plist></plist>"},
        {"UndefinedEntity", inPlist("<string>&nbsp;</string>")},
        {"InternalEntityDeclaration",
         "<!DOCTYPE plist [<!ENTITY a \"x\">]><plist><string>&a;</string></plist>"},
        {"ExternalEntityDeclaration",
         "<!DOCTYPE plist [<!ENTITY e SYSTEM \"file:///etc/hostname\">]><plist><string>&e;</string></plist>"},
        {"ParameterEntityDeclaration", "<!DOCTYPE plist [<!ENTITY % p \"x\">]><plist><true/></plist>"},
        {"NestingDeeperThan512", inPlist(nestedArrayText(kMaxNestingDepth + 1)), Error::Kind::TooDeep},
        {"DictionariesDeeperThan512",
         inPlist("<dict><key>k</key>" + nestedArrayText(kMaxNestingDepth) + "</dict>"), Error::Kind::TooDeep},
    };
}

} // namespace

// Nothing outside the property-list elements is read: no entity is declared or expanded.
TEST(XmlReader, RefusesMalformedDocumentsAndEntityDeclarations) {
    for (const BadXml& c : badXml()) {
        auto r = readXml(c.text);
        ASSERT_FALSE(r.ok()) << c.name << " read as " << ::testing::PrintToString(r->value);
        EXPECT_EQ(r.error().kind, c.kind) << c.name << ": " << r.error().message;
        EXPECT_FALSE(r.error().message.empty()) << c.name;
    }
}

TEST(XmlReader, ReadsTheLooserFormsOfOtherWritersAndKeepsDuplicateKeysInOrder) {
    auto r = readXml(inPlist("<dict>\n"
                             "\t<key>s</key><string>a &amp; b &lt;c&gt; &#9;&#x41;</string>\n"
                             "\t<key>i</key><integer> -42 </integer>\n"
                             "\t<key>hex</key><integer>0xFF</integer>\n"
                             "\t<key>r</key><real>-1.5e3</real>\n"
                             "\t<key>inf</key><real>-Infinity</real>\n"
                             "\t<key>t</key><true/>\n"
                             "\t<key>bytes</key><data>\n\t\tAAEC\n\t\t/w==\n\t</data>\n"
                             "\t<key>nothing</key><data></data>\n"
                             "\t<key>s</key><integer>1</integer>\n"
                             "</dict>"));
    ASSERT_TRUE(r.ok()) << messageOf(r);
    EXPECT_TRUE(r->hasPlistElement);
    // clang-format off
    EXPECT_EQ(r->value, dict({{"s", "a & b <c> \tA"}, {"i", integer(-42)}, {"hex", integer(255)},
                              {"r", Value(-1500.0)}, {"inf", Value(-HUGE_VAL)}, {"t", Value(true)},
                              {"bytes", data({0, 1, 2, 0xFF})}, {"nothing", Value(Data())}, {"s", integer(1)}}));
    // clang-format on
}

// Encodings expat does not know go through iconv. Shift_JIS second bytes may be "\" or "{" (表 is 95 5C, 倍
// is 94 7B); faults are placed in the document's own bytes.
TEST(XmlReader, ReadsDeclaredEncodingsThroughIconvAndRefusesUnknownNamesAndBadBytes) {
    const auto declared = [](std::string encoding, std::string body) {
        return "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>\n<plist>\n" + body + "</plist>";
    };
    const std::pair<std::string, Value> read[] = {
        {declared("windows-1252", "<string>\x80 caf\xE9 \x93q\x94</string>"),
         Value("\xE2\x82\xAC caf\xC3\xA9 \xE2\x80\x9Cq\xE2\x80\x9D")},
        {declared("macintosh", "<string>caf\x8E</string>"), Value("caf\xC3\xA9")},
        {declared("Shift_JIS", "<dict><key>\x95\x5C</key><string>\x94\x7B</string></dict>"),
         dict({{"\xE8\xA1\xA8", "\xE5\x80\x8D"}})},
        // A byte-order mark outweighs the declaration.
        {"\xEF\xBB\xBF" + declared("windows-1252", "<string>caf\xC3\xA9</string>"), Value("caf\xC3\xA9")},
        {"\xFF\xFE" + utf16(declared("macintosh", "<string>caf\xC3\xA9</string>"), false),
         Value("caf\xC3\xA9")}};
    for (const auto& [bytes, value] : read) {
        auto r = readXml(bytes);
        ASSERT_TRUE(r.ok()) << bytes << ": " << messageOf(r);
        EXPECT_EQ(r->value, value) << bytes;
    }
    std::string kanji;
    for (int i = 0; i < 20000; ++i)
        kanji += "\x95\x5C";
    struct Refused {
        std::string bytes, at, message; // the fault is where at first occurs in the bytes
    };
    const Refused refused[] = {
        {"<plist><array><foo/></array></plist>", "<foo/>", "unknown element <foo> (line 1, column 15)"},
        {declared("x-klingon", "<true/>"), "x-k", "unknown encoding \"x-klingon\" in the XML declaration"},
        {declared("UTF-8//IGNORE", "<true/>"), "UTF-8/",
         "\"UTF-8//IGNORE\" in the XML declaration is not an encoding name"},
        {declared("windows-1252", "<string>ab\x81</string>"), "\x81",
         "XML error at line 3, column 11: byte 0x81 is not a character of the encoding \"windows-1252\" "
         "(byte "
         "64)"},
        {declared("Shift_JIS", "<string>" + kanji + "\xFF</string>"), "\xFF",
         "XML error at line 3, column 20009: byte 0xFF"},
        {declared("Shift_JIS", "<array><string>" + kanji + "</string><foo/></array>"), "<foo/>",
         "unknown element <foo> (line 3, column 20025)"},
    };
    for (const Refused& c : refused) {
        auto r = readXml(c.bytes);
        ASSERT_FALSE(r.ok()) << c.message;
        EXPECT_EQ(r.error().offset, int64_t(c.bytes.find(c.at))) << r.error().message;
        EXPECT_EQ(r.error().message.substr(0, c.message.size()), c.message);
    }
}
