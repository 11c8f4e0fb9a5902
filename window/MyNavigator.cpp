#include "MyNavigator.h"

#include <QAction>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

#include "MyGoToBar.h"
#include "MyWindowController.h"
#include "model/KeyPathLookup.h"
#include "platform/qt/Alert.h"
#include "views/MyOutlineView.h"

namespace window {

using model::Entry;
using model::EntryRef;

MyNavigator::MyNavigator(MyWindowController* window) : QObject(window), _window(window) {
    _goToBar = new MyGoToBar(window->centralWidget(), window->outlineView(),
                             [this](const QString& path) { return goToKeyPath(path); });
    window->centralWidget()->layout()->addWidget(_goToBar);
    connect(window, &MyWindowController::stateChanged, this, [this] { updateActions(); });
}

void MyNavigator::buildMenus(QMenu* edit) {
    edit->addSeparator();
    edit->addAction(tr("Go to Key Path\u2026"), this,
                    [this] {
                        if (commitEdit()) _goToBar->showBar();
                    })
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    edit->addAction(tr("Copy Key Path"), this,
                    [this] {
                        if (_window->currentItem() && !_window->isEditingText()) _window->copyKeyPath();
                    })
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    QMenu* view = _window->viewMenu();
    view->addAction(tr("Expand All"), this, [this] { expandAll(); })
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Right));
    view->addAction(tr("Collapse All"), this, [this] { collapseAll(); })
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Left));
    view->addSeparator();
    _back = view->addAction(tr("Back"), this, [this] { back(); });
    _back->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
    _forward = view->addAction(tr("Forward"), this, [this] { forward(); });
    _forward->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
    updateActions();
}

bool MyNavigator::commitEdit() {
    if (_window->isDisplayingAlart()) return false;
    return !_window->isEditingText() || _window->updateFocusedTextField();
}

Entry* MyNavigator::selectedBranch() const {
    Entry* e = _window->currentItem().get();
    if (!e) return _window->rootEntry().get();
    return e->isContainer() || !e->parent() ? e : e->parent();
}

void MyNavigator::expandAll() {
    Entry* branch = selectedBranch();
    if (!branch || !branch->isContainer() || !commitEdit()) return;
    size_t rows = 0;
    for (std::vector<const Entry*> open{branch}; !open.empty();) {
        const Entry* x = open.back();
        open.pop_back();
        rows += x->childCount();
        for (const EntryRef& c : x->child())
            if (c->isContainer()) open.push_back(c.get());
    }
    if (rows <= confirmRows) return _window->outlineView()->expandBranch(branch);
    QMessageBox* alert = _window->makeAlertWithMessage(
        tr("Expand all of \u201c%1\u201d?").arg(_window->entryModel()->keyText(branch)), tr("Expand All"),
        tr("Cancel"));
    platform::setInformativeText(alert, tr("It shows %L1 rows.").arg(qulonglong(rows)));
    _window->runAlert(alert, [this, e = EntryRef(branch)](int answer) {
        if (answer == platform::kAlertFirstButtonReturn && isInDocument(e))
            _window->outlineView()->expandBranch(e.get());
    });
}

void MyNavigator::collapseAll() {
    Entry* branch = selectedBranch();
    if (branch && branch->isContainer() && commitEdit()) _window->outlineView()->collapseBranch(branch);
}

QString MyNavigator::goToKeyPath(const QString& path) {
    if (!commitEdit()) return tr("Finish the edit first.");
    const EntryRef root = _window->rootEntry();
    if (!root) return {};
    const QString itemWord = tr("Item %1");
    model::KeyPathLookup found = model::lookUpKeyPath(*root, path.trimmed().toStdString(),
                                                      tr("Root").toStdString(), itemWord.toStdString());
    // Paths copied in another language's words, or in English ones.
    if (!found.found && (tr("Root") != QLatin1String("Root") || itemWord != QLatin1String("Item %1")))
        found = model::lookUpKeyPath(*root, path.trimmed().toStdString());
    if (!found.found)
        return tr("\u201c%1\u201d has no entry \u201c%2\u201d.")
            .arg(QString::fromStdString(model::keyPath(*found.reached)),
                 QString::fromStdString(found.missingPart));
    select(found.found);
    didSelect(EntryRef(found.found));
    return {};
}

void MyNavigator::select(Entry* e) {
    if (Entry* parent = e->parent()) _window->expandAncestorWithItem(parent);
    _window->outlineViewSelectItem(e);
}

bool MyNavigator::isInDocument(const EntryRef& e) const {
    return e && _window->rootEntry() && e->isInTreeOf(_window->rootEntry().get());
}

void MyNavigator::didSelect(const EntryRef& e) {
    if (!e || (!_history.empty() && _history[_at] == e)) return;
    if (!_history.empty()) _history.erase(_history.begin() + std::ptrdiff_t(_at) + 1, _history.end());
    _history.push_back(e);
    if (_history.size() > kHistoryLength) _history.erase(_history.begin());
    _at = _history.size() - 1;
    updateActions();
}

void MyNavigator::step(int direction) {
    if (_history.empty() || !commitEdit()) return;
    // A selection made since by other means (the arrow keys) is a place to come back to as well.
    const EntryRef shown = _window->currentItem();
    if (shown && shown != _history[_at]) didSelect(shown);
    for (size_t i = _at; direction < 0 ? i > 0 : i + 1 < _history.size();) {
        i = direction < 0 ? i - 1 : i + 1;
        if (!isInDocument(_history[i])) continue;
        _at = i;
        select(_history[i].get());
        break;
    }
    updateActions();
}

void MyNavigator::updateActions() {
    if (!_back) return;
    auto any = [&](int direction) {
        for (size_t i = _at; direction < 0 ? i > 0 : i + 1 < _history.size();) {
            i = direction < 0 ? i - 1 : i + 1;
            if (isInDocument(_history[i])) return true;
        }
        return false;
    };
    // From a selection made by other means, Back returns to the last one listed.
    const EntryRef shown = _window->currentItem();
    const bool away = !_history.empty() && shown && shown != _history[_at] && isInDocument(_history[_at]);
    _back->setEnabled(!_history.empty() && (away || any(-1)));
    _forward->setEnabled(!_history.empty() && any(1));
}

} // namespace window
