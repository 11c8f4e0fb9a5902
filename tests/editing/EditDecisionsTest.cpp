// The edit decisions on bare trees: each row runs one decision and reads its answer back as text.
#include <gtest/gtest.h>

#include <functional>

#include "editing/EditDecisions.h"
#include "model/ValueText.h"
#include "platform/plist/PropertyList.h"

namespace editing {
namespace {

using model::PlistDocument;

// Root { a = "x"; "a - 2" = false; n = 5; d = <0102>; list = ("s", {}) }, and a document to read text with.
struct Tree {
    PlistDocument doc;
    EntryRef root = Entry::makeContainer("", EntryType::Dictionary);
    Tree() {
        for (auto& [key, type, value] :
             std::initializer_list<std::tuple<const char*, EntryType, Entry::Value>>{
                 {"a", EntryType::String, std::string("x")},
                 {"a - 2", EntryType::Boolean, false},
                 {"n", EntryType::Number, model::Number::fromInteger(plist::Integer::fromSigned(5))},
                 {"d", EntryType::Data, model::Data{1, 2}}})
            root->appendChild(Entry::make(key, type, value));
        root->appendChild(Entry::makeContainer("list", EntryType::Array));
        at(4)->appendChild(Entry::make("", EntryType::String, std::string("s")));
        at(4)->appendChild(Entry::makeContainer("", EntryType::Dictionary));
    }
    EntryRef at(size_t i) const { return root->child()[i]; }
};

std::string text(const QString& s) {
    return s.toStdString();
}

std::string describe(const CommandBatch& batch) {
    std::string out;
    for (const CommandRecord& r : batch) {
        out += out.empty() ? "" : "; ";
        if (r.command.empty()) {
            out += "title " + r.commandTitle.value_or("");
            continue;
        }
        out += r.command;
        const Entry* parent = r.parent && *r.parent ? r.parent->get() : nullptr;
        if (parent) out += " in " + PlistDocument::keyPath(*parent);
        for (int64_t i : {r.itemIndex, r.fromIndex, r.toIndex})
            if (i >= 0) out += " " + std::to_string(i);
        if (!r.newKey.empty()) out += " \"" + r.newKey + "\"";
        if (r.item) out += " \"" + r.item->key + "\"";
        if (r.newValue) {
            const EntryType type =
                r.command == kChangeValue ? parent->child()[r.itemIndex]->type() : r.newType;
            out += " = " + model::valueText(*Entry::make("", type, *r.newValue));
        }
    }
    return out;
}

std::string describe(const EditDecision& d) {
    if (!d.alert) return describe(d.batch);
    return "alert " + text(d.alert->message) + " [" + text(d.alert->buttons.join('|')) + "]";
}

// An entry whose subtree spans height levels.
EntryRef chain(int height) {
    EntryRef top = Entry::makeContainer("", EntryType::Array), e = top;
    for (int i = 1; i < height; ++i, e = e->child().back())
        e->appendChild(Entry::makeContainer("", EntryType::Array));
    return top;
}

std::string add(const Tree& t, const EntryRef& selected, bool expanded, std::optional<QString> base = {},
                EntryRef item = Entry::make("", EntryType::String, std::string())) {
    auto at = addPlacement(selected, t.root, expanded);
    return at ? describe(insertion(item, *at, base)) : "none";
}

const std::string kInvalid =
    "alert Your entry is not valid. Do you want to keep editing and fix the error or "
    "cancel editing? [Keep Editing|Cancel]";

// Rows that rename or set the value of the root's child at i.
auto rename(size_t i, const char* key) {
    return [=](Tree& t) { return describe(keyRename(t.at(i), key)); };
}
auto value(size_t i, const char* typed) {
    return [=](Tree& t) { return describe(valueChange(t.at(i), typed)); };
}

TEST(EditDecisions, AnswerEachEditOfTheTree) {
    using Row = std::tuple<const char*, std::function<std::string(Tree&)>, std::string>;
    const Row rows[] = {
        // Key rename and the duplicate-key alert.
        {"rename to a free key", rename(0, "z"), "Rename Key in Root 0 \"z\""},
        {"rename to its own key", rename(0, "a"), ""},
        {"rename the root", [](Tree& t) { return describe(keyRename(t.root, "z")); }, ""},
        {"rename to a sibling's key asks",
         [](Tree& t) {
             KeyRename r = keyRename(t.at(0), "n");
             return describe(r) + (r.duplicate == t.at(2) ? " duplicate n" : "");
         },
         "alert The key you entered (\u201cn\u201d) is already present in the dictionary.  Do you want to "
         "replace the existing key/value pair? [Replace Existing Pair|Cancel] duplicate n"},
        {"replace key/value", [](Tree& t) { return describe(replaceKeyValue(t.at(0), t.at(2), "n")); },
         "title Replace Key/Value; Rename Key in Root 0 \"n\"; Remove Item in Root 2"},
        {"replace a pair gone meanwhile",
         [](Tree& t) {
             EntryRef n = t.root->removeChild(2);
             return describe(replaceKeyValue(t.at(0), n, "n"));
         },
         ""},
        // Unique keys.
        {"unique keys",
         [](Tree& t) {
             return text(uniqueKeyName(&t.root->child(), QStringLiteral("a")) + "," +
                         uniqueKeyName(&t.root->child(), QStringLiteral("n")) + "," +
                         uniqueKeyName(&t.at(4)->child()) + "," +
                         uniqueKeyName(nullptr, QStringLiteral("a")));
         },
         "a - 3,n - 2,New item,a"},
        // Which cells edit in place, and the text their field starts with.
        {"cells",
         [](Tree& t) {
             std::string out;
             for (const EntryRef& e : {t.at(0), t.at(1), t.at(3), t.at(4), t.at(4)->child()[0]})
                 out += std::to_string(editsInPlace(*e, true)) + std::to_string(editsInPlace(*e, false)) +
                        ":" + text(fieldText(*e, false)) + " ";
             return out + text(fieldText(*t.at(1), true));
         },
         "11:x 10:0 11:<0102> 10:(2 items) 01:s a - 2"},
        // Value change and the reading of typed text.
        {"same text", value(0, "x"), ""},
        {"new string", value(0, "y"), "Change Value in Root 0 = y"},
        {"check box", value(1, "1"), "Change Value in Root 1 = true"},
        {"same number", value(2, "5.0"), ""},
        {"new number", value(2, "-7"), "Change Value in Root 2 = -7"},
        {"not a number", value(2, "5x"), kInvalid},
        {"same data", value(3, "0x0102"), ""},
        {"new data", value(3, "<0a0b>"), "Change Value in Root 3 = <0a0b>"},
        {"not data", value(3, "<zz>"), kInvalid},
        {"not a date",
         [](Tree&) {
             return describe(valueChange(Entry::make("", EntryType::Date, plist::Date{}), "someday"));
         },
         kInvalid},
        {"a container", value(4, "q"), ""},
        {"scalar root",
         [](Tree&) { return describe(valueChange(Entry::make("", EntryType::String, std::string()), "q")); },
         "title Change Value; Change Type \"\" = q"},
        // Add placement, unique keys of inserts and the nesting limit.
        {"add after a scalar", [](Tree& t) { return add(t, t.at(0), false); },
         "Insert Item in Root 1 \"New item\""},
        {"add into an expanded container", [](Tree& t) { return add(t, t.at(4), true); },
         "Insert Item in Root \u203a list 0 \"New item\""},
        {"add after a collapsed container", [](Tree& t) { return add(t, t.at(4), false); },
         "Insert Item in Root 5 \"New item\""},
        {"add under the root", [](Tree& t) { return add(t, t.root, false); },
         "Insert Item in Root 0 \"New item\""},
        {"add under a scalar root",
         [](Tree& t) { return add(t, Entry::make("", EntryType::Number, model::Number()), false); }, "none"},
        {"paste keeps its key in a dictionary", [](Tree& t) { return add(t, t.at(0), false, "a"); },
         "Insert Item in Root 1 \"a - 3\""},
        {"paste into an array", [](Tree& t) { return add(t, t.at(4)->child()[0], false, "a"); },
         "Insert Item in Root \u203a list 1 \"New item\""},
        {"deepest nesting allowed",
         [](Tree& t) { return add(t, t.at(4), true, {}, chain(maximumDepth() - 2)).substr(0, 11); },
         "Insert Item"},
        {"nesting too deep", [](Tree& t) { return add(t, t.at(4), true, {}, chain(maximumDepth() - 1)); },
         "alert The item can\u2019t be inserted here because the document would be nested more than 512 "
         "levels "
         "deep. [OK]"},
        // Delete.
        {"delete", [](Tree& t) { return describe(deletion(t.at(3), t.root)); }, "Remove Item in Root 3"},
        {"delete the root", [](Tree& t) { return describe(deletion(t.root, t.root)); }, ""},
        {"can add, delete",
         [](Tree& t) {
             std::string out;
             for (const EntryRef& e :
                  {t.at(0), t.root, Entry::make("", EntryType::Number, model::Number()), EntryRef()})
                 out += std::to_string(canAdd(e)) + std::to_string(canDelete(e, t.root)) + " ";
             return out;
         },
         "11 10 00 00 "},
        // Paste: our exact copy first, then the text as a property list, then the text as a String.
        {"paste",
         [](Tree& t) {
             const QString xml =
                 QString::fromStdString(*t.doc.plistStringWithItem(t.at(4), model::WriteMode::Strict));
             const QByteArray exact = QByteArray::fromStdString(
                 *plist::serialize(PlistDocument::propertyListValue(*t.at(2)), plist::Format::Binary));
             std::string out;
             for (auto [bytes, pasted] : {std::pair{std::optional<QByteArray>(exact), QStringLiteral("text")},
                                          std::pair{std::optional<QByteArray>("junk"), xml},
                                          std::pair{std::optional<QByteArray>(), QStringLiteral("text")}}) {
                 auto item = std::get<ItemToAdd>(pastedItem(t.doc, bytes, pasted));
                 if (auto* e = std::get_if<EntryRef>(&item))
                     out += std::string(model::typeName((*e)->type())) + " ";
                 else
                     out += text(std::get<QString>(item));
             }
             return out;
         },
         "Number Array text"},
        // Drag and drop among siblings.
        {"drag and drop",
         [](Tree& t) {
             const QByteArray xml =
                 QByteArray::fromStdString(*t.doc.plistStringWithItem(t.at(0), model::WriteMode::Strict));
             std::string out = std::to_string(canDrag(*t.at(0), t.root)) +
                               std::to_string(canDrag(*t.root, t.root)) +
                               std::to_string(canDrag(*chain(1), t.root)) + " ";
             for (auto [parent, index] : {std::pair{t.root, 5}, {t.root, 6}, {t.root, -1}, {t.at(4), 0}})
                 out += std::to_string(dropAccepted(t.root, parent.get(), index));
             for (auto [index, bytes] : {std::pair{1, std::optional(xml)},
                                         {2, std::optional(xml)},
                                         {5, std::optional(xml)},
                                         {5, std::optional<QByteArray>("junk")}}) {
                 auto move = dropMove(t.doc, t.root, 1, index, bytes);
                 out += " " + (move ? "[" + describe(*move) + "]" : "refused");
             }
             return out;
         },
         "100 1000 [] [] [Move Item in Root 1 5] refused"},
    };
    for (const auto& [name, run, expected] : rows) {
        SCOPED_TRACE(name);
        Tree t;
        EXPECT_EQ(run(t), expected);
    }
}

} // namespace
} // namespace editing
