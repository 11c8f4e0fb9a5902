#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "ModelTestSupport.h"
#include "model/PlistDocument.h"
#include "platform/plist/Base64.h"
#include "platform/plist/PropertyList.h"

using namespace model;
using namespace model::test;

namespace {

EntryRef str(std::string value, std::string key = "") {
    return Entry::make(std::move(key), EntryType::String, std::move(value));
}
EntryRef integer(plist::Integer i, std::string key = "") {
    return Entry::make(std::move(key), EntryType::Number, Number::fromInteger(i));
}
EntryRef real(double d, std::string key = "") {
    return Entry::make(std::move(key), EntryType::Number, Number::fromReal(d));
}
EntryRef date(double seconds, std::string key = "") {
    return Entry::make(std::move(key), EntryType::Date, plist::Date{seconds});
}
EntryRef container(EntryType type, Children children, std::string key = "") {
    return Entry::make(std::move(key), type, std::move(children));
}

// The element lines of a written document, or a text that says what is wrong with it.
std::string bodyOf(const EntryRef& root) {
    auto xml = PlistDocument().plistStringWithItem(root, WriteMode::Strict);
    if (!xml.ok()) return "error: " + xml.error().message;
    std::string_view s = *xml, head = plist::kXmlHead, tail = plist::kXmlTail;
    if (!s.starts_with(head) || !s.substr(head.size()).ends_with(tail)) return "bad frame: " + *xml;
    return std::string(s.substr(head.size(), s.size() - head.size() - tail.size()));
}

// Values XML cannot hold, each with a name for failure output.
std::vector<std::pair<const char*, EntryRef>> badValues() {
    return {
        {"NUL", str(std::string("a\0b", 3))},
        {"U+0001", str("a\x01z")},
        {"U+001F", str("\x1F")},
        {"lone surrogate", str("x\xED\xA0\x80y")},
        {"U+FFFE", str("\xEF\xBF\xBE")},
        {"U+FFFF", str("\xEF\xBF\xBF")},
        {"year 0", date(-63113904001.0)},
        {"year 10000", date(252423993600.0)},
        {"NaN date", date(std::nan(""))},
        {"infinite date", date(HUGE_VAL)},
    };
}

// Arrays nested depth levels deep, the innermost empty.
EntryRef nestedArrays(int depth) {
    EntryRef root = Entry::makeContainer("", EntryType::Array);
    Entry* inner = root.get();
    for (int i = 1; i < depth; ++i) {
        inner->appendChild(Entry::makeContainer("", EntryType::Array));
        inner = inner->child()[0].get();
    }
    return root;
}

// Root › items › Item 3 › name holds the value.
EntryRef treeHolding(EntryRef bad) {
    bad->key = "name";
    return container(
        EntryType::Dictionary,
        {str("title", "t"),
         container(EntryType::Array, {str("0"), str("1"), str("2"), container(EntryType::Dictionary, {bad})},
                   "items")});
}

} // namespace

TEST(PlistWriter, WritesTheHeadOneElementPerLineAndTheTailButNoKeysOfArrayChildren) {
    EntryRef root = container(EntryType::Dictionary,
                              {str("x", "a"), container(EntryType::Array,
                                                        {integer(plist::Integer::fromSigned(1), "ghost"),
                                                         Entry::makeContainer("", EntryType::Dictionary)},
                                                        "b")});
    PlistDocument doc;
    auto xml = doc.plistStringWithItem(root, WriteMode::Strict);
    ASSERT_TRUE(xml.ok()) << xml.error().message;
    EXPECT_EQ(*xml, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                    "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                    "<plist version=\"1.0\">\n"
                    "<dict>\n\t<key>a</key>\n\t<string>x</string>\n\t<key>b</key>\n\t<array>\n"
                    "\t\t<integer>1</integer>\n\t\t<dict/>\n\t</array>\n</dict>"
                    "\n</plist>\n");
    doc._entryArray.push_back(root);
    auto whole = doc.plistString();
    ASSERT_TRUE(whole.ok());
    EXPECT_EQ(*whole, *xml);
}

