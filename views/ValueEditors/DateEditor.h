// The editor of a Date: a calendar and the time to the second in local time or UTC, "Now", and a text field
// that takes the display form or the ISO form. A fraction of a second the date has is kept until the time
// itself is changed, and a date the fields cannot show (before year 1, after 9999, not finite) stays exactly
// as it is until a field is changed.
#pragma once

#include <optional>

#include "ValueEditor.h"

class QCalendarWidget;
class QComboBox;
class QLabel;
class QLineEdit;
class QTimeEdit;

namespace views {

class DateEditor : public ValueEditor {
    Q_OBJECT
public:
    DateEditor(plist::Date value, QWidget* parent);

    std::optional<model::Entry::Value> value() const override;
    void setTypedText(const QString& text, int caret) override;

    QCalendarWidget* calendar() const { return _calendar; }
    QTimeEdit* timeEdit() const { return _time; }
    QComboBox* zoneBox() const { return _zone; }
    QLineEdit* textField() const { return _text; }
    QPushButton* nowButton() const { return _now; }

private:
    bool isUtc() const;
    // The date and time fields as seconds from 2001 in the chosen zone; none when they name no time.
    std::optional<int64_t> secondsOfFields() const;
    void showValue(bool withText = true);
    void readText();

    double _seconds = 0;
    bool _textReadable = true;
    bool _showing = false;
    QCalendarWidget* _calendar = nullptr;
    QTimeEdit* _time = nullptr;
    QComboBox* _zone = nullptr;
    QLineEdit* _text = nullptr;
    QLabel* _note = nullptr;
    QPushButton* _now = nullptr;
};

} // namespace views
