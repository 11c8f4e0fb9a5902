#include "MyGoToBar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

namespace window {

MyGoToBar::MyGoToBar(QWidget* parent, QWidget* outline, std::function<QString(const QString&)> go)
    : QFrame(parent), _outline(outline), _go(std::move(go)) {
    setFrameShape(QFrame::StyledPanel);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 4, 6, 4);
    auto* label = new QLabel(tr("Go to Key Path:"), this);
    _field = new QLineEdit(this);
    _field->setPlaceholderText(tr("Root \u203a items \u203a Item 3 \u203a name, or items/3/name"));
    label->setBuddy(_field);
    _message = new QLabel(this);
    QPalette red = _message->palette();
    red.setColor(QPalette::WindowText, QColor(0xd0, 0x30, 0x30));
    _message->setPalette(red);
    row->addWidget(label);
    row->addWidget(_field, 1);
    row->addWidget(_message);
    _field->installEventFilter(this);
    connect(_field, &QLineEdit::textChanged, _message, &QLabel::clear);
    hide();
}

void MyGoToBar::showBar() {
    _message->clear();
    show();
    _field->setFocus(Qt::ShortcutFocusReason);
    _field->selectAll();
}

void MyGoToBar::closeBar() {
    hide();
    _outline->setFocus(Qt::OtherFocusReason);
}

QString MyGoToBar::messageText() const {
    return _message->text();
}

bool MyGoToBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched != _field || event->type() != QEvent::KeyPress) return QFrame::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Escape) {
        closeBar();
    } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        const QString missing = _go(_field->text());
        if (missing.isEmpty())
            closeBar();
        else
            _message->setText(missing);
    } else {
        return QFrame::eventFilter(watched, event);
    }
    return true;
}

} // namespace window
