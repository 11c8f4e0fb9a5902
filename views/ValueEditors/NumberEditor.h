// The editor of a Number: its text read strictly as a typed number is, with a note of what the text will be
// stored as ("integer" or "real"; a binary file keeps the difference), and integers in hexadecimal on
// request.
#pragma once

#include "ValueEditor.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace views {

class NumberEditor : public ValueEditor {
    Q_OBJECT
public:
    NumberEditor(const model::Number& value, QWidget* parent);

    std::optional<model::Entry::Value> value() const override;
    void setTypedText(const QString& text, int caret) override;

    QLineEdit* field() const { return _field; }
    QLabel* note() const { return _note; }
    QCheckBox* hexBox() const { return _hex; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::optional<model::Number> number() const;
    void showNumber(const model::Number& n);
    void update();

    QLineEdit* _field = nullptr;
    QLabel* _note = nullptr;
    QCheckBox* _hex = nullptr;
    bool _selectAllOnShow = true;
};

} // namespace views
