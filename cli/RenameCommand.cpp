// vantrel-cli rename: gives the entry at a key path another key.
#include <iostream>

#include "CliSupport.h"
#include "Commands.h"
#include "editing/EditRules.h"

namespace cli {

namespace {

constexpr const char* kRenameHelp =
    "usage: vantrel-cli rename PATH NEWKEY FILE [--replace] [-o OUT] [--to FORMAT]\n"
    "\n"
    "Renames the key of the Dictionary entry at PATH. Refused when the Dictionary holds NEWKEY already,\n"
    "unless --replace, which renames it and removes the pair that held NEWKEY (\"Replace Existing "
    "Pair\").\n\n";

} // namespace

int runRename(const Args& args) {
    if (wantsHelp(args)) return std::cout << kRenameHelp << kWriteOptions, 0;
    const CommandLine line = parseCommandLine(args, {"--typed", "--replace"}, {"-o", "--to"});
    if (!line.error.empty()) return usageError(line.error, kRenameHelp);
    if (line.arguments.size() != 3) return usageError("rename takes PATH, NEWKEY and FILE", kRenameHelp);
    auto loaded = loadDocument(line.arguments[2]);
    if (!loaded) return kRefused;
    model::EntryRef e = entryAtPath(*loaded, line.arguments[0]);
    if (!e) return kRefused;
    if (!e->parent() || e->parent()->type() != model::EntryType::Dictionary)
        return refuse("\u201c" + line.arguments[0] + "\u201d is no key of a Dictionary");
    const std::string& key = line.arguments[1];
    editing::CommandBatch batch;
    if (model::EntryRef duplicate = editing::siblingWithKey(e, key)) {
        if (!line.has("--replace"))
            return refuse("the Dictionary holds the key \u201c" + key +
                          "\u201d already (--replace replaces that pair)");
        batch = editing::replaceKeyValue(e, duplicate, key);
    } else if (e->key != key) {
        batch = {editing::CommandRecord::renameKey(model::EntryRef(e->parent()), int64_t(e->indexInParent()),
                                                   key)};
    }
    return applyAndWrite(*loaded, batch, line);
}

} // namespace cli