TEST(PlistWriter, WritesEmptyContainersAsEmptyElementsAtAnyDepth) {
    EXPECT_EQ(bodyOf(Entry::makeContainer("", EntryType::Array)), "<array/>");
    EXPECT_EQ(bodyOf(Entry::makeContainer("", EntryType::Dictionary)), "<dict/>");
    EntryRef root =
        container(EntryType::Dictionary,
                  {Entry::makeContainer("e", EntryType::Array),
                   container(EntryType::Array, {Entry::makeContainer("", EntryType::Array)}, "f")});
    EXPECT_EQ(
        bodyOf(root),
        "<dict>\n\t<key>e</key>\n\t<array/>\n\t<key>f</key>\n\t<array>\n\t\t<array/>\n\t</array>\n</dict>");
}

TEST(PlistWriter, WritesScalarsInTheirTextForms) {
    struct Case {
        EntryRef entry;
        const char* element;
    };
    Data bytes(200);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i * 7);
    auto I = [](plist::Integer i) { return integer(i); };
    // clang-format off
    const Case cases[] = {
        {I(plist::Integer::fromSigned(0)), "<integer>0</integer>"},
        {I(plist::Integer::fromSigned(INT64_MIN)), "<integer>-9223372036854775808</integer>"},
        {I(plist::Integer::fromUnsigned(UINT64_MAX)), "<integer>18446744073709551615</integer>"},
        {real(2.0), "<real>2.0</real>"}, {real(0.1 + 0.2), "<real>0.30000000000000004</real>"},
        {real(1e20), "<real>1e+20</real>"}, {real(-0.0), "<real>-0.0</real>"},
        {real(HUGE_VAL), "<real>+infinity</real>"}, {real(-HUGE_VAL), "<real>-infinity</real>"},
        {real(std::nan("")), "<real>nan</real>"},
        {Entry::make("", EntryType::Boolean, true), "<true/>"}, {Entry::make("", EntryType::Boolean, false), "<false/>"},
        {date(0), "<date>2001-01-01T00:00:00Z</date>"}, {date(730902896.75), "<date>2024-02-29T12:34:56Z</date>"},
        {date(-0.25), "<date>2000-12-31T23:59:59Z</date>"},
        {Entry::make("", EntryType::Data, Data{'H', 'e', 'l', 'l', 'o'}), "<data>SGVsbG8=</data>"},
        {Entry::make("", EntryType::Data, Data{}), "<data></data>"},
        {Entry::make("", EntryType::NotApplicable, std::string("unknown data")), "<string>unknown data</string>"},
        {str(""), "<string></string>"}};
    // clang-format on
    for (const Case& c : cases)
        EXPECT_EQ(bodyOf(c.entry), c.element);

    // Long data stays on one line and decodes to the bytes.
    std::string body = bodyOf(Entry::make("", EntryType::Data, bytes));
    ASSERT_EQ(body.find('\n'), std::string::npos);
    ASSERT_EQ(body.substr(0, 6), "<data>");
    auto decoded = plist::base64::decode(body.substr(6, body.size() - 13));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, bytes);
}

TEST(PlistWriter, EscapesMarkupAndLineBreaksSoTheyReadBack) {
    const std::string tricky = "a&b<c>d\te\nf\rg\xC2\x85h\xE2\x80\xA8i\xE2\x80\xA9j";
    const std::string escaped = "a&amp;b&lt;c&gt;d&#9;e&#10;f&#13;g&#133;h&#8232;i&#8233;j";
    EntryRef root = container(EntryType::Dictionary, {str(tricky, tricky)});
    EXPECT_EQ(bodyOf(root),
              "<dict>\n\t<key>" + escaped + "</key>\n\t<string>" + escaped + "</string>\n</dict>");

    PlistDocument doc;
    auto xml = doc.plistStringWithItem(root, WriteMode::Strict);
    EntryRef back = doc.makeRootEntryWithXML(*xml);
    ASSERT_TRUE(back);
    EXPECT_TRUE(sameTree(*root, *back));
    EXPECT_EQ(plist::parse(*xml)->value, PlistDocument::propertyListValue(*root));
}

