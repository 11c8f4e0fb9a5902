#include "CliSupport.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <iterator>

#include "editing/BatchRunner.h"
#include "editing/EditRules.h"
#include "model/Json.h"
#include "model/KeyPath.h"
#include "model/ValueText.h"
#include "platform/file/AtomicFile.h"
#include "platform/file/RegularFile.h"

namespace cli {

int usageError(const std::string& message, const char* usage) {
    std::cerr << "vantrel-cli: " << message << "\n\n" << usage;
    return kUsage;
}

int refuse(const std::string& reason) {
    std::cerr << "vantrel-cli: " << reason << "\n";
    return kRefused;
}

bool wantsHelp(const std::vector<std::string>& args) {
    for (const auto& a : args)
        if (a == "--help" || a == "-h") return true;
    return false;
}

bool isOption(const std::string& a) {
    return a.size() > 1 && a[0] == '-' && !(a[1] >= '0' && a[1] <= '9') && a[1] != '.';
}

bool CommandLine::has(const std::string& name) const {
    for (const auto& [n, v] : options)
        if (n == name) return true;
    return false;
}

std::optional<std::string> CommandLine::value(const std::string& name) const {
    std::optional<std::string> found;
    for (const auto& [n, v] : options)
        if (n == name) found = v;
    return found;
}

CommandLine parseCommandLine(const std::vector<std::string>& args, const std::vector<std::string>& flags,
                             const std::vector<std::string>& valued) {
    CommandLine line;
    auto known = [](const std::vector<std::string>& names, const std::string& n) {
        return std::find(names.begin(), names.end(), n) != names.end();
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") {
            line.arguments.insert(line.arguments.end(), args.begin() + long(i) + 1, args.end());
            break;
        }
        if (!isOption(a)) {
            line.arguments.push_back(a);
            continue;
        }
        const size_t eq = a.find('=');
        const std::string name = a.substr(0, eq);
        if (known(valued, name)) {
            if (eq != std::string::npos) {
                line.options.emplace_back(name, a.substr(eq + 1));
            } else if (i + 1 < args.size()) {
                line.options.emplace_back(name, args[++i]);
            } else {
                line.error = name + " needs a value";
                return line;
            }
        } else if (known(flags, a)) {
            line.options.emplace_back(a, "");
        } else {
            line.error = "unknown option " + a;
            return line;
        }
    }
    if (auto to = line.value("--to"); to && *to != "xml" && *to != "binary" && *to != "json")
        line.error = "--to must be xml, binary or json";
    return line;
}

plist::Expected<std::string> readInput(const std::string& path) {
    if (path != "-") return platform::readRegularFile(path);
    std::string bytes;
    char buffer[1 << 16];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;)
        bytes.append(buffer, n);
    if (std::ferror(stdin))
        return plist::makeError(plist::Error::Kind::Io, "standard input could not be read");
    return bytes;
}

bool writeOutput(const std::string& path, const std::string& bytes) {
    if (path == "-") {
        std::fwrite(bytes.data(), 1, bytes.size(), stdout);
        if (std::fflush(stdout) == 0) return true;
        refuse("standard output could not be written");
        return false;
    }
    auto written = platform::writeFileAtomically(path, bytes);
    if (!written) refuse(written.error().message);
    return bool(written);
}

void leaveToExit(LoadedDocument&& doc) {
    static auto* kept = new std::vector<LoadedDocument>; // never destroyed
    kept->push_back(std::move(doc));
}

