// The sheet that edits one value of the selected row exactly: the base of the String, Number, Date and Data
// editors, with their "Done" (Ctrl+Return) and "Cancel" (Escape) buttons.
#pragma once

#include <QDialog>
#include <optional>

#include "model/Entry.h"

class QBoxLayout;
class QPushButton;

namespace views {

class ValueEditor : public QDialog {
    Q_OBJECT
public:
    // The editor of a value of this type, holding the value; none for the types edited in the row itself
    // (Boolean, the containers, n/a).
    static ValueEditor* forValue(model::EntryType type, const model::Entry::Value& value, QWidget* parent);
    static bool hasEditor(model::EntryType type);

    // The value as it stands; none while the editor holds nothing its type can take (Done is disabled then).
    virtual std::optional<model::Entry::Value> value() const = 0;
    // Starts from text typed into the row's field, the caret at caret, instead of the value itself.
    virtual void setTypedText(const QString& text, int caret) = 0;

    QPushButton* doneButton() const { return _done; }
    QPushButton* cancelButton() const { return _cancel; }

signals:
    // The bytes of a Data value are a property list the user wants to open as a document of its own.
    void openAsDocumentRequested(const QByteArray& bytes);

protected:
    explicit ValueEditor(const QString& title, QWidget* parent);
    // The editor's own widgets go here, above the buttons.
    QBoxLayout* body() const { return _body; }
    // Widgets beside the buttons, at their left.
    QBoxLayout* footer() const { return _footer; }
    void setAcceptable(bool acceptable);

private:
    QBoxLayout* _body = nullptr;
    QBoxLayout* _footer = nullptr;
    QPushButton* _done = nullptr;
    QPushButton* _cancel = nullptr;
};

} // namespace views
