#include "DocumentLoader.h"

#include <QThreadPool>

#include <atomic>
#include <mutex>

namespace window {
namespace {
std::atomic<int> jobsAlive{0};
} // namespace

struct DocumentLoader::Job {
    explicit Job(const std::string& url) : document(url) { ++jobsAlive; }
    ~Job() { --jobsAlive; }

    model::PlistDocument document;
    model::LoadOutcome outcome;
    model::LoadProgress progress;
    std::mutex lock;
    DocumentLoader* receiver = nullptr; // none once the loader no longer wants the result
};

DocumentLoader::DocumentLoader(const std::string& url, QObject* parent, int64_t firstIdNumber)
    : QObject(parent), _job(std::make_shared<Job>(url)) {
    _job->receiver = this;
    _job->document.setIdNumber(firstIdNumber);
    QThreadPool::globalInstance()->start([job = _job] {
        job->outcome = job->document.openPlistFile(&job->progress);
        std::lock_guard<std::mutex> hold(job->lock);
        // Posted under the lock, so the loader cannot be gone; a loader deleted before the call arrives
        // drops it with its other events.
        if (job->receiver)
            QMetaObject::invokeMethod(job->receiver, &DocumentLoader::deliver, Qt::QueuedConnection);
        // Otherwise the document goes with the job's last reference, here on the worker.
    });
}

DocumentLoader::~DocumentLoader() {
    cancel();
}

void DocumentLoader::cancel() {
    if (!_job) return;
    _job->progress.cancelled = true;
    std::shared_ptr<Job> job = std::move(_job);
    std::unique_lock<std::mutex> hold(job->lock);
    job->receiver = nullptr;
    hold.unlock();
    // Whatever the load built is freed off this thread, whether the worker still runs or has ended: a tree
    // of millions of entries takes a while.
    QThreadPool::globalInstance()->start([job = std::move(job)] {});
}

const model::LoadProgress& DocumentLoader::progress() const {
    static const model::LoadProgress none;
    return _job ? _job->progress : none;
}

void DocumentLoader::deliver() {
    if (!_job) return;
    std::shared_ptr<Job> job = std::move(_job);
    {
        // The worker has let go of the lock, and with it of the document, before this call ran.
        std::lock_guard<std::mutex> hold(job->lock);
        _document = std::make_unique<model::PlistDocument>(std::move(job->document));
        _outcome = job->outcome;
    }
    emit finished();
}

model::PlistDocument DocumentLoader::takeDocument() {
    model::PlistDocument d = _document ? std::move(*_document) : model::PlistDocument();
    _document.reset();
    return d;
}

int DocumentLoader::documentsInMemory() {
    return jobsAlive.load();
}

} // namespace window
