// Recovery records: while a window has unsaved changes, an exact snapshot of its document is kept on disk, so
// that the work survives a crash of the editor; at the next start, records left by processes that are gone
// are offered back.
#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "model/Entry.h"
#include "platform/file/FileIdentity.h"

namespace window {
class MyWindowController;
}

namespace app {

class AppDelegate;

// One record as read back: the document's location, format and name, when it was written and by which
// process, and its contents as binary property-list bytes.
struct RecoveryRecord {
    QString path; // the record file
    QString url;  // the document's location; empty for an untitled document
    int formatKind = 0;
    QString name;    // the name the window showed
    qint64 time = 0; // milliseconds since the epoch
    qint64 pid = 0;
    QString bootId;
    std::optional<platform::FileIdentity> disk; // the file as the window had read or written it
    std::string contents;
    QString error; // why the record cannot be read; empty when it can
};

class RecoveryStore : public QObject {
    Q_OBJECT
public:
    explicit RecoveryStore(QObject* parent = nullptr);
    ~RecoveryStore() override;

    // $XDG_STATE_HOME/vantrel/recovery, or ~/.local/state/vantrel/recovery.
    static QString folder();
    static QString currentBootId();

    // A window's state changed: with unsaved changes its record is written after a quiet moment, without any
    // the record goes.
    void documentChanged(window::MyWindowController* c);
    // The window's tree is about to change: a record still being made of it stops, and this returns once the
    // worker no longer reads the tree (within a few hundred entries).
    void documentWillChange(window::MyWindowController* c);
    // The window closes: its record goes.
    void forget(window::MyWindowController* c);
    // Starts the record of the window's document now: the GUI thread only notes the header, and the worker
    // writes the tree as it stands, which no edit changes before documentWillChange has stopped it.
    void writeRecord(window::MyWindowController* c);
    // Writes and removals run in order on a worker; this waits until all have run.
    void waitForWrites();
    // The quiet time after the last change before a record is written (milliseconds); at least ten times
    // what the window's last record took to make.
    void setDelay(int milliseconds) { _delay = milliseconds; }

    // Records of processes that no longer run, oldest first; with the contents when withContents.
    static std::vector<RecoveryRecord> orphanedRecords(bool withContents);
    static RecoveryRecord readRecord(const QString& path, bool withContents);
    static bool isProcessGone(qint64 pid, const QString& bootId);
    // The record's head for a window's document now: the magic line and a line of JSON, before the bytes.
    static std::string recordHeader(window::MyWindowController* c);

    // Asks, over the front window of app, what to do with the records of processes that are gone.
    void offerRecovery(AppDelegate* app);

signals:
    // A record was written to disk (emitted on the GUI thread).
    void recordWritten(QObject* window);
    // The question's answer has been carried out.
    void recoveryFinished();

private:
    // A record being made on the worker, which reads the tree from root while it holds reading.
    struct Snapshot {
        const model::Entry* root = nullptr;
        std::atomic<bool> stop{false};
        std::mutex reading;
    };
    struct Tracked {
        QTimer* timer = nullptr;
        QString path;
        bool written = false;
        QObject* manager = nullptr; // the undo manager and its step count at the last change seen
        int undoCount = -1;
        int cost = 0; // milliseconds the worker took to make the last record
        // The snapshot under way, and the root it reads, kept alive here: entries are counted on this thread
        // alone, so the worker never holds a reference of its own.
        std::shared_ptr<Snapshot> snapshot;
        model::EntryRef root;
    };
    void stopSnapshot(Tracked& t);
    void removeRecord(window::MyWindowController* c);

    QHash<window::MyWindowController*, Tracked> _tracked;
    QThreadPool _pool;
    int _delay = 2000;
    int _serial = 0;
};

} // namespace app
