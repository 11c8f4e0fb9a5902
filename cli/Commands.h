// The commands of vantrel-cli, each in a file of its own; each takes the arguments after its name and gives
// the exit status.
#pragma once

#include <string>
#include <vector>

namespace cli {

using Args = std::vector<std::string>;

int runConvert(const Args& args);
int runGet(const Args& args);
int runSet(const Args& args);
int runInsert(const Args& args);
int runRemove(const Args& args);
int runRename(const Args& args);
int runType(const Args& args);
int runSort(const Args& args);

// The options every editing command takes, for its usage text.
inline constexpr const char* kWriteOptions =
    "The file is read as the editor opens it and written back as the editor saves it: atomically, keeping\n"
    "its permissions, in its own format unless --to xml|binary|json (--typed for typed JSON) picks another,\n"
    "to OUT with -o OUT. \"-\" stands for standard input and output. Refused, with exit status 1, when XML\n"
    "cannot hold a value, the file may not be written or it changed since it was read.\n";

} // namespace cli
