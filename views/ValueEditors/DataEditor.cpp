#include "DataEditor.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSaveFile>
#include <QTimer>

#include "HexView.h"
#include "model/ValueText.h"
#include "platform/plist/Text.h"

namespace views {

namespace {
bool startsWith(const model::Data& d, std::string_view prefix) {
    return d.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), d.begin(),
                                                   [](char a, uint8_t b) { return uint8_t(a) == b; });
}
} // namespace

bool DataEditor::looksLikeImage(const model::Data& d) {
    return startsWith(d, "\x89PNG\r\n\x1a\n") || startsWith(d, "\xFF\xD8\xFF") || startsWith(d, "GIF87a") ||
           startsWith(d, "GIF89a") || (startsWith(d, "BM") && d.size() > 26);
}

bool DataEditor::looksLikePropertyList(const model::Data& d) {
    if (startsWith(d, "bplist00")) return true;
    // XML: after a byte-order mark and white space, a declaration or the plist element.
    size_t i = startsWith(d, "\xEF\xBB\xBF") ? 3 : 0;
    while (i < d.size() && i < 4096 && plist::text::isXmlSpace(char(d[i])))
        ++i;
    const model::Data rest(d.begin() + qsizetype(std::min(i, d.size())),
                           d.begin() + qsizetype(std::min(i + 64, d.size())));
    return startsWith(rest, "<?xml") || startsWith(rest, "<plist") || startsWith(rest, "<!DOCTYPE plist");
}

DataEditor::DataEditor(const model::Data& value, QWidget* parent) : ValueEditor(tr("Edit Data"), parent) {
    auto* tools = new QHBoxLayout;
    _encoding = new QComboBox(this);
    _encoding->addItems({tr("Latin-1"), tr("UTF-8")});
    _encoding->setToolTip(tr("Text column"));
    _form = new QComboBox(this);
    _form->addItems({tr("Hex"), tr("Base64"), tr("Raw Bytes")});
    _form->setToolTip(tr("Copy and paste as"));
    auto* importButton = new QPushButton(tr("Import from File\u2026"), this);
    auto* exportButton = new QPushButton(tr("Export to File\u2026"), this);
    _openAsDocument = new QPushButton(tr("Open as Document"), this);
    tools->addWidget(new QLabel(tr("Text:"), this));
    tools->addWidget(_encoding);
    tools->addWidget(new QLabel(tr("Clipboard:"), this));
    tools->addWidget(_form);
    tools->addStretch(1);
    for (QPushButton* b : {importButton, exportButton, _openAsDocument}) {
        b->setAutoDefault(false);
        tools->addWidget(b);
    }
    body()->addLayout(tools);
    auto* row = new QHBoxLayout;
    _hex = new HexView(this);
    _preview = new QLabel(this);
    _preview->setAlignment(Qt::AlignCenter);
    _preview->setMinimumWidth(160);
    _preview->hide();
    row->addWidget(_hex, 1);
    row->addWidget(_preview);
    body()->addLayout(row, 1);
    _status = new QLabel(this);
    footer()->insertWidget(0, _status);

    _hex->setBytes(value);
    connect(_encoding, &QComboBox::currentIndexChanged, this, [this](int i) { _hex->setUtf8Text(i == 1); });
    connect(_form, &QComboBox::currentIndexChanged, this,
            [this](int i) { _hex->setClipboardForm(HexView::ClipboardForm(i)); });
    connect(_hex, &HexView::cursorChanged, this, [this] { updateStatus(); });
    connect(_hex, &HexView::modeChanged, this, [this] { updateStatus(); });
    // The preview and the property-list check follow a burst of typing once.
    auto* later = new QTimer(this);
    later->setSingleShot(true);
    connect(later, &QTimer::timeout, this, [this] { updatePreview(); });
    connect(_hex, &HexView::bytesChanged, this, [this, later] {
        _problem.clear();
        updateStatus();
        later->start(0);
    });
    connect(importButton, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, tr("Import from File"));
        if (!path.isEmpty()) importFromFile(path);
    });
    connect(exportButton, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, tr("Export to File"));
        if (!path.isEmpty()) exportToFile(path);
    });
    connect(_openAsDocument, &QPushButton::clicked, this, [this] {
        const model::Data& d = _hex->bytes();
        emit openAsDocumentRequested(
            QByteArray(reinterpret_cast<const char*>(d.data()), qsizetype(d.size())));
    });
    updateStatus();
    updatePreview();
    resize(820, 460);
    _hex->setFocus();
}

void DataEditor::updateStatus() {
    const auto [offset, length] = _hex->selection();
    QString text = tr("%1 bytes").arg(_hex->bytes().size()) + QStringLiteral("  \u2022  ") +
                   tr("offset 0x%1 (%2)").arg(QString::number(offset, 16)).arg(offset);
    if (length) text += QStringLiteral("  \u2022  ") + tr("%1 selected").arg(length);
    text += QStringLiteral("  \u2022  ") + (_hex->overwriteMode() ? tr("Overwrite") : tr("Insert"));
    if (!_problem.isEmpty()) text += QStringLiteral("  \u2022  ") + _problem;
    _status->setText(text);
}

void DataEditor::updatePreview() {
    const model::Data& d = _hex->bytes();
    _openAsDocument->setEnabled(looksLikePropertyList(d));
    QImage image;
    if (looksLikeImage(d)) image.loadFromData(d.data(), qsizetype(d.size()));
    _preview->setVisible(!image.isNull());
    if (!image.isNull()) {
        _preview->setPixmap(
            QPixmap::fromImage(image.width() > 240 || image.height() > 240
                                   ? image.scaled(240, 240, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                                   : image));
        _preview->setToolTip(tr("%1 \u00d7 %2 pixels").arg(image.width()).arg(image.height()));
    }
}

bool DataEditor::importFromFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        _problem = tr("\u201c%1\u201d couldn\u2019t be read: %2").arg(path, f.errorString());
        updateStatus();
        return false;
    }
    const QByteArray bytes = f.readAll();
    _hex->replaceAll(model::Data(bytes.begin(), bytes.end()));
    return true;
}

bool DataEditor::exportToFile(const QString& path) {
    QSaveFile f(path);
    const model::Data& d = _hex->bytes();
    if (!f.open(QIODevice::WriteOnly) ||
        f.write(reinterpret_cast<const char*>(d.data()), qint64(d.size())) != qint64(d.size()) ||
        !f.commit()) {
        _problem = tr("\u201c%1\u201d couldn\u2019t be written: %2").arg(path, f.errorString());
        updateStatus();
        return false;
    }
    return true;
}

std::optional<model::Entry::Value> DataEditor::value() const {
    return model::Entry::Value(_hex->bytes());
}

void DataEditor::setTypedText(const QString& text, int caret) {
    // The field's hex text, read as the field reads it; the caret stays at its byte.
    const std::string t = text.toStdString();
    auto bytes = t.size() >= 2 && t.front() == '<' && t.back() == '>' ? model::dataWithOldHexString(t)
                                                                      : model::dataWithNewHexString(t);
    if (!bytes) return;
    _hex->setBytes(std::move(*bytes));
    int digits = 0;
    for (int i = 0; i < std::min<int>(caret, int(text.size())); ++i)
        digits += plist::text::hexDigit(char(text[i].unicode() < 0x80 ? text[i].unicode() : 0)) >= 0;
    _hex->setSelection(digits / 2, 0);
}

} // namespace views