TEST(PlistWriter, StrictFailsOnValuesXmlCannotHoldAndNamesTheirKeyPath) {
    for (auto& [name, entry] : badValues()) {
        SCOPED_TRACE(name);
        PlistDocument doc;
        auto xml = doc.plistStringWithItem(treeHolding(entry), WriteMode::Strict);
        ASSERT_FALSE(xml.ok());
        EXPECT_EQ(xml.error().kind, plist::Error::Kind::Unrepresentable);
        EXPECT_EQ(xml.error().message, unrepresentable("Root \u203a items \u203a Item 3 \u203a name"));
    }
    // A key that XML cannot hold names its own entry, unless it is the unwritten key of an array child; a bad
    // top value names the root.
    EntryRef list = container(EntryType::Array, {str("ok", "bad\x02key")}, "list");
    EntryRef root = container(EntryType::Dictionary, {list});
    PlistDocument doc;
    auto xml = doc.plistStringWithItem(root, WriteMode::Strict);
    EXPECT_TRUE(xml.ok());
    list->appendChild(container(EntryType::Dictionary, {str("ok", "a"), str("ok", "bad\x02key")}));
    xml = doc.plistStringWithItem(root, WriteMode::Strict);
    ASSERT_FALSE(xml.ok());
    EXPECT_EQ(xml.error().message, unrepresentable("Root \u203a list \u203a Item 1 \u203a bad\x02key"));
    root = container(EntryType::Dictionary, {str("ok", "a"), str("ok", "bad\x02key")});
    xml = doc.plistStringWithItem(root, WriteMode::Strict);
    ASSERT_FALSE(xml.ok());
    EXPECT_EQ(xml.error().message, unrepresentable("Root \u203a bad\x02key"));
    xml = doc.plistStringWithItem(str("\x03"), WriteMode::Strict);
    ASSERT_FALSE(xml.ok());
    EXPECT_EQ(xml.error().message, unrepresentable("Root"));
}

TEST(PlistWriter, ExactWritesEveryValueSoTheReaderReadsItBackUnchanged) {
    for (auto& [name, entry] : badValues()) {
        SCOPED_TRACE(name);
        EntryRef root = treeHolding(entry);
        PlistDocument doc;
        auto xml = doc.plistStringWithItem(root, WriteMode::Exact);
        ASSERT_TRUE(xml.ok()) << xml.error().message;
        EntryRef back = doc.makeRootEntryWithXML(*xml);
        ASSERT_TRUE(back);
        EXPECT_TRUE(sameTree(*root, *back));
    }
}

TEST(PlistWriter, SanitizedGivesXmlThatOtherProgramsRead) {
    Children all;
    for (auto& [name, entry] : badValues()) {
        entry->key = name;
        all.push_back(entry);
    }
    all.push_back(str("\x01", "key\x01"));
    EntryRef root = container(EntryType::Dictionary, all);
    PlistDocument doc;
    auto xml = doc.plistStringWithItem(root, WriteMode::Sanitized);
    ASSERT_TRUE(xml.ok()) << xml.error().message;
    auto parsed = plist::parse(*xml);
    ASSERT_TRUE(parsed.ok()) << parsed.error().message;
    const auto& d = parsed->value.dictionary();
    ASSERT_EQ(d.size(), all.size());
    EXPECT_EQ(d[1].second.string(), "a\xEF\xBF\xBDz");
    EXPECT_EQ(d[3].second.string(), "x\xEF\xBF\xBDy");
    EXPECT_EQ(d[6].second.date().seconds, -63113904000.0); // 0001-01-01T00:00:00Z
    EXPECT_EQ(d[7].second.date().seconds, 252423993599.0); // 9999-12-31T23:59:59Z
    EXPECT_EQ(d.back().first, "key\xEF\xBF\xBD");

    if (!hasPython3()) GTEST_SKIP() << "python3 with plistlib is not installed; the peer check did not run";
    TempDir dir;
    writeFile(dir / "sanitized.plist", *xml);
    EXPECT_EQ(runPython("import plistlib, sys\n"
                        "d = plistlib.load(open(sys.argv[1], 'rb'))\n"
                        "assert d['U+0001'] == 'a\\ufffdz', d\n"
                        "assert d['year 0'].year == 1 and d['year 10000'].year == 9999, d\n",
                        {dir / "sanitized.plist"}),
              0);
}

// An empty array one level past the limit must not be saved as XML that no reader opens again.
TEST(PlistWriter, WritesNoEmptyContainerPastTheNestingLimit) {
    PlistDocument doc;
    EXPECT_TRUE(
        plist::parse(*doc.plistStringWithItem(nestedArrays(plist::kMaxNestingDepth), WriteMode::Strict))
            .ok());
    doc._entryArray.push_back(nestedArrays(plist::kMaxNestingDepth + 1));
    EXPECT_FALSE(doc.binaryData().ok());
    auto xml = doc.plistString();
    ASSERT_FALSE(xml.ok()) << "saved, but the services answer: " << plist::parse(*xml).error().message;
}
