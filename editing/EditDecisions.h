// What an edit of the tree does, decided without a window: the command batch to run, or the alert to show
// first. The window gathers the selection and the typed text, asks here, and runs or shows the answer.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <variant>

#include "CommandRecord.h"
#include "EditRules.h"
#include "model/PlistDocument.h"

namespace editing {

// An alert as data: its message, second line (none when empty) and button titles, first button first.
struct AlertText {
    QString message;
    QString informative;
    QStringList buttons;
};

// The answer to an edit: a batch to run as one undo step (empty: nothing to do), or an alert to show.
struct EditDecision {
    CommandBatch batch;
    std::optional<AlertText> alert;
};

// What addItem inserts: a new empty String (none), a String holding a text, or a whole entry.
using ItemToAdd = std::variant<std::monostate, QString, EntryRef>;

// The text a key or value field starts editing with: the full, exact text form ("1" or "0" for a Boolean).
// A commit of this very text changes nothing.
QString fieldText(const Entry& item, bool keyField);
// Whether a cell edits in place: a key in a Dictionary, or the value of a String, Number, Date, Data or n/a
// entry.
bool editsInPlace(const Entry& item, bool keyField);

// A key for an entry about to join child: base (or "New item"), numbered " - 2", " - 3", ... until no entry
// of child has it.
QString uniqueKeyName(const Children* child, const std::optional<QString>& base = {});

// Renaming item's key. When a sibling already holds newKey, the duplicate-key alert comes with that sibling
// in duplicate; its first button runs replaceKeyValue (EditRules.h).
struct KeyRename : EditDecision {
    EntryRef duplicate;
};
KeyRename keyRename(const EntryRef& item, const QString& newKey);

// Setting item's value from typed text: nothing when it holds that value already, the invalid-entry alert
// when the text is refused.
EditDecision valueChange(const EntryRef& item, const QString& newValue);
// The batch, one step named title, that makes root hold what loaded holds (its type, value and children
// with their keys), as Reload from Disk and Open as Document take a whole document into a window.
CommandBatch rootReplacement(const EntryRef& root, const EntryRef& loaded, std::string title);

// Whether an entry can be added next to the selection (nothing goes under a scalar root) and whether the
// selection can be deleted (never the root).
bool canAdd(const EntryRef& selected);
bool canDelete(const EntryRef& selected, const EntryRef& root);
// Where a new entry goes: into an expanded container, or the root, as its first child; else after the
// selected entry. None when that is not a container.
struct Placement {
    EntryRef parent;
    int64_t index = 0;
};
std::optional<Placement> addPlacement(const EntryRef& selected, const EntryRef& root, bool selectedExpanded);
// Inserting item at a placement, keyed from base (a pasted entry's own key, used in a Dictionary only) made
// unique among its new siblings; the nesting alert when it would nest the document too deep.
EditDecision insertion(const EntryRef& item, const Placement& at, const std::optional<QString>& base);
// Deleting the selection; empty when it cannot be deleted.
CommandBatch deletion(const EntryRef& selected, const EntryRef& root);

// The deepest nesting an edit may make: an entry's depth is the number of containers above it, plus one.
int maximumDepth();
// The alert of an entry that would nest the document too deep under parent, if it would.
std::optional<AlertText> nestingRefusal(const Entry& parent, const Entry& item);

// What a paste inserts: the entry read from our own exact copy, else from the text as a property list, else
// the text as a String. Running out of memory gives the alert instead and changes nothing.
std::variant<ItemToAdd, AlertText> pastedItem(model::PlistDocument& document,
                                              const std::optional<QByteArray>& exact, const QString& text);
AlertText pasteNoMemoryAlert();

// A drag reorders an entry among its siblings only: the root never moves, and a drop lands between the
// children of the entry's own parent.
bool canDrag(const Entry& item, const EntryRef& root);
bool dropAccepted(const EntryRef& origin, const Entry* parent, int childIndex);
// The move of the entry dragged from fromIndex to childIndex: empty when it stays where it is; none when the
// dragged text does not read as a property list.
std::optional<CommandBatch> dropMove(model::PlistDocument& document, const EntryRef& origin,
                                     int64_t fromIndex, int childIndex,
                                     const std::optional<QByteArray>& text);

} // namespace editing
