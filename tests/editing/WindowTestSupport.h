// Shared helpers of the window tests: documents written to a temporary folder, entry look-ups, tree dumps and
// the selection as the outline shows it.
#pragma once

#include <QFile>
#include <QItemSelectionModel>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <string>

#include "editing/CommandRecord.h"
#include "editing/TypeConversion.h"
#include "model/Entry.h"
#include "platform/qt/UndoManager.h"
#include "views/EntryTreeModel.h"
#include "views/MyOutlineView.h"
#include "window/MyWindowController.h"

namespace vantrel::test {

using editing::CommandBatch;
using editing::CommandRecord;
using model::Children;
using model::Entry;
using model::EntryRef;
using model::EntryType;
using window::MyWindowController;

// A whole XML property-list file around the text of its top element.
inline QByteArray plistFile(const QString& topElement) {
    return QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                             "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                             "<plist version=\"1.0\">\n") +
           topElement.toUtf8() + QByteArrayLiteral("\n</plist>\n");
}

// A dictionary element of string entries: keys a, b, c ... each with its key in capitals as value.
inline QString stringDict(const QStringList& keys) {
    QString body = QStringLiteral("<dict>");
    for (const QString& k : keys)
        body += QStringLiteral("<key>%1</key><string>%2</string>").arg(k, k.toUpper());
    return body + QStringLiteral("</dict>");
}

// One document window, shown: over a file written to its own temporary folder, or new and untitled.
class DocumentWindow {
public:
    bool open(const QString& topElement, const QString& fileName = QStringLiteral("Sample.plist")) {
        if (!dir_.isValid()) return false;
        const QString path = dir_.filePath(fileName);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(plistFile(topElement)) < 0) return false;
        f.close();
        return load(path);
    }
    bool openNew() { return load(QString()); }

    MyWindowController& operator*() const { return *window_; }
    MyWindowController* operator->() const { return window_.get(); }

private:
    bool load(const QString& path) {
        window_ = std::make_unique<MyWindowController>(path);
        if (!window_->windowDidLoad()) return false;
        window_->show();
        return true;
    }

    QTemporaryDir dir_;
    std::unique_ptr<MyWindowController> window_;
};

inline EntryRef childAt(const EntryRef& parent, size_t index) {
    if (!parent || !parent->isContainer() || index >= parent->child().size()) return {};
    return parent->child()[index];
}

inline EntryRef childKeyed(const EntryRef& parent, const std::string& key) {
    if (!parent || !parent->isContainer()) return {};
    for (const EntryRef& c : parent->child())
        if (c->key == key) return c;
    return {};
}

inline QStringList keysOf(const EntryRef& parent) {
    QStringList keys;
    if (parent && parent->isContainer())
        for (const EntryRef& c : parent->child())
            keys << QString::fromStdString(c->key);
    return keys;
}

// The values of a container's String children, in order.
inline QStringList stringsOf(const EntryRef& parent) {
    QStringList values;
    if (parent && parent->isContainer())
        for (const EntryRef& c : parent->child())
            values << (c->type() == EntryType::String ? QString::fromStdString(c->stringValue()) : QString());
    return values;
}

inline platform::UndoManager& undoManagerOf(const MyWindowController& w) {
    return *w.windowWillReturnUndoManager();
}

// The title as the window shows it, without the place of the modified mark.
inline QString shownTitle(const QWidget& w) {
    return w.windowTitle().remove(QStringLiteral("[*]"));
}

// A document of a few dozen entries of every type, nested three levels deep.
inline QString mixedDocument() {
    return QStringLiteral(
        "<dict><key>name</key><string>Vantrel</string><key>count</key><integer>42</integer>"
        "<key>big</key><integer>18446744073709551615</integer><key>negative</key><integer>-9</integer>"
        "<key>ratio</key><real>0.1</real><key>huge</key><real>1e300</real><key>on</key><true/>"
        "<key>off</key><false/><key>when</key><date>2020-02-29T12:00:00Z</date>"
        "<key>blob</key><data>AAEC/w==</data><key>empty</key><string></string>"
        "<key>list</key><array><string>one</string><integer>2</integer><real>3.5</real><false/>"
        "<dict><key>inner</key><string>x</string><key>deep</key><array><integer>7</integer>"
        "<string>eight</string></array></dict><array/></array>"
        "<key>settings</key><dict><key>theme</key><string>dark</string><key>size</key><integer>12</integer>"
        "<key>recent</key><array><string>a.plist</string><string>b.plist</string><string>c.plist</string>"
        "</array><key>flags</key><dict><key>x</key><true/><key>y</key><false/></dict>"
        "<key>none</key><dict/></dict>"
        "<key>digits</key><string>12abc</string><key>stamp</key><string>2024-01-02T03:04:05Z</string>"
        "<key>last</key><data></data></dict>");
}

