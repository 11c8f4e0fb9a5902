// The command engine as a document window runs it: moves, the replace-key batch, what gets selected, and
// random batches undone and redone, one step each under its name, back to the very same trees.
#include <QAction>
#include <QtTest>

#include <map>
#include <random>

#include "tests/window/WindowTestSupport.h"

using namespace vantrel::test;

namespace {

// A batch from its text: "title T", and "move FROM TO", "rename INDEX KEY" and "insert INDEX" (a String "n")
// among the root's children, "remove PATH", and "collapse PATH", done on the outline before the batch runs.
CommandBatch batchOf(MyWindowController& w, const QString& text) {
    const EntryRef root = w.rootEntry();
    CommandBatch batch;
    for (const QString& part : text.split(QStringLiteral("; "))) {
        const QStringList a = part.split(QLatin1Char(' '));
        const EntryRef e = at(root, a.value(1));
        if (a[0] == "title") batch.push_back(CommandRecord::title(part.mid(6).toStdString()));
        if (a[0] == "move") batch.push_back(CommandRecord::moveItem(root, a[1].toInt(), a[2].toInt()));
        if (a[0] == "rename")
            batch.push_back(CommandRecord::renameKey(root, a[1].toInt(), a[2].toStdString()));
        if (a[0] == "insert")
            batch.push_back(CommandRecord::insertItem(Entry::make("n", EntryType::String, std::string("N")),
                                                      root, a[1].toInt()));
        if (a[0] == "remove")
            batch.push_back(CommandRecord::removeItem(EntryRef(e->parent()), int64_t(e->indexInParent())));
        if (a[0] == "collapse") w.outlineView()->collapse(w.entryModel()->indexForEntry(e.get()));
    }
    return batch;
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
        static const char* const texts[] = {"", "hello", "12abc", "1e5", "2024-01-02T03:04:05Z", "yes", "-7"};
        const int n = pick(200001) - 100000;
        switch (t) {
        case EntryType::Boolean:
            return n > 0;
        case EntryType::Number:
            return n % 2 ? model::Number::fromReal(double(n) / 8)
                         : model::Number::fromInteger(plist::Integer::fromSigned(n));
        case EntryType::Date:
            return plist::Date{double(n) * 9973 + double(pick(4)) / 4};
        case EntryType::Data:
            return model::Data(size_t(pick(5)), uint8_t(n));
        default:
            return std::string(texts[pick(7)]);
        }
    }

