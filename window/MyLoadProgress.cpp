#include "MyLoadProgress.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "model/LoadProgress.h"

namespace window {

MyLoadProgress::MyLoadProgress(QWidget* parent)
    : QWidget(parent), _label(new QLabel(this)), _bar(new QProgressBar(this)),
      _cancelButton(new QPushButton(tr("Cancel"), this)) {
    _label->setTextFormat(Qt::PlainText);
    _bar->setTextVisible(false);
    auto* column = new QVBoxLayout(this);
    column->addStretch(1);
    column->addWidget(_label, 0, Qt::AlignHCenter);
    auto* line = new QHBoxLayout;
    line->addStretch(1);
    line->addWidget(_bar, 4);
    line->addWidget(_cancelButton);
    line->addStretch(1);
    column->addLayout(line);
    column->addStretch(2);
    connect(_cancelButton, &QPushButton::clicked, this, &MyLoadProgress::cancelClicked);
}

void MyLoadProgress::showProgress(const model::LoadProgress& progress) {
    const uint64_t total = progress.total.load(std::memory_order_relaxed);
    const uint64_t done = std::min(progress.done.load(std::memory_order_relaxed), total);
    const QLocale locale;
    if (progress.phase.load(std::memory_order_relaxed) == model::LoadProgress::Reading)
        _label->setText(
            tr("Reading the file\u2026 %1 of %2")
                .arg(locale.formattedDataSize(qint64(done)), locale.formattedDataSize(qint64(total))));
    else
        _label->setText(tr("Building entries\u2026"));
    // The bar counts in thousandths, so that billions of bytes fit its int range.
    _bar->setRange(0, total ? 1000 : 0);
    if (total) _bar->setValue(int(done * 1000 / total));
}

QString MyLoadProgress::statusText() const {
    return _label->text();
}

} // namespace window
