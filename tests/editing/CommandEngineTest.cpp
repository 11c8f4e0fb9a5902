// The command engine as a document window runs it: moves, the replace-key batch, what gets selected, and
// random batches undone and redone, one step each under its name, back to the very same trees.
#include <QAction>
#include <QtTest>

#include <random>

#include "WindowTestSupport.h"

using namespace vantrel::test;

namespace {

CommandRecord insertN(const EntryRef& root) {
    return CommandRecord::insertItem(Entry::make("n", EntryType::String, std::string("N")), root, 1);
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
        const EntryRef any =
            all.size() > 1 ? all[1 + size_t(pick(int(all.size()) - 1))] : root; // not the root
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
            batch.push_back(
                CommandRecord::removeItem(EntryRef(any->parent()), int64_t(any->indexInParent())));
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
            EntryType t = EntryType(pick(8));
            if (t == any->type()) t = EntryType((int(t) + 1) % 8);
            batch.push_back(CommandRecord::changeType(any, EntryRef(any->parent()), t,
                                                      editing::convertedValue(*any, t),
                                                      any->isContainer() ? any->child() : Children(), {}));
        }
        // Without a title record the first record names the step; of several title records the last does.
        name = QString::fromStdString(batch.front().command);
        if (pick(5) == 0) {
            name = QStringLiteral("Step %1").arg(++titles_);
            const bool draft = pick(3) == 0;
            if (draft) batch.insert(batch.begin(), CommandRecord::title("Draft"));
            batch.insert(pick(2) == 0 ? batch.end() : batch.begin() + draft,
                         CommandRecord::title(name.toStdString()));
        }
        return batch;
    }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
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
        if (!container) {
            const EntryType t = EntryType(2 + pick(6));
            return Entry::make(freshKey(), t, randomValue(t), nextId_++);
        }
        EntryRef c = Entry::makeContainer(freshKey(), pick(2) == 0 ? EntryType::Array : EntryType::Dictionary,
                                          nextId_++);
        for (int n = pick(3); n > 0; --n)
            c->appendChild(randomEntry(false));
        return c;
    }

    MyWindowController& w_;
    std::mt19937 rng_;
    int64_t nextId_ = 1000000;
    int titles_ = 0;
};

} // namespace

