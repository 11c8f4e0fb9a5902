// vantrel-cli: the editor's document model on the command line (convert, lint, print).
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "ObjectsCommand.h"
#include "model/PlistDocument.h"
#include "model/ValueText.h"
#include "platform/file/AtomicFile.h"

namespace {

constexpr const char* kUsage =
    "usage: vantrel-cli <command> [options]\n"
    "\n"
    "commands:\n"
    "  convert --to xml|binary IN -o OUT   write IN in the given format, as the editor saves it\n"
    "  lint FILE...                        tell for each file whether the editor can open it\n"
    "  print FILE                          show the document as the editor's outline, one row a line\n"
    "  print --objects FILE                show a keyed archive as the editor's object view\n"
    "\n"
    "Run 'vantrel-cli <command> --help' for a command's options, 'vantrel-cli --version' for the version.\n";

constexpr const char* kConvertHelp =
    "usage: vantrel-cli convert --to xml|binary IN -o OUT\n"
    "\n"
    "Loads IN (an XML or binary property list) exactly as an editor window does and writes it to OUT as the\n"
    "editor saves it. OUT is replaced atomically. Exit status 1 when IN cannot be opened or OUT cannot be\n"
    "written; a document holding a value that XML cannot store is not written as XML.\n";

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

int usageError(const std::string& message, const char* usage) {
    std::cerr << "vantrel-cli: " << message << "\n\n" << usage;
    return 2;
}

bool wantsHelp(const std::vector<std::string>& args) {
    for (const auto& a : args)
        if (a == "--help" || a == "-h") return true;
    return false;
}

int notEnoughMemory() {
    std::cerr << "vantrel-cli: " << plist::kNotEnoughMemory << "\n";
    return 1;
}

// Loads a document on a thread of its own and, when standard error is a terminal and the load takes more
// than a second, shows how far it has come there, as the editor's window does.
model::LoadOutcome loadShowingProgress(model::PlistDocument& doc) {
    if (!::isatty(STDERR_FILENO)) return doc.openPlistFile();
    model::LoadProgress progress;
    std::future<model::LoadOutcome> outcome =
        std::async(std::launch::async, [&] { return doc.openPlistFile(&progress); });
    bool shown = false;
    for (int tenths = 0; outcome.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready;) {
        if (++tenths < 10) continue;
        const uint64_t total = progress.total.load(std::memory_order_relaxed);
        const uint64_t done = std::min(progress.done.load(std::memory_order_relaxed), total);
        const bool reading = progress.phase.load(std::memory_order_relaxed) == model::LoadProgress::Reading;
        std::fprintf(stderr, "\r\033[K%s", reading ? "Reading the file" : "Building entries");
        if (total)
            std::fprintf(stderr, "\u2026 %d%%", int(done * 100 / total));
        else
            std::fputs("\u2026", stderr);
        shown = true;
    }
    if (shown) std::fputs("\r\033[K", stderr);
    return outcome.get();
}

// Loads a file as a window does; prints the user's message and the reason when it cannot be opened.
bool load(model::PlistDocument& doc, const std::string& path) {
    model::LoadOutcome outcome = loadShowingProgress(doc);
    if (outcome.ok) return true;
    if (outcome.reason == plist::kNotEnoughMemory)
        notEnoughMemory();
    else
        std::cerr << model::kLoadFailureMessage << "\n" << path << ": " << outcome.reason << "\n";
    return false;
}

int convert(const std::vector<std::string>& args) {
    if (wantsHelp(args)) {
        std::cout << kConvertHelp;
        return 0;
    }
    std::string to, in, out;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--to" || a == "-o") {
            if (i + 1 >= args.size()) return usageError(a + " needs a value", kConvertHelp);
            (a == "--to" ? to : out) = args[++i];
        } else if (a.rfind("--to=", 0) == 0) {
            to = a.substr(5);
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return usageError("unknown option " + a, kConvertHelp);
        } else if (in.empty()) {
            in = a;
        } else {
            return usageError("more than one input file", kConvertHelp);
        }
    }
    if (to != "xml" && to != "binary") return usageError("--to must be xml or binary", kConvertHelp);
    if (in.empty() || out.empty()) return usageError("convert needs IN and -o OUT", kConvertHelp);

    model::PlistDocument doc(in);
    if (!load(doc, in)) return 1;
    auto bytes = to == "xml" ? doc.plistString() : doc.binaryData();
    if (!bytes && bytes.error().kind == plist::Error::Kind::NoMemory) return notEnoughMemory();
    if (!bytes) {
        std::cerr << bytes.error().message << "\n";
        return 1;
    }
    auto written = platform::writeFileAtomically(out, *bytes);
    if (!written) {
        std::cerr << "vantrel-cli: " << written.error().message << "\n";
        return 1;
    }
    return 0;
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
        model::LoadOutcome outcome = doc.openPlistFile();
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

void printRows(const model::Entry& e, int depth, std::string& out) {
    out.append(size_t(depth) * 2, ' ');
    out += model::withVisibleMarks(model::keyLabel(e));
    out += '\t';
    out += model::typeName(e.type());
    out += '\t';
    out += model::withVisibleMarks(model::valueText(e));
    out += '\n';
    if (!e.isContainer()) return;
    for (const model::EntryRef& c : e.child())
        printRows(*c, depth + 1, out);
}

int print(std::vector<std::string> args) {
    const bool objects = std::erase(args, std::string("--objects")) > 0;
    if (wantsHelp(args)) {
        std::cout << kPrintHelp;
        return 0;
    }
    if (args.size() != 1) return usageError("print takes exactly one file", kPrintHelp);
    model::PlistDocument doc(args[0]);
    if (!load(doc, args[0])) return 1;
    if (objects) return printObjects(doc, args[0]);
    std::string out;
    printRows(*doc.root(), 0, out);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace

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
    if (command == "--version") {
        std::cout << "vantrel-cli " VANTREL_VERSION "\n";
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    try {
        if (command == "convert") return convert(args);
        if (command == "lint") return lint(args);
        if (command == "print") return print(args);
    } catch (const std::bad_alloc&) {
        return notEnoughMemory();
    }
    return usageError("unknown command '" + command + "'", kUsage);
}
