#include "NumberEditor.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include "model/ValueText.h"

namespace views {

namespace {
// "0x1f", "-0x10": the form the strict reading takes back.
QString hexText(const plist::Integer& i) {
    const uint64_t magnitude = i.isNegative() ? 0 - i.bits() : i.bits();
    return (i.isNegative() ? QStringLiteral("-0x") : QStringLiteral("0x")) + QString::number(magnitude, 16);
}
} // namespace

NumberEditor::NumberEditor(const model::Number& value, QWidget* parent)
    : ValueEditor(tr("Edit Number"), parent) {
    _field = new QLineEdit(this);
    _note = new QLabel(this);
    _hex = new QCheckBox(tr("Hexadecimal"), this);
    body()->addWidget(_field);
    auto* row = new QHBoxLayout;
    row->addWidget(_note, 1);
    row->addWidget(_hex);
    body()->addLayout(row);
    body()->addStretch(1);
    showNumber(value);
    connect(_field, &QLineEdit::textChanged, this, [this] { update(); });
    connect(_field, &QLineEdit::returnPressed, this, [this] {
        if (number()) accept();
    });
    connect(_hex, &QCheckBox::toggled, this, [this] {
        if (auto n = number()) showNumber(*n);
    });
    update();
    resize(360, 120);
}

std::optional<model::Number> NumberEditor::number() const {
    return model::numberWithTypedText(_field->text().toStdString());
}

void NumberEditor::showNumber(const model::Number& n) {
    _field->setText(!n.isReal && _hex->isChecked() ? hexText(n.integer)
                                                   : QString::fromStdString(model::numberText(n)));
    _field->selectAll();
}

void NumberEditor::update() {
    const std::optional<model::Number> n = number();
    _note->setText(!n ? tr("not a number") : n->isReal ? tr("real") : tr("integer"));
    setAcceptable(bool(n));
}

std::optional<model::Entry::Value> NumberEditor::value() const {
    if (auto n = number()) return model::Entry::Value(*n);
    return std::nullopt;
}

void NumberEditor::showEvent(QShowEvent* event) {
    ValueEditor::showEvent(event);
    // The number is selected, so that typing replaces it; text from the row's field keeps its caret.
    _field->setFocus();
    if (_selectAllOnShow) _field->selectAll();
}

void NumberEditor::setTypedText(const QString& text, int caret) {
    _selectAllOnShow = false;
    _field->setText(text);
    _field->setCursorPosition(caret);
}

} // namespace views