class CommandEngineTest : public QObject {
    Q_OBJECT
private slots:
    void moveItemPutsTheEntryBeforeTheTargetIndex_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QString>("order");
        QTest::newRow("down") << 2 << 5 << "a,b,d,e,c,f";
        QTest::newRow("up") << 5 << 1 << "a,f,b,c,d,e";
        QTest::newRow("first to the end") << 0 << 6 << "b,c,d,e,f,a";
        QTest::newRow("to the top") << 4 << 0 << "e,a,b,c,d,f";
        QTest::newRow("same index") << 3 << 3 << "a,b,c,d,e,f";
        QTest::newRow("just below itself") << 3 << 4 << "a,b,c,d,e,f";
    }

    void moveItemPutsTheEntryBeforeTheTargetIndex() {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QString, order);
        DocumentWindow w;
        QVERIFY(w.open(stringDict({"a", "b", "c", "d", "e", "f"})));
        const EntryRef root = w->rootEntry(), moved = childAt(root, size_t(from));
        const std::vector<EntryRef> entries = allEntries(root);

        w->doCommands({CommandRecord::moveItem(root, from, to)});
        QCOMPARE(keysOf(root), order);
        QCOMPARE(valuesOf(root), order.toUpper());
        QCOMPARE(w->currentItem().get(), moved.get());
        QCOMPARE(undoManagerOf(*w).undoActionName(), QStringLiteral("Move Item"));
        w->undoAction()->trigger();
        QCOMPARE(keysOf(root), QStringLiteral("a,b,c,d,e,f"));
        QVERIFY(allEntries(root) == entries);
        w->redoAction()->trigger();
        QCOMPARE(keysOf(root), order);
        w->undoAction()->trigger();
        QCOMPARE(keysOf(root), QStringLiteral("a,b,c,d,e,f"));
    }

    void replaceKeyBatchIsOneStepThatKeepsTheRenamedEntrySelected_data() {
        QTest::addColumn<int>("renamed");
        QTest::addColumn<int>("removed");
        QTest::addColumn<QString>("order");
        QTest::newRow("other key above") << 3 << 1 << "a,c,b";
        QTest::newRow("other key below") << 0 << 2 << "c,b,d";
    }

    void replaceKeyBatchIsOneStepThatKeepsTheRenamedEntrySelected() {
        QFETCH(int, renamed);
        QFETCH(int, removed);
        QFETCH(QString, order);
        DocumentWindow w;
        QVERIFY(w.open(stringDict({"a", "b", "c", "d"})));
        const EntryRef root = w->rootEntry();
        const EntryRef x = childAt(root, size_t(renamed)), other = childAt(root, size_t(removed));
        const QString before = treeText(root), title = QStringLiteral("Replace Key/Value");

        w->doCommands({CommandRecord::title(title.toStdString()),
                       CommandRecord::renameKey(root, renamed, other->key),
                       CommandRecord::removeItem(root, removed)});
        QCOMPARE(keysOf(root), order);
        QCOMPARE(QString::fromStdString(x->key), QString::fromStdString(other->key));
        QCOMPARE(w->currentItem().get(), x.get());
        QTRY_COMPARE(selectedEntry(*w), x.get());
        QCOMPARE(undoManagerOf(*w).undoActionName(), title);

        w->undoAction()->trigger();
        QCOMPARE(treeText(root), before);
        QCOMPARE(childAt(root, size_t(removed)).get(), other.get());
        QCOMPARE(w->currentItem().get(), x.get());
        QTRY_COMPARE(selectedEntry(*w), x.get());
        QCOMPARE(undoManagerOf(*w).redoActionName(), title);
        w->redoAction()->trigger();
        QCOMPARE(keysOf(root), order);
        QCOMPARE(w->currentItem().get(), x.get());
        QCOMPARE(undoManagerOf(*w).undoActionName(), title);
    }

    void removeItemSelectsTheRowAfterItsSubtree_data() {
        // Rows, all expanded: Root, a, b, b1, b2, b21, c, d, d1, d2. "removed -> selected".
        QTest::addColumn<QString>("edit");
        QTest::newRow("scalar") << "a -> b";
        QTest::newRow("expanded container") << "b -> c";
        QTest::newRow("collapsed container") << "b (collapsed) -> c";
        QTest::newRow("last child of a container") << "b/b2 -> c";
        QTest::newRow("deepest last child") << "b/b2/b21 -> c";
        QTest::newRow("first child") << "b/b1 -> b/b2";
        QTest::newRow("last row") << "d/d2 -> d/d1";
        QTest::newRow("subtree ending the outline") << "d -> c";
        QTest::newRow("collapsed subtree ending the outline") << "d (collapsed) -> c";
    }

    void removeItemSelectsTheRowAfterItsSubtree() {
        QFETCH(QString, edit);
        DocumentWindow w;
        QVERIFY(w.open(QStringLiteral(
            "<dict><key>a</key><string>A</string><key>b</key><dict><key>b1</key><string>1</string>"
            "<key>b2</key><dict><key>b21</key><string>21</string></dict></dict><key>c</key>"
            "<string>C</string><key>d</key><dict><key>d1</key><string>1</string><key>d2</key>"
            "<string>2</string></dict></dict>")));
        const EntryRef root = w->rootEntry();
        const bool collapsed = edit.contains(QStringLiteral(" (collapsed)"));
        const QStringList parts = edit.remove(QStringLiteral(" (collapsed)")).split(QStringLiteral(" -> "));
        const EntryRef gone = entryAtPath(root, parts[0]), target = entryAtPath(root, parts[1]);
        QVERIFY(gone && target);
        w->outlineView()->expandAll();
        if (collapsed) w->outlineView()->collapse(w->entryModel()->indexForEntry(gone.get()));
        const EntryRef parent(gone->parent());
        const size_t index = gone->indexInParent();

        w->doCommands({CommandRecord::removeItem(parent, int64_t(index))});
        QVERIFY(!gone->parent());
        QCOMPARE(w->currentItem().get(), target.get());
        QTRY_COMPARE(selectedEntry(*w), target.get());
        // Undo puts the very entry back where it was and selects it.
        w->undoAction()->trigger();
        QCOMPARE(childAt(parent, index).get(), gone.get());
        QCOMPARE(w->currentItem().get(), gone.get());
        QTRY_COMPARE(selectedEntry(*w), gone.get());
    }

    void removeItemFarDownALongOutlineSelectsItsNeighbour() {
        QStringList keys;
        for (int i = 0; i < 80; ++i)
            keys << QStringLiteral("k%1").arg(i, 2, 10, QLatin1Char('0'));
        DocumentWindow w;
        QVERIFY(w.open(stringDict(keys)));
        const EntryRef root = w->rootEntry(), next = childAt(root, 61), last = childAt(root, 79);
        w->doCommands({CommandRecord::removeItem(root, 60)});
        QCOMPARE(w->currentItem().get(), next.get());
        QTRY_COMPARE(selectedEntry(*w), next.get());
        w->outlineView()->scrollToTop();
        const EntryRef above = childAt(root, 77);
        w->doCommands({CommandRecord::removeItem(root, 78)});
        QVERIFY(!last->parent());
        QCOMPARE(w->currentItem().get(), above.get());
        QTRY_COMPARE(selectedEntry(*w), above.get());
    }

    // The undo renames the entry back, then removes it: what is selected then must still be in the tree.
    void undoingAnInsertThatWasRenamedSelectsAnEntryOfTheTree() {
        DocumentWindow w;
        QVERIFY(w.open(stringDict({"a", "b", "c"})));
        const EntryRef root = w->rootEntry(), b = childAt(root, 1);
        w->doCommands({insertN(root), CommandRecord::renameKey(root, 1, "renamed")});
        QCOMPARE(w->currentItem().get(), childAt(root, 1).get());
        w->undoAction()->trigger();
        QCOMPARE(keysOf(root), QStringLiteral("a,b,c"));
        QCOMPARE(w->currentItem().get(), b.get());
        QTRY_COMPARE(selectedEntry(*w), b.get());
    }

    void randomEditsUndoAndRedoToTheSameTrees() {
        DocumentWindow w;
        QVERIFY(w.open(mixedDocument()));
        w->outlineView()->expandAll();
        const EntryRef root = w->rootEntry();
        RandomEdits edits(*w, 20240917);
        QStringList names;
        std::vector<QString> trees{treeText(root)};
        std::vector<std::vector<EntryRef>> identities{allEntries(root)};
        const int steps = 300;
        for (int i = 0; i < steps; ++i) {
            QString name;
            w->doCommands(edits.next(name));
            names << name;
            trees.push_back(treeText(root));
            identities.push_back(allEntries(root));
            QCOMPARE(undoManagerOf(*w).undoActionName(), name);
        }
        QVERIFY(trees.back() != trees.front());
        for (int i = steps - 1; i >= 0; --i) {
            QCOMPARE(w->undoAction()->text(), "Undo " + names[i]);
            w->undoAction()->trigger();
            QCOMPARE(treeText(root), trees[size_t(i)]);
            QVERIFY2(allEntries(root) == identities[size_t(i)],
                     qPrintable(QString("undoing step %1").arg(i)));
        }
        QVERIFY(!undoManagerOf(*w).canUndo());
        for (int i = 0; i < steps; ++i) {
            QCOMPARE(w->redoAction()->text(), "Redo " + names[i]);
            w->redoAction()->trigger();
            QCOMPARE(treeText(root), trees[size_t(i) + 1]);
            QVERIFY2(allEntries(root) == identities[size_t(i) + 1],
                     qPrintable(QString("redoing step %1").arg(i)));
        }
        QVERIFY(!undoManagerOf(*w).canRedo());
        // The refreshes still waiting run on the edited tree and leave it alone.
        QTest::qWait(400);
        QCOMPARE(treeText(root), trees.back());
    }
};

QTEST_MAIN(CommandEngineTest)
#include "CommandEngineTest.moc"
