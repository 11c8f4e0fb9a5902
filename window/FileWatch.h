// The one file-system watcher of the process: each window watches its file and the file's folder and hears
// of a change to either. A file replaced by a rename (as our own saves and most editors write) leaves a watch
// on the old file, so every watch is taken afresh after each event and each save.
#pragma once

#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QString>

namespace window {

class FileWatch : public QObject {
    Q_OBJECT
public:
    static FileWatch& shared();

    // Watches path for owner, in place of what owner watched before; an empty path watches nothing.
    void watch(const QObject* owner, const QString& path);
    // Watches path anew, as it is now on disk.
    void rearm(const QString& path);

signals:
    // The file, or something in its folder, changed.
    void changed(const QString& path);

private:
    explicit FileWatch(QObject* parent) : QObject(parent) {}
    void folderChanged(const QString& folder);

    QFileSystemWatcher _watcher;
    QHash<const QObject*, QString> _paths;
};

} // namespace window
