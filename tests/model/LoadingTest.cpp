#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "ModelTestSupport.h"
#include "model/PlistDocument.h"
#include "platform/plist/PropertyList.h"
#include "platform/plist/Text.h"

using namespace model;
using namespace model::test;
using plist::Value;

namespace {

struct Loaded {
    std::unique_ptr<PlistDocument> doc;
    LoadOutcome outcome;
    const Entry& root() const { return *doc->root(); }
};

Loaded load(const std::string& path) {
    Loaded l{std::make_unique<PlistDocument>(path), {}};
    l.outcome = l.doc->openPlistFile();
    return l;
}

std::string serialized(const Value& v, plist::Format format) {
    auto bytes = plist::serialize(v, format);
    EXPECT_TRUE(bytes.ok()) << bytes.error().message;
    return bytes.ok() ? *bytes : std::string();
}

// The services' value of a file's bytes, for comparing with a loaded tree.
Value parsed(std::string_view bytes) {
    auto p = plist::parse(bytes);
    EXPECT_TRUE(p.ok()) << p.error().message;
    return p.ok() ? p->value : Value();
}

Value dict(Value::Dictionary d) {
    return Value(std::move(d));
}

// A document of every type that both formats hold, with integers over the whole range files hold.
Value everyType() {
    Value::Array nested{Value::integer(1), Value(Value::Array{}), Value(Value::Dictionary{}),
                        Value(Value::Array{Value("deep")})};
    // clang-format off
    return dict({
        {"string", Value("h\xC3\xA9llo & <tags> \xF0\x9F\x98\x80")},
        {"lines", Value("tab\there\nline\rcr\r\n\xE2\x80\xA8sep\xE2\x80\xA9\xC2\x85")},
        {"key\twith\nbreaks\xE2\x80\xA8", Value("")},
        {"min", Value::integer(INT64_MIN)}, {"max", Value::unsignedInteger(UINT64_MAX)},
        {"real", Value(2.0)}, {"inf", Value(-HUGE_VAL)}, {"yes", Value(true)}, {"no", Value(false)},
        {"date", Value(plist::Date{730902896})}, {"data", Value(plist::Data(100, 0xA5))},
        {"empty data", Value(plist::Data{})}, {"nested", Value(nested)},
        {"dup", Value("first")}, {"dup", Value("second")}});
    // clang-format on
}

size_t countEntries(const Entry& e) {
    size_t n = 1;
    for (size_t i = 0; i < e.childCount(); ++i)
        n += countEntries(*e.child()[i]);
    return n;
}

} // namespace

TEST(Loading, XmlAndBinaryOfTheSameContentGiveTheSameTree) {
    TempDir dir;
    writeFile(dir / "a.plist", serialized(everyType(), plist::Format::Xml));
    writeFile(dir / "b.plist", serialized(everyType(), plist::Format::Binary));
    Loaded xml = load(dir / "a.plist"), bin = load(dir / "b.plist");
    ASSERT_TRUE(xml.outcome.ok) << xml.outcome.reason;
    ASSERT_TRUE(bin.outcome.ok) << bin.outcome.reason;
    EXPECT_EQ(xml.doc->_formatKind, 0);
    EXPECT_EQ(bin.doc->_formatKind, 1);
    EXPECT_EQ(dump(xml.root()), dump(bin.root()));
    EXPECT_EQ(PlistDocument::propertyListValue(xml.root()), everyType());
    // Both save forms keep it all, the counter has numbered every entry, and the saved XML loads the same.
    for (const Loaded* l : {&xml, &bin}) {
        EXPECT_EQ(l->doc->_idNumber, int64_t(countEntries(l->root())));
        EXPECT_EQ(l->root().idNumber(), l->doc->_idNumber - 1);
        EXPECT_EQ(parsed(l->doc->binaryData().value()), everyType());
        writeFile(dir / "saved.plist", l->doc->plistString().value());
        Loaded again = load(dir / "saved.plist");
        ASSERT_TRUE(again.outcome.ok) << again.outcome.reason;
        EXPECT_EQ(dump(l->root()), dump(again.root()));
    }

    if (!hasPython3())
        GTEST_SKIP() << "python3 with plistlib is not installed; the peer's binary was not read";
    ASSERT_EQ(
        runPython("import plistlib, sys\n"
                  "d = plistlib.load(open(sys.argv[1], 'rb'), dict_type=dict)\n"
                  "d.pop('dup')\n"
                  "plistlib.dump(d, open(sys.argv[2], 'wb'), fmt=plistlib.FMT_BINARY, sort_keys=False)\n",
                  {dir / "a.plist", dir / "peer.plist"}),
        0);
    Loaded peer = load(dir / "peer.plist");
    ASSERT_TRUE(peer.outcome.ok) << peer.outcome.reason;
    EXPECT_EQ(peer.doc->_formatKind, 1);
    Value expected = everyType();
    std::erase_if(expected.dictionary(), [](const auto& e) { return e.first == "dup"; });
    EXPECT_EQ(PlistDocument::propertyListValue(peer.root()), expected);
}

