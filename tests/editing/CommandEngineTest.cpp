// The command engine as a document window runs it: batches as undo steps, their names, moves, the replace-key
// batch, what gets selected, and random edits undone and redone back to the very same trees.
#include <QAction>
#include <QtTest>

#include "WindowTestSupport.h"

using namespace vantrel::test;

namespace {

// root: a "A", b "B", c "C", d {x 1}
const QString kSmall =
    QStringLiteral("<dict><key>a</key><string>A</string><key>b</key><string>B</string><key>c</key>"
                   "<string>C</string><key>d</key><dict><key>x</key><integer>1</integer></dict></dict>");

CommandRecord insertN(const EntryRef& root) {
    return CommandRecord::insertItem(Entry::make("n", EntryType::String, std::string("N")), root, 1);
}

// A batch on kSmall from words: insert, remove, move, type, rename, value (of a), nested (value of d/x) and
// title:Text.
CommandBatch batchOf(const QString& words, const EntryRef& root) {
    CommandBatch batch;
    const EntryRef b = childAt(root, 1);
    for (const QString& word : words.split(' ')) {
        if (word == "insert") batch.push_back(insertN(root));
        if (word == "remove") batch.push_back(CommandRecord::removeItem(root, 0));
        if (word == "move") batch.push_back(CommandRecord::moveItem(root, 0, 3));
        if (word == "rename") batch.push_back(CommandRecord::renameKey(root, 0, "z"));
        if (word == "value") batch.push_back(CommandRecord::changeValue(root, 0, std::string("Z")));
        if (word == "nested")
            batch.push_back(CommandRecord::changeValue(
                childAt(root, 3), 0, model::Number::fromInteger(plist::Integer::fromSigned(5))));
        if (word == "type")
            batch.push_back(CommandRecord::changeType(
                b, root, EntryType::Number, editing::convertedValue(*b, EntryType::Number), {}, {}));
        if (word.startsWith("title:")) batch.push_back(CommandRecord::title(word.mid(6).toStdString()));
    }
    return batch;
}

} // namespace

class CommandEngineTest : public QObject {
    Q_OBJECT
private slots:
    void eachBatchIsOneUndoStepNamedByItsTitle_data() {
        QTest::addColumn<QString>("edit"); // "words -> name of the undo step"
        QTest::newRow("insert") << "insert -> Insert Item";
        QTest::newRow("remove") << "remove -> Remove Item";
        QTest::newRow("move") << "move -> Move Item";
        QTest::newRow("type") << "type -> Change Type";
        QTest::newRow("rename") << "rename -> Rename Key";
        QTest::newRow("value in a nested dictionary") << "nested -> Change Value";
        QTest::newRow("title record first") << "title:Paste insert -> Paste";
        QTest::newRow("title record last") << "remove title:Cut -> Cut";
        QTest::newRow("later title record wins") << "title:First rename value title:Second -> Second";
        QTest::newRow("first of two records") << "value rename -> Change Value";
    }

    void eachBatchIsOneUndoStepNamedByItsTitle() {
        QFETCH(QString, edit);
        const QString name = edit.section(QStringLiteral(" -> "), 1);
        DocumentWindow w;
        QVERIFY(w.open(kSmall));
        const EntryRef root = w->rootEntry();
        platform::UndoManager& undo = undoManagerOf(*w);
        QVERIFY(!w->undoAction()->isEnabled());
        QCOMPARE(w->undoAction()->text(), QStringLiteral("Undo"));

        const QString before = treeText(root);
        const std::vector<EntryRef> entries = allEntries(root);
        w->doCommands(batchOf(edit.section(QStringLiteral(" -> "), 0, 0), root));
        const QString after = treeText(root);
        QVERIFY(after != before);
        QCOMPARE(undo.undoActionName(), name);
        QCOMPARE(w->undoAction()->text(), QStringLiteral("Undo ") + name);
        QVERIFY(w->undoAction()->isEnabled());
        QVERIFY(!w->redoAction()->isEnabled());

        // One step undoes the whole batch and leaves its redo under the same name.
        w->undoAction()->trigger();
        QCOMPARE(treeText(root), before);
        QVERIFY(allEntries(root) == entries);
        QVERIFY(!w->undoAction()->isEnabled());
        QCOMPARE(w->undoAction()->text(), QStringLiteral("Undo"));
        QCOMPARE(w->redoAction()->text(), QStringLiteral("Redo ") + name);

        w->redoAction()->trigger();
        QCOMPARE(treeText(root), after);
        QVERIFY(!undo.canRedo());
        QCOMPARE(undo.undoActionName(), name);
        // The step the redo registered undoes it again.
        w->undoAction()->trigger();
        QCOMPARE(treeText(root), before);
        QCOMPARE(undo.redoActionName(), name);
    }

