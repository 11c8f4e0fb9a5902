// Edit operations of a document window: renames, value changes, add, delete, cut, copy and paste through the
// clipboard, the nesting limit and reordering by drag.
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QtTest>

#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <optional>

#include "model/ValueText.h"
#include "tests/window/WindowTestSupport.h"

using namespace vantrel::test;

namespace {

// Rows, all expanded: Root, a, d, d1, list, one, two, z.
const QString kOutline = QStringLiteral(
    "<dict><key>a</key><string>A</string><key>d</key><dict><key>d1</key><string>1</string></dict>"
    "<key>list</key><array><string>one</string><string>two</string></array><key>z</key><string>Z</string>"
    "</dict>");

template <typename Row, size_t N> void addRows(const Row (&rows)[N]) {
    QTest::addColumn<int>("row");
    for (size_t i = 0; i < N; ++i)
        QTest::newRow(rows[i].name) << int(i);
}

Entry::Value integer(uint64_t i) {
    return model::Number::fromInteger(plist::Integer::fromUnsigned(i));
}
Entry::Value real(double d) {
    return model::Number::fromReal(d);
}

void select(MyWindowController& w, const EntryRef& e) {
    if (e->parent()) w.expandAncestorWithItem(e->parent());
    w.outlineViewSelectItem(e.get());
    QCOMPARE(w.currentItem().get(), e.get());
}

const struct {
    const char* name;
    const char* to;
    const char* answer; // "": no alert
    const char* keys;
    const char* values;
} kRenames[] = {
    {"same key", "x", "", "x,y,z", "X,Y,Z"},
    {"fresh key", "w", "", "w,y,z", "X,Y,Z"},
    {"key differing in case", "Y", "", "Y,y,z", "X,Y,Z"},
    {"taken key, replaced", "y", "Replace Existing Pair", "y,z", "X,Z"},
    {"taken key, cancelled", "y", "Cancel", "x,y,z", "X,Y,Z"},
};

const model::Data kBytes{0x01, 0x02, 0xff};
const struct ValueEdit {
    const char* name;
    QString element;
    const char* typed;                    // none: the text the field starts with
    std::optional<Entry::Value> expected; // none: nothing changes
    const char* answer = nullptr;         // the text is refused: the answer to the alert
    bool isRoot = false;                  // the element is the whole document
    int end = Qt::Key_Return;             // the key that ends the edit; 0: a click on the root's row
} kValueEdits[] = {
    {"integer as the same real", "<integer>1</integer>", "1.0", std::nullopt},
    {"integer", "<integer>1</integer>", "2", integer(2)},
    {"hexadecimal", "<integer>5</integer>", " 0x10 ", integer(16)},
    {"digits then letters", "<integer>5</integer>", "12abc", std::nullopt, "Cancel"},
    {"exponent", "<integer>5</integer>", "1e3", real(1000)},
    {"inf", "<integer>5</integer>", "inf", real(HUGE_VAL)},
    {"minus inf", "<integer>5</integer>", "-inf", real(-HUGE_VAL)},
    {"nan", "<integer>5</integer>", "nan", real(std::nan(""))},
    {"largest integer", "<integer>5</integer>", "18446744073709551615", integer(UINT64_MAX)},
    {"same string", "<string>abc</string>", nullptr, std::nullopt},
    {"long string as shown", "<string>" + QString(40000, 'x') + "</string>", nullptr, std::nullopt},
    {"empty string", "<string>abc</string>", "", std::string()},
    {"date as shown", "<date>2020-02-29T12:00:00Z</date>", nullptr, std::nullopt},
    {"date typed", "<date>2020-02-29T12:00:00Z</date>", "2024/01/02 3:04:05",
     *model::dateWithDescription("2024/01/02 3:04:05")},
    {"ISO date, keep editing", "<date>2020-02-29T12:00:00Z</date>", "2024-01-02", std::nullopt,
     "Keep Editing"},
    {"data in brackets", "<data>AA==</data>", "<0102 ff>", kBytes},
    {"data after 0x", "<data>AA==</data>", "0x0102ff", kBytes},
    {"same bytes after 0x", "<data>AQL/</data>", "0x0102FF", std::nullopt},
    {"long data as shown", "<data>" + QString::fromLatin1(QByteArray(20000, 'Z').toBase64()) + "</data>",
     nullptr, std::nullopt},
    {"hex without 0x", "<data>AA==</data>", "0102ff", std::nullopt, "Cancel"},
    {"odd digits in brackets", "<data>AA==</data>", "<0102f>", std::nullopt, "Keep Editing"},
    {"odd digits after 0x", "<data>AA==</data>", "0x0102f", std::nullopt, "Cancel"},
    {"scalar root", "<string>abc</string>", "new", std::string("new"), nullptr, true},
    {"n/a stays n/a", "n/a", "new", std::string("new")},
    {"ended by tab", "<string>A</string>", "new", std::string("new"), nullptr, false, Qt::Key_Tab},
    {"ended by backtab", "<string>A</string>", "new", std::string("new"), nullptr, false, Qt::Key_Backtab},
    {"ended by a click on another row", "<string>A</string>", "new", std::string("new"), nullptr, false, 0},
    {"cancelled by escape", "<string>A</string>", "new", std::nullopt, nullptr, false, Qt::Key_Escape},
};

const struct {
    const char* name;
    const char* selected; // "" is the root
    bool expanded;
    int times;
    const char* parent;
    const char* keys; // of a dictionary, or the String values of an array
} kAdds[] = {
    {"after a collapsed dictionary", "d", false, 1, "", "a,d,New item,list,z"},
    {"twice", "d", false, 2, "", "a,d,New item,New item - 2,list,z"},
    {"into an expanded dictionary", "d", true, 1, "d", "New item,d1"},
    {"after an array element", "list/0", false, 1, "list", "one,,two"},
    {"into the collapsed root", "", false, 1, "", "New item,a,d,list,z"},
};

// A copy of an entry, or a text on the clipboard ("text:..."), pasted after the selected entry: the keys of
// its parent after the paste, and the pasted tree (the copy's, when not given).
const struct {
    const char* name;
    const char* copied;
    const char* selected;
    const char* keys;
    const char* tree = nullptr;
} kPastes[] = {
    {"keyed entry into a dictionary", "src/name", "free/other", "other,name"},
    {"its key taken", "src/name", "taken/other", "other,name - 2,name"},
    {"its key holding %1 taken", "pct/k%1", "pct/k%1", "k%1,k%1 - 2"},
    {"array element into a dictionary", "list/0", "free/other", "other,New item"},
    {"dictionary into an array", "list/1", "list/0", "one,,"},
    {"plain text", "text:hello", "free/other", "other,New item", "String \"hello\""},
    {"document of a string", "text:<?xml version=\"1.0\"?><plist version=\"1.0\"><string>x</string></plist>",
     "free/other", "other,New item", "String \"x\""},
    {"lines that look like XML", "text:<dict>\n<key>a</key>", "free/other", "other,New item",
     "String \"<dict>\n<key>a</key>\""},
    {"document of a dictionary",
     "text:<plist version=\"1.0\">\n<dict>\n\t<key>k</key>\n\t<true/>\n</dict></plist>", "free/other",
     "other,New item", "Dictionary \n[k]\n  Boolean true"},
};

} // namespace

