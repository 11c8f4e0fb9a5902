#include "RecoveryStore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QMessageBox>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include "AppDelegate.h"
#include "model/PlistDocument.h"
#include "platform/file/AtomicFile.h"
#include "platform/qt/Alert.h"
#include "platform/qt/FileNames.h"
#include "platform/qt/UndoManager.h"
#include "window/MyWindowController.h"

namespace app {

using window::MyWindowController;

namespace {
// The first line of every record; the second is a line of JSON, and the document's binary bytes follow.
const QByteArray kMagic = QByteArrayLiteral("VANTREL-RECOVERY 1\n");
const QString kSuffix = QStringLiteral(".vantrel-recovery");

QJsonObject identityObject(const std::optional<platform::FileIdentity>& id) {
    if (!id) return {};
    QJsonObject o{{"device", QString::number(id->device)},
                  {"inode", QString::number(id->inode)},
                  {"size", QString::number(id->size)},
                  {"modifiedNs", QString::number(id->modifiedNs)}};
    if (id->contentHash) o.insert("hash", QString::number(*id->contentHash));
    return o;
}

std::optional<platform::FileIdentity> identityOf(const QJsonObject& o) {
    if (o.isEmpty()) return std::nullopt;
    platform::FileIdentity id;
    id.device = o.value("device").toString().toULongLong();
    id.inode = o.value("inode").toString().toULongLong();
    id.size = o.value("size").toString().toLongLong();
    id.modifiedNs = o.value("modifiedNs").toString().toLongLong();
    if (o.contains("hash")) id.contentHash = o.value("hash").toString().toULongLong();
    return id;
}
} // namespace

RecoveryStore::RecoveryStore(QObject* parent) : QObject(parent) {
    // One worker: writes and removals of a record happen in the order they were asked for.
    _pool.setMaxThreadCount(1);
}

RecoveryStore::~RecoveryStore() {
    for (Tracked& t : _tracked)
        if (t.snapshot) t.snapshot->stop = true;
    _pool.waitForDone();
}

QString RecoveryStore::folder() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state)) state = QDir::homePath() + "/.local/state";
    return state + "/vantrel/recovery";
}

QString RecoveryStore::currentBootId() {
    QFile f(QStringLiteral("/proc/sys/kernel/random/boot_id"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).trimmed() : QString();
}

bool RecoveryStore::isProcessGone(qint64 pid, const QString& bootId) {
    if (bootId != currentBootId()) return true;
    return pid <= 0 || (::kill(pid_t(pid), 0) != 0 && errno == ESRCH);
}

std::string RecoveryStore::recordHeader(MyWindowController* c) {
    const QJsonObject header{
        {"location",
         QString::fromLatin1(QByteArray::fromStdString(platform::encodeFileName(c->url())).toBase64())},
        {"format", c->formatKind() == plist::Format::Binary ? 1 : 0},
        {"name", c->fileName()},
        {"time", QDateTime::currentMSecsSinceEpoch()},
        {"pid", qint64(QCoreApplication::applicationPid())},
        {"bootId", currentBootId()},
        {"disk", identityObject(c->diskIdentity())}};
    return (kMagic + QJsonDocument(header).toJson(QJsonDocument::Compact) + '\n').toStdString();
}

RecoveryRecord RecoveryStore::readRecord(const QString& path, bool withContents) {
    RecoveryRecord r;
    r.path = path;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        r.error = f.errorString();
        return r;
    }
    const QByteArray head = f.read(kMagic.size());
    const QByteArray line = f.readLine(1 << 20);
    QJsonParseError error;
    const QJsonObject o = QJsonDocument::fromJson(line, &error).object();
    if (head != kMagic || error.error != QJsonParseError::NoError || !o.contains("pid")) {
        r.error = QCoreApplication::translate("RecoveryStore", "not a recovery record of this editor");
        return r;
    }
    r.url = platform::decodeFileName(
        QByteArray::fromBase64(o.value("location").toString().toLatin1()).toStdString());
    r.formatKind = o.value("format").toInt() == 1 ? 1 : 0;
    r.name = o.value("name").toString();
    r.time = qint64(o.value("time").toDouble());
    r.pid = qint64(o.value("pid").toDouble());
    r.bootId = o.value("bootId").toString();
    r.disk = identityOf(o.value("disk").toObject());
    if (withContents) {
        r.contents = f.readAll().toStdString();
        if (!r.contents.starts_with("bplist00"))
            r.error =
                QCoreApplication::translate("RecoveryStore", "the document in the record is incomplete");
    }
    return r;
}

