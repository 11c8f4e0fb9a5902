// The find bar at the foot of a document window: finds text in keys and values as it is typed, steps
// through the matches, and replaces them, selecting and editing only as a click and the command engine do.
#pragma once

#include <QFrame>
#include <memory>
#include <optional>
#include <utility>

#include "RowFilter.h"
#include "editing/EntrySearch.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace window {

class MyWindowController;

class MyFindBar : public QFrame {
    Q_OBJECT
public:
    explicit MyFindBar(MyWindowController* window);
    ~MyFindBar() override;

    // Shows the bar (with its replace row when asked) and puts the focus in its search field.
    void showFind(bool withReplace);
    // Hides the bar and gives the focus back to the outline.
    void closeBar();
    void findNext() { step(true); }
    void findPrevious() { step(false); }
    void replace();
    void replaceAll();
    // The document changed: the matches found so far no longer hold.
    void documentDidChange();

    // The matched text shown in a cell, {start, length}; {-1, 0} where none.
    std::pair<int, int> highlightOfCell(const model::Entry* e, int column) const;
    // Searches the rest of the document at once; for benchmarks and for actions that need every match.
    void finishSearch();
    bool isSearchDone() const { return _run && _run->isDone() && !_stale; }
    const editing::SearchMatch* currentMatch() const;

    QLineEdit* findField() const { return _findField; }
    QLineEdit* replaceField() const { return _replaceField; }
    QComboBox* scopeBox() const { return _scope; }
    QComboBox* typeBox() const { return _type; }
    QCheckBox* matchCaseBox() const { return _matchCase; }
    QCheckBox* wholeWordsBox() const { return _wholeWords; }
    QCheckBox* regularExpressionBox() const { return _regex; }
    // "Show matching rows only": the outline shows the matches and the containers that hold them.
    QCheckBox* matchingRowsOnlyBox() const { return _matchingOnly; }
    bool isDimmedItem(const model::Entry* e) const { return _filter.isDimmed(e); }
    QPushButton* replaceButton() const { return _replaceButton; }
    QPushButton* replaceAllButton() const { return _replaceAllButton; }
    // "3 of 120", "Not found", or the pattern's error.
    QString countText() const;
    // What the latest replace did ("12 replaced, 2 skipped: the key already exists").
    QString messageText() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    editing::EntrySearch currentSearch() const;
    // Starts a new search from anchor; the first match found is selected when select is true.
    void restart(const editing::SearchAnchor& anchor, bool select);
    void runSlice(quint64 generation);
    // Searches at most this many more entries; the match found first is selected when it is to be.
    void advance(size_t entries);
    // The search as typed, from the current match or else the selected entry.
    void searchAsTyped();
    editing::SearchAnchor anchorAtSelection() const;
    // Commits an open edit by the rules of a click; false when it was refused or an alert is up.
    bool commitEdit();
    void step(bool forward);
    void showMatch(size_t index);
    void updateCount();
    void clearHighlight();
    // Filters the rows by the search once it is done, or shows them all again.
    void updateFilter();
    QString resultText(const editing::Replacement& r) const;

    MyWindowController* _window;
    QLineEdit* _findField = nullptr;
    QLineEdit* _replaceField = nullptr;
    QComboBox* _scope = nullptr;
    QComboBox* _type = nullptr;
    QCheckBox* _matchCase = nullptr;
    QCheckBox* _wholeWords = nullptr;
    QCheckBox* _regex = nullptr;
    QCheckBox* _matchingOnly = nullptr;
    QToolButton* _previousButton = nullptr;
    QToolButton* _nextButton = nullptr;
    QPushButton* _replaceButton = nullptr;
    QPushButton* _replaceAllButton = nullptr;
    QWidget* _replaceRow = nullptr;
    QLabel* _count = nullptr;
    QLabel* _message = nullptr;

    std::unique_ptr<editing::SearchRun> _run;
    // The match selected, as an index into the run's matches (in the order found until the run is done).
    std::optional<size_t> _current;
    bool _selectFirstFound = false;
    // Whether the run's matches are in document order and _current indexes them so.
    bool _inDocumentOrder = false;
    bool _stale = true;
    quint64 _generation = 0;
    // The match shown last, the place Next and Previous go on from; highlighted while _highlighted.
    editing::SearchMatch _shown;
    bool _highlighted = false;
    RowFilter _filter;
    // The filter waits for the search typed to finish.
    bool _filterPending = false;
};

} // namespace window
