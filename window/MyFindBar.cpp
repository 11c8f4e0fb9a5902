#include "MyFindBar.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "MyNavigator.h"
#include "MyWindowController.h"
#include "views/EntryTreeModel.h"
#include "views/MyOutlineView.h"

namespace window {

using editing::EntrySearch;
using editing::SearchAnchor;
using editing::SearchField;
using editing::SearchMatch;
using model::EntryType;

namespace {
// One slice of the search on the event loop: short enough that typing and painting never wait for it.
constexpr qint64 kSliceMs = 8;
constexpr size_t kEntriesPerStep = 2048;
} // namespace

MyFindBar::MyFindBar(MyWindowController* window)
    : QFrame(window), _window(window), _filter(window->outlineView()) {
    setFrameShape(QFrame::StyledPanel);
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(6, 4, 6, 4);
    rows->setSpacing(4);

    auto* findRow = new QHBoxLayout;
    _findField = new QLineEdit(this);
    _findField->setPlaceholderText(tr("Find"));
    _findField->setClearButtonEnabled(true);
    _findField->setMinimumWidth(fontMetrics().averageCharWidth() * 20);
    _previousButton = new QToolButton(this);
    _previousButton->setText(QStringLiteral("\u25b2"));
    _previousButton->setToolTip(tr("Previous Match"));
    _nextButton = new QToolButton(this);
    _nextButton->setText(QStringLiteral("\u25bc"));
    _nextButton->setToolTip(tr("Next Match"));
    _scope = new QComboBox(this);
    _scope->addItems({tr("Keys"), tr("Values"), tr("Both")});
    _scope->setCurrentIndex(2);
    _type = new QComboBox(this);
    _type->addItem(tr("Any Type"));
    for (EntryType t : {EntryType::Array, EntryType::Dictionary, EntryType::Boolean, EntryType::Data,
                        EntryType::Date, EntryType::Number, EntryType::String})
        _type->addItem(QString::fromUtf8(std::string(model::typeName(t)).c_str()), int(t));
    _matchCase = new QCheckBox(tr("Match Case"), this);
    _wholeWords = new QCheckBox(tr("Whole Words"), this);
    _regex = new QCheckBox(tr("Regular Expression"), this);
    _matchingOnly = new QCheckBox(tr("Show matching rows only"), this);
    _count = new QLabel(this);
    auto* close = new QToolButton(this);
    close->setText(QStringLiteral("\u2715"));
    close->setToolTip(tr("Close"));
    close->setAutoRaise(true);
    findRow->addWidget(_findField, 1);
    for (QWidget* w : std::initializer_list<QWidget*>{_previousButton, _nextButton, _scope, _type, _matchCase,
                                                      _wholeWords, _regex, _matchingOnly, _count, close})
        findRow->addWidget(w);
    rows->addLayout(findRow);

    _replaceRow = new QWidget(this);
    auto* replaceRow = new QHBoxLayout(_replaceRow);
    replaceRow->setContentsMargins(0, 0, 0, 0);
    _replaceField = new QLineEdit(_replaceRow);
    _replaceField->setPlaceholderText(tr("Replace with"));
    _replaceButton = new QPushButton(tr("Replace"), _replaceRow);
    _replaceAllButton = new QPushButton(tr("Replace All"), _replaceRow);
    _message = new QLabel(_replaceRow);
    replaceRow->addWidget(_replaceField, 1);
    replaceRow->addWidget(_replaceButton);
    replaceRow->addWidget(_replaceAllButton);
    replaceRow->addWidget(_message);
    rows->addWidget(_replaceRow);
    _replaceRow->hide();

    for (QWidget* w : std::initializer_list<QWidget*>{_previousButton, _nextButton, close, _replaceButton,
                                                      _replaceAllButton})
        w->setFocusPolicy(Qt::NoFocus);
    _findField->installEventFilter(this);
    _replaceField->installEventFilter(this);
    connect(_findField, &QLineEdit::textChanged, this, [this] { searchAsTyped(); });
    for (QCheckBox* b : {_matchCase, _wholeWords, _regex})
        connect(b, &QCheckBox::toggled, this, [this] { searchAsTyped(); });
    for (QComboBox* b : {_scope, _type})
        connect(b, &QComboBox::currentIndexChanged, this, [this] { searchAsTyped(); });
    connect(_matchingOnly, &QCheckBox::toggled, this, [this] { updateFilter(); });
    connect(_previousButton, &QToolButton::clicked, this, [this] { findPrevious(); });
    connect(_nextButton, &QToolButton::clicked, this, [this] { findNext(); });
    connect(close, &QToolButton::clicked, this, [this] { closeBar(); });
    connect(_replaceButton, &QPushButton::clicked, this, [this] { replace(); });
    connect(_replaceAllButton, &QPushButton::clicked, this, [this] { replaceAll(); });
    hide();
}

MyFindBar::~MyFindBar() = default;

void MyFindBar::showFind(bool withReplace) {
    if (withReplace) _replaceRow->show();
    const bool wasHidden = isHidden();
    show();
    _findField->setFocus(Qt::ShortcutFocusReason);
    _findField->selectAll();
    if (wasHidden && !_findField->text().isEmpty()) searchAsTyped();
}

void MyFindBar::closeBar() {
    // The rows hidden would have no way back.
    _matchingOnly->setChecked(false);
    ++_generation;
    clearHighlight();
    _replaceRow->hide();
    hide();
    _window->outlineView()->setFocus(Qt::OtherFocusReason);
}

bool MyFindBar::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QFrame::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape) {
        closeBar();
        return true;
    }
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
        return QFrame::eventFilter(watched, event);
    if (watched == _replaceField)
        replace();
    else if (key->modifiers() & Qt::ShiftModifier)
        findPrevious();
    else
        findNext();
    return true;
}