TEST(Loading, ANewDocumentIsAnEmptyArray) {
    PlistDocument doc;
    ASSERT_TRUE(doc.openPlistFile().ok);
    EXPECT_EQ(dump(*doc.root()), "Array ");
    EXPECT_FALSE(doc.root()->hasIdNumber());
    EXPECT_EQ(doc._formatKind, 0);
}

TEST(Loading, FilesThatHoldNoPropertyListFoldersAndDevicesFailWithAReason) {
    TempDir dir;
    // clang-format off
    const std::pair<const char*, const char*> files[] = {
        {"empty", ""}, {"json", "{\"a\": [1, 2]}"}, {"text", "just some words\n"}, {"old text", "{ a = b; }"},
        {"old array", "(1, 2)"}, {"truncated binary", "bplist00\xD1\x01\x02"},
        {"broken xml", "<?xml version=\"1.0\"?>\n<plist version=\"1.0\">\n<dict>\n<key>a</key>\n</plist>\n"}};
    // clang-format on
    std::vector<std::string> paths{dir / "folder", dir / "missing", "/dev/zero", "/dev/null"};
    ::mkdir((dir / "folder").c_str(), 0755);
    for (const auto& [name, bytes] : files) {
        writeFile(dir / name, bytes);
        paths.push_back(dir / name);
    }
    for (const std::string& path : paths) {
        Loaded l = load(path);
        EXPECT_FALSE(l.outcome.ok) << path;
        EXPECT_FALSE(l.outcome.reason.empty()) << path;
        EXPECT_FALSE(l.doc->root()) << path;
    }
}

// A writer keeps knocking while the load runs: a load that waited for one would then read a whole document
// and succeed, instead of hanging.
TEST(Loading, AFifoIsRefusedWithoutWaitingForAWriter) {
    TempDir dir;
    const std::string fifo = dir / "fifo", text = serialized(everyType(), plist::Format::Xml);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::signal(SIGPIPE, SIG_IGN);
    auto result = std::async(std::launch::async, [&] { return load(fifo).outcome; });
    while (result.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        if (int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK); fd >= 0) {
            (void)!::write(fd, text.data(), text.size());
            ::close(fd);
        }
        std::this_thread::yield();
    }
    LoadOutcome outcome = result.get();
    EXPECT_FALSE(outcome.ok);
    EXPECT_FALSE(outcome.reason.empty());
}

TEST(Loading, XmlInAnyLayoutLoadsThroughTheServices) {
    // UTF-16 with a byte-order mark, in either byte order.
    auto utf16 = [](bool bigEndian) {
        std::string bytes;
        for (char16_t u :
             u"\uFEFF" + plist::text::toUtf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<plist "
                                              "version=\"1.0\"><dict><key>caf\xC3\xA9</key><string>"
                                              "\xE2\x82\xAC \xF0\x9F\x98\x80</string></dict></plist>")) {
            bytes += char(bigEndian ? u >> 8 : u & 0xFF);
            bytes += char(bigEndian ? u & 0xFF : u >> 8);
        }
        return bytes;
    };
    const std::pair<const char*, std::string> files[] = {
        {"one line",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict><key>a</key><array>"
         "<integer>1</integer><string>x</string></array><key>b</key><true/></dict></plist>"},
        {"comments and blank lines",
         "<plist version=\"1.0\">\n<dict>\n\n  <!-- a comment -->\n<key>a</key>\n\n"
         "<!-- <string>no</string> -->\n<string>v</string>\n\n</dict>\n</plist>\n"},
        {"multi-line string",
         "<plist version=\"1.0\"><array><string>first\n  second\n\tthird\n</string></array></plist>"},
        {"self-closing string",
         "<plist version=\"1.0\"><dict><key>s</key><string/><key>k</key><integer>2</integer>"
         "</dict></plist>"},
        {"raw tab and references",
         "<plist version=\"1.0\"><dict><key>k\tey&#10;x&#13;y</key><string>a\tb&#13;&#10;"
         "c</string></dict></plist>"},
        {"cdata", "<plist version=\"1.0\"><array><string><![CDATA[a <b> & c]]></string></array></plist>"},
        {"UTF-16LE", utf16(false)},
        {"UTF-16BE", utf16(true)},
        {"data in odd layout",
         "<plist version=\"1.0\"><array><data>\n SGVs\n\tbG8=\n</data><data/></array></plist>"},
    };
    TempDir dir;
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        writeFile(dir / name, bytes);
        Loaded l = load(dir / name);
        ASSERT_TRUE(l.outcome.ok) << l.outcome.reason;
        EXPECT_EQ(l.doc->_formatKind, 0);
        EXPECT_EQ(PlistDocument::propertyListValue(l.root()), parsed(bytes));
    }
}

