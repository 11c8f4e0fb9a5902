#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "PlistTestSupport.h"
#include "platform/plist/Base64.h"
#include "platform/plist/PropertyList.h"
#include "platform/plist/XmlWriter.h"

using namespace plist;
using namespace plist::test;

namespace {

std::string document(std::string_view element) {
    return std::string(kXmlHead) + std::string(element) + std::string(kXmlTail);
}

// The element lines of a written document, without the head and tail.
std::string body(const Value& v, XmlWriteOptions options = {}) {
    auto xml = writeXml(v, options);
    if (!xml.ok()) return "error: " + xml.error().message;
    std::string s = *xml;
    if (s.substr(0, kXmlHead.size()) != kXmlHead || s.size() < kXmlHead.size() + kXmlTail.size() ||
        s.substr(s.size() - kXmlTail.size()) != kXmlTail)
        return "bad frame: " + s;
    return s.substr(kXmlHead.size(), s.size() - kXmlHead.size() - kXmlTail.size());
}

} // namespace

TEST(XmlWriter, WritesEveryTypeInThePublishedLayout) {
    Value v = dict({
        {"string", "h\xC3\xA9llo \xE2\x98\x83"},
        {"integer", integer(-42)},
        {"big", Value::unsignedInteger(UINT64_MAX)},
        {"real", Value(0.5)},
        {"yes", Value(true)},
        {"no", Value(false)},
        {"date", Value(Date{730902896})},
        {"data", data({0x00, 0x01, 0x02, 0xFF})},
        {"array", arr({"a", arr({}), dict({}), data({'h', 'i'}), arr({integer(1)})})},
        {"uid", Value(Uid{3})},
    });
    const char* expected = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                           "<plist version=\"1.0\">\n"
                           "<dict>\n"
                           "\t<key>string</key>\n"
                           "\t<string>h\xC3\xA9llo \xE2\x98\x83</string>\n"
                           "\t<key>integer</key>\n"
                           "\t<integer>-42</integer>\n"
                           "\t<key>big</key>\n"
                           "\t<integer>18446744073709551615</integer>\n"
                           "\t<key>real</key>\n"
                           "\t<real>0.5</real>\n"
                           "\t<key>yes</key>\n"
                           "\t<true/>\n"
                           "\t<key>no</key>\n"
                           "\t<false/>\n"
                           "\t<key>date</key>\n"
                           "\t<date>2024-02-29T12:34:56Z</date>\n"
                           "\t<key>data</key>\n"
                           "\t<data>\n"
                           "\tAAEC/w==\n"
                           "\t</data>\n"
                           "\t<key>array</key>\n"
                           "\t<array>\n"
                           "\t\t<string>a</string>\n"
                           "\t\t<array/>\n"
                           "\t\t<dict/>\n"
                           "\t\t<data>\n"
                           "\t\taGk=\n"
                           "\t\t</data>\n"
                           "\t\t<array>\n"
                           "\t\t\t<integer>1</integer>\n"
                           "\t\t</array>\n"
                           "\t</array>\n"
                           "\t<key>uid</key>\n"
                           "\t<dict>\n"
                           "\t\t<key>CF$UID</key>\n"
                           "\t\t<integer>3</integer>\n"
                           "\t</dict>\n"
                           "</dict>\n"
                           "</plist>\n";
    auto xml = serialize(v, Format::Xml);
    ASSERT_TRUE(xml.ok()) << messageOf(xml);
    EXPECT_EQ(*xml, expected);
}

TEST(XmlWriter, WritesScalarsAndEmptyContainersAsTheTopElement) {
    EXPECT_EQ(*writeXml(Value("x")), document("<string>x</string>"));
    EXPECT_EQ(body(Value("")), "<string></string>");
    EXPECT_EQ(body(Value(Value::Array())), "<array/>");
    EXPECT_EQ(body(Value(Value::Dictionary())), "<dict/>");
    EXPECT_EQ(body(Value(Data())), "<data>\n</data>");
    EXPECT_EQ(body(data({'a', 'b', 'c'})), "<data>\nYWJj\n</data>");
    EXPECT_EQ(body(integer(INT64_MIN)), "<integer>-9223372036854775808</integer>");
    EXPECT_EQ(body(Value(Uid{0})), "<dict>\n\t<key>CF$UID</key>\n\t<integer>0</integer>\n</dict>");
}

