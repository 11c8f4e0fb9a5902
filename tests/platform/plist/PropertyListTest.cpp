#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numeric>
#include <optional>

#include "PlistTestSupport.h"
#include "platform/plist/PropertyList.h"

using namespace plist;
using namespace plist::test;

namespace {

// A document with every type, written the way the editor writes it.
Value everyType() {
    Data bytes(256);
    std::iota(bytes.begin(), bytes.end(), uint8_t(0));
    // clang-format off
    return dict({{"string", "h\xC3\xA9llo \xE2\x98\x83 \xF0\x9F\x98\x80"}, {"escapes", "a&b<c>\t\n\r"},
                 {"neg", integer(-42)}, {"min", integer(INT64_MIN)}, {"max", integer(INT64_MAX)},
                 {"big", Value::unsignedInteger(UINT64_MAX)}, {"real", Value(0.1 + 0.2)},
                 {"inf", Value(HUGE_VAL)}, {"tiny", Value(5e-324)}, {"yes", Value(true)},
                 {"no", Value(false)}, {"date", Value(Date{730902896})}, {"old", Value(Date{-3182198400})},
                 {"data", Value(bytes)}, {"nodata", Value(Data())},
                 {"array", arr({"a", arr({}), dict({}), arr({integer(1), arr({integer(2)})})})},
                 {"nested", dict({{"k", dict({{"l", "m"}})}})}, {"", "empty key"}, {"uid", Value(Uid{7})}});
    // clang-format on
}

} // namespace

// A failed step throws from value() here, which the test reports as a failure.
TEST(PropertyList, RoundTripsThroughXmlAndBinaryRecognisingEach) {
    const std::string xml = serialize(everyType(), Format::Xml).value();
    Parsed fromXml = parse(xml).value();
    EXPECT_EQ(int(fromXml.format), 100);
    EXPECT_TRUE(fromXml.hasPlistElement);
    // The XML reader gives a uid back as its {"CF$UID": n} dictionary, from which binary recreates the uid.
    Value uidAsDictionary = everyType();
    uidAsDictionary.dictionary().back().second = dict({{"CF$UID", integer(7)}});
    EXPECT_EQ(fromXml.value, uidAsDictionary);
    EXPECT_EQ(serialize(fromXml.value, Format::Xml).value(), xml);
    Parsed fromBin = parse(serialize(fromXml.value, Format::Binary).value()).value();
    EXPECT_EQ(int(fromBin.format), 200);
    EXPECT_EQ(fromBin.value, everyType());
    EXPECT_EQ(parse(serialize(fromBin.value, Format::Binary).value()).value().value, everyType());
    EXPECT_EQ(serialize(fromBin.value, Format::Xml).value(), xml);

    // UTF-16 with a byte-order mark, and a lone element after a UTF-8 one, are XML too.
    std::string utf16Text = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<plist version=\"1.0\">\n"
                            "<array><string>caf\xC3\xA9</string></array>\n</plist>\n";
    for (bool bigEndian : {false, true})
        EXPECT_EQ(parse((bigEndian ? "\xFE\xFF" : "\xFF\xFE") + utf16(utf16Text, bigEndian)).value().value,
                  arr({"caf\xC3\xA9"}));
    Parsed lone = parse("\xEF\xBB\xBF  <string>x</string>").value();
    EXPECT_EQ(lone.format, Format::Xml);
    EXPECT_FALSE(lone.hasPlistElement);
    // Old text is read, never written.
    EXPECT_EQ(serialize(arr({}), Format::OpenStep).error().kind, Error::Kind::Unrepresentable);
}

