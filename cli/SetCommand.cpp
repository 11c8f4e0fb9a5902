// vantrel-cli set: changes the value at a key path, read as the editor reads a typed value.
#include <iostream>

#include "CliSupport.h"
#include "Commands.h"
#include "editing/EditRules.h"

namespace cli {

namespace {

constexpr const char* kSetHelp =
    "usage: vantrel-cli set PATH VALUE FILE [-o OUT] [--to FORMAT]\n"
    "\n"
    "Gives the scalar at PATH the value VALUE, read as the editor reads what is typed into a value of its\n"
    "type: a Number in decimal, \"0x\" hexadecimal or as a real (\"inf\", \"nan\" too), a Date as ISO 8601\n"
    "text or the displayed form, Data as hexadecimal with or without <>, a Boolean as true, false, 1 or 0.\n"
    "A value that does not read is refused.\n\n";

} // namespace

int runSet(const Args& args) {
    if (wantsHelp(args)) return std::cout << kSetHelp << kWriteOptions, 0;
    const CommandLine line = parseCommandLine(args, {"--typed"}, {"-o", "--to"});
    if (!line.error.empty()) return usageError(line.error, kSetHelp);
    if (line.arguments.size() != 3) return usageError("set takes PATH, VALUE and FILE", kSetHelp);
    auto loaded = loadDocument(line.arguments[2]);
    if (!loaded) return kRefused;
    model::EntryRef e = entryAtPath(*loaded, line.arguments[0]);
    if (!e) return kRefused;
    if (e->isContainer())
        return refuse("\u201c" + line.arguments[0] + "\u201d is " + aType(e->type()) +
                      "; set changes scalars only");
    auto value = valueOfText(e->type(), line.arguments[1]);
    if (!value) return kRefused;
    return applyAndWrite(*loaded, editing::valueChangeBatch(e, std::move(*value)), line);
}

} // namespace cli
