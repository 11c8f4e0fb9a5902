#include "Pasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace platform {

QString mimeTypeForPasteboardType(const QString& type) {
    if (type == kPasteboardTypeString) return QStringLiteral("text/plain");
    return QStringLiteral("application/x-") + type;
}

namespace {
void fill(QMimeData* mime, const Pasteboard::Items& items) {
    for (const auto& [type, bytes] : items) {
        if (type == kPasteboardTypeString)
            mime->setText(QString::fromUtf8(bytes));
        else
            mime->setData(mimeTypeForPasteboardType(type), bytes);
    }
}
} // namespace

void Pasteboard::writeGeneral(const Items& items) {
    auto* mime = new QMimeData;
    fill(mime, items);
    QGuiApplication::clipboard()->setMimeData(mime);
}

std::optional<QByteArray> Pasteboard::data(const QMimeData* mime, const QString& type) {
    if (!mime) return std::nullopt;
    if (type == kPasteboardTypeString) {
        if (!mime->hasText()) return std::nullopt;
        return mime->text().toUtf8();
    }
    QString format = mimeTypeForPasteboardType(type);
    if (!mime->hasFormat(format)) return std::nullopt;
    return mime->data(format);
}

std::optional<QByteArray> Pasteboard::generalData(const QString& type) {
    return data(QGuiApplication::clipboard()->mimeData(), type);
}

std::optional<QString> Pasteboard::generalString(const QString& type) {
    auto bytes = generalData(type);
    if (!bytes) return std::nullopt;
    return QString::fromUtf8(*bytes);
}

QMimeData* Pasteboard::makeDragData(const Items& items) {
    auto* mime = new QMimeData;
    fill(mime, items);
    return mime;
}

} // namespace platform