TEST(PropertyList, RecognisesOldTextDocuments) {
    std::string deepest = std::string(kMaxNestingDepth, '(') + std::string(kMaxNestingDepth, ')');
    // clang-format off
    const std::pair<std::string, Value> cases[] = {
        {"{ a = 1; b = (x, \"y z\"); c = <0fbd>; }",
         dict({{"a", "1"}, {"b", arr({"x", "y z"})}, {"c", data({0x0F, 0xBD})}})},
        {"( a, b, )", arr({"a", "b"})}, {"\"esc\\n\\t\\\"\\101\\U00e9\"", "esc\n\t\"A\xC3\xA9"},
        {"path/to_file-1.2:$x+", "path/to_file-1.2:$x+"},
        {"\"k 1\" = \"v 1\";\n\"k 2\" = (x);", dict({{"k 1", "v 1"}, {"k 2", arr({"x"})}})},
        {"// a comment\n{ /* inside */ a = /* here */ b; } // after", dict({{"a", "b"}})},
        {"/* first */ ( x /* between */, y )\n// end", arr({"x", "y"})},
        {deepest, nestedArrays(kMaxNestingDepth)}};
    // clang-format on
    for (const auto& [text, value] : cases) {
        auto r = parse(text);
        ASSERT_TRUE(r.ok()) << text << ": " << messageOf(r);
        EXPECT_EQ(int(r->format), 1) << text;
        EXPECT_EQ(r->value, value) << text;
    }
}

TEST(PropertyList, RecognisesOldTextStartingWithASingleQuote) {
    EXPECT_EQ(parse("'single'").value().value, Value("single"));
    EXPECT_EQ(parse("'a' = 'b';").value().value, dict({{"a", "b"}}));
    EXPECT_EQ(parse("( 'single' )").value().value, arr({"single"}));
}

// A byte that is not UTF-8 is the Latin-1 character of that value; a surrogate pair is one character however
// its halves are written (escapes, three-byte sequences, or one of each), and a lone half stays as it is.
TEST(PropertyList, ReadsOldTextStringsAsUnicode) {
    EXPECT_EQ(parse("\"caf\xE9\"").value().value, Value("caf\u00e9"));
    for (const char* text : {"\"\\UD83D\\UDE00\"", "\"\\UD83D\xED\xB8\x80\"", "\"\xED\xA0\xBD\\UDE00\"",
                             "\"\xED\xA0\xBD\xED\xB8\x80\""})
        EXPECT_EQ(parse(text).value().value, Value("\U0001F600")) << text;
    EXPECT_EQ(parse("\"\\UDE00\\UD83D\"").value().value, Value("\xED\xB8\x80\xED\xA0\xBD"));
}

TEST(PropertyList, RefusesOldTextEndingInAnUnterminatedComment) {
    for (const char* text : {"( a ) /* open", "bare /*", "a = b; /* c = d;"})
        EXPECT_FALSE(parse(text).ok()) << text;
}

TEST(PropertyList, RefusesEmptyBytesJsonOtherDataOtherBinaryVersionsAndMalformedXml) {
    using K = Error::Kind;
    // clang-format off
    const std::pair<std::string, std::optional<K>> cases[] = {
        {"", K::Empty}, {"{\"a\": 1}", K::NotPropertyList}, {"hello world", K::NotPropertyList},
        {"   ", K::NotPropertyList}, {"bplist00 short", K::Binary},
        {"bplist01" + std::string(40, '\0'), K::Binary}, {"<plist><foo/></plist>", K::Xml}, {"[1,2]", {}},
        {std::string("\x00\x01\x02\x03", 4), {}}, {"\x89PNG\r\n\x1A\n", {}}, {"key: value", {}},
        {"a = b", {}}, {"{ a = 1 }", {}}, {"( a b )", {}}, {"{ a = ; }", {}}, {"<0fb>", {}}, {"<xyz>", {}},
        {"\"unterminated", {}}, {"( a, b ) junk", {}},
        {std::string(kMaxNestingDepth + 1, '(') + std::string(kMaxNestingDepth + 1, ')'), {}}};
    // clang-format on
    for (const auto& [text, kind] : cases) {
        auto r = parse(text);
        ASSERT_FALSE(r.ok()) << '"' << text << "\" read as " << ::testing::PrintToString(r->value);
        EXPECT_EQ(r.error().kind, kind.value_or(r.error().kind)) << text;
    }
}

