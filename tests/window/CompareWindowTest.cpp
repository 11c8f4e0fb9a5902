// The compare window over real document windows: differences copied to either side as undoable edits.
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "tests/window/WindowTestSupport.h"
#include "window/MyCompareWindow.h"

using namespace vantrel::test;

class CompareWindowTest : public QObject {
    Q_OBJECT
private slots:
    // Each copy is one named undo step of the window it changed, and the count follows every edit and undo.
    void copiesToEitherSideAsOneUndoStepEach() {
        DocumentWindow left, right;
        QVERIFY(left.open(QStringLiteral(
            "<dict><key>a</key><string>A</string><key>list</key><array><string>x"
            "</string><string>y</string><string>m</string></array><key>z</key><string>Z</string></dict>")));
        QVERIFY(right.open(QStringLiteral(
            "<dict><key>a</key><string>B</string><key>list</key><array><string>m"
            "</string><string>x</string><string>new</string><string>y</string></array></dict>")));
        window::MyCompareWindow::Windows windows{
            [&](const QString& path) { return path == right->url() ? &*right : nullptr; },
            [&](const QString&) { return &*left; }};
        window::MyCompareWindow w(left->url(), right->url(), windows);
        auto button = [&](const QString& title) {
            for (QPushButton* b : w.findChildren<QPushButton*>())
                if (b->text() == title && b->isVisibleTo(&w)) return b;
            return static_cast<QPushButton*>(nullptr);
        };
        w.show();
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QCOMPARE(w.countLabel()->text(), QStringLiteral("4 differences"));
        // The left side is read-only until opened to edit.
        QTest::keyClick(&w, Qt::Key_F8);
        QVERIFY(!button(QStringLiteral("Copy to Left"))->isEnabled());
        QTest::mouseClick(button(QStringLiteral("Open to Edit")), Qt::LeftButton);
        QVERIFY(!button(QStringLiteral("Open to Edit")));

        const struct {
            bool toRight;
            const char* undoName;
            const char* count;
        } steps[] = {{false, "Change Value", "3 differences"},
                     {false, "Move Item", "2 differences"},
                     {false, "Insert Item", "1 difference"},
                     {true, "Insert Item", "0 differences"}};
        for (const auto& s : steps) {
            QTest::keyClick(&w, Qt::Key_F8);
            QTest::mouseClick(
                button(s.toRight ? QStringLiteral("Copy to Right") : QStringLiteral("Copy to Left")),
                Qt::LeftButton);
            QCOMPARE(undoManagerOf(s.toRight ? *right : *left).undoActionName(),
                     QString::fromUtf8(s.undoName));
            QCOMPARE(w.countLabel()->text(), QString::fromUtf8(s.count));
        }
        QCOMPARE(treeText(left->rootEntry()), treeText(right->rootEntry()));
        left->undo();
        QTRY_COMPARE(w.countLabel()->text(), QStringLiteral("1 difference"));
        QCOMPARE(keysOf(at(left->rootEntry(), QStringLiteral("list")), true), QStringLiteral("m,x,y"));
    }
};

QTEST_MAIN(CompareWindowTest)
#include "CompareWindowTest.moc"
