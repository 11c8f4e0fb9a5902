#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ModelTestSupport.h"
#include "model/PlistDocument.h"
#include "model/PlistReader.h"

using namespace model;
using namespace model::test;

namespace {

constexpr const char* kPlistLine = "<plist version=\"1.0\">";

// The lines of body (separated by line feeds) after a plist line, each ended by lineEnd.
std::string text(std::string_view body, const std::string& lineEnd = "\n") {
    std::string s = std::string(kPlistLine) + lineEnd;
    for (char c : std::string(body) + "\n</plist>\n")
        s += c == '\n' ? lineEnd : std::string(1, c);
    return s;
}

// clang-format off
const std::vector<std::string> kEveryType = {
    "<dict>",
    "\t<key>s</key>", "\t<string>h\xC3\xA9llo &amp; more</string>",
    "\t<key>i</key>", "\t<integer>-42</integer>",
    "\t<key>r</key>", "\t<real>2.5</real>",
    "\t<key>t</key>", "\t<true/>",
    "\t<key>f</key>", "\t<false/>",
    "\t<key>d</key>", "\t<date>2001-01-01T00:01:00Z</date>",
    "\t<key>x</key>", "\t<data>", "\tSGVs", "\tbG8=", "\t</data>",
    "\t<key>a &amp; b</key>", "\t<array>", "\t\t<integer>1</integer>", "\t\t<array/>", "\t\t<dict/>", "\t</array>",
    "</dict>"};
// clang-format on

std::string everyTypeText() {
    std::string s;
    for (const auto& l : kEveryType)
        s += (s.empty() ? "" : "\n") + l;
    return s;
}

void expectEveryType(const EntryRef& root) {
    ASSERT_TRUE(root);
    ASSERT_EQ(root->type(), EntryType::Dictionary);
    ASSERT_EQ(root->childCount(), 8u);
    const Children& c = root->child();
    EXPECT_EQ(c[0]->key, "s");
    EXPECT_EQ(c[0]->stringValue(), "h\xC3\xA9llo & more");
    EXPECT_EQ(c[1]->numberValue().integer.asSigned(), -42);
    EXPECT_FALSE(c[1]->numberValue().isReal);
    EXPECT_TRUE(c[2]->numberValue().isReal);
    EXPECT_EQ(c[2]->numberValue().real, 2.5);
    EXPECT_TRUE(c[3]->boolValue());
    EXPECT_FALSE(c[4]->boolValue());
    EXPECT_EQ(c[5]->dateValue().seconds, 60.0);
    EXPECT_EQ(c[6]->dataValue(), Data({'H', 'e', 'l', 'l', 'o'}));
    EXPECT_EQ(c[7]->key, "a & b");
    ASSERT_EQ(c[7]->childCount(), 3u);
    EXPECT_TRUE(sameTree(*c[7]->child()[1], *Entry::makeContainer("", EntryType::Array)));
    EXPECT_TRUE(sameTree(*c[7]->child()[2], *Entry::makeContainer("", EntryType::Dictionary)));
}

} // namespace

TEST(PlistReader, SplitsLinesAtEveryLineEnd) {
    for (const char* lineEnd : {"\n", "\r", "\r\n", "\xC2\x85", "\xE2\x80\xA8", "\xE2\x80\xA9"}) {
        SCOPED_TRACE(::testing::PrintToString(std::string(lineEnd)));
        PlistDocument doc;
        expectEveryType(doc.makeRootEntryWithXML(text(everyTypeText(), lineEnd)));
    }
    // Different line ends in one text.
    std::string mixed = std::string(kPlistLine) +
                        "\r\n<array>\r<integer>1</integer>\xE2\x80\xA8<string>x</string>" +
                        "\xC2\x85<true/>\xE2\x80\xA9</array>\n";
    PlistDocument doc;
    EntryRef root = doc.makeRootEntryWithXML(mixed);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->childCount(), 3u);
}

