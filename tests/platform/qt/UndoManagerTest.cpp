// The undo manager: which stack a step goes to, the notifications it posts, the names of its steps.
#include <QtTest>

#include "platform/qt/NotificationCenter.h"
#include "platform/qt/UndoManager.h"

using platform::Notification;
using platform::NotificationCenter;
using platform::UndoManager;

namespace {

// A document of one number that each step changes, registering its opposite the way the window does.
struct Counter {
    UndoManager& undo;
    int value = 0;
    void set(int v, const QString& name) {
        const int old = value;
        value = v;
        undo.registerUndo([this, old, name] { set(old, name); }, name);
    }
};

} // namespace

class UndoManagerTest : public QObject {
    Q_OBJECT
private slots:
    void stepsGoToTheUndoOrTheRedoStackByState() {
        UndoManager undo;
        Counter c{undo};
        c.set(1, "One");
        c.set(2, "Two");
        c.set(3, "Three");
        QVERIFY(!undo.canRedo());
        undo.undo();
        undo.undo();
        QCOMPARE(c.value, 1);
        QCOMPARE(undo.redoActionName(), QStringLiteral("Two"));

        // Redoing registers back into the undo stack and keeps the other redo step.
        undo.redo();
        QCOMPARE(c.value, 2);
        QCOMPARE(undo.undoActionName(), QStringLiteral("Two"));
        QCOMPARE(undo.redoActionName(), QStringLiteral("Three"));
        undo.redo();
        QCOMPARE(c.value, 3);
        QVERIFY(!undo.canRedo());
        for (int expected : {2, 1, 0, 0}) {
            undo.undo(); // the last one finds nothing to undo
            QCOMPARE(c.value, expected);
        }
        QVERIFY(!undo.canUndo());
        for (int expected : {1, 2, 3}) {
            undo.redo();
            QCOMPARE(c.value, expected);
        }

        // A new step drops every redo step.
        undo.undo();
        undo.undo();
        c.set(5, "Five");
        QVERIFY(!undo.canRedo());
        undo.undo();
        QCOMPARE(c.value, 1);
    }

    void notificationsTellWhatHappenedWithTheManagerAsObject() {
        UndoManager undo, other;
        Counter c{undo}, d{other};
        QObject observer;
        QStringList posted;
        for (const QString& name :
             {UndoManager::kDidCloseUndoGroup, UndoManager::kDidUndoChange, UndoManager::kDidRedoChange})
            NotificationCenter::defaultCenter().addObserver(&observer, name, [&](const Notification& n) {
                posted << (n.object == &undo ? "" : "other ") +
                              QString(n.name).remove("NSUndoManager").remove("Notification");
            });
        QCOMPARE(UndoManager::kDidCloseUndoGroup,
                 QStringLiteral("NSUndoManagerDidCloseUndoGroupNotification"));
        QCOMPARE(UndoManager::kDidUndoChange, QStringLiteral("NSUndoManagerDidUndoChangeNotification"));
        QCOMPARE(UndoManager::kDidRedoChange, QStringLiteral("NSUndoManagerDidRedoChangeNotification"));

        c.set(1, "One");
        d.set(1, "Elsewhere");
        other.undo();
        // The steps registered while undoing and redoing close no group of their own.
        undo.undo();
        undo.redo();
        undo.removeAllActions();
        undo.undo();
        undo.redo();
        QCOMPARE(posted, QStringList({"DidCloseUndoGroup", "other DidCloseUndoGroup", "other DidUndoChange",
                                      "DidUndoChange", "DidRedoChange"}));
    }

    void undoingAndRedoingAreTrueOnlyInsideTheStep() {
        UndoManager undo;
        QStringList seen;
        auto state = [&] { return QString(undo.isUndoing() ? "U" : "-") + (undo.isRedoing() ? "R" : "-"); };
        std::function<void()> step = [&] {
            seen << state();
            undo.registerUndo(step, "Step");
        };
        undo.registerUndo(step, "Step");
        seen << state();
        undo.undo();
        seen << state();
        undo.redo();
        seen << state();
        QCOMPARE(seen, QStringList({"--", "U-", "--", "-R", "--"}));
    }

    void menuTitlesNameTheNextStep() {
        UndoManager undo;
        QCOMPARE(undo.undoMenuItemTitle(), QStringLiteral("Undo"));
        QCOMPARE(undo.redoMenuItemTitle(), QStringLiteral("Redo"));
        Counter c{undo};
        c.set(1, "Insert Item");
        c.set(2, "Replace Key/Value");
        c.set(3, "");
        QCOMPARE(undo.undoMenuItemTitle(), QStringLiteral("Undo"));
        undo.undo();
        QCOMPARE(undo.undoMenuItemTitle(), QStringLiteral("Undo Replace Key/Value"));
        QCOMPARE(undo.redoMenuItemTitle(), QStringLiteral("Redo"));
        undo.undo();
        QCOMPARE(undo.undoMenuItemTitle(), QStringLiteral("Undo Insert Item"));
        QCOMPARE(undo.redoMenuItemTitle(), QStringLiteral("Redo Replace Key/Value"));
        undo.undo();
        QCOMPARE(undo.redoActionName(), QStringLiteral("Insert Item"));
        undo.redo();
        undo.redo();
        QCOMPARE(undo.undoActionName(), QStringLiteral("Replace Key/Value"));
    }
};

QTEST_MAIN(UndoManagerTest)
#include "UndoManagerTest.moc"