    EntryRef randomEntry(bool container) {
        const EntryType t =
            container ? (pick(2) ? EntryType::Array : EntryType::Dictionary) : EntryType(2 + pick(6));
        EntryRef e = container ? Entry::makeContainer(freshKey(), t, nextId_++)
                               : Entry::make(freshKey(), t, randomValue(t), nextId_++);
        for (int n = container ? pick(3) : 0; n > 0; --n)
            e->appendChild(randomEntry(false));
        return e;
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
    // Rows: the document (the keys of a string dictionary, or an element), the batch, the name of its undo
    // step, the root's keys after it, the entry selected after it and after its undo (a path before it).
    void aBatchSelectsItsTargetAndUndoesAndRedoesAsOneStep_data() {
        for (const char* column : {"document", "batch", "name", "keys", "selected", "selectedAfterUndo"})
            QTest::addColumn<QString>(column);
        // Rows of the nested document, all expanded: Root, a, b, b1, b2, b21, c, d, d1, d2.
        const char* nested =
            "<dict><key>a</key><string>A</string><key>b</key><dict><key>b1</key><string>1</string>"
            "<key>b2</key><dict><key>b21</key><string>21</string></dict></dict><key>c</key>"
            "<string>C</string><key>d</key><dict><key>d1</key><string>1</string><key>d2</key>"
            "<string>2</string></dict></dict>";
        QStringList keys;
        for (int i = 0; i < 80; ++i)
            keys << QStringLiteral("k%1").arg(i, 2, 10, QLatin1Char('0'));
        const std::string many = keys.join(',').toStdString(),
                          but60 = QStringList(keys.mid(0, 60) + keys.mid(61)).join(',').toStdString(),
                          but79 = keys.mid(0, 79).join(',').toStdString();
        const char *six = "a,b,c,d,e,f", *four = "a,b,c,d", *replace = "Replace Key/Value",
                   *remove = "Remove Item";
        // clang-format off
        const char* const rows[][7] = {
            // A moved entry goes before the target index.
            {"move down", six, "move 2 5", "Move Item", "a,b,d,e,c,f", "c", ""},
            {"move up", six, "move 5 1", "Move Item", "a,f,b,c,d,e", "f", ""},
            {"move first to the end", six, "move 0 6", "Move Item", "b,c,d,e,f,a", "a", ""},
            {"move to the top", six, "move 4 0", "Move Item", "e,a,b,c,d,f", "e", ""},
            {"move to the same index", six, "move 3 3", "Move Item", six, "d", ""},
            {"move just below itself", six, "move 3 4", "Move Item", six, "d", ""},
            // The renamed entry stays selected although the other key's entry leaves the tree after it.
            {"replace key above", four, "title Replace Key/Value; rename 3 b; remove b", replace, "a,c,b", "b", "d"},
            {"replace key below", four, "title Replace Key/Value; rename 0 c; remove c", replace, "c,b,d", "c", "a"},
            // The undo renames the entry back, then removes it: what is selected then must be in the tree.
            {"insert renamed", "a,b,c", "insert 1; rename 1 renamed", "Insert Item", "a,renamed,b,c", "renamed", "b"},
            // A removal selects the row after the subtree, or the one above at the end of the outline, also
            // far below the rows shown.
            {"scalar", nested, "remove a", remove, "b,c,d", "b", "a"},
            {"expanded container", nested, "remove b", remove, "a,c,d", "c", "b"},
            {"collapsed container", nested, "collapse b; remove b", remove, "a,c,d", "c", "b"},
            {"last child of a container", nested, "remove b/b2", remove, four, "c", "b/b2"},
            {"deepest last child", nested, "remove b/b2/b21", remove, four, "c", "b/b2/b21"},
            {"first child", nested, "remove b/b1", remove, four, "b/b2", "b/b1"},
            {"last row", nested, "remove d/d2", remove, four, "d/d1", "d/d2"},
            {"subtree ending the outline", nested, "remove d", remove, "a,b,c", "c", "d"},
            {"collapsed subtree ending the outline", nested, "collapse d; remove d", remove, "a,b,c", "c", "d"},
            {"far down", many.c_str(), "remove k60", remove, but60.c_str(), "k61", "k60"},
            {"last of many", many.c_str(), "remove k79", remove, but79.c_str(), "k78", "k79"}};
        // clang-format on
        for (const auto& r : rows)
            QTest::newRow(r[0]) << QString(r[1]) << QString(r[2]) << QString(r[3]) << QString(r[4])
                                << QString(r[5]) << QString(r[6]);
    }

    void aBatchSelectsItsTargetAndUndoesAndRedoesAsOneStep() {
        QFETCH(QString, document);
        QFETCH(QString, batch);
        QFETCH(QString, name);
        QFETCH(QString, keys);
        QFETCH(QString, selected);
        QFETCH(QString, selectedAfterUndo);
        DocumentWindow w;
        QVERIFY(w.open(document.startsWith('<') ? document : stringDict(document.split(','))));
        w->outlineView()->expandAll();
        const EntryRef root = w->rootEntry(),
                       undoTarget = selectedAfterUndo.isEmpty() ? EntryRef() : at(root, selectedAfterUndo);
        const QString before = treeText(root);
        const std::vector<EntryRef> entries = allEntries(root);

        w->doCommands(batchOf(*w, batch));
        const EntryRef target = at(root, selected);
        QCOMPARE(keysOf(root), keys);
        QVERIFY(target && w->currentItem() == target);
        w->runPendingDeferredWork();
        QCOMPARE(selectedEntry(*w), target.get());
        QCOMPARE(undoManagerOf(*w).undoActionName(), name);
        w->undoAction()->trigger();
        QCOMPARE(treeText(root), before);
        QVERIFY(allEntries(root) == entries);
        w->runPendingDeferredWork();
        if (undoTarget) QCOMPARE(w->currentItem().get(), undoTarget.get());
        if (undoTarget) QCOMPARE(selectedEntry(*w), undoTarget.get());
        QCOMPARE(undoManagerOf(*w).redoActionName(), name);
        w->redoAction()->trigger();
        QCOMPARE(keysOf(root), keys);
        QCOMPARE(w->currentItem().get(), target.get());
        QCOMPARE(undoManagerOf(*w).undoActionName(), name);
    }

    // The outline shows an insertion's target 0.2 s after the batch, a move's 0.3 s after, on real timers.
    void refreshesComeAfterTheirDelays() {
        DocumentWindow inserted, moved;
        QVERIFY(inserted.open(stringDict({"a", "b"})) && moved.open(stringDict({"a", "b"})));
        QElapsedTimer clock;
        std::map<MyWindowController*, qint64> shownAfter;
        for (MyWindowController* w : {&*inserted, &*moved})
            connect(w->outlineView()->selectionModel(), &QItemSelectionModel::selectionChanged, w,
                    [w, &clock, &shownAfter] { shownAfter.try_emplace(w, clock.elapsed()); });
        clock.start();
        inserted->doCommands(batchOf(*inserted, "insert 1"));
        moved->doCommands(batchOf(*moved, "move 0 2"));
        QVERIFY(shownAfter.empty());
        QTRY_COMPARE(shownAfter.size(), size_t(2));
        QCOMPARE(selectedEntry(*moved), at(moved->rootEntry(), "a").get());
        // Qt's coarse timers may fire 5% early, and the clock counts whole milliseconds.
        QVERIFY2(
            shownAfter[&*inserted] >= 185 && shownAfter[&*moved] >= 280 &&
                shownAfter[&*moved] - shownAfter[&*inserted] >= 50,
            qPrintable(QStringLiteral("%1 ms, %2 ms").arg(shownAfter[&*inserted]).arg(shownAfter[&*moved])));
    }

    void randomEditsUndoAndRedoToTheSameTrees() {
        DocumentWindow w;
        QVERIFY(w.open(mixedDocument()));
        w->outlineView()->expandAll();
        const EntryRef root = w->rootEntry();
        RandomEdits edits(*w, 20240917);
        struct State {
            QString name, tree;
            std::vector<EntryRef> entries;
        };
        std::vector<State> states{{"", treeText(root), allEntries(root)}};
        for (int i = 0; i < 300; ++i) {
            QString name;
            w->doCommands(edits.next(name));
            states.push_back({name, treeText(root), allEntries(root)});
            QCOMPARE(undoManagerOf(*w).undoActionName(), name);
        }
        QVERIFY(states.back().tree != states.front().tree);
        // Back to the first tree one step at a time, then forward again, each step under its name.
        for (const bool isUndo : {true, false}) {
            QAction* action = isUndo ? w->undoAction() : w->redoAction();
            for (size_t k = 1; k < states.size(); ++k) {
                const size_t step = isUndo ? states.size() - k : k, reached = isUndo ? step - 1 : step;
                QCOMPARE(action->text(), (isUndo ? "Undo " : "Redo ") + states[step].name);
                action->trigger();
                QCOMPARE(treeText(root), states[reached].tree);
                QVERIFY2(allEntries(root) == states[reached].entries,
                         qPrintable(QString("step %1").arg(step)));
            }
            QVERIFY(isUndo ? !undoManagerOf(*w).canUndo() : !undoManagerOf(*w).canRedo());
        }
        // The refreshes still waiting run on the edited tree and leave it alone.
        QVERIFY(w->runPendingDeferredWork() > 0);
        QCOMPARE(treeText(root), states.back().tree);
    }
};

QTEST_MAIN(CommandEngineTest)
#include "CommandEngineTest.moc"
