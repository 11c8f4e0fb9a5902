#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ModelTestSupport.h"
#include "model/PlistDocument.h"
#include "platform/plist/PropertyList.h"

using namespace model;
using namespace model::test;
using namespace plist::test;
using plist::Value;

namespace {

constexpr const char* kPlistLine = "<plist version=\"1.0\">";

// The lines of body (separated by line feeds) after a plist line, each ended by lineEnd.
std::string text(std::string_view body, const std::string& lineEnd = "\n") {
    std::string s = std::string(kPlistLine) + lineEnd;
    for (char c : std::string(body) + "\n</plist>\n")
        s += c == '\n' ? lineEnd : std::string(1, c);
    return s;
}

// A dictionary of every type, one element a line.
const std::string kEveryType =
    "<dict>\n\t<key>s</key>\n\t<string>h\xC3\xA9llo &amp; more</string>\n\t<key>i</key>\n"
    "\t<integer>-42</integer>\n\t<key>r</key>\n\t<real>2.5</real>\n\t<key>t</key>\n\t<true/>\n"
    "\t<key>f</key>\n\t<false/>\n\t<key>d</key>\n\t<date>2001-01-01T00:01:00Z</date>\n\t<key>x</key>\n"
    "\t<data>\n\tSGVs\n\tbG8=\n\t</data>\n\t<key>a &amp; b</key>\n\t<array>\n\t\t<integer>1</integer>\n"
    "\t\t<array/>\n\t\t<dict/>\n\t</array>\n</dict>";

// The tree of text read by a document, as the services' value: keys, types and values.
Value read(std::string_view text) {
    PlistDocument doc;
    auto root = doc.makeRootEntryWithXML(text);
    return root ? PlistDocument::propertyListValue(**root) : Value("(no tree)");
}

// What the services read from the same document.
Value parsed(std::string_view body) {
    auto p = plist::parse(text(body));
    return p.ok() ? p->value : Value(p.error().message);
}

} // namespace

