// vantrel-cli insert: adds a key to a Dictionary or an element to an Array.
#include <iostream>

#include "CliSupport.h"
#include "Commands.h"
#include "editing/EditRules.h"
#include "editing/TypeConversion.h"
#include "model/KeyPath.h"

namespace cli {

namespace {

constexpr const char* kInsertHelp =
    "usage: vantrel-cli insert PATH --type TYPE [VALUE] FILE [-o OUT] [--to FORMAT]\n"
    "\n"
    "Adds an entry of TYPE (Array, Dictionary, Boolean, Data, Date, Number, String) at PATH: the last part\n"
    "is a new key of the Dictionary above, or an index of the Array above (\"end\" appends). VALUE is read "
    "as\n"
    "set reads it; without one a scalar starts as the editor's new entries do (empty, 0, false, now).\n\n";

} // namespace

int runInsert(const Args& args) {
    if (wantsHelp(args)) return std::cout << kInsertHelp << kWriteOptions, 0;
    const CommandLine line = parseCommandLine(args, {"--typed"}, {"-o", "--to", "--type"});
    if (!line.error.empty()) return usageError(line.error, kInsertHelp);
    const auto typeText = line.value("--type");
    if (!typeText) return usageError("insert needs --type TYPE", kInsertHelp);
    const auto type = model::typeNamed(*typeText);
    if (!type || *type == model::EntryType::NotApplicable)
        return usageError("unknown type " + *typeText, kInsertHelp);
    const bool container = *type == model::EntryType::Array || *type == model::EntryType::Dictionary;
    const size_t n = line.arguments.size();
    if (n != 2 && (n != 3 || container))
        return usageError(container ? "insert of a container takes PATH and FILE"
                                    : "insert takes PATH, [VALUE] and FILE",
                          kInsertHelp);
    auto parts = model::splitKeyPath(line.arguments[0]);
    if (!parts || parts->empty())
        return usageError("insert needs the path of a new entry below the root", kInsertHelp);
    auto loaded = loadDocument(line.arguments.back());
    if (!loaded) return kRefused;
    const std::string last = parts->back();
    parts->pop_back();
    auto parent = model::resolveKeyPath(loaded->doc.root(), *parts);
    if (!parent) return refuse(parent.error().message);
    const std::string where = parts->empty() ? "the root" : "\u201c" + model::joinKeyPath(*parts) + "\u201d";
    size_t index = 0;
    std::string key;
    if ((*parent)->type() == model::EntryType::Dictionary) {
        for (const model::EntryRef& c : (*parent)->child())
            if (c->key == last)
                return refuse("the Dictionary at " + where + " holds the key \u201c" + last +
                              "\u201d already");
        index = (*parent)->childCount();
        key = last;
    } else if ((*parent)->type() == model::EntryType::Array) {
        auto at = model::arrayIndex(last, (*parent)->childCount(), true);
        if (!at)
            return refuse("the Array at " + where + " has no place " + last + " (" +
                          std::to_string((*parent)->childCount()) + " items; \u201cend\u201d appends)");
        index = *at;
    } else {
        return refuse(where + " is " + aType((*parent)->type()) + ", which holds no entries");
    }
    model::PlistDocument& doc = loaded->doc;
    model::EntryRef item = model::Entry::make(key, model::EntryType::String, std::string(), doc.idNumber());
    doc.setIdNumber(doc.idNumber() + 1);
    if (container) {
        item->setChildren({});
    } else if (n == 3) {
        auto value = valueOfText(*type, line.arguments[1]);
        if (!value) return kRefused;
        item->setValue(std::move(*value));
    } else {
        item->setValue(editing::convertedValue(*item, *type));
    }
    item->setType(*type);
    if (editing::nestsTooDeep(**parent, *item)) return refuse("the entry would nest the document too deep");
    return applyAndWrite(*loaded, {editing::CommandRecord::insertItem(item, *parent, int64_t(index))}, line);
}

} // namespace cli