class EditOperationsTest : public QObject {
    Q_OBJECT
private slots:
    void renameKey_data() { addRows(kRenames); }

    // The key is typed into the field; a taken key asks, and "Cancel" leaves the field with the old key.
    void renameKey() {
        QFETCH(int, row);
        const auto& r = kRenames[row];
        DocumentWindow w;
        QVERIFY(w.open(stringDict({"x", "y", "z"})) && activate(*w));
        const EntryRef root = w->rootEntry();
        const QString before = treeText(root), answer = r.answer;
        views::MyTextField* field = editCell(*w, at(root, "x"), views::EntryTreeModel::KeyColumn);
        QVERIFY(field);
        QCOMPARE(field->textFieldKind(), 0);
        QTest::keyClicks(field, r.to);
        QTest::keyClick(field, Qt::Key_Return);
        if (!answer.isEmpty())
            QVERIFY(answerAlert(*w, duplicateKeyText("y"), answer, {"Replace Existing Pair", "Cancel"}));
        QVERIFY(!w->isEditingText());
        if (answer == "Cancel") QCOMPARE(field->text(), QStringLiteral("x"));
        QCOMPARE(keysOf(root) + " " + valuesOf(root), QString(r.keys) + " " + r.values);
        QCOMPARE(undoManagerOf(*w).canUndo(), keysOf(root) != "x,y,z");
        if (!undoManagerOf(*w).canUndo()) return;
        QCOMPARE(undoManagerOf(*w).undoMenuItemTitle(), answer.isEmpty()
                                                            ? QStringLiteral("Undo Rename Key")
                                                            : QStringLiteral("Undo Replace Key/Value"));
        w->undoAction()->trigger();
        QCOMPARE(treeText(root), before);
        w->redoAction()->trigger();
        QCOMPARE(keysOf(root) + " " + valuesOf(root), QString(r.keys) + " " + r.values);
    }