std::vector<RecoveryRecord> RecoveryStore::orphanedRecords(bool withContents) {
    std::vector<RecoveryRecord> found;
    const QDir dir(folder());
    for (const QFileInfo& info : dir.entryInfoList({"*" + kSuffix}, QDir::Files | QDir::Hidden)) {
        RecoveryRecord r = readRecord(info.absoluteFilePath(), withContents);
        if (r.error.isEmpty() && !isProcessGone(r.pid, r.bootId)) continue;
        found.push_back(std::move(r));
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.time < b.time; });
    return found;
}

void RecoveryStore::documentChanged(MyWindowController* c) {
    Tracked& t = _tracked[c];
    if (!c->canUndo()) {
        if (t.timer) t.timer->stop();
        stopSnapshot(t);
        if (t.written) removeRecord(c);
        return;
    }
    if (!t.timer) {
        t.timer = new QTimer(this);
        t.timer->setSingleShot(true);
        connect(t.timer, &QTimer::timeout, this, [this, c] { writeRecord(c); });
    }
    // Every change starts the quiet time again; a change of selection does not count as one.
    QObject* manager = c->windowWillReturnUndoManager();
    const int count = c->windowWillReturnUndoManager()->undoCount();
    if (manager == t.manager && count == t.undoCount) return;
    t.manager = manager;
    t.undoCount = count;
    // Where a record takes long to make (a huge document), the quiet time grows, so that the worker making
    // records never takes more than about a quarter of one processor.
    t.timer->start(std::max(_delay, 3 * t.cost));
}

void RecoveryStore::writeRecord(MyWindowController* c) {
    if (!_tracked.contains(c) || !c->canUndo() || !c->rootEntry()) return;
    Tracked& t = _tracked[c];
    stopSnapshot(t);
    if (t.path.isEmpty())
        t.path = QStringLiteral("%1/%2-%3%4")
                     .arg(folder())
                     .arg(QCoreApplication::applicationPid())
                     .arg(++_serial)
                     .arg(kSuffix);
    t.written = true;
    t.root = c->rootEntry();
    t.snapshot = std::make_shared<Snapshot>();
    t.snapshot->root = t.root.get();
    _pool.start([this, c, snapshot = t.snapshot, header = recordHeader(c), path = t.path]() mutable {
        QElapsedTimer clock;
        clock.start();
        plist::Expected<std::string> contents = plist::makeError(plist::Error::Kind::Cancelled, {});
        {
            std::lock_guard<std::mutex> hold(snapshot->reading);
            if (snapshot->stop) return;
            contents = model::PlistDocument::binaryDataOf(*snapshot->root, &snapshot->stop);
        }
        // From here on the tree is not read: the bytes are the document as it was when the record began.
        if (!contents) return;
        header += *contents;
        contents = std::string();
        const QString dir = QFileInfo(path).absolutePath();
        QDir().mkpath(QFileInfo(dir).absolutePath());
        const std::string encoded = platform::encodeFileName(dir);
        ::mkdir(encoded.c_str(), 0700);
        ::chmod(encoded.c_str(), 0700);
        plist::Expected<bool> written = platform::writeFileAtomically(platform::encodeFileName(path), header);
        if (!written) {
            qWarning("vantrel: the recovery record could not be written: %s",
                     written.error().message.c_str());
            return;
        }
        const int cost = int(clock.elapsed());
        QMetaObject::invokeMethod(
            this,
            [this, c, snapshot, cost] {
                auto it = _tracked.find(c);
                if (it == _tracked.end()) return;
                it->cost = cost;
                if (it->snapshot == snapshot) {
                    it->snapshot.reset();
                    it->root = nullptr;
                }
                emit recordWritten(c);
            },
            Qt::QueuedConnection);
    });
}

