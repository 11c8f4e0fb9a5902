#include "DateEditor.h"

#include <QBoxLayout>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <cmath>
#include <ctime>

#include "model/ValueText.h"
#include "platform/plist/DateTime.h"

namespace views {

using plist::datetime::Civil;
using plist::datetime::kUnixSecondsAt2001;

namespace {
// The calendar fields of a whole second in local time (TZ honoured) or in UTC.
std::optional<Civil> civilOf(int64_t seconds, bool utc) {
    if (utc) return plist::datetime::civilFromSeconds(seconds);
    const time_t t = time_t(seconds + kUnixSecondsAt2001);
    struct tm tm {};
    tzset();
    if (!localtime_r(&t, &tm)) return std::nullopt;
    return Civil{int64_t(tm.tm_year) + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

// The largest magnitude of seconds the fields are asked to show: beyond years 1 to 9999 in either zone.
constexpr double kShownRange = 2.6e11;
} // namespace

DateEditor::DateEditor(plist::Date value, QWidget* parent)
    : ValueEditor(tr("Edit Date"), parent), _seconds(value.seconds) {
    _calendar = new QCalendarWidget(this);
    _calendar->setDateRange(QDate(1, 1, 1), QDate(9999, 12, 31));
    _calendar->setGridVisible(true);
    body()->addWidget(_calendar);
    auto* row = new QHBoxLayout;
    _time = new QTimeEdit(this);
    _time->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    _zone = new QComboBox(this);
    _zone->addItem(tr("Local Time"));
    _zone->addItem(tr("UTC"));
    _now = new QPushButton(tr("Now"), this);
    _now->setAutoDefault(false);
    row->addWidget(_time);
    row->addWidget(_zone);
    row->addWidget(_now);
    row->addStretch(1);
    body()->addLayout(row);
    _text = new QLineEdit(this);
    _text->setPlaceholderText(tr("2021/01/02 3:04:05 or 2021-01-02T03:04:05Z"));
    body()->addWidget(_text);
    _note = new QLabel(this);
    body()->addWidget(_note);

    connect(_calendar, &QCalendarWidget::selectionChanged, this, [this] {
        if (_showing) return;
        // A new day keeps the time of day and its fraction of a second.
        const double fraction = std::isfinite(_seconds) ? _seconds - std::floor(_seconds) : 0;
        if (auto s = secondsOfFields()) _seconds = double(*s) + fraction;
        showValue();
    });
    connect(_time, &QTimeEdit::timeChanged, this, [this] {
        if (_showing) return;
        if (auto s = secondsOfFields()) _seconds = double(*s);
        showValue();
    });
    connect(_zone, &QComboBox::currentIndexChanged, this, [this] { showValue(); });
    connect(_now, &QPushButton::clicked, this, [this] {
        _seconds = double(QDateTime::currentSecsSinceEpoch() - kUnixSecondsAt2001);
        showValue();
    });
    connect(_text, &QLineEdit::textEdited, this, [this] { readText(); });
    showValue();
    resize(420, 360);
}

bool DateEditor::isUtc() const {
    return _zone->currentIndex() == 1;
}

std::optional<int64_t> DateEditor::secondsOfFields() const {
    const QDate d = _calendar->selectedDate();
    const QTime t = _time->time();
    Civil c{d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()};
    if (isUtc()) return plist::datetime::secondsFromCivil(c);
    struct tm tm {};
    tm.tm_year = int(c.year - 1900);
    tm.tm_mon = c.month - 1;
    tm.tm_mday = c.day;
    tm.tm_hour = c.hour;
    tm.tm_min = c.minute;
    tm.tm_sec = c.second;
    tm.tm_isdst = -1;
    tm.tm_wday = -1;
    tzset();
    const time_t unix = mktime(&tm);
    if (tm.tm_wday == -1) return std::nullopt;
    return int64_t(unix) - kUnixSecondsAt2001;
}

void DateEditor::showValue(bool withText) {
    _showing = true;
    const bool shown = std::isfinite(_seconds) && std::fabs(_seconds) < kShownRange;
    if (const std::optional<Civil> c =
            shown ? civilOf(int64_t(std::floor(_seconds)), isUtc()) : std::nullopt) {
        const QDate day(int(c->year), c->month, c->day);
        if (day >= _calendar->minimumDate() && day <= _calendar->maximumDate())
            _calendar->setSelectedDate(day);
        _time->setTime(QTime(c->hour, c->minute, c->second));
    }
    if (withText) {
        const plist::Date d{_seconds};
        _text->setText(QString::fromStdString(isUtc() ? model::dateStringOfISO8601FormatWithDate(d)
                                                      : model::descriptionOfDate(d)));
        _textReadable = true;
    }
    const double fraction = std::isfinite(_seconds) ? _seconds - std::floor(_seconds) : 0;
    _note->setText(!_textReadable ? tr("Not a date: type 2021/01/02 3:04:05 or 2021-01-02T03:04:05Z.")
                   : !shown       ? QString::fromStdString(plist::datetime::formatExact(_seconds))
                   : fraction > 0 ? tr("and %1 of a second").arg(fraction)
                                  : QString());
    setAcceptable(_textReadable);
    _showing = false;
}

void DateEditor::readText() {
    const std::optional<plist::Date> d = model::dateWithTypedText(_text->text().trimmed().toStdString());
    _textReadable = bool(d);
    // The same second as before keeps the value's fraction.
    if (d && !(std::isfinite(_seconds) && std::floor(_seconds) == d->seconds)) _seconds = d->seconds;
    showValue(false);
}

std::optional<model::Entry::Value> DateEditor::value() const {
    if (!_textReadable) return std::nullopt;
    return model::Entry::Value(plist::Date{_seconds});
}

void DateEditor::setTypedText(const QString& text, int caret) {
    _text->setText(text);
    _text->setCursorPosition(caret);
    readText();
    _text->setFocus();
}

} // namespace views
