#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numeric>
#include <unistd.h>

#include "PlistTestSupport.h"
#include "platform/plist/PropertyList.h"

using namespace plist;
using namespace plist::test;

namespace {

// A document with every type, written the way the editor writes it.
Value everyType() {
    Data bytes(256);
    std::iota(bytes.begin(), bytes.end(), uint8_t(0));
    return dict({
        {"string", "h\xC3\xA9llo \xE2\x98\x83 \xF0\x9F\x98\x80"},
        {"escapes", "a&b<c>\t\n\r"},
        {"neg", integer(-42)},
        {"min", integer(INT64_MIN)},
        {"max", integer(INT64_MAX)},
        {"big", Value::unsignedInteger(UINT64_MAX)},
        {"real", Value(0.1 + 0.2)},
        {"inf", Value(HUGE_VAL)},
        {"tiny", Value(5e-324)},
        {"yes", Value(true)},
        {"no", Value(false)},
        {"date", Value(Date{730902896})},
        {"old", Value(Date{-3182198400})},
        {"data", Value(bytes)},
        {"nodata", Value(Data())},
        {"array", arr({"a", arr({}), dict({}), arr({integer(1), arr({integer(2)})})})},
        {"nested", dict({{"k", dict({{"l", "m"}})}})},
        {"", "empty key"},
        {"uid", Value(Uid{7})},
    });
}

// The same document as the XML reader gives it back: a uid reads as its {"CF$UID": n} dictionary.
Value everyTypeFromXml() {
    Value v = everyType();
    v.dictionary().back().second = dict({{"CF$UID", integer(7)}});
    return v;
}

} // namespace

TEST(PropertyList, RecognisesXmlAndBinary) {
    auto xml = serialize(everyType(), Format::Xml);
    auto bin = serialize(everyType(), Format::Binary);
    ASSERT_TRUE(xml.ok() && bin.ok());
    auto a = parse(*xml);
    ASSERT_TRUE(a.ok()) << messageOf(a);
    EXPECT_EQ(a->format, Format::Xml);
    EXPECT_EQ(int(a->format), 100);
    EXPECT_TRUE(a->hasPlistElement);
    EXPECT_EQ(a->value, everyTypeFromXml());
    auto b = parse(*bin);
    ASSERT_TRUE(b.ok()) << messageOf(b);
    EXPECT_EQ(int(b->format), 200);
    EXPECT_EQ(b->value, everyType());
    std::string utf16Text = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<plist version=\"1.0\">\n"
                            "<array><string>caf\xC3\xA9</string></array>\n</plist>\n";
    for (bool bigEndian : {false, true}) {
        auto wide = parse((bigEndian ? "\xFE\xFF" : "\xFF\xFE") + utf16(utf16Text, bigEndian));
        ASSERT_TRUE(wide.ok()) << messageOf(wide);
        EXPECT_EQ(wide->format, Format::Xml);
        EXPECT_EQ(wide->value, arr({"caf\xC3\xA9"}));
    }
    auto lone = parse("\xEF\xBB\xBF  <string>x</string>");
    ASSERT_TRUE(lone.ok()) << messageOf(lone);
    EXPECT_EQ(lone->format, Format::Xml);
    EXPECT_FALSE(lone->hasPlistElement);
}

