#include "InstanceChannel.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QSocketNotifier>

#include "platform/qt/FileNames.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace app {
namespace {

// A folder that is really a folder (no link), the user's own, closed to group and others.
bool isPrivateFolder(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 077) == 0;
}

uid_t peerUid(int fd) {
    ucred cred{};
    socklen_t length = sizeof cred;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) != 0) return uid_t(-1);
    return cred.uid;
}

bool addressOf(const QByteArray& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    return true;
}

// Waits for fd to be ready for events, printing the notice once after noticeMs; false after patienceMs.
bool waitFor(int fd, short events, const InstanceChannel::Timing& timing,
             std::chrono::steady_clock::time_point start, bool& noticed) {
    for (;;) {
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                .count();
        if (elapsed >= timing.patienceMs) return false;
        if (!noticed && elapsed >= timing.noticeMs) {
            std::fputs("Waiting for the running editor\u2026\n", stderr);
            noticed = true;
        }
        const long next = noticed ? timing.patienceMs : std::min(timing.noticeMs, timing.patienceMs);
        // Without a socket to wait for (a full queue), look again a moment later.
        pollfd p{fd, events, 0};
        const int n =
            ::poll(&p, 1, int(std::min<long>(std::max<long>(next - elapsed, 1), fd < 0 ? 50 : next)));
        if (fd < 0) return true;
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return false;
    }
}

} // namespace

InstanceChannel::~InstanceChannel() {
    // The socket is removed only while it is still the one this process made.
    struct stat st {};
    if (_listenFd < 0) return;
    ::close(_listenFd);
    if (::lstat(QFile::encodeName(_path).constData(), &st) == 0 && st.st_ino == _inode)
        ::unlink(QFile::encodeName(_path).constData());
}

QString InstanceChannel::socketPath(QString* problem) {
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty()) display = qEnvironmentVariable("DISPLAY");
    display.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QString name =
        QStringLiteral("vantrel-") + (display.isEmpty() ? QStringLiteral("nodisplay") : display);
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isPrivateFolder(QFile::encodeName(runtime)))
        return runtime + QLatin1Char('/') + name;
    const QString own = QDir::tempPath() + QStringLiteral("/vantrel-%1").arg(::getuid());
    const QByteArray ownPath = QFile::encodeName(own);
    if (::mkdir(ownPath.constData(), 0700) != 0 && errno != EEXIST) {
        if (problem)
            *problem = QStringLiteral("%1: %2").arg(own, QString::fromLocal8Bit(std::strerror(errno)));
        return {};
    }
    if (!isPrivateFolder(ownPath)) {
        if (problem)
            *problem =
                QStringLiteral("%1 is not a folder of this user closed to others; the editor runs on its own")
                    .arg(own);
        return {};
    }
    return own + QLatin1Char('/') + name;
}

