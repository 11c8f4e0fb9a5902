#include "FileWatch.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>

namespace window {

FileWatch& FileWatch::shared() {
    static QPointer<FileWatch> instance;
    if (!instance) {
        instance = new FileWatch(QCoreApplication::instance());
        connect(&instance->_watcher, &QFileSystemWatcher::fileChanged, instance, [](const QString& path) {
            instance->rearm(path);
            emit instance->changed(path);
        });
        connect(&instance->_watcher, &QFileSystemWatcher::directoryChanged, instance,
                [](const QString& folder) { instance->folderChanged(folder); });
    }
    return *instance;
}

void FileWatch::watch(const QObject* owner, const QString& path) {
    const QString old = _paths.value(owner);
    if (old == path) return rearm(path);
    _paths.remove(owner);
    if (!old.isEmpty() && !_paths.values().contains(old)) {
        _watcher.removePath(old);
        const QString folder = QFileInfo(old).absolutePath();
        bool folderInUse = false;
        for (const QString& p : std::as_const(_paths))
            folderInUse = folderInUse || QFileInfo(p).absolutePath() == folder;
        if (!folderInUse) _watcher.removePath(folder);
    }
    if (path.isEmpty()) return;
    _paths.insert(owner, path);
    rearm(path);
}

void FileWatch::rearm(const QString& path) {
    if (path.isEmpty() || !_paths.values().contains(path)) return;
    _watcher.removePath(path);
    if (QFileInfo::exists(path)) _watcher.addPath(path);
    const QString folder = QFileInfo(path).absolutePath();
    if (!_watcher.directories().contains(folder)) _watcher.addPath(folder);
}

void FileWatch::folderChanged(const QString& folder) {
    // A file deleted, created or renamed into place shows only as a change of its folder.
    QStringList files;
    for (const QString& p : std::as_const(_paths))
        if (QFileInfo(p).absolutePath() == folder && !files.contains(p)) files << p;
    for (const QString& p : files) {
        rearm(p);
        emit changed(p);
    }
}

} // namespace window
