#include "UndoManager.h"

#include "NotificationCenter.h"

namespace platform {

void UndoManager::registerUndo(Action action, const QString& actionName) {
    if (undoing_) {
        redoStack_.push_back({std::move(action), actionName});
    } else {
        undoStack_.push_back({std::move(action), actionName});
        if (!redoing_) {
            redoStack_.clear();
            NotificationCenter::defaultCenter().post(kDidCloseUndoGroup, this);
        }
    }
    emit changed();
}

void UndoManager::undo() {
    replay(undoStack_, undoing_, kDidUndoChange);
}

void UndoManager::redo() {
    replay(redoStack_, redoing_, kDidRedoChange);
}

// Runs the top step of a stack with the flag set, so that what it registers goes to the other stack.
void UndoManager::replay(std::vector<Step>& stack, bool& flag, const QString& notification) {
    if (stack.empty() || undoing_ || redoing_) return;
    Step step = std::move(stack.back());
    stack.pop_back();
    flag = true;
    step.action();
    flag = false;
    NotificationCenter::defaultCenter().post(notification, this);
    emit changed();
}

void UndoManager::removeAllActions() {
    undoStack_.clear();
    redoStack_.clear();
    emit changed();
}

QString UndoManager::undoMenuItemTitle() const {
    QString name = undoActionName();
    return name.isEmpty() ? tr("Undo") : tr("Undo %1").arg(tr(name.toUtf8().constData()));
}

QString UndoManager::redoMenuItemTitle() const {
    QString name = redoActionName();
    return name.isEmpty() ? tr("Redo") : tr("Redo %1").arg(tr(name.toUtf8().constData()));
}

} // namespace platform
