// The object view of a keyed archive: on by default, value edits made through it land in the plain tree as
// one "Change Value" step each, structural edits wait for the plain view, and Go to Object finds an object.
#include <QAbstractItemModelTester>
#include <QtTest>
#include <random>

#include "model/KeyedArchive.h"
#include "model/ValueText.h"
#include "tests/window/WindowTestSupport.h"
#include "views/ObjectTreeModel.h"

using namespace vantrel::test;
using namespace model::test;
using Form = model::ArchiveNode::Form;

class ObjectViewTest : public QObject {
    Q_OBJECT
private slots:
    void valueEditsThroughTheObjectViewLandInThePlainTree();
};

void ObjectViewTest::valueEditsThroughTheObjectViewLandInThePlainTree() {
    const std::string bytes =
        archiveBytes(dict({{"root", uid(1)}}),
                     {"$null",
                      dict({{"$class", uid(2)},
                            {"NS.objects", arr({uid(3), uid(4), uid(6), integer(1), true, data({1})})}}),
                      cls("NSArray"), "text", dict({{"$class", uid(5)}, {"NS.time", 1.5}}), cls("NSDate"),
                      dict({{"$class", uid(7)}, {"NS.uuidbytes", Value(model::Data(16))}}), cls("NSUUID")});
    QTemporaryDir dir;
    writeFile(dir.filePath("a.plist").toStdString(), bytes);
    MyWindowController w(dir.filePath("a.plist"));
    QVERIFY(w.windowDidLoad() && w.showsObjects() && w.showObjectsAction()->isChecked());
    w.show();
    QVERIFY(activate(w));
    QVERIFY(!w.cutAction()->isEnabled() && w.cutAction()->toolTip().contains("plain view"));
    EntryRef expected = *model::PlistDocument().rootEntryWithBinaryData(bytes);
    QAbstractItemModelTester tester(w.objectModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    w.objectView()->expandAll();
    const QModelIndex list = w.objectModel()->index(0, 0, w.objectModel()->index(0, 0));
    std::mt19937 random(26);
    for (int step = 0; step < 40; ++step) {
        const QModelIndex cell = w.objectModel()->index(int(random() % 6), 2, list);
        const model::ArchiveNode& node = *w.objectModel()->nodeForIndex(cell);
        const Entry& e = *node.entry;
        const uint8_t n = uint8_t(random());
        const QString hex = QByteArray(node.form == Form::Uuid ? 16 : 2, char(n)).toHex();
        std::pair<QString, Entry::Value> edit =
            node.form == Form::DateSeconds
                ? std::pair{QString::fromStdString(model::descriptionOfDate({n * 1.0})),
                            Entry::Value(model::Number::fromReal(n))}
            : node.form == Form::Uuid
                ? std::pair{hex, Entry::Value(*model::dataWithHexString(hex.toStdString()))}
            : e.type() == EntryType::Data ? std::pair{"<" + hex + ">", Entry::Value(model::Data{n, n})}
            : e.type() == EntryType::Boolean
                ? std::pair{QString(n % 2 ? "yes" : "no"), Entry::Value(n % 2 == 1)}
            : e.type() == EntryType::Number
                ? std::pair{QString::number(n),
                            Entry::Value(model::Number::fromInteger(plist::Integer::fromUnsigned(n)))}
                : std::pair{QString::number(n), Entry::Value(std::to_string(n))};
        if (step == 0) { // through the keyboard
            w.objectView()->setCurrentIndex(cell.siblingAtColumn(0));
            QTest::keyClick(w.objectView(), Qt::Key_F2);
            QTest::keyClicks(QApplication::focusWidget(), edit.first, Qt::NoModifier);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            QCoreApplication::processEvents(); // the view commits the edit queued
        } else {
            w.objectModel()->setData(cell, edit.first);
        }
        EntryRef mirror = expected;
        for (const QString& part : QString::fromStdString(model::keyPath(e)).split(" \u203a ").mid(1))
            mirror = part.startsWith("Item ") ? mirror->child()[part.mid(5).toUInt()] : at(mirror, part);
        mirror->setValue(edit.second);
        QCOMPARE(treeText(w.rootEntry()), treeText(expected));
        if (node.form == Form::Plain) QCOMPARE(cell.data(), w.entryModel()->indexForEntry(&e, 2).data());
    }
    QCOMPARE(undoManagerOf(w).undoActionName(), QStringLiteral("Change Value"));
    // Go to Object from the object view, then from the plain view's uid; Ctrl+Shift+O goes back.
    w.objectView()->setCurrentIndex(w.objectModel()->index(1, 0, list));
    QTest::keyClick(&w, Qt::Key_J, Qt::ControlModifier);
    QVERIFY(!w.showsObjects() && w.cutAction()->isEnabled());
    QCOMPARE(model::keyPath(*w.currentItem()), "Root \u203a $objects \u203a Item 4");
    const EntryRef uidOfRoot = at(w.rootEntry(), "$top/root/CF$UID");
    w.expandAncestorWithItem(uidOfRoot.get());
    w.outlineViewSelectItem(uidOfRoot.get());
    QTest::keyClick(&w, Qt::Key_J, Qt::ControlModifier);
    QCOMPARE(model::keyPath(*w.currentItem()), "Root \u203a $objects \u203a Item 1");
    QTest::keyClick(&w, Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(w.showsObjects());
}

QTEST_MAIN(ObjectViewTest)
#include "ObjectViewTest.moc"