TEST(PropertyList, RecognisesOldTextDocuments) {
    struct Case {
        const char* text;
        Value value;
    } cases[] = {
        {"{ a = 1; b = (x, \"y z\"); c = <0fbd>; }",
         dict({{"a", "1"}, {"b", arr({"x", "y z"})}, {"c", data({0x0F, 0xBD})}})},
        {"( a, b )", arr({"a", "b"})},
        {"( a, b, )", arr({"a", "b"})},
        {"\"quoted\"", "quoted"},
        {"\"esc\\n\\t\\\"\\101\\U00e9\"", "esc\n\t\"A\xC3\xA9"},
        {"bare", "bare"},
        {"path/to_file-1.2:$x+", "path/to_file-1.2:$x+"},
        {"<0fbd>", data({0x0F, 0xBD})},
        {"a = b; c = d;", dict({{"a", "b"}, {"c", "d"}})},
        {"\"k 1\" = \"v 1\";\n\"k 2\" = (x);", dict({{"k 1", "v 1"}, {"k 2", arr({"x"})}})},
        {"// a comment\n{ /* inside */ a = /* here */ b; } // after", dict({{"a", "b"}})},
        {"/* first */ ( x /* between */, y )\n// end", arr({"x", "y"})},
        {"{ a = { b = { c = (1, (2)); }; }; }",
         dict({{"a", dict({{"b", dict({{"c", arr({"1", arr({"2"})})}})}})}})},
    };
    for (const auto& c : cases) {
        auto r = parse(c.text);
        ASSERT_TRUE(r.ok()) << c.text << ": " << messageOf(r);
        EXPECT_EQ(r->format, Format::OpenStep) << c.text;
        EXPECT_EQ(int(r->format), 1);
        EXPECT_EQ(r->value, c.value) << c.text;
    }
}

TEST(PropertyList, RefusesEmptyBytesJsonAndOtherData) {
    auto empty = parse("");
    ASSERT_FALSE(empty.ok());
    EXPECT_EQ(empty.error().kind, Error::Kind::Empty);
    for (std::string text : std::initializer_list<std::string>{
             "{\"a\": 1}", "[1,2]", "{\"a\": [1, 2], \"b\": null}", "hello world",
             std::string("\x00\x01\x02\x03", 4), "\x89PNG\r\n\x1A\n", "   ", "# heading", "key: value",
             "a = b", "{ a = 1 }", "( a b )", "{ a = ; }", "<0fb>", "<xyz>", "\"unterminated", "/* open",
             "( a, b ) junk"}) {
        auto r = parse(text);
        EXPECT_FALSE(r.ok()) << '"' << text << "\" read as " << ::testing::PrintToString(r->value);
    }
    for (const char* text : {"{\"a\": 1}", "[1,2]", "hello world", "   "}) {
        auto r = parse(text);
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.error().kind, Error::Kind::NotPropertyList) << text;
    }
}

TEST(PropertyList, RefusesOtherBinaryVersionsAndMalformedXml) {
    for (std::string bytes : {"bplist01" + std::string(40, '\0'), std::string("bplist00 short")}) {
        ASSERT_FALSE(parse(bytes).ok());
        EXPECT_EQ(parse(bytes).error().kind, Error::Kind::Binary);
    }
    ASSERT_FALSE(parse("<plist><foo/></plist>").ok());
    EXPECT_EQ(parse("<plist><foo/></plist>").error().kind, Error::Kind::Xml);
}

TEST(PropertyList, RefusesOldTextNestedDeeperThan512Levels) {
    std::string ok(kMaxNestingDepth, '('), deep(kMaxNestingDepth + 1, '(');
    ok += std::string(kMaxNestingDepth, ')');
    deep += std::string(kMaxNestingDepth + 1, ')');
    EXPECT_TRUE(parse(ok).ok());
    auto r = parse(deep);
    ASSERT_FALSE(r.ok());
}

TEST(PropertyList, RefusesOldTextEndingInAnUnterminatedComment) {
    for (const char* text : {"( a ) /* open", "bare /*", "a = b; /* c = d;"}) {
        auto r = parse(text);
        EXPECT_FALSE(r.ok()) << text << " read as " << ::testing::PrintToString(r->value);
    }
}

TEST(PropertyList, RecognisesOldTextStartingWithASingleQuote) {
    for (const char* text : {"'single'", "'a' = 'b';"}) {
        auto r = parse(text);
        ASSERT_TRUE(r.ok()) << text << ": " << messageOf(r);
        EXPECT_EQ(r->format, Format::OpenStep);
    }
    auto inside = parse("( 'single' )");
    ASSERT_TRUE(inside.ok()) << messageOf(inside);
    EXPECT_EQ(inside->value, arr({"single"}));
}

