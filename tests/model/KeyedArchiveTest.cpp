#include "model/KeyedArchive.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "tests/model/ModelTestSupport.h"

namespace model::test {
namespace {

struct ArchiveCase {
    const char* name;
    std::string bytes;
    std::string rows; // every row, everything expanded
    const char* path; // an object-view path, and what it reaches: the plain entry's key path or "missing X"
    const char* reaches;
};

// clang-format off
const ArchiveCase kArchives[] = {
    {"nested dictionaries and arrays",
     archiveBytes(dict({{"root", uid(1)}}),
                  {"$null",
                   dict({{"$class", uid(2)}, {"NS.keys", arr({uid(3), uid(4)})}, {"NS.objects", arr({uid(5), uid(6)})}}),
                   cls("NSMutableDictionary"), "name", "list", "Vantrel",
                   dict({{"$class", uid(7)}, {"NS.objects", arr({uid(8), uid(9), uid(0)})}}), cls("NSArray"),
                   integer(42), true}),
     "Root\tNSKeyedArchiver\t(1 item)\n"
     "  root\tNSMutableDictionary\t(2 items)\n"
     "    name\tString\tVantrel\n"
     "    list\tNSArray\t(3 items)\n"
     "      Item 0\tNumber\t42\n"
     "      Item 1\tBoolean\ttrue\n"
     "      Item 2\tnil\tnil\n",
     "root.list.1", "Root \u203a $objects \u203a Item 9"},
    {"shared objects and a cycle",
     archiveBytes(dict({{"a", uid(1)}, {"b", uid(1)}}),
                  {"$null", dict({{"$class", uid(2)}, {"NS.objects", arr({uid(1), uid(3)})}}), cls("NSArray"), "x"}),
     "Root\tNSKeyedArchiver\t(2 items)\n"
     "  a\tNSArray\t(2 items)\n"
     "    Item 0\tNSArray\t\u21ba same object as Root \u203a a\n"
     "    Item 1\tString\tx\n"
     "  b\tNSArray\t\u21ba same object as Root \u203a a\n",
     "b.0.0.1", "Root \u203a $objects \u203a Item 3"},
    {"Foundation classes",
     archiveBytes(dict({{"s", uid(1)}, {"d", uid(3)}, {"t", uid(5)}, {"u", uid(7)}, {"url", uid(9)},
                        {"set", uid(12)}, {"p", uid(14)}, {"rel", uid(16)}}),
                  {"$null", dict({{"$class", uid(2)}, {"NS.string", "hi"}}), cls("NSMutableString"),
                   dict({{"$class", uid(4)}, {"NS.bytes", data({1, 2})}}), cls("NSData"),
                   dict({{"$class", uid(6)}, {"NS.time", 0.0}}), cls("NSDate"),
                   dict({{"$class", uid(8)}, {"NS.uuidbytes", data({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15})}}),
                   cls("NSUUID"),
                   dict({{"$class", uid(10)}, {"NS.base", uid(0)}, {"NS.relative", uid(11)}}), cls("NSURL"),
                   "https://example.com/",
                   dict({{"$class", uid(13)}, {"NS.objects", arr({uid(11)})}}), cls("NSSet"),
                   dict({{"$class", uid(15)}, {"name", uid(11)}, {"age", integer(7)}, {"tags", arr({"a"})}}),
                   cls("Person"),
                   dict({{"$class", uid(10)}, {"NS.base", uid(9)}, {"NS.relative", uid(17)}}), "page"}),
     "Root\tNSKeyedArchiver\t(8 items)\n"
     "  s\tNSMutableString\thi\n"
     "  d\tNSData\t<0102>\n"
     "  t\tNSDate\t2001/01/01 0:00:00\n"
     "  u\tNSUUID\t00010203-0405-0607-0809-0A0B0C0D0E0F\n"
     "  url\tNSURL\thttps://example.com/\n"
     "  set\tNSSet\t(1 item)\n"
     "    Item 0\tString\thttps://example.com/\n"
     "  p\tPerson\t(3 items)\n"
     "    name\tString\thttps://example.com/\n"
     "    age\tNumber\t7\n"
     "    tags\tArray\t(1 item)\n"
     "      Item 0\tString\ta\n"
     "  rel\tNSURL\t(2 items)\n"
     "    NS.base\tNSURL\thttps://example.com/\n"
     "    NS.relative\tString\tpage\n",
     "s", "Root \u203a $objects \u203a Item 1 \u203a NS.string"},
    {"broken references",
     archiveBytes(dict({{"gone", uid(57)}, {"badclass", uid(1)}, {"classless", uid(3)}, {"self", uid(4)}}),
                  {"$null", dict({{"$class", uid(2)}, {"x", integer(1)}}), "not a class",
                   dict({{"$class", integer(5)}}), dict({{"$class", uid(4)}})}),
     "Root\tNSKeyedArchiver\t(4 items)\n"
     "  gone\t\u26a0\t\u26a0 uid 57: no such object\n"
     "  badclass\tDictionary\t\u26a0 $class uid 2: not a class\n"
     "    x\tNumber\t1\n"
     "  classless\tDictionary\t\u26a0 $class: not a uid\n"
     "  self\tDictionary\t\u26a0 $class uid 4: not a class\n",
     "gone.x", "missing x"},
    {"no $top",
     archiveBytes(std::nullopt, {"$null"}),
     "Root\tNSKeyedArchiver\t\n"
     "  $top\t\u26a0\t\u26a0 $top: missing\n",
     "", "Root"},
};
// clang-format on

TEST(KeyedArchive, ArchivesShowAsTheirObjectGraphRowByRow) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    for (const ArchiveCase& c : kArchives) {
        PlistDocument doc;
        EntryRef root = *doc.rootEntryWithBinaryData(c.bytes);
        ASSERT_TRUE(KeyedArchive::isKeyedArchive(*root)) << c.name;
        KeyedArchive archive(root);
        EXPECT_EQ(archive.printed(), c.rows) << c.name;
        std::string missing;
        ArchiveNode* node = archive.find(c.path, &missing);
        const EntryRef& shown = node && node->entry ? node->entry : root;
        EXPECT_EQ(node ? keyPath(*shown) : "missing " + missing, c.reaches) << c.name;
        // Saved unchanged, the archive is the same bytes: uids stay uids.
        doc.setRoot(root);
        EXPECT_EQ(doc.binaryData().value(), c.bytes) << c.name;
    }
    ::unsetenv("TZ");
}

} // namespace
} // namespace model::test
