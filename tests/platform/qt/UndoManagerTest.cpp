// The undo manager: which stack a step goes to, the notifications it posts, the names of its steps.
#include <QtTest>

#include "platform/qt/NotificationCenter.h"
#include "platform/qt/UndoManager.h"

using platform::Notification;
using platform::NotificationCenter;
using platform::UndoManager;

namespace {

// A document of one number that each step changes, registering its opposite the way the window does.
// Each change notes whether the manager was undoing (U), redoing (R) or neither (-) when it came.
struct Counter {
    UndoManager& undo;
    int value = 0;
    QString seen = {};
    void set(int v, const QString& name) {
        const int old = value;
        value = v;
        seen += undo.isUndoing() ? (undo.isRedoing() ? "?" : "U") : (undo.isRedoing() ? "R" : "-");
        undo.registerUndo([this, old, name] { set(old, name); }, name);
    }
    // Undoes or redoes one step and tells the value and the names of the next undo and redo steps.
    QString step(bool isUndo) {
        isUndo ? undo.undo() : undo.redo();
        return QStringLiteral("%1 %2/%3").arg(value).arg(undo.undoActionName(), undo.redoActionName());
    }
};

} // namespace

class UndoManagerTest : public QObject {
    Q_OBJECT
private slots:
    void stepsGoToTheUndoOrTheRedoStackByStateAndKnowWhichTheyAre() {
        UndoManager undo;
        Counter c{undo};
        c.set(1, "One");
        c.set(2, "Two");
        c.set(3, "Three");
        // Redoing registers back into the undo stack and keeps the other redo steps; undoing with nothing
        // left to undo does nothing.
        const bool U = true, R = false;
        QCOMPARE(
            QStringList({c.step(U), c.step(U), c.step(R), c.step(R), c.step(U), c.step(U), c.step(U),
                         c.step(U), c.step(R), c.step(R), c.step(R), c.step(R)}),
            QStringList({"2 Two/Three", "1 One/Two", "2 Two/Three", "3 Three/", "2 Two/Three", "1 One/Two",
                         "0 /One", "0 /One", "1 One/Two", "2 Two/Three", "3 Three/", "3 Three/"}));
        // A new step drops every redo step.
        c.step(U);
        c.step(U);
        c.set(5, "Five");
        QVERIFY(!undo.canRedo());
        QCOMPARE(c.step(U), QStringLiteral("1 One/Five"));
        QCOMPARE(c.seen, QStringLiteral("---UURRUUURRRUU-U"));
        QVERIFY(!undo.isUndoing() && !undo.isRedoing());
    }

    void notificationsTellWhatHappenedWithTheManagerAsObject() {
        UndoManager undo, other;
        Counter c{undo}, d{other};
        QObject observer;
        QStringList posted;
        for (const QString& name :
             {UndoManager::kDidCloseUndoGroup, UndoManager::kDidUndoChange, UndoManager::kDidRedoChange})
            NotificationCenter::defaultCenter().addObserver(&observer, name, [&](const Notification& n) {
                posted << (n.object == &undo ? "" : "other ") + n.name;
            });
        c.set(1, "One");
        d.set(1, "Elsewhere");
        other.undo();
        // The steps registered while undoing and redoing close no group of their own.
        undo.undo();
        undo.redo();
        undo.removeAllActions();
        undo.undo();
        undo.redo();
        QCOMPARE(posted, QStringList({"NSUndoManagerDidCloseUndoGroupNotification",
                                      "other NSUndoManagerDidCloseUndoGroupNotification",
                                      "other NSUndoManagerDidUndoChangeNotification",
                                      "NSUndoManagerDidUndoChangeNotification",
                                      "NSUndoManagerDidRedoChangeNotification"}));
    }

    void menuTitlesNameTheNextStep() {
        UndoManager undo;
        Counter c{undo};
        auto titles = [&] { return undo.undoMenuItemTitle() + " / " + undo.redoMenuItemTitle(); };
        QCOMPARE(titles(), QStringLiteral("Undo / Redo"));
        c.set(1, "Insert Item");
        c.set(2, "Replace Key/Value");
        c.set(3, "");
        QCOMPARE(titles(), QStringLiteral("Undo / Redo"));
        undo.undo();
        QCOMPARE(titles(), QStringLiteral("Undo Replace Key/Value / Redo"));
        undo.undo();
        QCOMPARE(titles(), QStringLiteral("Undo Insert Item / Redo Replace Key/Value"));
    }
};

QTEST_MAIN(UndoManagerTest)
#include "UndoManagerTest.moc"
