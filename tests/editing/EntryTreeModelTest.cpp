// The outline's item model over a window's tree: consistent through every kind of edit, undo and redo,
// showing what changed, and offering no way to change the tree itself.
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

    void rowsShowWhatAnEditChangedAndTheModelCannotChangeTheTree() {
        DocumentWindow w;
        QVERIFY(w.open(QStringLiteral("<dict><key>d</key><dict><key>a</key><string>A</string><key>b</key>"
                                      "<integer>2</integer></dict><key>s</key><string>12</string></dict>")));
        views::EntryTreeModel* m = w->entryModel();
        const EntryRef root = w->rootEntry(), d = childAt(root, 0), s = childAt(root, 1);
        const EntryRef a = childAt(d, 0), b = childAt(d, 1);
        QCOMPARE(cell(*w, root, 0) + cell(*w, root, 2) + cell(*w, a, 0), QStringLiteral("Root(2 items)a"));
        // Only the command engine changes the tree: no cell is editable.
        const QString before = treeText(root);
        for (const EntryRef& e : allEntries(root))
            for (int column = 0; column < 3; ++column)
                QVERIFY(!(m->flags(m->indexForEntry(e.get(), column)) & Qt::ItemIsEditable) &&
                        !m->setData(m->indexForEntry(e.get(), column), QStringLiteral("changed")));
        QCOMPARE(treeText(root), before);

        // The children of a dictionary that becomes an array are shown by position, and the view hears of it.
        QSignalSpy changed(m, &QAbstractItemModel::dataChanged);
        changeType(*w, d, EntryType::Array);
        QCOMPARE(cell(*w, d, 1) + " " + cell(*w, a, 0) + " " + cell(*w, b, 0) + " " +
                     QString::fromStdString(b->key),
                 QStringLiteral("Array Item 0 Item 1 New item - 2"));
        bool childrenAnnounced = false;
        for (const QList<QVariant>& args : changed) {
            const QModelIndex from = args[0].value<QModelIndex>(), to = args[1].value<QModelIndex>();
            childrenAnnounced |=
                from.parent() == m->indexForEntry(d.get()) && from.row() == 0 && to.row() == 1;
        }
        QVERIFY(childrenAnnounced);
        // Positions follow a move; a scalar shows its converted value.
        w->doCommands({CommandRecord::moveItem(d, 0, 2)});
        QCOMPARE(cell(*w, a, 0) + " " + cell(*w, b, 0), QStringLiteral("Item 1 Item 0"));
        changeType(*w, s, EntryType::Number);
        QCOMPARE(cell(*w, s, 1) + " " + cell(*w, s, 2), QStringLiteral("Number 12"));
        w->doCommands(
            {CommandRecord::insertItem(Entry::make("", EntryType::String, std::string("c")), d, 0)});
        QCOMPARE(cell(*w, d, 2) + " " + cell(*w, a, 0), QStringLiteral("(3 items) Item 2"));
    }
};

QTEST_MAIN(EntryTreeModelTest)
#include "EntryTreeModelTest.moc"
