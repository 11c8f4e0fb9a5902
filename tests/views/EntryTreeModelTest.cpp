// The outline's item model over a window's tree: consistent through every kind of edit, undo and redo,
// showing what changed, and offering no way to change the tree itself.
#include <QAbstractItemModelTester>
#include <QAction>
#include <QSignalSpy>
#include <QtTest>

#include "tests/window/WindowTestSupport.h"

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

const struct {
    const char* name;
    const char* path;
    const char* cells;
} kCells[] = {
    {"root", "", "Root | Dictionary | (11 items)"},
    {"string", "name", "name | String | Vantrel"},
    {"empty string", "empty", "empty | String | "},
    {"integer", "count", "count | Number | -9"},
    {"largest integer", "big", "big | Number | 18446744073709551615"},
    {"real", "ratio", "ratio | Number | 0.5"},
    {"true", "on", "on | Boolean | true"},
    {"false", "off", "off | Boolean | false"},
    {"date", "when", "when | Date | 2020/02/29 12:00:00"},
    {"data", "blob", "blob | Data | <00010203 04ff>"},
    {"one element", "one", "one | Array | (1 item)"},
    {"first element", "one/0", "Item 0 | String | first"},
    {"two elements", "two", "two | Array | (2 items)"},
    {"second element", "two/1", "Item 1 | Dictionary | (0 items)"},
    {"empty data", "two/0/nothing", "nothing | Data | <>"},
};

} // namespace

class EntryTreeModelTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qputenv("TZ", "UTC"); }

    void modelStaysConsistentThroughEditsUndoAndRedo() {
        DocumentWindow w;
        QVERIFY(w.open(mixedDocument()));
        QAbstractItemModelTester tester(w->entryModel(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        w->outlineView()->expandAll();
        const EntryRef root = w->rootEntry();
        const EntryRef list = at(root, "list"), settings = at(root, "settings");
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
        changeType(*w, settings, EntryType::String);             // container with children to scalar
        changeType(*w, at(root, "name"), EntryType::Dictionary); // scalar to empty container
        changeType(*w, list, EntryType::Dictionary);             // a list that stays
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
        QVERIFY(w->runPendingDeferredWork() > 0);
    }

    void cellsShowKeyTypeAndValue_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("cells"); // key | type | value
        for (const auto& [name, path, cells] : kCells)
            QTest::newRow(name) << QString::fromUtf8(path) << QString::fromUtf8(cells);
        QTest::newRow("new document") << QString() << QStringLiteral("Root | Array | (0 items)");
    }

    void cellsShowKeyTypeAndValue() {
        QFETCH(QString, path);
        QFETCH(QString, cells);
        DocumentWindow w;
        QVERIFY(
            QTest::currentDataTag() == QLatin1String("new document")
                ? w.openNew()
                : w.open(QStringLiteral(
                      "<dict><key>name</key><string>Vantrel</string><key>empty</key><string></string>"
                      "<key>count</key><integer>-9</integer><key>big</key>"
                      "<integer>18446744073709551615</integer><key>ratio</key><real>0.5</real><key>on</key>"
                      "<true/><key>off</key><false/><key>when</key><date>2020-02-29T12:00:00Z</date>"
                      "<key>blob</key><data>AAECAwT/</data><key>one</key><array><string>first</string>"
                      "</array><key>two</key><array><dict><key>nothing</key><data></data></dict><dict/>"
                      "</array></dict>")));
        const EntryRef e = at(w->rootEntry(), path);
        QCOMPARE(cell(*w, e, 0) + " | " + cell(*w, e, 1) + " | " + cell(*w, e, 2), cells);
        if (path.isEmpty()) QCOMPARE(w->outlineView()->totalRows(), int(e->childCount()) + 1);
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
