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
plist::Expected<std::string> strict(const EntryRef& root) {
    return PlistDocument().plistStringWithItem(root, WriteMode::Strict);
}

// Arrays nested depth levels deep, the innermost empty.
EntryRef nestedArrayEntries(int depth) {
    EntryRef root = Entry::makeContainer("", EntryType::Array);
    for (Entry* inner = root.get(); --depth > 0; inner = inner->child()[0].get())
        inner->appendChild(Entry::makeContainer("", EntryType::Array));
    return root;
}

} // namespace

// Keys of array children are not written; empty containers are empty elements at any depth. (The escapes
// that keep every value on its line are the services' own, tested with their writer.)
TEST(PlistWriter, WritesOneElementPerLineButNoKeysOfArrayChildren) {
    EntryRef root =
        container(EntryType::Dictionary,
                  {str("x", "a"),
                   container(EntryType::Array,
                             {Entry::make("ghost", EntryType::Number,
                                          Number::fromInteger(plist::Integer::fromSigned(1))),
                              Entry::makeContainer("", EntryType::Dictionary)},
                             "b"),
                   Entry::makeContainer("e", EntryType::Array),
                   container(EntryType::Array, {Entry::makeContainer("", EntryType::Array)}, "f")});
    EXPECT_EQ(bodyOf(strict(root)),
              "<dict>\n\t<key>a</key>\n\t<string>x</string>\n\t<key>b</key>\n\t<array>\n"
              "\t\t<integer>1</integer>\n\t\t<dict/>\n\t</array>\n"
              "\t<key>e</key>\n\t<array/>\n\t<key>f</key>\n\t<array>\n\t\t<array/>\n\t</array>\n</dict>");
    EXPECT_EQ(bodyOf(strict(Entry::makeContainer("", EntryType::Dictionary))), "<dict/>");
}

// Reals show their kind; dates are whole seconds; data of any length stays on one line.
TEST(PlistWriter, WritesScalarsInTheirTextFormsAndLongDataOnOneLine) {
    Data bytes(200);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i * 7);
    // clang-format off
    const std::pair<EntryRef, std::string> cases[] = {
        {Entry::make("", EntryType::Number, Number::fromInteger(plist::Integer::fromUnsigned(UINT64_MAX))),
         "<integer>18446744073709551615</integer>"},
        {real(2.0), "<real>2.0</real>"}, {real(1e20), "<real>1e+20</real>"}, {real(-0.0), "<real>-0.0</real>"},
        {real(-HUGE_VAL), "<real>-infinity</real>"}, {real(std::nan("")), "<real>nan</real>"},
        {Entry::make("", EntryType::Boolean, false), "<false/>"},
        {date(730902896.75), "<date>2024-02-29T12:34:56Z</date>"},
        {Entry::make("", EntryType::Data, Data{}), "<data></data>"},
        {Entry::make("", EntryType::Data, bytes), "<data>" + plist::base64::encode(bytes) + "</data>"},
        {Entry::make("", EntryType::NotApplicable, std::string("unknown data")), "<string>unknown data</string>"}};
    // clang-format on
    for (const auto& [entry, element] : cases)
        EXPECT_EQ(bodyOf(strict(entry)), element);
}

// A strict save fails on a value or key XML cannot hold, naming its key path (an array child by its
// position, the top value as the root), though the unwritten key of an array child may hold anything. A
// sanitized save writes U+FFFD for each character XML cannot hold and clamps dates into years 1 to 9999
// (NaN to 2001) for any reader.
TEST(PlistWriter, StrictFailsOnValuesXmlCannotHoldNamingTheirKeyPathAndSanitizedReplacesThem) {
    const std::string fffd = "\xEF\xBF\xBD";
    const plist::Date first{-63113904000.0}, last{252423993599.0};
    // clang-format off
    const std::pair<EntryRef, plist::Value> cases[] = {
        {str(std::string("a\0b", 3)), "a" + fffd + "b"}, {str("a\x01z"), "a" + fffd + "z"}, {str("\x1F"), fffd},
        {str("x\xED\xA0\x80y"), "x" + fffd + "y"}, {str("\xEF\xBF\xBE"), fffd}, {str("\xEF\xBF\xBF"), fffd},
        {date(first.seconds - 1), first}, {date(last.seconds + 1), last}, {date(std::nan("")), plist::Date{0}},
        {date(HUGE_VAL), last}};
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
        EXPECT_EQ(kindOf(strict(root)), plist::Error::Kind::Unrepresentable);
        EXPECT_EQ(messageOf(strict(root)), unrepresentable("Root \u203a items \u203a Item 3 \u203a name"));
        auto read =
            plist::parse(PlistDocument().plistStringWithItem(root, WriteMode::Sanitized).value()).value();
        EXPECT_EQ(read.value.dictionary()[1].second.array()[3], dict({{"name", sanitized}}));
        EXPECT_EQ(read.value.dictionary()[2].first, "key" + fffd);
    }
    EntryRef list = container(EntryType::Array, {str("ok", "bad\x02key")}, "list");
    EntryRef root = container(EntryType::Dictionary, {list});
    EXPECT_TRUE(strict(root).ok());
    list->appendChild(container(EntryType::Dictionary, {str("ok", "a"), str("ok", "bad\x02key")}));
    const std::pair<EntryRef, const char*> keyCases[] = {
        {root, "Root \u203a list \u203a Item 1 \u203a bad\x02key"},
        {container(EntryType::Dictionary, {str("ok", "a"), str("ok", "bad\x02key")}),
         "Root \u203a bad\x02key"},
        {str("\x03"), "Root"}};
    for (const auto& [tree, path] : keyCases)
        EXPECT_EQ(messageOf(strict(tree)), unrepresentable(path));
}

// An empty array one level past the limit must not be saved as XML that no reader opens again.
TEST(PlistWriter, WritesNoEmptyContainerPastTheNestingLimit) {
    EXPECT_TRUE(plist::parse(strict(nestedArrayEntries(plist::kMaxNestingDepth)).value()).ok());
    PlistDocument doc;
    doc.setRoot(nestedArrayEntries(plist::kMaxNestingDepth + 1));
    EXPECT_FALSE(doc.binaryData().ok());
    auto xml = doc.plistString();
    EXPECT_FALSE(xml.ok()) << "saved, but the services answer: " << messageOf(plist::parse(*xml));
}
