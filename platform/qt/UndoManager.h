// An undo and redo stack of named steps: the opposite step is registered while undoing or redoing, and every
// change posts a notification that the window's edited mark follows.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <vector>

namespace platform {

class UndoManager : public QObject {
    Q_OBJECT
public:
    // Posted with the undo manager as object.
    static inline const QString kDidCloseUndoGroup =
        QStringLiteral("NSUndoManagerDidCloseUndoGroupNotification");
    static inline const QString kDidUndoChange = QStringLiteral("NSUndoManagerDidUndoChangeNotification");
    static inline const QString kDidRedoChange = QStringLiteral("NSUndoManagerDidRedoChangeNotification");

    using Action = std::function<void()>;

    explicit UndoManager(QObject* parent = nullptr) : QObject(parent) {}

    // Registers one step. Outside undo and redo it becomes the next undo step, the redo steps are dropped and
    // the group-closed notification is posted. While undoing it becomes the redo step of the step being
    // undone, and while redoing its undo step. The action name goes with the step.
    void registerUndo(Action action, const QString& actionName);

    void undo();
    void redo();
    void removeAllActions();

    bool canUndo() const { return !undoStack_.empty(); }
    bool canRedo() const { return !redoStack_.empty(); }
    int undoCount() const { return int(undoStack_.size()); }
    bool isUndoing() const { return undoing_; }
    bool isRedoing() const { return redoing_; }
    QString undoActionName() const { return canUndo() ? undoStack_.back().name : QString(); }
    QString redoActionName() const { return canRedo() ? redoStack_.back().name : QString(); }
    // "Undo Insert Item", or "Undo" without a name.
    QString undoMenuItemTitle() const;
    QString redoMenuItemTitle() const;

signals:
    // Emitted whenever the stacks change, for menus that follow them.
    void changed();

private:
    struct Step {
        Action action;
        QString name;
    };
    void replay(std::vector<Step>& stack, bool& flag, const QString& notification);

    std::vector<Step> undoStack_;
    std::vector<Step> redoStack_;
    bool undoing_ = false;
    bool redoing_ = false;
};

} // namespace platform
