#include "MyFileChangeBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace window {

MyFileChangeBar::MyFileChangeBar(QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::ToolTipBase);
    setForegroundRole(QPalette::ToolTipText);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 4, 8, 4);
    _label = new QLabel(this);
    _reload = new QPushButton(tr("Reload"), this);
    _ignore = new QPushButton(tr("Ignore"), this);
    row->addWidget(_label, 1);
    row->addWidget(_reload);
    row->addWidget(_ignore);
    connect(_reload, &QPushButton::clicked, this, &MyFileChangeBar::reloadClicked);
    connect(_ignore, &QPushButton::clicked, this, &MyFileChangeBar::ignoreClicked);
    hide();
}

void MyFileChangeBar::showChanged() {
    _label->setText(tr("This file has changed on disk."));
    _reload->show();
    show();
}

void MyFileChangeBar::showDeleted() {
    _label->setText(
        tr("This file has been deleted from disk. The document stays open; Save writes it again."));
    _reload->hide();
    show();
}

QString MyFileChangeBar::message() const {
    return _label->text();
}

} // namespace window