std::optional<LoadedDocument> loadDocument(const std::string& path) {
    auto bytes = readInput(path);
    if (!bytes) {
        if (bytes.error().kind == plist::Error::Kind::NoMemory)
            refuse(bytes.error().message);
        else
            std::cerr << model::kLoadFailureMessage << "\n" << path << ": " << bytes.error().message << "\n";
        return std::nullopt;
    }
    std::optional<LoadedDocument> loaded(std::in_place);
    loaded->path = path;
    if (path != "-") loaded->identity = platform::FileIdentity::ofWrittenFile(path, *bytes);
    model::LoadOutcome outcome = loaded->doc.openPlistData(std::move(*bytes));
    if (!outcome.ok) {
        if (outcome.reason == plist::kNotEnoughMemory)
            refuse(outcome.reason);
        else
            std::cerr << model::kLoadFailureMessage << "\n" << path << ": " << outcome.reason << "\n";
        return std::nullopt;
    }
    return loaded;
}

std::optional<std::string> documentBytes(const model::PlistDocument& doc, const std::string& format) {
    plist::Expected<std::string> bytes = plist::makeError(plist::Error::Kind::Empty, {});
    if (format == "xml")
        bytes = doc.plistString();
    else if (format == "binary")
        bytes = doc.binaryData();
    else
        bytes = model::writeJson(model::PlistDocument::propertyListValue(*doc.root()),
                                 {.typed = format == "json-typed"});
    if (!bytes) {
        refuse(bytes.error().message);
        return std::nullopt;
    }
    return std::move(*bytes);
}

int applyAndWrite(LoadedDocument& loaded, const editing::CommandBatch& batch, const CommandLine& line) {
    const auto out = line.value("-o");
    const auto to = line.value("--to");
    if (batch.empty() && !out && !to) return 0;
    editing::BatchRunner(loaded.doc.root()).run(batch);
    std::string format = to ? *to : loaded.doc.formatKind() == plist::Format::Binary ? "binary" : "xml";
    if (format == "json" && line.has("--typed")) format = "json-typed";
    auto bytes = documentBytes(loaded.doc, format);
    if (!bytes) return kRefused;
    const std::string target = out ? *out : loaded.path;
    // As a save does: a file that another program changed since it was read is not overwritten.
    if (target == loaded.path && loaded.identity && loaded.identity->differsFromFileAt(loaded.path))
        return refuse(loaded.path + ": the file changed since it was read; nothing was written");
    return writeOutput(target, *bytes) ? 0 : kRefused;
}

model::EntryRef entryAtPath(const LoadedDocument& loaded, const std::string& path) {
    auto parts = model::splitKeyPath(path);
    if (!parts) {
        refuse("key path \u201c" + path +
               "\u201d: a backslash escapes only \u201c.\u201d and \u201c\\\u201d");
        return {};
    }
    auto found = model::resolveKeyPath(loaded.doc.root(), *parts);
    if (!found) {
        refuse(found.error().message);
        return {};
    }
    return *found;
}

std::optional<model::Entry::Value> valueOfText(model::EntryType type, const std::string& text) {
    std::string typed = text;
    if (type == model::EntryType::Boolean) {
        // The field's own forms, 1 and 0, and the words.
        typed = text == "true" ? "1" : text == "false" ? "0" : text;
        if (typed != "1" && typed != "0") {
            refuse("\u201c" + text + "\u201d is no Boolean (true, false, 1 or 0)");
            return std::nullopt;
        }
    }
    auto value = editing::typedValue(type, typed);
    if (!value) refuse("\u201c" + text + "\u201d does not read as " + aType(type));
    return value;
}

std::string aType(model::EntryType type) {
    const std::string name(model::typeName(type));
    return (type == model::EntryType::Array ? "an " : "a ") + name;
}

void appendOutline(const model::Entry& e, int depth, std::string& out) {
    out.append(size_t(depth) * 2, ' ');
    out += model::withVisibleMarks(model::keyLabel(e));
    out += '\t';
    out += model::typeName(e.type());
    out += '\t';
    out += model::withVisibleMarks(model::valueText(e));
    out += '\n';
    if (!e.isContainer()) return;
    for (const model::EntryRef& c : e.child())
        appendOutline(*c, depth + 1, out);
}

} // namespace cli