TEST(PlistReader, TrimsSpacesAtBothEndsAndRemovesTabsInside) {
    // Tabs, spaces and the Unicode space separators (U+00A0, U+1680, U+2000, U+2003, U+200A, U+202F, U+205F,
    // U+3000) around each line.
    // clang-format off
    std::vector<std::string> spaces = {" ", "\t", "\xC2\xA0", "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x83",
                                       "\xE2\x80\x8A", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80"};
    // clang-format on
    std::string body;
    for (size_t i = 0; i < kEveryType.size(); ++i) {
        const std::string& s = spaces[i % spaces.size()];
        const std::string& t = spaces[(i + 3) % spaces.size()];
        body += (i ? "\n" : "") + s + t + kEveryType[i] + t + s;
    }
    PlistDocument doc;
    expectEveryType(doc.makeRootEntryWithXML(std::string(" \xE3\x80\x80") + text(body)));

    // Tabs go from anywhere in a line, tags included; the other spaces stay inside.
    EntryRef root =
        doc.makeRootEntryWithXML(text("<dict>\n<key>k\t1</key>\n<string>a\tb \xC2\xA0</string>\n</dict>"));
    ASSERT_TRUE(root);
    ASSERT_EQ(root->childCount(), 1u);
    EXPECT_EQ(root->child()[0]->key, "k1");
    EXPECT_EQ(root->child()[0]->stringValue(), "ab \xC2\xA0");
    root = doc.makeRootEntryWithXML(text("<array>\n<inte\tger>5</integer\t>\n</array>"));
    ASSERT_TRUE(root);
    EXPECT_EQ(root->child()[0]->numberValue().integer.asSigned(), 5);
}

TEST(PlistReader, StartsAfterTheFirstPlistLineAndWithoutOneGivesNothing) {
    PlistDocument doc;
    EntryRef root =
        doc.makeRootEntryWithXML("junk\n<dict>\n<string>not read</string>\n  <plist version=\"1.0\">\t\n"
                                 "<array>\n<string>read</string>\n</array>\n</plist>\n");
    ASSERT_TRUE(root);
    ASSERT_EQ(root->childCount(), 1u);
    EXPECT_EQ(root->child()[0]->stringValue(), "read");

    doc._idNumber = 7;
    for (const char* t :
         {"", "<array>\n<integer>1</integer>\n</array>\n", "<plist version=\"1.0\"><array/>\n",
          "<plist version=\"1.0\" >\n<array/>\n", "<plist>\n<array/>\n", "<plist version=\"1.0\">"}) {
        EXPECT_FALSE(doc.makeRootEntryWithXML(t)) << t;
        EXPECT_EQ(doc._idNumber, 7) << t;
    }
}

TEST(PlistReader, JoinsDataLinesThroughTheClosingTag) {
    PlistDocument doc;
    EntryRef root = doc.makeRootEntryWithXML(
        text("<array>\n<data>\nSGVs\nbG8g\nd29y\nbGQ=\n</data>\n<data>\n</data>\n</array>"));
    ASSERT_TRUE(root);
    ASSERT_EQ(root->childCount(), 2u);
    std::string hello = "Hello world";
    EXPECT_EQ(root->child()[0]->dataValue(), Data(hello.begin(), hello.end()));
    EXPECT_TRUE(root->child()[1]->dataValue().empty());
    EXPECT_FALSE(doc.makeRootEntryWithXML(text("<array>\n<data>\nSGVs\n</array>") + "\n\n"));
}

TEST(PlistReader, ReadsEmptyContainersInEveryForm) {
    PlistDocument doc;
    for (const char* body : {"<array>\n</array>", "<array></array>", "<array/>"}) {
        EntryRef root = doc.makeRootEntryWithXML(text(body));
        ASSERT_TRUE(root) << body;
        EXPECT_EQ(root->type(), EntryType::Array);
        EXPECT_TRUE(root->isContainer());
        EXPECT_EQ(root->childCount(), 0u);
    }
    // Nested pairs fold too, only the inner one; a dictionary's "<dict></dict>" line is one empty child.
    auto empty = [](EntryType t, const char* key = "") { return Entry::makeContainer(key, t); };
    EntryRef root = doc.makeRootEntryWithXML(text("<array>\n<array>\n</array>\n<dict>\n</dict>\n</array>"));
    ASSERT_TRUE(root);
    EXPECT_TRUE(
        sameTree(*root, *Entry::make("", EntryType::Array,
                                     Children{empty(EntryType::Array), empty(EntryType::Dictionary)})));
    root = doc.makeRootEntryWithXML(text("<dict>\n<key>inner</key>\n<dict></dict>\n</dict>"));
    ASSERT_TRUE(root);
    EXPECT_TRUE(sameTree(
        *root, *Entry::make("", EntryType::Dictionary, Children{empty(EntryType::Dictionary, "inner")})));
}

TEST(PlistReader, ClassifiesLinesByTheirBeginningInOrder) {
    struct Case {
        const char* line;
        EntryType type;
        int number;
    };
    using R = PlistReader;
    // clang-format off
    const Case cases[] = {
        {"<array>", EntryType::Array, R::kArray}, {"<array></array>", EntryType::Array, R::kArray},
        {"<dict>", EntryType::Dictionary, R::kDictionary}, {"<dict></dict>", EntryType::Dictionary, R::kDictionary},
        {"<true/>", EntryType::Boolean, R::kBoolean}, {"<false/>", EntryType::Boolean, R::kBoolean},
        {"<data>AA==</data>", EntryType::Data, R::kData}, {"<date>2001-01-01T00:00:00Z</date>", EntryType::Date, R::kDate},
        {"<integer>1</integer>", EntryType::Number, R::kNumber}, {"<real>1.5</real>", EntryType::Number, R::kNumber},
        {"<string>s</string>", EntryType::String, R::kString}, {"<array/>", EntryType::Array, R::kEmptyArray},
        {"<dict/>", EntryType::Dictionary, R::kEmptyDictionary}, {"<string/>", EntryType::NotApplicable, R::kUnknown},
        {"<key>k</key>", EntryType::NotApplicable, R::kUnknown}, {"<uid>1</uid>", EntryType::NotApplicable, R::kUnknown},
        {"", EntryType::NotApplicable, R::kUnknown}, {"<array/> ", EntryType::NotApplicable, R::kUnknown}};
    // clang-format on
    for (const Case& c : cases) {
        int number = -1;
        EXPECT_EQ(PlistReader::getTypeNameWithXML(c.line, &number), c.type) << c.line;
        EXPECT_EQ(number, c.number) << c.line;
    }
    // Lines of no known element become "n/a" entries, and "<string/>" is one of them on this path.
    PlistDocument doc;
    EntryRef root =
        doc.makeRootEntryWithXML(text("<array>\n<string/>\n<foo>1</foo>\n<string>x</string>\n</array>"));
    ASSERT_TRUE(root);
    ASSERT_EQ(root->childCount(), 3u);
    for (size_t i : {0u, 1u}) {
        EXPECT_EQ(root->child()[i]->type(), EntryType::NotApplicable);
        EXPECT_EQ(root->child()[i]->stringValue(), "unknown data");
    }
    EXPECT_EQ(root->child()[2]->stringValue(), "x");
}

TEST(PlistReader, CountsChildrenByDepthAndTakesKeysFromKeyLines) {
    PlistDocument doc;
    EntryRef root = doc.makeRootEntryWithXML(
        text("<array>\n"
             "<array>\n<integer>1</integer>\n<integer>2</integer>\n<integer>3</integer>\n</array>\n"
             "<dict>\n<key></key>\n<integer>4</integer>\n<key>&lt;b&gt; &amp;&#9;&#10;</key>\n"
             "<array/>\n</dict>\n"
             "<string>&amp;amp;</string>\n"
             "</array>"));
    ASSERT_TRUE(root);
    ASSERT_EQ(root->childCount(), 3u);
    EXPECT_EQ(root->child()[0]->childCount(), 3u);
    const Entry& d = *root->child()[1];
    ASSERT_EQ(d.childCount(), 2u);
    EXPECT_EQ(d.child()[0]->key, "");
    EXPECT_EQ(d.child()[0]->numberValue().integer.asSigned(), 4);
    EXPECT_EQ(d.child()[1]->key, "<b> &\t\n");
    EXPECT_EQ(d.child()[1]->type(), EntryType::Array);
    EXPECT_EQ(root->child()[2]->stringValue(), "&amp;");
}

TEST(PlistReader, NumbersEntriesInPostOrderFromTheCounter) {
    PlistDocument doc;
    std::string lines =
        text("<dict>\n<key>a</key>\n<array>\n<integer>1</integer>\n<integer>2</integer>\n</array>\n"
             "<key>b</key>\n<string>3</string>\n</dict>");
    EntryRef root = doc.makeRootEntryWithXML(lines);
    ASSERT_TRUE(root);
    const Entry& a = *root->child()[0];
    EXPECT_EQ(a.child()[0]->idNumber(), 0);
    EXPECT_EQ(a.child()[1]->idNumber(), 1);
    EXPECT_EQ(a.idNumber(), 2);
    EXPECT_EQ(root->child()[1]->idNumber(), 3);
    EXPECT_EQ(root->idNumber(), 4);
    EXPECT_EQ(doc._idNumber, 5);

    EntryRef second = doc.makeRootEntryWithXML(lines);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->child()[0]->child()[0]->idNumber(), 5);
    EXPECT_EQ(second->idNumber(), 9);
    EXPECT_EQ(doc._idNumber, 10);
}

TEST(PlistReader, AnUnreadableElementLineFailsTheWholeRead) {
    const char* bad[] = {"<integer>abc</integer>",   "<integer>18446744073709551616</integer>",
                         "<real>two</real>",         "<date>yesterday</date>",
                         "<data>!!!</data>",         "<string>a<b</string>",
                         "<string>&bogus;</string>", "<true/>x",
                         "<integer>1</real>"};
    for (const char* line : bad) {
        PlistDocument doc;
        doc._idNumber = 3;
        EXPECT_FALSE(doc.makeRootEntryWithXML(
            text(std::string("<array>\n<integer>1</integer>\n") + line + "\n</array>")))
            << line;
        EXPECT_EQ(doc._idNumber, 3) << line;
    }
    PlistDocument doc;
    EXPECT_FALSE(doc.makeRootEntryWithXML(text("<dict>\n<string>no key</string>\n</dict>")));
    EXPECT_FALSE(doc.makeRootEntryWithXML(text("<dict>\n<key>k</key>\n<integer>x</integer>\n</dict>")));
}
