// Loads one document on a worker thread: the file is read and turned into entries there, in a document of
// its own with its own serial counter, and handed over whole to the thread that started it. After the
// hand-over the worker touches nothing of it; a load that is cancelled or abandoned is freed by the worker.
#pragma once

#include <QObject>

#include <memory>
#include <string>

#include "model/PlistDocument.h"

namespace window {

class DocumentLoader : public QObject {
    Q_OBJECT
public:
    // Starts loading the file at the path (in the document model's bytes) at once, numbering its entries
    // from firstIdNumber.
    explicit DocumentLoader(const std::string& url, QObject* parent = nullptr, int64_t firstIdNumber = 0);
    // Cancels a load still running.
    ~DocumentLoader() override;

    // How far the load has come; readable at any time.
    const model::LoadProgress& progress() const;
    // Asks the worker to stop; finished is then never emitted.
    void cancel();
    bool isRunning() const { return _job != nullptr; }

    // The loaded document and the load's outcome, exactly as PlistDocument::openPlistFile leaves them; valid
    // in the slot of finished, once.
    model::PlistDocument takeDocument();
    const model::LoadOutcome& outcome() const { return _outcome; }

    // Loads of this process whose document is still in memory (running, or cancelled and not yet freed).
    static int documentsInMemory();

signals:
    void finished();

private:
    struct Job;
    void deliver();

    std::shared_ptr<Job> _job;
    std::unique_ptr<model::PlistDocument> _document;
    model::LoadOutcome _outcome;
};

} // namespace window
