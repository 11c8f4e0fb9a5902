#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "model/PlistDocument.h"
#include "platform/plist/PropertyList.h"
#include "tests/model/ModelTestSupport.h"

using namespace model::test;

namespace {

struct Outcome {
    int status = -1;
    std::string out, err;
};

// A document of every type, laid out freely as people write them.
constexpr const char* kEveryType = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <key>name</key> <string>Vantrel &amp; co</string> <key>count</key> <integer>18446744073709551615</integer>
  <key>negative</key> <integer>-9223372036854775808</integer>
  <key>ratio</key> <real>2</real> <key>enabled</key> <true/> <key>hidden</key> <false/>
  <key>created</key> <date>2024-03-01T09:05:07Z</date> <key>blob</key> <data>SGVsbG8=</data>
  <key>one</key> <array><string>only</string></array> <key>items</key> <array>
    <integer>1</integer> <dict/>
  </array>
  <key>tab&#9;key</key> <string>line&#10;feed&#13;return&#8232;separator&#133;next</string>
</dict>
</plist>
)";

constexpr const char* kEveryTypeOutline =
    "Root\tDictionary\t(11 items)\n"
    "  name\tString\tVantrel & co\n"
    "  count\tNumber\t18446744073709551615\n"
    "  negative\tNumber\t-9223372036854775808\n"
    "  ratio\tNumber\t2.0\n"
    "  enabled\tBoolean\ttrue\n"
    "  hidden\tBoolean\tfalse\n"
    "  created\tDate\t2024/03/01 9:05:07\n"
    "  blob\tData\t<48656c6c 6f>\n"
    "  one\tArray\t(1 item)\n"
    "    Item 0\tString\tonly\n"
    "  items\tArray\t(2 items)\n"
    "    Item 0\tNumber\t1\n"
    "    Item 1\tDictionary\t(0 items)\n"
    "  tab\u21e5key\tString\tline\u21b5feed\u23cereturn\u21b5separator\\u{85}next\n";

class Cli : public ::testing::Test {
protected:
    // Runs the tool in the UTC time zone, its output caught in files outside the test's folder; through a
    // command such as setpriv when one is given.
    Outcome run(const std::vector<std::string>& args, const std::string& through = "") {
        std::string command = "TZ=UTC " + through + " '" VANTREL_CLI "'";
        for (const auto& a : args)
            command += " '" + a + "'";
        int status = std::system((command + " >'" + io_ / "stdout" + "' 2>'" + io_ / "stderr" + "'").c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(io_ / "stdout"),
                readFile(io_ / "stderr")};
    }

    std::string path(const std::string& name) const { return dir_ / name; }
    bool exists(const std::string& name) const { return std::filesystem::exists(path(name)); }
    // The names in the test's folder, sorted: no temporary file may be left behind.
    std::vector<std::string> names() const {
        std::vector<std::string> n;
        for (const auto& e : std::filesystem::directory_iterator(dir_.path()))
            n.push_back(e.path().filename().string());
        std::sort(n.begin(), n.end());
        return n;
    }
    void writeBinary(const std::string& name, const plist::Value& v) {
        writeFile(path(name), plist::serialize(v, plist::Format::Binary).value());
    }

    TempDir dir_, io_;
};

} // namespace

// Print shows the outline as the editor does, for the document and for both its conversions.
TEST_F(Cli, ConvertingToBinaryAndBackKeepsTheDocumentThatPrintShows) {
    writeFile(path("in.plist"), kEveryType);
    Outcome r = run({"convert", "--to", "binary", path("in.plist"), "-o", path("mid.plist")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(path("mid.plist")).substr(0, 8), "bplist00");
    r = run({"convert", "--to=xml", path("mid.plist"), "-o", path("out.plist")});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string xml = readFile(path("out.plist"));
    EXPECT_EQ(xml.substr(0, plist::kXmlHead.size()), plist::kXmlHead);
    for (const char* name : {"in.plist", "mid.plist", "out.plist"}) {
        r = run({"print", path(name)});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, kEveryTypeOutline) << name;
    }
    EXPECT_EQ(plist::parse(kEveryType).value().value, plist::parse(xml).value().value);
    EXPECT_EQ(names(), (std::vector<std::string>{"in.plist", "mid.plist", "out.plist"}));
    // A keyed archive prints as the object view shows it; another document is refused.
    writeFile(path("a.plist"), archiveBytes(dict({{"a", uid(1)}, {"b", uid(1)}}), {"$null", dict({})}));
    EXPECT_EQ(run({"print", "--objects", path("a.plist")}).out,
              "Root\tNSKeyedArchiver\t(2 items)\n  a\tDictionary\t(0 items)\n  b\tDictionary\t\u21ba same "
              "object as Root \u203a a\n");
    EXPECT_EQ(run({"print", "--objects", path("in.plist")}).status, 1);
    EXPECT_EQ(run({"get", "--objects", "a", path("a.plist")}).out, "a\tDictionary\t(0 items)\n");
    EXPECT_EQ(run({"get", "--objects", "c", path("a.plist")}).status, 1);
}

