// The one editor process of a user's display session: a launch hands its files to the running editor through
// a local socket that only the user can reach, or becomes that editor itself.
#pragma once

#include <QObject>
#include <QStringList>

namespace app {

class InstanceChannel : public QObject {
    Q_OBJECT
public:
    enum class Outcome {
        Listening,  // this process is the editor of the session
        HandedOver, // the running editor has the files
        Failed,     // the running editor never answered; nothing was opened
        Alone,      // no socket can be used safely: this process runs on its own
    };
    struct Timing {
        int noticeMs = 2000;    // then "Waiting for the running editor…" on standard error
        int patienceMs = 60000; // then the launch gives up
    };

    explicit InstanceChannel(QObject* parent = nullptr) : QObject(parent) {}
    ~InstanceChannel() override;

    // "vantrel-DISPLAY" in $XDG_RUNTIME_DIR, or else in a folder of our own under the temporary folder;
    // either folder must be a real folder of the user that no one else may enter. Empty, with the reason,
    // when there is none.
    static QString socketPath(QString* problem = nullptr);

    // Hands the files (an empty list asks for a new window) to the editor listening at path and waits for its
    // answer, or, when nobody listens there, listens itself. Under a lock, so two launches never both become
    // the editor. A socket that another user owns or serves is never written to or removed. message says
    // why for Failed and Alone.
    Outcome handOverOrListen(const QStringList& files, const QString& path, QString* message,
                             const Timing& timing);
    Outcome handOverOrListen(const QStringList& files, const QString& path, QString* message) {
        return handOverOrListen(files, path, message, Timing());
    }

signals:
    // A launch of the same user handed these files over; empty for a new window.
    void filesReceived(const QStringList& files);

private:
    void listenOn(int fd);

    int _listenFd = -1;
    QString _path;
    unsigned long _inode = 0;
};

} // namespace app
