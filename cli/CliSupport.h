// What the commands of vantrel-cli share: reading their command lines, loading a document as the editor
// does (from a file or standard input), running an edit through the command engine and writing the result
// back as a save does.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "editing/CommandRecord.h"
#include "model/PlistDocument.h"
#include "platform/file/FileIdentity.h"

namespace cli {

// Exit statuses: 0 done, 1 a file or value refused (the reason on standard error), 2 a wrong command line.
inline constexpr int kRefused = 1, kUsage = 2;

// Prints "vantrel-cli: message", then the command's usage, and gives kUsage.
int usageError(const std::string& message, const char* usage);
// Prints "vantrel-cli: reason" and gives kRefused.
int refuse(const std::string& reason);
bool wantsHelp(const std::vector<std::string>& args);
// An argument that is an option: starts with "-" but is neither "-" (standard input or output) nor a
// negative number.
bool isOption(const std::string& a);

// A command line split into the options a command knows and its other arguments in order. Options that take
// a value are listed in valued; "--name=value" is read as well. Anything after "--" is an argument.
struct CommandLine {
    std::vector<std::string> arguments;
    std::vector<std::pair<std::string, std::string>> options; // name, value ("" for flags)
    std::string error;                                        // set when the command line is wrong

    bool has(const std::string& name) const;
    std::optional<std::string> value(const std::string& name) const;
};
CommandLine parseCommandLine(const std::vector<std::string>& args, const std::vector<std::string>& flags,
                             const std::vector<std::string>& valued);

// The whole of a file, or of standard input for "-".
plist::Expected<std::string> readInput(const std::string& path);
// Writes bytes to standard output for "-", else replaces the file atomically, keeping its permissions.
bool writeOutput(const std::string& path, const std::string& bytes);

// A document loaded for an edit, with what the file was when it was read.
struct LoadedDocument {
    model::PlistDocument doc;
    std::string path;
    std::optional<platform::FileIdentity> identity;
};
// Keeps a document to the end of the process: the tool ends right after, and the system takes the memory
// back at once, where freeing a large tree entry by entry takes a good part of a second.
void leaveToExit(LoadedDocument&& doc);
// Loads a document as a window does; prints why it cannot and gives none.
std::optional<LoadedDocument> loadDocument(const std::string& path);

// The document's bytes in a format: "xml", "binary", "json" or "json-typed"; none (after printing why) when
// the format cannot hold a value.
std::optional<std::string> documentBytes(const model::PlistDocument& doc, const std::string& format);

// Runs an edit through the command engine and writes the document back as a save does: in its own format
// unless --to names another, to -o OUT or else over the file (standard output for "-"), refusing a file that
// changed since it was read. An empty batch writes only when -o or --to asks for it.
int applyAndWrite(LoadedDocument& loaded, const editing::CommandBatch& batch, const CommandLine& line);

// The entry at a key path; prints which part was not found and gives none.
model::EntryRef entryAtPath(const LoadedDocument& loaded, const std::string& path);

// Text read as a value of a type by the editor's rules for typed values, a Boolean also from true and
// false; prints why it does not read and gives none.
std::optional<model::Entry::Value> valueOfText(model::EntryType type, const std::string& text);

// "a String", "an Array": a type's name as the messages say it.
std::string aType(model::EntryType type);

// The outline's rows: one a line, indented by depth, key, type and value separated by tabs.
void appendOutline(const model::Entry& e, int depth, std::string& out);

} // namespace cli
