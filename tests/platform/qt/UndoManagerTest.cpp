// The undo manager: which stack a step goes to, the notifications it posts, the names of its steps.
#include <QtTest>

#include "platform/qt/NotificationCenter.h"
#include "platform/qt/UndoManager.h"

using platform::Notification;
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
    // Undoes (u) or redoes (r) a step for each letter; tells the value and the menu titles after each.
    QStringList steps(const char* letters) {
        QStringList out;
        for (const char* l = letters; *l; ++l) {
            *l == 'u' ? undo.undo() : undo.redo();
            out << QStringLiteral("%1 %2/%3")
                       .arg(value)
                       .arg(undo.undoMenuItemTitle(), undo.redoMenuItemTitle());
        }
        return out;
    }
};

} // namespace

class UndoManagerTest : public QObject {
    Q_OBJECT
private slots:
    // Redoing registers back into the undo stack and keeps the other redo steps; undoing with nothing left to
    // undo does nothing; a step without a name has the plain title.
    void stepsGoToTheUndoOrTheRedoStackByStateAndNameTheMenuTitles() {
        UndoManager undo;
        Counter c{undo};
        c.set(1, "Insert Item");
        c.set(2, "Replace Key/Value");
        c.set(3, "");
        QCOMPARE(c.steps("uurruuuurrrr"),
                 QStringList({"2 Undo Replace Key/Value/Redo", "1 Undo Insert Item/Redo Replace Key/Value",
                              "2 Undo Replace Key/Value/Redo", "3 Undo/Redo", "2 Undo Replace Key/Value/Redo",
                              "1 Undo Insert Item/Redo Replace Key/Value", "0 Undo/Redo Insert Item",
                              "0 Undo/Redo Insert Item", "1 Undo Insert Item/Redo Replace Key/Value",
                              "2 Undo Replace Key/Value/Redo", "3 Undo/Redo", "3 Undo/Redo"}));
        // A new step drops every redo step.
        c.steps("uu");
        c.set(5, "Five");
        QCOMPARE(c.steps("ur"), QStringList({"1 Undo Insert Item/Redo Five", "5 Undo Five/Redo"}));
        QCOMPARE(c.seen, QStringLiteral("---UURRUUURRRUU-UR"));
        QVERIFY(!undo.isUndoing() && !undo.isRedoing());
        // A step that asks for another undo while it runs does not get it.
        undo.registerUndo([&] { undo.undo(); }, "Again");
        QCOMPARE(c.steps("u"), QStringList({"5 Undo Five/Redo"}));
    }

    // The steps registered while undoing and redoing close no group of their own.
    void notificationsTellWhatHappenedWithTheManagerAsObject() {
        UndoManager undo, other;
        Counter c{undo}, d{other};
        QObject observer;
        QStringList posted;
        for (const QString& name :
             {UndoManager::kDidCloseUndoGroup, UndoManager::kDidUndoChange, UndoManager::kDidRedoChange})
            platform::NotificationCenter::defaultCenter().addObserver(
                &observer, name,
                [&](const Notification& n) { posted << (n.object == &undo ? "" : "other ") + n.name; });
        c.set(1, "One");
        d.set(1, "Elsewhere");
        other.undo();
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
};

QTEST_MAIN(UndoManagerTest)
#include "UndoManagerTest.moc"
