// A window's title and edited mark follow its own undo history, through the Edit menu's actions and their
// shortcuts, and every window keeps a history of its own.
#include <QAction>
#include <QtTest>

#include "WindowTestSupport.h"

using namespace vantrel::test;

namespace {

const QString kUntitled = QStringLiteral("Untitled.plist"),
              kEdited = QStringLiteral("Untitled.plist \u2014 Edited");

void append(MyWindowController& w, const std::string& text) {
    const EntryRef root = w.rootEntry();
    w.doCommands({CommandRecord::insertItem(Entry::make("", EntryType::String, text), root,
                                            int64_t(root->childCount()))});
}

// The title shown, and "(modified)" after it while the window carries the modified mark.
QString titleState(const MyWindowController& w) {
    return shownTitle(w) + (w.isWindowModified() ? QStringLiteral(" (modified)") : QString());
}
const QString kEditedState = kEdited + QStringLiteral(" (modified)");

bool activate(MyWindowController& w) {
    w.activateWindow();
    return QTest::qWaitForWindowActive(&w);
}

} // namespace

class WindowTitleTest : public QObject {
    Q_OBJECT
private slots:
    void newDocumentIsEditedExactlyWhileItCanUndo() {
        DocumentWindow w;
        QVERIFY(w.openNew());
        QCOMPARE(titleState(*w), kUntitled);
        QVERIFY(!w->undoAction()->isEnabled());
        QVERIFY(!w->redoAction()->isEnabled());

        append(*w, "one");
        QCOMPARE(titleState(*w), kEditedState);
        append(*w, "two");
        w->undoAction()->trigger();
        QCOMPARE(titleState(*w), kEditedState);
        w->undoAction()->trigger();
        QCOMPARE(titleState(*w), kUntitled);
        QCOMPARE(stringsOf(w->rootEntry()), QStringList());
        QVERIFY(!w->undoAction()->isEnabled());
        w->redoAction()->trigger();
        QCOMPARE(titleState(*w), kEditedState);
        w->undoAction()->trigger();
        QCOMPARE(titleState(*w), kUntitled);

        // A new change after undoing to the start marks the window again and drops what could be redone.
        append(*w, "three");
        QCOMPARE(titleState(*w), kEditedState);
        QVERIFY(!w->redoAction()->isEnabled());
        QCOMPARE(w->redoAction()->text(), QStringLiteral("Redo"));
    }

    void resetTitleAndUndoStartsAnEmptyHistory() {
        DocumentWindow w;
        QVERIFY(w.open(QStringLiteral("<array/>"), QStringLiteral("Preferences.plist")));
        QCOMPARE(titleState(*w), QStringLiteral("Preferences.plist"));
        append(*w, "one");
        append(*w, "two");
        w->undoAction()->trigger();
        QCOMPARE(titleState(*w), QStringLiteral("Preferences.plist \u2014 Edited (modified)"));

        w->resetTitleAndUndo();
        QCOMPARE(titleState(*w), QStringLiteral("Preferences.plist"));
        QVERIFY(!undoManagerOf(*w).canUndo());
        QVERIFY(!undoManagerOf(*w).canRedo());
        QVERIFY(!w->undoAction()->isEnabled());
        QVERIFY(!w->redoAction()->isEnabled());
        QCOMPARE(stringsOf(w->rootEntry()), QStringList({"one"}));

        // The new history marks and unmarks the window as the old one did, also once the old manager is gone.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        append(*w, "three");
        QCOMPARE(titleState(*w), QStringLiteral("Preferences.plist \u2014 Edited (modified)"));
        QCOMPARE(w->undoAction()->text(), QStringLiteral("Undo Insert Item"));
        w->undoAction()->trigger();
        QCOMPARE(titleState(*w), QStringLiteral("Preferences.plist"));
        QCOMPARE(stringsOf(w->rootEntry()), QStringList({"one"}));
    }

    void twoWindowsKeepTheirOwnTitlesAndHistories() {
        DocumentWindow first, second;
        QVERIFY(first.openNew());
        QVERIFY(second.openNew());
        append(*first, "1a");
        append(*first, "1b");
        QCOMPARE(titleState(*first), kEditedState);
        QCOMPARE(titleState(*second), kUntitled);

        append(*second, "2a");
        first->undoAction()->trigger();
        first->undoAction()->trigger();
        QCOMPARE(titleState(*first), kUntitled);
        QCOMPARE(titleState(*second), kEditedState);
        QCOMPARE(stringsOf(second->rootEntry()), QStringList({"2a"}));
        QCOMPARE(second->undoAction()->text(), QStringLiteral("Undo Insert Item"));

        // The shortcuts act on the active window only.
        QVERIFY(activate(*second));
        QTest::keySequence(&*second, QKeySequence::Undo);
        QCOMPARE(titleState(*second), kUntitled);
        QCOMPARE(stringsOf(second->rootEntry()), QStringList());
        QCOMPARE(stringsOf(first->rootEntry()), QStringList());
        QCOMPARE(undoManagerOf(*first).redoActionName(), QStringLiteral("Insert Item"));

        QVERIFY(activate(*first));
        QTest::keySequence(&*first, QKeySequence::Redo);
        QTest::keySequence(&*first, QKeySequence::Redo);
        QCOMPARE(stringsOf(first->rootEntry()), QStringList({"1a", "1b"}));
        QCOMPARE(titleState(*first), kEditedState);
        QCOMPARE(titleState(*second), kUntitled);
        QTest::keySequence(&*first, QKeySequence::Undo);
        QCOMPARE(stringsOf(first->rootEntry()), QStringList({"1a"}));
        QVERIFY(undoManagerOf(*second).canRedo());
    }
};

QTEST_MAIN(WindowTitleTest)
#include "WindowTitleTest.moc"
