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
    if (undoStack_.empty() || undoing_ || redoing_) return;
    Step step = std::move(undoStack_.back());
    undoStack_.pop_back();
    undoing_ = true;
    step.action();
    undoing_ = false;
    NotificationCenter::defaultCenter().post(kDidUndoChange, this);
    emit changed();
}

void UndoManager::redo() {
    if (redoStack_.empty() || undoing_ || redoing_) return;
    Step step = std::move(redoStack_.back());
    redoStack_.pop_back();
    redoing_ = true;
    step.action();
    redoing_ = false;
    NotificationCenter::defaultCenter().post(kDidRedoChange, this);
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