EntrySearch MyFindBar::currentSearch() const {
    editing::SearchOptions o;
    o.keys = _scope->currentIndex() != 1;
    o.values = _scope->currentIndex() != 0;
    o.matchCase = _matchCase->isChecked();
    o.wholeWords = _wholeWords->isChecked();
    o.regularExpression = _regex->isChecked();
    if (_type->currentIndex() > 0) o.type = EntryType(_type->currentData().toInt());
    return EntrySearch(_findField->text(), o);
}

bool MyFindBar::commitEdit() {
    if (_window->isDisplayingAlart()) return false;
    if (!_window->isEditingText()) return true;
    // The commit gives the focus to the outline; typing in the bar goes on in the bar.
    QWidget* focus = focusWidget();
    const bool ok = _window->updateFocusedTextField();
    if (ok && focus && isAncestorOf(focus)) focus->setFocus(Qt::OtherFocusReason);
    return ok;
}

SearchAnchor MyFindBar::anchorAtSelection() const {
    const EntryRef selected = _window->currentItem();
    return {selected ? selected : _window->rootEntry(), SearchField::Key, 0};
}

void MyFindBar::searchAsTyped() {
    _message->clear();
    if (!isVisible() || !commitEdit()) return;
    _filterPending = _matchingOnly->isChecked();
    // Typing on keeps the match in view while it still matches: the search starts where it stands.
    const bool onShown = _shown.entry && _window->currentItem() == _shown.entry;
    restart(onShown ? SearchAnchor{_shown.entry, _shown.field, _shown.start} : anchorAtSelection(), true);
}

void MyFindBar::restart(const SearchAnchor& anchor, bool select) {
    const quint64 generation = ++_generation;
    _stale = false;
    _current.reset();
    _inDocumentOrder = false;
    _selectFirstFound = select;
    clearHighlight();
    _run = std::make_unique<editing::SearchRun>(currentSearch(), _window->rootEntry(), anchor);
    runSlice(generation);
}

void MyFindBar::advance(size_t entries) {
    const bool done = _run->step(entries);
    const auto& matches = _run->matches();
    if (matches.empty()) return;
    if (done && !_inDocumentOrder) {
        _inDocumentOrder = true;
        const bool shown = _current.has_value();
        _current = _run->firstFromAnchor();
        if (!shown && _selectFirstFound) showMatch(*_current);
    } else if (!done && !_current) {
        _current = 0;
        if (_selectFirstFound) showMatch(0);
    }
}