TEST(PropertyList, ReadsOldTextStringsAsUnicode) {
    // A byte that is not UTF-8 is the Latin-1 character of that value; \U escapes of a surrogate pair are one
    // character.
    auto latin1 = parse("\"caf\xE9\"");
    ASSERT_TRUE(latin1.ok());
    EXPECT_EQ(latin1->value.string(), "caf\u00e9");
    auto pair = parse("\"\\UD83D\\UDE00\"");
    ASSERT_TRUE(pair.ok());
    EXPECT_EQ(pair->value.string(), "\U0001F600");
    EXPECT_TRUE(serialize(pair->value, Format::Xml).ok());
}

TEST(PropertyList, WritesNoOldText) {
    auto r = serialize(arr({}), Format::OpenStep);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().kind, Error::Kind::Unrepresentable);
}

// A failed step throws from value() here, which the test reports as a failure.
TEST(PropertyList, RoundTripsThroughXmlAndBinary) {
    auto xml = serialize(everyType(), Format::Xml);
    ASSERT_TRUE(xml.ok()) << messageOf(xml);
    auto fromXml = parse(*xml);
    ASSERT_TRUE(fromXml.ok()) << messageOf(fromXml);
    EXPECT_EQ(serialize(fromXml->value, Format::Xml).value(), *xml);
    // XML -> binary recreates the uid from its CF$UID dictionary.
    auto fromBin = parse(serialize(fromXml->value, Format::Binary).value());
    ASSERT_TRUE(fromBin.ok()) << messageOf(fromBin);
    EXPECT_EQ(fromBin->value, everyType());
    EXPECT_EQ(parse(serialize(fromBin->value, Format::Binary).value()).value().value, everyType());
    EXPECT_EQ(serialize(fromBin->value, Format::Xml).value(), *xml);
}

TEST(PropertyList, ParsesALoneElementOrAWholeDocumentAsText) {
    struct Case {
        const char* text;
        Value value;
    } cases[] = {
        {"<date>2001-01-01T00:00:00Z</date>", Value(Date{0})},
        {"<string>a&amp;b</string>", "a&b"},
        {"<string><![CDATA[<x>]]></string>", "<x>"},
        {"<string>a<!-- note -->b</string>", "ab"},
        {"<!-- before --><?pi x?><integer>5</integer><!-- after -->", integer(5)},
        {"<array><string>x</string><data>AAE=</data></array>", arr({"x", data({0, 1})})},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n\t<key>k</key>\n"
         "\t<integer>1</integer>\n</dict>\n</plist>\n",
         dict({{"k", integer(1)}})},
    };
    for (const auto& c : cases) {
        auto r = parseText(c.text);
        ASSERT_TRUE(r.ok()) << c.text << ": " << messageOf(r);
        EXPECT_EQ(*r, c.value) << c.text;
    }
    for (const char* text :
         {"", "hello", "{ a = b; }", "<key>k</key>", "<string>a</string><string>b</string>", "<foo/>",
          "<integer>x</integer>", "<string>unclosed"})
        EXPECT_FALSE(parseText(text).ok()) << text;
}

TEST(PropertyList, ParseElementAgreesWithParseTextOnCanonicalLines) {
    // clang-format off
    const Value values[] = {"", "plain text", "a&b<c>\"d'e", "tab\there\nnew line\rcr\xC2\x85\xE2\x80\xA8\xE2\x80\xA9",
                            "h\xC3\xA9llo \xF0\x9F\x98\x80", "  padded  ", integer(0), integer(INT64_MIN),
                            Value::unsignedInteger(UINT64_MAX), Value(0.1 + 0.2), Value(-1e-300), Value(HUGE_VAL),
                            Value(-HUGE_VAL), Value(std::nan("")), Value(true), Value(false), Value(Date{730902896}),
                            Value(Date{-63113904000.0}), Value(Data()), data({0xFF, 0x00, 0x7F}), Value(Data(40, 0x11))};
    // clang-format on
    for (const Value& v : values) {
        auto xml = serialize(v, Format::Xml);
        ASSERT_TRUE(xml.ok()) << messageOf(xml);
        std::string element = xml->substr(kXmlHead.size(), xml->size() - kXmlHead.size() - kXmlTail.size());
        // Data spans lines; the editor joins them into one line before it asks for a fast read.
        std::string line;
        for (char c : element)
            if (c != '\n') line += c;
        auto fast = parseElement(line);
        auto slow = parseText(line);
        ASSERT_TRUE(fast.ok()) << line << ": " << messageOf(fast);
        ASSERT_TRUE(slow.ok()) << line << ": " << messageOf(slow);
        EXPECT_EQ(*fast, *slow) << line;
        EXPECT_EQ(*fast, v) << line;
        auto indented = parseElement("\t\t" + line + "\n");
        ASSERT_TRUE(indented.ok()) << line << ": " << messageOf(indented);
        EXPECT_EQ(*indented, v) << "indented " << line;
    }
}

