#include <gtest/gtest.h>

#include "ModelTestSupport.h"
#include "model/TreeDiff.h"

using namespace model;
using namespace model::test;

namespace {

EntryRef tree(const plist::Value& v) {
    PlistDocument doc;
    return doc.rootEntryWithPropertyListData(plist::serialize(v, plist::Format::Xml).value()).value();
}

std::string lines(const std::vector<Difference>& differences) {
    std::string s;
    for (const Difference& d : differences)
        s += differenceText(d) + "\n";
    return s;
}

} // namespace

// Each row also applies the differences to the old tree, which must then equal the new one.
TEST(TreeDiff, ReportsEachKindAtItsKeyPathsAndApplyingThemGivesTheNewTree) {
    const plist::Value servers = arr({dict({{"Host", "a"}, {"Port", integer(80)}}), dict({{"Host", "b"}})});
    const plist::Value record = dict({{"x", integer(1)}, {"y", arr({"p", "q"})}});
    const plist::Value swapped = dict({{"y", arr({"p", "q"})}, {"x", integer(1)}});
    struct Row {
        plist::Value a, b;
        bool order;
        const char* expected;
    };
    // clang-format off
    const Row rows[] = {
        {dict({{"Servers", servers}, {"Notes", "n"}}), dict({{"Servers", servers}}), false, "- Root › Notes\n"},
        {dict({{"Servers", servers}}), dict({{"Servers", arr({dict({{"Host", "a"}, {"Port", integer(8080)}}),
                                                          dict({{"Host", "b"}}), record})}}), false,
         "~ Root › Servers › Item 0 › Port: 80 → 8080\n+ Root › Servers › Item 2: Dictionary (2 items)\n"},
        {dict({{"t", "80"}, {"u", arr({})}}), dict({{"t", integer(80)}, {"u", dict({})}}), false,
         "~ Root › t: String 80 → Number 80\n~ Root › u: Array (0 items) → Dictionary (0 items)\n"},
        {"scalar root", integer(3), false, "~ Root: String scalar root → Number 3\n"},
        // One insertion and a change after it, in an array; a moved item; items equal but for key order.
        {arr({"a", "b", "c", "d", record}), arr({"a", "new", "b", "c", "D", swapped}), false,
         "+ Root › Item 1: String new\n~ Root › Item 3: d → D\n"},
        {arr({"a", "b", "c", "d", "e", "f"}), arr({"f", "a", "b", "c", "d", "e"}), false,
         "↷ Root › Item 5 → Item 0\n"},
        // Equal keys match in their order among themselves.
        {dict({{"k", integer(1)}, {"j", "x"}, {"k", integer(2)}}), dict({{"k", integer(1)}, {"k", integer(3)}}),
         false, "- Root › j\n~ Root › k: 2 → 3\n"},
        {record, swapped, false, ""},
        {record, swapped, true, "↷ Root › x → x\n"},
        {dict({{"a", record}}), dict({{"a", dict({{"y", arr({"p", "q", "r"})}, {"x", integer(1)}})}}), true,
         "↷ Root › a › x → x\n+ Root › a › y › Item 2: String r\n"},
    };
    // clang-format on
    for (const Row& row : rows) {
        EntryRef a = tree(row.a), b = tree(row.b);
        SCOPED_TRACE(dump(*a) + "\nagainst\n" + dump(*b));
        const std::vector<Difference> differences = diffTrees(*a, *b, {.order = row.order});
        EXPECT_EQ(lines(differences), row.expected);
        applyDifferences(*a, differences);
        EXPECT_EQ(lines(diffTrees(*a, *b, {.order = row.order})), "");
    }
}