TEST_F(Cli, XmlIsNotWrittenForAValueItCannotHold) {
    writeBinary("in.plist", dict({{"ok", "fine"}, {"bad", "a\x01z"}}));
    Outcome r = run({"convert", "--to", "xml", path("in.plist"), "-o", path("out.plist")});
    EXPECT_TRUE(r.status == 1 && r.err.find(unrepresentable("Root \u203a bad")) != std::string::npos)
        << r.err;
    EXPECT_EQ(names(), std::vector<std::string>{"in.plist"});
}

TEST_F(Cli, AnUnreadableInputIsReportedAndNothingIsWritten) {
    writeFile(path("words.txt"), "not a property list\n");
    writeFile(path("old.plist"), "{ a = b; }");
    const std::string out = path("out.plist");
    for (std::string in : {path("words.txt"), path("old.plist"), path("missing.plist")}) {
        for (const std::vector<std::string>& args :
             std::vector<std::vector<std::string>>{{"convert", "--to", "xml", in, "-o", out},
                                                   {"convert", "--to", "binary", in, "-o", out},
                                                   {"print", in}}) {
            Outcome r = run(args);
            const std::string said =
                "The data couldn\u2019t be read because it isn\u2019t in the correct format.\n";
            EXPECT_TRUE(r.status == 1 && r.out.empty() && r.err.find(said + in + ": ") != std::string::npos)
                << ::testing::PrintToString(args) << r.err;
        }
        EXPECT_FALSE(exists("out.plist"));
    }
    // A file larger than any memory is refused at once, with a word rather than an abort.
    writeFile(path("huge"), "");
    ASSERT_EQ(::truncate(path("huge").c_str(), int64_t(1) << 40), 0);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"convert", "--to", "xml", path("huge"), "-o", out}, {"print", path("huge")}}) {
        Outcome r = run(args);
        EXPECT_TRUE(r.status == 1 && r.err == "vantrel-cli: not enough memory\n") << r.err;
    }

    // An output that cannot be written fails too, and says why.
    writeFile(path("in.plist"), kEveryType);
    Outcome r = run({"convert", "--to", "xml", path("in.plist"), "-o", path("no/such/folder/out.plist")});
    EXPECT_TRUE(r.status == 1 && r.err.starts_with("vantrel-cli: ")) << r.err;

    // So does one the user may not write, in a folder the user may: a 0444 file of the user's own and
    // another user's file are left as they are.
    if (::geteuid() != 0) GTEST_SKIP() << "writing as another user needs root to set up";
    const std::string folder = path("nobody");
    ASSERT_EQ(::chmod(dir_.path().c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
    for (bool own : {true, false}) {
        const std::string target = folder + (own ? "/own.plist" : "/root.plist");
        writeFile(target, "old");
        ASSERT_EQ(own ? ::chown(target.c_str(), 65534, 65534) + ::chmod(target.c_str(), 0444) : 0, 0);
        r = run({"convert", "--to", "binary", path("in.plist"), "-o", target},
                "setpriv --reuid=65534 --regid=65534 --clear-groups");
        EXPECT_TRUE(r.status == 1 && r.err == "vantrel-cli: " + target + ": Permission denied\n") << r.err;
        EXPECT_EQ(readFile(target), "old");
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 2); // nothing left beside them
}

// Help goes to standard output with status 0; wrong usage to standard error with status 2, writing nothing.
TEST_F(Cli, HelpExitsWithZeroAndWrongUsageWithTwoShowingTheUsage) {
    writeFile(path("in.plist"), kEveryType);
    const std::string in = path("in.plist"), out = path("out.plist");
    // clang-format off
    const std::vector<std::vector<std::string>> help = {
        {"--help"}, {"help"}, {"convert", "--help"}, {"lint", "--help"}, {"print", "-h"}, {"diff", "--help"}};
    const std::vector<std::vector<std::string>> wrong = {
        {}, {"frobnicate"}, {"convert", in, "-o", out},
        {"convert", "--to", "xml", in}, {"convert", "--to", "xml", "-o", out},
        {"convert", "--to", "xml", in, in, "-o", out}, {"convert", "--to", "xml", in, "-o"},
        {"convert", "--to", "xml", "--force", in, "-o", out}, {"lint"}, {"print"}, {"print", in, in},
        {"diff", in}, {"diff", "--format", "yaml", in, in}, {"diff", "--unified", in, in}};
    // clang-format on
    for (const auto& args : help) {
        Outcome r = run(args);
        EXPECT_TRUE(r.status == 0 && r.out.find("usage: vantrel-cli") != std::string::npos)
            << ::testing::PrintToString(args) << r.out;
    }
    EXPECT_EQ(run({"--version"}).out, "vantrel-cli " VANTREL_VERSION "\n");
    for (const auto& args : wrong) {
        Outcome r = run(args);
        EXPECT_TRUE(r.status == 2 && r.out.empty() && r.err.find("usage: vantrel-cli") != std::string::npos)
            << ::testing::PrintToString(args) << r.err;
    }
    EXPECT_FALSE(exists("out.plist"));
}

TEST_F(Cli, LintNamesEveryFileAndFailsWhenAnyCannotBeOpened) {
    writeFile(path("good.plist"), kEveryType);
    writeBinary("good.bin", arr({integer(1), "x"}));
    writeFile(path("bad.plist"), "<plist version=\"1.0\"><dict><key>a</key></plist>");
    Outcome r = run({"lint", path("good.plist"), path("good.bin")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, path("good.plist") + ": ok (XML, 15 entries)\n" + path("good.bin") +
                         ": ok (binary, 3 entries)\n");

    r = run({"lint", path("good.plist"), path("bad.plist"), path("missing.plist"), path("good.bin")});
    EXPECT_EQ(r.status, 1);
    for (const char* name : {"good.plist: ok", "bad.plist: cannot be opened: ",
                             "missing.plist: cannot be opened: No such file or directory\n", "good.bin: ok"})
        EXPECT_NE(r.out.find(path(name)), std::string::npos) << name << "\n" << r.out;
}

TEST_F(Cli, ConvertingOntoALinkReplacesItsTargetAndKeepsThePermissions) {
    writeFile(path("in.plist"), kEveryType);
    writeFile(path("target.plist"), "old contents");
    ASSERT_EQ(::chmod(path("target.plist").c_str(), 0640), 0);
    ASSERT_EQ(::symlink("target.plist", path("link.plist").c_str()), 0);

    Outcome r = run({"convert", "--to", "binary", path("in.plist"), "-o", path("link.plist")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::filesystem::read_symlink(path("link.plist")), "target.plist");
    EXPECT_EQ(readFile(path("target.plist")).substr(0, 8), "bplist00");
    EXPECT_EQ(std::filesystem::status(path("target.plist")).permissions(), std::filesystem::perms(0640));
    EXPECT_EQ(run({"print", path("link.plist")}).out, kEveryTypeOutline);
    EXPECT_EQ(names(), (std::vector<std::string>{"in.plist", "link.plist", "target.plist"}));
}

// Each editing command on a small file: what it prints or refuses (status, text), and the value at a path
// after it; a refused command leaves the file as it was. F stands for the file, "-" for standard input.
TEST_F(Cli, EditingCommandsChangeTheFileByKeyPathOrRefuseSayingWhy) {
    const std::string small = plist::serialize(dict({{"a.b", integer(1)},
                                                     {"list", arr({"x", dict({{"k2", true}, {"k10", "v"}})})},
                                                     {"z", "s"},
                                                     {"y", 2.5}}),
                                               plist::Format::Xml)
                                  .value();
    struct Row {
        std::vector<std::string> args;
        int status;
        std::string said; // found in standard output, or standard error when refused
        std::string getPath = {}, got = {};
    };
    // clang-format off
    const Row rows[] = {
        {{"get", "", "F"}, 0, "<key>a.b</key>"},
        {{"get", "a\\.b", "F"}, 0, "1\n"},
        {{"get", "list.1.k2", "-"}, 0, "true\n"},
        {{"get", "list.1", "F", "--format", "outline"}, 0, "Item 1\tDictionary\t(2 items)\n  k2\tBoolean\ttrue\n"},
        {{"get", "list.5", "F"}, 1, "key path \u201clist.5\u201d not found: no item 5 in the Array at \u201clist\u201d (2 items)"},
        {{"get", "list.1.no\\\\pe", "F"}, 1, "no key \u201cno\\pe\u201d in the Dictionary at \u201clist.1\u201d"},
        {{"get", "z.q", "F"}, 1, "\u201cz\u201d is a String, which holds no \u201cq\u201d"},
        {{"get", "a\\b", "F"}, 1, "a backslash escapes only"},
        {{"set", "a\\.b", "0x10", "F"}, 0, "", "a\\.b", "16\n"},
        {{"set", "list.1.k2", "false", "F"}, 0, "", "list.1.k2", "false\n"},
        {{"set", "list.1.k2", "maybe", "F"}, 1, "\u201cmaybe\u201d is no Boolean"},
        {{"set", "y", "abc", "F"}, 1, "\u201cabc\u201d does not read as a Number"},
        {{"set", "list", "1", "F"}, 1, "set changes scalars only"},
        {{"set", "z", "a\x01", "F"}, 1, unrepresentable("Root \u203a z")},
        {{"set", "z", "new", "-"}, 0, "<string>new</string>"},
        {{"insert", "list.end", "--type", "Number", "-5", "F"}, 0, "", "list.2", "-5\n"},
        {{"insert", "list.0", "--type", "Dictionary", "F"}, 0, "", "list.1", "x\n"},
        {{"insert", "list.1.k3", "--type", "Data", "<00ff>", "F"}, 0, "", "list.1.k3", "<00ff>\n"},
        {{"insert", "z", "--type", "String", "F"}, 1, "holds the key \u201cz\u201d already"},
        {{"insert", "list.3", "--type", "String", "F"}, 1, "has no place 3 (2 items"},
        {{"remove", "list.0", "F"}, 0, "", "list.0.k2", "true\n"},
        {{"remove", "", "F"}, 1, "the root cannot be removed"},
        {{"rename", "z", "y", "F"}, 1, "holds the key \u201cy\u201d already (--replace"},
        {{"rename", "z", "y", "F", "--replace"}, 0, "", "y", "s\n"},
        {{"rename", "list.0", "q", "F"}, 1, "is no key of a Dictionary"},
        {{"type", "a\\.b", "String", "F"}, 0, "", "a\\.b", "1\n"},
        {{"sort", "list.1", "F", "--natural"}, 0, "", "list.1.0", ""},
        {{"sort", "F", "--recursive"}, 0, "", "", ""},
        {{"sort", "list", "F"}, 1, "an Array, which has no keys to sort"},
        {{"convert", "--from", "json", "--to", "xml", "-", "-o", "-"}, 1, "line 2, column 8: "},
        {{"set", "z"}, 2, "usage: vantrel-cli set"}, {{"insert", "q", "F"}, 2, "needs --type"},
        {{"type", "z", "Text", "F"}, 2, "unknown type Text"}, {{"get", "z", "F", "--format", "yaml"}, 2, "--format"},
        {{"sort", "F", "--to", "yaml"}, 2, "--to must be"}, {{"remove", "z", "F", "--version"}, 0, "vantrel-cli " VANTREL_VERSION},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.args));
        writeFile(path("f.plist"), small);
        writeFile(path("in"), "{\"a\": [1,\n  2, 3,, 4]}");
        std::vector<std::string> args = row.args;
        for (auto& a : args)
            a = a == "F" ? path("f.plist") : a;
        Outcome r = run(args, "<'" + path(args[0] == "convert" ? "in" : "f.plist") + "'");
        EXPECT_EQ(r.status, row.status) << r.err;
        EXPECT_NE((row.status ? r.err : r.out).find(row.said), std::string::npos) << r.out << r.err;
        if (row.status) {
            EXPECT_EQ(readFile(path("f.plist")), small);
        }
        if (!row.getPath.empty()) {
            EXPECT_EQ(run({"get", row.getPath, path("f.plist")}).out, row.got);
        }
    }
    // Sorting: by bytes, then naturally; --recursive from the root reaches the dictionary in the array.
    writeFile(path("f.plist"), small);
    EXPECT_EQ(run({"sort", "--recursive", path("f.plist")}).status, 0);
    EXPECT_EQ(
        run({"get", "", path("f.plist"), "--format", "outline"}).out,
        "Root\tDictionary\t(4 items)\n  a.b\tNumber\t1\n  list\tArray\t(2 items)\n    Item 0\tString\tx\n"
        "    Item 1\tDictionary\t(2 items)\n      k10\tString\tv\n      k2\tBoolean\ttrue\n"
        "  y\tNumber\t2.5\n  z\tString\ts\n");
    EXPECT_EQ(run({"sort", "list.1", "--natural", path("f.plist")}).status, 0);
    EXPECT_EQ(run({"get", "list.1", path("f.plist"), "--format", "json"}).out,
              "{\n  \"k2\": true,\n  \"k10\": \"v\"\n}\n");
    // -o and --to write elsewhere, leaving the file.
    EXPECT_EQ(run({"set", "z", "t", path("f.plist"), "-o", path("g.plist"), "--to", "binary"}).status, 0);
    EXPECT_EQ(readFile(path("g.plist")).substr(0, 8), "bplist00");
}

// Plain JSON is what python3's json reads back as the same values; JSON cannot hold inf, and says where.
TEST_F(Cli, PlainJsonReadsBackInPythonAndRefusesInfinityWithItsKeyPath) {
    writeFile(path("in.plist"), kEveryType);
    ASSERT_EQ(run({"convert", "--to", "json", path("in.plist"), "-o", path("out.json")}).status, 0);
    EXPECT_EQ(
        runPython(
            "import json, sys\n"
            "d = json.load(open(sys.argv[1]))\n"
            "sys.exit(0 if (d['count'], d['negative'], d['ratio'], d['created'], d['blob'], d['items'],"
            " d['tab\\tkey'][:5]) == (2**64 - 1, -2**63, 2.0, '2024-03-01T09:05:07Z', 'SGVsbG8=', [1, {}],"
            " 'line\\n') and list(d)[0] == 'name' else 1)\n",
            {path("out.json")}),
        0);
    writeBinary("inf.plist", dict({{"r", arr({1.0, HUGE_VAL})}}));
    Outcome r = run({"convert", "--to", "json", path("inf.plist"), "-o", "-"});
    EXPECT_TRUE(r.status == 1 && r.err.find("at key path \u201cr.1\u201d: the real inf") != std::string::npos)
        << r.err;
}

// An XML file and its binary conversion are equal; a difference gives 1 and JSON that python3 reads back; an
// unreadable side gives 2; git's seven arguments compare the second and fifth and exit 0.
TEST_F(Cli, DiffComparesValuesWhateverTheFormatAndExitsAsDiffDoes) {
    writeFile(path("a.plist"), kEveryType);
    writeBinary("b.plist", dict({{"name", "Vantrel"}, {"count", integer(1)}}));
    ASSERT_EQ(run({"convert", "--to", "binary", path("a.plist"), "-o", path("a.bin")}).status, 0);
    EXPECT_EQ(run({"diff", path("a.plist"), path("a.bin")}).status, 0);
    Outcome r = run({"diff", "--format", "json", path("a.plist"), path("b.plist")});
    writeFile(path("out.json"), r.out);
    EXPECT_EQ(r.status, 1);
    const char* check = "import json, sys\nd = json.load(open(sys.argv[1]))\n"
                        "assert len(d) == 11 and d[0] == {'kind': 'changed', 'oldPath': 'Root \u203a name', "
                        "'newPath': 'Root \u203a name', 'old': {'type': 'String', 'value': 'Vantrel & co'}, "
                        "'new': {'type': 'String', 'value': 'Vantrel'}}, d[:2]";
    EXPECT_EQ(runPython(check, {path("out.json")}), 0) << r.out;
    EXPECT_EQ(run({"diff", path("a.plist"), path("missing.plist")}).status, 2);
    r = run({"diff", "x.plist", path("b.plist"), "1111", "100644", path("a.bin"), "2222", "100644"});
    EXPECT_TRUE(r.status == 0 &&
                r.out.starts_with("vantrel diff a/x.plist b/x.plist\n~ Root \u203a name: Vantrel \u2192"))
        << r.out;
}
