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
EntryRef real(double d) {
    return Entry::make("", EntryType::Number, Number::fromReal(d));
}
EntryRef date(double seconds) {
    return Entry::make("", EntryType::Date, plist::Date{seconds});
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

// Values XML cannot hold, each named by its key.
std::vector<EntryRef> badValues() {
    return {str(std::string("a\0b", 3), "NUL"),
            str("a\x01z", "U+0001"),
            str("\x1F", "U+001F"),
            str("x\xED\xA0\x80y", "lone surrogate"),
            str("\xEF\xBF\xBE", "U+FFFE"),
            str("\xEF\xBF\xBF", "U+FFFF"),
            Entry::make("year 0", EntryType::Date, plist::Date{-63113904001.0}),
            Entry::make("year 10000", EntryType::Date, plist::Date{252423993600.0}),
            Entry::make("NaN date", EntryType::Date, plist::Date{std::nan("")}),
            Entry::make("infinite date", EntryType::Date, plist::Date{HUGE_VAL})};
}

// Arrays nested depth levels deep, the innermost empty.
EntryRef nestedArrays(int depth) {
    EntryRef root = Entry::makeContainer("", EntryType::Array);
    for (Entry* inner = root.get(); --depth > 0; inner = inner->child()[0].get())
        inner->appendChild(Entry::makeContainer("", EntryType::Array));
    return root;
}

} // namespace

// Keys of array children are not written; empty containers are empty elements at any depth; markup and line
// breaks are escaped so that every value stays on its line and reads back.
TEST(PlistWriter, WritesTheHeadOneElementPerLineAndTheTailButNoKeysOfArrayChildren) {
    const std::string tricky = "a&b<c>d\te\nf\rg\xC2\x85h\xE2\x80\xA8i\xE2\x80\xA9j";
    const std::string escaped = "a&amp;b&lt;c&gt;d&#9;e&#10;f&#13;g&#133;h&#8232;i&#8233;j";
    EntryRef root = container(EntryType::Dictionary,
                              {str("x", "a"),
                               container(EntryType::Array,
                                         {Entry::make("ghost", EntryType::Number,
                                                      Number::fromInteger(plist::Integer::fromSigned(1))),
                                          Entry::makeContainer("", EntryType::Dictionary)},
                                         "b"),
                               Entry::makeContainer("e", EntryType::Array),
                               container(EntryType::Array, {Entry::makeContainer("", EntryType::Array)}, "f"),
                               str(tricky, tricky)});
    PlistDocument doc;
    doc._entryArray.push_back(root);
    const std::string xml = doc.plistString().value();
    EXPECT_EQ(xml, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                   "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                   "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                   "<plist version=\"1.0\">\n"
                   "<dict>\n\t<key>a</key>\n\t<string>x</string>\n\t<key>b</key>\n\t<array>\n"
                   "\t\t<integer>1</integer>\n\t\t<dict/>\n\t</array>\n"
                   "\t<key>e</key>\n\t<array/>\n\t<key>f</key>\n\t<array>\n\t\t<array/>\n\t</array>\n"
                   "\t<key>" +
                       escaped + "</key>\n\t<string>" + escaped +
                       "</string>\n"
                       "</dict>\n</plist>\n");
    EXPECT_EQ(bodyOf(Entry::makeContainer("", EntryType::Dictionary)), "<dict/>");
    EntryRef back = doc.makeRootEntryWithXML(xml);
    ASSERT_TRUE(back);
    EXPECT_EQ(dump(*root), dump(*back));
    EXPECT_EQ(plist::parse(xml).value().value, PlistDocument::propertyListValue(*root));
}

