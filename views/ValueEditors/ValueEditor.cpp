#include "ValueEditor.h"

#include <QBoxLayout>
#include <QPushButton>
#include <QShortcut>

#include "DataEditor.h"
#include "DateEditor.h"
#include "NumberEditor.h"
#include "StringEditor.h"

namespace views {

ValueEditor::ValueEditor(const QString& title, QWidget* parent) : QDialog(parent) {
    setWindowTitle(title);
    auto* column = new QVBoxLayout(this);
    _body = new QVBoxLayout;
    column->addLayout(_body, 1);
    _footer = new QHBoxLayout;
    column->addLayout(_footer);
    _footer->addStretch(1);
    _cancel = new QPushButton(tr("Cancel"), this);
    _done = new QPushButton(tr("Done"), this);
    // Return belongs to the editors (a line break in a string); only Ctrl+Return is Done.
    for (QPushButton* b : {_cancel, _done}) {
        b->setAutoDefault(false);
        _footer->addWidget(b);
    }
    _done->setToolTip(tr("Done (Ctrl+Return)"));
    connect(_done, &QPushButton::clicked, this, &QDialog::accept);
    connect(_cancel, &QPushButton::clicked, this, &QDialog::reject);
    for (QKeySequence keys :
         {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, [this] {
            if (_done->isEnabled()) accept();
        });
}

void ValueEditor::setAcceptable(bool acceptable) {
    _done->setEnabled(acceptable);
}

bool ValueEditor::hasEditor(model::EntryType type) {
    using model::EntryType;
    return type == EntryType::String || type == EntryType::Number || type == EntryType::Date ||
           type == EntryType::Data;
}

ValueEditor* ValueEditor::forValue(model::EntryType type, const model::Entry::Value& value, QWidget* parent) {
    using model::EntryType;
    switch (type) {
    case EntryType::String:
        return new StringEditor(std::get<std::string>(value), parent);
    case EntryType::Number:
        return new NumberEditor(std::get<model::Number>(value), parent);
    case EntryType::Date:
        return new DateEditor(std::get<plist::Date>(value), parent);
    case EntryType::Data:
        return new DataEditor(std::get<model::Data>(value), parent);
    default:
        return nullptr;
    }
}

} // namespace views