    void valueChange_data() { addRows(kValueEdits); }

    void valueChange() {
        QFETCH(int, row);
        const auto& r = kValueEdits[row];
        DocumentWindow w;
        const bool na = r.element == "n/a"; // an n/a value, as a line of pasted text that is no element reads
        const QString element = na ? "<string>unknown data</string>" : r.element;
        QVERIFY(w.open(r.isRoot ? element : "<dict><key>v</key>" + element + "</dict>") && activate(*w));
        const EntryRef e = r.isRoot ? w->rootEntry() : at(w->rootEntry(), "v");
        if (na) e->setType(EntryType::NotApplicable);
        const EntryType type = e->type();
        const QString before = treeText(w->rootEntry()), typed = QString::fromUtf8(r.typed);
        views::MyTextField* field = editCell(*w, e, views::EntryTreeModel::ValueColumn);
        QVERIFY(field);
        // The field starts with its whole text selected: typing replaces it.
        if (r.typed)
            typed.isEmpty() ? QTest::keyClick(field, Qt::Key_Backspace) : QTest::keyClicks(field, typed);
        r.end ? QTest::keyClick(field, Qt::Key(r.end)) : clickRow(*w, w->rootEntry());
        QCOMPARE(w->isEditingText(), bool(r.answer));
        QCOMPARE(w->currentItem(), r.end ? e : w->rootEntry());
        QCOMPARE(selectedEntry(*w), w->currentItem().get());
        if (r.answer) QVERIFY(answerAlert(*w, kInvalidEntry, r.answer, {"Keep Editing", "Cancel"}));
        // "Keep Editing" gives the field back with the typed text.
        QCOMPARE(w->focusedTextField(), r.answer == QString("Keep Editing") ? field : nullptr);
        if (w->focusedTextField()) QCOMPARE(field->text(), typed);
        if (!r.expected) {
            QCOMPARE(treeText(w->rootEntry()), before);
            QVERIFY(!undoManagerOf(*w).canUndo());
            return;
        }
        QCOMPARE(valueText(e->value()), valueText(*r.expected));
        QCOMPARE(e->type(), type);
        if (e->type() == EntryType::Date)
            QCOMPARE(QString::fromStdString(model::descriptionOfDate(e->dateValue())), typed);
        QCOMPARE(undoManagerOf(*w).undoActionName(), QStringLiteral("Change Value"));
        w->undoAction()->trigger();
        QCOMPARE(treeText(w->rootEntry()), before);
        QVERIFY(!undoManagerOf(*w).canUndo());
    }

    void addItemPlacement_data() { addRows(kAdds); }