void RecoveryStore::stopSnapshot(Tracked& t) {
    if (!t.snapshot) return;
    t.snapshot->stop = true;
    // The worker checks the flag every few hundred entries, and lets go of the lock when it has stopped. The
    // lock is let go before the snapshot, whose last reference this may be.
    { std::lock_guard<std::mutex> wait(t.snapshot->reading); }
    t.snapshot.reset();
    t.root = nullptr;
}

void RecoveryStore::documentWillChange(MyWindowController* c) {
    auto it = _tracked.find(c);
    if (it != _tracked.end()) stopSnapshot(*it);
}

void RecoveryStore::removeRecord(MyWindowController* c) {
    Tracked& t = _tracked[c];
    t.written = false;
    // After any write of the record still to run.
    _pool.start([path = t.path] { QFile::remove(path); });
}

void RecoveryStore::forget(MyWindowController* c) {
    if (!_tracked.contains(c)) return;
    stopSnapshot(_tracked[c]);
    if (_tracked[c].written) removeRecord(c);
    delete _tracked[c].timer;
    _tracked.remove(c);
}

void RecoveryStore::waitForWrites() {
    _pool.waitForDone();
}

void RecoveryStore::offerRecovery(AppDelegate* app) {
    std::vector<RecoveryRecord> records = orphanedRecords(false);
    MyWindowController* front = app->frontWindowController();
    if (records.empty() || !front) return;
    QStringList readable, unreadable;
    std::vector<RecoveryRecord> offered;
    const QLocale locale;
    for (RecoveryRecord& r : records) {
        if (!r.error.isEmpty()) {
            unreadable << tr("%1: %2").arg(platform::displayFileName(r.path), r.error);
            continue;
        }
        readable << tr("%1 \u2014 %2")
                        .arg(r.name,
                             locale.toString(QDateTime::fromMSecsSinceEpoch(r.time), QLocale::ShortFormat));
        offered.push_back(std::move(r));
    }
    QString details = readable.join('\n');
    if (!unreadable.isEmpty())
        details += (details.isEmpty() ? "" : "\n\n") + tr("These records cannot be read and are kept:") +
                   '\n' + unreadable.join('\n');
    QMessageBox* alert =
        offered.empty()
            ? front->makeAlertWithMessage(tr("Recovery records were found that cannot be read."), tr("OK"))
            : front->makeAlertWithMessage(
                  tr("The editor ended without saving changes to these documents. Recover them?"),
                  tr("Recover"), tr("Discard"), tr("Decide Later"));
    platform::setInformativeText(alert, details);
    QPointer<AppDelegate> target(app);
    front->runAlert(alert, [this, target, offered = std::move(offered)](int answer) {
        QStringList failed;
        for (const RecoveryRecord& found : offered) {
            if (answer == platform::kAlertSecondButtonReturn) {
                QFile::remove(found.path);
            } else if (answer == platform::kAlertFirstButtonReturn && target) {
                RecoveryRecord r = readRecord(found.path, true);
                model::PlistDocument contents(platform::encodeFileName(r.url));
                plist::Expected<model::EntryRef> root = contents.rootEntryWithBinaryData(r.contents);
                if (!r.error.isEmpty() || !root) {
                    failed << tr("%1: %2").arg(
                        platform::displayFileName(r.path),
                        !r.error.isEmpty() ? r.error : QString::fromStdString(root.error().message));
                    continue;
                }
                contents.setRoot(std::move(*root));
                contents.setFormatKind(r.formatKind == 1 ? plist::Format::Binary : plist::Format::Xml);
                // The record becomes the new window's own until that window writes or removes it, so a crash
                // in between loses nothing.
                Tracked& t = _tracked[target->openRecoveredDocument(std::move(contents), r.disk)];
                t.path = r.path;
                t.written = true;
            }
        }
        if (!failed.isEmpty() && target && target->frontWindowController()) {
            MyWindowController* w = target->frontWindowController();
            QMessageBox* report =
                w->makeAlertWithMessage(tr("These recovery records cannot be read and are kept:"), tr("OK"));
            platform::setInformativeText(report, failed.join('\n'));
            w->runAlert(report, [this](int) { emit recoveryFinished(); });
            return;
        }
        emit recoveryFinished();
    });
}

} // namespace app