TEST(XmlWriter, EscapesMarkupAndLineBreakingCharactersInStringsAndKeys) {
    // & < > as entities; tab, LF, CR, NEL, LS and PS as references, so that no value spans lines.
    std::string raw = "a&b<c>d\te\nf\rg\xC2\x85h\xE2\x80\xA8i\xE2\x80\xA9j\"k'l";
    std::string escaped = "a&amp;b&lt;c&gt;d&#9;e&#10;f&#13;g&#133;h&#8232;i&#8233;j\"k'l";
    EXPECT_EQ(body(Value(raw)), "<string>" + escaped + "</string>");
    EXPECT_EQ(body(dict({{raw, integer(1)}})),
              "<dict>\n\t<key>" + escaped + "</key>\n\t<integer>1</integer>\n</dict>");
    auto back = parseText(body(Value(raw)));
    ASSERT_TRUE(back.ok()) << messageOf(back);
    EXPECT_EQ(*back, Value(raw));
}

TEST(XmlWriter, KeepsCharactersThatXmlHoldsUnescaped) {
    std::string s =
        "\x7F \xC2\x80 \xC2\x9F \xED\x9F\xBF \xEE\x80\x80 \xEF\xBF\xBD \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBD";
    EXPECT_EQ(body(Value(s)), "<string>" + s + "</string>");
}

TEST(XmlWriter, RefusesCharactersThatXmlCannotHold) {
    const std::string cases[] = {
        "\x01",                 // a control character
        std::string("a\0b", 3), // NUL
        "\x1F",                 // the last C0 control
        "\xED\xA0\x80",         // a lone high surrogate
        "\xED\xBF\xBF",         // a lone low surrogate
        "\xEF\xBF\xBE",         // U+FFFE
        "\xEF\xBF\xBF",         // U+FFFF
        "\xFF",                 // not UTF-8 at all
    };
    for (const std::string& s : cases) {
        for (const Value& v : {Value(s), dict({{s, integer(1)}}), arr({Value(s)})}) {
            auto xml = writeXml(v);
            ASSERT_FALSE(xml.ok()) << "wrote " << *xml;
            EXPECT_EQ(xml.error().kind, Error::Kind::Unrepresentable);
        }
    }
}

TEST(XmlWriter, ExactOptionWritesReferencesThatParseElementReadsBack) {
    std::string cases[] = {
        std::string("a\x01z", 3),   std::string("\x00", 1), "\xED\xA0\x80",           "x\xED\xBF\xBFy",
        "\xEF\xBF\xBE\xEF\xBF\xBF", "\t\n\r&<>\xC2\x85",    "\xF0\x9F\x98\x80 plain",
    };
    for (const std::string& s : cases) {
        std::string line = body(Value(s), {.exact = true});
        EXPECT_EQ(line.find('\n'), std::string::npos) << line;
        auto back = parseElement(line, true);
        ASSERT_TRUE(back.ok()) << line << ": " << messageOf(back);
        EXPECT_EQ(*back, Value(s)) << line;
    }
    EXPECT_EQ(body(Value("\xED\xA0\x80"), {.exact = true}), "<string>&#55296;</string>");
}

TEST(XmlWriter, WritesDatesAsWholeSecondsUtc) {
    EXPECT_EQ(body(Value(Date{0})), "<date>2001-01-01T00:00:00Z</date>");
    EXPECT_EQ(body(Value(Date{0.999})), "<date>2001-01-01T00:00:00Z</date>");
    // Before 2001 the fraction still belongs to the earlier second.
    EXPECT_EQ(body(Value(Date{-0.5})), "<date>2000-12-31T23:59:59Z</date>");
    EXPECT_EQ(body(Value(Date{-978307200})), "<date>1970-01-01T00:00:00Z</date>");
    EXPECT_EQ(body(Value(Date{-63113904000.0})), "<date>0001-01-01T00:00:00Z</date>");
    EXPECT_EQ(body(Value(Date{252423993599.0})), "<date>9999-12-31T23:59:59Z</date>");
}

