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
        {"--help"}, {"help"}, {"convert", "--help"}, {"lint", "--help"}, {"print", "-h"}};
    const std::vector<std::vector<std::string>> wrong = {
        {}, {"frobnicate"}, {"convert", in, "-o", out},
        {"convert", "--to", "json", in, "-o", out},
        {"convert", "--to", "xml", in}, {"convert", "--to", "xml", "-o", out},
        {"convert", "--to", "xml", in, in, "-o", out}, {"convert", "--to", "xml", in, "-o"},
        {"convert", "--to", "xml", "--force", in, "-o", out}, {"lint"}, {"print"}, {"print", in, in}};
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
