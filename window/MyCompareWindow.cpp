#include "MyCompareWindow.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <set>

#include "MyWindowController.h"
#include "editing/EditDecisions.h"
#include "model/ValueText.h"
#include "platform/qt/UndoManager.h"

namespace window {

using model::DiffKind;
using Node = MyCompareWindow::Node;

// One side's view of the shared aligned rows: the sign, then the key, type and value columns of its entries.
class CompareSideModel : public QAbstractItemModel {
public:
    enum Column { SignColumn, KeyColumn, TypeColumn, ValueColumn };

    CompareSideModel(MyCompareWindow* w, bool right) : QAbstractItemModel(w), w_(w), right_(right) {}

    QModelIndex indexOf(Node* n, int column = 0) const {
        return n ? createIndex(n->index, column, n) : QModelIndex();
    }
    static Node* nodeOf(const QModelIndex& i) { return static_cast<Node*>(i.internalPointer()); }
    void resetWith(const std::function<void()>& change) {
        beginResetModel();
        change();
        endResetModel();
    }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override {
        if (!parent.isValid())
            return row == 0 && w_->rootNode() ? createIndex(0, column, w_->rootNode()) : QModelIndex();
        const auto& c = w_->childrenOf(nodeOf(parent));
        return row >= 0 && size_t(row) < c.size() ? createIndex(row, column, c[size_t(row)].get())
                                                  : QModelIndex();
    }
    QModelIndex parent(const QModelIndex& child) const override {
        Node* n = child.isValid() ? nodeOf(child) : nullptr;
        return n && n->parent ? createIndex(n->parent->index, 0, n->parent) : QModelIndex();
    }
    int rowCount(const QModelIndex& parent = {}) const override {
        if (!parent.isValid()) return w_->rootNode() ? 1 : 0;
        return parent.column() == 0 ? int(w_->childrenOf(nodeOf(parent)).size()) : 0;
    }
    bool hasChildren(const QModelIndex& parent = {}) const override {
        return !parent.isValid() ? rowCount() > 0 : parent.column() == 0 && w_->hasChildRows(nodeOf(parent));
    }
    int columnCount(const QModelIndex& = {}) const override { return 4; }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
        const char* titles[] = {"", "Key", "Type", "Value"};
        return section ? MyCompareWindow::tr(titles[section]) : QString();
    }
    QVariant data(const QModelIndex& index, int role) const override {
        const model::ComparedRow& r = nodeOf(index)->row;
        const bool shown = right_ ? r.newShown : r.oldShown;
        const model::EntryRef& e = right_ ? r.difference.newEntry : r.difference.oldEntry;
        if (role == Qt::BackgroundRole && (r.differs || r.tinted)) return tint(r.difference.kind);
        if (role == Qt::ToolTipRole && r.differs)
            return QString::fromStdString(model::differenceText(r.difference));
        if (role != Qt::DisplayRole) return {};
        if (index.column() == SignColumn) return r.differs ? sign(r.difference.kind) : QString();
        if (!shown) return {};
        if (index.column() == KeyColumn)
            return QString::fromStdString(
                model::withVisibleMarks(model::keyLabel(*e, MyCompareWindow::tr("Root").toStdString(),
                                                        MyCompareWindow::tr("Item %1").toStdString())));
        if (index.column() == TypeColumn)
            return MyCompareWindow::tr(std::string(model::typeName(e->type())).c_str());
        QString value = QString::fromStdString(model::withVisibleMarks(model::valueText(*e)));
        return value.size() > 300 ? value.left(300) + QChar(0x2026) : value;
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

    static QString sign(DiffKind kind) {
        switch (kind) {
        case DiffKind::Added:
            return QStringLiteral("+");
        case DiffKind::Removed:
            return QStringLiteral("\u2212");
        case DiffKind::Moved:
            return QStringLiteral("\u21b7");
        default:
            return QStringLiteral("~");
        }
    }
    // The palette's base mixed with a hue for each kind, so that a dark palette gets dark tints that keep
    // its text readable.
    QColor tint(DiffKind kind) const {
        QColor hue = kind == DiffKind::Added     ? QColor(46, 160, 67)
                     : kind == DiffKind::Removed ? QColor(218, 54, 51)
                     : kind == DiffKind::Moved   ? QColor(130, 80, 223)
                                                 : QColor(210, 153, 34);
        const QColor base = w_->palette().color(QPalette::Base);
        const double a = 0.3;
        return QColor::fromRgbF(float(base.redF() * (1 - a) + hue.redF() * a),
                                float(base.greenF() * (1 - a) + hue.greenF() * a),
                                float(base.blueF() * (1 - a) + hue.blueF() * a));
    }

private:
    MyCompareWindow* w_;
    bool right_;
};

model::EntryRef MyCompareWindow::Side::root() const {
    if (window && !window->isLoading() && window->rootEntry()) return window->rootEntry();
    return own ? own->root() : model::EntryRef();
}

MyCompareWindow::MyCompareWindow(const QString& leftPath, const QString& rightPath, Windows windows,
                                 MyWindowController* leftWindow, QWidget* parent)
    : QWidget(parent, Qt::Window), _windows(std::move(windows)) {
    _sides[0].path = leftPath;
    _sides[0].window = leftWindow;
    _sides[1].path = rightPath;
    for (Side& side : _sides) {
        if (!side.window && _windows.find) side.window = _windows.find(side.path);
        if (side.window)
            watch(side);
        else
            load(side);
    }

    auto* top = new QHBoxLayout;
    _count = new QLabel(this);
    top->addWidget(_count, 1);
    auto button = [&](const QString& title, const QKeySequence& keys, auto slot) {
        auto* b = new QPushButton(title, this);
        auto* a = new QAction(title, this);
        a->setShortcut(keys);
        addAction(a);
        connect(a, &QAction::triggered, this, slot);
        connect(b, &QPushButton::clicked, a, &QAction::trigger);
        top->addWidget(b);
        return b;
    };
    button(tr("Previous Difference"), QKeySequence(Qt::SHIFT | Qt::Key_F8),
           [this] { nextDifference(false); });
    button(tr("Next Difference"), QKeySequence(Qt::Key_F8), [this] { nextDifference(true); });
    _copyLeft = button(tr("Copy to Left"), QKeySequence(), [this] { copyToSide(false); });
    _copyRight = button(tr("Copy to Right"), QKeySequence(), [this] { copyToSide(true); });

    auto* panes = new QHBoxLayout;
    for (int right = 0; right < 2; ++right) {
        auto* column = new QVBoxLayout;
        auto* head = new QHBoxLayout;
        _titles[right] = new QLabel(this);
        _openToEdit[right] = new QPushButton(tr("Open to Edit"), this);
        connect(_openToEdit[right], &QPushButton::clicked, this, [this, right] { openToEdit(right); });
        head->addWidget(_titles[right], 1);
        head->addWidget(_openToEdit[right]);
        column->addLayout(head);
        auto* view = new QTreeView(this);
        auto* model = new CompareSideModel(this, right);
        view->setModel(model);
        view->setUniformRowHeights(true);
        view->setTreePosition(CompareSideModel::KeyColumn);
        view->setSelectionMode(QAbstractItemView::SingleSelection);
        view->header()->resizeSection(CompareSideModel::SignColumn,
                                      view->fontMetrics().horizontalAdvance(QStringLiteral("MM")));
        view->header()->resizeSection(CompareSideModel::KeyColumn, 220);
        view->header()->resizeSection(CompareSideModel::TypeColumn, 90);
        column->addWidget(view);
        panes->addLayout(column);
        (right ? _rightView : _leftView) = view;
        (right ? _rightModel : _leftModel) = model;
    }
    // Expansion, scrolling and the current row are kept in step.
    for (int right = 0; right < 2; ++right) {
        QTreeView *from = right ? _rightView : _leftView, *to = right ? _leftView : _rightView;
        CompareSideModel* toModel = right ? _leftModel : _rightModel;
        connect(from, &QTreeView::expanded, to, [to, toModel](const QModelIndex& i) {
            to->expand(toModel->indexOf(CompareSideModel::nodeOf(i)));
        });
        connect(from, &QTreeView::collapsed, to, [to, toModel](const QModelIndex& i) {
            to->collapse(toModel->indexOf(CompareSideModel::nodeOf(i)));
        });
        connect(from->verticalScrollBar(), &QScrollBar::valueChanged, to->verticalScrollBar(),
                &QScrollBar::setValue);
        connect(from->selectionModel(), &QItemSelectionModel::currentChanged, this,
                [this, to, toModel](const QModelIndex& i) {
                    const QModelIndex there = toModel->indexOf(CompareSideModel::nodeOf(i), i.column());
                    if (i.isValid() && to->currentIndex() != there) to->setCurrentIndex(there);
                    updateActions();
                });
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(panes, 1);
    setWindowTitle(
        tr("Compare \u201c%1\u201d and \u201c%2\u201d").arg(sideTitle(_sides[0]), sideTitle(_sides[1])));
    resize(1200, 700);
    recompare();
}

MyCompareWindow::~MyCompareWindow() = default;

QString MyCompareWindow::sideTitle(const Side& side) const {
    if (side.window) return side.window->fileName();
    return QFileInfo(side.path).fileName();
}

bool MyCompareWindow::load(Side& side) {
    side.own = std::make_unique<model::PlistDocument>(QFile::encodeName(side.path).toStdString());
    const model::LoadOutcome outcome = side.own->openPlistFile();
    if (outcome.ok) return true;
    side.own.reset();
    _failure = tr(std::string(model::kLoadFailureMessage).c_str()) + QLatin1Char('\n') + side.path +
               QStringLiteral(": ") + QString::fromStdString(outcome.reason);
    return false;
}

// Any change of a document shown here makes the rows stale at once; they are made again right after.
void MyCompareWindow::watch(Side& side) {
    MyWindowController* w = side.window;
    auto changed = [this] {
        _stale = true;
        QTimer::singleShot(0, this, [this] {
            if (_stale) recompare();
        });
    };
    connect(w->windowWillReturnUndoManager(), &platform::UndoManager::changed, this, changed);
    connect(w, &MyWindowController::documentLoaded, this, changed);
    connect(w, &QObject::destroyed, this, [this, &side] {
        // The side keeps the tree the window had, read-only.
        if (!side.own) side.own = std::make_unique<model::PlistDocument>();
        if (_root)
            side.own->setRoot(&side == &_sides[0] ? _root->row.difference.oldEntry
                                                  : _root->row.difference.newEntry);
        updateActions();
    });
}

const std::vector<std::unique_ptr<Node>>& MyCompareWindow::childrenOf(Node* node) {
    if (!node->loaded && !_stale && _comparison) {
        std::vector<model::ComparedRow> rows = _comparison->children(node->row);
        node->children.reserve(rows.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            auto n = std::make_unique<Node>();
            n->row = std::move(rows[i]);
            n->parent = node;
            n->index = int(i);
            node->children.push_back(std::move(n));
        }
        node->loaded = true;
    }
    return node->children;
}

bool MyCompareWindow::hasChildRows(const Node* node) const {
    if (node->loaded) return !node->children.empty();
    const model::ComparedRow& r = node->row;
    const model::Difference& d = r.difference;
    if (!r.oldShown || !r.newShown) return (r.oldShown ? d.oldEntry : d.newEntry)->childCount() > 0;
    return d.oldEntry->isContainer() && d.oldEntry->type() == d.newEntry->type() &&
           d.oldEntry->childCount() + d.newEntry->childCount() > 0;
}

Node* MyCompareWindow::currentNode() const {
    const QModelIndex i = _leftView->currentIndex();
    return i.isValid() ? CompareSideModel::nodeOf(i) : nullptr;
}

void MyCompareWindow::recompare() {
    using Key = std::pair<const model::Entry*, const model::Entry*>;
    auto keyOf = [](const Node* n) {
        return Key(n->row.oldShown ? n->row.difference.oldEntry.get() : nullptr,
                   n->row.newShown ? n->row.difference.newEntry.get() : nullptr);
    };
    std::set<Key> expanded;
    std::function<void(Node*)> remember = [&](Node* n) {
        if (!_leftView->isExpanded(_leftModel->indexOf(n))) return;
        expanded.insert(keyOf(n));
        for (auto& c : n->children)
            remember(c.get());
    };
    if (_root)
        remember(_root.get());
    else
        expanded.insert(Key(_sides[0].root().get(), _sides[1].root().get())); // the root opens expanded
    const Key current = currentNode() ? keyOf(currentNode()) : Key();

    const model::EntryRef left = _sides[0].root(), right = _sides[1].root();
    _leftModel->resetWith([&] {
        _rightModel->resetWith([&] {
            _root.reset();
            _comparison.reset();
            if (left && right) {
                _comparison = std::make_unique<model::TreeComparison>(left, right);
                _root = std::make_unique<Node>();
                _root->row = _comparison->root();
            }
            _stale = false;
        });
    });
    Node* again = nullptr;
    std::function<void(Node*)> restore = [&](Node* n) {
        if (keyOf(n) == current) again = n;
        if (!expanded.count(keyOf(n))) return;
        _leftView->expand(_leftModel->indexOf(n));
        for (auto& c : childrenOf(n))
            restore(c.get());
    };
    if (_root) restore(_root.get());
    if (again) select(again);
    const size_t n = differenceCount();
    _count->setText(!_root ? _failure : n == 1 ? tr("1 difference") : tr("%1 differences").arg(n));
    updateActions();
}

void MyCompareWindow::select(Node* node) {
    for (Node* p = node->parent; p; p = p->parent)
        _leftView->expand(_leftModel->indexOf(p));
    _leftView->setCurrentIndex(_leftModel->indexOf(node, CompareSideModel::KeyColumn));
    _leftView->scrollTo(_leftModel->indexOf(node), QAbstractItemView::EnsureVisible);
}

void MyCompareWindow::nextDifference(bool forward) {
    if (!_root) return;
    Node* current = currentNode();
    std::set<Node*> path;
    for (Node* p = current; p; p = p->parent)
        path.insert(p);
    bool passed = current == nullptr;
    Node* found = nullptr;
    // Document order, going down only where differences are or the current row lies.
    std::function<bool(Node*)> visit = [&](Node* n) {
        if (n == current) {
            passed = true;
            if (!forward) return true;
        } else if (n->row.differs) {
            if (forward && passed) {
                found = n;
                return true;
            }
            if (!forward) found = n;
        }
        if (n->row.differsBelow || path.count(n))
            for (auto& c : childrenOf(n))
                if (visit(c.get())) return true;
        return false;
    };
    visit(_root.get());
    if (found) select(found);
}

bool MyCompareWindow::canCopyToSide(bool right) const {
    const Node* node = currentNode();
    const MyWindowController* w = _sides[right].window;
    return node && _root && node->row.differs && !_stale && w && !w->isLoading() && !w->isEditingText() &&
           !w->isDisplayingAlart() &&
           _sides[right].root() == (right ? _root->row.difference.newEntry : _root->row.difference.oldEntry);
}

void MyCompareWindow::copyToSide(bool right) {
    if (!canCopyToSide(right)) return;
    using editing::CommandRecord;
    const model::ComparedRow& r = currentNode()->row;
    const model::Difference& d = r.difference;
    const bool targetShown = right ? r.newShown : r.oldShown, sourceShown = right ? r.oldShown : r.newShown;
    const model::EntryRef target = right ? d.newEntry : d.oldEntry, source = right ? d.oldEntry : d.newEntry;
    const model::EntryRef parent = right ? d.newParent : d.oldParent;
    const int64_t index = int64_t(right ? d.newIndex : d.oldIndex);
    editing::CommandBatch batch;
    if (d.kind == DiffKind::Moved) {
        const int64_t to = int64_t(right ? r.newPlace : r.oldPlace);
        if (to != index && to != index + 1) batch = {CommandRecord::moveItem(parent, index, to)};
    } else if (!sourceShown) {
        batch = {CommandRecord::removeItem(parent, index)};
    } else if (!targetShown) {
        batch = {CommandRecord::insertItem(model::copyTree(*source), parent, index)};
    } else if (d.kind == DiffKind::Changed) {
        batch = editing::valueChangeBatch(target, source->value());
    } else if (parent) {
        batch = {CommandRecord::title(tr("Change Type").toStdString()),
                 CommandRecord::removeItem(parent, index),
                 CommandRecord::insertItem(model::copyTree(*source), parent, index)};
    } else {
        batch = editing::rootReplacement(target, model::copyTree(*source), tr("Change Type").toStdString());
    }
    if (!batch.empty()) _sides[right].window->doCommands(batch);
    recompare();
}

void MyCompareWindow::openToEdit(bool right) {
    Side& side = _sides[right];
    if (side.window || !_windows.open || side.path.isEmpty()) return;
    side.window = _windows.open(side.path);
    if (!side.window) return;
    watch(side);
    if (!side.window->isLoading()) recompare();
    updateActions();
}

void MyCompareWindow::updateActions() {
    for (int right = 0; right < 2; ++right) {
        const Side& side = _sides[right];
        _openToEdit[right]->setVisible(!side.window && !side.path.isEmpty() && _windows.open);
        _titles[right]->setText(side.window ? sideTitle(side) : tr("%1 (read-only)").arg(sideTitle(side)));
    }
    _copyLeft->setEnabled(canCopyToSide(false));
    _copyRight->setEnabled(canCopyToSide(true));
}

} // namespace window
