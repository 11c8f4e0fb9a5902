#include <cmath>
#include <limits>

#include "PlistTestSupport.h"
#include "platform/plist/PropertyList.h"

using namespace plist;
using namespace plist::test;

// Data is base64 at the element's indent, in lines that fill 76 columns with a tab counted as eight. & < >
// are entities; tab, LF, CR, NEL, LS and PS are references, so that no value spans lines; other characters
// XML holds stay as they are.
TEST(XmlWriter, WritesNestedContainersDataUidsAndEscapesInThePublishedLayout) {
    Data longData(100);
    for (size_t i = 0; i < longData.size(); ++i)
        longData[i] = uint8_t(i * 7 + 3);
    Value v = dict({{"string", "h\xC3\xA9llo \xE2\x98\x83"},
                    {"data", data({0x00, 0x01, 0x02, 0xFF})},
                    {"long data", Value(longData)},
                    {"array", arr({"a", arr({}), dict({}), data({'h', 'i'}), arr({integer(1)})})},
                    {"uid", Value(Uid{3})},
                    {"a&b<c>d\te\nf\rg\xC2\x85h\xE2\x80\xA8i\xE2\x80\xA9j\"k'l",
                     "\t\r&\x7F \xC2\x80 \xC2\x9F \xED\x9F\xBF \xEE\x80\x80 \xEF\xBF\xBD \xF0\x9F\x98\x80 "
                     "\xF4\x8F\xBF\xBD"}});
    const char* expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
        "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\">\n"
        "<dict>\n\t<key>string</key>\n\t<string>h\xC3\xA9llo \xE2\x98\x83</string>\n"
        "\t<key>data</key>\n\t<data>\n\tAAEC/w==\n\t</data>\n"
        "\t<key>long data</key>\n\t<data>\n"
        "\tAwoRGB8mLTQ7QklQV15lbHN6gYiPlp2kq7K5wMfO1dzj6vH4/wYNFBsiKTA3PkVMU1ph\n"
        "\taG92fYSLkpmgp661vMPK0djf5u30+wIJEBceJSwzOkFIT1ZdZGtyeYCHjpWco6qxuA==\n"
        "\t</data>\n"
        "\t<key>array</key>\n\t<array>\n\t\t<string>a</string>\n\t\t<array/>\n\t\t<dict/>\n"
        "\t\t<data>\n\t\taGk=\n\t\t</data>\n\t\t<array>\n\t\t\t<integer>1</integer>\n\t\t</array>\n\t</"
        "array>\n"
        "\t<key>uid</key>\n\t<dict>\n\t\t<key>CF$UID</key>\n\t\t<integer>3</integer>\n\t</dict>\n"
        "\t<key>a&amp;b&lt;c&gt;d&#9;e&#10;f&#13;g&#133;h&#8232;i&#8233;j\"k'l</key>\n"
        "\t<string>&#9;&#13;&amp;\x7F \xC2\x80 \xC2\x9F \xED\x9F\xBF \xEE\x80\x80 \xEF\xBF\xBD "
        "\xF0\x9F\x98\x80 \xF4\x8F\xBF\xBD</string>\n"
        "</dict>\n</plist>\n";
    EXPECT_EQ(serialize(v, Format::Xml).value(), expected);
}