    void addItemPlacement() {
        QFETCH(int, row);
        const auto& r = kAdds[row];
        DocumentWindow w;
        QVERIFY(w.open(kOutline));
        const EntryRef root = w->rootEntry(), e = at(root, r.selected), parent = at(root, r.parent);
        const QString before = treeText(root);
        const QModelIndex index = w->entryModel()->indexForEntry(e.get());
        select(*w, e);
        r.expanded ? w->outlineView()->expand(index) : w->outlineView()->collapse(index);

        for (int i = 0; i < r.times; ++i)
            w->addItem();
        QCOMPARE(parent->type() == EntryType::Array ? valuesOf(parent) : keysOf(parent), r.keys);
        QVERIFY(w->outlineView()->isExpanded(w->entryModel()->indexForEntry(parent.get())));
        const EntryRef added = w->currentItem();
        QVERIFY(added && added->parent() == parent.get());
        QCOMPARE(added->type(), EntryType::String);
        w->runPendingDeferredWork();
        QCOMPARE(selectedEntry(*w), added.get());
        for (int i = 0; i < r.times; ++i)
            w->undoAction()->trigger();
        QCOMPARE(treeText(root), before);
    }

    void paste_data() { addRows(kPastes); }

    void paste() {
        QFETCH(int, row);
        const auto& r = kPastes[row];
        DocumentWindow w;
        QVERIFY(w.open("<dict><key>src</key>" + stringDict({"name"}) + "<key>free</key>" +
                       stringDict({"other"}) + "<key>taken</key>" + stringDict({"other", "name"}) +
                       "<key>pct</key>" + stringDict({"k%1"}) +
                       "<key>list</key><array><string>one</string><dict><key>k</key><integer>1</integer>"
                       "<key>sub</key><array><true/></array></dict></array></dict>"));
        const QString copied = r.copied;
        const EntryRef root = w->rootEntry(), selected = at(root, r.selected), parent(selected->parent());
        const EntryRef source = at(root, copied);
        const QString before = treeText(root), tree = r.tree ? r.tree : treeText(source);
        if (copied.startsWith("text:")) {
            QGuiApplication::clipboard()->setText(copied.mid(5));
        } else {
            select(*w, source);
            w->copyAction()->trigger();
        }
        select(*w, selected);
        w->pasteAction()->trigger();
        const EntryRef pasted = childAt(parent, selected->indexInParent() + 1);
        QCOMPARE(w->currentItem().get(), pasted.get());
        QVERIFY(pasted.get() != source.get());
        QCOMPARE(treeText(pasted), tree);
        QCOMPARE(parent->type() == EntryType::Array ? valuesOf(parent) : keysOf(parent), r.keys);
        QCOMPARE(undoManagerOf(*w).undoActionName(), QStringLiteral("Insert Item"));
        w->undoAction()->trigger();
        QCOMPARE(treeText(root), before);
    }

    void cutThenPasteIsTwoSteps() {
        DocumentWindow w;
        QVERIFY(w.open(stringDict({"a", "b", "c"})));
        const EntryRef root = w->rootEntry();
        select(*w, at(root, "b"));
        w->cutAction()->trigger();
        QCOMPARE(keysOf(root) + " " + QString::fromStdString(w->currentItem()->key), QStringLiteral("a,c c"));
        w->pasteAction()->trigger();
        QCOMPARE(keysOf(root) + " " + valuesOf(root), QStringLiteral("a,c,b A,C,B"));
        QStringList steps;
        for (int i = 0; i < 2; ++i, w->undoAction()->trigger())
            steps << undoManagerOf(*w).undoActionName();
        QCOMPARE(steps, QStringList({"Insert Item", "Remove Item"}));
        QCOMPARE(keysOf(root), QStringLiteral("a,b,c"));
        QVERIFY(!undoManagerOf(*w).canUndo());
    }

    // The binary copy beside the text carries values XML cannot hold, such as U+0001.
    void pasteIntoAnotherWindowIsExact() {
        DocumentWindow from, to;
        QVERIFY(from.open(mixedDocument()));
        QVERIFY(to.open(stringDict({"a"})));
        const EntryRef source = from->rootEntry(), target = to->rootEntry();
        from->doCommands({CommandRecord::insertItem(
            Entry::make("ctrl", EntryType::String, std::string("a\x01z")), source, 0)});

        select(*from, childAt(source, 0));
        from->copy();
        select(*to, at(target, "a"));
        to->paste();
        QCOMPARE(keysOf(target), QStringLiteral("a,ctrl"));
        QCOMPARE(childAt(target, 1)->stringValue(), std::string("a\x01z"));

        select(*from, source);
        from->copy();
        to->paste();
        QCOMPARE(keysOf(target), QStringLiteral("a,ctrl,New item"));
        QCOMPARE(treeText(childAt(target, 2)), treeText(source));
    }

