// vantrel-cli sort: sorts the keys of a Dictionary, as Edit > Sort Keys does.
#include <iostream>

#include "CliSupport.h"
#include "Commands.h"
#include "editing/EditRules.h"

namespace cli {

namespace {

constexpr const char* kSortHelp =
    "usage: vantrel-cli sort [PATH] FILE [--recursive] [--natural] [-o OUT] [--to FORMAT]\n"
    "\n"
    "Sorts the keys of the Dictionary at PATH (the root without one) by the bytes of their UTF-8 text, "
    "equal\n"
    "keys keeping their order; --natural compares runs of digits as numbers (\"item2\" before \"item10\");\n"
    "--recursive sorts every Dictionary below it too.\n\n";

} // namespace

int runSort(const Args& args) {
    if (wantsHelp(args)) return std::cout << kSortHelp << kWriteOptions, 0;
    const CommandLine line = parseCommandLine(args, {"--typed", "--recursive", "--natural"}, {"-o", "--to"});
    if (!line.error.empty()) return usageError(line.error, kSortHelp);
    const size_t n = line.arguments.size();
    if (n != 1 && n != 2) return usageError("sort takes [PATH] and FILE", kSortHelp);
    auto loaded = loadDocument(line.arguments.back());
    if (!loaded) return kRefused;
    model::EntryRef e = entryAtPath(*loaded, n == 2 ? line.arguments[0] : "");
    if (!e) return kRefused;
    const bool recursive = line.has("--recursive");
    if (e->type() != model::EntryType::Dictionary && !(recursive && e->isContainer()))
        return refuse("the entry at \u201c" + (n == 2 ? line.arguments[0] : "") + "\u201d is " +
                      aType(e->type()) + ", which has no keys to sort");
    const auto order = line.has("--natural") ? editing::KeyOrder::Natural : editing::KeyOrder::Bytes;
    return applyAndWrite(*loaded, editing::sortKeysBatch(e, recursive, order), line);
}

} // namespace cli
