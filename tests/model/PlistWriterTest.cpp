#include <gtest/gtest.h>

#include <cmath>
#include <string>

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

// Arrays nested depth levels deep, the innermost empty.
EntryRef nestedArrayEntries(int depth) {
    EntryRef root = Entry::makeContainer("", EntryType::Array);
    for (Entry* inner = root.get(); --depth > 0; inner = inner->child()[0].get())
        inner->appendChild(Entry::makeContainer("", EntryType::Array));
    return root;
}

} // namespace

// Keys of array children are not written; empty containers are empty elements at any depth; markup and line
// breaks are escaped so that every value stays on its line.
TEST(PlistWriter, WritesOneElementPerLineButNoKeysOfArrayChildren) {
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
    EXPECT_EQ(bodyOf(root),
              "<dict>\n\t<key>a</key>\n\t<string>x</string>\n\t<key>b</key>\n\t<array>\n"
              "\t\t<integer>1</integer>\n\t\t<dict/>\n\t</array>\n"
              "\t<key>e</key>\n\t<array/>\n\t<key>f</key>\n\t<array>\n\t\t<array/>\n\t</array>\n"
              "\t<key>" +
                  escaped + "</key>\n\t<string>" + escaped + "</string>\n</dict>");
    EXPECT_EQ(bodyOf(Entry::makeContainer("", EntryType::Dictionary)), "<dict/>");
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

// A strict save fails on a value XML cannot hold, naming its key path. A sanitized save writes U+FFFD for
// each character XML cannot hold and clamps dates into years 1 to 9999 (NaN to 2001) for any reader.
TEST(PlistWriter, StrictFailsOnValuesXmlCannotHoldNamingTheirKeyPathAndSanitizedReplacesThem) {
    const std::string fffd = "\xEF\xBF\xBD";
    const plist::Date first{-63113904000.0}, last{252423993599.0};
    // clang-format off
    const std::pair<EntryRef, plist::Value> cases[] = {
        {str(std::string("a\0b", 3)), "a" + fffd + "b"}, {str("a\x01z"), "a" + fffd + "z"},
        {str("\x1F"), fffd}, {str("x\xED\xA0\x80y"), "x" + fffd + "y"}, {str("\xEF\xBF\xBE"), fffd},
        {str("\xEF\xBF\xBF"), fffd}, {date(first.seconds - 1), first}, {date(last.seconds + 1), last},
        {date(std::nan("")), plist::Date{0}}, {date(HUGE_VAL), last}};
    // clang-format on
    for (const auto& [bad, sanitized] : cases) {
        SCOPED_TRACE(dump(*bad));
        bad->key = "name";
        // Root › items › Item 3 › name holds the value; a key XML cannot hold comes after it.
        EntryRef root = container(
            EntryType::Dictionary,
            {str("t", "title"),
             container(EntryType::Array,
                       {str("0"), str("1"), str("2"), container(EntryType::Dictionary, {bad})}, "items"),
             str("v", "key\x01")});
        PlistDocument doc;
        auto xml = doc.plistStringWithItem(root, WriteMode::Strict);
        ASSERT_FALSE(xml.ok());
        EXPECT_EQ(xml.error().kind, plist::Error::Kind::Unrepresentable);
        EXPECT_EQ(xml.error().message, unrepresentable("Root \u203a items \u203a Item 3 \u203a name"));
        auto read = plist::parse(doc.plistStringWithItem(root, WriteMode::Sanitized).value()).value().value;
        EXPECT_EQ(read.dictionary()[1].second.array()[3], dict({{"name", sanitized}}));
        EXPECT_EQ(read.dictionary()[2].first, "key" + fffd);
    }
    // A key that XML cannot hold names its own entry, unless it is the unwritten key of an array child; a bad
    // top value names the root.
    EntryRef list = container(EntryType::Array, {str("ok", "bad\x02key")}, "list");
    EntryRef root = container(EntryType::Dictionary, {list});
    PlistDocument doc;
    EXPECT_TRUE(doc.plistStringWithItem(root, WriteMode::Strict).ok());
    list->appendChild(container(EntryType::Dictionary, {str("ok", "a"), str("ok", "bad\x02key")}));
    const std::pair<EntryRef, const char*> keyCases[] = {
        {root, "Root \u203a list \u203a Item 1 \u203a bad\x02key"},
        {container(EntryType::Dictionary, {str("ok", "a"), str("ok", "bad\x02key")}),
         "Root \u203a bad\x02key"},
        {str("\x03"), "Root"}};
    for (const auto& [tree, path] : keyCases)
        EXPECT_EQ(doc.plistStringWithItem(tree, WriteMode::Strict).error().message, unrepresentable(path));
}

// An empty array one level past the limit must not be saved as XML that no reader opens again.
TEST(PlistWriter, WritesNoEmptyContainerPastTheNestingLimit) {
    PlistDocument doc;
    EXPECT_TRUE(
        plist::parse(
            doc.plistStringWithItem(nestedArrayEntries(plist::kMaxNestingDepth), WriteMode::Strict).value())
            .ok());
    doc._entryArray.push_back(nestedArrayEntries(plist::kMaxNestingDepth + 1));
    EXPECT_FALSE(doc.binaryData().ok());
    auto xml = doc.plistString();
    ASSERT_FALSE(xml.ok()) << "saved, but the services answer: " << plist::parse(*xml).error().message;
}