    void pasteRefusedPastTheNestingLimit() {
        // Root, then arrays down to depth 511 holding a string at depth 512, the deepest allowed.
        QCOMPARE(MyWindowController::maximumDepth(), 512);
        const int chain = MyWindowController::maximumDepth() - 2;
        const QString doc = "<array><dict><key>k</key><string>v</string></dict><dict/>" +
                            QStringLiteral("<array>").repeated(chain) + "<string>s</string>" +
                            QStringLiteral("</array>").repeated(chain) + "</array>";
        DocumentWindow w;
        QVERIFY(w.open(doc));
        w->outlineView()->setColumnWidth(0, (chain + 10) * w->outlineView()->indentation());
        const EntryRef root = w->rootEntry();
        EntryRef deepest = childAt(root, 2);
        while (deepest->isContainer())
            deepest = childAt(deepest, 0);
        const EntryRef deepParent(deepest->parent());

        // A dictionary with a child spans two levels: one too many below the deepest array.
        select(*w, childAt(root, 0));
        w->copy();
        select(*w, deepest);
        w->paste();
        QVERIFY(answerAlert(*w,
                            "The item can\u2019t be inserted here because the document would be nested more "
                            "than 512 levels deep.",
                            "OK", {"OK"}));
        QCOMPARE(deepParent->childCount(), size_t(1));
        QVERIFY(!undoManagerOf(*w).canUndo());

        // An empty dictionary spans one and just fits.
        select(*w, childAt(root, 1));
        w->copy();
        select(*w, deepest);
        w->paste();
        QVERIFY(!w->isDisplayingAlart());
        QCOMPARE(deepParent->childCount(), size_t(2));
        QCOMPARE(childAt(deepParent, 1)->type(), EntryType::Dictionary);
    }

    // A paste whose entries outgrow the memory left shows an alert and changes nothing; the window goes on.
    void pasteThatRunsOutOfMemoryChangesNothing() {
        DocumentWindow w;
        QVERIFY(w.open(stringDict({"a"})));
        select(*w, at(w->rootEntry(), "a"));
        QGuiApplication::clipboard()->setText("<plist version=\"1.0\"><array>" +
                                              QStringLiteral("<true/>").repeated(2'000'000) +
                                              "</array></plist>");
        const QString before = treeText(w->rootEntry());
        struct rlimit saved {};
        QCOMPARE(::getrlimit(RLIMIT_AS, &saved), 0);
        unsigned long long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        struct rlimit limited = saved;
        limited.rlim_cur = pages * uint64_t(::sysconf(_SC_PAGESIZE)) + (64 << 20);
        QCOMPARE(::setrlimit(RLIMIT_AS, &limited), 0);
        w->pasteAction()->trigger();
        QCOMPARE(::setrlimit(RLIMIT_AS, &saved), 0);
        QVERIFY(answerAlert(*w, "The entry couldn\u2019t be pasted: not enough memory.", "OK", {"OK"}));
        QCOMPARE(treeText(w->rootEntry()), before);
        QVERIFY(!undoManagerOf(*w).canUndo());
    }