// Reals show their kind; dates are whole seconds, a fraction before 2001 belonging to the earlier second;
// data of any length stays on one line.
TEST(PlistWriter, WritesScalarsInTheirTextFormsAndLongDataOnOneLine) {
    Data bytes(200);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i * 7);
    // clang-format off
    const std::pair<EntryRef, const char*> cases[] = {
        {Entry::make("", EntryType::Number, Number::fromInteger(plist::Integer::fromUnsigned(UINT64_MAX))),
         "<integer>18446744073709551615</integer>"},
        {real(2.0), "<real>2.0</real>"}, {real(1e20), "<real>1e+20</real>"},
        {real(-0.0), "<real>-0.0</real>"}, {real(-HUGE_VAL), "<real>-infinity</real>"},
        {real(std::nan("")), "<real>nan</real>"}, {Entry::make("", EntryType::Boolean, false), "<false/>"},
        {date(730902896.75), "<date>2024-02-29T12:34:56Z</date>"},
        {date(-0.25), "<date>2000-12-31T23:59:59Z</date>"},
        {Entry::make("", EntryType::Data, Data{}), "<data></data>"},
        {Entry::make("", EntryType::NotApplicable, std::string("unknown data")),
         "<string>unknown data</string>"}};
    // clang-format on
    for (const auto& [entry, element] : cases)
        EXPECT_EQ(bodyOf(entry), element);
    std::string body = bodyOf(Entry::make("", EntryType::Data, bytes));
    ASSERT_TRUE(body.starts_with("<data>") && body.find('\n') == std::string::npos) << body;
    EXPECT_EQ(plist::base64::decode(body.substr(6, body.size() - 13)), bytes);
}

// A strict save names the key path of a value XML cannot hold; the exact form keeps it for our own reader.
TEST(PlistWriter, StrictFailsOnValuesXmlCannotHoldNamingTheirKeyPathAndExactKeepsThem) {
    for (const EntryRef& bad : badValues()) {
        SCOPED_TRACE(bad->key);
        bad->key = "name";
        // Root › items › Item 3 › name holds the value.
        EntryRef root = container(
            EntryType::Dictionary,
            {str("t", "title"),
             container(EntryType::Array,
                       {str("0"), str("1"), str("2"), container(EntryType::Dictionary, {bad})}, "items")});
        PlistDocument doc;
        auto xml = doc.plistStringWithItem(root, WriteMode::Strict);
        ASSERT_FALSE(xml.ok());
        EXPECT_EQ(xml.error().kind, plist::Error::Kind::Unrepresentable);
        EXPECT_EQ(xml.error().message, unrepresentable("Root \u203a items \u203a Item 3 \u203a name"));
        EntryRef back = doc.makeRootEntryWithXML(doc.plistStringWithItem(root, WriteMode::Exact).value());
        ASSERT_TRUE(back);
        EXPECT_EQ(dump(*root), dump(*back));
    }
    // A key that XML cannot hold names its own entry, unless it is the unwritten key of an array child; a bad
    // top value names the root.
    EntryRef list = container(EntryType::Array, {str("ok", "bad\x02key")}, "list");
    EntryRef root = container(EntryType::Dictionary, {list});
    PlistDocument doc;
    EXPECT_TRUE(doc.plistStringWithItem(root, WriteMode::Strict).ok());
    list->appendChild(container(EntryType::Dictionary, {str("ok", "a"), str("ok", "bad\x02key")}));
    const std::pair<EntryRef, const char*> cases[] = {
        {root, "Root \u203a list \u203a Item 1 \u203a bad\x02key"},
        {container(EntryType::Dictionary, {str("ok", "a"), str("ok", "bad\x02key")}),
         "Root \u203a bad\x02key"},
        {str("\x03"), "Root"}};
    for (const auto& [tree, path] : cases)
        EXPECT_EQ(doc.plistStringWithItem(tree, WriteMode::Strict).error().message, unrepresentable(path));
}

TEST(PlistWriter, SanitizedGivesXmlThatOtherProgramsRead) {
    Children all = badValues();
    all.push_back(str("\x01", "key\x01"));
    PlistDocument doc;
    auto xml = doc.plistStringWithItem(container(EntryType::Dictionary, all), WriteMode::Sanitized);
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
    EXPECT_TRUE(plist::parse(
                    doc.plistStringWithItem(nestedArrays(plist::kMaxNestingDepth), WriteMode::Strict).value())
                    .ok());
    doc._entryArray.push_back(nestedArrays(plist::kMaxNestingDepth + 1));
    EXPECT_FALSE(doc.binaryData().ok());
    auto xml = doc.plistString();
    ASSERT_FALSE(xml.ok()) << "saved, but the services answer: " << plist::parse(*xml).error().message;
}
