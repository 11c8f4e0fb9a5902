#include <optional>

#include "PlistTestSupport.h"
#include "platform/plist/PropertyList.h"

using namespace plist;
using namespace plist::test;

namespace {

// Every type, written the way the editor writes it; a uid only binary holds as one.
Value withUid() {
    Value::Dictionary d = everyType().dictionary();
    d.push_back({"uid", Value(Uid{7})});
    return Value(std::move(d));
}

} // namespace

// A failed step throws from value() here, which the test reports as a failure.
TEST(PropertyList, RoundTripsThroughXmlAndBinaryRecognisingEach) {
    const std::string xml = serialize(withUid(), Format::Xml).value();
    Parsed fromXml = parse(xml).value();
    EXPECT_EQ(std::pair(int(fromXml.format), fromXml.hasPlistElement), std::pair(100, true));
    // The XML reader gives a uid back as its {"CF$UID": n} dictionary, from which binary recreates the uid.
    Value uidAsDictionary = withUid();
    uidAsDictionary.dictionary().back().second = dict({{"CF$UID", integer(7)}});
    EXPECT_EQ(fromXml.value, uidAsDictionary);
    EXPECT_EQ(serialize(fromXml.value, Format::Xml).value(), xml);
    Parsed fromBin = parse(serialize(fromXml.value, Format::Binary).value()).value();
    EXPECT_EQ(int(fromBin.format), 200);
    EXPECT_EQ(fromBin.value, withUid());
    EXPECT_EQ(parse(serialize(fromBin.value, Format::Binary).value()).value().value, withUid());
    EXPECT_EQ(serialize(fromBin.value, Format::Xml).value(), xml);
    // A lone element after a UTF-8 byte-order mark is XML too; old text is read, never written.
    Parsed lone = parse("\xEF\xBB\xBF  <string>x</string>").value();
    EXPECT_EQ(std::pair(lone.format, lone.hasPlistElement), std::pair(Format::Xml, false));
    EXPECT_EQ(kindOf(serialize(arr({}), Format::OpenStep)), Error::Kind::Unrepresentable);
}

// A byte that is not UTF-8 is the Latin-1 character of that value; a surrogate pair is one character however
// its halves are written (escapes, three-byte sequences, or one of each), and a lone half stays as it is.
TEST(PropertyList, RecognisesOldTextDocumentsAndReadsTheirStringsAsUnicode) {
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
        {"'single'", "single"}, {"'a' = 'b';", dict({{"a", "b"}})}, {"\"caf\xE9\"", "caf\u00e9"},
        {"\"\\UD83D\\UDE00\"", "\U0001F600"}, {"\"\\UD83D\xED\xB8\x80\"", "\U0001F600"},
        {"\"\xED\xA0\xBD\\UDE00\"", "\U0001F600"}, {"\"\xED\xA0\xBD\xED\xB8\x80\"", "\U0001F600"},
        {"\"\\UDE00\\UD83D\"", "\xED\xB8\x80\xED\xA0\xBD"}, {deepest, nestedArrays(kMaxNestingDepth)}};
    // clang-format on
    for (const auto& [text, value] : cases) {
        auto r = parse(text);
        EXPECT_EQ(r.ok() ? std::pair(int(r->format), r->value) : std::pair(0, Value(messageOf(r))),
                  std::pair(1, value))
            << text;
    }
}

TEST(PropertyList, RefusesEmptyBytesJsonOtherDataOtherBinaryVersionsAndMalformedText) {
    using K = Error::Kind;
    // clang-format off
    const std::pair<std::string, std::optional<K>> cases[] = {
        {"", K::Empty}, {"{\"a\": 1}", K::NotPropertyList}, {"hello world", K::NotPropertyList},
        {"   ", K::NotPropertyList}, {"bplist00 short", K::Binary},
        {"bplist01" + std::string(40, '\0'), K::Binary}, {"<plist><foo/></plist>", K::Xml}, {"[1,2]", {}},
        {std::string("\x00\x01\x02\x03", 4), {}}, {"\x89PNG\r\n\x1A\n", {}}, {"key: value", {}},
        {"a = b", {}}, {"{ a = 1 }", {}}, {"( a b )", {}}, {"{ a = ; }", {}}, {"<0fb>", {}}, {"<xyz>", {}},
        {"\"unterminated", {}}, {"( a, b ) junk", {}}, {"( a ) /* open", {}}, {"bare /*", {}},
        {"a = b; /* c = d;", {}},
        {std::string(kMaxNestingDepth + 1, '(') + std::string(kMaxNestingDepth + 1, ')'), {}}};
    // clang-format on
    for (const auto& [text, kind] : cases) {
        auto r = parse(text);
        EXPECT_FALSE(r.ok()) << '"' << text << "\" read as " << ::testing::PrintToString(r->value);
        EXPECT_EQ(kindOf(r), kind ? kind : kindOf(r)) << text;
    }
}