// Lines end at LF, CR, CR LF, NEL, LS and PS. Tabs, spaces and the Unicode space separators go from both ends
// of each line; tabs go from anywhere in a line, tags included, while the other spaces stay inside.
TEST(PlistReader, SplitsLinesAtEveryLineEndAndTrimsSpacesAtBothEndsAndTabsInside) {
    const char* lineEnds[] = {"\n", "\r", "\r\n", "\xC2\x85", "\xE2\x80\xA8", "\xE2\x80\xA9"};
    size_t i = 0;
    for (std::string space : {"", " ", "\t", "\xC2\xA0", "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x83",
                              "\xE2\x80\x8A", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80"}) {
        std::string lineEnd = lineEnds[i++ % std::size(lineEnds)], body = space;
        for (char c : kEveryType)
            body += c == '\n' ? space + " \n" + space : std::string(1, c);
        EXPECT_EQ(read(space + text(body + space + " ", lineEnd)), parsed(kEveryType))
            << ::testing::PrintToString(lineEnd) << " " << ::testing::PrintToString(space);
    }
    // Different line ends in one text.
    EXPECT_EQ(read(std::string(kPlistLine) +
                   "\r\n<array>\r<integer>1</integer>\xE2\x80\xA8<string>x</string>" +
                   "\xC2\x85<true/>\xE2\x80\xA9</array>\n"),
              arr({integer(1), "x", Value(true)}));
    EXPECT_EQ(read(text("<dict>\n<key>k\t1</key>\n<string>a\tb \xC2\xA0</string>\n</dict>")),
              dict({{"k1", "ab \xC2\xA0"}}));
    EXPECT_EQ(read(text("<array>\n<inte\tger>5</integer\t>\n</array>")), arr({integer(5)}));
}

// Without a line that is exactly the plist line, or with any element line unreadable, there is no tree and
// the counter stays.
TEST(PlistReader, StartsAfterThePlistLineAndGivesNothingWithoutOneOrForAnUnreadableLine) {
    EXPECT_EQ(read("junk\n<dict>\n<string>not read</string>\n  <plist version=\"1.0\">\t\n"
                   "<array>\n<string>read</string>\n</array>\n</plist>\n"),
              arr({"read"}));
    // clang-format off
    std::vector<std::string> texts{"", "<array>\n<integer>1</integer>\n</array>\n",
        "<plist version=\"1.0\"><array/>\n", "<plist version=\"1.0\" >\n<array/>\n", "<plist>\n<array/>\n",
        "<plist version=\"1.0\">", text("<dict>\n<string>no key</string>\n</dict>"),
        text("<dict>\n<key>k</key>\n<integer>x</integer>\n</dict>")};
    // clang-format on
    for (const char* line : {"<integer>abc</integer>", "<real>two</real>", "<date>yesterday</date>",
                             "<data>!!!</data>", "<string>a<b</string>", "<true/>x", "<integer>1</real>"})
        texts.push_back(text(std::string("<array>\n<integer>1</integer>\n") + line + "\n</array>"));
    PlistDocument doc;
    doc.setIdNumber(7);
    for (const std::string& t : texts) {
        EXPECT_FALSE(doc.makeRootEntryWithXML(t)) << t;
        EXPECT_EQ(doc.idNumber(), 7) << t;
    }
    // The reason names the line of the text at fault, whatever the line ends and however the line was
    // cleaned.
    const std::pair<std::string, std::string> reasons[] = {
        {"", "no line <plist version=\"1.0\"> stands alone"},
        {text("<dict>\n<string>no key</string>\n</dict>", "\r\n"),
         "line 3: no readable <key> line before a dictionary value"},
        {"\n" + text("<array>\n\t<da\tta>\nSGVs\n</array>", "\xC2\x85"),
         "line 4: <data> is not closed by a </data> line"},
        {texts.back(), "line 4: "}};
    for (const auto& [t, reason] : reasons)
        EXPECT_EQ(doc.makeRootEntryWithXML(t).error().message().substr(0, reason.size()), reason) << t;
}

// Lines of no known element become "n/a" entries, and "<string/>" is one of them on this path.
TEST(PlistReader, JoinsDataLinesReadsEmptyContainersInEveryFormAndUnknownLinesAsNotApplicable) {
    std::string hello = "Hello world";
    EXPECT_EQ(read(text("<array>\n<data>\nSGVs\nbG8g\nd29y\nbGQ=\n</data>\n<data>\n</data>\n</array>")),
              arr({Value(plist::Data(hello.begin(), hello.end())), Value(plist::Data())}));
    EXPECT_EQ(read(text("<array>\n<data>\nSGVs\n</array>") + "\n\n"), Value("(no tree)"));
    for (const char* body : {"<array>\n</array>", "<array></array>", "<array/>"})
        EXPECT_EQ(read(text(body)), arr({})) << body;
    // Nested pairs fold too, only the inner one; a dictionary's "<dict></dict>" line is one empty child.
    EXPECT_EQ(read(text("<array>\n<array>\n</array>\n<dict>\n</dict>\n</array>")), arr({arr({}), dict({})}));
    EXPECT_EQ(read(text("<dict>\n<key>inner</key>\n<dict></dict>\n</dict>")), dict({{"inner", dict({})}}));
    PlistDocument doc;
    EntryRef root =
        doc.makeRootEntryWithXML(
               text("<array>\n<string/>\n<foo>1</foo>\n<uid>1</uid>\n<string>x</string>\n</array>"))
            .value();
    ASSERT_TRUE(root);
    EXPECT_EQ(
        dump(*root),
        "Array \n  n/a \"unknown data\"\n  n/a \"unknown data\"\n  n/a \"unknown data\"\n  String \"x\"");
}

// A large text is read on two threads; the tree, its numbers and any refusal are the one-thread read's,
// wherever a fault lies and whether or not the text keeps to the layout the plan of the split expects.
TEST(PlistReader, ReadsALargeTextOnTwoThreadsAsOnOne) {
    auto items = [](int n, const std::string& odd, int oddAt) {
        std::string body = "<dict>\n<key>v</key>\n<integer>3</integer>\n<key>items</key>\n<array>\n";
        for (int i = 0; i < n; ++i)
            body += i == oddAt ? odd
                               : "<dict>\n<key>k</key>\n<string>s" + std::to_string(i) +
                                     "</string>\n<key>d</key>\n<data>\nAAE=\n</data>\n<key>a</key>\n<array>\n"
                                     "<real>0.5</real>\n</array>\n<key>e</key>\n<dict>\n</dict>\n</dict>\n";
        return text(body + "</array>\n</dict>");
    };
    const int n = 12000; // about 190,000 lines
    const std::pair<std::string, int> cases[] = {
        {"", -1},
        {"<dict>\n<key>k</key>\n<integer>zz</integer>\n</dict>\n", n / 4},     // refused in the first part
        {"<dict>\n<key>k</key>\n<integer>zz</integer>\n</dict>\n", 3 * n / 4}, // and in the second
        {"<dict>\n<string>no key</string>\n</dict>\n", 3 * n / 4},
        {"<array>odd\n<array>\n<string>x</string>\n</array>\n", n / 4}, // a layout the plan does not expect
        {"<array>\n<string>x</string>\n", n / 3},
    };
    for (const auto& [odd, at] : cases) {
        const std::string t = items(n, odd, at);
        int64_t oneIds = 5, twoIds = 5;
        auto one = PlistReader(oneIds, nullptr, SIZE_MAX).makeRootEntryWithXML(t);
        auto two = PlistReader(twoIds).makeRootEntryWithXML(t);
        ASSERT_EQ(one.ok(), two.ok()) << odd;
        EXPECT_EQ(oneIds, twoIds) << odd;
        if (one)
            EXPECT_TRUE(dump(**one, false, "", true) == dump(**two, false, "", true)) << odd;
        else
            EXPECT_EQ(one.error().message(), two.error().message()) << odd;
    }
}