// Reals in the shortest form that reads back; dates as whole seconds UTC, a fraction before 2001 still
// belonging to the earlier second.
TEST(XmlWriter, WritesScalarsAndEmptyContainersAsTheTopElement) {
    // clang-format off
    const std::pair<Value, const char*> cases[] = {
        {Value(""), "<string></string>"}, {Value(Value::Array()), "<array/>"},
        {Value(Value::Dictionary()), "<dict/>"}, {Value(Data()), "<data>\n</data>"},
        {data({'a', 'b', 'c'}), "<data>\nYWJj\n</data>"}, {Value(true), "<true/>"}, {Value(false), "<false/>"},
        {integer(INT64_MIN), "<integer>-9223372036854775808</integer>"},
        {Value::unsignedInteger(UINT64_MAX), "<integer>18446744073709551615</integer>"},
        {Value(Date{730902896}), "<date>2024-02-29T12:34:56Z</date>"},
        {Value(Uid{0}), "<dict>\n\t<key>CF$UID</key>\n\t<integer>0</integer>\n</dict>"},
        {Value(Date{0.999}), "<date>2001-01-01T00:00:00Z</date>"},
        {Value(Date{-0.5}), "<date>2000-12-31T23:59:59Z</date>"},
        {Value(Date{-63113904000.0}), "<date>0001-01-01T00:00:00Z</date>"},
        {Value(Date{252423993599.0}), "<date>9999-12-31T23:59:59Z</date>"},
        {Value(2.0), "<real>2</real>"}, {Value(0.1 + 0.2), "<real>0.30000000000000004</real>"},
        {Value(1e20), "<real>1e+20</real>"}, {Value(1e-7), "<real>1e-07</real>"}, {Value(5e-324), "<real>5e-324</real>"},
        {Value(std::numeric_limits<double>::max()), "<real>1.7976931348623157e+308</real>"},
        {Value(HUGE_VAL), "<real>+infinity</real>"}, {Value(-HUGE_VAL), "<real>-infinity</real>"},
        {Value(std::nan("")), "<real>nan</real>"}};
    // clang-format on
    for (const auto& [value, element] : cases) {
        EXPECT_EQ(bodyOf(writeXml(value)), element);
        if (value.type() == Value::Type::Real) {
            EXPECT_EQ(valueOf(parseText(element)), value) << element;
        }
    }
}

// Control characters, NUL, lone surrogates, U+FFFE and U+FFFF, and dates outside years 1 to 9999 are refused
// as values, keys and array items; the exact form writes each on one line that parseElement reads back.
TEST(XmlWriter, RefusesWhatXmlCannotHoldAndTheExactFormKeepsIt) {
    std::vector<Value> refused{Value("\xFF")}; // not UTF-8 at all
    for (std::string s :
         {std::string("\x01"), std::string("a\0b", 3), std::string("\x1F"), std::string("\xED\xA0\x80"),
          std::string("x\xED\xBF\xBFy"), std::string("\xEF\xBF\xBE"), std::string("\xEF\xBF\xBF")})
        refused.insert(refused.end(), {Value(s), dict({{s, integer(1)}}), arr({Value(s)})});
    for (double s : {-63113904001.0, 252423993600.0, -1e300, 1e300, HUGE_VAL, -HUGE_VAL, std::nan("")})
        refused.insert(refused.end(), {Value(Date{s}), arr({Value(Date{s})})});
    for (const Value& v : refused) {
        EXPECT_EQ(kindOf(writeXml(v)), Error::Kind::Unrepresentable) << bodyOf(writeXml(v));
        std::string line = bodyOf(writeXml(v, {.exact = true}));
        if (!v.isContainer() && v != Value("\xFF")) {
            EXPECT_EQ(valueOf(parseElement(line, true)), v) << line;
        }
    }
    for (const Value& v :
         {Value("\t\n\r&<>\xC2\x85"), Value(Date{0.25}), Value(Date{-0.75}), Value(Date{-978307200.125})})
        EXPECT_EQ(valueOf(parseElement(bodyOf(writeXml(v, {.exact = true})), true)), v);
    EXPECT_EQ(bodyOf(writeXml(Value("\xED\xA0\x80"), {.exact = true})), "<string>&#55296;</string>");
    EXPECT_EQ(bodyOf(writeXml(Value(Date{0.25}), {.exact = true})), "<date>2001-01-01T00:00:00.25Z</date>");
    // Whole seconds keep the published form, which every reader understands.
    EXPECT_EQ(bodyOf(writeXml(Value(Date{0}), {.exact = true})), "<date>2001-01-01T00:00:00Z</date>");
}

// A uid is written as a dictionary, so it counts as a level too.
TEST(XmlWriter, WritesNestingUpTo512LevelsThatReadBackAndRefusesDeeper) {
    EXPECT_EQ(parse(writeXml(nestedArrays(kMaxNestingDepth)).value()).value().value,
              nestedArrays(kMaxNestingDepth));
    for (const Value& v :
         {nestedArrays(kMaxNestingDepth + 1), nestedArrays(kMaxNestingDepth, arr({Value(Uid{1})}))})
        EXPECT_EQ(kindOf(writeXml(v)), Error::Kind::TooDeep);
}
