// vantrel-cli get: prints the value at a key path.
#include <iostream>

#include "CliSupport.h"
#include "Commands.h"
#include "ObjectsCommand.h"
#include "editing/TypeConversion.h"
#include "model/Json.h"

namespace cli {

namespace {

constexpr const char* kGetHelp =
    "usage: vantrel-cli get PATH FILE [--format xml|json|outline] [--objects]\n"
    "\n"
    "Prints the value at PATH: a scalar as its text form (the text set takes back), a container as an XML\n"
    "property-list document, or in the --format given. PATH joins keys and indices with \".\" "
    "(\"items.3.name\");\n"
    "\"\\.\" and \"\\\\\" stand for \".\" and \"\\\" in a key; \"\" is the root.\n"
    "With --objects, PATH runs through a keyed archive's object view (the labels print --objects shows).\n";

} // namespace

int runGet(const Args& args) {
    if (wantsHelp(args)) return std::cout << kGetHelp, 0;
    const CommandLine line = parseCommandLine(args, {"--objects"}, {"--format"});
    if (!line.error.empty()) return usageError(line.error, kGetHelp);
    if (line.arguments.size() != 2) return usageError("get takes PATH and FILE", kGetHelp);
    const std::string format = line.value("--format").value_or("");
    if (!format.empty() && format != "xml" && format != "json" && format != "outline")
        return usageError("--format must be xml, json or outline", kGetHelp);
    auto loaded = loadDocument(line.arguments[1]);
    if (!loaded) return kRefused;
    if (line.has("--objects")) return printObjects(loaded->doc, line.arguments[1], line.arguments[0]);
    model::EntryRef e = entryAtPath(*loaded, line.arguments[0]);
    if (!e) return kRefused;
    std::string out;
    if (format == "outline") {
        appendOutline(*e, 0, out);
    } else if (format == "json") {
        auto json = model::writeJson(model::PlistDocument::propertyListValue(*e));
        if (!json) return refuse(json.error().message);
        out = std::move(*json);
    } else if (format == "xml" || e->isContainer()) {
        auto xml = loaded->doc.plistStringWithItem(e, model::WriteMode::Strict);
        if (!xml) return refuse(xml.error().message);
        out = std::move(*xml);
    } else {
        out = e->type() == model::EntryType::Boolean ? (e->boolValue() ? "true" : "false")
                                                     : editing::textForm(*e);
        out += '\n';
    }
    return writeOutput("-", out) ? 0 : kRefused;
}

} // namespace cli