TEST(PropertyList, ParseElementFallsBackForOtherForms) {
    struct Case {
        const char* line;
        Value value;
    } cases[] = {
        {"<string><![CDATA[a<b>&c]]></string>", "a<b>&c"},
        {"<string>a<!-- c -->b</string>", "ab"},
        {"<string>x&#x41;&#66;&quot;&apos;</string>", "xAB\"'"},
        {"<integer>&#49;</integer>", integer(1)},
        {"<integer><!-- c -->2</integer>", integer(2)},
        {"<real>&#49;.5</real>", Value(1.5)},
        {"<date>2001-01-01T00:00:00Z<!-- c --></date>", Value(Date{0})},
        {"<data>AA<![CDATA[E=]]></data>", data({0, 1})},
        {"<true />", Value(true)},
        {"<false> </false>", Value(false)},
        {"<string xml:space=\"preserve\">x</string>", "x"},
        {"<array><integer>1</integer></array>", arr({integer(1)})},
        {"<dict><key>k</key><string>v</string></dict>", dict({{"k", "v"}})},
        {"<string>carriage\r\nreturn</string>", "carriage\nreturn"},
    };
    for (const auto& c : cases) {
        auto fast = parseElement(c.line);
        ASSERT_TRUE(fast.ok()) << c.line << ": " << messageOf(fast);
        EXPECT_EQ(*fast, c.value) << c.line;
        auto slow = parseText(c.line);
        ASSERT_TRUE(slow.ok()) << c.line << ": " << messageOf(slow);
        EXPECT_EQ(*fast, *slow) << c.line;
    }
}

TEST(PropertyList, ParseElementRefusesWhatParseTextRefuses) {
    for (std::string line :
         {"<integer>x</integer>", "<integer>18446744073709551616</integer>", "<real>1.2.3</real>",
          "<date>yesterday</date>", "<date>2001-01-01T00:00:00.5Z</date>", "<data>!!</data>",
          "<string>&bogus;</string>", "<string>&#1;</string>", "<string>&amp</string>",
          "<string>&#xD800;</string>", "<integer>1</real>", "<string>a", "<key>k</key>", "<true>x</true>",
          "<string>\x01</string>"}) {
        EXPECT_FALSE(parseText(line).ok()) << line;
        EXPECT_FALSE(parseElement(line).ok()) << line;
    }
}

TEST(PropertyList, ParseElementRefusesLinesThatAreNotWellFormedXml) {
    for (std::string line :
         {"<string>\xFF</string>", "<string>\xED\xA0\x80</string>", "<string>a]]>b</string>"}) {
        EXPECT_FALSE(parseText(line).ok()) << line;
        EXPECT_FALSE(parseElement(line).ok()) << line;
    }
}

TEST(PropertyList, ParseElementLeavesUnusualReferencesToTheXmlParser) {
    auto longReference = parseElement("<string>&#x00000000041;</string>");
    ASSERT_TRUE(longReference.ok()) << longReference.error().message;
    EXPECT_EQ(longReference->string(), "A");
    // Two surrogate references in our own text are one character.
    auto pair = parseElement("<string>&#xD83D;&#xDE00;</string>", true);
    ASSERT_TRUE(pair.ok());
    EXPECT_EQ(pair->string(), "\U0001F600");
}