// What the fast path does not read itself goes to the XML parser: the answer must be the same, refusals of
// lines that are not well-formed XML included. Exact forms are read only when asked for; two surrogate
// references in our own text are one character, and one past U+10FFFF is refused.
TEST(PropertyList, ParseElementAnswersAsTheXmlParser) {
    // clang-format off
    const std::pair<const char*, Value> cases[] = {
        {"<string><![CDATA[a<b>&c]]></string>", "a<b>&c"}, {"<integer><!-- c -->2</integer>", integer(2)},
        {"<string>x&#x41;&#66;&quot;&apos;</string>", "xAB\"'"}, {"<real>&#49;.5</real>", Value(1.5)},
        {"<false> </false>", Value(false)}, {"<dict><key>k</key><string>v</string></dict>", dict({{"k", "v"}})},
        {"<string>carriage\r\nreturn</string>", "carriage\nreturn"}, {"<string>&#x00000000041;</string>", "A"},
        {"<!-- before --><?pi x?><integer>5</integer><!-- after -->", integer(5)}};
    // clang-format on
    for (const auto& [line, value] : cases) {
        EXPECT_EQ(valueOf(parseElement(line)), value) << line;
        EXPECT_EQ(valueOf(parseText(line)), value) << line;
    }
    for (std::string line :
         {"<integer>18446744073709551616</integer>", "<real>1.2.3</real>", "<data>!!</data>",
          "<date>2001-01-01T00:00:00.5Z</date>", "<string>&bogus;</string>", "<string>&#1;</string>",
          "<string>&amp</string>", "<string>&#xD800;</string>", "<integer>1</real>", "<string>a",
          "<key>k</key>", "<true>x</true>", "<string>\x01</string>", "", "<a/><b/>", "<string>\xFF</string>",
          "<string>\xED\xA0\x80</string>", "<string>a]]>b</string>", "<date>#-1e+300</date>"})
        EXPECT_FALSE(parseText(line).ok() || parseElement(line).ok()) << line;
    EXPECT_EQ(valueOf(parseElement("<string>&#xD83D;&#xDE00;</string>", true)), Value("\U0001F600"));
    EXPECT_FALSE(parseElement("<string>&#1114112;</string>", true).ok());
}

// UTF-16 with a byte-order mark is read whichever the byte order.
TEST(PropertyList, ReadsXmlTextAsUtf8InTheFilesLineLayout) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<plist version=\"1.0\">\r\n"
                       "<string>caf\xC3\xA9 \xF0\x9F\x98\x80</string>\r\n</plist>\r\n";
    for (bool bigEndian : {false, true}) {
        std::string bytes = (bigEndian ? "\xFE\xFF" : "\xFF\xFE") + utf16(text, bigEndian);
        EXPECT_EQ(readXmlText(bytes).value(), text);
        EXPECT_EQ(parse(bytes).value().value, Value("caf\xC3\xA9 \xF0\x9F\x98\x80"));
    }
    EXPECT_EQ(readXmlText(utf16("<string>caf\xC3\xA9</string>\n", false)).value(),
              "<string>caf\xC3\xA9</string>\n");
    EXPECT_EQ(
        readXmlText("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<string>caf\xE9</string>").value(),
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<string>caf\xC3\xA9</string>");
    EXPECT_EQ(readXmlText("\xEF\xBB\xBF<plist>\n\t<true/>\n</plist>").value(),
              "<plist>\n\t<true/>\n</plist>");
    EXPECT_FALSE(readXmlText("<plist><true/>").ok());
}

// python3's plistlib reads what the editor writes as XML (the loading tests check that) and sees the same in
// the binary form, uid and all.
TEST(PropertyList, AnXmlParseToTextTellsHowFarItHasComeAndStopsWhenTold) {
    std::string xml = "<array>";
    for (int i = 0; i < 10000; ++i)
        xml += "<true/>";
    xml += "</array>";
    std::vector<uint64_t> seen;
    auto r = parseToXmlText(xml, {}, [&](uint64_t done, uint64_t total) {
        seen.push_back(done);
        return total == xml.size() && seen.size() < 2;
    });
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().kind, Error::Kind::Cancelled);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_TRUE(0 < seen[0] && seen[0] < seen[1] && seen[1] < xml.size());
}

TEST(PropertyList, AnIndependentReaderSeesTheSameValues) {
    if (!hasPython3())
        GTEST_SKIP() << "python3 with plistlib is not installed: no independent reader to compare with";
    TempDir dir;
    writeFile(dir / "xml.plist", serialize(withUid(), Format::Xml).value());
    writeFile(dir / "bin.plist", serialize(withUid(), Format::Binary).value());
    const char* script = R"py(
import plistlib, sys
xml, binary = (plistlib.load(open(path, "rb")) for path in sys.argv[1:])
uid = binary.pop("uid")
if xml.pop("uid") != {"CF$UID": 7} or uid != plistlib.UID(7) or xml != binary or list(xml) != list(binary) \
        or [type(v) for v in xml.values()] != [type(v) for v in binary.values()] or binary["big"] != 2**64 - 1:
    sys.exit("the binary form reads as " + repr(binary))
)py";
    EXPECT_EQ(runPython(script, {dir / "xml.plist", dir / "bin.plist"}), 0);
}