    void dragReordersAmongSiblings_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("into");  // the parent dropped into: "" is the root
        QTest::addColumn<bool>("foreign");  // the drag began in another window
        QTest::addColumn<QString>("order"); // "": refused; the same order: accepted without a change
        const QString same = QStringLiteral("a,b,c,d,e,f");
        QTest::newRow("down") << 4 << QString() << false << QStringLiteral("a,c,d,b,e,f");
        QTest::newRow("to the top") << 0 << QString() << false << QStringLiteral("b,a,c,d,e,f");
        QTest::newRow("to the end") << 6 << QString() << false << QStringLiteral("a,c,d,e,f,b");
        QTest::newRow("its own gap above") << 1 << QString() << false << same;
        QTest::newRow("its own gap below") << 2 << QString() << false << same;
        QTest::newRow("onto the parent itself") << -1 << QString() << false << QString();
        QTest::newRow("into another parent") << 0 << QStringLiteral("f") << false << QString();
        QTest::newRow("from another window") << 4 << QString() << true << QString();
    }

    // Edit > Sort Keys sorts the selected Dictionary, with Shift held every one below it too, as one step.
    void sortKeysIsOneStepAndShiftTakesTheBranch() {
        for (bool shift : {false, true}) {
            DocumentWindow w;
            QVERIFY(
                w.open("<dict><key>b</key><array><dict><key>y</key><true/><key>x</key><true/></dict></array>"
                       "<key>a</key><string>A</string></dict>") &&
                activate(*w));
            const EntryRef root = w->rootEntry();
            const QString before = treeText(root);
            QAction* sort = nullptr;
            for (QAction* a : w->editMenu()->actions())
                if (a->text() == "Sort Keys") sort = a;
            select(*w, at(root, "a"));
            QVERIFY(!sort->isEnabled());
            select(*w, root);
            if (shift) QTest::keyPress(w->outlineView(), Qt::Key_Shift, Qt::ShiftModifier);
            sort->trigger();
            if (shift) QTest::keyRelease(w->outlineView(), Qt::Key_Shift);
            QCOMPARE(keysOf(root) + " " + keysOf(at(root, "b/0")), shift ? "a,b x,y" : "a,b y,x");
            QCOMPARE(undoManagerOf(*w).undoActionName(), QStringLiteral("Sort Keys"));
            w->undoAction()->trigger();
            QCOMPARE(treeText(root), before);
            QVERIFY(!undoManagerOf(*w).canUndo());
        }
    }

    void dragReordersAmongSiblings() {
        QFETCH(int, row);
        QFETCH(QString, into);
        QFETCH(bool, foreign);
        QFETCH(QString, order);
        const QString doc =
            stringDict({"a", "b", "c", "d", "e"})
                .replace("</dict>", "<key>f</key><dict><key>f1</key><string>1</string></dict></dict>");
        DocumentWindow w, other;
        QVERIFY(w.open(doc) && other.open(doc));
        views::EntryTreeModel* model = w->entryModel();
        const EntryRef root = w->rootEntry(), b = childAt(root, 1);
        const QString before = treeText(root);
        QVERIFY(!model->mimeData({model->indexForEntry(root.get())}));
        std::unique_ptr<QMimeData> data(model->mimeData({model->indexForEntry(b.get())}));
        std::unique_ptr<QMimeData> otherData(other->entryModel()->mimeData(
            {other->entryModel()->indexForEntry(childAt(other->rootEntry(), 1).get())}));
        QVERIFY(data && otherData);
        const QMimeData* dropped = foreign ? otherData.get() : data.get();
        const QModelIndex parent = model->indexForEntry(at(root, into).get());

        QCOMPARE(model->canDropMimeData(dropped, Qt::MoveAction, row, 0, parent), !order.isEmpty());
        QCOMPARE(model->dropMimeData(dropped, Qt::MoveAction, row, 0, parent), !order.isEmpty());
        QCOMPARE(keysOf(root), order.isEmpty() ? QStringLiteral("a,b,c,d,e,f") : order);
        QCOMPARE(undoManagerOf(*w).canUndo(), keysOf(root) != QStringLiteral("a,b,c,d,e,f"));
        QCOMPARE(treeText(other->rootEntry()), before);
        if (!undoManagerOf(*w).canUndo()) {
            QCOMPARE(treeText(root), before);
            return;
        }
        QCOMPARE(undoManagerOf(*w).undoActionName(), QStringLiteral("Move Item"));
        w->undoAction()->trigger();
        QCOMPARE(childAt(root, 1).get(), b.get());
        QCOMPARE(treeText(root), before);
    }
};

QTEST_MAIN(EditOperationsTest)
#include "EditOperationsTest.moc"
