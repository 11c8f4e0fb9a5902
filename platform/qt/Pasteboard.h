// The general pasteboard (the desktop clipboard) and drag data, holding texts by type. The plain-text type is
// the desktop's own; every other type is carried as a MIME type of ours that contains its name, so other
// programs see only the plain text.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <utility>
#include <vector>

class QMimeData;

namespace platform {

// The plain-text type of the pasteboard.
inline const QString kPasteboardTypeString = QStringLiteral("public.utf8-plain-text");

// The MIME type that carries a pasteboard type.
QString mimeTypeForPasteboardType(const QString& type);

class Pasteboard {
public:
    // Texts by type, for one write.
    using Items = std::vector<std::pair<QString, QByteArray>>;

    // Replaces the general pasteboard's whole contents with these items.
    static void writeGeneral(const Items& items);
    // The general pasteboard's data of a type, none when it does not offer it.
    static std::optional<QByteArray> generalData(const QString& type);
    static std::optional<QString> generalString(const QString& type);

    // New drag data holding these items.
    static QMimeData* makeDragData(const Items& items);
    static std::optional<QByteArray> data(const QMimeData* mime, const QString& type);
};

} // namespace platform