InstanceChannel::Outcome InstanceChannel::handOverOrListen(const QStringList& files, const QString& path,
                                                           QString* message, const Timing& timing) {
    const QByteArray socketPath = QFile::encodeName(path);
    sockaddr_un address{};
    auto alone = [&](const QString& why) {
        if (message) *message = why;
        return Outcome::Alone;
    };
    if (!addressOf(socketPath, address))
        return alone(path + QStringLiteral(": the path is too long for a socket"));

    // Launches take turns from here until one listens or has handed its files over.
    const QByteArray lockPath = socketPath + ".lock";
    const int lock = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    struct stat lockStatus {};
    if (lock < 0 || ::fstat(lock, &lockStatus) != 0 || lockStatus.st_uid != ::getuid() ||
        ::flock(lock, LOCK_EX) != 0) {
        if (lock >= 0) ::close(lock);
        return alone(QString::fromLocal8Bit(lockPath) +
                     QStringLiteral(": cannot be used as this user's lock"));
    }
    struct Unlock {
        int fd;
        ~Unlock() { ::close(fd); }
    } unlock{lock};

    struct stat st {};
    const bool exists = ::lstat(socketPath.constData(), &st) == 0;
    if (exists && (!S_ISSOCK(st.st_mode) || st.st_uid != ::getuid()))
        return alone(path + QStringLiteral(" belongs to someone else; the editor runs on its own"));

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return alone(QString::fromLocal8Bit(std::strerror(errno)));
    const int rc = exists ? ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) : -1;
    const int err = errno;
    if (exists && rc != 0 && err != ECONNREFUSED && err != ENOENT && err != EAGAIN) {
        ::close(fd);
        return alone(path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(err)));
    }
    if (exists && rc != 0 && err != EAGAIN) {
        // Nobody listens: a socket left by a process that ended. It is replaced.
        ::unlink(socketPath.constData());
    } else if (exists) {
        // Accepted, or waiting in a full queue: a live editor, however busy. Nothing is sent to another user.
        const auto start = std::chrono::steady_clock::now();
        bool noticed = false;
        bool connected = rc == 0;
        while (!connected && waitFor(-1, 0, timing, start, noticed)) {
            connected =
                ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 || errno == EISCONN;
            if (!connected && errno != EAGAIN) break;
        }
        auto fail = [&](const QString& why) {
            ::close(fd);
            if (message) *message = why;
            return Outcome::Failed;
        };
        if (!connected) return fail(QStringLiteral("the running editor did not answer; nothing was opened"));
        if (peerUid(fd) != ::getuid())
            return fail(path + QStringLiteral(" is served by another user; nothing was sent to it"));
        // Each path ends in a NUL, which no path holds; one more NUL ends the list.
        QByteArray out;
        for (const QString& f : files)
            out += QByteArray::fromStdString(platform::encodeFileName(f)) + '\0';
        out += '\0';
        qsizetype sent = 0;
        while (sent < out.size()) {
            if (!waitFor(fd, POLLOUT, timing, start, noticed))
                return fail(QStringLiteral("the running editor did not answer; nothing was opened"));
            const ssize_t n = ::send(fd, out.constData() + sent, size_t(out.size() - sent), MSG_NOSIGNAL);
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return fail(QStringLiteral("the running editor closed the connection; nothing was opened"));
            sent += n > 0 ? n : 0;
        }
        char answer[8];
        if (!waitFor(fd, POLLIN, timing, start, noticed) || ::recv(fd, answer, sizeof answer, 0) <= 0)
            return fail(
                QStringLiteral("the running editor did not answer within %1 seconds; nothing was opened")
                    .arg(timing.patienceMs / 1000.0));
        ::close(fd);
        return Outcome::HandedOver;
    }
    ::close(fd);

    // Bound and served here rather than by QLocalServer, whose listen would rename its own socket over a live
    // one and whose close removes whatever socket then has the name.
    const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const mode_t mask = ::umask(077);
    const bool bound = server >= 0 &&
                       ::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                       ::listen(server, 64) == 0;
    ::umask(mask);
    if (!bound) {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        if (server >= 0) ::close(server);
        return alone(path + QStringLiteral(": ") + why);
    }
    _path = path;
    if (::lstat(socketPath.constData(), &st) == 0) _inode = st.st_ino;
    listenOn(server);
    return Outcome::Listening;
}

void InstanceChannel::listenOn(int fd) {
    _listenFd = fd;
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        for (int peer; (peer = ::accept4(_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)) >= 0;) {
            // Another user who reached the socket is not heard.
            if (peerUid(peer) != ::getuid()) {
                ::close(peer);
                continue;
            }
            auto* socket = new QLocalSocket(this);
            socket->setSocketDescriptor(peer);
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                QByteArray data = socket->property("buffer").toByteArray() + socket->readAll();
                socket->setProperty("buffer", data);
                if (!data.endsWith(QByteArray(1, '\0')) ||
                    (data.size() > 1 && !data.endsWith(QByteArray(2, '\0'))))
                    return;
                QStringList files;
                for (const QByteArray& path : data.split('\0'))
                    if (!path.isEmpty())
                        files << platform::decodeFileName(
                            std::string_view(path.constData(), size_t(path.size())));
                socket->write("ok\n");
                socket->flush();
                emit filesReceived(files);
            });
        }
    });
}

} // namespace app
