// What the outline asks of the window that owns it: the selection and its family, the clicks, keys and
// context menu it hands on, and the editing state it draws.
#pragma once

#include <QRect>
#include <cstdint>
#include <utility>

#include "MyControls.h"
#include "model/Entry.h"

class QMenu;

namespace views {

// The keys the outline hands to its delegate, by the key codes of the desktop keyboard they came from.
enum KeyCode : uint16_t {
    kKeyReturn = 36,
    kKeyDelete = 51,
    kKeyEnter = 76,
    kKeyForwardDelete = 117,
    kKeyLeftArrow = 123,
    kKeyRightArrow = 124,
    kKeyDownArrow = 125,
    kKeyUpArrow = 126,
};

class OutlineViewDelegate : public MyControllerDelegate {
public:
    // The selected entry and its family range {location, length} in rows.
    virtual model::Entry* selectedItemOfOutline() const = 0;
    virtual std::pair<size_t, size_t> familyRangeOfOutline() const = 0;
    // The field being edited, in the outline viewport's coordinates; a null rectangle when none.
    virtual QRect focusedTextFieldRect() const = 0;
    virtual bool hasFocusedTextField() const = 0;
    // The part of a cell's text to highlight as found, {start, length} in the text the cell shows before its
    // marks; {-1, 0} for none.
    virtual std::pair<int, int> highlightOfCell(const model::Entry*, int) const { return {-1, 0}; }
    // Whether a row is drawn faded: shown only because rows inside it match a filter.
    virtual bool isDimmedItem(const model::Entry*) const { return false; }

    virtual void keyDownWithKeycode(uint16_t keycode) = 0;
    // After a left click on the outline of the active window, and before a right click's menu: 1 when the
    // click fell below the last row, else 0.
    virtual void mouseDownWithZone(unsigned zone) = 0;
    virtual QMenu* createContextMenu() = 0;
    // While a field is edited, a click on a row finishes the edit and then selects the row; false when the
    // edit goes on.
    virtual bool rowViewSelectSelfRow(int row) = 0;
    // A double click on a cell; true when it started an edit.
    virtual bool outlineViewDoubleClickedItem(model::Entry* item, int column) = 0;
    virtual bool selectionShouldChangeInOutlineView() = 0;
    virtual void outlineViewItemWillCollapse(model::Entry* item) = 0;
    virtual void outlineViewItemDidExpand(model::Entry* item) = 0;
    virtual void outlineViewItemDidCollapse(model::Entry* item) = 0;
    virtual void handlingCheckBox(bool checked) = 0;
    // The rows moved, scrolled or were laid out again: the in-row controls follow.
    virtual void outlineViewRowsDidMove() = 0;
};

} // namespace views