// The entry at a path of keys from the root, such as "settings/flags/x".
inline EntryRef entryAtPath(const EntryRef& root, const QString& path) {
    EntryRef e = root;
    for (const QString& key : path.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        e = childKeyed(e, key.toStdString());
    return e;
}

// Selects an entry's row the way a person does, with a click on it.
inline void clickRow(MyWindowController& w, const EntryRef& e) {
    const QModelIndex index = w.entryModel()->indexForEntry(e.get());
    w.outlineView()->scrollTo(index);
    QTest::mouseClick(w.outlineView()->viewport(), Qt::LeftButton, {},
                      w.outlineView()->visualRect(index).center());
}

inline std::string exactReal(double d) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%a", d);
    return buf;
}

// A value as text that tells every value apart: kinds of numbers, every bit of a real or a date, every byte.
inline std::string valueDump(const Entry::Value& v) {
    auto bytes = [](const void* p, size_t n) {
        return QByteArray(static_cast<const char*>(p), qsizetype(n));
    };
    if (auto s = std::get_if<std::string>(&v))
        return "\"" + bytes(s->data(), s->size()).toPercentEncoding(" ").toStdString() + "\"";
    if (auto b = std::get_if<bool>(&v)) return *b ? "true" : "false";
    if (auto n = std::get_if<model::Number>(&v))
        return n->isReal ? "real " + exactReal(n->real) : "integer " + n->integer.toString();
    if (auto d = std::get_if<plist::Date>(&v)) return "date " + exactReal(d->seconds);
    if (auto d = std::get_if<model::Data>(&v))
        return "data <" + bytes(d->data(), d->size()).toHex().toStdString() + ">";
    return "children " + std::to_string(std::get<Children>(v).size());
}

// The whole tree under an entry, one line an entry: depth, key (also of array elements), type and exact
// value.
inline std::string treeDump(const Entry& e, int depth = 0) {
    std::string out = std::string(size_t(depth) * 2, ' ') + "[" + e.key + "] " +
                      std::string(model::typeName(e.type())) + " " + valueDump(e.value()) + "\n";
    if (e.isContainer())
        for (const EntryRef& c : e.child())
            out += treeDump(*c, depth + 1);
    return out;
}

inline QString treeText(const EntryRef& e) {
    return QString::fromStdString(treeDump(*e));
}

// Every entry of the tree in document order, held so that none can be freed and its address reused.
inline std::vector<EntryRef> allEntries(const EntryRef& root) {
    std::vector<EntryRef> out;
    std::function<void(const EntryRef&)> walk = [&](const EntryRef& e) {
        out.push_back(e);
        if (e->isContainer())
            for (const EntryRef& c : e->child())
                walk(c);
    };
    if (root) walk(root);
    return out;
}

// The entry of the outline's selected row, or none.
inline Entry* selectedEntry(const MyWindowController& w) {
    const QModelIndexList rows = w.outlineView()->selectionModel()->selectedRows();
    return rows.isEmpty() ? nullptr : views::EntryTreeModel::entryForIndex(rows.front());
}

inline void expand(const MyWindowController& w, const EntryRef& e) {
    w.outlineView()->expand(w.entryModel()->indexForEntry(e.get()));
}
inline bool isExpanded(const MyWindowController& w, const EntryRef& e) {
    return w.outlineView()->isExpanded(w.entryModel()->indexForEntry(e.get()));
}

// Random batches built from a window's current tree: inserts, removes, moves, renames, value and type
// changes, sometimes two records or a title record in one batch. The same seed gives the same edits.
class RandomEdits {
public:
    RandomEdits(MyWindowController& w, unsigned seed) : w_(w), rng_(seed) {}

