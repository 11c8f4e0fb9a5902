// The editor of a String: several lines of exact text with a line and column indicator, a character count,
// line wrapping on or off and a monospaced font on request.
#pragma once

#include "ValueEditor.h"

class QCheckBox;
class QLabel;

namespace views {

class ExactTextEdit;

class StringEditor : public ValueEditor {
    Q_OBJECT
public:
    StringEditor(const std::string& value, QWidget* parent);

    std::optional<model::Entry::Value> value() const override;
    void setTypedText(const QString& text, int caret) override;

    ExactTextEdit* textEdit() const { return _edit; }
    QCheckBox* wrapBox() const { return _wrap; }
    QCheckBox* monospaceBox() const { return _monospace; }
    QLabel* positionLabel() const { return _position; }
    QLabel* countLabel() const { return _count; }

    // The text of a String as the editor holds it: UTF-16 with lone surrogates kept, both ways.
    static QString textOfString(const std::string& value);
    static std::string stringOfText(const QString& text);

private:
    void updatePosition();
    void updateCount();

    ExactTextEdit* _edit = nullptr;
    QCheckBox* _wrap = nullptr;
    QCheckBox* _monospace = nullptr;
    QLabel* _position = nullptr;
    QLabel* _count = nullptr;
};

} // namespace views