void MyFindBar::runSlice(quint64 generation) {
    if (generation != _generation || !_run) return;
    QElapsedTimer timer;
    timer.start();
    while (!_run->isDone() && timer.elapsed() < kSliceMs)
        advance(kEntriesPerStep);
    if (!_run->isDone()) {
        QTimer::singleShot(0, this, [this, generation] { runSlice(generation); });
    } else if (!_inDocumentOrder) {
        advance(0);
    }
    updateCount();
    if (_run->isDone() && _filterPending) updateFilter();
}

void MyFindBar::updateFilter() {
    _filterPending = false;
    const bool wanted = _matchingOnly->isChecked() && !_findField->text().isEmpty() && commitEdit();
    if (wanted) finishSearch();
    if (wanted && _run->search().isValid()) {
        _filter.apply(_run->matches());
        return;
    }
    if (!_filter.isOn()) return;
    _filter.clear();
    // The selected row stays in view.
    if (const EntryRef selected = _window->currentItem()) {
        if (Entry* parent = selected->parent()) _window->expandAncestorWithItem(parent);
        _window->outlineViewSelectItem(selected.get());
    }
}

void MyFindBar::finishSearch() {
    if (!_run || _stale) restart(anchorAtSelection(), false);
    ++_generation; // the slices still queued have nothing left to do
    while (!_run->isDone())
        advance(size_t(1) << 16);
    if (!_inDocumentOrder) advance(0);
    updateCount();
}

const SearchMatch* MyFindBar::currentMatch() const {
    if (!_run || !_current || _stale) return nullptr;
    return &_run->matches()[*_current];
}

void MyFindBar::step(bool forward) {
    if (!commitEdit() || _findField->text().isEmpty()) return;
    if (!isVisible()) showFind(false);
    const bool onShown = _shown.entry && _window->currentItem() == _shown.entry;
    if (onShown && _current && !_stale) {
        finishSearch();
        const size_t n = _run->matches().size();
        showMatch((*_current + (forward ? 1 : n - 1)) % n);
        return;
    }
    // The selection moved, or the document changed: go on from the selection, or from the match shown.
    const SearchAnchor anchor =
        onShown ? SearchAnchor{_shown.entry, _shown.field, _shown.start} : anchorAtSelection();
    restart(anchor, false);
    finishSearch();
    const auto& matches = _run->matches();
    if (matches.empty()) return;
    const size_t n = matches.size(), first = *_run->firstFromAnchor();
    const SearchMatch& f = matches[first];
    const bool atAnchor =
        onShown && f.entry == anchor.entry && f.field == anchor.field && f.start == anchor.offset;
    showMatch(forward ? (atAnchor ? first + 1 : first) % n : (first + n - 1) % n);
}

void MyFindBar::showMatch(size_t index) {
    _current = index;
    _shown = _run->matches()[index];
    _highlighted = true;
    // Selected as a click selects: the edit was committed before the search ran.
    if (!_window->isEditingText() && !_window->isDisplayingAlart()) {
        if (Entry* parent = _shown.entry->parent()) _window->expandAncestorWithItem(parent);
        _window->outlineViewSelectItem(_shown.entry.get());
        _window->navigator()->didSelect(_shown.entry);
    }
    _window->outlineView()->viewport()->update();
    updateCount();
}

void MyFindBar::clearHighlight() {
    if (!_highlighted) return;
    _highlighted = false;
    _window->outlineView()->viewport()->update();
}

void MyFindBar::documentDidChange() {
    _stale = true;
    ++_generation;
    clearHighlight();
    if (!isVisible() || _findField->text().isEmpty()) return;
    // Counted again once the change is done; the match shown stays the place to go on from.
    QTimer::singleShot(0, this, [this] {
        if (!_stale || !isVisible()) return;
        const SearchMatch shown = _shown;
        restart(anchorAtSelection(), false);
        _shown = shown;
    });
}

