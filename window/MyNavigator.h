// Moving around a document window: Expand All and Collapse All of the selected branch, Go to Key Path, and
// Back and Forward through the entries that clicks, the find bar and Go to Key Path selected.
#pragma once

#include <QObject>
#include <QString>
#include <vector>

#include "model/Entry.h"

class QAction;
class QMenu;

namespace window {

class MyGoToBar;
class MyWindowController;

class MyNavigator : public QObject {
    Q_OBJECT
public:
    explicit MyNavigator(MyWindowController* window);

    // Adds Go to Key Path and Copy Key Path to the Edit menu, and the View menu after it.
    void buildMenus(QMenu* edit);

    // The branch Expand All and Collapse All act on: the selected container, else the selected entry's
    // container, else the root.
    model::Entry* selectedBranch() const;
    // Expands the branch whole; past confirmRows rows shown, after asking.
    void expandAll();
    void collapseAll();
    static inline size_t confirmRows = 100000;

    // Selects the entry at a key path as a click would (an open edit committed first, its containers
    // expanded); otherwise says which part was not found.
    QString goToKeyPath(const QString& path);
    MyGoToBar* goToBar() const { return _goToBar; }

    // A selection to come back to: a click, a match of the find bar, a Go to Key Path.
    void didSelect(const model::EntryRef& e);
    // Selects the entry selected before (or after) the one shown, skipping entries no longer in the document.
    void back() { step(-1); }
    void forward() { step(1); }
    QAction* backAction() const { return _back; }
    QAction* forwardAction() const { return _forward; }

private:
    // Commits an open edit as a click does; false when it stays open or an alert is up.
    bool commitEdit();
    void select(model::Entry* e);
    void step(int direction);
    bool isInDocument(const model::EntryRef& e) const;
    void updateActions();

    MyWindowController* _window;
    MyGoToBar* _goToBar = nullptr;
    QAction* _back = nullptr;
    QAction* _forward = nullptr;
    // The entries to step through, held so that none is freed while listed; _at is the one shown.
    std::vector<model::EntryRef> _history;
    size_t _at = 0;
    static constexpr size_t kHistoryLength = 100;
};

} // namespace window
