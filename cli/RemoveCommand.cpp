// vantrel-cli remove: deletes the entry at a key path.
#include <iostream>

#include "CliSupport.h"
#include "Commands.h"

namespace cli {

namespace {

constexpr const char* kRemoveHelp = "usage: vantrel-cli remove PATH FILE [-o OUT] [--to FORMAT]\n"
                                    "\n"
                                    "Deletes the entry at PATH and everything below it; the root stays.\n\n";

} // namespace

int runRemove(const Args& args) {
    if (wantsHelp(args)) return std::cout << kRemoveHelp << kWriteOptions, 0;
    const CommandLine line = parseCommandLine(args, {"--typed"}, {"-o", "--to"});
    if (!line.error.empty()) return usageError(line.error, kRemoveHelp);
    if (line.arguments.size() != 2) return usageError("remove takes PATH and FILE", kRemoveHelp);
    auto loaded = loadDocument(line.arguments[1]);
    if (!loaded) return kRefused;
    model::EntryRef e = entryAtPath(*loaded, line.arguments[0]);
    if (!e) return kRefused;
    if (!e->parent()) return refuse("the root cannot be removed");
    return applyAndWrite(
        *loaded,
        {editing::CommandRecord::removeItem(model::EntryRef(e->parent()), int64_t(e->indexInParent()))},
        line);
}

} // namespace cli
