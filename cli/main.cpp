// vantrel-cli: the editor's document model on the command line (convert, lint, print).
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "CliSupport.h"
#include "Commands.h"
#include "ObjectsCommand.h"
#include "model/PlistDocument.h"
#include "model/ValueText.h"
#include "platform/file/AtomicFile.h"

namespace {

constexpr const char* kUsage =
    "usage: vantrel-cli <command> [options]\n"
    "\n"
    "commands:\n"
    "  convert --to xml|binary|json IN -o OUT   write IN in another format (--from json reads JSON)\n"
    "  diff [--order] [--format text|json] A B   show how two documents differ, entry by entry\n"
    "  lint FILE...                        tell for each file whether the editor can open it\n"
    "  print FILE                          show the document as the editor's outline, one row a line\n"
    "  get PATH FILE                       print the value at a key path (\"items.3.name\", \"\" the root)\n"
    "  set PATH VALUE FILE                 change a value\n"
    "  insert PATH --type TYPE [VALUE] FILE  add a key or an array element (index or \"end\")\n"
    "  remove PATH FILE                    delete an entry\n"
    "  rename PATH NEWKEY FILE [--replace] rename a key\n"
    "  type PATH TYPE FILE                 change a type as the editor does\n"
    "  sort [PATH] FILE [--recursive] [--natural]  sort a dictionary's keys\n"
    "  print --objects FILE                show a keyed archive as the editor's object view\n"
    "\n"
    "Run 'vantrel-cli <command> --help' for a command's options, 'vantrel-cli --version' for the version.\n";

constexpr const char* kLintHelp =
    "usage: vantrel-cli lint FILE...\n"
    "\n"
    "Tells for each file whether the editor can open it, and if not, why. Exit status 1 when any cannot.\n";

constexpr const char* kPrintHelp =
    "usage: vantrel-cli print [--objects] FILE\n"
    "\n"
    "Prints the outline: one row a line, indented by depth, with the key column (\"Root\", \"Item N\" or the "
    "key),\n"
    "the type and the value column, separated by tabs. Tabs, line breaks and other control characters in "
    "keys\n"
    "and strings show as the outline shows them: \u21e5, \u21b5, \u23ce and the control pictures.\n"
    "With --objects, a keyed archive shows as the object view does: uids resolved, repeated objects as "
    "links.\n";

using cli::usageError;
using cli::wantsHelp;

int notEnoughMemory() {
    std::cerr << "vantrel-cli: " << plist::kNotEnoughMemory << "\n";
    return 1;
}

size_t countEntries(const model::Entry& e) {
    size_t n = 1;
    if (e.isContainer())
        for (const auto& c : e.child())
            n += countEntries(*c);
    return n;
}

int lint(const std::vector<std::string>& args) {
    if (wantsHelp(args)) {
        std::cout << kLintHelp;
        return 0;
    }
    if (args.empty()) return usageError("lint needs at least one file", kLintHelp);
    int status = 0;
    for (const std::string& path : args) {
        model::PlistDocument doc(path);
        model::LoadOutcome outcome;
        if (path == "-") {
            auto bytes = cli::readInput(path);
            outcome = bytes ? doc.openPlistData(std::move(*bytes))
                            : model::LoadOutcome{false, bytes.error().message, {}};
        } else {
            outcome = doc.openPlistFile();
        }
        if (outcome.ok) {
            std::cout << path << ": ok (" << (doc.formatKind() == plist::Format::Binary ? "binary" : "XML")
                      << ", " << countEntries(*doc.root()) << " entries)\n";
        } else {
            std::cout << path << ": cannot be opened: " << outcome.reason << "\n";
            status = 1;
        }
    }
    return status;
}

int print(std::vector<std::string> args) {
    const bool objects = std::erase(args, std::string("--objects")) > 0;
    if (wantsHelp(args)) {
        std::cout << kPrintHelp;
        return 0;
    }
    if (args.size() != 1) return usageError("print takes exactly one file", kPrintHelp);
    auto loaded = cli::loadDocument(args[0]);
    if (!loaded) return 1;
    if (objects) return printObjects(loaded->doc, args[0]);
    std::string out;
    cli::appendOutline(*loaded->doc.root(), 0, out);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace

int runDiff(const std::vector<std::string>& args);

int main(int argc, char** argv) {
    // A load builds and frees large trees in phases; keeping freed memory in the heap for the next phase,
    // instead of returning it to the system and faulting it in again, halves the time of a large conversion.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_TOP_PAD, 16 << 20);
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return usageError("no command given", kUsage);
    std::string command = args.front();
    args.erase(args.begin());
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage;
        return 0;
    }
    if (command == "--version" || std::find(args.begin(), args.end(), "--version") != args.end()) {
        std::cout << "vantrel-cli " VANTREL_VERSION "\n";
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    try {
        if (command == "convert") return cli::runConvert(args);
        if (command == "get") return cli::runGet(args);
        if (command == "set") return cli::runSet(args);
        if (command == "insert") return cli::runInsert(args);
        if (command == "remove") return cli::runRemove(args);
        if (command == "rename") return cli::runRename(args);
        if (command == "type") return cli::runType(args);
        if (command == "sort") return cli::runSort(args);
        if (command == "diff") return runDiff(args);
        if (command == "lint") return lint(args);
        if (command == "print") return print(args);
    } catch (const std::bad_alloc&) {
        return notEnoughMemory();
    }
    return usageError("unknown command '" + command + "'", kUsage);
}