// What the fast path does not read itself goes to the XML parser: the answer must be the same.
TEST(PropertyList, ParseElementLeavesOtherFormsAndUnusualReferencesToTheXmlParser) {
    // clang-format off
    const std::pair<const char*, Value> cases[] = {
        {"<string><![CDATA[a<b>&c]]></string>", "a<b>&c"}, {"<integer><!-- c -->2</integer>", integer(2)},
        {"<string>x&#x41;&#66;&quot;&apos;</string>", "xAB\"'"}, {"<real>&#49;.5</real>", Value(1.5)},
        {"<false> </false>", Value(false)},
        {"<dict><key>k</key><string>v</string></dict>", dict({{"k", "v"}})},
        {"<string>carriage\r\nreturn</string>", "carriage\nreturn"},
        {"<string>&#x00000000041;</string>", "A"},
        {"<!-- before --><?pi x?><integer>5</integer><!-- after -->", integer(5)}};
    // clang-format on
    for (const auto& [line, value] : cases) {
        EXPECT_EQ(parseElement(line).value(), value) << line;
        EXPECT_EQ(parseText(line).value(), value) << line;
    }
}

TEST(PropertyList, ParseElementRefusesWhatParseTextRefuses) {
    for (std::string line :
         {"<integer>18446744073709551616</integer>", "<real>1.2.3</real>", "<data>!!</data>",
          "<date>2001-01-01T00:00:00.5Z</date>", "<string>&bogus;</string>", "<string>&#1;</string>",
          "<string>&amp</string>", "<string>&#xD800;</string>", "<integer>1</real>", "<string>a",
          "<key>k</key>", "<true>x</true>", "<string>\x01</string>", "", "<a/><b/>"})
        EXPECT_FALSE(parseText(line).ok() || parseElement(line).ok()) << line;
}

TEST(PropertyList, ParseElementRefusesLinesThatAreNotWellFormedXml) {
    for (std::string line :
         {"<string>\xFF</string>", "<string>\xED\xA0\x80</string>", "<string>a]]>b</string>"})
        EXPECT_FALSE(parseText(line).ok() || parseElement(line).ok()) << line;
}

TEST(PropertyList, ExactParseElementReadsWhatOnlyTheExactWriterWrites) {
    EXPECT_EQ(parseElement("<string>&#1;&#55296;&#65535;</string>", true).value(),
              Value("\x01\xED\xA0\x80\xEF\xBF\xBF"));
    EXPECT_EQ(parseElement("<date>#-1e+300</date>", true).value(), Value(Date{-1e300}));
    EXPECT_FALSE(parseElement("<date>#-1e+300</date>").ok());
    EXPECT_FALSE(parseElement("<string>&#1114112;</string>", true).ok());
    // Two surrogate references in our own text are one character.
    EXPECT_EQ(parseElement("<string>&#xD83D;&#xDE00;</string>", true).value(), Value("\U0001F600"));
}

TEST(PropertyList, ReadsXmlTextAsUtf8InTheFilesLineLayout) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<plist version=\"1.0\">\r\n"
                       "<string>caf\xC3\xA9</string>\r\n</plist>\r\n";
    for (bool bigEndian : {false, true})
        EXPECT_EQ(readXmlText((bigEndian ? "\xFE\xFF" : "\xFF\xFE") + utf16(text, bigEndian)).value(), text);
    EXPECT_EQ(readXmlText(utf16("<string>caf\xC3\xA9</string>\n", false)).value(),
              "<string>caf\xC3\xA9</string>\n");
    EXPECT_EQ(
        readXmlText("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<string>caf\xE9</string>").value(),
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<string>caf\xC3\xA9</string>");
    EXPECT_EQ(readXmlText("\xEF\xBB\xBF<plist>\n\t<true/>\n</plist>").value(),
              "<plist>\n\t<true/>\n</plist>");
    EXPECT_FALSE(readXmlText("<plist><true/>").ok());
}

TEST(PropertyList, AnIndependentReaderSeesTheSameValues) {
    if (std::system("python3 -c 'import plistlib' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3 with plistlib is not installed: no independent reader to compare with";
    std::string base = ::testing::TempDir() + "vantrel_plist_crosscheck_" + std::to_string(getpid());
    std::string xmlPath = base + ".xml.plist", binPath = base + ".bin.plist";
    std::ofstream(xmlPath, std::ios::binary) << serialize(everyType(), Format::Xml).value();
    std::ofstream(binPath, std::ios::binary) << serialize(everyType(), Format::Binary).value();
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
        sys.exit(path + " reads as " + repr(got))
)py";
    int status =
        std::system(("python3 -c '" + std::string(script) + "' '" + xmlPath + "' '" + binPath + "'").c_str());
    std::remove(xmlPath.c_str());
    std::remove(binPath.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "python3 exited with " << status;
}