TEST(XmlWriter, RefusesDatesOutsideYears1To9999UnlessExact) {
    for (double s : {-63113904001.0, 252423993600.0, -1e300, 1e300, HUGE_VAL, -HUGE_VAL, std::nan("")}) {
        auto xml = writeXml(arr({Value(Date{s})}));
        ASSERT_FALSE(xml.ok()) << s;
        EXPECT_EQ(xml.error().kind, Error::Kind::Unrepresentable);
    }
}

TEST(XmlWriter, ExactOptionWritesDatesThatParseElementReadsBackExactly) {
    for (double s : {0.25, 1e-7, 730902896.5, -0.75, -978307200.125, -63113904001.0, 252423993600.0, -1e300,
                     HUGE_VAL, -HUGE_VAL, std::nan("")}) {
        std::string line = body(Value(Date{s}), {.exact = true});
        auto back = parseElement(line, true);
        ASSERT_TRUE(back.ok()) << line << ": " << messageOf(back);
        EXPECT_EQ(*back, Value(Date{s})) << line;
    }
    EXPECT_EQ(body(Value(Date{0.25}), {.exact = true}), "<date>2001-01-01T00:00:00.25Z</date>");
    // Whole seconds keep the published form, which every reader understands.
    EXPECT_EQ(body(Value(Date{0}), {.exact = true}), "<date>2001-01-01T00:00:00Z</date>");
}

TEST(XmlWriter, WritesRealsInTheShortestFormThatReadsBack) {
    struct Case {
        double value;
        const char* element;
    } cases[] = {
        {2.0, "<real>2</real>"},
        {0.1 + 0.2, "<real>0.30000000000000004</real>"},
        {1e20, "<real>1e+20</real>"},
        {-1.5, "<real>-1.5</real>"},
        {1e-7, "<real>1e-07</real>"},
        {5e-324, "<real>5e-324</real>"},
        {std::numeric_limits<double>::max(), "<real>1.7976931348623157e+308</real>"},
        {HUGE_VAL, "<real>+infinity</real>"},
        {-HUGE_VAL, "<real>-infinity</real>"},
        {std::nan(""), "<real>nan</real>"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(body(Value(c.value)), c.element);
        auto back = parseText(c.element);
        ASSERT_TRUE(back.ok()) << messageOf(back);
        EXPECT_EQ(*back, Value(c.value)) << c.element;
    }
}

TEST(XmlWriter, SplitsLongDataIntoBase64LinesAtTheElementsIndent) {
    Data bytes(1000);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i * 7 + 3);
    std::istringstream text(body(arr({Value(bytes)})));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    ASSERT_GT(lines.size(), 5u);
    EXPECT_EQ(lines[0] + lines[1], "<array>\t<data>");
    EXPECT_EQ(lines[lines.size() - 2] + lines.back(), "\t</data></array>");
    std::string joined;
    for (size_t i = 2; i + 2 < lines.size(); ++i) {
        EXPECT_TRUE(lines[i].size() <= 77 && lines[i][0] == '\t' && lines[i][1] != '\t') << lines[i];
        joined += lines[i].substr(1);
    }
    EXPECT_EQ(base64::decode(joined), bytes);
}

TEST(XmlWriter, WritesNestingUpTo512LevelsAndRefusesDeeper) {
    auto ok = writeXml(nestedArrays(kMaxNestingDepth));
    ASSERT_TRUE(ok.ok()) << messageOf(ok);
    auto deep = writeXml(nestedArrays(kMaxNestingDepth + 1));
    ASSERT_FALSE(deep.ok());
    EXPECT_EQ(deep.error().kind, Error::Kind::TooDeep);
    // A uid is written as a dictionary, so it counts as a level too.
    auto uid = writeXml(nestedArrays(kMaxNestingDepth, arr({Value(Uid{1})})));
    ASSERT_FALSE(uid.ok());
    EXPECT_EQ(uid.error().kind, Error::Kind::TooDeep);
}