    // Makes one batch for the tree as it is now and gives the name its undo step should carry.
    CommandBatch next(QString& name) {
        const EntryRef root = w_.rootEntry();
        const std::vector<EntryRef> all = allEntries(root);
        std::vector<EntryRef> containers, scalars;
        for (const EntryRef& e : all)
            (e->isContainer() ? containers : scalars).push_back(e);
        CommandBatch batch;
        // Inserts twice as often as anything else, and removes only while the tree is not small.
        int op = pick(7) % 6;
        if ((op == 1 && all.size() < 25) || (op == 5 && all.size() < 2)) op = 0;
        if (op == 4 && scalars.empty()) op = 3;
        if (op == 0) {
            const EntryRef parent = oneOf(containers);
            const int64_t at = pick(int(parent->childCount()) + 1);
            batch.push_back(CommandRecord::insertItem(randomEntry(pick(4) == 0), parent, at));
            // Sometimes the batch goes on to rename what it inserted.
            if (pick(4) == 0) batch.push_back(CommandRecord::renameKey(parent, at, freshKey()));
        } else if (op == 1) {
            const EntryRef e = all[1 + size_t(pick(int(all.size()) - 1))];
            batch.push_back(CommandRecord::removeItem(EntryRef(e->parent()), int64_t(e->indexInParent())));
        } else if (op == 2) {
            const EntryRef parent = oneOf(containers);
            const int n = int(parent->childCount());
            if (n == 0) return next(name);
            batch.push_back(CommandRecord::moveItem(parent, pick(n), pick(n + 1)));
        } else if (op == 3 || op == 4) {
            const EntryRef e = op == 3 ? oneOf(all) : oneOf(scalars);
            const EntryRef parent = e == root ? EntryRef() : EntryRef(e->parent());
            const int64_t index = e == root ? 0 : int64_t(e->indexInParent());
            if (op == 3) batch.push_back(CommandRecord::renameKey(parent, index, freshKey()));
            if (!e->isContainer())
                batch.push_back(CommandRecord::changeValue(parent, index, randomValue(e->type())));
        } else {
            const EntryRef e = all[1 + size_t(pick(int(all.size()) - 1))];
            EntryType t = EntryType(pick(8));
            if (t == e->type()) t = EntryType((int(t) + 1) % 8);
            Children children = e->isContainer() ? e->child() : Children();
            batch.push_back(CommandRecord::changeType(
                e, EntryRef(e->parent()), t, editing::convertedValue(*e, t), std::move(children), {}));
        }
        name = QString::fromStdString(batch.front().command);
        if (pick(5) == 0) {
            name = QStringLiteral("Step %1").arg(++titles_);
            const bool atEnd = pick(2) == 0;
            batch.insert(atEnd ? batch.end() : batch.begin(), CommandRecord::title(name.toStdString()));
        }
        return batch;
    }

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

private:
    EntryRef oneOf(const std::vector<EntryRef>& v) { return v[size_t(pick(int(v.size())))]; }
    std::string freshKey() { return "k" + std::to_string(pick(40)); }

    Entry::Value randomValue(EntryType t) {
        static const char* const texts[] = {"",    "hello", "12abc", "1e5", "2024-01-02T03:04:05Z",
                                            "yes", "0.5",   "-7"};
        if (t == EntryType::Boolean) return pick(2) == 0;
        if (t == EntryType::Number && pick(2) == 0)
            return model::Number::fromReal(double(pick(2001) - 1000) / 8);
        if (t == EntryType::Number)
            return model::Number::fromInteger(plist::Integer::fromSigned(pick(200001) - 100000));
        if (t == EntryType::Date) return plist::Date{double(pick(1 << 30)) + double(pick(4)) / 4};
        if (t == EntryType::NotApplicable) return std::string("unknown data");
        if (t != EntryType::Data) return std::string(texts[pick(8)]);
        model::Data d(size_t(pick(5)));
        for (uint8_t& b : d)
            b = uint8_t(pick(256));
        return d;
    }

    EntryRef randomEntry(bool container) {
        if (container) {
            const EntryType t = pick(2) == 0 ? EntryType::Array : EntryType::Dictionary;
            EntryRef c = Entry::makeContainer(freshKey(), t, nextId_++);
            for (int n = pick(3); n > 0; --n)
                c->appendChild(randomEntry(false));
            return c;
        }
        const EntryType t = EntryType(2 + pick(6));
        return Entry::make(freshKey(), t, randomValue(t), nextId_++);
    }

    MyWindowController& w_;
    std::mt19937 rng_;
    int64_t nextId_ = 1000000;
    int titles_ = 0;
};

} // namespace vantrel::test
