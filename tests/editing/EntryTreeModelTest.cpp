// The outline's item model over a window's tree: consistent through every kind of edit, undo and redo,
// keeping expanded rows expanded, showing what changed, and offering no way to change the tree itself.
#include <QAbstractItemModelTester>
#include <QAction>
#include <QSignalSpy>
#include <QtTest>

#include "WindowTestSupport.h"

using namespace vantrel::test;

namespace {

QString cell(const MyWindowController& w, const EntryRef& e, int column) {
    return w.entryModel()->indexForEntry(e.get(), column).data().toString();
}

void changeType(MyWindowController& w, const EntryRef& e, EntryType t) {
    const EntryRef parent = e == w.rootEntry() ? EntryRef() : EntryRef(e->parent());
    w.doCommands({CommandRecord::changeType(e, parent, t, editing::convertedValue(*e, t),
                                            e->isContainer() ? e->child() : Children(), {})});
}

} // namespace

class EntryTreeModelTest : public QObject {
    Q_OBJECT
private slots:
    void modelStaysConsistentThroughEditsUndoAndRedo() {
        DocumentWindow w;
        QVERIFY(w.open(mixedDocument()));
        QAbstractItemModelTester tester(w->entryModel(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        w->outlineView()->expandAll();
        const EntryRef root = w->rootEntry();
        const EntryRef list = entryAtPath(root, "list"), settings = entryAtPath(root, "settings");
        const QString before = treeText(root);
        // Arrays gain and lose rows only at their ends here: their elements show their positions ("Item N"),
        // and the tester expects the row after an insertion or removal to show what it showed before.
        EntryRef box = Entry::makeContainer("box", EntryType::Dictionary);
        box->appendChild(Entry::make("in", EntryType::Boolean, true));
        w->doCommands({CommandRecord::insertItem(box, root, 0)});
        w->doCommands(
            {CommandRecord::insertItem(Entry::make("", EntryType::String, std::string("s")), list, 6)});
        w->doCommands({CommandRecord::moveItem(list, 0, 7)});
        w->doCommands({CommandRecord::moveItem(list, 5, 0)});
        w->doCommands({CommandRecord::moveItem(root, 0, 5)});
        w->doCommands({CommandRecord::removeItem(settings, 2)});
        changeType(*w, settings, EntryType::String);                      // container with children to scalar
        changeType(*w, entryAtPath(root, "name"), EntryType::Dictionary); // scalar to empty container
        changeType(*w, list, EntryType::Dictionary);                      // a list that stays
        w->doCommands({CommandRecord::title("Tidy"), CommandRecord::removeItem(root, 1),
                       CommandRecord::moveItem(root, 2, 0),
                       CommandRecord::insertItem(Entry::make("", EntryType::Date, plist::Date{0}), root, 3)});
        changeType(*w, root, EntryType::Array);
        w->doCommands({CommandRecord::insertItem(Entry::make("", EntryType::Data, model::Data{1, 2}), root,
                                                 int64_t(root->childCount()))});
        const QString after = treeText(root);

        for (int i = 0; i < 12; ++i)
            w->undoAction()->trigger();
        QVERIFY(!undoManagerOf(*w).canUndo());
        QCOMPARE(treeText(root), before);
        for (int i = 0; i < 12; ++i)
            w->redoAction()->trigger();
        QCOMPARE(treeText(root), after);
        QTest::qWait(400);
    }

    void expandedRowsStayExpandedAfterEdits() {
        DocumentWindow w;
        QVERIFY(w.open(mixedDocument()));
        const EntryRef root = w->rootEntry();
        const EntryRef list = entryAtPath(root, "list"), settings = entryAtPath(root, "settings");
        const EntryRef recent = entryAtPath(root, "settings/recent"),
                       flags = entryAtPath(root, "settings/flags");
        const EntryRef inner = childAt(list, 4);
        for (const EntryRef& e : {list, settings, recent, inner})
            expand(*w, e);
        QVERIFY(!isExpanded(*w, flags));
        auto check = [&](const char* after) {
            for (const EntryRef& e : {root, list, settings, recent, inner})
                if (!isExpanded(*w, e))
                    return QStringLiteral("%1 collapsed after %2").arg(cell(*w, e, 0), after);
            return isExpanded(*w, flags) ? QStringLiteral("flags expanded after %1").arg(after) : QString();
        };

        w->doCommands({CommandRecord::insertItem(Entry::make("new", EntryType::Boolean, true), root, 0)});
        QCOMPARE(check("insert"), QString());
        w->doCommands({CommandRecord::removeItem(settings, 0)});
        QCOMPARE(check("remove"), QString());
        w->doCommands({CommandRecord::moveItem(root, list->indexInParent(), root->childCount())});
        w->doCommands({CommandRecord::moveItem(settings, recent->indexInParent(), 0)});
        w->doCommands({CommandRecord::moveItem(list, 4, 0)});
        QCOMPARE(check("moves"), QString());
        changeType(*w, entryAtPath(root, "name"), EntryType::Array);
        changeType(*w, settings, EntryType::Array);
        w->doCommands(
            {CommandRecord::renameKey(root, 2, "renamed"),
             CommandRecord::changeValue(root, 2, model::Number::fromInteger(plist::Integer::fromSigned(7)))});
        QCOMPARE(check("type changes"), QString());
        for (int i = 0; i < 8; ++i)
            w->undoAction()->trigger();
        QCOMPARE(check("undo"), QString());
        for (int i = 0; i < 8; ++i)
            w->redoAction()->trigger();
        QCOMPARE(check("redo"), QString());
    }

    void rowsShowWhatAnEditChanged() {
        DocumentWindow w;
        QVERIFY(w.open(QStringLiteral(
            "<dict><key>d</key><dict><key>a</key><string>A</string><key>b</key><integer>2</integer>"
            "</dict><key>s</key><string>12</string></dict>")));
        const EntryRef root = w->rootEntry(), d = childAt(root, 0), s = childAt(root, 1);
        const EntryRef a = childAt(d, 0), b = childAt(d, 1);
        QCOMPARE(cell(*w, root, 0), QStringLiteral("Root"));
        QCOMPARE(cell(*w, root, 2), QStringLiteral("(2 items)"));
        QCOMPARE(cell(*w, a, 0), QStringLiteral("a"));

        // The children of a dictionary that becomes an array are shown by position, and the view hears of it.
        QSignalSpy changed(w->entryModel(), &QAbstractItemModel::dataChanged);
        changeType(*w, d, EntryType::Array);
        QCOMPARE(cell(*w, d, 1), QStringLiteral("Array"));
        QCOMPARE(cell(*w, a, 0), QStringLiteral("Item 0"));
        QCOMPARE(cell(*w, b, 0), QStringLiteral("Item 1"));
        bool childrenAnnounced = false;
        for (const QList<QVariant>& args : changed) {
            const QModelIndex from = args[0].value<QModelIndex>(), to = args[1].value<QModelIndex>();
            if (from.parent() == w->entryModel()->indexForEntry(d.get()) && from.row() == 0 && to.row() == 1)
                childrenAnnounced = true;
        }
        QVERIFY(childrenAnnounced);

        // Positions follow a move; a scalar shows its converted value.
        w->doCommands({CommandRecord::moveItem(d, 0, 2)});
        QCOMPARE(cell(*w, a, 0), QStringLiteral("Item 1"));
        QCOMPARE(cell(*w, b, 0), QStringLiteral("Item 0"));
        changeType(*w, s, EntryType::Number);
        QCOMPARE(cell(*w, s, 1), QStringLiteral("Number"));
        QCOMPARE(cell(*w, s, 2), QStringLiteral("12"));
        w->doCommands(
            {CommandRecord::insertItem(Entry::make("", EntryType::String, std::string("c")), d, 0)});
        QCOMPARE(cell(*w, d, 2), QStringLiteral("(3 items)"));
        QCOMPARE(cell(*w, a, 0), QStringLiteral("Item 2"));
    }

    void modelCannotChangeTheTree() {
        DocumentWindow w;
        QVERIFY(w.open(mixedDocument()));
        views::EntryTreeModel* m = w->entryModel();
        const EntryRef root = w->rootEntry();
        const QString before = treeText(root);
        for (const EntryRef& e : allEntries(root)) {
            for (int column = 0; column < 3; ++column) {
                const QModelIndex index = m->indexForEntry(e.get(), column);
                QVERIFY(index.isValid());
                QVERIFY(!(m->flags(index) & Qt::ItemIsEditable));
                QVERIFY(!m->setData(index, QStringLiteral("changed")));
            }
        }
        const QModelIndex top = m->index(0, 0);
        QVERIFY(!m->removeRows(0, 2, top));
        QVERIFY(!m->insertRows(0, 1, top));
        QVERIFY(!m->moveRows(top, 0, 1, top, 3));
        QVERIFY(!m->removeColumns(0, 1, top));
        QCOMPARE(treeText(root), before);
        QVERIFY(!undoManagerOf(*w).canUndo());
    }
};

QTEST_MAIN(EntryTreeModelTest)
#include "EntryTreeModelTest.moc"
