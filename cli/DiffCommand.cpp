// vantrel-cli diff: the structural differences between two property lists, as lines or as JSON.
#include <cstdio>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "model/PlistDocument.h"
#include "model/TreeDiff.h"
#include "model/ValueText.h"

namespace {

constexpr const char* kDiffHelp =
    "usage: vantrel-cli diff [--order] [--format text|json] A B\n"
    "\n"
    "Compares two property lists (XML or binary, in any mix) as trees of values and prints one line per\n"
    "difference, in the order of A:\n"
    "  ~ Root \u203a Servers \u203a Item 1 \u203a Port: 80 \u2192 8080     a value (or a type) changed\n"
    "  + Root \u203a Servers \u203a Item 2: Dictionary (3 items)  an entry only in B\n"
    "  - Root \u203a Notes                                  an entry only in A\n"
    "  \u21b7 Root \u203a items \u203a Item 4 \u2192 Item 0               an unchanged item that moved\n"
    "Dictionaries match entries by key, arrays match items by their whole contents. The order of a\n"
    "dictionary's keys counts only with --order. --format json prints a JSON array of objects with kind,\n"
    "oldPath, newPath, old and new ({type, value}, or null on the side that lacks the entry).\n"
    "Exit status 0 when the documents are equal, 1 when they differ, 2 on trouble.\n"
    "\n"
    "Called by git as an external diff (seven arguments: path old-file old-hex old-mode new-file new-hex\n"
    "new-mode), it compares old-file with new-file, shows the path above the lines and exits 0.\n";

int trouble(const std::string& message) {
    std::cerr << "vantrel-cli: " << message << "\n\n" << kDiffHelp;
    return 2;
}

// A side git gives as /dev/null (a file added or deleted) has no document: its root is none.
bool loadSide(model::PlistDocument& doc, const std::string& path) {
    if (path == "/dev/null") return true;
    model::LoadOutcome outcome = doc.openPlistFile();
    if (outcome.ok) return true;
    if (outcome.reason == plist::kNotEnoughMemory)
        std::cerr << "vantrel-cli: " << plist::kNotEnoughMemory << "\n";
    else
        std::cerr << model::kLoadFailureMessage << "\n" << path << ": " << outcome.reason << "\n";
    return false;
}

void appendJsonString(std::string& out, std::string_view s) {
    out += '"';
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += char(c);
        }
    }
    out += '"';
}

void appendJsonSide(std::string& out, const model::EntryRef& e) {
    if (!e) {
        out += "null";
        return;
    }
    out += "{\"type\": ";
    appendJsonString(out, model::typeName(e->type()));
    out += ", \"value\": ";
    appendJsonString(out, model::valueText(*e));
    out += "}";
}

int diff(const std::vector<std::string>& args) {
    model::DiffOptions options;
    std::string format = "text";
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            std::cout << kDiffHelp;
            return 0;
        } else if (a == "--order") {
            options.order = true;
        } else if (a == "--format") {
            if (i + 1 >= args.size()) return trouble("--format needs a value");
            format = args[++i];
        } else if (a.rfind("--format=", 0) == 0) {
            format = a.substr(9);
        } else if (a.size() > 1 && a[0] == '-') {
            return trouble("unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (format != "text" && format != "json") return trouble("--format must be text or json");
    const bool fromGit = files.size() == 7;
    if (fromGit)
        files = {files[1], files[4], files[0]};
    else if (files.size() != 2)
        return trouble("diff needs two files");

    model::PlistDocument a(files[0]), b(files[1]);
    if (!loadSide(a, files[0]) || !loadSide(b, files[1])) return 2;
    std::vector<model::Difference> differences;
    if (a.root() && b.root()) {
        differences = model::diffTrees(*a.root(), *b.root(), options);
    } else if (a.root() || b.root()) {
        model::Difference whole;
        whole.kind = a.root() ? model::DiffKind::Removed : model::DiffKind::Added;
        (a.root() ? whole.oldEntry : whole.newEntry) = a.root() ? a.root() : b.root();
        differences.push_back(whole);
    }

    std::string out;
    if (fromGit && !differences.empty()) out += "vantrel diff a/" + files[2] + " b/" + files[2] + "\n";
    if (format == "json") out += "[";
    for (size_t i = 0; i < differences.size(); ++i) {
        const model::Difference& d = differences[i];
        if (format == "text") {
            out += model::differenceText(d) + "\n";
            continue;
        }
        out += i ? ",\n {\"kind\": " : "\n {\"kind\": ";
        appendJsonString(out, model::diffKindName(d.kind));
        out += ", \"oldPath\": ";
        appendJsonString(out, d.oldPath());
        out += ", \"newPath\": ";
        appendJsonString(out, d.newPath());
        out += ", \"old\": ";
        appendJsonSide(out, d.oldEntry);
        out += ", \"new\": ";
        appendJsonSide(out, d.newEntry);
        out += "}";
    }
    if (format == "json") out += differences.empty() ? "]\n" : "\n]\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    if (std::fflush(stdout) != 0) return 2;
    // git stops at an external diff that exits other than 0.
    return fromGit || differences.empty() ? 0 : 1;
}

} // namespace

// Trouble, running out of memory included, is exit status 2 as diff has it.
int runDiff(const std::vector<std::string>& args) {
    try {
        return diff(args);
    } catch (const std::bad_alloc&) {
        std::cerr << "vantrel-cli: " << plist::kNotEnoughMemory << "\n";
        return 2;
    }
}
