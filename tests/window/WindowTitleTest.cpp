// A window's title and edited mark follow its own undo history, through the Edit menu's actions and their
// shortcuts, and every window keeps a history of its own; untitled windows are numbered.
#include <QAction>
#include <QWindow>
#include <QtTest>

#include "tests/window/WindowTestSupport.h"

using namespace vantrel::test;

namespace {

const QString kUntitled = QStringLiteral("Untitled.plist"),
              kEdited = QStringLiteral("Untitled.plist \u2014 Edited (modified)"),
              kUntitled2 = QStringLiteral("Untitled 2.plist"),
              kEdited2 = QStringLiteral("Untitled 2.plist \u2014 Edited (modified)");

// The title as the desktop shows it.
QString shownTitle(const MyWindowController& w) {
    return w.windowHandle()->title();
}

// Edits a window and tells the title it shows after each step, with "(modified)" while it carries the flag.
struct Steps {
    MyWindowController& w;
    QString state() const { return shownTitle(w) + (w.isWindowModified() ? " (modified)" : ""); }
    QString append(const std::string& text) {
        const EntryRef root = w.rootEntry();
        w.doCommands({CommandRecord::insertItem(Entry::make("", EntryType::String, text), root,
                                                int64_t(root->childCount()))});
        return state();
    }
    QString undo() { return after(w.undoAction()); }
    QString redo() { return after(w.redoAction()); }
    QString after(QAction* action) {
        action->trigger();
        return state();
    }
    QString key(QKeySequence::StandardKey k) {
        QTest::keySequence(&w, k);
        return state();
    }
};

} // namespace

class WindowTitleTest : public QObject {
    Q_OBJECT
private slots:
    // A new change after undoing to the start marks the window again and drops what could be redone.
    void newDocumentIsEditedExactlyWhileItCanUndo() {
        DocumentWindow w;
        QVERIFY(w.openNew());
        QVERIFY(!w->undoAction()->isEnabled() && !w->redoAction()->isEnabled());
        Steps s{*w};
        QCOMPARE(QStringList(
                     {s.state(), s.append("one"), s.append("two"), s.undo(), s.undo(), s.redo(), s.undo()}),
                 QStringList({kUntitled, kEdited, kEdited, kEdited, kUntitled, kEdited, kUntitled}));
        QVERIFY(!w->undoAction()->isEnabled());
        QCOMPARE(valuesOf(w->rootEntry()), QString());
        QCOMPARE(s.append("three"), kEdited);
        QVERIFY(!w->redoAction()->isEnabled());
        QCOMPARE(w->redoAction()->text(), QStringLiteral("Redo"));
    }

    // The new history marks and unmarks the window as the old one did, also once the old manager is gone. A
    // "[*]" in the file name is part of the name.
    void resetTitleAndUndoStartsAnEmptyHistory() {
        DocumentWindow w;
        QVERIFY(w.open(QStringLiteral("<array/>"), QStringLiteral("Prefs[*].plist")));
        const QString clean = QStringLiteral("Prefs[*].plist"),
                      edited = QStringLiteral("Prefs[*].plist \u2014 Edited (modified)");
        Steps s{*w};
        QCOMPARE(QStringList({s.state(), s.append("one"), s.append("two"), s.undo()}),
                 QStringList({clean, edited, edited, edited}));
        w->resetTitleAndUndo();
        QCOMPARE(s.state(), clean);
        QVERIFY(!undoManagerOf(*w).canUndo() && !undoManagerOf(*w).canRedo());
        QVERIFY(!w->undoAction()->isEnabled() && !w->redoAction()->isEnabled());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(s.append("three"), edited);
        QCOMPARE(w->undoAction()->text(), QStringLiteral("Undo Insert Item"));
        QCOMPARE(s.undo(), clean);
        QCOMPARE(valuesOf(w->rootEntry()), QStringLiteral("one"));
    }

    // The shortcuts act on the active window only.
    void twoWindowsKeepTheirOwnTitlesAndHistories() {
        DocumentWindow first, second;
        QVERIFY(first.openNew() && second.openNew());
        Steps one{*first}, two{*second};
        QCOMPARE(QStringList({one.append("1a"), one.append("1b"), two.state(), two.append("2a"), one.undo(),
                              one.undo(), two.state()}),
                 QStringList({kEdited, kEdited, kUntitled2, kEdited2, kEdited, kUntitled, kEdited2}));
        QCOMPARE(second->undoAction()->text(), QStringLiteral("Undo Insert Item"));
        QVERIFY(activate(*second));
        QCOMPARE(two.key(QKeySequence::Undo), kUntitled2);
        QCOMPARE(valuesOf(second->rootEntry()) + "|" + valuesOf(first->rootEntry()), QStringLiteral("|"));
        QCOMPARE(undoManagerOf(*first).redoActionName(), QStringLiteral("Insert Item"));
        QVERIFY(activate(*first));
        QCOMPARE(QStringList({one.key(QKeySequence::Redo), one.key(QKeySequence::Redo), two.state()}),
                 QStringList({kEdited, kEdited, kUntitled2}));
        QCOMPARE(valuesOf(first->rootEntry()), QStringLiteral("1a,1b"));
        one.key(QKeySequence::Undo);
        QCOMPARE(valuesOf(first->rootEntry()), QStringLiteral("1a"));
        QVERIFY(undoManagerOf(*second).canRedo());
    }

    // A new window takes the lowest number that no open window holds: closing a window, or giving it a
    // file, frees its number.
    void untitledWindowsTakeTheLowestFreeNumber() {
        QTemporaryDir dir;
        std::vector<std::unique_ptr<MyWindowController>> w;
        QStringList titles;
        auto open = [&](int count) {
            for (; count > 0; --count) {
                w.push_back(std::make_unique<MyWindowController>());
                w.back()->windowDidLoad();
                w.back()->show();
                titles << shownTitle(*w.back());
            }
        };
        open(3);
        w[1]->close();
        open(1);
        w[0].reset();
        open(1);
        w[2]->setURL(dir.filePath(QStringLiteral("Saved.plist")));
        w[2]->resetTitleAndUndo();
        open(2);
        QCOMPARE(titles, QStringList({kUntitled, kUntitled2, "Untitled 3.plist", kUntitled2, kUntitled,
                                      "Untitled 3.plist", "Untitled 4.plist"}));
    }
};

QTEST_MAIN(WindowTitleTest)
#include "WindowTitleTest.moc"