    void moveItemPutsTheEntryBeforeTheTargetIndex_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QString>("order");
        QTest::newRow("down") << 2 << 5 << "abdecf";
        QTest::newRow("up") << 5 << 1 << "afbcde";
        QTest::newRow("first to the end") << 0 << 6 << "bcdefa";
        QTest::newRow("to the top") << 4 << 0 << "eabcdf";
        QTest::newRow("same index") << 3 << 3 << "abcdef";
        QTest::newRow("just below itself") << 3 << 4 << "abcdef";
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
        QCOMPARE(keysOf(root).join(QString()), order);
        QCOMPARE(stringsOf(root).join(QString()), order.toUpper());
        QCOMPARE(w->currentItem().get(), moved.get());
        QCOMPARE(undoManagerOf(*w).undoActionName(), QStringLiteral("Move Item"));

        w->undoAction()->trigger();
        QCOMPARE(keysOf(root).join(QString()), QStringLiteral("abcdef"));
        QVERIFY(allEntries(root) == entries);
        w->redoAction()->trigger();
        QCOMPARE(keysOf(root).join(QString()), order);
        w->undoAction()->trigger();
        QCOMPARE(keysOf(root).join(QString()), QStringLiteral("abcdef"));
    }

    void replaceKeyBatchIsOneStepThatKeepsTheRenamedEntrySelected_data() {
        QTest::addColumn<int>("renamed");
        QTest::addColumn<int>("removed");
        QTest::addColumn<QString>("order");
        QTest::newRow("other key above") << 3 << 1 << "acb";
        QTest::newRow("other key below") << 0 << 2 << "cbd";
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
        QCOMPARE(keysOf(root).join(QString()), order);
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
        QCOMPARE(keysOf(root).join(QString()), order);
        QCOMPARE(w->currentItem().get(), x.get());
        QCOMPARE(undoManagerOf(*w).undoActionName(), title);
    }

    void insertItemSelectsTheInsertedEntry() {
        DocumentWindow w;
        QVERIFY(w.open(kSmall));
        const EntryRef root = w->rootEntry(), d = childAt(root, 3);
        expand(*w, d);

        w->doCommands({insertN(root)});
        const EntryRef top = childAt(root, 1);
        QCOMPARE(QString::fromStdString(top->key), QStringLiteral("n"));
        QCOMPARE(w->currentItem().get(), top.get());
        QTRY_COMPARE(selectedEntry(*w), top.get());

        const EntryRef nested = Entry::makeContainer("m", EntryType::Array);
        w->doCommands({CommandRecord::insertItem(nested, d, 1)});
        QCOMPARE(keysOf(d), QStringList({"x", "m"}));
        QCOMPARE(w->currentItem().get(), nested.get());
        QTRY_COMPARE(selectedEntry(*w), nested.get());
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

    void undoingAnInsertThatWasRenamedSelectsAnEntryOfTheTree() {
        DocumentWindow w;
        QVERIFY(w.open(stringDict({"a", "b", "c"})));
        const EntryRef root = w->rootEntry(), b = childAt(root, 1);
        w->doCommands({insertN(root), CommandRecord::renameKey(root, 1, "renamed")});
        const EntryRef added = childAt(root, 1);
        QCOMPARE(w->currentItem().get(), added.get());

        // The undo renames the entry back, then removes it: what is selected then must still be in the tree.
        w->undoAction()->trigger();
        QCOMPARE(keysOf(root), QStringList({"a", "b", "c"}));
        QCOMPARE(w->currentItem().get(), b.get());
        QTRY_COMPARE(selectedEntry(*w), b.get());
    }

    void randomEditsUndoAndRedoToTheSameTrees() {
        DocumentWindow w;
        QVERIFY(w.open(mixedDocument()));
        w->outlineView()->expandAll();
        const EntryRef root = w->rootEntry();
        QVERIFY(allEntries(root).size() > 30);
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
            QCOMPARE(w->undoAction()->text(), QStringLiteral("Undo ") + names[i]);
            w->undoAction()->trigger();
            QCOMPARE(treeText(root), trees[size_t(i)]);
            QVERIFY2(allEntries(root) == identities[size_t(i)],
                     qPrintable(QString("undoing step %1").arg(i)));
        }
        QVERIFY(!undoManagerOf(*w).canUndo());
        for (int i = 0; i < steps; ++i) {
            QCOMPARE(w->redoAction()->text(), QStringLiteral("Redo ") + names[i]);
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