std::pair<int, int> MyFindBar::highlightOfCell(const model::Entry* e, int column) const {
    if (!_highlighted || _shown.entry.get() != e || !isVisible()) return {-1, 0};
    const int wanted = _shown.field == SearchField::Key ? views::EntryTreeModel::KeyColumn
                                                        : views::EntryTreeModel::ValueColumn;
    return column == wanted ? std::pair{_shown.start, _shown.length} : std::pair{-1, 0};
}

QString MyFindBar::countText() const {
    return _count->text();
}

QString MyFindBar::messageText() const {
    return _message->text();
}

void MyFindBar::updateCount() {
    QPalette palette = _count->palette();
    palette.setColor(QPalette::WindowText, QApplication::palette().color(QPalette::WindowText));
    QString text;
    if (_run && !_run->search().isValid()) {
        text = _run->search().errorString();
        palette.setColor(QPalette::WindowText, QColor(0xd0, 0x30, 0x30));
    } else if (!_run || _findField->text().isEmpty()) {
        text.clear();
    } else if (!_run->isDone()) {
        text = tr("%1 found so far\u2026").arg(qulonglong(_run->matches().size()));
    } else if (_run->matches().empty()) {
        text = tr("Not found");
    } else if (_current) {
        text = tr("%1 of %2").arg(qulonglong(*_current + 1)).arg(qulonglong(_run->matches().size()));
    }
    _count->setPalette(palette);
    _count->setText(text);
}

QString MyFindBar::resultText(const editing::Replacement& r) const {
    const QString replaced = tr("%1 replaced").arg(qulonglong(r.replaced));
    const size_t skipped = r.skippedKeyExists + r.skippedNotOfType;
    if (skipped == 0) return replaced;
    QString reason;
    if (r.skippedNotOfType == 0)
        reason = tr("the key already exists");
    else if (r.skippedKeyExists == 0)
        reason = tr("the new text is not a value of the entry\u2019s type");
    else
        reason =
            tr("%1 where the key already exists, %2 where the new text is not a value of the entry\u2019s "
               "type")
                .arg(qulonglong(r.skippedKeyExists))
                .arg(qulonglong(r.skippedNotOfType));
    return tr("%1, %2 skipped: %3").arg(replaced).arg(qulonglong(skipped)).arg(reason);
}

void MyFindBar::replace() {
    if (!commitEdit() || _findField->text().isEmpty()) return;
    // Replace acts on the match shown and selected; otherwise it first goes to the next one.
    if (!_highlighted || _stale || _window->currentItem() != _shown.entry) return findNext();
    finishSearch();
    const SearchMatch m = _shown;
    const int before = int(EntrySearch::searchedText(*m.entry, m.field).value_or(QString()).size());
    const editing::Replacement r =
        editing::replacementOf(_run->search(), {m}, _replaceField->text(), tr("Replace").toStdString());
    if (r.batch.size() > 1) _window->doCommands(r.batch);
    const int after = int(EntrySearch::searchedText(*m.entry, m.field).value_or(QString()).size());
    const QString message = resultText(r);
    // On from the end of the replaced text.
    restart({m.entry, m.field, m.start + m.length + (r.replaced ? after - before : 0)}, false);
    finishSearch();
    if (!_run->matches().empty()) showMatch(*_run->firstFromAnchor());
    _message->setText(message);
}

void MyFindBar::replaceAll() {
    if (!commitEdit() || _findField->text().isEmpty()) return;
    finishSearch();
    const EntryRef selected = _window->currentItem();
    const editing::Replacement r = editing::replacementOf(
        _run->search(), _run->matches(), _replaceField->text(), tr("Replace All").toStdString());
    if (r.batch.size() > 1) {
        _window->doCommands(r.batch);
        // The selection stays where the user had it.
        if (selected && _window->outlineView()->rowForItem(selected.get()) >= 0)
            _window->outlineViewSelectItem(selected.get());
    }
    _message->setText(resultText(r));
}

} // namespace window
