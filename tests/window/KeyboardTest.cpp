// The selected row's controls reached from the keyboard: F2 and Shift+F2 edit, Space toggles a Boolean,
// Ctrl+T opens the type pop-up, Ctrl+D duplicates, Ctrl+Y redoes, Alt+E and F10 open the menus, and the Menu
// key and Shift+F10 the context menu.
#include <QAbstractItemView>
#include <QAction>
#include <QMenu>
#include <QtTest>

#include "tests/window/WindowTestSupport.h"

using namespace vantrel::test;

class KeyboardTest : public QObject {
    Q_OBJECT
private slots:
    void reachesTheRowControlsFromTheKeyboard_data();
    void reachesTheRowControlsFromTheKeyboard();
};

void KeyboardTest::reachesTheRowControlsFromTheKeyboard_data() {
    QTest::addColumn<QString>("row");
    QTest::addColumn<QKeySequence>("keys");
    // What the window shows afterwards: the field edited (key or value), the root's keys and the Boolean,
    // whether the type pop-up is open, and the undo action's title.
    QTest::addColumn<QString>("after");
    const QString keys = "name,on,list";
    QTest::newRow("F2: key") << "name" << QKeySequence(Qt::Key_F2) << "key " + keys + " true  Undo";
    QTest::newRow("F2: value where the key is not edited")
        << "list/0" << QKeySequence(Qt::Key_F2) << "value " + keys + " true  Undo";
    QTest::newRow("Shift+F2: value") << "name" << QKeySequence(Qt::SHIFT | Qt::Key_F2)
                                     << "value " + keys + " true  Undo";
    QTest::newRow("Space: Boolean") << "on" << QKeySequence(Qt::Key_Space)
                                    << "- " + keys + " false  Undo Change Value";
    QTest::newRow("Ctrl+T: type pop-up")
        << "on" << QKeySequence(Qt::CTRL | Qt::Key_T) << "- " + keys + " true popup Undo";
    QTest::newRow("Alt+E: the Edit menu")
        << "on" << QKeySequence(Qt::ALT | Qt::Key_E) << "- " + keys + " true menu Undo";
    QTest::newRow("F10: the first menu")
        << "on" << QKeySequence(Qt::Key_F10) << "- " + keys + " true menu Undo";
    QTest::newRow("Menu: the context menu")
        << "on" << QKeySequence(Qt::Key_Menu) << "- " + keys + " true context Undo";
    QTest::newRow("Shift+F10: the context menu")
        << "on" << QKeySequence(Qt::SHIFT | Qt::Key_F10) << "- " + keys + " true context Undo";
    QTest::newRow("Ctrl+D: duplicate")
        << "on" << QKeySequence(Qt::CTRL | Qt::Key_D) << "key name,on,on - 2,list true  Undo Duplicate Item";
    QTest::newRow("Ctrl+Y: redo") << "on"
                                  << QKeySequence(Qt::CTRL | Qt::Key_D, Qt::CTRL | Qt::Key_Z,
                                                  Qt::CTRL | Qt::Key_Y)
                                  << "- name,on,on - 2,list true  Undo Duplicate Item";
}

void KeyboardTest::reachesTheRowControlsFromTheKeyboard() {
    QFETCH(QString, row);
    QFETCH(QKeySequence, keys);
    QFETCH(QString, after);
    DocumentWindow w;
    QVERIFY(w.open("<dict><key>name</key><string>x</string><key>on</key><true/>"
                   "<key>list</key><array><string>y</string></array></dict>"));
    QVERIFY(activate(*w));
    const EntryRef e = at(w->rootEntry(), row);
    w->expandAncestorWithItem(e->parent());
    clickRow(*w, e);
    for (int i = 0; i < keys.count(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), keys[i].key(), keys[i].keyboardModifiers());
        w->runPendingDeferredWork();
    }
    views::MyTextField* field = w->focusedTextField();
    const QString edited = !field ? "-" : field->textFieldKind() == 0 ? "key" : "value";
    const bool popup = w->classPopupButton()->view()->isVisible(), menu = w->editMenu()->isVisible();
    auto* context = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QCOMPARE(
        QStringList({edited, keysOf(w->rootEntry()), at(w->rootEntry(), "on")->boolValue() ? "true" : "false",
                     popup     ? "popup"
                     : menu    ? "menu"
                     : context ? "context"
                               : "",
                     w->undoAction()->text()})
            .join(' '),
        after);
    if (popup) w->classPopupButton()->hidePopup();
    w->editMenu()->hide();
    if (context) context->close();
}

QTEST_MAIN(KeyboardTest)
#include "KeyboardTest.moc"