TEST(PropertyList, ExactParseElementReadsWhatOnlyTheExactWriterWrites) {
    auto s = parseElement("<string>&#1;&#55296;&#65535;</string>", true);
    ASSERT_TRUE(s.ok()) << messageOf(s);
    EXPECT_EQ(*s, Value("\x01\xED\xA0\x80\xEF\xBF\xBF"));
    auto d = parseElement("<date>#-1e+300</date>", true);
    ASSERT_TRUE(d.ok()) << messageOf(d);
    EXPECT_EQ(*d, Value(Date{-1e300}));
    EXPECT_FALSE(parseElement("<date>#-1e+300</date>").ok());
    EXPECT_FALSE(parseElement("<string>&#1114112;</string>", true).ok());
}

TEST(PropertyList, ReadsXmlTextAsUtf8InTheFilesLineLayout) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<plist version=\"1.0\">\r\n"
                       "<string>caf\xC3\xA9</string>\r\n</plist>\r\n";
    for (bool bigEndian : {false, true}) {
        auto r = readXmlText((bigEndian ? "\xFE\xFF" : "\xFF\xFE") + utf16(text, bigEndian));
        ASSERT_TRUE(r.ok()) << messageOf(r);
        EXPECT_EQ(*r, text);
    }
    auto noBom = readXmlText(utf16("<string>caf\xC3\xA9</string>\n", false));
    ASSERT_TRUE(noBom.ok()) << messageOf(noBom);
    EXPECT_EQ(*noBom, "<string>caf\xC3\xA9</string>\n");

    auto latin = readXmlText("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<string>caf\xE9</string>\n");
    ASSERT_TRUE(latin.ok()) << messageOf(latin);
    EXPECT_EQ(*latin, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<string>caf\xC3\xA9</string>\n");

    auto bom = readXmlText("\xEF\xBB\xBF<plist>\n\t<true/>\n</plist>");
    ASSERT_TRUE(bom.ok()) << messageOf(bom);
    EXPECT_EQ(*bom, "<plist>\n\t<true/>\n</plist>");

    EXPECT_FALSE(readXmlText("<plist><true/>").ok());
    EXPECT_FALSE(readXmlText("").ok());
}

TEST(PropertyList, AnIndependentReaderSeesTheSameValues) {
    if (std::system("python3 -c 'import plistlib' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3 with plistlib is not installed: no independent reader to compare with";
    std::string base = ::testing::TempDir() + "vantrel_plist_crosscheck_" + std::to_string(getpid());
    std::string xmlPath = base + ".xml.plist", binPath = base + ".bin.plist";
    for (auto [path, format] : {std::pair{xmlPath, Format::Xml}, std::pair{binPath, Format::Binary}}) {
        auto bytes = serialize(everyType(), format);
        ASSERT_TRUE(bytes.ok()) << messageOf(bytes);
        std::ofstream(path, std::ios::binary) << *bytes;
    }
    const char* script = R"py(
import datetime, plistlib, sys
exp = {"string": "h\u00e9llo \u2603 \U0001F600", "escapes": "a&b<c>\t\n\r", "neg": -42, "min": -2**63,
       "max": 2**63 - 1, "big": 2**64 - 1, "real": 0.30000000000000004, "inf": float("inf"), "tiny": 5e-324,
       "yes": True, "no": False, "date": datetime.datetime(2024, 2, 29, 12, 34, 56),
       "old": datetime.datetime(1900, 3, 1), "data": bytes(range(256)), "nodata": b"",
       "array": ["a", [], {}, [1, [2]]], "nested": {"k": {"l": "m"}}, "": "empty key"}
for path, uid in ((sys.argv[1], {"CF$UID": 7}), (sys.argv[2], plistlib.UID(7))):
    with open(path, "rb") as f:
        got = plistlib.load(f)
    want = dict(exp, uid=uid)
    if got != want or list(got) != list(want):
        print(path, "reads as", repr(got))
        sys.exit(1)
)py";
    std::string command = std::string("python3 -c '") + script + "' '" + xmlPath + "' '" + binPath + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, pipe))
        output.append(buf, n);
    int status = pclose(pipe);
    std::remove(xmlPath.c_str());
    std::remove(binPath.c_str());
    EXPECT_EQ(status, 0) << output;
}