TEST(Loading, UidsFromABinaryFileAreUidsAgainInTheBinarySave) {
    TempDir dir;
    Value v =
        dict({{"$objects", Value(Value::Array{Value("$null"), Value(plist::Uid{7}), Value(plist::Uid{300})})},
              {"$top", dict({{"root", Value(plist::Uid{1})}})}});
    writeFile(dir / "archive", serialized(v, plist::Format::Binary));
    Loaded l = load(dir / "archive");
    ASSERT_TRUE(l.outcome.ok) << l.outcome.reason;
    EXPECT_EQ(PlistDocument::propertyListValue(*l.root().child()[0]->child()[1]),
              dict({{"CF$UID", Value::integer(7)}}));
    EXPECT_EQ(parsed(l.doc->binaryData().value()), v); // values compare by type too: a uid equals only a uid
}

// The binary save keeps what XML cannot hold; an XML save refuses such values, and of a date it drops only
// the fraction of a second.
TEST(Loading, ABinarySaveKeepsValuesXmlCannotHoldAndAnXmlSaveDropsOnlyFractionsOfASecond) {
    Value v = dict({{"control", Value(std::string("nul\0 bell\x07 esc\x1B", 15))},
                    {"lone surrogate", Value("a\xED\xA0\x80z")},
                    {"non-characters", Value("\xEF\xBF\xBE\xEF\xBF\xBF")},
                    {"key\x01", Value("control in the key")},
                    {"year 0", Value(plist::Date{-63113904001.0})},
                    {"year 10000", Value(plist::Date{252423993600.0})},
                    {"nan date", Value(plist::Date{std::nan("")})},
                    {"fraction", Value(plist::Date{0.125})},
                    {"nan", Value(std::nan(""))}});
    TempDir dir;
    writeFile(dir / "in", serialized(v, plist::Format::Binary));
    Loaded l = load(dir / "in");
    ASSERT_TRUE(l.outcome.ok) << l.outcome.reason;
    EXPECT_EQ(l.root().child()[1]->stringValue(), "a\xED\xA0\x80z");
    EXPECT_EQ(parsed(l.doc->binaryData().value()), v);
    ASSERT_FALSE(l.doc->plistString().ok());
    EXPECT_EQ(l.doc->plistString().error().kind, plist::Error::Kind::Unrepresentable);

    Value dates(
        Value::Array{Value(plist::Date{730902896.75}), Value(plist::Date{-12.5}), Value(plist::Date{3})});
    writeFile(dir / "dates", serialized(dates, plist::Format::Binary));
    l = load(dir / "dates");
    writeFile(dir / "out", l.doc->plistString().value());
    Loaded back = load(dir / "out");
    ASSERT_TRUE(back.outcome.ok);
    EXPECT_EQ(dump(l.root(), true), dump(back.root()));
    EXPECT_EQ(back.root().child()[1]->dateValue().seconds, -13.0);
}

TEST(Loading, PasteTakesOnlyAWholeXmlDocument) {
    PlistDocument doc;
    EntryRef root = doc.rootEntryWithPropertyListText(serialized(everyType(), plist::Format::Xml));
    ASSERT_TRUE(root);
    EXPECT_EQ(PlistDocument::propertyListValue(*root), everyType());
    EXPECT_TRUE(
        doc.rootEntryWithPropertyListText("<plist version=\"1.0\"><string>one line</string></plist>"));
    const int64_t counter = doc._idNumber;
    for (const char* text : {"<string>alone</string>", "<dict><key>a</key><true/></dict>", "word", "",
                             "{\"a\": 1}", "{ a = b; }", "<plist version=\"1.0\"><string>open</plist>"})
        EXPECT_FALSE(doc.rootEntryWithPropertyListText(text)) << text;
    EXPECT_FALSE(doc.rootEntryWithPropertyListText(serialized(everyType(), plist::Format::Binary)));
    EXPECT_EQ(doc._idNumber, counter);
}
