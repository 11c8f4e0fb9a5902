#include <gtest/gtest.h>

#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "ModelTestSupport.h"
#include "model/PlistDocument.h"
#include "platform/plist/PropertyList.h"

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
    return plist::serialize(v, format).value();
}
Value parsed(std::string_view bytes) {
    return plist::parse(bytes).value().value;
}

// Every type, and a key twice.
Value withDuplicateKey() {
    Value::Dictionary d = everyType().dictionary();
    d.insert(d.end(), {{"dup", "first"}, {"dup", "second"}});
    return Value(std::move(d));
}

// Runs check in a forked child whose data (heaps and private writable mappings) may grow by headroom bytes
// beyond its size now (0: no limit); gives 0 when check held, 1 when not, 3 when it threw, 128 + the signal
// that ended the child. The data limit, unlike one on the address space, also holds where the allocator
// grows a heap it reserved earlier for another thread.
int inChildWithMemoryLimit(uint64_t headroom, const std::function<bool()>& check) {
    pid_t pid = ::fork();
    if (pid == 0) {
        unsigned long long kib = 0;
        if (FILE* f = std::fopen("/proc/self/status", "r")) {
            char line[256];
            while (std::fgets(line, sizeof line, f))
                if (std::sscanf(line, "VmData: %llu", &kib) == 1) break;
            std::fclose(f);
        }
        if (!kib) ::_exit(2);
        struct rlimit limit {};
        ::getrlimit(RLIMIT_DATA, &limit);
        limit.rlim_cur = kib * 1024 + headroom;
        if (headroom && ::setrlimit(RLIMIT_DATA, &limit) != 0) ::_exit(2);
        int result = 3;
        try {
            result = check() ? 0 : 1;
        } catch (...) { // what would end the program
        }
        ::_exit(result);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
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
    writeFile(dir / "a.plist", serialized(withDuplicateKey(), plist::Format::Xml));
    writeFile(dir / "b.plist", serialized(withDuplicateKey(), plist::Format::Binary));
    Loaded xml = load(dir / "a.plist"), bin = load(dir / "b.plist");
    ASSERT_TRUE(xml.outcome.ok && bin.outcome.ok) << xml.outcome.reason << bin.outcome.reason;
    EXPECT_TRUE(xml.doc->formatKind() == plist::Format::Xml &&
                bin.doc->formatKind() == plist::Format::Binary);
    EXPECT_EQ(dump(xml.root()), dump(bin.root()));
    EXPECT_EQ(PlistDocument::propertyListValue(xml.root()), withDuplicateKey());
    // Both save forms keep it all, the counter has numbered every entry, and the saved XML loads the same.
    for (const Loaded* l : {&xml, &bin}) {
        EXPECT_EQ(l->doc->idNumber(), int64_t(countEntries(l->root())));
        EXPECT_EQ(l->root().idNumber(), l->doc->idNumber() - 1);
        EXPECT_EQ(parsed(l->doc->binaryData().value()), withDuplicateKey());
        const std::atomic<bool> stop{true}; // a write told to stop reads nothing of the tree
        EXPECT_EQ(PlistDocument::binaryDataOf(l->root(), &stop).error().kind, plist::Error::Kind::Cancelled);
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
    EXPECT_EQ(peer.doc->formatKind(), plist::Format::Binary);
    EXPECT_EQ(PlistDocument::propertyListValue(peer.root()), everyType());
}

// Every property list among the sources' tests, examples and fuzz seeds, as binary: read straight, the same
// tree as through the text, and for XML files the tree their own load gives; refusals alike, nesting
// included.
TEST(Loading, BinaryReadsStraightIntoTheTreeTheTextPathGives) {
    std::string deep = "bplist00"; // 512 arrays, each holding the next, then a uid
    for (int i = 1; i <= 512; ++i)
        deep += {'\xA1', char(i >> 8), char(i)};
    deep += "\x80\x01";
    for (int i = 0; i <= 512; ++i)
        deep += {char((8 + 3 * i) >> 8), char(8 + 3 * i)};
    deep += std::string(6, '\0') + "\x02\x02" + std::string(6, '\0') + "\x02\x01" + std::string(8, '\0') +
            std::string(6, '\0') + "\x06\x0A"; // 513 objects, the top first, offsets at 1546
    expectBothBinaryLoadsAgree(deep, "a uid below 512 levels");
    TempDir dir;
    for (const char* folder : {"tests", "examples", "fuzz/corpus"})
        for (const auto& f :
             std::filesystem::recursive_directory_iterator(VANTREL_SOURCE_DIR "/" + std::string(folder))) {
            std::string bytes = f.is_regular_file() ? readFile(f.path()) : "";
            auto p = plist::parse(bytes);
            if (bytes.starts_with("bplist")) {
                expectBothBinaryLoadsAgree(bytes, f.path());
            }
            if (!p || p->format != plist::Format::Xml) continue;
            auto binary = plist::serialize(p->value, plist::Format::Binary);
            Loaded xml = load(f.path());
            EntryRef straight = binary ? expectBothBinaryLoadsAgree(*binary, f.path()) : EntryRef();
            if (straight && xml.outcome.ok) {
                EXPECT_EQ(dump(*straight), dump(xml.root())) << f.path();
            }
        }
}

// The window's tests cover missing files, folders and the reasons of unreadable text; here are a device that
// never ends, the old text format (read, but not opened) and binary cut short.
TEST(Loading, DevicesOldTextAndTruncatedBinaryFailWithAReason) {
    TempDir dir;
    writeFile(dir / "old text", "( a, b )");
    writeFile(dir / "truncated binary", "bplist00\xD1\x01\x02");
    for (const std::string& path : {std::string("/dev/zero"), dir / "old text", dir / "truncated binary"}) {
        Loaded l = load(path);
        EXPECT_TRUE(!l.outcome.ok && !l.outcome.reason.empty() && !l.doc->root()) << path;
    }
}

// Running out of memory fails the one load, paste or save with "not enough memory", and the process goes on.
// A file larger than the memory available is refused before it is read.
TEST(Loading, RunningOutOfMemoryFailsTheLoadPasteOrSaveInsteadOfTheProcess) {
    // Large blocks are mapped one by one and unmapped when freed, so a child's headroom is all it may take.
    ::mallopt(M_MMAP_THRESHOLD, 1 << 20);
    TempDir dir;
    writeFile(dir / "huge", "");
    ASSERT_EQ(::truncate((dir / "huge").c_str(), int64_t(1) << 40), 0);
    std::string entries = "<plist version=\"1.0\"><array>";
    for (int i = 0; i < 2'000'000; ++i)
        entries += "<true/>";
    entries += "</array></plist>";
    writeFile(dir / "entries", entries);
    writeFile(dir / "string",
              "<plist version=\"1.0\"><string>" + std::string(24 << 20, 's') + "</string></plist>");
    writeFile(dir / "attribute", "<plist a=\"" + std::string(24 << 20, 'a') + "\"><true/></plist>");
    writeFile(dir / "data", serialized(dict({{"d", Value(plist::Data(16 << 20))}}), plist::Format::Binary));
    Loaded data = load(dir / "data");
    ASSERT_TRUE(data.outcome.ok) << data.outcome.reason;

    auto loadFails = [&](const char* name) {
        return [&, name] {
            Loaded l = load(dir / name);
            return !l.outcome.ok && l.outcome.reason == plist::kNotEnoughMemory && !l.doc->root();
        };
    };
    auto noMemory = [](const auto& r) { return !r && r.error().kind == plist::Error::Kind::NoMemory; };
    constexpr uint64_t kMiB = 1 << 20;
    const struct {
        const char* name;
        uint64_t headroom;
        std::function<bool()> check;
    } cases[] = {
        {"1 TiB file", 0, loadFails("huge")},
        {"file beyond the address space left", 8 * kMiB, loadFails("entries")},
        {"entries beyond it", 64 * kMiB, loadFails("entries")},
        {"string beyond it in the XML reader", 64 * kMiB, loadFails("string")},
        {"attribute beyond it in expat", 96 * kMiB, loadFails("attribute")},
        {"paste beyond it", 64 * kMiB,
         [&] {
             PlistDocument doc;
             return noMemory(doc.rootEntryWithPropertyListText(entries)) && doc.idNumber() == 0;
         }},
        {"XML save beyond it", 16 * kMiB, [&] { return noMemory(data.doc->plistString()); }},
        {"binary save beyond it", 8 * kMiB, [&] { return noMemory(data.doc->binaryData()); }},
    };
    for (const auto& c : cases)
        EXPECT_EQ(inChildWithMemoryLimit(c.headroom, c.check), 0) << c.name;
}

// A writer keeps knocking while the load runs: a load that waited for one would then read a whole document
// and succeed, instead of hanging.
TEST(Loading, AFifoIsRefusedWithoutWaitingForAWriter) {
    TempDir dir;
    const std::string fifo = dir / "fifo", text = serialized(withDuplicateKey(), plist::Format::Xml);
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
    EXPECT_TRUE(!outcome.ok && !outcome.reason.empty());
}

// The services turn any layout into the line reader's own: one line, comments, CDATA, data across lines
// (the readers' tests cover the encodings on the way).
TEST(Loading, XmlInAnyLayoutLoadsThroughTheServices) {
    const std::string oneLine =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict><key>k\tey&#10;</key><array>"
        "<!-- <string>no</string> --><string><![CDATA[a <b> & c]]></string><string/><data>\n SGVs\n\tbG8=\n"
        "</data></array><key>multi-line</key><string>first\n  second\n\tthird\n</string></dict></plist>";
    TempDir dir;
    writeFile(dir / "in", oneLine);
    Loaded l = load(dir / "in");
    ASSERT_TRUE(l.outcome.ok) << l.outcome.reason;
    EXPECT_EQ(l.doc->formatKind(), plist::Format::Xml);
    EXPECT_EQ(PlistDocument::propertyListValue(l.root()), parsed(oneLine));
}

// What XML cannot hold, the binary save keeps (fractions of a second included) and an XML save refuses. Uids
// are {"CF$UID": n} dictionaries in the tree and uids again in the binary save.
TEST(Loading, ABinarySaveKeepsUidsAndValuesXmlCannotHoldAndAnXmlSaveRefusesThem) {
    Value v = dict({{"control", Value(std::string("nul\0 bell\x07 esc\x1B", 15))},
                    {"lone surrogate", Value("a\xED\xA0\x80z")},
                    {"non-characters", Value("\xEF\xBF\xBE\xEF\xBF\xBF")},
                    {"key\x01", Value("control in the key")},
                    {"year 0", Value(plist::Date{-63113904001.0})},
                    {"year 10000", Value(plist::Date{252423993600.0})},
                    {"nan date", Value(plist::Date{std::nan("")})},
                    {"fraction", Value(plist::Date{0.125})},
                    {"nan", Value(std::nan(""))},
                    {"$objects", arr({"$null", Value(plist::Uid{7}), Value(plist::Uid{300})})},
                    {"$top", dict({{"root", Value(plist::Uid{1})}})}});
    TempDir dir;
    writeFile(dir / "in", serialized(v, plist::Format::Binary));
    Loaded l = load(dir / "in");
    ASSERT_TRUE(l.outcome.ok) << l.outcome.reason;
    EXPECT_EQ(l.root().child()[1]->stringValue(), "a\xED\xA0\x80z");
    EXPECT_EQ(PlistDocument::propertyListValue(*l.root().child()[9]->child()[1]),
              dict({{"CF$UID", integer(7)}}));
    EXPECT_EQ(parsed(l.doc->binaryData().value()), v); // values compare by type too: a uid equals only a uid
    ASSERT_FALSE(l.doc->plistString().ok());
    EXPECT_EQ(l.doc->plistString().error().kind, plist::Error::Kind::Unrepresentable);
}

// Saving hands the text or the bytes over in pieces of about a megabyte, together the whole forms; a piece
// the file does not take fails the save.
TEST(Loading, SavesStreamTheWholeFormsInPieces) {
    PlistDocument doc;
    ASSERT_TRUE(doc.openPlistFile().ok);
    for (int i = 0; i < 150000; ++i)
        doc.root()->appendChild(Entry::make("", EntryType::String, "value " + std::to_string(i)));
    for (bool binary : {false, true}) {
        std::string streamed;
        int pieces = 0;
        auto write = [&](const PlistWriter::TextSink& sink) {
            return binary ? doc.writeBinaryData(sink) : doc.writePlistString(sink);
        };
        EXPECT_FALSE(write([&](std::string_view p) { return streamed += p, ++pieces; }));
        EXPECT_EQ(streamed, binary ? doc.binaryData().value() : doc.plistString().value());
        EXPECT_GT(pieces, 2);
        EXPECT_EQ(write([](std::string_view) { return false; })->kind, plist::Error::Kind::Io);
    }
}

// A new document is an empty Array; a paste into it takes only a whole XML document.
TEST(Loading, ANewDocumentIsAnEmptyArrayAndPasteTakesOnlyAWholeXmlDocument) {
    PlistDocument doc;
    ASSERT_TRUE(doc.openPlistFile().ok);
    EXPECT_EQ(dump(*doc.root()), "Array ");
    EXPECT_TRUE(!doc.root()->hasIdNumber() && doc.formatKind() == plist::Format::Xml);
    auto root = doc.rootEntryWithPropertyListText(serialized(withDuplicateKey(), plist::Format::Xml));
    ASSERT_TRUE(root);
    EXPECT_EQ(PlistDocument::propertyListValue(**root), withDuplicateKey());
    EXPECT_TRUE(
        doc.rootEntryWithPropertyListText("<plist version=\"1.0\"><string>one line</string></plist>"));
    const int64_t counter = doc.idNumber();
    for (const char* text : {"<string>alone</string>", "<dict><key>a</key><true/></dict>", "word", "",
                             "{\"a\": 1}", "{ a = b; }", "<plist version=\"1.0\"><string>open</plist>"})
        EXPECT_FALSE(doc.rootEntryWithPropertyListText(text)) << text;
    EXPECT_FALSE(doc.rootEntryWithPropertyListText(serialized(withDuplicateKey(), plist::Format::Binary)));
    EXPECT_EQ(doc.idNumber(), counter);
}
