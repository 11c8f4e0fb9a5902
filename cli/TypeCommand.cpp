// vantrel-cli type: changes the type of the entry at a key path by the editor's conversion table.
#include <iostream>

#include "CliSupport.h"
#include "Commands.h"
#include "editing/EditRules.h"

namespace cli {

namespace {

constexpr const char* kTypeHelp =
    "usage: vantrel-cli type PATH TYPE FILE [-o OUT] [--to FORMAT]\n"
    "\n"
    "Changes the entry at PATH to TYPE (Array, Dictionary, Boolean, Data, Date, Number, String), its value\n"
    "converted as the editor's type menu converts it.\n\n";

} // namespace

int runType(const Args& args) {
    if (wantsHelp(args)) return std::cout << kTypeHelp << kWriteOptions, 0;
    const CommandLine line = parseCommandLine(args, {"--typed"}, {"-o", "--to"});
    if (!line.error.empty()) return usageError(line.error, kTypeHelp);
    if (line.arguments.size() != 3) return usageError("type takes PATH, TYPE and FILE", kTypeHelp);
    const auto type = model::typeNamed(line.arguments[1]);
    if (!type || *type == model::EntryType::NotApplicable)
        return usageError("unknown type " + line.arguments[1], kTypeHelp);
    auto loaded = loadDocument(line.arguments[2]);
    if (!loaded) return kRefused;
    model::EntryRef e = entryAtPath(*loaded, line.arguments[0]);
    if (!e) return kRefused;
    return applyAndWrite(*loaded, editing::typeChangeBatch(e, *type), line);
}

} // namespace cli
